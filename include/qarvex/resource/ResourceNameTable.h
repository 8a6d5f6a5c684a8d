// The resource name table: one canonical copy of every resource name, found again whatever
// its letter case, so that names can be compared by pointer. Also the backslash path helpers.
// Threads: the process-wide table is not locked; use it from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qarvex {

// Hands out pieces of fixed-size chunks; nothing is freed until the whole pool goes.
class ChunkPool {
public:
    explicit ChunkPool(int32_t chunkSize);
    ~ChunkPool();
    ChunkPool(const ChunkPool &) = delete;
    ChunkPool &operator=(const ChunkPool &) = delete;

    // n bytes, aligned for a pointer; null when n is larger than a chunk or memory ran out.
    void *allocate(int32_t n);

    int32_t chunkSize() const { return size; }
    int32_t chunkCount() const;

private:
    struct Chunk {
        std::unique_ptr<Chunk> next; // the older chunk
        std::unique_ptr<uint8_t[]> area;
        int32_t used = 0;
    };
    bool addChunk();

    int32_t size;
    std::unique_ptr<Chunk> newest;
};

class ResourceNameTable {
public:
    static constexpr int32_t ChunkSize = 16376;
    static constexpr int32_t InitialBucketCount = 29;
    // The longest text the table takes: it and its terminator must fit one chunk.
    static constexpr int32_t MaxTextLength = ChunkSize - 1;

    ResourceNameTable();
    ~ResourceNameTable();
    ResourceNameTable(const ResourceNameTable &) = delete;
    ResourceNameTable &operator=(const ResourceNameTable &) = delete;

    // The table's copy of text, added when no entry matches (byte for byte when exact,
    // otherwise ignoring case). Null for a null text, a text longer than MaxTextLength, or
    // when memory ran out.
    const char *intern(const char *text, bool exact = false);
    // The same for the first length bytes of text, which need no terminator.
    const char *intern(const char *text, size_t length, bool exact);

    int32_t bucketCount() const { return buckets; }
    int32_t entryCount() const { return entries; }

    // The case-folding hash: equal for texts that differ only in letter case.
    static uint32_t hash(const char *text, size_t length);

private:
    struct Node {
        const char *text;
        Node *next;
    };
    void rehash();

    std::unique_ptr<Node *[]> heads;
    int32_t buckets = InitialBucketCount;
    int32_t entries = 0;
    ChunkPool pool;
};

// The process-wide table, defined by the start-up unit.
extern ResourceNameTable resourceNameTable;

// Splits path at its last backslash into the interned directory (null when there is no
// backslash) and the interned name. False, with both null, when either cannot be interned.
bool splitPath(const char *path, const char *&directory, const char *&name);

// "directory\name", or name alone when directory is null, in a 1024-byte buffer that the next
// call overwrites. Null when the result would not fit.
const char *joinPath(const char *directory, const char *name);

} // namespace qarvex
