// Helpers shared by the graphics file formats: the chunk layout (4-byte tag, 32-bit little-endian
// size, payload, no padding), little-endian words on a stream, and careful reads of payloads whose
// sizes come from the file.
#pragma once

#include <cstdint>

#include <qarvex/core/LittleEndian.h>

namespace qarvex {

class StreamIO;

namespace gfxchunk {

// The largest block any graphics reader allocates: a stream count is a signed 32-bit value.
inline constexpr uint64_t MaxBlock = 0x7FFFFFFF;

// Reads one little-endian 32-bit word; false when the stream cannot supply all four bytes.
bool readWord(StreamIO &stream, uint32_t &value);
void writeWord(StreamIO &stream, uint32_t value);
void writeHeader(StreamIO &stream, uint32_t tag, uint32_t size);

// Moves the stream forward by count bytes; false when the target lies beyond a 32-bit position
// or the stream refuses the move.
bool skip(StreamIO &stream, uint64_t count);

// Reads a payload of fixed size from a chunk of the given size: a shorter chunk is damaged
// (false), the bytes of a longer one beyond the fixed part are skipped.
bool readFixed(StreamIO &stream, uint32_t size, uint32_t fixed, uint8_t *into);

// Allocates before + size + after bytes with malloc and reads size bytes into it after the first
// `before` bytes; the spare bytes are left as allocated. The block grows while the bytes arrive,
// so a file that announces more than it holds fails without a large allocation. Null when the
// stream ends early, the total exceeds MaxBlock or memory runs out.
uint8_t *readAllocated(StreamIO &stream, uint64_t size, uint64_t before, uint64_t after);

} // namespace gfxchunk

} // namespace qarvex
