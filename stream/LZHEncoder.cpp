// LZHEncoder: hash-chain match finding, lazy match choice priced by the adaptive model, and the
// bit output.
#include <qarvex/stream/LZHEncoder.h>

#include <qarvex/stream/LZHRStream.h>

#include "stream/HuffBitReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <numeric>

namespace qarvex {

namespace {

constexpr int32_t WindowSize = LZHRStream::WindowSize;
constexpr int32_t WindowMask = WindowSize - 1;
// The decoder's ring holds this many spaces before the first byte; matches may reach into them.
constexpr int32_t SpacePrefix = LZHRStream::InitialRingPosition;
constexpr int32_t LongestMatch = HuffBitReader::LongestMatch;
constexpr int32_t ShortestMatch = HuffBitReader::MatchThreshold + 1;
constexpr int HashBits = 15;
constexpr int32_t HashSize = 1 << HashBits;
// How many older positions with the same hash a search looks at.
constexpr int ChainLimit = 256;
// Matches at least this long are taken without looking a byte further.
constexpr int32_t GoodEnough = 40;

inline uint32_t hash3(const uint8_t *p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - HashBits);
}

// The code word of each value of a distance's upper six bits, taken from the decoder's table:
// the word is the leading bits of the first table index that decodes to the value.
struct DistanceCodes {
    uint8_t word[64];
    uint8_t length[64];
    DistanceCodes() {
        for (int b = 255; b >= 0; --b) {
            int upper = HuffBitReader::distanceUpper[size_t(b)];
            int bits = HuffBitReader::distanceCodeLength[size_t(b)];
            word[upper] = uint8_t(b >> (8 - bits));
            length[upper] = uint8_t(bits);
        }
    }
};

const DistanceCodes &distanceCodes() {
    static const DistanceCodes codes;
    return codes;
}

} // namespace

// Bits most significant first, into a buffer that is either the whole output or, with a sink,
// passed on to it whenever it fills.
class LZHEncoder::BitWriter {
public:
    BitWriter(uint8_t *buffer, int64_t capacity, StreamIO *sink)
        : start(buffer), cursor(buffer), limit(buffer + capacity), sink(sink) {}

    void put(uint32_t code, unsigned length) {
        pending = pending << length | code;
        pendingBits += length;
        while (pendingBits >= 8) {
            pendingBits -= 8;
            *cursor++ = uint8_t(pending >> pendingBits);
            if (cursor == limit)
                drain();
        }
    }
    // Pads the last byte with zero bits and passes everything on. False when the sink failed.
    bool finish() {
        if (pendingBits > 0) {
            *cursor++ = uint8_t(pending << (8 - pendingBits));
            pendingBits = 0;
        }
        drain();
        return ok;
    }
    int64_t written() const { return total + (cursor - start); }

private:
    void drain() {
        if (!sink)
            return; // the buffer is the whole output and large enough
        if (ok && cursor > start)
            ok = sink->write(int32_t(cursor - start), start);
        total += cursor - start;
        cursor = start;
    }
    uint8_t *start;
    uint8_t *cursor;
    uint8_t *limit;
    StreamIO *sink;
    uint64_t pending = 0;
    unsigned pendingBits = 0;
    int64_t total = 0;
    bool ok = true;
};

LZHEncoder::LZHEncoder()
    : model(new (std::nothrow) HuffBitReader), head(new (std::nothrow) int32_t[HashSize]),
      previous(new (std::nothrow) int32_t[WindowSize]) {}

LZHEncoder::~LZHEncoder() = default;

bool LZHEncoder::isUsable() const {
    return head && previous && model && model->isUsable();
}

int32_t LZHEncoder::maxEncodedSize(int32_t size) {
    if (size < 0)
        return -1;
    int64_t bound = (int64_t(size) * HuffBitReader::LongestSymbolCode + 7) / 8 + 1;
    return bound > INT32_MAX ? -1 : int32_t(bound);
}

int32_t LZHEncoder::encode(const void *data, int32_t size, void *out) {
    int32_t capacity = maxEncodedSize(size);
    if (capacity < 0)
        return -1;
    BitWriter writer(static_cast<uint8_t *>(out), capacity, nullptr);
    if (!run(static_cast<const uint8_t *>(data), size, writer))
        return -1;
    writer.finish();
    return int32_t(writer.written());
}

bool LZHEncoder::encode(const void *data, int32_t size, StreamIO *sink) {
    if (size < 0 || !sink)
        return false;
    uint8_t buffer[4096];
    BitWriter writer(buffer, sizeof buffer, sink);
    if (!run(static_cast<const uint8_t *>(data), size, writer))
        return false;
    return writer.finish();
}

void LZHEncoder::insert(int32_t position) {
    if (position + 2 >= textEnd)
        return; // fewer than three bytes left: no match can start here
    uint32_t h = hash3(text + position);
    previous[position & WindowMask] = head[h];
    head[h] = position;
}

LZHEncoder::Match LZHEncoder::findMatch(int32_t position) const {
    Match best{0, 0};
    int32_t longest = std::min(LongestMatch, textEnd - position);
    if (longest < ShortestMatch)
        return best;
    const uint8_t *here = text + position;
    // The decoder reaches 4096 bytes back at most, and nothing before the spaces.
    int32_t oldest = std::max(0, position - WindowSize);
    int32_t candidate = head[hash3(here)];
    for (int steps = 0; candidate >= oldest && steps < ChainLimit; ++steps) {
        const uint8_t *there = text + candidate;
        if (there[best.length] == here[best.length] && there[0] == here[0]) {
            int32_t length = 0;
            while (length < longest && there[length] == here[length])
                ++length;
            // Nearer first along the chain: a tie keeps the shorter distance, with its shorter code.
            if (length > best.length) {
                best = {length, position - candidate - 1};
                if (length == longest)
                    break;
            }
        }
        candidate = previous[candidate & WindowMask];
    }
    return best.length >= ShortestMatch ? best : Match{0, 0};
}

unsigned LZHEncoder::symbolBits(int symbol) const {
    unsigned bits = 0;
    for (int node = model->parents[symbol + HuffBitReader::TreeSize]; node != HuffBitReader::Root;
         node = model->parents[node])
        ++bits;
    return bits;
}

// Is the match worth more than the literals it replaces, at today's prices?
bool LZHEncoder::worthCoding(const Match &match, int32_t position) const {
    if (match.length >= 6)
        return true;
    unsigned matchBits =
        symbolBits(match.length + (HuffBitReader::Literals - 1 - HuffBitReader::MatchThreshold)) +
        distanceCodes().length[match.distance >> 6] + 6;
    unsigned literalBits = 0;
    for (int32_t i = 0; i < match.length; ++i)
        literalBits += symbolBits(text[position + i]);
    return matchBits < literalBits;
}

// Should a byte go out as a literal so that the match starting after it can be taken? Pricing
// the two choices with the model gives the same sizes on text and mixed data as this.
bool LZHEncoder::better(const Match &later, const Match &now) const {
    return later.length > now.length;
}

void LZHEncoder::putSymbol(BitWriter &writer, int symbol) {
    uint32_t code = 0;
    unsigned length = 0;
    for (int node = model->parents[symbol + HuffBitReader::TreeSize]; node != HuffBitReader::Root;
         node = model->parents[node]) {
        // A node's first child sits at an even index, so the index's low bit is the branch taken.
        code |= uint32_t(node & 1) << length;
        ++length;
    }
    writer.put(code, length);
    model->updateModel(symbol);
}

void LZHEncoder::putDistance(BitWriter &writer, int32_t distance) {
    const DistanceCodes &codes = distanceCodes();
    int upper = distance >> 6;
    writer.put(codes.word[upper], codes.length[upper]);
    writer.put(uint32_t(distance & 63), 6);
}

bool LZHEncoder::run(const uint8_t *data, int32_t size, BitWriter &writer) {
    if (size < 0 || !isUsable())
        return false;
    // The input behind the spaces the decoder's window starts with, so that matches can use them.
    int64_t total = int64_t(SpacePrefix) + size;
    if (total > INT32_MAX)
        return false;
    std::unique_ptr<uint8_t[]> extended(new (std::nothrow) uint8_t[size_t(total)]);
    if (!extended)
        return false;
    std::memset(extended.get(), LZHRStream::FillByte, SpacePrefix);
    if (size > 0)
        std::memcpy(extended.get() + SpacePrefix, data, size_t(size));
    text = extended.get();
    textEnd = int32_t(total);
    model->reset(nullptr);
    std::fill(head.get(), head.get() + HashSize, -1);
    // The spaces all hash alike and form one chain, nearest first: the same tables as inserting
    // them one by one, without hashing each. The last two positions also hold data bytes.
    constexpr int32_t Spaces = SpacePrefix - 2;
    std::iota(previous.get(), previous.get() + Spaces, -1);
    head[hash3(text)] = Spaces - 1;
    insert(Spaces);
    insert(Spaces + 1);

    const int matchSymbolBase = HuffBitReader::Literals - 1 - HuffBitReader::MatchThreshold;
    int32_t position = SpacePrefix;
    Match current = findMatch(position);
    while (position < textEnd) {
        if (current.length >= ShortestMatch && !worthCoding(current, position))
            current = {0, 0};
        if (current.length < ShortestMatch) {
            putSymbol(writer, text[position]);
            insert(position);
            ++position;
            current = findMatch(position);
            continue;
        }
        insert(position);
        if (current.length < GoodEnough) {
            Match later = findMatch(position + 1);
            if (later.length >= ShortestMatch && better(later, current)) {
                putSymbol(writer, text[position]);
                ++position;
                current = later;
                continue;
            }
        }
        putSymbol(writer, current.length + matchSymbolBase);
        putDistance(writer, current.distance);
        for (int32_t i = 1; i < current.length; ++i)
            insert(position + i);
        position += current.length;
        current = findMatch(position);
    }
    text = nullptr;
    textEnd = 0;
    return true;
}

} // namespace qarvex
