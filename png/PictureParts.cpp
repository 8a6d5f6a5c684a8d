// The pieces of the graphics pictures: colours, bitmap levels as pictures, the sheet canvas.
#include "png/PictureParts.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXPalette.h>

#include <algorithm>

namespace qarvex {

namespace png::parts {

void coloursOf(const GFXPalette &set, int32_t palette, Colours &colours) {
    if (palette < 0 || palette >= std::min(set.paletteCount, GFXPalette::MaxPalettes))
        palette = 0;
    const uint8_t *entries = set.palettes[palette].entries;
    for (int32_t i = 0; i < 256; ++i)
        for (int32_t c = 0; c < 3; ++c)
            colours.rgb[i][c] = entries[4 * i + c];
}

void addWarning(std::vector<std::string> &warnings, const std::string &warning) {
    if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end())
        warnings.push_back(warning);
}

Colours coloursFor(const GFXPalette *own, int32_t paletteIndex, const Settings &settings,
                   std::vector<std::string> &warnings) {
    Colours colours;
    const GFXPalette *given = settings.palette;
    if (given && given->paletteCount >= 1 && settings.paletteNumber >= 0) {
        coloursOf(*given, settings.paletteNumber, colours);
        return colours;
    }
    if (own && own->paletteCount >= 1) {
        coloursOf(*own, 0, colours);
        return colours;
    }
    if (given && given->paletteCount >= 1) {
        int32_t chosen = 0;
        int32_t count = std::min(given->paletteCount, GFXPalette::MaxPalettes);
        if (paletteIndex >= 0 && count > 1) {
            int32_t found = -1;
            for (int32_t i = 0; i < count && found < 0; ++i)
                if (given->palettes[i].index == paletteIndex)
                    found = i;
            if (found < 0)
                addWarning(warnings, "the palette file has no palette " + std::to_string(paletteIndex) +
                                         "; its first palette used");
            chosen = std::max(found, 0);
        }
        coloursOf(*given, chosen, colours);
        return colours;
    }
    for (int32_t i = 0; i < 256; ++i)
        colours.rgb[i][0] = colours.rgb[i][1] = colours.rgb[i][2] = uint8_t(i);
    addWarning(warnings, "no palette; colour indices shown as a grey ramp (--palette gives one)");
    return colours;
}

const char *unshowable(const GFXBitmap &bitmap) {
    if (bitmap.bitDepth != 8 && bitmap.bitDepth != 24)
        return "only 8- and 24-bit pixels can be shown";
    if (bitmap.width < 1 || bitmap.height < 1)
        return "the bitmap has no pixels";
    if (!bitmap.pixels || bitmap.dataSize < 0 ||
        int64_t(bitmap.dataSize) < int64_t(bitmap.height) * bitmap.stride ||
        int64_t(bitmap.stride) * 8 < int64_t(bitmap.width) * bitmap.bitDepth)
        return "the bitmap's pixel data is missing or short";
    if (int64_t(bitmap.width) * bitmap.height > Picture::MaxPixels || bitmap.width > Picture::MaxSide ||
        bitmap.height > Picture::MaxSide)
        return "the bitmap is too large for a picture";
    return nullptr;
}

bool levelRegion(const GFXBitmap &bitmap, int32_t level, LevelRegion &region, std::string &error) {
    if (const char *why = unshowable(bitmap)) {
        error = why;
        return false;
    }
    if (level == 0) {
        region = {bitmap.pixels, bitmap.stride, bitmap.width, bitmap.height};
        return true;
    }
    int32_t width = bitmap.width >> level;
    int32_t height = bitmap.height >> level;
    uint8_t *rows =
        level < bitmap.levelCount && level < GFXBitmap::MaxLevels ? bitmap.levels[level] : nullptr;
    const uint8_t *end = bitmap.pixels + bitmap.dataSize;
    if (bitmap.bitDepth != 8 || level < 0 || !rows || width < 1 || height < 1 || rows < bitmap.pixels ||
        rows + int64_t(width) * height > end) {
        error = "no detail level " + std::to_string(level);
        return false;
    }
    region = {rows, width, width, height};
    return true;
}

bool levelPicture(const GFXBitmap &bitmap, int32_t level, const Colours &colours, int32_t transparent,
                  Picture &picture, std::string &error) {
    LevelRegion region;
    if (!levelRegion(bitmap, level, region, error))
        return false;
    bool indexed = bitmap.bitDepth == 8;
    if (!picture.allocate(indexed ? Picture::Format::Indexed : Picture::Format::Rgb, region.width,
                          region.height)) {
        error = "the bitmap is too large for a picture";
        return false;
    }
    int32_t pixelBytes = picture.bytesPerPixel();
    for (int32_t y = 0; y < region.height; ++y) {
        const uint8_t *from = region.rows + y * region.rowBytes;
        uint8_t *to = picture.pixels.data() + size_t(y) * size_t(region.width) * size_t(pixelBytes);
        if (indexed) {
            std::copy(from, from + region.width, to);
            continue;
        }
        // Stored blue, green, red, as in Windows bitmaps.
        for (int32_t x = 0; x < region.width; ++x, from += 3, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
    if (indexed) {
        std::copy(&colours.rgb[0][0], &colours.rgb[0][0] + 256 * 3, &picture.palette[0][0]);
        picture.transparentIndex = transparent;
    }
    return true;
}

bool Canvas::allocate(int32_t width, int32_t height) {
    if (width < 1 || height < 1 || width > Picture::MaxSide || height > Picture::MaxSide ||
        int64_t(width) * height > Picture::MaxPixels)
        return false;
    w = width;
    h = height;
    rgba.assign(size_t(w) * size_t(h) * 4, 0);
    return true;
}

void Canvas::fill(int32_t x, int32_t y, int32_t fw, int32_t fh, const uint8_t colour[4]) {
    for (int32_t row = y; row < y + fh; ++row)
        for (int32_t column = x; column < x + fw; ++column)
            std::copy(colour, colour + 4, at(column, row));
}

void Canvas::draw(int32_t x, int32_t y, const GFXBitmap &bitmap, int32_t sx, int32_t sy, int32_t dw,
                  int32_t dh, const Colours &colours, int32_t transparent) {
    for (int32_t row = 0; row < dh; ++row) {
        const uint8_t *from = bitmap.pixels + int64_t(sy + row) * bitmap.stride;
        for (int32_t column = 0; column < dw; ++column) {
            uint8_t *to = at(x + column, y + row);
            if (bitmap.bitDepth == 8) {
                uint8_t index = from[sx + column];
                std::copy(colours.rgb[index], colours.rgb[index] + 3, to);
                to[3] = index == transparent ? 0 : 255;
            } else {
                const uint8_t *bgr = from + 3 * (sx + column);
                to[0] = bgr[2];
                to[1] = bgr[1];
                to[2] = bgr[0];
                to[3] = 255;
            }
        }
    }
}

Picture Canvas::toPicture() const {
    bool opaque = true;
    for (size_t i = 3; i < rgba.size() && opaque; i += 4)
        opaque = rgba[i] == 255;
    Picture picture;
    picture.allocate(opaque ? Picture::Format::Rgb : Picture::Format::Rgba, w, h);
    if (!opaque) {
        picture.pixels = rgba;
        return picture;
    }
    for (size_t i = 0, j = 0; i < rgba.size(); i += 4, j += 3)
        std::copy(&rgba[i], &rgba[i] + 3, &picture.pixels[j]);
    return picture;
}

bool addPicture(Conversion &conversion, const std::string &suffix, const Picture &picture) {
    OutputFile file{suffix, {}};
    std::string error;
    if (!encodePng(picture, file.bytes, error)) {
        conversion.error = error;
        return false;
    }
    conversion.files.push_back(std::move(file));
    return true;
}

} // namespace png::parts

} // namespace qarvex
