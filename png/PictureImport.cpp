// PictureImport: pictures read back into bitmaps by the colour rules, and graphics files rebuilt
// from their own bytes with the edited images in place.
#include <qarvex/png/PictureImport.h>

#include "png/PictureParts.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

bool indexedInto(const parts::LevelRegion &to, const DecodedPicture &picture, int32_t left, int32_t top,
                 const parts::Colours &colours, const ImportSettings &settings, std::string &error) {
    TargetPalette target(colours, settings.transparent);
    int32_t width = to.width, height = to.height;
    if (sameIndexedPalette(picture, target)) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                to.rows[y * to.rowBytes + x] =
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
        uint8_t *row = to.rows + y * to.rowBytes;
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

// Only a file that this library writes back exactly as it was may be rebuilt: otherwise the
// rebuild would silently change more than the pictures show.
template <typename Writer>
bool writesBackUnchanged(const std::vector<uint8_t> &original, Writer write, const char *what,
                         std::string &error) {
    std::vector<uint8_t> unchanged;
    if (writeOut(original.size(), write, unchanged) && unchanged == original)
        return true;
    error = std::string("this ") + what + " cannot be written back byte for byte, so it is not rebuilt";
    return false;
}

bool decode(const std::vector<uint8_t> &file, const std::string &suffix, DecodedPicture &picture,
            std::string &error) {
    if (decodePng(file.data(), file.size(), picture, error))
        return true;
    error.insert(0, suffix.substr(1) + ": ");
    return false;
}

// The colours that 8-bit pixels of bitmap are read in: its own palette, else the one given.
parts::Colours targetColours(const GFXPalette *own, int32_t paletteIndex, const ImportSettings &settings) {
    Settings colourSettings;
    colourSettings.palette = settings.palette;
    std::vector<std::string> warnings;
    return parts::coloursFor(own, paletteIndex, colourSettings, warnings);
}

// The detail level that a bitmap's picture suffix names: ".png" level 0, ".level3.png" level 3;
// -1 for any other suffix.
int32_t levelOfSuffix(const std::string &suffix) {
    if (suffix == ".png")
        return 0;
    constexpr const char *Prefix = ".level";
    if (suffix.rfind(Prefix, 0) != 0 || suffix.size() != 11 || suffix.compare(7, 4, ".png") != 0 ||
        suffix[6] < '1' || suffix[6] >= '0' + GFXBitmap::MaxLevels)
        return -1;
    return suffix[6] - '0';
}

// Puts the picture of a level of bitmap (named by suffix) in place.
bool levelFromPicture(GFXBitmap &bitmap, const std::vector<uint8_t> &file, const std::string &suffix,
                      int32_t level, const ImportSettings &settings, std::string &error) {
    DecodedPicture picture;
    parts::LevelRegion region;
    if (!decode(file, suffix, picture, error) || !parts::levelRegion(bitmap, level, region, error))
        return false;
    if (picture.width != region.width || picture.height != region.height) {
        error = "the picture " + suffix.substr(1) + " is " + std::to_string(picture.width) + "x" +
                std::to_string(picture.height) + ", the " + (level ? "detail level " : "bitmap ") +
                std::to_string(region.width) + "x" + std::to_string(region.height);
        return false;
    }
    return picturePixelsInto(bitmap, level, picture, 0, 0, settings, error);
}

bool rebuildBitmap(std::vector<uint8_t> &bytes, const std::map<std::string, std::vector<uint8_t>> &edited,
                   const ImportSettings &settings, std::vector<uint8_t> &out, std::string &error) {
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    GFXBitmap::Ptr bitmap(GFXBitmap::load(stream, GFXBitmap::IncludePalette));
    if (!bitmap) {
        error = "not a readable bitmap";
        return false;
    }
    bool windows = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    uint32_t flags =
        (windows ? GFXBitmap::WindowsFormat : 0) | (bitmap->palette ? GFXBitmap::IncludePalette : 0);
    auto write = [&](StreamIO &to) { return bitmap->write(to, flags); };
    if (!writesBackUnchanged(bytes, write, "bitmap", error))
        return false;
    for (const auto &[suffix, file] : edited) {
        int32_t level = levelOfSuffix(suffix);
        if (level < 0) {
            error = "the picture " + suffix.substr(1) + " is not one of the bitmap's";
            return false;
        }
        if (!levelFromPicture(*bitmap, file, suffix, level, settings, error))
            return false;
    }
    if (!writeOut(bytes.size(), write, out)) {
        error = "the bitmap could not be written";
        return false;
    }
    return true;
}

bool rebuildBitmapArray(std::vector<uint8_t> &bytes,
                        const std::map<std::string, std::vector<uint8_t>> &edited,
                        const ImportSettings &settings, std::vector<uint8_t> &out, std::string &error) {
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    GFXBitmapArray::Ptr array(GFXBitmapArray::load(stream, GFXBitmap::IncludePalette));
    if (!array || array->count < 1 || !array->bitmaps) {
        error = "not a readable bitmap array";
        return false;
    }
    bool palettes = false;
    for (int32_t i = 0; i < array->count; ++i) {
        if (!array->bitmaps[i]) {
            error = "bitmap " + std::to_string(i) + " is damaged";
            return false;
        }
        palettes = palettes || array->bitmaps[i]->palette;
    }
    uint32_t flags = palettes ? GFXBitmap::IncludePalette : 0;
    auto write = [&](StreamIO &to) { return array->write(to, flags); };
    if (!writesBackUnchanged(bytes, write, "bitmap array", error))
        return false;
    for (const auto &[suffix, file] : edited) {
        if (suffix == ".png") {
            // The contact sheet: the cells as the sheet lays them out.
            DecodedPicture picture;
            if (!decode(file, suffix, picture, error))
                return false;
            int64_t width = 0, height = 0;
            std::vector<parts::SheetCell> cells = parts::contactSheetCells(*array, width, height);
            for (int32_t i = 0; i < array->count; ++i)
                if (!picturePixelsInto(*array->bitmaps[i], 0, picture, int32_t(cells[size_t(i)].x),
                                       int32_t(cells[size_t(i)].y), settings, error)) {
                    error = "bitmap " + std::to_string(i) + ": " + error;
                    return false;
                }
            continue;
        }
        // ".3.png" or ".3.level1.png": bitmap 3, level 0 or 1.
        char *end = nullptr;
        long index = std::strtol(suffix.c_str() + 1, &end, 10);
        int32_t level = end > suffix.c_str() + 1 ? levelOfSuffix(end) : -1;
        if (index < 0 || index >= array->count || level < 0) {
            error = "the picture " + suffix.substr(1) + " is not one of the array's";
            return false;
        }
        if (!levelFromPicture(*array->bitmaps[index], file, suffix, level, settings, error))
            return false;
    }
    if (!writeOut(bytes.size(), write, out)) {
        error = "the bitmap array could not be written";
        return false;
    }
    return true;
}

// The one picture (".png") of a file shown as a single picture, decoded; what names it.
bool onlyPicture(const std::map<std::string, std::vector<uint8_t>> &edited, const char *what,
                 DecodedPicture &picture, std::string &error) {
    auto found = edited.find(".png");
    if (edited.size() != 1 || found == edited.end()) {
        error = std::string("only the ") + what + " is read back";
        return false;
    }
    return decode(found->second, found->first, picture, error);
}

// The colour of the swatch at (x, y) when all its pixels are one opaque colour.
bool swatchColour(const DecodedPicture &picture, int32_t x, int32_t y, Rgba &colour) {
    colour = pixelAt(picture, x, y);
    for (int32_t dy = 0; dy < parts::Swatch; ++dy)
        for (int32_t dx = 0; dx < parts::Swatch; ++dx)
            if (pixelAt(picture, x + dx, y + dy) != colour)
                return false;
    return colour.alpha == 255;
}

bool rebuildPalette(std::vector<uint8_t> &bytes, const std::map<std::string, std::vector<uint8_t>> &edited,
                    std::vector<uint8_t> &out, std::string &error) {
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    GFXPalette::Ptr set(GFXPalette::load(stream, 0));
    if (!set || set->paletteCount < 1 || set->paletteCount > GFXPalette::MaxPalettes) {
        error = "not a readable palette";
        return false;
    }
    bool riff = bytes.size() >= 4 && std::memcmp(bytes.data(), "RIFF", 4) == 0;
    auto write = [&](StreamIO &to) { return riff ? set->writeRiff(to) : set->write(to, 0); };
    if (!writesBackUnchanged(bytes, write, "palette", error))
        return false;
    DecodedPicture picture;
    if (!onlyPicture(edited, "swatch picture of a palette", picture, error))
        return false;
    int32_t count = set->paletteCount;
    if (picture.width != parts::SwatchBlock ||
        picture.height != count * parts::SwatchBlock + (count - 1) * parts::SwatchBand) {
        error = "the swatch picture is not the size it was written in";
        return false;
    }
    int32_t used = std::min<int32_t>(set->entryCount, 256);
    for (int32_t p = 0; p < count; ++p) {
        GFXPalette::Palette &palette = set->palettes[p];
        for (int32_t i = 0; i < used; ++i) {
            Rgba colour;
            if (!swatchColour(picture, parts::swatchX(i), parts::swatchY(p, i), colour)) {
                error = "the swatch of colour " + std::to_string(i) + " of palette " + std::to_string(p) +
                        " is not one opaque colour";
                return false;
            }
            uint8_t *entry = palette.entries + 4 * i;
            if (entry[0] == colour.red && entry[1] == colour.green && entry[2] == colour.blue)
                continue;
            // Shade and blend tables name colours chosen for the old ones; nothing here can
            // choose them again.
            if (!riff && palette.type != GFXPalette::Computed && set->tableShare(palette.type) > 0) {
                error = "palette " + std::to_string(p) +
                        " has shade or blend tables made for its colours, so its colours are not changed";
                return false;
            }
            entry[0] = colour.red;
            entry[1] = colour.green;
            entry[2] = colour.blue;
        }
    }
    if (!writeOut(bytes.size(), write, out)) {
        error = "the palette could not be written";
        return false;
    }
    if (riff)
        return true;
    // A set carries its computed colour tables too: read back, they are computed for the new
    // colours, and written again.
    std::vector<uint8_t> first = std::move(out);
    stream.attach(int32_t(first.size()), first.data());
    set.reset(GFXPalette::load(stream, 0));
    if (!set || !writeOut(first.size(), write, out)) {
        error = "the palette could not be written";
        return false;
    }
    return true;
}

// Writes the font as the font file's one object.
bool writeFont(GFXFont &font, StreamIO &to) {
    return Persistent::writeObject(&to, &font) == 0;
}

// The glyph sheet's edits go into the glyph bitmaps, each cell where the sheet as written put it.
bool glyphSheetInto(GFXFont &font, const GFXFont &pristine, const parts::GlyphSheet &sheet,
                    const DecodedPicture &picture, const ImportSettings &settings, std::string &error) {
    parts::GlyphSheet before;
    if (!parts::layOutGlyphSheet(pristine, before, error))
        return false;
    if (picture.width != sheet.width() || picture.height != sheet.height()) {
        error = "the glyph sheet is not the size it was written in";
        return false;
    }
    parts::Colours colours = targetColours(font.palette, -1, settings);
    // A glyph may show in several cells (codes sharing it, rectangles that overlap): each pixel
    // takes the edit made to it, and two cells edited to different pixels are refused.
    for (size_t c = 0; c < sheet.cells.size(); ++c) {
        const parts::GlyphCell &cell = sheet.cells[c];
        const GFXFont::Glyph &glyph = *cell.glyph;
        const GFXBitmap &old = *before.cells[c].bitmap;
        std::vector<uint8_t> read(size_t(glyph.width) * glyph.height);
        for (int32_t y = 0; y < glyph.height; ++y)
            std::copy_n(old.pixels + int64_t(glyph.y + y) * old.stride + glyph.x, glyph.width,
                        read.begin() + ptrdiff_t(y) * glyph.width);
        parts::LevelRegion region{read.data(), glyph.width, glyph.width, glyph.height};
        if (!indexedInto(region, picture, cell.sheetX, cell.sheetY, colours, settings, error)) {
            error = "the glyph of code " + std::to_string(cell.code) + ": " + error;
            return false;
        }
        for (int32_t y = 0; y < glyph.height; ++y)
            for (int32_t x = 0; x < glyph.width; ++x) {
                int64_t at = int64_t(glyph.y + y) * old.stride + glyph.x + x;
                uint8_t now = read[size_t(y) * glyph.width + size_t(x)], &pixel = cell.bitmap->pixels[at];
                if (now == old.pixels[at])
                    continue;
                if (pixel != old.pixels[at] && pixel != now) {
                    error = "the glyph of code " + std::to_string(cell.code) +
                            " shares pixels with another glyph that was edited differently";
                    return false;
                }
                pixel = now;
            }
    }
    return true;
}

bool rebuildFont(std::vector<uint8_t> &bytes, const std::map<std::string, std::vector<uint8_t>> &edited,
                 const ImportSettings &settings, std::vector<uint8_t> &out, std::string &error) {
    // The pixels as they were, to tell the cells that were edited, and the font to edit.
    std::vector<uint8_t> copy = bytes;
    MemRWStream stream, pristineStream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    pristineStream.attach(int32_t(copy.size()), copy.data());
    GFXFont::Ptr font(GFXFont::load(&stream)), pristine(GFXFont::load(&pristineStream));
    if (!font || !pristine) {
        error = "not a readable font";
        return false;
    }
    auto write = [&](StreamIO &to) { return writeFont(*font, to); };
    if (!writesBackUnchanged(copy, write, "font", error))
        return false;
    for (const auto &[suffix, file] : edited)
        if (suffix != ".png" && suffix != ".txt") {
            error = "only the glyph sheet and the metrics of a font are read back";
            return false;
        }
    // Both files describe the font as it was written: the sheet goes in first, while the cells
    // are still where the sheet shows them, then the metrics.
    parts::GlyphSheet sheet;
    if (!parts::layOutGlyphSheet(*font, sheet, error))
        return false;
    auto picture = edited.find(".png"), metrics = edited.find(".txt");
    DecodedPicture decoded;
    if (picture != edited.end() && (!decode(picture->second, picture->first, decoded, error) ||
                                    !glyphSheetInto(*font, *pristine, sheet, decoded, settings, error)))
        return false;
    if (metrics != edited.end()) {
        parts::GlyphSheet after;
        if (!parts::applyFontMetrics(*font, sheet, metrics->second, error))
            return false;
        // A newly chosen glyph record must be one the sheet can show.
        if (!parts::layOutGlyphSheet(*font, after, error)) {
            error = "the metrics: " + error;
            return false;
        }
    }
    if (!writeOut(bytes.size(), write, out)) {
        error = "the font could not be written";
        return false;
    }
    return true;
}

} // namespace

bool readsBack(GraphicsKind kind, const std::string &suffix) {
    switch (kind) {
    case GraphicsKind::Bitmap:
        return levelOfSuffix(suffix) >= 0;
    case GraphicsKind::BitmapArray: {
        char *end = nullptr;
        std::strtol(suffix.c_str() + 1, &end, 10);
        return suffix == ".png" || (end > suffix.c_str() + 1 && levelOfSuffix(end) >= 0);
    }
    case GraphicsKind::Font:
        return suffix == ".png" || suffix == ".txt";
    case GraphicsKind::Palette:
        return suffix == ".png";
    case GraphicsKind::None:
        break;
    }
    return false;
}

bool picturePixelsInto(GFXBitmap &bitmap, int32_t level, const DecodedPicture &picture, int32_t left,
                       int32_t top, const ImportSettings &settings, std::string &error) {
    parts::LevelRegion region;
    if (!parts::levelRegion(bitmap, level, region, error))
        return false;
    if (left < 0 || top < 0 || int64_t(left) + region.width > picture.width ||
        int64_t(top) + region.height > picture.height) {
        error = "the picture is too small for the bitmap";
        return false;
    }
    if (bitmap.bitDepth == 8)
        return indexedInto(region, picture, left, top,
                           targetColours(bitmap.palette, bitmap.paletteIndex, settings), settings, error);
    // 24-bit: stored blue, green, red.
    for (int32_t y = 0; y < region.height; ++y) {
        uint8_t *to = region.rows + y * region.rowBytes;
        for (int32_t x = 0; x < region.width; ++x, to += 3) {
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
    std::vector<uint8_t> bytes = original; // the loaders read from a writable region
    if (bytes.size() > size_t(INT32_MAX)) {
        error = "too large to read";
        return false;
    }
    switch (kind) {
    case GraphicsKind::Bitmap:
        return rebuildBitmap(bytes, edited, settings, out, error);
    case GraphicsKind::BitmapArray:
        return rebuildBitmapArray(bytes, edited, settings, out, error);
    case GraphicsKind::Palette:
        return rebuildPalette(bytes, edited, out, error);
    case GraphicsKind::Font:
        return rebuildFont(bytes, edited, settings, out, error);
    case GraphicsKind::None:
        break;
    }
    error = "not a graphics file";
    return false;
}

} // namespace png

} // namespace qarvex
