// NameText: entry names as text. Names are bytes in the Windows-1252 code page; as text (JSON,
// Python) each byte becomes one character, the code page's five unassigned bytes (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) the control characters of the same numbers, so that every name of bytes has
// exactly one text and the text gives the bytes back.
#pragma once

#include <string>
#include <string_view>

namespace qarvex {

namespace tool {

// The UTF-8 text of the name bytes.
std::string nameToText(std::string_view bytes);

// True when text is valid UTF-8.
bool isUtf8(std::string_view text);

// The name bytes of UTF-8 text; false when the text is not valid UTF-8 or holds a character that
// no byte of the code page stands for.
bool textToName(std::string_view text, std::string &bytes);

} // namespace tool

} // namespace qarvex
