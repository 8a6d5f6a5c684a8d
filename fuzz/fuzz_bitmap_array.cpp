// Fuzz target for the bitmap-array reader: the input is read as a PBMA chunk with and without
// re-indexing and embedded palettes. An array that loads must hold count readable entries, write
// only when no entry is null, and come back equal from its writer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/gfx/GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/stream/MemRWStream.h>

using namespace qarvex;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void checkRoundTrip(GFXBitmapArray &array) {
    bool anyNull = false;
    for (int32_t i = 0; i < array.count; ++i)
        anyNull = anyNull || array.bitmaps[i] == nullptr;
    GrowStream out;
    bool written = array.write(out, GFXBitmap::IncludePalette);
    require(written == !anyNull);
    if (!written) {
        require(out.bytes.empty());
        return;
    }
    MemRWStream stream;
    stream.attach(int32_t(out.bytes.size()), out.bytes.data());
    GFXBitmapArray *back = GFXBitmapArray::load(stream, GFXBitmap::IncludePalette);
    require(back != nullptr && back->count == array.count);
    require((back->remap != nullptr) == (array.remap != nullptr));
    require(!array.remap || std::memcmp(back->remap, array.remap, 4 * size_t(array.count)) == 0);
    if (array.userData && array.count > 0) {
        require(back->userSize == array.userSize);
        require(std::memcmp(back->userData, array.userData, size_t(array.count) * size_t(array.userSize)) ==
                0);
    }
    for (int32_t i = 0; i < array.count; ++i) {
        const GFXBitmap *a = array.bitmaps[i], *b = back->bitmaps[i];
        require(b && b->width == a->width && b->height == a->height && b->dataSize == a->dataSize);
        require(a->dataSize == 0 || std::memcmp(a->pixels, b->pixels, size_t(a->dataSize)) == 0);
    }
    GFXBitmapArray::destroy(back);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t flags : {0u, GFXBitmap::IncludePalette | GFXBitmapArray::ExpandByRemap}) {
        MemRWStream stream;
        stream.attach(int32_t(bytes.size()), bytes.data());
        GFXBitmapArray *array = GFXBitmapArray::load(stream, flags);
        if (!array)
            continue;
        require(array->count >= 0 && (array->count == 0 || array->bitmaps));
        require(!(flags & GFXBitmapArray::ExpandByRemap) || !array->remap);
        if (array->count <= 4096)
            checkRoundTrip(*array);
        if (!array->expandByRemap())
            require(array->remap != nullptr);
        GFXBitmapArray::destroy(array);
    }
    return 0;
}
