// The one name order of volumes: both sides upper-cased in the C locale (only a to z change) and
// compared as unsigned bytes. The name index, name lookups and the search tool all rely on it.
// Threads: plain functions of their arguments; any thread may call them.
#pragma once

#include <cstdint>

namespace qarvex {

namespace volume {

inline uint8_t upper(uint8_t c) {
    return (c >= 'a' && c <= 'z') ? uint8_t(c - ('a' - 'A')) : c;
}

// Below 0, 0 or above 0, as strcmp; an underscore sorts after every letter.
inline int compareNames(const char *a, const char *b) {
    auto p = reinterpret_cast<const uint8_t *>(a);
    auto q = reinterpret_cast<const uint8_t *>(b);
    for (;; ++p, ++q) {
        uint8_t x = upper(*p);
        uint8_t y = upper(*q);
        if (x != y)
            return int(x) - int(y);
        if (x == 0)
            return 0;
    }
}

} // namespace volume

} // namespace qarvex
