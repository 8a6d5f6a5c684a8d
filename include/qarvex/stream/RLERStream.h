// RLERStream: a read-only stream that expands run-length coded data read from another stream.
// Each packet starts with a control byte: 0x80 + n is a run (one value byte, repeated n times),
// n below 0x80 is a literal (n bytes copied unchanged). There is no header and no end mark: the
// caller knows the expanded size and reads exactly that much. A packet cut short by the end of the
// coded data fails the read with the source's status (EndOfData for a memory source) at once.
// Threads: one thread at a time per stream, together with the source it expands.
#pragma once

#include <qarvex/stream/DecodingRStream.h>

namespace qarvex {

class RLERStream : public DecodingRStream {
public:
    static constexpr uint8_t RunFlag = 0x80;
    static constexpr uint8_t LengthMask = 0x7F;

    RLERStream();

    bool setPosition(int32_t position) override;
    bool read(int32_t count, void *buffer) override;

    void attach(StreamIO *source) override;

private:
    template <class Packets> bool expand(Packets &packets, uint8_t *out, int32_t count);
    bool failFromSource();

    uint8_t runValue = 0;
    uint8_t runRemaining = 0;
    uint8_t literalRemaining = 0;
};

} // namespace qarvex
