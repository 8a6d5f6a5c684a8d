// The pieces the graphics pictures are made of: the colours of an 8-bit image, pictures of a
// bitmap's levels, an RGBA canvas for sheets, and the step from a picture to an output file.
#pragma once

#include <qarvex/gfx/GFXFont.h>
#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/Picture.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qarvex {

struct GFXBitmap;
class GFXBitmapArray;
struct GFXPalette;
class MemRWStream;

namespace png::parts {

// Red, green and blue of each colour index.
struct Colours {
    uint8_t rgb[256][3] = {};
};

// Palette palette of set (0 when out of range).
void coloursOf(const GFXPalette &set, int32_t palette, Colours &colours);
// The colours of an 8-bit image: its own palette, else the settings' (by palette index for a
// set), else a grey ramp. What had to be made up is added to warnings.
Colours coloursFor(const GFXPalette *own, int32_t paletteIndex, const Settings &settings,
                   std::vector<std::string> &warnings);

void addWarning(std::vector<std::string> &warnings, const std::string &warning);

// Null when the bitmap can be shown, else why not.
const char *unshowable(const GFXBitmap &bitmap);

// The pixels of one detail level: rows of rowBytes bytes, width x height pixels.
struct LevelRegion {
    uint8_t *rows = nullptr;
    int64_t rowBytes = 0;
    int32_t width = 0;
    int32_t height = 0;
};
// Level level of a showable bitmap (level 0: its image, stride bytes a row; levels above 0, of
// 8-bit bitmaps only: (width >> level) x (height >> level) packed pixels); false with the reason in
// error when the bitmap has no such level inside its pixel data.
bool levelRegion(const GFXBitmap &bitmap, int32_t level, LevelRegion &region, std::string &error);

// Level level of bitmap as an indexed (8-bit) or RGB (24-bit) picture. Levels above 0 exist for
// 8-bit bitmaps only and hold (width >> level) x (height >> level) packed pixels.
bool levelPicture(const GFXBitmap &bitmap, int32_t level, const Colours &colours, int32_t transparent,
                  Picture &picture, std::string &error);

// An RGBA image that sheets are drawn on; written as RGB when every pixel is opaque.
class Canvas {
public:
    bool allocate(int32_t width, int32_t height);
    void fill(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t rgba[4]);
    // Copies the w x h pixels at (sx, sy) of level 0 of bitmap to (x, y), which must all lie inside.
    void draw(int32_t x, int32_t y, const GFXBitmap &bitmap, int32_t sx, int32_t sy, int32_t w, int32_t h,
              const Colours &colours, int32_t transparent);
    Picture toPicture() const;
    int32_t width() const { return w; }
    int32_t height() const { return h; }

private:
    uint8_t *at(int32_t x, int32_t y) { return rgba.data() + (size_t(y) * size_t(w) + size_t(x)) * 4; }
    int32_t w = 0;
    int32_t h = 0;
    std::vector<uint8_t> rgba;
};

// Where each bitmap of an array sits on its contact sheet: every cell as large as the largest
// bitmap, two pixels apart, row by row; width and height receive the sheet's size.
struct SheetCell {
    int64_t x = 0;
    int64_t y = 0;
};
std::vector<SheetCell> contactSheetCells(const GFXBitmapArray &array, int64_t &width, int64_t &height);

// The swatch sheet of a palette set: each palette 16 x 16 swatches of Swatch x Swatch pixels,
// colour index i at column i % 16 of row i / 16, palettes one below the other in set order with a
// band of SwatchBand pixels between them.
constexpr int32_t Swatch = 8;
constexpr int32_t SwatchBlock = 16 * Swatch;
constexpr int32_t SwatchBand = 4;
inline int32_t swatchX(int32_t index) {
    return index % 16 * Swatch;
}
inline int32_t swatchY(int32_t palette, int32_t index) {
    return palette * (SwatchBlock + SwatchBand) + index / 16 * Swatch;
}

// The glyph sheet of a font: every mapped character in a grid of 16 columns, one row per 16 codes,
// each glyph at the top left of its cell, one-pixel grid lines around the cells.
struct GlyphCell {
    int32_t code = 0;
    int32_t glyphNumber = 0;
    const GFXFont::Glyph *glyph = nullptr;
    GFXBitmap *bitmap = nullptr;
    int32_t sheetX = 0; // top-left pixel of the glyph on the sheet
    int32_t sheetY = 0;
};
struct GlyphSheet {
    static constexpr int32_t Columns = 16;
    std::vector<GlyphCell> cells; // in code order
    int32_t cellWidth = 1;
    int32_t cellHeight = 1;
    int32_t firstRow = 0; // row of the first mapped code (code / 16, rounded down)
    int32_t rows = 0;
    int32_t width() const { return Columns * (cellWidth + 1) + 1; }
    int32_t height() const { return rows * (cellHeight + 1) + 1; }
};
// Lays out font's glyph sheet; false with the reason in error when some glyph cannot be shown (its
// bitmap damaged or not 8-bit, its rectangle outside it) or the font maps no characters.
bool layOutGlyphSheet(const GFXFont &font, GlyphSheet &sheet, std::string &error);
// Reads an edited metrics text of font, whose sheet was laid out as written, back into the font:
// spacing, cell size, flags and each character's glyph record. False with the reason (and the
// line) in error when a line is malformed or changes what would move pixels; font is then left
// as it was.
bool applyFontMetrics(GFXFont &font, const GlyphSheet &written, const std::vector<uint8_t> &text,
                      std::string &error);

// Encodes picture as one more output file; false (with conversion.error set) when it cannot.
bool addPicture(Conversion &conversion, const std::string &suffix, const Picture &picture);

// The conversions of each kind, from a stream over the file's bytes.
void convertBitmap(MemRWStream &stream, const Settings &settings, Conversion &conversion);
void convertBitmapArray(MemRWStream &stream, const Settings &settings, Conversion &conversion);
void convertFont(MemRWStream &stream, const std::string &name, const Settings &settings,
                 Conversion &conversion);
void convertPalette(MemRWStream &stream, Conversion &conversion);

} // namespace png::parts

} // namespace qarvex
