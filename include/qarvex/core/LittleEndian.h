// Little-endian reads and writes of 16- and 32-bit values at any alignment. Every integer in a
// file goes through these, never through a cast of a pointer to a struct.
// Threads: plain functions of their arguments; any thread may call them.
#pragma once

#include <cstdint>

namespace qarvex {

namespace le {

inline uint16_t read16(const void *at) {
    auto p = static_cast<const uint8_t *>(at);
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t read32(const void *at) {
    auto p = static_cast<const uint8_t *>(at);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void write16(void *at, uint16_t value) {
    auto p = static_cast<uint8_t *>(at);
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

inline void write32(void *at, uint32_t value) {
    auto p = static_cast<uint8_t *>(at);
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

// A four-character tag as the little-endian word of its four bytes in reading order.
constexpr uint32_t tag(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | (uint32_t(uint8_t(text[1])) << 8) |
           (uint32_t(uint8_t(text[2])) << 16) | (uint32_t(uint8_t(text[3])) << 24);
}

} // namespace le

} // namespace qarvex
