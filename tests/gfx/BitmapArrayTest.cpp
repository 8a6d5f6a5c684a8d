// Bitmap arrays: the PBMA layout and stored size, round trips with user records and remap table,
// re-indexing, embedded palettes, and the answers to damaged or unusual arrays.
#include <gtest/gtest.h>

#include <memory>

#include "GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXPalette.h>

namespace qarvex {

namespace {

using ArrayPtr = GFXBitmapArray::Ptr;

ArrayPtr loadFrom(std::vector<uint8_t> &bytes, uint32_t flags = 0) {
    Reader reader(bytes);
    return ArrayPtr(GFXBitmapArray::load(reader.stream, flags));
}

// An array of `count` small bitmaps (bitmap i is i + 1 pixels wide and filled with i), with
// optional user records of userSize bytes and remap values.
ArrayPtr makeArray(int32_t count, int32_t userSize, std::vector<int32_t> remap, bool palettes = false) {
    ArrayPtr array(new GFXBitmapArray);
    array->count = count;
    array->bitmaps = static_cast<GFXBitmap **>(std::calloc(size_t(count) + 1, sizeof(GFXBitmap *)));
    for (int32_t i = 0; i < count; ++i) {
        GFXBitmap *bitmap = GFXBitmap::create(i + 1, 2, 8);
        std::memset(bitmap->pixels, i, size_t(bitmap->dataSize));
        if (palettes)
            bitmap->palette = GFXPalette::construct();
        array->bitmaps[i] = bitmap;
    }
    if (userSize) {
        array->userSize = userSize;
        array->userData = static_cast<uint8_t *>(std::malloc(size_t(count * userSize)));
        for (int32_t i = 0; i < count * userSize; ++i)
            array->userData[i] = uint8_t(i + 1);
    }
    if (!remap.empty()) {
        array->remap = static_cast<int32_t *>(std::malloc(remap.size() * 4));
        std::memcpy(array->remap, remap.data(), remap.size() * 4);
    }
    return array;
}

std::vector<uint8_t> written(GFXBitmapArray &array, uint32_t flags = 0) {
    GrowStream out;
    EXPECT_TRUE(array.write(out, flags));
    return out.bytes;
}

// A stored bitmap 1 pixel wide and 1 high, as the bitmap writer makes it.
std::vector<uint8_t> pbmp() {
    GFXBitmap::Ptr bitmap(GFXBitmap::create(1, 1, 8));
    GrowStream out;
    bitmap->write(out, 0);
    return out.bytes;
}

TEST(BitmapArray, LayoutAndStoredSize) {
    ArrayPtr array = makeArray(3, 6, {1, 4, 6});
    auto bytes = written(*array);
    uint32_t bitmapsSize = 0;
    for (int32_t i = 0; i < 3; ++i)
        bitmapsSize += array->bitmaps[i]->storedSize();
    EXPECT_EQ(array->storedSize(), 16 + (8 + 12) + (8 + 18) + bitmapsSize);
    EXPECT_EQ(tagAt(bytes, 0), "PBMA");
    EXPECT_EQ(word(bytes, 4), array->storedSize());
    EXPECT_EQ(tagAt(bytes, 8), "head");
    EXPECT_EQ(word(bytes, 12), 8u);
    EXPECT_EQ(word(bytes, 16), 5u);
    EXPECT_EQ(word(bytes, 20), 3u);
    EXPECT_EQ(tagAt(bytes, 24), "user");
    EXPECT_EQ(word(bytes, 28), 18u);
    EXPECT_EQ(bytes[32], 1);
    EXPECT_EQ(tagAt(bytes, 50), "rmap");
    EXPECT_EQ(word(bytes, 54), 12u);
    EXPECT_EQ(word(bytes, 66), 6u);
    EXPECT_EQ(tagAt(bytes, 70), "PBMP");
    EXPECT_EQ(bytes.size(), 70u + 3 * (68 + 8));

    ArrayPtr plain = makeArray(2, 0, {});
    auto plainBytes = written(*plain);
    EXPECT_EQ(word(plainBytes, 16), 2u);
    EXPECT_EQ(plain->storedSize(), 16 + plain->bitmaps[0]->storedSize() + plain->bitmaps[1]->storedSize());
    EXPECT_EQ(tagAt(plainBytes, 24), "PBMP");
}

TEST(BitmapArray, RoundTripsWithRecordsAndRemapTable) {
    for (bool palettes : {false, true}) {
        ArrayPtr array = makeArray(3, 6, {1, 4, 6}, palettes);
        auto bytes = written(*array, GFXBitmap::IncludePalette | GFXBitmap::WindowsFormat);
        for (uint32_t flags : {0u, GFXBitmap::IncludePalette}) {
            ArrayPtr back = loadFrom(bytes, flags);
            ASSERT_TRUE(back);
            ASSERT_EQ(back->count, 3);
            EXPECT_EQ(back->userSize, 6);
            EXPECT_EQ(0, std::memcmp(back->userData, array->userData, 18));
            EXPECT_EQ(std::vector<int32_t>(back->remap, back->remap + 3), (std::vector<int32_t>{1, 4, 6}));
            for (int32_t i = 0; i < 3; ++i) {
                GFXBitmap *b = back->bitmaps[i];
                ASSERT_TRUE(b);
                EXPECT_EQ(b->width, i + 1);
                EXPECT_EQ(b->pixels[1], i);
                EXPECT_EQ(b->palette != nullptr, palettes && flags != 0);
            }
            if (!palettes || flags) { // the size fields count the palettes the bitmaps hold
                EXPECT_EQ(written(*back), written(*array));
            }
        }
    }
}

TEST(BitmapArray, ReindexingByTheRemapTable) {
    ArrayPtr array = makeArray(3, 2, {3, 5, 9});
    GFXBitmap *middle = array->bitmaps[1];
    ASSERT_TRUE(array->expandByRemap());
    ASSERT_EQ(array->count, 10);
    EXPECT_EQ(array->remap, nullptr);
    for (int32_t i = 0; i < 10; ++i)
        EXPECT_EQ(array->bitmaps[i] != nullptr, i == 3 || i == 5 || i == 9) << i;
    EXPECT_EQ(array->bitmaps[5], middle);
    EXPECT_EQ(array->userData[5 * 2 + 1], 4);
    EXPECT_EQ(array->userData[4 * 2], 0);
    // Null slots have no chunk to be written as.
    GrowStream out;
    EXPECT_FALSE(array->write(out, 0));
    EXPECT_TRUE(out.bytes.empty());

    ArrayPtr stored = makeArray(2, 0, {0, 2});
    auto bytes = written(*stored);
    ArrayPtr expanded = loadFrom(bytes, GFXBitmapArray::ExpandByRemap);
    ASSERT_TRUE(expanded);
    EXPECT_EQ(expanded->count, 3);
    EXPECT_EQ(expanded->bitmaps[1], nullptr);
    EXPECT_EQ(expanded->bitmaps[2]->width, 2);
}

TEST(BitmapArray, RemapTablesThatCannotReindex) {
    for (auto remap : {std::vector<int32_t>{4, 2}, {1, 1}, {-1, 3}, {0, GFXBitmapArray::MaxSlots}}) {
        ArrayPtr array = makeArray(2, 3, remap);
        GFXBitmap *first = array->bitmaps[0];
        EXPECT_FALSE(array->expandByRemap()) << remap[0] << "," << remap[1];
        EXPECT_EQ(array->count, 2);
        EXPECT_EQ(array->bitmaps[0], first);
        EXPECT_NE(array->remap, nullptr);
        auto bytes = written(*array);
        EXPECT_FALSE(loadFrom(bytes, GFXBitmapArray::ExpandByRemap));
        EXPECT_TRUE(loadFrom(bytes));
    }
    // An empty table maps nothing and goes.
    ArrayPtr empty = makeArray(0, 0, {7});
    EXPECT_TRUE(empty->expandByRemap());
    EXPECT_EQ(empty->remap, nullptr);
    EXPECT_EQ(empty->count, 0);
}

TEST(BitmapArray, ChunksAndFailedBitmaps) {
    Bytes user;
    user.tag("PBMA").u32(0).tag("note").u32(2).u16(0).chunk("head", {6, 4}).tag("user").u32(20).fill(20, 3);
    user.tag("junk").u32(1).u8(0);
    auto stored = pbmp();
    for (int i = 0; i < 4; ++i)
        user.tag("PBMP").u32(0).add(std::vector<uint8_t>(stored.begin() + 8, stored.end()));
    ArrayPtr array = loadFrom(user.data);
    ASSERT_TRUE(array);
    EXPECT_EQ(array->userSize, 5);
    EXPECT_TRUE(array->bitmaps[3]);

    // A bitmap that fails leaves a null entry; the array still reads.
    Bytes failed;
    failed.tag("PBMA").u32(0).chunk("head", {2, 2}).tag("PBMP").u32(0).tag("what").u32(0);
    failed.add(pbmp());
    ArrayPtr partial = loadFrom(failed.data);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->bitmaps[0], nullptr);
    EXPECT_NE(partial->bitmaps[1], nullptr);
}

TEST(BitmapArray, DamagedArraysFailAndLeaveItEmpty) {
    auto head = [](uint32_t chunks, uint32_t count) {
        Bytes b;
        return b.tag("PBMA").u32(0).chunk("head", {chunks, count});
    };
    auto cut = written(*makeArray(2, 4, {0, 1}));
    cut.resize(cut.size() - 5);
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"unknown first chunk", Bytes().tag("ABCD").u32(0).data},
        {"ends before the head", Bytes().tag("PBMA").u32(0).data},
        {"bitmap before the head", Bytes().tag("PBMA").u32(0).add(pbmp()).data},
        {"records before the head", Bytes().tag("PBMA").u32(0).tag("user").u32(0).data},
        {"table before the head", Bytes().tag("PBMA").u32(0).tag("rmap").u32(0).data},
        {"records without bitmaps", head(1, 0).tag("user").u32(4).u32(0).data},
        {"more bitmaps than count", head(2, 1).add(pbmp()).add(pbmp()).data},
        {"count beyond the chunks", head(1, 1000000).data},
        {"negative count", head(1, uint32_t(-1)).data},
        {"table of the wrong size", head(3, 2).tag("rmap").u32(4).u32(0).data},
        {"second head", head(1, 0).chunk("head", {0, 0}).data},
        {"short head", Bytes().tag("PBMA").u32(0).chunk("head", {1}).data},
        {"cut short", cut},
    };
    for (Case &c : cases) {
        EXPECT_FALSE(loadFrom(c.bytes)) << c.name;
        ArrayPtr array = makeArray(2, 4, {0, 1});
        Reader reader(c.bytes);
        EXPECT_FALSE(array->read(reader.stream, 0)) << c.name;
        EXPECT_EQ(array->count, 0);
        EXPECT_EQ(array->bitmaps, nullptr);
        EXPECT_EQ(array->userData, nullptr);
    }
}

} // namespace

} // namespace qarvex
