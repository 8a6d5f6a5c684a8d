// DecodingRStream: what the decompressing streams share: the source they decode, how far they
// have decoded, the answers of a read-only stream that can seek, and forward seeks that decode
// and discard.
// Threads: one thread at a time per stream, together with the source it decodes.
#pragma once

#include <qarvex/stream/StreamIO.h>

namespace qarvex {

class MemRWStream;

class DecodingRStream : public StreamIO {
public:
    // Forward seeks decode and discard through a scratch area of this size.
    static constexpr int32_t SkipChunk = 500;

    int32_t getPosition() override;
    int32_t query(int32_t code) override;
    bool flush() override;
    bool write(int32_t count, const void *buffer) override;
    void *getDataPointer() override;

    void close() override;

    // Starts decoding `source` from its current position, from decoded position 0. Backward seeks
    // restart at the source's position 0, so that should be where the coded data starts. Null
    // detaches. The bytes of a MemRWStream (or of a class derived from it that reads as it does)
    // are read in place.
    virtual void attach(StreamIO *source) = 0;

    // Forgets the source; the stream reports NoSource until the next attach.
    void detach();
    bool isAttached() const { return source != nullptr; }

protected:
    // `kind` is the answer to QueryKind. The stream starts without a source.
    explicit DecodingRStream(Kind kind);
    // Takes a source to decode from its current position, from decoded position 0. The bytes
    // of a MemRWStream (or of a class derived from it that reads as it does) can be read in
    // place: memorySource is then set.
    void takeSource(StreamIO *newSource);
    // Decodes and discards `count` bytes; false at the first read that fails.
    bool skipForward(int32_t count);

    StreamIO *source = nullptr;
    MemRWStream *memorySource = nullptr;
    int32_t decodedPosition = 0;

private:
    Kind kind;
};

} // namespace qarvex
