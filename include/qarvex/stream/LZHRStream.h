// LZHRStream: a read-only stream that decompresses LZH data (a 4096-byte sliding window, matches
// of 3 to 60 bytes, adaptive Huffman code) read from another stream. The coded data carries no
// length and no end mark: the caller knows the decoded size and reads exactly that much. A read
// that needs bits past the end of the coded data fails with EndOfData (or the source's own failure)
// as soon as the code word that needed them is taken: data cut short is never padded out.
//
// Construct once and attach it to each compressed entry in turn; the window and the model tables
// are allocated by the constructor and reused. One object serves one thread at a time.
#pragma once

#include <qarvex/stream/DecodingRStream.h>

#include <memory>

namespace qarvex {

class LZHRStream : public DecodingRStream {
public:
    static constexpr int32_t WindowSize = 4096;
    static constexpr int32_t WindowMask = WindowSize - 1;
    static constexpr int32_t LongestMatch = 60;
    // The ring starts filled with spaces up to here, where the first decoded byte goes.
    static constexpr int32_t InitialRingPosition = WindowSize - LongestMatch;
    static constexpr uint8_t FillByte = 0x20;

    LZHRStream();
    ~LZHRStream() override;

    bool setPosition(int32_t position) override;
    bool read(int32_t count, void *buffer) override;

    void attach(StreamIO *source) override;

private:
    // The model and the window: private to the decoder, allocated once with the stream.
    struct Decoder;

    void restartDecoding();
    template <class Bits> bool decode(Bits &bits, uint8_t *__restrict out, int32_t count);

    std::unique_ptr<Decoder> decoder;
    // Ok, or why decoding stopped for good (the coded data ran out) until a restart.
    int32_t failure = Ok;
    int32_t matchStart = 0;
    int32_t matchLength = 0;
    int32_t matchCopied = 0;
    int32_t ringPosition = InitialRingPosition;
};

} // namespace qarvex
