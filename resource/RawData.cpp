// The raw-data kinds: load a resource's bytes in place or as a private copy.
#include <qarvex/resource/RawData.h>

#include <qarvex/stream/MemRWStream.h>

#include <new>
#include <type_traits>

namespace qarvex {

// Kinds stay registered through the whole teardown: nothing may run when they go.
static_assert(std::is_trivially_destructible_v<ResourceTypeRawData>);
static_assert(std::is_trivially_destructible_v<ResourceTypeStaticRawData>);

namespace {

// True when the stream's memory from its position on is known to hold fewer than size bytes,
// so that handing out a pointer into it would let the caller read past the region.
bool memoryFallsShort(StreamIO *stream, int32_t size) {
    auto *memory = dynamic_cast<MemRWStream *>(stream);
    return memory && int64_t(memory->size()) - memory->getPosition() < size;
}

} // namespace

RawData *loadRawData(StreamIO *stream, int32_t size) {
    if (!stream || size < 0)
        return nullptr;
    auto *record = new (std::nothrow) RawData;
    if (!record)
        return nullptr;
    void *inPlace = stream->getDataPointer();
    if (inPlace && memoryFallsShort(stream, size))
        inPlace = nullptr;
    record->data = inPlace;
    record->size = size;
    record->owned = inPlace == nullptr;
    if (record->owned) {
        // Zero-filled, so a short read leaves zeros rather than stale heap contents.
        auto *copy = new (std::nothrow) uint8_t[size > 0 ? size : 1]();
        record->data = copy;
        if (copy && size > 0)
            stream->read(size, copy);
    }
    return record;
}

void *ResourceTypeRawData::load(StreamIO *stream, int32_t size) {
    return loadRawData(stream, size);
}

void ResourceTypeRawData::unload(void *object) {
    auto *record = static_cast<RawData *>(object);
    if (!record)
        return;
    if (record->owned)
        delete[] static_cast<uint8_t *>(record->data);
    delete record;
}

void *ResourceTypeStaticRawData::load(StreamIO *stream, int32_t size) {
    return loadRawData(stream, size);
}

void ResourceTypeStaticRawData::unload(void *) {}

} // namespace qarvex
