// HuffBitReader: the bit input and the adaptive Huffman model behind the LZH decompressing stream.
// Literals and match lengths share one adaptive code of 314 symbols; the upper six bits of a
// match distance use a fixed prefix code.
//
// Bits are consumed most significant first. The source is read one byte at a time, and only when
// a bit is needed while at most eight are pending, so the source never runs more than two bytes
// ahead of the bits decoded. Decoding loops take the bits through one of two cursors with that
// same outcome: StreamBits reads the source exactly so; MemoryBits reads a memory-backed source's
// bytes directly and afterwards leaves the source where the byte-by-byte reads would have.
#pragma once

#include "stream/StreamIO.h"

#include <array>
#include <cstdint>

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
    // Counts never decrease with the node index and a node's sibling outweighs its children, so
    // the counts along a path grow at least like Fibonacci numbers: with the root's count at most
    // FrequencyLimit no leaf lies deeper than this.
    static constexpr unsigned LongestSymbolCode = 21;
    // Eight bits read as one byte plus up to six more.
    static constexpr unsigned LongestDistanceCode = 14;

    // The fixed code of the upper six distance bits, indexed by the first eight bits read: the
    // upper bits, and the length of the code word (of which eight bits are already in the index).
    static const std::array<uint8_t, 256> distanceUpper;
    static const std::array<uint8_t, 256> distanceCodeLength;

    // Bits taken from the source one byte at a time, exactly when a byte-by-byte reader would.
    class StreamBits {
    public:
        StreamBits(HuffBitReader &reader) : reader(reader), buffer(reader.bitBuffer), count(reader.bitCount) {}
        ~StreamBits() {
            reader.bitBuffer = buffer;
            reader.bitCount = count;
        }
        void prepare(unsigned) {}
        unsigned bit() {
            need(9);
            return take(1);
        }
        unsigned byte() {
            need(9);
            return take(8);
        }
        // n successive bits; a byte-by-byte reader would keep nine in hand before the last one.
        unsigned bits(unsigned n) {
            need(n + 8);
            return take(n);
        }

    private:
        void need(unsigned wanted) {
            while (count < wanted) {
                buffer |= uint64_t(reader.nextSourceByte()) << (56 - count);
                count += 8;
            }
        }
        unsigned take(unsigned n) {
            unsigned value = unsigned(buffer >> (64 - n));
            buffer <<= n;
            count -= n;
            return value;
        }
        HuffBitReader &reader;
        uint64_t buffer;
        unsigned count;
    };

    // Bits taken straight from the bytes of a memory stream at its current position. finish()
    // then moves that stream to where byte-by-byte reads would have left it (with EndOfData if
    // they would have run past its end) and keeps only the bits such a reader would hold.
    class MemoryBits {
    public:
        MemoryBits(HuffBitReader &reader, MemRWStream &memory, const uint8_t *bytes);
        void finish();
        // Makes sure `n` bits (n <= 24) are at hand, plus the eight that a byte-by-byte reader
        // still holds after its last bit, so finish() never needs more than was taken. Past the
        // end of the bytes they are zero bits.
        void prepare(unsigned n) {
            if (count < n + 8)
                refill();
        }
        unsigned bit() { return take(1); }
        unsigned byte() { return take(8); }
        unsigned bits(unsigned n) { return take(n); }

    private:
        unsigned take(unsigned n) {
            unsigned value = unsigned(buffer >> (64 - n));
            buffer <<= n;
            count -= n;
            return value;
        }
        void refill();
        HuffBitReader &reader;
        MemRWStream &memory;
        const uint8_t *next;
        const uint8_t *start;
        const uint8_t *end;
        uint64_t buffer;
        unsigned count;
        unsigned countAtStart;
        int32_t positionAtStart;
        int64_t bytesTaken = 0; // zero bytes past the end included
    };

    HuffBitReader();
    ~HuffBitReader();
    HuffBitReader(const HuffBitReader &) = delete;
    HuffBitReader &operator=(const HuffBitReader &) = delete;

    // False when the tables could not be allocated; such a reader must not be used.
    bool isUsable() const { return counts && parents && children; }

    // Takes a new source (read from its current position) and restores the initial model.
    void reset(StreamIO *source);

    int getBit() { return int(StreamBits(*this).bit()); }
    int getByte() { return int(StreamBits(*this).byte()); }
    int decodeSymbol() {
        StreamBits bits(*this);
        return decodeSymbol(bits);
    }
    int decodeDistance() {
        StreamBits bits(*this);
        return decodeDistance(bits);
    }
    template <class Bits> int decodeSymbol(Bits &bits);
    template <class Bits> int decodeDistance(Bits &bits);

private:
    friend class LZHEncoder; // keeps its own model in step through updateModel

    uint8_t nextSourceByte() {
        uint8_t byte = 0;
        // Past the end of the source (or after a failure) the input continues with zero bits.
        if (!source || !source->read(1, &byte))
            byte = 0;
        return byte;
    }
    void updateModel(int symbol);
    void settleMove(int node, unsigned movesOnPath);
    int raiseAndMove(int node, unsigned raisedCount);
    void rebuildTree();
    void initialModel();

    StreamIO *source = nullptr;
    uint16_t *counts = nullptr;  // TreeSize + 1 entries; the last is a sentinel above every count
    int16_t *parents = nullptr;  // TreeSize + Symbols entries: node parents, then leaf nodes
    int16_t *children = nullptr; // TreeSize entries
    // Pending input bits, the next one in bit 63, zeros after them; at most 16 between reads.
    uint64_t bitBuffer = 0;
    unsigned bitCount = 0;
};

template <class Bits> inline int HuffBitReader::decodeSymbol(Bits &bits) {
    bits.prepare(LongestSymbolCode);
    uint16_t *count = counts;
    const int16_t *child = children;
    int c = child[Root];
    if (count[Root] == FrequencyLimit) {
        // The model is halved before this update; nothing to gain from the shortcut below.
        while (c < TreeSize)
            c = child[c + int(bits.bit())];
        updateModel(c - TreeSize);
        return c - TreeSize;
    }
    // The update raises the count of every node on the path, bottom up, and moves a node whose
    // new count passes its right neighbour's. Whether a node must move depends only on counts
    // that nothing below it changes (raised nodes lie below it, its neighbour above), so the
    // counts are raised on the way down and only a move needs the careful order.
    count[Root] = uint16_t(count[Root] + 1); // nothing outweighs the root: it never moves
    int deepestMove = 0;
    unsigned moves = 0;
    do {
        int node = c + int(bits.bit());
        unsigned k = count[node];
        bool moving = k >= count[node + 1];
        moves += moving;
        if (moving)
            deepestMove = node;
        count[node] = uint16_t(k + 1);
        c = child[node];
    } while (c < TreeSize);
    if (moves)
        settleMove(deepestMove, moves);
    return c - TreeSize;
}

template <class Bits> inline int HuffBitReader::decodeDistance(Bits &bits) {
    bits.prepare(LongestDistanceCode);
    unsigned first = bits.byte();
    unsigned extra = distanceCodeLength[first] - 2u;
    unsigned low = ((first << extra) | bits.bits(extra)) & 63u;
    return int(distanceUpper[first]) << 6 | int(low);
}
