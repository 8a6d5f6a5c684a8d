// EntryMethod: the ways a volume keeps an entry's bytes, one row per compression code: the code in
// the entry record, the name listings and options use, the stream that decodes the bytes and the
// coder that makes them. The reader, the writer and the tool all go by this one table, so a new
// method is one row and one decoding stream class. The table is constant: any thread may read it.
#pragma once

#include <qarvex/stream/DecodingRStream.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qarvex {

struct EntryMethod {
    uint8_t code;     // the compression byte of the entry record
    const char *name; // "stored", "rle", "lzh"
    // A new stream that decodes the method's bytes; null for bytes kept as they are. The stream
    // is null too when memory runs out.
    std::unique_ptr<DecodingRStream> (*makeDecoder)();
    // Replaces coded with the method's form of count bytes; false when they cannot be coded (too
    // many for 32-bit sizes, or memory runs out). Null for bytes kept as they are.
    bool (*encode)(const uint8_t *bytes, size_t count, std::vector<uint8_t> &coded);

    // Every method, cheapest to read first.
    static std::span<const EntryMethod> all();
    // The method of a compression code, or null: no other code is defined.
    static const EntryMethod *find(uint8_t code);
};

} // namespace qarvex
