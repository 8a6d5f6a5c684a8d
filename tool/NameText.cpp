// NameText: Windows-1252 names to UTF-8 text and back.
#include "tool/NameText.h"

#include <cstdint>

namespace qarvex {

namespace tool {

namespace {

// The characters of bytes 0x80 to 0x9F; the other bytes stand for the character of their number.
constexpr char32_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t characterOf(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char32_t(byte);
}

void appendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The next character of UTF-8 text at at, moving at past it; false for a malformed sequence.
bool nextCharacter(std::string_view text, size_t &at, char32_t &c) {
    auto byte = [&](size_t i) { return uint8_t(text[i]); };
    uint8_t lead = byte(at);
    size_t length = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (length == 0 || at + length > text.size())
        return false;
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return false;
        c = c << 6 | (byte(at + i) & 0x3F);
    }
    // Overlong forms and surrogates are not characters of valid text.
    static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Least[length] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
        return false;
    at += length;
    return true;
}

} // namespace

std::string nameToText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char byte : bytes)
        appendUtf8(text, characterOf(uint8_t(byte)));
    return text;
}

bool isUtf8(std::string_view text) {
    char32_t c = 0;
    for (size_t at = 0; at < text.size();)
        if (!nextCharacter(text, at, c))
            return false;
    return true;
}

bool textToName(std::string_view text, std::string &bytes) {
    bytes.clear();
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        if (!nextCharacter(text, at, c))
            return false;
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            bytes += char(c);
            continue;
        }
        size_t found = 0;
        while (found < 32 && HighControls[found] != c)
            ++found;
        if (found == 32)
            return false;
        bytes += char(0x80 + found);
    }
    return true;
}

} // namespace tool

} // namespace qarvex
