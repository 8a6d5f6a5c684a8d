// The resource name table, its chunk pool and the backslash path helpers.
#include <qarvex/resource/ResourceNameTable.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace qarvex {

namespace {

// Pieces keep pointer alignment, since nodes are carved between texts of any length.
constexpr int32_t PieceAlignment = alignof(void *) > 4 ? int32_t(alignof(void *)) : 4;

unsigned char lowerCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

// entry (terminated) against the first length bytes of text.
bool sameText(const char *entry, const char *text, size_t length, bool exact) {
    for (size_t i = 0; i < length; ++i) {
        unsigned char a = uint8_t(entry[i]), b = uint8_t(text[i]);
        if (a == '\0')
            return false;
        if (a != b && (exact || lowerCase(a) != lowerCase(b)))
            return false;
    }
    return entry[length] == '\0';
}

constexpr int32_t JoinCapacity = 1024;
char joinBuffer[JoinCapacity];

} // namespace

ChunkPool::ChunkPool(int32_t chunkSize) : size(chunkSize > 0 ? chunkSize : 1) {
    addChunk();
}

ChunkPool::~ChunkPool() {
    // One chunk at a time: letting each chunk free the next would nest as deep as the chain is long.
    while (newest)
        newest = std::move(newest->next);
}

bool ChunkPool::addChunk() {
    std::unique_ptr<Chunk> chunk(new (std::nothrow) Chunk);
    if (!chunk)
        return false;
    chunk->area.reset(new (std::nothrow) uint8_t[size]);
    if (!chunk->area)
        return false;
    chunk->next = std::move(newest);
    newest = std::move(chunk);
    return true;
}

void *ChunkPool::allocate(int32_t n) {
    if (n < 0 || n > size)
        return nullptr;
    if ((!newest || int64_t(newest->used) + n > size) && !addChunk())
        return nullptr;
    void *piece = newest->area.get() + newest->used;
    newest->used += (n + PieceAlignment - 1) / PieceAlignment * PieceAlignment;
    return piece;
}

int32_t ChunkPool::chunkCount() const {
    int32_t count = 0;
    for (const Chunk *chunk = newest.get(); chunk; chunk = chunk->next.get())
        ++count;
    return count;
}

ResourceNameTable::ResourceNameTable() : pool(ChunkSize) {
    heads.reset(new (std::nothrow) Node *[InitialBucketCount]());
    if (!heads)
        buckets = 0;
}

ResourceNameTable::~ResourceNameTable() = default;

uint32_t ResourceNameTable::hash(const char *text, size_t length) {
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        int32_t v = int8_t(lowerCase(uint8_t(text[i])));
        value = (value << 1) ^ uint32_t(v * v);
    }
    return value;
}

const char *ResourceNameTable::intern(const char *text, bool exact) {
    return text ? intern(text, std::strlen(text), exact) : nullptr;
}

const char *ResourceNameTable::intern(const char *text, size_t length, bool exact) {
    if (!text || !heads || length > size_t(MaxTextLength))
        return nullptr;
    Node **link = &heads[hash(text, length) % uint32_t(buckets)];
    for (; *link; link = &(*link)->next)
        if (sameText((*link)->text, text, length, exact))
            return (*link)->text;

    auto *node = static_cast<Node *>(pool.allocate(int32_t(sizeof(Node))));
    auto *copy = static_cast<char *>(pool.allocate(int32_t(length) + 1));
    if (!node || !copy)
        return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    node->text = copy;
    node->next = nullptr;
    *link = node;
    ++entries;
    if (entries > 2 * buckets)
        rehash();
    return copy;
}

void ResourceNameTable::rehash() {
    if (buckets > (INT32_MAX - 1) / 4)
        return;
    int32_t grown = 4 * buckets - 1;
    std::unique_ptr<Node *[]> fresh(new (std::nothrow) Node *[grown]());
    if (!fresh)
        return; // longer chains, but every entry is still found
    for (int32_t b = 0; b < buckets; ++b) {
        for (Node *node = heads[b]; node;) {
            Node *following = node->next;
            Node *&head = fresh[hash(node->text, std::strlen(node->text)) % uint32_t(grown)];
            node->next = head;
            head = node;
            node = following;
        }
    }
    heads = std::move(fresh);
    buckets = grown;
}

bool splitPath(const char *path, const char *&directory, const char *&name) {
    directory = name = nullptr;
    if (!path)
        return false;
    const char *slash = std::strrchr(path, '\\');
    if (!slash) {
        name = resourceNameTable.intern(path, false);
        return name != nullptr;
    }
    const char *dir = resourceNameTable.intern(path, size_t(slash - path), false);
    const char *leaf = resourceNameTable.intern(slash + 1, false);
    if (!dir || !leaf)
        return false;
    directory = dir;
    name = leaf;
    return true;
}

const char *joinPath(const char *directory, const char *name) {
    if (!name)
        return nullptr;
    int written = directory ? std::snprintf(joinBuffer, JoinCapacity, "%s\\%s", directory, name)
                            : std::snprintf(joinBuffer, JoinCapacity, "%s", name);
    if (written < 0 || written >= JoinCapacity)
        return nullptr;
    return joinBuffer;
}

} // namespace qarvex
