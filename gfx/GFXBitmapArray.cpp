// GFXBitmapArray: the PBMA reader and writer and re-indexing by the remap table.
#include <qarvex/gfx/GFXBitmapArray.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gfx/GFXChunk.h"
#include <qarvex/core/LittleEndian.h>
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/stream/StreamIO.h>

namespace qarvex {

namespace {

constexpr uint32_t TagPbma = le::tag("PBMA");
constexpr uint32_t TagHead = le::tag("head");
constexpr uint32_t TagUser = le::tag("user");
constexpr uint32_t TagRmap = le::tag("rmap");
constexpr uint32_t TagPbmp = le::tag("PBMP");

constexpr uint32_t HeadBytes = 8;

} // namespace

GFXBitmapArray *GFXBitmapArray::load(StreamIO &stream, uint32_t flags) {
    auto array = new (std::nothrow) GFXBitmapArray;
    if (array && !array->read(stream, flags)) {
        destroy(array);
        return nullptr;
    }
    return array;
}

void GFXBitmapArray::destroy(GFXBitmapArray *array) {
    delete array;
}

void GFXBitmapArray::release() {
    if (bitmaps)
        for (int32_t i = 0; i < count; ++i)
            GFXBitmap::destroy(bitmaps[i]);
    std::free(bitmaps);
    std::free(userData);
    std::free(remap);
    bitmaps = nullptr;
    userData = nullptr;
    remap = nullptr;
}

// A failed read leaves no count behind that would describe entries which do not exist.
bool GFXBitmapArray::fail() {
    release();
    count = 0;
    userSize = 0;
    return false;
}

// Makes room for n entries, the new ones null; count follows the room so that release always
// sees exactly the entries that exist.
bool GFXBitmapArray::growEntries(int32_t n) {
    if (n <= count)
        return true;
    auto grown = static_cast<GFXBitmap **>(std::realloc(bitmaps, size_t(n) * sizeof(GFXBitmap *)));
    if (!grown)
        return false;
    std::fill(grown + count, grown + n, nullptr);
    bitmaps = grown;
    count = n;
    return true;
}

bool GFXBitmapArray::read(StreamIO &stream, uint32_t flags) {
    release();
    count = 0;
    bool haveHead = false;
    bool firstChunk = true;
    int32_t countdown = -1;
    int32_t cursor = 0;
    // The head's count; the entries grow toward it as bitmaps arrive, so a head that announces
    // more than the stream holds costs no large allocation.
    int32_t announced = 0;
    for (;;) {
        if (haveHead) {
            if (countdown == 0)
                break;
            --countdown;
        }
        uint8_t header[8];
        if (!stream.read(8, header))
            return fail();
        uint32_t tag = le::read32(header);
        uint32_t size = le::read32(header + 4);
        switch (tag) {
        case TagPbma:
            break;
        case TagHead: {
            uint8_t head[HeadBytes];
            if (haveHead || !gfxchunk::readFixed(stream, size, HeadBytes, head))
                return fail();
            countdown = int32_t(le::read32(head) & 0x00FFFFFF);
            int32_t entries = int32_t(le::read32(head + 4));
            // Every stored bitmap is one of the chunks the head announces.
            if (entries < 0 || entries > countdown)
                return fail();
            announced = entries;
            haveHead = true;
            break;
        }
        case TagUser: {
            // Records need the head's count to be divided among.
            if (!haveHead || announced == 0)
                return fail();
            uint8_t *block = gfxchunk::readAllocated(stream, size, 0, 0);
            if (!block)
                return fail();
            std::free(userData);
            userData = block;
            userSize = int32_t(size / uint32_t(announced));
            break;
        }
        case TagRmap: {
            // One logical index per stored bitmap, no more and no fewer.
            if (!haveHead || uint64_t(size) != 4 * uint64_t(announced))
                return fail();
            uint8_t *block = gfxchunk::readAllocated(stream, size, 0, 0);
            if (!block)
                return fail();
            for (int32_t i = 0; i < announced; ++i) {
                uint32_t value = le::read32(block + 4 * i);
                std::memcpy(block + 4 * i, &value, 4);
            }
            std::free(remap);
            remap = reinterpret_cast<int32_t *>(block);
            break;
        }
        case TagPbmp:
            // A bitmap beyond count has no slot.
            if (!haveHead || cursor >= announced)
                return fail();
            if (cursor >= count && !growEntries(std::min(announced, std::max(16, 2 * count))))
                return fail();
            bitmaps[cursor++] = GFXBitmap::load(stream, flags);
            break;
        default:
            if (firstChunk || !gfxchunk::skip(stream, size))
                return fail();
            break;
        }
        firstChunk = false;
    }
    // A last bitmap cut short by the end of the stream makes the array truncated too.
    if (stream.getStatus() != StreamIO::Ok || !growEntries(announced))
        return fail();
    if ((flags & ExpandByRemap) && !expandByRemap())
        return fail();
    return true;
}

bool GFXBitmapArray::expandByRemap() {
    if (!remap)
        return true;
    // An empty table maps nothing; it goes as any table does after re-indexing.
    if (count <= 0) {
        std::free(remap);
        remap = nullptr;
        return true;
    }
    // Strictly ascending from 0 or up: every bitmap gets its own slot and none is lost.
    int32_t previous = -1;
    for (int32_t i = 0; i < count; ++i) {
        if (remap[i] <= previous)
            return false;
        previous = remap[i];
    }
    if (previous >= MaxSlots || userSize < 0)
        return false;
    int64_t slots = int64_t(previous) + 1;
    int64_t userBytes = userData ? slots * userSize : 0;
    if (userBytes > int64_t(gfxchunk::MaxBlock))
        return false;
    auto newBitmaps = static_cast<GFXBitmap **>(std::calloc(size_t(slots), sizeof(GFXBitmap *)));
    // Records of empty slots are cleared so that nothing stale is ever written out.
    auto newUser =
        userData ? static_cast<uint8_t *>(std::calloc(size_t(userBytes ? userBytes : 1), 1)) : nullptr;
    if (!newBitmaps || (userData && !newUser)) {
        std::free(newBitmaps);
        std::free(newUser);
        return false;
    }
    for (int32_t j = 0; j < count; ++j) {
        newBitmaps[remap[j]] = bitmaps ? bitmaps[j] : nullptr;
        if (userData && userSize > 0)
            std::memcpy(newUser + int64_t(remap[j]) * userSize, userData + int64_t(j) * userSize,
                        size_t(userSize));
    }
    std::free(bitmaps);
    std::free(userData);
    std::free(remap);
    bitmaps = newBitmaps;
    userData = newUser;
    remap = nullptr;
    count = int32_t(slots);
    return true;
}

uint32_t GFXBitmapArray::storedSize() const {
    uint32_t size = 16;
    if (remap)
        size += 8 + 4 * uint32_t(count);
    if (hasUserRecords())
        size += 8 + uint32_t(count) * uint32_t(userSize);
    if (bitmaps)
        for (int32_t i = 0; i < count; ++i)
            if (bitmaps[i])
                size += bitmaps[i]->storedSize();
    return size;
}

bool GFXBitmapArray::write(StreamIO &stream, uint32_t flags) {
    // A null entry has no chunk to stand for it; skipping it would shift every later index.
    if (count < 0 || (count > 0 && !bitmaps))
        return false;
    for (int32_t i = 0; i < count; ++i)
        if (!bitmaps[i])
            return false;
    bool withUser = hasUserRecords();
    int64_t userBytes = withUser ? int64_t(count) * userSize : 0;
    int64_t chunks = int64_t(withUser) + count + int64_t(remap != nullptr);
    if (userBytes < 0 || userBytes > int64_t(gfxchunk::MaxBlock) ||
        4 * int64_t(count) > int64_t(gfxchunk::MaxBlock) || chunks > MaxEntries)
        return false;

    uint8_t head[24];
    le::write32(head, TagPbma);
    le::write32(head + 4, storedSize());
    le::write32(head + 8, TagHead);
    le::write32(head + 12, HeadBytes);
    le::write32(head + 16, uint32_t(chunks));
    le::write32(head + 20, uint32_t(count));
    stream.write(int32_t(sizeof head), head);
    if (withUser) {
        gfxchunk::writeHeader(stream, TagUser, uint32_t(userBytes));
        stream.write(int32_t(userBytes), userData);
    }
    if (remap) {
        gfxchunk::writeHeader(stream, TagRmap, 4 * uint32_t(count));
        uint8_t values[1024];
        for (int32_t i = 0; i < count;) {
            int32_t n = 0;
            for (; n < 256 && i < count; ++n, ++i)
                le::write32(values + 4 * n, uint32_t(remap[i]));
            stream.write(4 * n, values);
        }
    }
    // Bitmaps inside an array are always PBMP chunks: a Windows file there would not read back.
    bool written = true;
    for (int32_t i = 0; i < count; ++i)
        written = bitmaps[i]->write(stream, flags & ~GFXBitmap::WindowsFormat) && written;
    return written && stream.getStatus() == StreamIO::Ok;
}

} // namespace qarvex
