// RLERStream: expands run and literal packets into the caller's buffer; a packet may continue
// across reads. The first failure of the source lasts until the stream is attached again.
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLERStream.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace qarvex {

RLERStream::RLERStream() : DecodingRStream(KindRLE) {}

void RLERStream::attach(StreamIO *newSource) {
    detach();
    if (!newSource)
        return;
    takeSource(newSource); // a memory stream's packets are read in place (see MemoryPackets)
    runValue = runRemaining = literalRemaining = 0;
    status = source->getStatus();
}

bool RLERStream::failFromSource() {
    status = source->getStatus();
    // A source that fails without saying why must still leave this stream failed.
    if (status == Ok)
        status = IOError;
    return false;
}

namespace {

// The packets taken through the source's own reads.
struct StreamPackets {
    StreamIO *source;
    bool take(int32_t count, uint8_t *out) { return source->read(count, out); }
    bool takeByte(uint8_t &byte) { return source->read(1, &byte); }
    void finish() {}
};

// The packets of a memory stream read where they lie. finish() leaves the stream as the same
// reads through it would have: after the last byte taken, and failed with EndOfData if a read ran
// past its end (having copied what there was, as such a read does).
struct MemoryPackets {
    MemRWStream *memory;
    int32_t startPosition;
    const uint8_t *start;
    const uint8_t *next;
    const uint8_t *end;
    bool ranOut = false;

    MemoryPackets(MemRWStream *memory, const uint8_t *bytes)
        : memory(memory), startPosition(memory->getPosition()), start(bytes), next(bytes),
          end(bytes + (memory->size() - startPosition)) {}
    bool take(int32_t count, uint8_t *out) {
        if (end - next < count) {
            std::memcpy(out, next, size_t(end - next));
            next = end;
            ranOut = true;
            return false;
        }
        std::memcpy(out, next, size_t(count));
        next += count;
        return true;
    }
    bool takeByte(uint8_t &byte) {
        if (next == end) {
            ranOut = true;
            return false;
        }
        byte = *next++;
        return true;
    }
    void finish() { memory->settleAfterInPlaceReads(startPosition + int32_t(next - start), ranOut); }
};

} // namespace

bool RLERStream::read(int32_t count, void *buffer) {
    if (status != Ok)
        return false;
    if (count == 0)
        return true;
    if (!source || count < 0 || count > INT32_MAX - decodedPosition) {
        status = NotSupported;
        return false;
    }
    uint8_t *out = static_cast<uint8_t *>(buffer);
    if (memorySource) {
        if (const void *bytes = memorySource->getDataPointer()) {
            MemoryPackets packets(memorySource, static_cast<const uint8_t *>(bytes));
            return expand(packets, out, count);
        }
    }
    StreamPackets packets{source};
    return expand(packets, out, count);
}

template <class Packets> bool RLERStream::expand(Packets &packets, uint8_t *out, int32_t remaining) {
    for (;;) {
        if (literalRemaining > 0) {
            int32_t k = std::min<int32_t>(remaining, literalRemaining);
            if (!packets.take(k, out))
                break;
            literalRemaining = uint8_t(literalRemaining - k);
            out += k;
            remaining -= k;
            decodedPosition += k;
        } else if (runRemaining > 0) {
            int32_t k = std::min<int32_t>(remaining, runRemaining);
            std::memset(out, runValue, size_t(k));
            runRemaining = uint8_t(runRemaining - k);
            out += k;
            remaining -= k;
            decodedPosition += k;
        }
        if (remaining == 0) {
            packets.finish();
            return true;
        }
        uint8_t control = 0;
        if (!packets.takeByte(control))
            break;
        if (control & RunFlag) {
            runRemaining = control & LengthMask;
            if (!packets.takeByte(runValue))
                break;
        } else {
            literalRemaining = control;
            runRemaining = 0;
        }
    }
    packets.finish();
    return failFromSource();
}

bool RLERStream::setPosition(int32_t position) {
    if (status != Ok)
        return false;
    if (!source || position < 0) {
        status = NotSupported;
        return false;
    }
    int32_t skip = position - decodedPosition;
    if (position < decodedPosition) {
        // Expansion only runs forwards: start again from the beginning of the coded data.
        if (!source->setPosition(0))
            return failFromSource();
        runRemaining = literalRemaining = 0;
        decodedPosition = 0;
        skip = position;
    }
    return skipForward(skip);
}

} // namespace qarvex
