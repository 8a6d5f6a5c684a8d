// Raw data: a resource that is just its bytes, and the two kinds that load it (".dat", whose
// records are released by unload, and ".sdt", whose records stay for the rest of the process).
// Threads: the kinds live in the unlocked process-wide list; load and unload from one thread at a time.
#pragma once

#include <qarvex/resource/ResourceType.h>

namespace qarvex {

struct RawData {
    bool owned;   // the bytes were allocated by the kind and are freed with the record
    void *data;   // the bytes, or null when their memory was not available
    int32_t size; // byte count
};

class ResourceTypeRawData : public ResourceType {
public:
    ResourceTypeRawData(const char *extension, int32_t param) : ResourceType(extension, param) {}
    void *load(StreamIO *stream, int32_t size) override;
    void unload(void *object) override;
};

class ResourceTypeStaticRawData : public ResourceType {
public:
    ResourceTypeStaticRawData(const char *extension, int32_t param) : ResourceType(extension, param) {}
    void *load(StreamIO *stream, int32_t size) override;
    // Does nothing: static raw data lives until the process ends.
    void unload(void *object) override;
};

// The load shared by both kinds: memory the stream already holds is used in place; anything
// else is copied into bytes the record owns. Returns a new record, or null.
RawData *loadRawData(StreamIO *stream, int32_t size);

} // namespace qarvex
