// The chunk layer of a PNG file: CRCs and the walk from the signature to IEND.
#include "png/PngChunks.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace qarvex {

namespace png {

namespace {

constexpr std::array<uint32_t, 256> crcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = c & 1 ? 0xEDB88320 ^ c >> 1 : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> CrcTable = crcTable();

uint32_t bigEndian(const uint8_t *bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

} // namespace

uint32_t chunkCrc(const uint8_t *bytes, size_t count) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < count; ++i)
        crc = CrcTable[(crc ^ bytes[i]) & 0xFF] ^ crc >> 8;
    return ~crc;
}

bool chunksWhole(const uint8_t *bytes, size_t size, std::string &error) {
    // After the 8-byte signature: length, type, data, CRC, until IEND.
    for (size_t at = 8; at <= size && size - at >= 12;) {
        size_t length = bigEndian(bytes + at);
        const uint8_t *type = bytes + at + 4;
        if (length > size - at - 12)
            break;
        bool critical = !(type[0] & 0x20);
        if (critical && chunkCrc(type, 4 + length) != bigEndian(type + 4 + length)) {
            char text[64];
            std::snprintf(text, sizeof text, "the %.4s chunk is damaged",
                          reinterpret_cast<const char *>(type));
            error = text;
            return false;
        }
        if (std::memcmp(type, "IEND", 4) == 0)
            return true;
        at += 12 + length;
    }
    error = "the file ends early";
    return false;
}

} // namespace png

} // namespace qarvex
