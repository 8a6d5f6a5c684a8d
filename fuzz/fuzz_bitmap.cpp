// Fuzz target for the bitmap reader: the input is read as a PBMP chunk or a Windows BMP file, with
// and without building the embedded palette. A bitmap that loads must describe only bytes it holds,
// and must come back equal from the PBMP writer and, for 8 and 24 bits, from the BMP writer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/gfx/GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/stream/MemRWStream.h>

using namespace qarvex;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void checkShape(const GFXBitmap &bitmap) {
    require(bitmap.levelCount >= 1 && bitmap.levelCount <= GFXBitmap::MaxLevels);
    if (!bitmap.pixels) {
        require(bitmap.dataSize == 0 && bitmap.levels[0] == nullptr);
        return;
    }
    require(bitmap.pixels == bitmap.buffer + bitmap.stride);
    require(int64_t(bitmap.height) * bitmap.stride <= bitmap.dataSize);
    for (int32_t i = 0; i < bitmap.levelCount; ++i)
        require(bitmap.levels[i] >= bitmap.pixels && bitmap.levels[i] <= bitmap.pixels + bitmap.dataSize);
    // Every byte the bitmap claims is touched, slack rows included.
    uint8_t sum = 0;
    for (int64_t i = -bitmap.stride; i < int64_t(bitmap.dataSize) + bitmap.stride; ++i)
        sum = uint8_t(sum + bitmap.pixels[i]);
    (void)sum;
}

GFXBitmap *reload(std::vector<uint8_t> &bytes) {
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    return GFXBitmap::load(stream, GFXBitmap::IncludePalette);
}

void checkPbmpRoundTrip(const GFXBitmap &bitmap) {
    GrowStream out;
    require(const_cast<GFXBitmap &>(bitmap).write(out, GFXBitmap::IncludePalette));
    GFXBitmap *back = reload(out.bytes);
    require(back != nullptr);
    require(back->width == bitmap.width && back->height == bitmap.height &&
            back->bitDepth == bitmap.bitDepth);
    require(back->dataSize == bitmap.dataSize && back->levelCount == bitmap.levelCount);
    require(back->paletteIndex == bitmap.paletteIndex && back->attributes == bitmap.attributes);
    require(bitmap.dataSize == 0 || std::memcmp(back->pixels, bitmap.pixels, size_t(bitmap.dataSize)) == 0);
    require((back->palette != nullptr) == (bitmap.palette != nullptr));
    if (bitmap.palette) {
        require(back->palette->entryCount == bitmap.palette->entryCount);
        require(std::memcmp(back->palette->palettes[0].entries, bitmap.palette->palettes[0].entries,
                            4 * size_t(bitmap.palette->entryCount)) == 0);
    }
    GFXBitmap::destroy(back);
}

void checkBmpRoundTrip(const GFXBitmap &bitmap) {
    GrowStream out;
    bool written = const_cast<GFXBitmap &>(bitmap).write(out, GFXBitmap::WindowsFormat);
    bool writable = (bitmap.bitDepth == 8 || bitmap.bitDepth == 24) &&
                    (bitmap.pixels || bitmap.height * bitmap.stride == 0);
    require(written == writable);
    if (!written)
        return;
    GFXBitmap *back = reload(out.bytes);
    require(back != nullptr);
    require(back->width == bitmap.width && back->height == bitmap.height);
    size_t rows = size_t(bitmap.height) * size_t(bitmap.stride);
    require(rows == 0 || std::memcmp(back->pixels, bitmap.pixels, rows) == 0);
    GFXBitmap::destroy(back);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t flags : {0u, GFXBitmap::IncludePalette}) {
        MemRWStream stream;
        stream.attach(int32_t(bytes.size()), bytes.data());
        GFXBitmap *bitmap = GFXBitmap::load(stream, flags);
        if (!bitmap)
            continue;
        checkShape(*bitmap);
        if (bitmap->dataSize <= 1 << 16) {
            checkPbmpRoundTrip(*bitmap);
            checkBmpRoundTrip(*bitmap);
        }
        uint8_t table[256];
        for (int i = 0; i < 256; ++i)
            table[i] = uint8_t(255 - i);
        bitmap->remapPixels(table);
        GFXBitmap::destroy(bitmap);
    }
    return 0;
}
