// ViewerReplies: the JSON documents the viewer's page asks for (the volumes and palettes, a table
// of entries, what one entry holds) and the text and hexadecimal views of an entry's first bytes.
#pragma once

#include "tool/serve/ViewerCatalog.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

// Bytes of an entry shown as text, or, when it is no text, as a hexadecimal view.
inline constexpr int64_t TextViewBytes = 64 * 1024;
inline constexpr int64_t HexViewBytes = 2048;
// The longest sample text drawn with a font.
inline constexpr size_t MaxSampleText = 200;
inline constexpr const char *DefaultSampleText = "The quick brown fox jumps over the lazy dog. 0123456789";

// {"volumes": [names], "palettes": [labels]}
std::string catalogJson(const ViewerCatalog &catalog);
// [{"volume", "position", "id", "name", "size", "stored", "method"}] of entries.
std::string entriesJson(const std::vector<const CatalogEntry *> &entries);
// What the page shows of entry: its pictures (by the suffixes --png gives them), the font's
// metrics, or its first bytes as text or in hexadecimal.
std::string entryJson(ViewerCatalog &catalog, const CatalogEntry &entry);

// True when bytes read as text: no control characters but tab, line feed, carriage return and
// form feed.
bool looksLikeText(const uint8_t *bytes, size_t size);
// Sixteen bytes a line: offset, the bytes in hexadecimal, and the printable ones as characters.
std::string hexView(const uint8_t *bytes, size_t size);

} // namespace tool

} // namespace qarvex
