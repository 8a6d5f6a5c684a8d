// PictureImport: pictures read back into bitmaps by the colour rules, and graphics files rebuilt
// from their own bytes with the edited images in place.
#include <qarvex/png/PictureImport.h>

#include "png/PictureParts.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

namespace qarvex {

namespace png {

namespace {

using Rgba = DecodedPicture::Colour;

Rgba pixelAt(const DecodedPicture &picture, int32_t x, int32_t y) {
    size_t at = size_t(y) * size_t(picture.width) + size_t(x);
    if (picture.indexed)
        return picture.palette[picture.pixels[at]]; // the decoder checked every index
    const uint8_t *p = picture.pixels.data() + at * 4;
    return Rgba{p[0], p[1], p[2], p[3]};
}

// The colours of an 8-bit bitmap and the ways to find an index for a colour.
class TargetPalette {
public:
    TargetPalette(const parts::Colours &colours, int32_t transparent)
        : colours(colours), transparent(transparent) {
        for (int32_t i = 255; i >= 0; --i)
            firstIndex[key(colours.rgb[i][0], colours.rgb[i][1], colours.rgb[i][2])] = i;
    }

    // The index of exactly this colour: the one the pixel had if it has the colour, else the first.
    int32_t exact(const Rgba &colour, int32_t had) const {
        if (had >= 0 && same(had, colour.red, colour.green, colour.blue))
            return had;
        auto found = firstIndex.find(key(colour.red, colour.green, colour.blue));
        return found == firstIndex.end() ? -1 : found->second;
    }

    // The nearest colour that is not the transparent index (squared distance; ties to the first).
    int32_t nearest(double red, double green, double blue) const {
        int32_t best = -1;
        double bestDistance = 0;
        for (int32_t i = 0; i < 256; ++i) {
            if (i == transparent)
                continue;
            double dr = red - colours.rgb[i][0], dg = green - colours.rgb[i][1],
                   db = blue - colours.rgb[i][2];
            double distance = dr * dr + dg * dg + db * db;
            if (best < 0 || distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        return best;
    }

    bool same(int32_t index, uint8_t red, uint8_t green, uint8_t blue) const {
        return colours.rgb[index][0] == red && colours.rgb[index][1] == green &&
               colours.rgb[index][2] == blue;
    }
    const uint8_t *rgb(int32_t index) const { return colours.rgb[index]; }

private:
    static uint32_t key(uint8_t red, uint8_t green, uint8_t blue) {
        return uint32_t(red) << 16 | green << 8 | blue;
    }
    parts::Colours colours;
    int32_t transparent;
    std::unordered_map<uint32_t, int32_t> firstIndex;
};

// True when picture is indexed with the target's own colours in the same places: its indices are
// then taken as they are.
bool sameIndexedPalette(const DecodedPicture &picture, const TargetPalette &target) {
    if (!picture.indexed || picture.palette.size() > 256)
        return false;
    for (size_t i = 0; i < picture.palette.size(); ++i) {
        const Rgba &colour = picture.palette[i];
        if (!target.same(int32_t(i), colour.red, colour.green, colour.blue))
            return false;
    }
    return true;
}

// "(12, 3) #FF00FF": a pixel and its colour.
std::string pixelText(int32_t x, int32_t y, const Rgba &colour) {
    char text[48];
    std::snprintf(text, sizeof text, "(%d, %d) #%02X%02X%02X", int(x), int(y), colour.red, colour.green,
                  colour.blue);
    return text;
}

bool indexedInto(GFXBitmap &bitmap, const DecodedPicture &picture, int32_t left, int32_t top,
                 const parts::Colours &colours, const ImportSettings &settings, std::string &error) {
    TargetPalette target(colours, settings.transparent);
    int32_t width = bitmap.width, height = bitmap.height;
    if (sameIndexedPalette(picture, target)) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                bitmap.pixels[size_t(y) * size_t(bitmap.stride) + size_t(x)] =
                    picture.pixels[size_t(top + y) * size_t(picture.width) + size_t(left + x)];
        return true;
    }
    // Read by colour. Floyd-Steinberg carries each pixel's error to the next pixel and the row below.
    bool dither = settings.mapping == ImportSettings::Mapping::Dither;
    std::vector<std::array<double, 3>> carried(dither ? size_t(width) + 2 : 0),
        next(dither ? size_t(width) + 2 : 0);
    std::vector<std::string> offPalette;
    int64_t offCount = 0;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = bitmap.pixels + size_t(y) * size_t(bitmap.stride);
        for (int32_t x = 0; x < width; ++x) {
            Rgba colour = pixelAt(picture, left + x, top + y);
            int32_t index = -1;
            if (colour.alpha == 0 && settings.transparent >= 0)
                index = settings.transparent;
            else if (dither) {
                const auto &error3 = carried[size_t(x) + 1];
                double wanted[3] = {std::clamp(colour.red + error3[0], 0.0, 255.0),
                                    std::clamp(colour.green + error3[1], 0.0, 255.0),
                                    std::clamp(colour.blue + error3[2], 0.0, 255.0)};
                index = target.nearest(wanted[0], wanted[1], wanted[2]);
                const uint8_t *chosen = target.rgb(index);
                static constexpr double Right = 7.0 / 16, DownLeft = 3.0 / 16, Down = 5.0 / 16,
                                        DownRight = 1.0 / 16;
                for (int c = 0; c < 3; ++c) {
                    double rest = wanted[c] - chosen[c];
                    carried[size_t(x) + 2][size_t(c)] += rest * Right;
                    next[size_t(x)][size_t(c)] += rest * DownLeft;
                    next[size_t(x) + 1][size_t(c)] += rest * Down;
                    next[size_t(x) + 2][size_t(c)] += rest * DownRight;
                }
            } else {
                index = target.exact(colour, row[x]);
                if (index < 0 && settings.mapping == ImportSettings::Mapping::Nearest)
                    index = target.nearest(colour.red, colour.green, colour.blue);
                if (index < 0) {
                    if (offPalette.size() < 8)
                        offPalette.push_back(pixelText(left + x, top + y, colour));
                    ++offCount;
                    continue;
                }
            }
            row[x] = uint8_t(index);
        }
        if (dither) {
            carried.swap(next);
            std::fill(next.begin(), next.end(), std::array<double, 3>{});
        }
    }
    if (offCount == 0)
        return true;
    error = std::to_string(offCount) + (offCount == 1 ? " pixel has a colour" : " pixels have colours") +
            " not in the palette:";
    for (const std::string &pixel : offPalette)
        error += " " + pixel;
    if (offCount > int64_t(offPalette.size()))
        error += " ...";
    error += " (--nearest or --dither map them to it)";
    return false;
}

struct BitmapGone {
    void operator()(GFXBitmap *bitmap) const { GFXBitmap::destroy(bitmap); }
};
struct ArrayGone {
    void operator()(GFXBitmapArray *array) const { GFXBitmapArray::destroy(array); }
};

// Writes with write into a region large enough for the file (the images keep their sizes).
template <typename Writer> bool writeOut(size_t originalSize, Writer write, std::vector<uint8_t> &out) {
    out.assign(originalSize * 2 + 65536, 0);
    if (out.size() > size_t(INT32_MAX))
        return false;
    MemRWStream stream;
    stream.attach(int32_t(out.size()), out.data());
    if (!write(stream))
        return false;
    out.resize(size_t(stream.getPosition()));
    return true;
}

bool decode(const std::vector<uint8_t> &file, const std::string &suffix, DecodedPicture &picture,
            std::string &error) {
    if (decodePng(file.data(), file.size(), picture, error))
        return true;
    error.insert(0, suffix.substr(1) + ": ");
    return false;
}

bool bitmapFromPicture(GFXBitmap &bitmap, const DecodedPicture &picture, const std::string &suffix,
                       const ImportSettings &settings, std::string &error) {
    if (picture.width != bitmap.width || picture.height != bitmap.height) {
        error = "the picture " + suffix.substr(1) + " is " + std::to_string(picture.width) + "x" +
                std::to_string(picture.height) + ", the bitmap " + std::to_string(bitmap.width) + "x" +
                std::to_string(bitmap.height);
        return false;
    }
    return picturePixelsInto(bitmap, picture, 0, 0, settings, error);
}

} // namespace

bool picturePixelsInto(GFXBitmap &bitmap, const DecodedPicture &picture, int32_t left, int32_t top,
                       const ImportSettings &settings, std::string &error) {
    if (const char *why = parts::unshowable(bitmap)) {
        error = why;
        return false;
    }
    if (left < 0 || top < 0 || int64_t(left) + bitmap.width > picture.width ||
        int64_t(top) + bitmap.height > picture.height) {
        error = "the picture is too small for the bitmap";
        return false;
    }
    if (bitmap.bitDepth == 8) {
        Settings colourSettings;
        colourSettings.palette = settings.palette;
        std::vector<std::string> warnings;
        parts::Colours colours =
            parts::coloursFor(bitmap.palette, bitmap.paletteIndex, colourSettings, warnings);
        return indexedInto(bitmap, picture, left, top, colours, settings, error);
    }
    // 24-bit: stored blue, green, red.
    for (int32_t y = 0; y < bitmap.height; ++y) {
        uint8_t *to = bitmap.pixels + size_t(y) * size_t(bitmap.stride);
        for (int32_t x = 0; x < bitmap.width; ++x, to += 3) {
            Rgba colour = pixelAt(picture, left + x, top + y);
            to[0] = colour.blue;
            to[1] = colour.green;
            to[2] = colour.red;
        }
    }
    return true;
}

bool rebuildGraphics(GraphicsKind kind, const std::vector<uint8_t> &original,
                     const std::map<std::string, std::vector<uint8_t>> &edited,
                     const ImportSettings &settings, std::vector<uint8_t> &out, std::string &error) {
    if (edited.empty()) {
        out = original;
        return true;
    }
    if (kind != GraphicsKind::Bitmap && kind != GraphicsKind::BitmapArray) {
        error = "edited pictures of fonts and palettes are not read back yet";
        return false;
    }
    std::vector<uint8_t> bytes = original; // the loaders read from a writable region
    if (bytes.size() > size_t(INT32_MAX)) {
        error = "too large to read";
        return false;
    }
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    bool windows = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    std::vector<uint8_t> unchanged;
    if (kind == GraphicsKind::Bitmap) {
        std::unique_ptr<GFXBitmap, BitmapGone> bitmap(GFXBitmap::load(stream, GFXBitmap::IncludePalette));
        if (!bitmap) {
            error = "not a readable bitmap";
            return false;
        }
        uint32_t flags =
            (windows ? GFXBitmap::WindowsFormat : 0) | (bitmap->palette ? GFXBitmap::IncludePalette : 0);
        auto write = [&](StreamIO &to) { return bitmap->write(to, flags); };
        // Only a file that this library writes back exactly as it was may be rebuilt.
        if (!writeOut(original.size(), write, unchanged) || unchanged != original) {
            error = "this bitmap cannot be written back byte for byte, so it is not rebuilt";
            return false;
        }
        for (const auto &[suffix, file] : edited) {
            if (suffix != ".png") {
                error = "the picture " + suffix.substr(1) + " is not read back (only level 0 is)";
                return false;
            }
            DecodedPicture picture;
            if (!decode(file, suffix, picture, error) ||
                !bitmapFromPicture(*bitmap, picture, suffix, settings, error))
                return false;
        }
        if (!writeOut(original.size(), write, out)) {
            error = "the bitmap could not be written";
            return false;
        }
        return true;
    }
    std::unique_ptr<GFXBitmapArray, ArrayGone> array(GFXBitmapArray::load(stream, GFXBitmap::IncludePalette));
    if (!array || array->count < 1 || !array->bitmaps) {
        error = "not a readable bitmap array";
        return false;
    }
    bool palettes = false;
    for (int32_t i = 0; i < array->count; ++i)
        palettes = palettes || (array->bitmaps[i] && array->bitmaps[i]->palette);
    uint32_t flags = palettes ? GFXBitmap::IncludePalette : 0;
    auto write = [&](StreamIO &to) { return array->write(to, flags); };
    if (!writeOut(original.size(), write, unchanged) || unchanged != original) {
        error = "this bitmap array cannot be written back byte for byte, so it is not rebuilt";
        return false;
    }
    for (const auto &[suffix, file] : edited) {
        DecodedPicture picture;
        if (!decode(file, suffix, picture, error))
            return false;
        if (suffix == ".png") {
            // The contact sheet: the cells as the sheet lays them out.
            int64_t width = 0, height = 0;
            std::vector<parts::SheetCell> cells = parts::contactSheetCells(*array, width, height);
            for (int32_t i = 0; i < array->count; ++i)
                if (!picturePixelsInto(*array->bitmaps[i], picture, int32_t(cells[size_t(i)].x),
                                       int32_t(cells[size_t(i)].y), settings, error)) {
                    error = "bitmap " + std::to_string(i) + ": " + error;
                    return false;
                }
            continue;
        }
        char *end = nullptr;
        long index = std::strtol(suffix.c_str() + 1, &end, 10);
        if (index < 0 || index >= array->count || std::string(end) != ".png") {
            error = "the picture " + suffix.substr(1) + " is not one of the array's";
            return false;
        }
        if (!bitmapFromPicture(*array->bitmaps[index], picture, suffix, settings, error))
            return false;
    }
    if (!writeOut(original.size(), write, out)) {
        error = "the bitmap array could not be written";
        return false;
    }
    return true;
}

} // namespace png

} // namespace qarvex
