// MemRWStream: reads, writes and positions inside a caller's memory region.
#include <qarvex/stream/MemRWStream.h>

#include <cstring>

namespace qarvex {

MemRWStream::MemRWStream() {
    close();
}

void MemRWStream::attach(int32_t size, void *region) {
    regionStart = cursor = static_cast<uint8_t *>(region);
    regionEnd = regionStart + size;
    status = Ok;
    attached = true;
}

void MemRWStream::close() {
    regionStart = regionEnd = cursor = nullptr;
    status = Closed;
    attached = false;
}

// A negative count would copy a huge length or move the cursor out of the region.
bool MemRWStream::refuseNegativeCount() {
    status = NotSupported;
    return false;
}

bool MemRWStream::failAtCursor(bool writing) {
    status = (cursor == regionEnd && !writing) ? EndOfData : AccessError;
    return false;
}

int32_t MemRWStream::getPosition() {
    return int32_t(cursor - regionStart);
}

bool MemRWStream::setPosition(int32_t position) {
    if (status == EndOfData)
        status = Ok;
    if (status != Ok)
        return false;
    if (position < 0 || position > size())
        return failAtCursor(false);
    cursor = regionStart + position;
    return true;
}

bool MemRWStream::read(int32_t count, void *buffer) {
    if (status != Ok)
        return false;
    if (count <= 0)
        return count == 0 || refuseNegativeCount();
    int32_t remaining = int32_t(regionEnd - cursor);
    if (remaining < count) {
        if (remaining > 0)
            std::memcpy(buffer, cursor, size_t(remaining));
        cursor = regionEnd;
        return failAtCursor(false);
    }
    std::memcpy(buffer, cursor, size_t(count));
    cursor += count;
    return true;
}

bool MemRWStream::write(int32_t count, const void *buffer) {
    if (status != Ok)
        return false;
    if (count < 0)
        return refuseNegativeCount();
    int32_t room = int32_t(regionEnd - cursor);
    if (room < count) {
        if (room > 0)
            std::memcpy(cursor, buffer, size_t(room));
        cursor = regionEnd;
        return failAtCursor(true);
    }
    if (count > 0)
        std::memcpy(cursor, buffer, size_t(count));
    cursor += count;
    return true;
}

void MemRWStream::settleAfterInPlaceReads(int32_t position, bool ranPastEnd) {
    // Through the virtual calls: a derived stream sees the same calls its own reads would make.
    setPosition(position);
    if (ranPastEnd) {
        uint8_t ignored;
        read(1, &ignored);
    }
}

bool MemRWStream::flush() {
    return true;
}

void *MemRWStream::getDataPointer() {
    return (attached && status == Ok) ? cursor : nullptr;
}

int32_t MemRWStream::query(int32_t code) {
    switch (code) {
    case QueryKind:
        return KindMemory;
    case QueryCanWrite:
    case QueryCanRead:
    case QueryCanSeek:
        return 1;
    case QueryCode4:
        return attached ? 1 : 0;
    default:
        return 0;
    }
}

} // namespace qarvex
