// LZHEncoder: produces the LZH bit stream that LZHRStream decodes: literals and matches of 3 to 60
// bytes within a 4096-byte window that starts out as spaces, coded with the same adaptive Huffman
// model, and match distances with the fixed code of their upper six bits. The stream carries no
// length: the reader needs the input size from elsewhere.
//
// Matches are found through hash chains over the window; each match is compared with the one
// starting a byte later, and short or far matches with the literals they replace, at the prices
// the model gives them at that point.
#pragma once

#include <qarvex/stream/StreamIO.h>

#include <cstdint>
#include <memory>

namespace qarvex {

class HuffBitReader;

// One object serves one thread at a time.
class LZHEncoder {
public:
    // Construct once and reuse: the hash tables and the model are allocated here.
    LZHEncoder();
    ~LZHEncoder();
    LZHEncoder(const LZHEncoder &) = delete;
    LZHEncoder &operator=(const LZHEncoder &) = delete;

    // False when the tables could not be allocated; encode then fails.
    bool isUsable() const;

    // The most bytes that encoding `size` bytes can produce (no code word is longer than 21 bits),
    // or -1 when that does not fit a 32-bit count.
    static int32_t maxEncodedSize(int32_t size);

    // Encodes into `out`, which holds at least maxEncodedSize(size) bytes. Returns the encoded
    // size, or -1 for a negative size or when memory runs out.
    int32_t encode(const void *data, int32_t size, void *out);

    // Encodes through sink->write in pieces of a few kilobytes. False when a write fails (the sink
    // tells why), for a negative size or when memory runs out.
    bool encode(const void *data, int32_t size, StreamIO *sink);

private:
    struct Match {
        int32_t length;
        int32_t distance; // bytes back minus one, as coded
    };
    class BitWriter;

    bool run(const uint8_t *data, int32_t size, BitWriter &writer);
    void insert(int32_t position);
    Match findMatch(int32_t position) const;
    bool better(const Match &later, const Match &now) const;
    bool worthCoding(const Match &match, int32_t position) const;
    unsigned symbolBits(int symbol) const;
    void putSymbol(BitWriter &writer, int symbol);
    void putDistance(BitWriter &writer, int32_t distance);

    std::unique_ptr<HuffBitReader> model;
    std::unique_ptr<int32_t[]> head;     // newest position for each hash of three bytes, or -1
    std::unique_ptr<int32_t[]> previous; // older position with the same hash, by position modulo the window
    // The input behind the window's initial spaces, while encoding.
    const uint8_t *text = nullptr;
    int32_t textEnd = 0;
};

} // namespace qarvex
