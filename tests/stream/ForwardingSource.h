// ForwardingSource: passes every call on to a memory stream without being one, so that a
// decompressing stream reads it through its read calls instead of in place. Counts the reads.
#pragma once

#include <qarvex/stream/MemRWStream.h>

namespace qarvex {

class ForwardingSource : public StreamIO {
public:
    explicit ForwardingSource(MemRWStream &inner) : inner(inner) {}
    int32_t getStatus() override { return inner.getStatus(); }
    bool read(int32_t count, void *buffer) override {
        ++reads;
        return inner.read(count, buffer);
    }
    bool setPosition(int32_t position) override { return inner.setPosition(position); }
    int32_t getPosition() override { return inner.getPosition(); }

    int32_t reads = 0;

private:
    MemRWStream &inner;
};

} // namespace qarvex
