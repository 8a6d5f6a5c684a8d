// HuffBitReader: the bit input and the adaptive Huffman model behind the LZH decompressing stream.
// Literals and match lengths share one adaptive code of 314 symbols; the upper six bits of a
// match distance use a fixed prefix code.
//
// Bits are consumed most significant first. The source is read one byte at a time, and only when
// a bit is needed while at most eight are pending, so the source never runs more than two bytes
// ahead of the bits decoded. Decoding loops take their bits through one of two cursors with that
// same outcome: StreamBits reads the source exactly so; MemoryBits reads the bytes of a memory
// stream in place and afterwards leaves the stream where the byte-by-byte reads would have.
// Past the end of the source the input continues with zero bits; both cursors tell when a code
// word took one of them (ranOut), which is how a decoder knows its data was cut short.
//
// Decoding a symbol walks the tree from the root one bit at a time and then raises the counts
// from the leaf up. Three things make that cheaper without changing a single result: with a
// memory cursor the walk starts from a table of where the first TopBits bits lead, which trades
// near the root rarely disturb (the entries below a traded node are filled again); the walk
// records the nodes it passes, so the update raises them without chasing parent links until the
// first trade of places; and a path shorter than the table's bits is padded with fillers that
// never trade, so that the update's loop has the same length for all of them and the processor
// predicts its end.
#pragma once

#include <qarvex/stream/StreamIO.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace qarvex {

class MemRWStream;

class HuffBitReader {
public:
    static constexpr int Literals = 256;
    static constexpr int LongestMatch = 60;
    static constexpr int MatchThreshold = 2;
    // 256 literal bytes plus the match lengths 3 to 60.
    static constexpr int Symbols = Literals + LongestMatch - MatchThreshold;
    // Nodes of the tree; a child value of TreeSize or more is the leaf of symbol (value - TreeSize).
    static constexpr int TreeSize = 2 * Symbols - 1;
    static constexpr int Root = TreeSize - 1;
    // When the root's count reaches this, the counts are halved and the tree rebuilt.
    static constexpr unsigned FrequencyLimit = 0x8000;
    // Counts never decrease with the node index and a node's sibling outweighs the node's
    // children, so the counts along a path grow at least like Fibonacci numbers: with the root's
    // count at most FrequencyLimit no leaf lies deeper than this.
    static constexpr unsigned LongestSymbolCode = 21;
    // Eight bits read as one byte plus up to six more.
    static constexpr unsigned LongestDistanceCode = 14;
    // The first bits of a code word are looked up in a table of the tree's upper levels, which
    // change far less often than the lower ones.
    static constexpr unsigned TopBits = 8;
    // A raised node's new place is looked for among this many right neighbours at once.
    static constexpr int ScanWidth = 16;
    static constexpr int Sentinels = ScanWidth;
    // Place holders in recorded paths shorter than TopBits + 1 nodes, one for each place, after the
    // sentinels: each count starts at 0 beside one of 0xFFFFFFFF, and a filler is raised at most
    // once a symbol, so it never trades.
    static constexpr uint32_t FirstFiller = TreeSize + Sentinels;
    static constexpr uint32_t filler(int place) { return FirstFiller + 2 * uint32_t(place); }

    // The fixed code of the upper six distance bits, indexed by the first eight bits read: the
    // upper bits, and the length of the code word (of which eight bits are already in the index).
    static const std::array<uint8_t, 256> distanceUpper;
    static const std::array<uint8_t, 256> distanceCodeLength;

    // The two cursors below are small values: a decoding loop works on a local copy of one, which
    // the compiler keeps in registers (byte stores through pointers could reach the caller's
    // object, not a local one), and hands it back when done.

    // Bits taken from the source one byte at a time, exactly when a byte-by-byte reader would.
    // finish() leaves the pending bits with the reader for its next cursor.
    class StreamBits {
    public:
        explicit StreamBits(HuffBitReader &reader)
            : reader(&reader), buffer(reader.bitBuffer), count(reader.bitCount), filler(reader.fillerBits) {}
        void finish() {
            reader->bitBuffer = buffer;
            reader->bitCount = count;
            reader->fillerBits = filler;
        }

        static constexpr bool CanLookAhead = false;

        void prepare(unsigned) {}
        unsigned bit() {
            need(9);
            return take(1);
        }
        unsigned byte() {
            need(9);
            return take(8);
        }
        // n successive bits (n <= 8); a byte-by-byte reader keeps nine in hand before the last one.
        unsigned bits(unsigned n) {
            need(n + 8);
            return take(n);
        }
        // True once a bit was taken that the source did not have.
        bool ranOut() const { return count < filler; }

    private:
        void need(unsigned wanted) {
            while (count < wanted) {
                uint8_t byte = 0;
                // Once the source has failed, everything after is filler as well.
                if (filler || !reader->nextSourceByte(byte))
                    filler += 8;
                buffer |= uint64_t(byte) << (56 - count);
                count += 8;
            }
        }
        unsigned take(unsigned n) {
            unsigned value = unsigned(buffer >> (64 - n));
            buffer <<= n;
            count -= n;
            return value;
        }
        HuffBitReader *reader;
        uint64_t buffer;
        unsigned count;
        unsigned filler; // the last `filler` of the pending bits are zeros standing for missing bytes
    };

    // Bits taken straight from the bytes of a memory stream at its position. finish() then moves
    // the stream to where byte-by-byte reads would have left it (with EndOfData if they would have
    // run past its end) and keeps only the bits such a reader would hold.
    class MemoryBits {
    public:
        MemoryBits(HuffBitReader &reader, MemRWStream &memory, const uint8_t *bytes);
        void finish();

        // Makes sure `n` bits (n <= 24) are at hand, plus the eight that a byte-by-byte reader
        // still holds after its last bit, so finish() never needs more than was taken. Past the
        // end of the bytes they are zero bits.
        static constexpr bool CanLookAhead = true;

        // Away from the end the bits are topped up every time, which costs less than a branch
        // that goes one way or the other unpredictably.
        void prepare(unsigned n) {
            if (end - next >= 8)
                refillWhole();
            else if (count < n + 8)
                refillNearEnd();
        }
        // The next n prepared bits, left where they are until skip(n).
        unsigned peek(unsigned n) const { return unsigned(buffer >> (64 - n)); }
        void skip(unsigned n) {
            buffer <<= n;
            count -= n;
        }
        unsigned bit() { return take(1); }
        unsigned byte() { return take(8); }
        unsigned bits(unsigned n) { return take(n); }
        // True once a bit was taken from past the end of the bytes.
        bool ranOut() const { return count < filler; }

    private:
        unsigned take(unsigned n) {
            unsigned value = unsigned(buffer >> (64 - n));
            buffer <<= n;
            count -= n;
            return value;
        }
        void refillWhole();
        void refillNearEnd();
        HuffBitReader *reader;
        MemRWStream *memory;
        const uint8_t *next;
        const uint8_t *start;
        const uint8_t *end;
        uint64_t buffer;
        unsigned count;
        unsigned filler; // as in StreamBits
        unsigned countAtStart;
        int32_t positionAtStart;
        int64_t bytesTaken = 0; // zero bytes past the end included
    };

    HuffBitReader();
    HuffBitReader(const HuffBitReader &) = delete;
    HuffBitReader &operator=(const HuffBitReader &) = delete;

    // False when the tables could not be allocated; such a reader must not be used.
    bool isUsable() const { return counts && parents && children && topTable && topDepth && topPrefix; }

    // Takes a new source (read from its current position) and restores the initial model.
    void reset(StreamIO *source);

    int getBit() {
        return readWithStreamBits([](StreamBits &bits) { return int(bits.bit()); });
    }
    int getByte() {
        return readWithStreamBits([](StreamBits &bits) { return int(bits.byte()); });
    }
    int decodeSymbol() {
        return readWithStreamBits([this](StreamBits &bits) { return decodeSymbol(bits); });
    }
    int decodeDistance() {
        return readWithStreamBits([this](StreamBits &bits) { return decodeDistance(bits); });
    }
    template <class Bits> int decodeSymbol(Bits &bits);
    template <class Bits> int decodeDistance(Bits &bits);

private:
    friend class LZHEncoder; // keeps its own model in step through updateModel

    template <class Read> int readWithStreamBits(Read read) {
        StreamBits bits(*this);
        int value = read(bits);
        bits.finish();
        return value;
    }

    // False past the end of the source (or after a failure).
    bool nextSourceByte(uint8_t &byte) { return source && source->read(1, &byte); }
    // Where TopBits bits lead from the root: the nodes from the root to the node reached (a leaf
    // if reached earlier), then fillers up to TopBits + 1 places; and the bits that took.
    struct TopEntry {
        uint32_t path[TopBits + 1];
        int32_t bitsTaken;
    };
    void buildTopTable();
    bool isInTopLevels(int node) const;
    void refillTopTable(int node);
    void fillTopTable(int node, unsigned depth, unsigned prefix, uint32_t *path);
    void updateModel(int symbol);
    void updateAlong(const uint32_t *upper, const uint32_t *lower, int lowerCount);
    // Out of line: trades are the exception, and the update's loops stay small without them.
    void tradeAndRaiseAncestors(int node, unsigned raisedCount);
    static int countBelow(const uint32_t *count, int from, unsigned k);
    int raiseAndMove(int node, unsigned raisedCount);
    void raiseAncestors(int node);
    void rebuildTree();
    void initialModel();

    StreamIO *source = nullptr;
    // The tables hold 16-bit quantities (counts up to 0xFFFF, node and leaf indices below 1024) in
    // 32-bit unsigned entries, which are cheaper to load, store and index with.
    // TreeSize + Sentinels entries (past the nodes, above every count), then two for each filler.
    std::unique_ptr<uint32_t[]> counts;
    std::unique_ptr<uint32_t[]> parents;  // node parents, then the node of each symbol's leaf, then a spare
    std::unique_ptr<uint32_t[]> children; // TreeSize entries
    std::unique_ptr<TopEntry[]> topTable; // 1 << TopBits entries
    // For the nodes whose children the table was filled from (those above depth TopBits): their
    // depth and the bits leading to them. A trade involving one of them refills the entries
    // below both nodes. Entries of other nodes may be out of date; the table tells which are not.
    std::unique_ptr<uint8_t[]> topDepth;  // TreeSize entries
    std::unique_ptr<uint8_t[]> topPrefix; // TreeSize entries
    bool topTableCurrent = false;         // false until built after the tree was (re)made
    // Pending input bits, the next one in bit 63, zeros after them; at most 16 between reads.
    uint64_t bitBuffer = 0;
    unsigned bitCount = 0;
    // How many of the pending bits are zeros standing for bytes the source did not have.
    unsigned fillerBits = 0;
};

template <class Bits> inline int HuffBitReader::decodeSymbol(Bits &bits) {
    bits.prepare(LongestSymbolCode);
    // Node indices are unsigned: as array indices they need no widening on the way.
    const uint32_t *child = children.get();
    // The nodes from the root down to depth TopBits, with fillers after a leaf reached earlier:
    // a table entry's own, or for a cursor that cannot look ahead, the walk's first steps.
    const uint32_t *upper;
    uint32_t walked[TopBits + 1];
    uint32_t node = Root;
    uint32_t c;
    if constexpr (Bits::CanLookAhead) {
        if (!topTableCurrent)
            buildTopTable();
        const TopEntry &top = topTable[bits.peek(TopBits)];
        upper = top.path;
        node = top.path[top.bitsTaken];
        bits.skip(unsigned(top.bitsTaken));
    } else {
        walked[0] = Root;
        for (unsigned depth = 1; depth <= TopBits; ++depth)
            walked[depth] = filler(int(depth));
        for (unsigned depth = 1; depth <= TopBits && (c = child[node]) < TreeSize; ++depth) {
            node = c + bits.bit();
            walked[depth] = node;
        }
        upper = walked;
    }
    // The nodes below depth TopBits.
    uint32_t lower[LongestSymbolCode - TopBits];
    int lowerCount = 0;
    // Children always sit below their parent, so the walk ends within the tree's depth.
    while ((c = child[node]) < TreeSize) {
        node = c + bits.bit();
        lower[lowerCount++] = node;
    }
    int symbol = int(c) - TreeSize;
    if (counts[Root] == FrequencyLimit)
        updateModel(symbol); // halves the counts first, which reshapes the tree
    else
        updateAlong(upper, lower, lowerCount);
    return symbol;
}

template <class Bits> inline int HuffBitReader::decodeDistance(Bits &bits) {
    bits.prepare(LongestDistanceCode);
    unsigned first = bits.byte();
    unsigned extra = distanceCodeLength[first] - 2u;
    unsigned low = ((first << extra) | bits.bits(extra)) & 63u;
    return int(distanceUpper[first]) << 6 | int(low);
}

// What updateModel does, for a leaf reached along `upper` and then `lower`: until the first
// trade the nodes to raise are known in advance, so their counts are raised without chasing
// parent links. A leaf less deep than TopBits raises fillers as well, so the second loop always
// has the same length, and the first one the length of the walk's own loop: the processor
// predicts where both end.
inline void HuffBitReader::updateAlong(const uint32_t *upper, const uint32_t *lower, int lowerCount) {
    uint32_t *count = counts.get();
    for (int i = lowerCount - 1; i >= 0; --i) {
        uint32_t c = lower[i];
        unsigned k = ++count[c];
        if (k > count[c + 1]) {
            tradeAndRaiseAncestors(int(c), k);
            return;
        }
    }
    for (int i = int(TopBits); i >= 0; --i) {
        uint32_t c = upper[i];
        unsigned k = ++count[c];
        if (k > count[c + 1]) {
            tradeAndRaiseAncestors(int(c), k);
            return;
        }
    }
}

inline uint64_t loadBigEndian64(const uint8_t *p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | p[i];
    return value;
}

// Whole bytes up to 56 or more pending bits. The bits below them are those of the following
// bytes, which the next refill ORs in again unchanged.
inline void HuffBitReader::MemoryBits::refillWhole() {
    buffer |= loadBigEndian64(next) >> count;
    unsigned taken = (63 - count) >> 3;
    next += taken;
    bytesTaken += taken;
    count += taken * 8;
}

inline void HuffBitReader::MemoryBits::refillNearEnd() {
    while (count <= 56) {
        uint64_t byte = 0;
        if (next < end)
            byte = *next++;
        else
            filler += 8;
        buffer |= byte << (56 - count);
        count += 8;
        ++bytesTaken;
    }
}

} // namespace qarvex
