// CodedEntrySource: a read-only memory stream that hides the end of its bytes while the decoder
// still owes bytes of the entry.
#include <qarvex/volume/CodedEntrySource.h>

namespace qarvex {

void CodedEntrySource::attach(const uint8_t *bytes, int32_t length, StreamIO *newDecoder,
                              int32_t newDecodedSize) {
    // The bytes are only ever read: write() refuses.
    MemRWStream::attach(bytes && length > 0 ? length : 0, const_cast<uint8_t *>(bytes));
    decoder = newDecoder;
    decodedSize = newDecodedSize;
}

void CodedEntrySource::detach() {
    MemRWStream::close();
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

int32_t CodedEntrySource::query(int32_t code) {
    return code == QueryCanWrite ? 0 : MemRWStream::query(code);
}

bool CodedEntrySource::write(int32_t, const void *) {
    return false;
}

} // namespace qarvex
