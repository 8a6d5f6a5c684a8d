// The picture of a font: every character of its map in a grid of 16 columns, one row per 16
// codes, each glyph at the top left of its cell, with one-pixel grid lines; and a text of the
// font's metrics and of where each glyph lies in its bitmap and in the sheet.
#include "png/PictureParts.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace qarvex {

namespace png::parts {

namespace {

constexpr int32_t Columns = GlyphSheet::Columns;
constexpr uint8_t GridColour[4] = {0x80, 0x80, 0x80, 0xFF};

int32_t rowOf(int32_t code) {
    return code >= 0 ? code / Columns : -((-code + Columns - 1) / Columns);
}

std::string line(const char *format, long long a = 0, long long b = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string metricsText(const GFXFont &font, const std::string &name, const GlyphSheet &sheet) {
    std::string text = "# Metrics of the font " + name + "; " + name + ".png shows its glyphs.\n";
    text += line("first-char %lld\n", font.firstChar);
    text += line("map-count %lld\n", font.mapCount);
    text += line("glyph-count %lld\n", font.glyphCount);
    text += line("cell-width %lld\ncell-height %lld\n", font.cellWidth, font.cellHeight);
    text += line("spacing %lld\n", font.spacing);
    text += line("flags 0x%08llx\n", font.flags);
    text += line("sheet-columns %lld\n", Columns);
    text += line("sheet-cell %lld %lld\n", sheet.cellWidth, sheet.cellHeight);
    text += line("sheet-first-code %lld\n", int64_t(sheet.firstRow) * Columns);
    text += "# One line per mapped character: its code, the character (- when not printable), its\n"
            "# glyph record and bitmap, its rectangle in that bitmap (left top right bottom,\n"
            "# inclusive), its advance, and its top-left pixel in the sheet.\n"
            "# code char glyph bitmap left top right bottom advance sheet-x sheet-y\n";
    for (const GlyphCell &cell : sheet.cells) {
        const GFXFont::Glyph &glyph = *cell.glyph;
        char shown[2] = {cell.code > 32 && cell.code < 127 ? char(cell.code) : '-', 0};
        char row[160];
        std::snprintf(row, sizeof row, "%d %s %d %d %d %d %d %d %d %d %d\n", cell.code, shown,
                      cell.glyphNumber, glyph.bitmapIndex, glyph.x, glyph.y, glyph.x + glyph.width - 1,
                      glyph.y + glyph.height - 1, glyph.width, cell.sheetX, cell.sheetY);
        text += row;
    }
    return text;
}

// A line of text drawn with the font, as the sheet draws glyphs: each character's glyph after the
// one before, advanced by its width and the font's spacing. Characters the font lacks advance by
// the font's cell width and stay blank. The line is as tall as the sheet's cells.
void addSample(Conversion &conversion, const GFXFont &font, const std::string &text, const Colours &colours,
               const uint8_t background[4], int32_t cellHeight, int32_t transparent) {
    int32_t cellWidth = std::max<int32_t>(font.cellWidth, 1);
    auto glyphOf = [&](char c) -> const GFXFont::Glyph * {
        int32_t code = static_cast<unsigned char>(c);
        if (font.flags & GFXFont::FoldCase)
            code = std::toupper(code);
        int32_t at = code - font.firstChar;
        return at >= 0 && at < font.mapCount && font.charMap[at] >= 0 ? &font.glyphs[font.charMap[at]]
                                                                      : nullptr;
    };
    int64_t width = 0;
    for (char c : text) {
        const GFXFont::Glyph *glyph = glyphOf(c);
        width += (glyph ? glyph->width : cellWidth) + std::max(font.spacing, 0);
    }
    Canvas canvas;
    if (width > Picture::MaxSide || !canvas.allocate(std::max<int32_t>(int32_t(width), 1), cellHeight)) {
        conversion.error = "the sample text would be too large";
        return;
    }
    canvas.fill(0, 0, canvas.width(), canvas.height(), background);
    int32_t x = 0;
    for (char c : text) {
        const GFXFont::Glyph *glyph = glyphOf(c);
        if (glyph)
            canvas.draw(x, 0, *font.glyphBitmaps.bitmaps[glyph->bitmapIndex], glyph->x, glyph->y,
                        glyph->width, glyph->height, colours, transparent);
        x += (glyph ? glyph->width : cellWidth) + std::max(font.spacing, 0);
    }
    addPicture(conversion, ".sample.png", canvas.toPicture());
}

} // namespace

bool layOutGlyphSheet(const GFXFont &font, GlyphSheet &sheet, std::string &error) {
    // The font's reader has checked that map entries name glyph records and records name slots of
    // the bitmap array; a slot may still be empty, and a rectangle may leave its bitmap.
    sheet = GlyphSheet{};
    for (int32_t i = 0; i < font.mapCount; ++i) {
        int32_t number = font.charMap[i];
        if (number < 0)
            continue;
        const GFXFont::Glyph &glyph = font.glyphs[number];
        int32_t code = font.firstChar + i;
        GFXBitmap *bitmap = font.glyphBitmaps.bitmaps[glyph.bitmapIndex];
        const char *why = !bitmap ? "its bitmap is damaged" : unshowable(*bitmap);
        if (!why && bitmap->bitDepth != 8)
            why = "its bitmap is not 8-bit";
        if (!why && (glyph.x + glyph.width > bitmap->width || glyph.y + glyph.height > bitmap->height))
            why = "it lies outside its bitmap";
        if (why) {
            error = "the glyph of code " + std::to_string(code) + ": " + why;
            return false;
        }
        sheet.cells.push_back({code, number, &glyph, bitmap, 0, 0});
        sheet.cellWidth = std::max<int32_t>(sheet.cellWidth, glyph.width);
        sheet.cellHeight = std::max<int32_t>(sheet.cellHeight, glyph.height);
    }
    if (sheet.cells.empty()) {
        error = "the font maps no characters";
        return false;
    }
    sheet.firstRow = rowOf(sheet.cells.front().code);
    sheet.rows = rowOf(sheet.cells.back().code) - sheet.firstRow + 1;
    for (GlyphCell &cell : sheet.cells) {
        int32_t row = rowOf(cell.code);
        cell.sheetX = 1 + (cell.code - row * Columns) * (sheet.cellWidth + 1);
        cell.sheetY = 1 + (row - sheet.firstRow) * (sheet.cellHeight + 1);
    }
    return true;
}

void convertFont(MemRWStream &stream, const std::string &name, const Settings &settings,
                 Conversion &conversion) {
    GFXFont::Ptr font(GFXFont::load(&stream));
    if (!font) {
        conversion.error = "not a readable font";
        return;
    }
    GlyphSheet sheet;
    if (!layOutGlyphSheet(*font, sheet, conversion.error))
        return;
    Canvas canvas;
    if (!canvas.allocate(sheet.width(), sheet.height())) {
        conversion.error = "the glyph sheet would be too large";
        return;
    }
    Colours colours = coloursFor(font->palette, -1, settings, conversion.warnings);
    conversion.indexed = true;
    // Cells take the glyphs' background colour, so that a glyph's box does not stand out.
    uint8_t back = uint8_t(std::clamp(font->backColor, 0, 255));
    uint8_t background[4] = {colours.rgb[back][0], colours.rgb[back][1], colours.rgb[back][2],
                             uint8_t(back == settings.transparent ? 0 : 255)};
    canvas.fill(0, 0, canvas.width(), canvas.height(), GridColour);
    for (int32_t row = 0; row < sheet.rows; ++row)
        for (int32_t column = 0; column < Columns; ++column)
            canvas.fill(1 + column * (sheet.cellWidth + 1), 1 + row * (sheet.cellHeight + 1), sheet.cellWidth,
                        sheet.cellHeight, background);
    for (const GlyphCell &cell : sheet.cells)
        canvas.draw(cell.sheetX, cell.sheetY, *cell.bitmap, cell.glyph->x, cell.glyph->y, cell.glyph->width,
                    cell.glyph->height, colours, settings.transparent);
    if (!addPicture(conversion, ".png", canvas.toPicture()))
        return;
    std::string text = metricsText(*font, name, sheet);
    conversion.files.push_back({".txt", std::vector<uint8_t>(text.begin(), text.end())});
    if (!settings.sampleText.empty())
        addSample(conversion, *font, settings.sampleText, colours, background, sheet.cellHeight,
                  settings.transparent);
}

} // namespace png::parts

} // namespace qarvex
