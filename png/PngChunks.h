// The chunk layer of a PNG file: each chunk's CRC, and the check that a file is whole, for a
// decoder that does not check these itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qarvex {

namespace png {

// The CRC-32 that PNG keeps after each chunk, over count bytes (the chunk's type and data).
uint32_t chunkCrc(const uint8_t *bytes, size_t count);

// True when the PNG file in bytes[0, size) holds its chunks whole up to IEND, every critical
// chunk with its right CRC; else false with the reason in error. Damaged ancillary chunks pass:
// a reader skips them.
bool chunksWhole(const uint8_t *bytes, size_t size, std::string &error);

} // namespace png

} // namespace qarvex
