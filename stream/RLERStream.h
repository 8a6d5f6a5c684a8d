// RLERStream: a read-only stream that expands run-length coded data read from another stream.
// Each packet starts with a control byte: 0x80 + n is a run (one value byte, repeated n times),
// n below 0x80 is a literal (n bytes copied unchanged). There is no header and no end mark: the
// caller knows the expanded size and reads exactly that much.
#pragma once

#include "stream/StreamIO.h"

class RLERStream : public StreamIO {
public:
    static constexpr uint8_t RunFlag = 0x80;
    static constexpr uint8_t LengthMask = 0x7F;
    // Forward seeks expand and discard through a scratch area of this size.
    static constexpr int32_t SkipChunk = 500;

    RLERStream();

    int32_t getPosition() override;
    bool setPosition(int32_t position) override;
    int32_t query(int32_t code) override;
    bool flush() override;
    bool write(int32_t count, const void *buffer) override;
    bool read(int32_t count, void *buffer) override;
    void *getDataPointer() override;
    void close() override;

    // Starts expanding `source` from its current position. Backward seeks restart at the
    // source's position 0, so that should be where the coded data starts. Null detaches.
    void attach(StreamIO *source);
    // Forgets the source; the stream reports NoSource until the next attach.
    void detach();
    bool isAttached() const { return source != nullptr; }

private:
    bool failFromSource();

    StreamIO *source = nullptr;
    uint8_t runValue = 0;
    uint8_t runRemaining = 0;
    uint8_t literalRemaining = 0;
    int32_t decodedPosition = 0;
};
