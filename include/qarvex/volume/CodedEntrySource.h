// CodedEntrySource: the coded bytes of an LZH entry as its decoder's source. The decoder reads a
// little ahead of the bits it needs and checks its source's status before every read, so over the
// bare bytes it would meet their end, and refuse to go on, up to a few symbols before the entry's
// last byte. This source holds back the end of the bytes until the decoder has delivered the
// entry's decoded size; past the end the decoder's input continues with zero bits.
//
// It is a read-only memory stream over the bytes where they lie, so the decoder reads them in
// place as it does any memory stream's.
#pragma once

#include <qarvex/stream/MemRWStream.h>

namespace qarvex {

class CodedEntrySource : public MemRWStream {
public:
    CodedEntrySource() { status = NoSource; }

    // Reads the `length` coded bytes at `bytes` (they stay where they are) for `decoder`, which
    // delivers decodedSize bytes in all. Nothing is owned.
    void attach(const uint8_t *bytes, int32_t length, StreamIO *decoder, int32_t decodedSize);
    void detach();

    int32_t getStatus() override;
    int32_t query(int32_t code) override;
    bool write(int32_t count, const void *buffer) override;
    void close() override { detach(); }

private:
    StreamIO *decoder = nullptr;
    int32_t decodedSize = 0;
};

} // namespace qarvex
