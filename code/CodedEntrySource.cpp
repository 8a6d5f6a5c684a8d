// CodedEntrySource: forwards to the entry's coded bytes, hiding their end while the decoder still
// owes bytes of the entry.
#include "code/CodedEntrySource.h"

void CodedEntrySource::attach(StreamIO *newBytes, StreamIO *newDecoder, int32_t newDecodedSize) {
    bytes = newBytes;
    decoder = newDecoder;
    decodedSize = newDecodedSize;
    status = bytes ? bytes->getStatus() : NoSource;
}

void CodedEntrySource::detach() {
    bytes = nullptr;
    decoder = nullptr;
    decodedSize = 0;
    status = NoSource;
}

int32_t CodedEntrySource::getStatus() {
    if (!bytes)
        return NoSource;
    int32_t bytesStatus = bytes->getStatus();
    // Reading ahead ran into the end of the bytes: the bits the entry still needs are all in the
    // decoder already, and any further input is zero bits.
    if (bytesStatus == EndOfData && decoder && decoder->getPosition() < decodedSize)
        return Ok;
    return bytesStatus;
}

int32_t CodedEntrySource::getPosition() {
    return bytes ? bytes->getPosition() : 0;
}

bool CodedEntrySource::setPosition(int32_t position) {
    return bytes && bytes->setPosition(position);
}

int32_t CodedEntrySource::query(int32_t code) {
    return bytes ? bytes->query(code) : 0;
}

bool CodedEntrySource::write(int32_t, const void *) {
    return false;
}

bool CodedEntrySource::read(int32_t count, void *buffer) {
    return bytes && bytes->read(count, buffer);
}
