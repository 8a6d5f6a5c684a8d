// Chunk and word helpers of the graphics file formats.
#include "gfx/GFXChunk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <qarvex/stream/StreamIO.h>

namespace qarvex {

namespace gfxchunk {

bool readWord(StreamIO &stream, uint32_t &value) {
    uint8_t bytes[4] = {};
    bool ok = stream.read(4, bytes);
    value = le::read32(bytes);
    return ok;
}

void writeWord(StreamIO &stream, uint32_t value) {
    uint8_t bytes[4];
    le::write32(bytes, value);
    stream.write(4, bytes);
}

void writeHeader(StreamIO &stream, uint32_t tag, uint32_t size) {
    uint8_t bytes[8];
    le::write32(bytes, tag);
    le::write32(bytes + 4, size);
    stream.write(8, bytes);
}

bool skip(StreamIO &stream, uint64_t count) {
    if (count == 0)
        return true;
    int32_t here = stream.getPosition();
    if (here < 0 || uint64_t(here) + count > MaxBlock)
        return false;
    return stream.setPosition(int32_t(uint64_t(here) + count));
}

bool readFixed(StreamIO &stream, uint32_t size, uint32_t fixed, uint8_t *into) {
    return size >= fixed && stream.read(int32_t(fixed), into) && skip(stream, size - fixed);
}

uint8_t *readAllocated(StreamIO &stream, uint64_t size, uint64_t before, uint64_t after) {
    if (size > MaxBlock || before > MaxBlock || after > MaxBlock || size + before + after > MaxBlock)
        return nullptr;
    // The first step holds most images whole; only bigger payloads grow, doubling each time.
    constexpr uint64_t FirstStep = uint64_t(1) << 18;
    // Spare bytes are reserved up front only while they are small; larger ones, like the trailing
    // ones, are added once the payload has arrived.
    uint64_t lead = before <= FirstStep ? before : 0;
    uint64_t room = std::min(size, FirstStep);
    auto block = static_cast<uint8_t *>(std::malloc(size_t(std::max<uint64_t>(1, lead + room))));
    if (!block)
        return nullptr;
    uint64_t done = 0;
    for (;;) {
        if (room > done && !stream.read(int32_t(room - done), block + lead + done)) {
            std::free(block);
            return nullptr;
        }
        done = room;
        uint64_t next = done == size ? size : std::min(size, room * 2);
        uint64_t bytes = done == size ? before + size + after : lead + next;
        if (bytes != lead + room) {
            auto grown = static_cast<uint8_t *>(std::realloc(block, size_t(std::max<uint64_t>(1, bytes))));
            if (!grown) {
                std::free(block);
                return nullptr;
            }
            block = grown;
        }
        if (done == size) {
            if (lead != before && size > 0)
                std::memmove(block + before, block + lead, size_t(size));
            return block;
        }
        room = next;
    }
}

} // namespace gfxchunk

} // namespace qarvex
