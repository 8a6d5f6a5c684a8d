// MemRWStream: a stream over a fixed memory region that somebody else owns. It never
// allocates; it hands out direct pointers to the bytes at its cursor.
// Threads: one thread at a time per stream; several streams may read one region from different threads while
// nobody writes it.
#pragma once

#include <qarvex/stream/StreamIO.h>

namespace qarvex {

class MemRWStream : public StreamIO {
public:
    MemRWStream();

    int32_t getPosition() override;
    bool setPosition(int32_t position) override;
    int32_t query(int32_t code) override;
    bool flush() override;
    bool write(int32_t count, const void *buffer) override;
    bool read(int32_t count, void *buffer) override;
    void *getDataPointer() override;
    void close() override;

    // Replaces the region; the stream becomes usable at position 0.
    void attach(int32_t size, void *region);
    int32_t size() const { return int32_t(regionEnd - regionStart); }
    // For readers that took bytes straight from getDataPointer(): leaves the stream where their
    // own reads would have, at `position`, and with ranPastEnd failed as a read past the end
    // leaves it (EndOfData).
    void settleAfterInPlaceReads(int32_t position, bool ranPastEnd);

private:
    bool failAtCursor(bool writing);
    bool refuseNegativeCount();

    uint8_t *regionStart = nullptr;
    uint8_t *regionEnd = nullptr;
    uint8_t *cursor = nullptr;
    bool attached = false;
};

} // namespace qarvex
