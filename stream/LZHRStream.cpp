// LZHRStream: decodes literals and window matches into the caller's buffer, keeping the ring of
// recent output, and continues a match that a read ends in the middle of.
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace qarvex {

namespace {

// The window is allocated with room past the ring, as wide as the longest match minus one.
constexpr int32_t WindowAllocation = LZHRStream::WindowSize + LZHRStream::LongestMatch - 1;
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

LZHRStream::LZHRStream()
    : DecodingRStream(KindLZH), reader(new (std::nothrow) HuffBitReader),
      window(new (std::nothrow) uint8_t[WindowAllocation]) {
    if (window)
        std::memset(window, 0, WindowAllocation);
}

LZHRStream::~LZHRStream() {
    detach();
    delete reader;
    delete[] window;
}

void LZHRStream::attach(StreamIO *newSource) {
    detach();
    // Without its tables the stream cannot decode; it stays without a source.
    if (!newSource || !reader || !reader->isUsable() || !window)
        return;
    takeSource(newSource); // a memory stream's bytes are read in place (HuffBitReader::MemoryBits)
    restartDecoding();
    status = source->getStatus();
}

void LZHRStream::restartDecoding() {
    reader->reset(source);
    std::memset(window, FillByte, InitialRingPosition);
    // Coded data never reads these before writing them; zero keeps damaged data reproducible.
    std::memset(window + InitialRingPosition, 0, WindowSize - InitialRingPosition);
    ringPosition = InitialRingPosition;
    matchStart = matchLength = matchCopied = 0;
    decodedPosition = 0;
}

template <class Bits> void LZHRStream::decode(Bits &bits, uint8_t *__restrict out, int32_t count) {
    uint8_t *__restrict const ring = window;
    HuffBitReader &model = *reader;
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
        if (symbol < HuffBitReader::Literals) {
            *out++ = uint8_t(symbol);
            ring[at] = uint8_t(symbol);
            at = (at + 1) & WindowMask;
            --remaining;
            continue;
        }
        int distance = model.decodeDistance(bits);
        matchStart = (at - distance - 1) & WindowMask;
        matchLength = symbol - (HuffBitReader::Literals - 1 - HuffBitReader::MatchThreshold);
        matchCopied = 0;
    }
    ringPosition = at;
}

bool LZHRStream::read(int32_t count, void *buffer) {
    if (!source)
        return false;
    // The source's own status decides: once its data has ended, the next read fails.
    status = source->getStatus();
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
    if (bytes) {
        HuffBitReader::MemoryBits bits(*reader, *memorySource, bytes);
        decode(bits, out, count);
        bits.finish();
    } else {
        HuffBitReader::StreamBits bits(*reader);
        decode(bits, out, count);
    }
    decodedPosition += count;
    return true;
}

bool LZHRStream::setPosition(int32_t position) {
    if (!source)
        return false;
    if (position < 0) {
        status = NotSupported;
        return false;
    }
    int32_t skip = position - decodedPosition;
    if (position < decodedPosition) {
        // Decoding only runs forwards: start again from the beginning of the coded data.
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
