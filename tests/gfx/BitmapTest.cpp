// Bitmaps in the library's own format: creation and strides, the PBMP layout byte for byte,
// round trips with palettes and detail levels, skipped chunks and refusal of damaged chunks.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXPalette.h>

namespace qarvex {

namespace {

using BitmapPtr = GFXBitmap::Ptr;

BitmapPtr loadFrom(std::vector<uint8_t> &bytes, uint32_t flags = GFXBitmap::IncludePalette) {
    Reader reader(bytes);
    return BitmapPtr(GFXBitmap::load(reader.stream, flags));
}

// A bitmap whose pixel bytes count up from seed, with optional palette and detail levels.
BitmapPtr sample(int32_t width, int32_t height, int32_t depth, uint8_t seed, bool withPalette = false) {
    BitmapPtr bitmap(GFXBitmap::create(width, height, depth));
    for (int32_t i = 0; i < bitmap->dataSize; ++i)
        bitmap->pixels[i] = uint8_t(seed + i);
    if (withPalette) {
        bitmap->palette = GFXPalette::construct();
        for (int32_t i = 0; i < 1024; ++i)
            bitmap->palette->palettes[0].entries[i] = uint8_t(i * 5);
    }
    return bitmap;
}

Bytes pbmpHead(uint32_t chunks, int32_t width, int32_t height, int32_t depth = 8) {
    Bytes b;
    return b.tag("PBMP")
        .u32(0xDEADBEEF)
        .chunk("head", {chunks, uint32_t(width), uint32_t(height), uint32_t(depth), 8});
}

void expectSameImage(const GFXBitmap &a, const GFXBitmap &b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.bitDepth, b.bitDepth);
    EXPECT_EQ(a.stride, b.stride);
    EXPECT_EQ(a.levelCount, b.levelCount);
    EXPECT_EQ(a.paletteIndex, b.paletteIndex);
    ASSERT_EQ(a.dataSize, b.dataSize);
    EXPECT_EQ(0, std::memcmp(a.pixels, b.pixels, size_t(a.dataSize)));
}

TEST(Bitmap, StridesAndCreation) {
    struct {
        int32_t width, depth, stride;
    } strides[] = {{32, 1, 4},  {33, 1, 4},  {1, 8, 4}, {5, 8, 8},
                   {3, 24, 12}, {4, 24, 12}, {0, 8, 0}, {7, 32, 28}};
    for (auto s : strides) {
        EXPECT_EQ(GFXBitmap::strideFor(s.width, s.depth), s.stride) << s.width << "x" << s.depth;
        BitmapPtr bitmap(GFXBitmap::create(s.width, 3, s.depth));
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->dataSize, 3 * s.stride);
        EXPECT_EQ(bitmap->pixels, bitmap->buffer + s.stride);
        EXPECT_EQ(bitmap->levels[0], bitmap->pixels);
        EXPECT_EQ(bitmap->attributes, GFXBitmap::OwnsPixels);
        EXPECT_EQ(bitmap->paletteIndex, -1);
        EXPECT_EQ(bitmap->handles[2], -1);
    }
    int32_t serial = bitmapSerialCounter;
    BitmapPtr a(GFXBitmap::create(1, 1, 8)), b(GFXBitmap::create(1, 1, 8));
    EXPECT_EQ(a->serial, serial);
    EXPECT_EQ(b->serial, serial + 1);
    EXPECT_FALSE(BitmapPtr(GFXBitmap::create(-1, 1, 8)));
    EXPECT_FALSE(BitmapPtr(GFXBitmap::create(1, 1, 0)));
    EXPECT_FALSE(BitmapPtr(GFXBitmap::create(INT32_MAX, INT32_MAX, 8)));
}

TEST(Bitmap, PbmpLayoutByteForByte) {
    BitmapPtr bitmap = sample(5, 2, 8, 1);
    bitmap->paletteIndex = 3;
    std::vector<uint8_t> pixels(bitmap->pixels, bitmap->pixels + 16);
    Bytes plain = pbmpHead(3, 5, 2);
    le::write32(plain.data.data() + 4, 16 + 32);
    plain.tag("data").u32(16).add(pixels).chunk("DETL", {1}).chunk("PiDX", {3});
    GrowStream out;
    ASSERT_TRUE(bitmap->write(out, 0));
    EXPECT_EQ(out.bytes, plain.data);
    EXPECT_EQ(out.bytes.size(), 68u + 16);

    // With a palette the size field counts 1048 more, whether or not the palette is written.
    bitmap->palette = GFXPalette::construct();
    EXPECT_EQ(bitmap->storedSize(), 16u + 32 + 1048);
    GrowStream withoutPalette;
    ASSERT_TRUE(bitmap->write(withoutPalette, 0));
    EXPECT_EQ(withoutPalette.bytes.size(), 84u);
    EXPECT_EQ(word(withoutPalette.bytes, 4), 16u + 32 + 1048);

    GrowStream withPalette;
    ASSERT_TRUE(bitmap->write(withPalette, GFXBitmap::IncludePalette));
    ASSERT_EQ(withPalette.bytes.size(), 84u + 1048);
    EXPECT_EQ(word(withPalette.bytes, 16), 4u);
    EXPECT_EQ(tagAt(withPalette.bytes, 36), "RIFF");
    EXPECT_EQ(word(withPalette.bytes, 40), 1040u);
    EXPECT_EQ(tagAt(withPalette.bytes, 36 + 1048), "data");
}

TEST(Bitmap, PbmpRoundTrips) {
    struct Case {
        const char *name;
        bool palette;
        uint32_t writeFlags, readFlags;
        int32_t levels;
    } cases[] = {
        {"plain", false, 0, GFXBitmap::IncludePalette, 1},
        {"palette", true, GFXBitmap::IncludePalette, GFXBitmap::IncludePalette, 1},
        {"palette skipped on reading", true, GFXBitmap::IncludePalette, 0, 1},
        {"detail levels", false, 0, 0, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // Detail levels: 256 + 64 + 16 + 4 bytes in one block.
        BitmapPtr bitmap = sample(16, c.levels > 1 ? 22 : 16, 8, 9, c.palette);
        if (c.levels > 1) {
            bitmap->height = 16;
            bitmap->dataSize = 340;
            bitmap->levelCount = c.levels;
        }
        bitmap->paletteIndex = 7;
        GrowStream out;
        ASSERT_TRUE(bitmap->write(out, c.writeFlags));
        BitmapPtr back = loadFrom(out.bytes, c.readFlags);
        ASSERT_TRUE(back);
        expectSameImage(*bitmap, *back);
        EXPECT_EQ(back->attributes, GFXBitmap::OwnsPixels);
        bool expectPalette = c.palette && (c.readFlags & GFXBitmap::IncludePalette);
        ASSERT_EQ(back->palette != nullptr, expectPalette);
        if (expectPalette) {
            EXPECT_EQ(0, std::memcmp(back->palette->palettes[0].entries, bitmap->palette->palettes[0].entries,
                                     1024));
        }
        EXPECT_EQ(back->levels[c.levels - 1] - back->pixels, c.levels == 4 ? 336 : 0);
    }
}

TEST(Bitmap, DetailLevelsAndRemapCoverEveryLevel) {
    Bytes file = pbmpHead(3, 64, 64);
    file.tag("data").u32(4096 + 1024 + 256).fill(5376, 2).chunk("DETL", {3}).chunk("PiDX", {uint32_t(-1)});
    BitmapPtr bitmap = loadFrom(file.data);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->levels[1], bitmap->pixels + 4096);
    EXPECT_EQ(bitmap->levels[2], bitmap->pixels + 5120);
    uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = uint8_t(i + 40);
    bitmap->remapPixels(table);
    EXPECT_EQ(bitmap->levels[2][255], 42);
}

TEST(Bitmap, HeadWithoutChunksGivesGeometryOnly) {
    Bytes file = pbmpHead(0, 9, 4);
    BitmapPtr bitmap = loadFrom(file.data);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width, 9);
    EXPECT_EQ(bitmap->pixels, nullptr);
    EXPECT_EQ(bitmap->levels[0], nullptr);
    GrowStream out;
    ASSERT_TRUE(bitmap->write(out, 0));
    BitmapPtr back = loadFrom(out.bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->height, 4);
    EXPECT_EQ(back->pixels, nullptr);
}

TEST(Bitmap, OtherChunksAreSkippedAndCounted) {
    Bytes file;
    file.tag("PBMP").u32(0).tag("note").u32(3).fill(3, 0xEE);
    file.tag("head").u32(24).u32(4).u32(4).u32(1).u32(8).u32(8).u32(0x77); // 4 bytes beyond the record
    file.tag("junk").u32(5).fill(5, 1).tag("data").u32(4).fill(4, 6).chunk("DETL", {1}).chunk("PiDX", {2});
    size_t end = file.data.size();
    file.tag("next").u32(0);
    Reader reader(file.data);
    BitmapPtr bitmap(GFXBitmap::load(reader.stream, 0));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(reader.stream.getPosition(), int32_t(end));
    EXPECT_EQ(bitmap->pixels[3], 6);
    EXPECT_EQ(bitmap->paletteIndex, 2);
}

TEST(Bitmap, DamagedImagesFailAndLeaveTheBitmapReleased) {
    auto data = [](Bytes b, uint32_t size, size_t bytes) { return b.tag("data").u32(size).fill(bytes, 1); };
    auto tail = [](Bytes b, uint32_t levels) { return b.chunk("DETL", {levels}).chunk("PiDX", {0}); };
    Bytes badForm = pbmpHead(4, 4, 1);
    badForm.tag("RIFF").u32(20).tag("WAVE").tag("data").u32(4).u32(0);
    Bytes secondHead = pbmpHead(2, 4, 1);
    secondHead.chunk("head", {1, 8, 8, 8, 8});
    Bytes shortHead;
    shortHead.tag("PBMP").u32(0).chunk("head", {1, 4, 1, 8});
    Bytes dataFirst;
    dataFirst.tag("PBMP").u32(0).tag("data").u32(4).fill(4, 0);
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"not a bitmap", Bytes().raw("\x89PNG\r\n\x1a\n", 8).fill(20, 0).data},
        {"ends before the head", Bytes().tag("PBMP").u32(0).data},
        {"data before the head", dataFirst.data},
        {"second head", secondHead.data},
        {"short head", shortHead.data},
        {"negative width", pbmpHead(0, -4, 1).data},
        {"no bits per pixel", pbmpHead(0, 4, 1, 0).data},
        {"pixels cut short", data(pbmpHead(3, 4, 4), 16, 10).data},
        {"fewer pixels than rows", tail(data(pbmpHead(3, 4, 4), 12, 12), 1).data},
        {"no detail levels", tail(data(pbmpHead(3, 4, 4), 16, 16), 0).data},
        {"ten detail levels", tail(data(pbmpHead(3, 4, 4), 16, 16), 10).data},
        {"levels beyond the pixels", tail(data(pbmpHead(3, 4, 4), 16, 16), 2).data},
        {"levels without pixels", tail(pbmpHead(2, 4, 4), 2).data},
        {"skip beyond any position", pbmpHead(1, 4, 1).tag("huge").u32(0xFFFFFFF0).data},
        {"palette of another form", badForm.data},
    };
    for (Case &c : cases) {
        EXPECT_FALSE(loadFrom(c.bytes)) << c.name;
        BitmapPtr bitmap = sample(4, 4, 8, 0, true);
        Reader reader(c.bytes);
        EXPECT_FALSE(bitmap->read(reader.stream, GFXBitmap::IncludePalette)) << c.name;
        EXPECT_EQ(bitmap->pixels, nullptr);
        EXPECT_EQ(bitmap->palette, nullptr);
        EXPECT_EQ(bitmap->dataSize, 0);
    }
}

} // namespace

} // namespace qarvex
