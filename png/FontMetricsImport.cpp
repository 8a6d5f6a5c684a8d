// FontMetricsImport: an edited metrics text of a font read back into the font. Only what changes
// no pixel's place is taken (spacing, cell size, flags, the glyph record a character uses); values
// that would need the glyph bitmaps laid out again are refused with the line that changed them.
#include "png/PictureParts.h"

#include <qarvex/gfx/GFXFont.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qarvex {

namespace png::parts {

namespace {

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > at)
            words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// A whole word as a number: decimal (with an optional minus), or hexadecimal after "0x".
bool numberOf(std::string_view word, int64_t low, int64_t high, int64_t &value) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
        if (word[0] == '-' || word[0] == '+')
            return false;
    }
    auto [end, failure] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    return failure == std::errc() && end == word.data() + word.size() && value >= low && value <= high;
}

// One value line at the top of the text: its words after the key, the values as written, and
// where an edit goes (null: the value fixes the layout and cannot change).
struct FontValue {
    const char *key;
    std::vector<int64_t> written;
    int32_t *editable;
    int64_t low = INT32_MIN;
    int64_t high = INT32_MAX;
    int32_t line = 0; // where it was read; 0 while not seen
};

} // namespace

bool applyFontMetrics(GFXFont &font, const GlyphSheet &written, const std::vector<uint8_t> &text,
                      std::string &error) {
    // Edits go to copies first, so that a refused text leaves the font as it was. Flags are
    // unsigned in the font; they are edited through a signed copy of their bits.
    int32_t cellWidth = font.cellWidth, cellHeight = font.cellHeight, spacing = font.spacing;
    int32_t flags = int32_t(font.flags);
    std::array<FontValue, 10> values{{
        {"first-char", {font.firstChar}, nullptr},
        {"map-count", {font.mapCount}, nullptr},
        {"glyph-count", {font.glyphCount}, nullptr},
        {"cell-width", {font.cellWidth}, &cellWidth},
        {"cell-height", {font.cellHeight}, &cellHeight},
        {"spacing", {font.spacing}, &spacing},
        {"flags", {int64_t(font.flags)}, &flags, 0, UINT32_MAX},
        {"sheet-columns", {GlyphSheet::Columns}, nullptr},
        {"sheet-cell", {written.cellWidth, written.cellHeight}, nullptr},
        {"sheet-first-code", {int64_t(written.firstRow) * GlyphSheet::Columns}, nullptr},
    }};
    std::vector<int16_t> glyphOfCode(written.cells.size());
    size_t nextCell = 0;
    std::string_view all(reinterpret_cast<const char *>(text.data()), text.size());
    int32_t number = 0;
    auto refuse = [&](const std::string &why) {
        error = "the metrics, line " + std::to_string(number) + ": " + why;
        return false;
    };
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        std::string_view line =
            all.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? all.size() : end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::vector<std::string_view> words = wordsOf(line);
        if (words.empty() || words[0][0] == '#')
            continue;
        FontValue *value = nullptr;
        for (FontValue &candidate : values)
            if (words[0] == candidate.key)
                value = &candidate;
        if (value) {
            if (value->line)
                return refuse(std::string(value->key) + " is given twice");
            value->line = number;
            if (words.size() != value->written.size() + 1)
                return refuse(std::string(value->key) + " takes " + std::to_string(value->written.size()) +
                              " number(s)");
            for (size_t i = 0; i < value->written.size(); ++i) {
                int64_t now = 0;
                if (!numberOf(words[i + 1], value->low, value->high, now))
                    return refuse("not a number in range: " + std::string(words[i + 1]));
                if (now == value->written[i])
                    continue;
                if (!value->editable)
                    return refuse(std::string(value->key) +
                                  " cannot change: the glyphs would have to be laid out again");
                *value->editable = int32_t(now);
            }
            continue;
        }
        // A character's line: code char glyph bitmap left top right bottom advance sheet-x sheet-y.
        int64_t code = 0;
        if (!numberOf(words[0], INT32_MIN, INT32_MAX, code))
            return refuse("neither a known value nor a character's line: " +
                          std::string(words[0]).substr(0, 40));
        if (nextCell >= written.cells.size() || code != written.cells[nextCell].code)
            return refuse("characters cannot be added, removed or reordered (code " + std::to_string(code) +
                          ")");
        const GlyphCell &cell = written.cells[nextCell];
        if (words.size() != 11)
            return refuse("a character's line has 11 fields");
        char shown[2] = {cell.code > 32 && cell.code < 127 ? char(cell.code) : '-', 0};
        if (words[1] != shown)
            return refuse("the character of code " + std::to_string(code) + " is " + shown);
        std::array<int64_t, 9> now{};
        for (size_t i = 0; i < now.size(); ++i)
            if (!numberOf(words[i + 2], INT32_MIN, INT32_MAX, now[i]))
                return refuse("not a number in range: " + std::string(words[i + 2]));
        if (now[0] < 0 || now[0] >= font.glyphCount)
            return refuse("the font has no glyph record " + std::to_string(now[0]));
        // The rest describes a glyph record and the sheet as written: it may stay as written or
        // follow the newly chosen record, nothing else.
        auto described = [&](int32_t glyphNumber) {
            const GFXFont::Glyph &glyph = font.glyphs[glyphNumber];
            return std::array<int64_t, 8>{
                glyph.bitmapIndex,          glyph.x,     glyph.y,     glyph.x + glyph.width - 1,
                glyph.y + glyph.height - 1, glyph.width, cell.sheetX, cell.sheetY};
        };
        std::array<int64_t, 8> rest;
        std::copy(now.begin() + 1, now.end(), rest.begin());
        if (rest != described(cell.glyphNumber) && rest != described(int32_t(now[0])))
            return refuse("the bitmap, rectangle, advance and sheet place of code " + std::to_string(code) +
                          " cannot change: they are the glyph record's (choose another record instead)");
        glyphOfCode[nextCell++] = int16_t(now[0]);
    }
    for (const FontValue &value : values)
        if (!value.line) {
            error = "the metrics: " + std::string(value.key) + " is missing";
            return false;
        }
    if (nextCell != written.cells.size()) {
        error =
            "the metrics: the line of code " + std::to_string(written.cells[nextCell].code) + " is missing";
        return false;
    }
    font.cellWidth = cellWidth;
    font.cellHeight = cellHeight;
    font.spacing = spacing;
    font.flags = uint32_t(flags);
    for (size_t i = 0; i < written.cells.size(); ++i)
        font.charMap[written.cells[i].code - font.firstChar] = glyphOfCode[i];
    return true;
}

} // namespace png::parts

} // namespace qarvex
