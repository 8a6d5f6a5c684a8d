// CodedEntrySource: reads the coded bytes in place, one at a time as the decoder asks for them,
// hiding their end while the decoder still owes bytes of the entry.
#include "code/CodedEntrySource.h"

#include <cstring>

void CodedEntrySource::attach(const uint8_t *bytes, int32_t length, StreamIO *newDecoder,
                              int32_t newDecodedSize) {
    start = cursor = bytes;
    end = bytes + (bytes && length > 0 ? length : 0);
    decoder = newDecoder;
    decodedSize = newDecodedSize;
    status = Ok;
}

void CodedEntrySource::detach() {
    start = end = cursor = nullptr;
    decoder = nullptr;
    decodedSize = 0;
    status = NoSource;
}

int32_t CodedEntrySource::getStatus() {
    // Reading ahead ran into the end of the bytes: the bits the entry still needs are all in the
    // decoder already, and any further input is zero bits.
    if (status == EndOfData && decoder && decoder->getPosition() < decodedSize)
        return Ok;
    return status;
}

int32_t CodedEntrySource::getPosition() {
    return int32_t(cursor - start);
}

bool CodedEntrySource::setPosition(int32_t position) {
    if (status == EndOfData)
        status = Ok;
    if (status != Ok)
        return false;
    if (position < 0 || position > end - start) {
        status = AccessError;
        return false;
    }
    cursor = start + position;
    return true;
}

int32_t CodedEntrySource::query(int32_t code) {
    return code == QueryKind ? KindMemory : (code == QueryCanRead || code == QueryCanSeek) ? 1 : 0;
}

bool CodedEntrySource::write(int32_t, const void *) {
    return false;
}

bool CodedEntrySource::read(int32_t count, void *buffer) {
    if (status != Ok)
        return false;
    if (count <= 0)
        return count == 0;
    if (end - cursor < count) {
        std::memcpy(buffer, cursor, size_t(end - cursor));
        cursor = end;
        status = EndOfData;
        return false;
    }
    if (count == 1)
        *static_cast<uint8_t *>(buffer) = *cursor; // what the decoder asks for, every time
    else
        std::memcpy(buffer, cursor, size_t(count));
    cursor += count;
    return true;
}
