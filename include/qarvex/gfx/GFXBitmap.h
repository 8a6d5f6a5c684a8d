// GFXBitmap: the in-memory raster image of the graphics library, with up to nine detail levels
// in one pixel block and an optional owned palette. Read from and written to the library's
// "PBMP" chunks and uncompressed Windows BMP files of 8 and 24 bits per pixel.
#pragma once

#include <cstdint>
#include <memory>

namespace qarvex {

class StreamIO;
struct GFXPalette;

// Creation number of the next bitmap; starts at 1. Not locked: the library is single-threaded.
extern int32_t bitmapSerialCounter;

struct GFXBitmap {
    // Flags of read, load and write. IncludePalette: reading builds the embedded palette, writing
    // stores it. WindowsFormat: write a Windows BMP file instead of a PBMP chunk.
    static constexpr uint32_t IncludePalette = 1;
    static constexpr uint32_t WindowsFormat = 0x80000000u;
    // Bit of attributes: buffer belongs to this bitmap.
    static constexpr uint32_t OwnsPixels = 8;
    static constexpr int32_t MaxLevels = 9;
    // Bits per pixel this library accepts for its own format; Windows files take 8 or 24.
    static constexpr int32_t MaxBitDepth = 64;

    int32_t serial = 0;
    int32_t handles[3] = {-1, -1, -1};
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    int32_t bitDepth = 0;
    int32_t dataSize = 0;
    uint8_t *buffer = nullptr;
    uint8_t *pixels = nullptr; // row 0 of level 0: buffer + stride
    GFXPalette *palette = nullptr;
    uint32_t attributes = 0;
    int32_t paletteIndex = -1;
    uint8_t *levels[MaxLevels] = {};
    int32_t levelCount = 0;

    // A blank bitmap owning uncleared pixels, or null when the geometry does not fit memory.
    static GFXBitmap *create(int32_t width, int32_t height, int32_t bitDepth);
    // An empty bitmap filled by read; null (everything freed) when the read fails.
    static GFXBitmap *load(StreamIO &stream, uint32_t flags);
    static void destroy(GFXBitmap *bitmap);
    // Owns a bitmap from create or load: GFXBitmap::Ptr bitmap(GFXBitmap::load(stream, flags)).
    struct Deleter {
        void operator()(GFXBitmap *bitmap) const { destroy(bitmap); }
    };
    using Ptr = std::unique_ptr<GFXBitmap, Deleter>;

    // Bytes per row: whole bytes rounded up to a multiple of 4; -1 when it does not fit 32 bits.
    static int32_t strideFor(int32_t width, int32_t bitDepth);
    // Swaps rows between top and bottom (both included) so that the image is upside down.
    static void flipRows(uint8_t *top, uint8_t *bottom, int32_t stride);

    // Replaces the contents with the image at the stream's position (PBMP chunk or Windows BMP).
    // False for a damaged or truncated image; the bitmap is then released.
    bool read(StreamIO &stream, uint32_t flags);
    bool write(StreamIO &stream, uint32_t flags);
    // The value stored in the PBMP size field (not the chunk's length).
    uint32_t storedSize() const;
    GFXBitmap *remapPixels(const uint8_t table[256]);
    // Frees the palette and owned pixels; the geometry stays.
    void release();

private:
    bool readWindows(StreamIO &stream, uint32_t flags);
    bool writeWindows(StreamIO &stream);
    bool setGeometry(int32_t newWidth, int32_t newHeight, int32_t newDepth);
    bool placeLevels();
    bool fail();
};

} // namespace qarvex
