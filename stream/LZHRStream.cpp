// LZHRStream: decodes literals and window matches into the caller's buffer, keeping the ring of
// recent output, and continues a match that a read ends in the middle of.
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>

#include "stream/HuffBitReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace qarvex {

namespace {

// The window is allocated with room past the ring, as wide as the longest match minus one.
constexpr int32_t WindowAllocation = LZHRStream::WindowSize + LZHRStream::LongestMatch - 1;
static_assert(LZHRStream::LongestMatch == HuffBitReader::LongestMatch);
// Matches up to this long are copied byte by byte rather than in blocks.
constexpr int32_t ShortCopy = 16;

// Copies n ring bytes starting at `from` (wrapping at the ring's end) to dst.
inline void copyFromRing(uint8_t *dst, const uint8_t *ring, int32_t from, int32_t n) {
    int32_t first = std::min(n, LZHRStream::WindowSize - from);
    std::memcpy(dst, ring + from, size_t(first));
    if (first < n)
        std::memcpy(dst + first, ring, size_t(n - first));
}

// Stores n bytes into the ring starting at `at` (wrapping at the ring's end).
inline void copyToRing(uint8_t *ring, int32_t at, const uint8_t *src, int32_t n) {
    int32_t first = std::min(n, LZHRStream::WindowSize - at);
    std::memcpy(ring + at, src, size_t(first));
    if (first < n)
        std::memcpy(ring, src + first, size_t(n - first));
}

} // namespace

struct LZHRStream::Decoder {
    HuffBitReader model;
    uint8_t window[WindowAllocation] = {};
};

LZHRStream::LZHRStream() : DecodingRStream(KindLZH), decoder(new (std::nothrow) Decoder) {}

LZHRStream::~LZHRStream() {
    detach();
}

void LZHRStream::attach(StreamIO *newSource) {
    detach();
    // Without its tables the stream cannot decode; it stays without a source.
    if (!newSource || !decoder || !decoder->model.isUsable())
        return;
    takeSource(newSource); // a memory stream's bytes are read in place (HuffBitReader::MemoryBits)
    restartDecoding();
    status = source->getStatus();
}

void LZHRStream::restartDecoding() {
    decoder->model.reset(source);
    uint8_t *window = decoder->window;
    std::memset(window, FillByte, InitialRingPosition);
    // Coded data never reads these before writing them; zero keeps damaged data reproducible.
    std::memset(window + InitialRingPosition, 0, WindowSize - InitialRingPosition);
    ringPosition = InitialRingPosition;
    matchStart = matchLength = matchCopied = 0;
    decodedPosition = 0;
    failure = Ok;
}

// Decodes count bytes into out; false, having stopped at once, when a code word took bits past
// the end of the coded data.
template <class Bits> bool LZHRStream::decode(Bits &cursor, uint8_t *__restrict out, int32_t count) {
    Bits bits = cursor; // a local copy stays in registers
    uint8_t *__restrict const ring = decoder->window;
    HuffBitReader &model = decoder->model;
    bool complete = true;
    int32_t at = ringPosition;
    int32_t remaining = count;
    while (remaining > 0) {
        int32_t pending = matchLength - matchCopied;
        if (pending > 0) {
            int32_t n = std::min(pending, remaining);
            int32_t from = (matchStart + matchCopied) & WindowMask;
            if (n <= ShortCopy) {
                // Most matches are a few bytes long: copy them byte by byte, reading each byte
                // after the one before it was stored, as a match that overlaps itself needs.
                for (int32_t i = 0; i < n; ++i) {
                    uint8_t b = ring[(from + i) & WindowMask];
                    out[i] = b;
                    ring[(at + i) & WindowMask] = b;
                }
                at = (at + n) & WindowMask;
                out += n;
                remaining -= n;
                matchCopied += n;
                continue;
            }
            // How far back the match reads; 0 stands for the whole ring.
            int32_t distance = (at - from) & WindowMask;
            if (distance == 0)
                distance = WindowSize;
            if (distance >= n) {
                copyFromRing(out, ring, from, n);
            } else {
                // The match reads bytes it has just stored: the output repeats with this period.
                copyFromRing(out, ring, from, distance);
                if (distance == 1) {
                    std::memset(out + 1, out[0], size_t(n - 1));
                } else {
                    for (int32_t i = distance; i < n; ++i)
                        out[i] = out[i - distance];
                }
            }
            copyToRing(ring, at, out, n);
            at = (at + n) & WindowMask;
            out += n;
            remaining -= n;
            matchCopied += n;
            continue;
        }
        int symbol = model.decodeSymbol(bits);
        if (bits.ranOut()) {
            complete = false;
            break;
        }
        if (symbol < HuffBitReader::Literals) {
            *out++ = uint8_t(symbol);
            ring[at] = uint8_t(symbol);
            at = (at + 1) & WindowMask;
            --remaining;
            continue;
        }
        int distance = model.decodeDistance(bits);
        if (bits.ranOut()) {
            complete = false;
            break;
        }
        matchStart = (at - distance - 1) & WindowMask;
        matchLength = symbol - (HuffBitReader::Literals - 1 - HuffBitReader::MatchThreshold);
        matchCopied = 0;
    }
    ringPosition = at;
    decodedPosition += count - remaining;
    cursor = bits;
    return complete;
}

bool LZHRStream::read(int32_t count, void *buffer) {
    if (!source)
        return false;
    if (failure != Ok) {
        status = failure;
        return false;
    }
    // The decoder reads a little ahead of the bits it uses, so a source that has met its end may
    // still hold bits in the decoder: only running out of them ends the data.
    status = source->getStatus();
    if (status == EndOfData)
        status = Ok;
    if (status != Ok)
        return false;
    if (count == 0)
        return true;
    if (count < 0 || count > INT32_MAX - decodedPosition) {
        status = NotSupported;
        return false;
    }
    uint8_t *out = static_cast<uint8_t *>(buffer);
    const uint8_t *bytes =
        memorySource ? static_cast<const uint8_t *>(memorySource->getDataPointer()) : nullptr;
    bool complete;
    if (bytes) {
        HuffBitReader::MemoryBits bits(decoder->model, *memorySource, bytes);
        complete = decode(bits, out, count);
        bits.finish();
    } else {
        HuffBitReader::StreamBits bits(decoder->model);
        complete = decode(bits, out, count);
        bits.finish();
    }
    if (complete)
        return true;
    int32_t why = source->getStatus();
    failure = why == Ok ? EndOfData : why;
    status = failure;
    return false;
}

bool LZHRStream::setPosition(int32_t position) {
    if (!source)
        return false;
    if (position < 0) {
        status = NotSupported;
        return false;
    }
    int32_t skip = position - decodedPosition;
    if (position < decodedPosition || failure != Ok) {
        // Decoding only runs forwards, and data that ran out stays out: start again from the
        // beginning of the coded data.
        if (!source->setPosition(0)) {
            status = source->getStatus();
            return false;
        }
        restartDecoding();
        status = source->getStatus();
        skip = position;
    }
    return skipForward(skip);
}

} // namespace qarvex
