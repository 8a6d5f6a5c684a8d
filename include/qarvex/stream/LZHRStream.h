// LZHRStream: a read-only stream that decompresses LZH data (a 4096-byte sliding window, matches
// of 3 to 60 bytes, adaptive Huffman code) read from another stream. The coded data carries no
// length and no end mark: the caller knows the decoded size and reads exactly that much.
//
// Construct once and attach it to each compressed entry in turn; the window and the model tables
// are allocated by the constructor and reused.
#pragma once

#include <qarvex/stream/DecodingRStream.h>
#include <qarvex/stream/HuffBitReader.h>

namespace qarvex {

class LZHRStream : public DecodingRStream {
public:
    static constexpr int32_t WindowSize = 4096;
    static constexpr int32_t WindowMask = WindowSize - 1;
    static constexpr int32_t LongestMatch = HuffBitReader::LongestMatch;
    // The ring starts filled with spaces up to here, where the first decoded byte goes.
    static constexpr int32_t InitialRingPosition = WindowSize - LongestMatch;
    static constexpr uint8_t FillByte = 0x20;

    LZHRStream();
    ~LZHRStream() override;

    bool setPosition(int32_t position) override;
    bool read(int32_t count, void *buffer) override;

    // Starts decoding `source` from its current position. Backward seeks restart at the source's
    // position 0, so that should be where the coded data starts. Null detaches. The bytes of a
    // MemRWStream (or of a class derived from it that reads as it does) are read in place.
    void attach(StreamIO *source);

private:
    void restartDecoding();
    template <class Bits> void decode(Bits &bits, uint8_t *__restrict out, int32_t count);

    HuffBitReader *reader;
    uint8_t *window;
    int32_t matchStart = 0;
    int32_t matchLength = 0;
    int32_t matchCopied = 0;
    int32_t ringPosition = InitialRingPosition;
};

} // namespace qarvex
