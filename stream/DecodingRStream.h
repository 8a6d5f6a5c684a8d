// DecodingRStream: what the decompressing streams share: the source they decode, how far they
// have decoded, the answers of a read-only stream that can seek, and forward seeks that decode
// and discard.
#pragma once

#include "stream/StreamIO.h"

class DecodingRStream : public StreamIO {
public:
    // Forward seeks decode and discard through a scratch area of this size.
    static constexpr int32_t SkipChunk = 500;

    int32_t getPosition() override;
    int32_t query(int32_t code) override;
    bool flush() override;
    bool write(int32_t count, const void *buffer) override;
    void *getDataPointer() override;

    bool isAttached() const { return source != nullptr; }

protected:
    // `kind` is the answer to QueryKind. The stream starts without a source.
    explicit DecodingRStream(Kind kind);
    // Decodes and discards `count` bytes; false at the first read that fails.
    bool skipForward(int32_t count);

    StreamIO *source = nullptr;
    int32_t decodedPosition = 0;

private:
    Kind kind;
};
