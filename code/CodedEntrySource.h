// CodedEntrySource: the coded bytes of an LZH entry as its decoder's source. The decoder reads a
// little ahead of the bits it needs and checks its source's status before every read, so over the
// bare bytes it would meet their end, and refuse to go on, up to a few symbols before the entry's
// last byte. This source holds back the end of the bytes until the decoder has delivered the
// entry's decoded size; past the end the decoder's input continues with zero bits.
#pragma once

#include "stream/StreamIO.h"

class CodedEntrySource : public StreamIO {
public:
    CodedEntrySource() { status = NoSource; }

    // Reads the `length` coded bytes at `bytes` (they stay where they are) for `decoder`, which
    // delivers decodedSize bytes in all. Nothing is owned.
    void attach(const uint8_t *bytes, int32_t length, StreamIO *decoder, int32_t decodedSize);
    void detach();

    int32_t getStatus() override;
    int32_t getPosition() override;
    bool setPosition(int32_t position) override;
    int32_t query(int32_t code) override;
    bool write(int32_t count, const void *buffer) override;
    bool read(int32_t count, void *buffer) override;
    void close() override { detach(); }

private:
    const uint8_t *start = nullptr;
    const uint8_t *end = nullptr;
    const uint8_t *cursor = nullptr;
    StreamIO *decoder = nullptr;
    int32_t decodedSize = 0;
};
