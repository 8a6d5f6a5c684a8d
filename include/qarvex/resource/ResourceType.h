// Resource kinds: objects that turn the bytes of one file extension into an in-memory resource
// and release it again. Every kind links itself into one process-wide list when it is built.
// Threads: the process-wide list of kinds is not locked; register and walk it from one thread at a time.
#pragma once

#include <cstdint>

namespace qarvex {

class StreamIO;

class ResourceType {
public:
    // The code of a name with no extension, or of a name ending in a dot.
    static constexpr uint32_t NoExtension = 0xFFFFFFFFu;

    // Computes the key from the extension text and puts this kind at the head of the registry.
    ResourceType(const char *extension, int32_t param);
    ResourceType(const ResourceType &) = delete;
    ResourceType &operator=(const ResourceType &) = delete;

    // Returns a new resource built from size bytes at the stream's position, or null.
    virtual void *load(StreamIO *stream, int32_t size) = 0;
    // Releases what load of this kind returned; null is ignored.
    virtual void unload(void *object) = 0;

    // The most recently registered kind; walk on through next. Kinds are never unlinked, so
    // they must be objects that live until the process ends.
    static ResourceType *registryHead();

    uint32_t key;
    int32_t param;
    ResourceType *next;

    // Kinds are never destroyed through this class (and have nothing to release), so the
    // destructor is neither virtual nor public: it keeps kinds trivially destructible.
protected:
    ~ResourceType() = default;
};

// The extension code of a name or extension text: up to four lower-cased characters after the
// last dot in bytes 0-3 (byte 0 least significant), unfilled bytes 0xFF.
uint32_t extensionCode(const char *text);

} // namespace qarvex
