// GFXBitmap: creation, the PBMP chunk reader and writer, the Windows BMP reader and writer, detail
// levels and pixel remapping.
#include <qarvex/gfx/GFXBitmap.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "gfx/GFXChunk.h"
#include <qarvex/core/LittleEndian.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/stream/StreamIO.h>

namespace qarvex {

int32_t bitmapSerialCounter = 1;

namespace {

constexpr uint32_t TagPbmp = le::tag("PBMP");
constexpr uint32_t TagHead = le::tag("head");
constexpr uint32_t TagRiff = le::tag("RIFF");
constexpr uint32_t TagData = le::tag("data");
constexpr uint32_t TagDetl = le::tag("DETL");
constexpr uint32_t TagPidx = le::tag("PiDX");

constexpr uint32_t HeadBytes = 20;
constexpr uint32_t FileHeaderBytes = 14;
constexpr uint32_t InfoHeaderBytes = 40;
constexpr uint32_t BmpHeaderBytes = FileHeaderBytes + InfoHeaderBytes;
constexpr uint16_t PaletteIndexMark = 0xF5F7;
// Bytes of a stored palette of 256 entries, counted by storedSize whatever the palette holds.
constexpr uint32_t StoredPaletteBytes = 1048;

} // namespace

int32_t GFXBitmap::strideFor(int32_t width, int32_t bitDepth) {
    int64_t bits = int64_t(width) * bitDepth;
    int64_t rowBytes = ((bits >> 3) + 3) & ~int64_t(3);
    return (rowBytes < 0 || rowBytes > INT32_MAX) ? -1 : int32_t(rowBytes);
}

bool GFXBitmap::setGeometry(int32_t newWidth, int32_t newHeight, int32_t newDepth) {
    if (newWidth < 0 || newHeight < 0 || newDepth < 1 || newDepth > MaxBitDepth)
        return false;
    int32_t newStride = strideFor(newWidth, newDepth);
    // The pixels and their two slack rows must fit one allocation a stream count can fill.
    if (newStride < 0 || (int64_t(newHeight) + 2) * newStride > int64_t(gfxchunk::MaxBlock))
        return false;
    width = newWidth;
    height = newHeight;
    bitDepth = newDepth;
    stride = newStride;
    return true;
}

GFXBitmap *GFXBitmap::create(int32_t width, int32_t height, int32_t bitDepth) {
    auto bitmap = new (std::nothrow) GFXBitmap;
    if (!bitmap)
        return nullptr;
    if (!bitmap->setGeometry(width, height, bitDepth)) {
        delete bitmap;
        return nullptr;
    }
    size_t bytes = size_t((int64_t(height) + 2) * bitmap->stride);
    bitmap->buffer = static_cast<uint8_t *>(std::malloc(bytes ? bytes : 1));
    if (!bitmap->buffer) {
        delete bitmap;
        return nullptr;
    }
    bitmap->serial = bitmapSerialCounter++;
    bitmap->dataSize = height * bitmap->stride;
    bitmap->pixels = bitmap->buffer + bitmap->stride;
    bitmap->attributes = OwnsPixels;
    bitmap->levelCount = 1;
    bitmap->levels[0] = bitmap->pixels;
    return bitmap;
}

GFXBitmap *GFXBitmap::load(StreamIO &stream, uint32_t flags) {
    auto bitmap = new (std::nothrow) GFXBitmap;
    if (!bitmap)
        return nullptr;
    bitmap->serial = bitmapSerialCounter++;
    if (!bitmap->read(stream, flags)) {
        destroy(bitmap);
        return nullptr;
    }
    return bitmap;
}

void GFXBitmap::destroy(GFXBitmap *bitmap) {
    if (!bitmap)
        return;
    bitmap->release();
    delete bitmap;
}

void GFXBitmap::release() {
    GFXPalette::destroy(palette);
    if (attributes & OwnsPixels)
        std::free(buffer);
    buffer = nullptr;
    pixels = nullptr;
    palette = nullptr;
    attributes = 0;
    // Nothing is left for the size and the level pointers to describe.
    dataSize = 0;
    std::fill(std::begin(levels), std::end(levels), nullptr);
}

bool GFXBitmap::fail() {
    release();
    levelCount = 1;
    return false;
}

uint32_t GFXBitmap::storedSize() const {
    return uint32_t(dataSize) + 32 + (palette ? StoredPaletteBytes : 0);
}

GFXBitmap *GFXBitmap::remapPixels(const uint8_t table[256]) {
    if (pixels)
        for (int32_t i = 0; i < dataSize; ++i)
            pixels[i] = table[pixels[i]];
    return this;
}

void GFXBitmap::flipRows(uint8_t *top, uint8_t *bottom, int32_t stride) {
    while (top < bottom) {
        std::swap_ranges(top, top + stride, bottom);
        top += stride;
        bottom -= stride;
    }
}

// Level i follows level i-1, whose size is width x height divided by 4 for each step; every level
// must lie inside the pixel bytes, and level 0 needs its full rows.
bool GFXBitmap::placeLevels() {
    std::fill(std::begin(levels), std::end(levels), nullptr);
    if (levelCount < 1 || levelCount > MaxLevels)
        return false;
    if (!pixels)
        return levelCount == 1;
    if (int64_t(dataSize) < int64_t(height) * stride)
        return false;
    int64_t offsets[MaxLevels] = {};
    int64_t size = int64_t(width) * height;
    for (int32_t i = 1; i < levelCount; ++i) {
        offsets[i] = offsets[i - 1] + size;
        size /= 4;
        if (offsets[i] + size > dataSize)
            return false;
    }
    for (int32_t i = 0; i < levelCount; ++i)
        levels[i] = pixels + offsets[i];
    return true;
}

bool GFXBitmap::read(StreamIO &stream, uint32_t flags) {
    paletteIndex = -1;
    release();
    levelCount = 1;
    bool haveHead = false;
    bool firstChunk = true;
    int32_t countdown = -1;
    for (;;) {
        // Before the head the loop runs until the head arrives; the stream's end stops it.
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
        if (!haveHead && header[0] == 'B' && header[1] == 'M')
            return readWindows(stream, flags);
        switch (tag) {
        case TagPbmp:
            break;
        case TagHead: {
            // A second head would change the geometry under pixels already read.
            uint8_t head[HeadBytes];
            if (haveHead || !gfxchunk::readFixed(stream, size, HeadBytes, head))
                return fail();
            countdown = int32_t(le::read32(head) & 0x00FFFFFF);
            if (!setGeometry(int32_t(le::read32(head + 4)), int32_t(le::read32(head + 8)),
                             int32_t(le::read32(head + 12))))
                return fail();
            attributes = le::read32(head + 16);
            haveHead = true;
            break;
        }
        case TagRiff:
            if (flags & IncludePalette) {
                GFXPalette::destroy(palette);
                palette = GFXPalette::construct();
                if (!palette || !palette->readRiff(stream))
                    return fail();
            } else if (!gfxchunk::skip(stream, size)) {
                return fail();
            }
            break;
        case TagData: {
            // Without the head there is no stride for the slack rows and no geometry to check;
            // pixels must hold every row, and at least one row's worth.
            if (!haveHead ||
                (size != 0 && (size < uint64_t(height) * uint64_t(stride) || size < uint32_t(stride))))
                return fail();
            uint8_t *block = nullptr;
            if (size != 0 &&
                !(block = gfxchunk::readAllocated(stream, size, uint32_t(stride), uint32_t(stride))))
                return fail();
            std::free(buffer);
            buffer = block;
            pixels = block ? block + stride : nullptr;
            dataSize = int32_t(size);
            if (block)
                attributes |= OwnsPixels;
            break;
        }
        case TagDetl:
        case TagPidx: {
            uint8_t value[4];
            if (!gfxchunk::readFixed(stream, size, 4, value))
                return fail();
            (tag == TagDetl ? levelCount : paletteIndex) = int32_t(le::read32(value));
            break;
        }
        default:
            if (firstChunk || !gfxchunk::skip(stream, size))
                return fail();
            break;
        }
        firstChunk = false;
    }
    if (!placeLevels())
        return fail();
    return true;
}

bool GFXBitmap::readWindows(StreamIO &stream, uint32_t flags) {
    GFXPalette::destroy(palette);
    palette = nullptr;
    int32_t start = stream.getPosition() - 8;
    uint8_t header[BmpHeaderBytes];
    if (start < 0 || !stream.setPosition(start) || !stream.read(int32_t(BmpHeaderBytes), header))
        return fail();
    uint16_t reserved1 = le::read16(header + 6);
    uint16_t reserved2 = le::read16(header + 8);
    uint32_t pixelOffset = le::read32(header + 10);
    uint32_t infoSize = le::read32(header + 14);
    int32_t fileWidth = int32_t(le::read32(header + 18));
    int32_t fileHeight = int32_t(le::read32(header + 22));
    uint16_t bitCount = le::read16(header + 28);
    uint32_t compression = le::read32(header + 30);
    uint32_t coloursUsed = le::read32(header + 46);
    paletteIndex = (reserved1 == PaletteIndexMark && reserved2 != 0xFFFF) ? reserved2 : -1;
    // Only uncompressed 8- and 24-bit images with at least the 40-byte header are understood;
    // anything else would be read as garbage.
    if ((bitCount != 8 && bitCount != 24) || infoSize < InfoHeaderBytes || compression != 0)
        return fail();
    if (fileHeight == INT32_MIN ||
        !setGeometry(fileWidth, fileHeight < 0 ? -fileHeight : fileHeight, bitCount))
        return fail();
    // A longer information header (later versions of the format) ends before the colour table.
    if (!gfxchunk::skip(stream, infoSize - InfoHeaderBytes))
        return fail();
    uint64_t tableEnd = uint64_t(FileHeaderBytes) + infoSize;
    if (bitCount == 8) {
        uint32_t count = coloursUsed ? coloursUsed : 256;
        if (count > 256)
            return fail();
        if (flags & IncludePalette) {
            palette = GFXPalette::construct();
            if (!palette)
                return fail();
            palette->entryCount = uint16_t(count);
            if (!stream.read(int32_t(4 * count), palette->palettes[0].entries))
                return fail();
            palette->takeWindowsColours();
        } else if (!gfxchunk::skip(stream, 4 * count)) {
            return fail();
        }
        tableEnd += 4 * count;
    }
    // Pixels may start later than straight after the table; an offset inside it is not trusted.
    if (pixelOffset > tableEnd && !gfxchunk::skip(stream, pixelOffset - tableEnd))
        return fail();

    int64_t size = int64_t(height) * stride;
    uint8_t *block = nullptr;
    if (size != 0 &&
        !(block = gfxchunk::readAllocated(stream, uint64_t(size), uint32_t(stride), uint32_t(stride))))
        return fail();
    buffer = block;
    pixels = block ? block + stride : nullptr;
    dataSize = int32_t(size);
    attributes = block ? OwnsPixels : 0u;
    // A positive height stores the bottom row first.
    if (fileHeight > 0 && pixels)
        flipRows(pixels, pixels + int64_t(height - 1) * stride, stride);
    levelCount = 1;
    levels[0] = pixels;
    return true;
}

bool GFXBitmap::write(StreamIO &stream, uint32_t flags) {
    if (flags & WindowsFormat)
        return writeWindows(stream);
    if (dataSize < 0)
        return false;
    bool withPalette = palette && (flags & IncludePalette) && palette->entryCount <= 256;
    int32_t pixelBytes = pixels ? dataSize : 0;
    uint8_t head[36];
    le::write32(head, TagPbmp);
    le::write32(head + 4, storedSize());
    le::write32(head + 8, TagHead);
    le::write32(head + 12, HeadBytes);
    le::write32(head + 16, withPalette ? 4 : 3);
    le::write32(head + 20, uint32_t(width));
    le::write32(head + 24, uint32_t(height));
    le::write32(head + 28, uint32_t(bitDepth));
    le::write32(head + 32, attributes);
    stream.write(int32_t(sizeof head), head);
    if (withPalette)
        palette->writeRiff(stream);
    gfxchunk::writeHeader(stream, TagData, uint32_t(pixelBytes));
    if (pixelBytes > 0)
        stream.write(pixelBytes, pixels);
    uint8_t tail[24];
    le::write32(tail, TagDetl);
    le::write32(tail + 4, 4);
    le::write32(tail + 8, uint32_t(levelCount));
    le::write32(tail + 12, TagPidx);
    le::write32(tail + 16, 4);
    le::write32(tail + 20, uint32_t(paletteIndex));
    stream.write(int32_t(sizeof tail), tail);
    return stream.getStatus() == StreamIO::Ok;
}

bool GFXBitmap::writeWindows(StreamIO &stream) {
    // Other depths or a stride off the rule would make a file that no reader takes as meant.
    if ((bitDepth != 8 && bitDepth != 24) || width < 0 || height < 0 || stride != strideFor(width, bitDepth))
        return false;
    // Only level 0 is written; the bitmap's dataSize (all levels) stays as it is.
    int64_t size = int64_t(height) * stride;
    uint32_t tableEntries = bitDepth == 24 ? 0 : 256;
    uint32_t pixelOffset = BmpHeaderBytes + 4 * tableEntries;
    if (size > 0 && (!pixels || dataSize < size))
        return false;
    if (size + pixelOffset > int64_t(gfxchunk::MaxBlock))
        return false;

    uint8_t header[BmpHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    le::write32(header + 2, uint32_t(pixelOffset + size));
    if (paletteIndex != -1) {
        le::write16(header + 6, PaletteIndexMark);
        le::write16(header + 8, uint16_t(paletteIndex));
    }
    le::write32(header + 10, pixelOffset);
    le::write32(header + 14, InfoHeaderBytes);
    le::write32(header + 18, uint32_t(width));
    le::write32(header + 22, uint32_t(height));
    le::write16(header + 26, 1);
    le::write16(header + 28, uint16_t(bitDepth));
    le::write32(header + 34, uint32_t(size));
    stream.write(int32_t(BmpHeaderBytes), header);
    if (tableEntries) {
        uint8_t table[1024];
        for (int32_t i = 0; i < 256; ++i) {
            const uint8_t *entry = palette ? palette->palettes[0].entries + 4 * i : nullptr;
            table[4 * i] = entry ? entry[2] : uint8_t(i);
            table[4 * i + 1] = entry ? entry[1] : uint8_t(i);
            table[4 * i + 2] = entry ? entry[0] : uint8_t(i);
            table[4 * i + 3] = 0;
        }
        stream.write(int32_t(sizeof table), table);
    }
    // Bottom row first, written from the bottom up so the bitmap in memory stays untouched.
    if (size > 0)
        for (int32_t row = height - 1; row >= 0; --row)
            stream.write(stride, pixels + int64_t(row) * stride);
    return stream.getStatus() == StreamIO::Ok;
}

} // namespace qarvex
