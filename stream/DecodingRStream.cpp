// DecodingRStream: the answers every decompressing stream gives alike.
#include <qarvex/stream/DecodingRStream.h>
#include <qarvex/stream/MemRWStream.h>

namespace qarvex {

DecodingRStream::DecodingRStream(Kind kind) : kind(kind) {
    status = NoSource;
}

void DecodingRStream::takeSource(StreamIO *newSource) {
    source = newSource;
    memorySource = dynamic_cast<MemRWStream *>(newSource);
    decodedPosition = 0;
}

void DecodingRStream::detach() {
    if (!source)
        return;
    flush();
    source = nullptr;
    memorySource = nullptr;
    status = NoSource;
}

void DecodingRStream::close() {
    detach();
}

int32_t DecodingRStream::getPosition() {
    return (source && status != NoSource) ? decodedPosition : 0;
}

bool DecodingRStream::flush() {
    return status != NoSource;
}

bool DecodingRStream::write(int32_t, const void *) {
    status = NotSupported;
    return false;
}

void *DecodingRStream::getDataPointer() {
    return nullptr;
}

int32_t DecodingRStream::query(int32_t code) {
    switch (code) {
    case QueryKind:
        return kind;
    case QueryCanRead:
    case QueryCanSeek:
    case QueryCode4:
        return 1;
    default:
        return 0;
    }
}

bool DecodingRStream::skipForward(int32_t count) {
    uint8_t scratch[SkipChunk];
    for (int32_t chunks = count / SkipChunk; chunks > 0; --chunks) {
        // A failed read leaves the stream failing, so every later read would fail as well.
        if (!read(SkipChunk, scratch))
            return false;
    }
    return read(count % SkipChunk, scratch);
}

} // namespace qarvex
