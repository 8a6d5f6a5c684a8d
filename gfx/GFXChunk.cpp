// Chunk and word helpers of the graphics file formats.
#include "gfx/GFXChunk.h"

#include <algorithm>
#include <cstdlib>

#include "stream/StreamIO.h"

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
    // The first step is large enough for every ordinary image; only bigger payloads grow.
    constexpr uint64_t FirstStep = uint64_t(1) << 22;
    uint64_t room = std::min(size, FirstStep);
    auto blockSize = [&](uint64_t payload) {
        return size_t(std::max<uint64_t>(1, before + payload + (payload == size ? after : 0)));
    };
    auto block = static_cast<uint8_t *>(std::malloc(blockSize(room)));
    if (!block)
        return nullptr;
    uint64_t done = 0;
    for (;;) {
        if (room > done && !stream.read(int32_t(room - done), block + before + done)) {
            std::free(block);
            return nullptr;
        }
        done = room;
        if (done == size)
            return block;
        room = std::min(size, room * 2);
        auto grown = static_cast<uint8_t *>(std::realloc(block, blockSize(room)));
        if (!grown) {
            std::free(block);
            return nullptr;
        }
        block = grown;
    }
}

} // namespace gfxchunk
