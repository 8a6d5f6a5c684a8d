// Pictures of bitmaps and bitmap arrays, decoded by ImageMagick: the colours of 8-bit images
// from their own palette, from a palette set by palette number, or a grey ramp; 24-bit images
// as RGB; transparency; detail levels; arrays one picture per bitmap or on one contact sheet.
#include "PictureTestSupport.h"

namespace qarvex {

using namespace picturetest;

namespace {

using png::GraphicsKind;

uint32_t colourOf(int palette, int index) {
    return rgb(uint32_t(index), uint32_t(40 * palette), uint32_t(255 - index));
}

// A 5 x 3 bitmap (its rows padded to 8 bytes) whose pixel (x, y) holds 10 * y + x.
GFXBitmap::Ptr sample() {
    return indexedBitmap(5, 3, [](int x, int y) { return uint8_t(10 * y + x); });
}

TEST(BitmapPictureTest, EightBitColoursComeFromTheRightPalette) {
    REQUIRE_IMAGEMAGICK();
    GFXPalette::Ptr set = paletteSet({0, 5, 7}, colourOf);
    struct Case {
        const char *what;
        bool ownPalette;      // the bitmap carries palette 2 of the set in a RIFF chunk
        int32_t paletteIndex; // the bitmap's palette index
        bool givenSet;        // the set is given as --palette
        int expectedPalette;  // -1: grey ramp
        const char *warning;  // part of the one warning, or null
        bool windowsFormat = false;
        int32_t paletteNumber = -1; // the palette of the set chosen for every image
    } cases[] = {
        {"embedded palette", true, 5, true, 2, nullptr},
        {"embedded palette of a Windows bitmap", true, -1, false, 2, nullptr, true},
        {"set by palette number", false, 5, true, 1, nullptr},
        {"set, last palette", false, 7, true, 2, nullptr},
        {"set without that number", false, 9, true, 0, "no palette 9"},
        {"set, no palette index", false, -1, true, 0, nullptr},
        {"nothing: grey ramp", false, 5, false, -1, "grey ramp"},
        {"chosen palette over the bitmap's own", true, 5, true, 1, nullptr, false, 1},
        {"chosen palette over the palette index", false, 7, true, 0, nullptr, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        GFXBitmap::Ptr bitmap = sample();
        bitmap->paletteIndex = c.paletteIndex;
        if (c.ownPalette)
            bitmap->palette = paletteSet({2}, [](int, int i) { return colourOf(2, i); }).release();
        std::vector<uint8_t> file =
            bitmapFile(bitmap, c.windowsFormat ? GFXBitmap::WindowsFormat : GFXBitmap::IncludePalette);
        png::Settings settings;
        settings.palette = c.givenSet ? set.get() : nullptr;
        settings.paletteNumber = c.paletteNumber;
        png::Conversion conversion = convert(GraphicsKind::Bitmap, file, settings);
        ASSERT_TRUE(conversion.ok()) << conversion.error;
        EXPECT_TRUE(conversion.indexed);
        ASSERT_EQ(suffixes(conversion), std::vector<std::string>{".png"});
        EXPECT_EQ(colourTypeOf(conversion.files[0].bytes), 3); // palette-indexed
        EXPECT_FALSE(hasChunk(conversion.files[0].bytes, "tRNS"));
        ASSERT_EQ(conversion.warnings.size(), c.warning ? 1u : 0u);
        if (c.warning) {
            EXPECT_NE(conversion.warnings[0].find(c.warning), std::string::npos) << conversion.warnings[0];
        }
        Decoded picture = decode(conversion.files[0].bytes);
        ASSERT_EQ(picture.width, 5);
        ASSERT_EQ(picture.height, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                int index = 10 * y + x;
                uint32_t expected =
                    c.expectedPalette < 0 ? rgb(index, index, index) : colourOf(c.expectedPalette, index);
                EXPECT_EQ(picture.at(x, y), expected) << x << "," << y;
            }
    }
}

TEST(BitmapPictureTest, TwentyFourBitPixelsAreShownAsRgb) {
    REQUIRE_IMAGEMAGICK();
    // 5 pixels of 3 bytes make rows of 15 bytes padded to 16; stored blue, green, red.
    GFXBitmap::Ptr bitmap(GFXBitmap::create(5, 2, 24));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t *pixel = bitmap->pixels + y * bitmap->stride + 3 * x;
            pixel[0] = uint8_t(200 + x); // blue
            pixel[1] = uint8_t(100 + y); // green
            pixel[2] = uint8_t(10 * x);  // red
        }
    for (uint32_t flags : {GFXBitmap::WindowsFormat, 0u}) {
        std::vector<uint8_t> file = bitmapFile(bitmap, flags);
        png::Settings settings;
        settings.transparent = 0; // means nothing without colour indices
        png::Conversion conversion = convert(GraphicsKind::Bitmap, file, settings);
        ASSERT_TRUE(conversion.ok()) << conversion.error;
        EXPECT_TRUE(conversion.warnings.empty());
        ASSERT_EQ(conversion.files.size(), 1u);
        EXPECT_EQ(colourTypeOf(conversion.files[0].bytes), 2); // RGB
        Decoded picture = decode(conversion.files[0].bytes);
        ASSERT_EQ(picture.width, 5);
        ASSERT_EQ(picture.height, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(picture.at(x, y), rgb(10 * x, 100 + y, 200 + x)) << x << "," << y;
    }
}

TEST(BitmapPictureTest, TransparentIndexBecomesPngTransparency) {
    REQUIRE_IMAGEMAGICK();
    GFXBitmap::Ptr bitmap = sample();
    bitmap->palette = paletteSet({0}, colourOf).release();
    std::vector<uint8_t> file = bitmapFile(bitmap, GFXBitmap::IncludePalette);
    png::Settings settings;
    settings.transparent = 12;
    png::Conversion conversion = convert(GraphicsKind::Bitmap, file, settings);
    ASSERT_TRUE(conversion.ok()) << conversion.error;
    const std::vector<uint8_t> &bytes = conversion.files[0].bytes;
    EXPECT_EQ(colourTypeOf(bytes), 3);
    EXPECT_EQ(chunksOf(bytes), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
    Decoded picture = decode(bytes);
    ASSERT_EQ(picture.width, 5);
    EXPECT_EQ(picture.at(2, 1), Clear);
    EXPECT_EQ(picture.at(1, 1), colourOf(0, 11));
    EXPECT_EQ(picture.at(3, 1), colourOf(0, 13));
}

TEST(BitmapPictureTest, DetailLevelsOnRequest) {
    REQUIRE_IMAGEMAGICK();
    // 8 x 4 with a 4 x 2 level after it: 32 + 8 pixel bytes.
    GFXBitmap::Ptr bitmap =
        indexedBitmap(8, 5, [](int x, int y) { return uint8_t(y < 4 ? 8 * y + x : 100 + 8 * (y - 4) + x); });
    bitmap->height = 4;
    bitmap->levelCount = 2;
    std::vector<uint8_t> file = bitmapFile(bitmap, 0);
    GFXPalette::Ptr set = paletteSet({0}, colourOf);
    png::Settings settings;
    settings.palette = set.get();
    EXPECT_EQ(suffixes(convert(GraphicsKind::Bitmap, file, settings)), std::vector<std::string>{".png"});
    settings.detailLevels = true;
    png::Conversion conversion = convert(GraphicsKind::Bitmap, file, settings);
    ASSERT_TRUE(conversion.ok()) << conversion.error;
    ASSERT_EQ(suffixes(conversion), (std::vector<std::string>{".png", ".level1.png"}));
    Decoded level0 = decode(conversion.files[0].bytes), level1 = decode(conversion.files[1].bytes);
    ASSERT_EQ(level0.width, 8);
    ASSERT_EQ(level0.height, 4);
    EXPECT_EQ(level0.at(7, 3), colourOf(0, 31));
    ASSERT_EQ(level1.width, 4);
    ASSERT_EQ(level1.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(level1.at(x, y), colourOf(0, 100 + 4 * y + x)) << x << "," << y; // packed rows of 4
}

TEST(BitmapPictureTest, ArraysOnePicturePerBitmapOrOneContactSheet) {
    REQUIRE_IMAGEMAGICK();
    auto makeArray = [] {
        GFXBitmap::Ptr a = indexedBitmap(2, 2, [](int, int) { return uint8_t(1); });
        GFXBitmap::Ptr b = indexedBitmap(3, 1, [](int x, int) { return uint8_t(2 + x); });
        b->palette =
            paletteSet({0}, [](int, int i) { return rgb(0, 0, uint32_t(i)); }).release(); // its own colours
        GFXBitmap::Ptr c(GFXBitmap::create(1, 3, 24));
        for (int y = 0; y < 3; ++y) {
            c->pixels[y * c->stride] = 9;     // blue
            c->pixels[y * c->stride + 1] = 8; // green
            c->pixels[y * c->stride + 2] = 7; // red
        }
        return arrayFile({a.release(), b.release(), c.release()});
    };
    std::vector<uint8_t> file = makeArray();
    GFXPalette::Ptr set = paletteSet({0}, colourOf);
    png::Settings settings;
    settings.palette = set.get();
    png::Conversion each = convert(GraphicsKind::BitmapArray, file, settings);
    ASSERT_TRUE(each.ok()) << each.error;
    ASSERT_EQ(suffixes(each), (std::vector<std::string>{".0.png", ".1.png", ".2.png"}));
    Decoded first = decode(each.files[0].bytes), second = decode(each.files[1].bytes),
            third = decode(each.files[2].bytes);
    EXPECT_EQ(first.width, 2);
    EXPECT_EQ(first.at(1, 1), colourOf(0, 1));
    EXPECT_EQ(second.width, 3);
    EXPECT_EQ(second.at(2, 0), rgb(0, 0, 4));
    EXPECT_EQ(third.height, 3);
    EXPECT_EQ(third.at(0, 2), rgb(7, 8, 9));

    // Two columns of 3 x 3 cells, two transparent pixels around and between them.
    settings.contactSheet = true;
    settings.transparent = 1;
    png::Conversion sheet = convert(GraphicsKind::BitmapArray, file, settings);
    ASSERT_TRUE(sheet.ok()) << sheet.error;
    ASSERT_EQ(suffixes(sheet), std::vector<std::string>{".png"});
    Decoded all = decode(sheet.files[0].bytes);
    ASSERT_EQ(all.width, 2 + 2 * (3 + 2));
    ASSERT_EQ(all.height, 2 + 2 * (3 + 2));
    EXPECT_EQ(all.at(0, 0), Clear);
    EXPECT_EQ(all.at(2, 2), Clear); // bitmap 0 is all colour 1, the transparent one
    EXPECT_EQ(all.at(4, 2), Clear); // beside bitmap 0, inside its cell
    EXPECT_EQ(all.at(7, 2), rgb(0, 0, 2));
    EXPECT_EQ(all.at(9, 2), rgb(0, 0, 4));
    EXPECT_EQ(all.at(2, 9), rgb(7, 8, 9));
    EXPECT_EQ(all.at(2, 6), Clear);
}

// Whatever is wrong with a bitmap or array, the conversion says why and gives no file at all.
TEST(BitmapPictureTest, DamagedBitmapsAndArraysGiveNoFiles) {
    std::vector<uint8_t> good;
    {
        GFXBitmap::Ptr bitmap = sample();
        good = bitmapFile(bitmap, 0);
    }
    std::vector<uint8_t> cut(good.begin(), good.begin() + 50);
    std::vector<uint8_t> noPixels;
    {
        Bytes bytes;
        bytes.tag("PBMP").u32(0).tag("head").u32(20).u32(0).u32(4).u32(4).u32(8).u32(8);
        noPixels = bytes.data;
    }
    std::vector<uint8_t> sixteenBit;
    {
        GFXBitmap::Ptr bitmap(GFXBitmap::create(4, 2, 16));
        std::fill(bitmap->pixels, bitmap->pixels + bitmap->dataSize, uint8_t(0));
        sixteenBit = bitmapFile(bitmap, 0);
    }
    const std::vector<uint8_t> realPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                          0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    // An array whose second bitmap is cut short inside its pixels.
    std::vector<uint8_t> arrayWithBadBitmap;
    {
        std::vector<uint8_t> array = arrayFile({sample().release(), sample().release()});
        size_t second = array.size() - good.size(); // the last PBMP chunk starts here
        ASSERT_EQ(tagAt(array, second), "PBMP");
        le::write32(array.data() + second + 16 + 4 * 1, 4000); // its width: far more rows than data
        arrayWithBadBitmap = array;
    }
    struct Case {
        const char *what;
        GraphicsKind kind;
        std::vector<uint8_t> bytes;
        const char *error;
    } cases[] = {
        {"empty", GraphicsKind::Bitmap, {}, "not a readable bitmap"},
        {"cut short", GraphicsKind::Bitmap, cut, "not a readable bitmap"},
        {"a real PNG under .png", GraphicsKind::Bitmap, realPng, "not a readable bitmap"},
        {"head without pixels", GraphicsKind::Bitmap, noPixels, "pixel data is missing"},
        {"16-bit pixels", GraphicsKind::Bitmap, sixteenBit, "only 8- and 24-bit"},
        {"array with a damaged bitmap", GraphicsKind::BitmapArray, arrayWithBadBitmap, "bitmap 1: damaged"},
        {"a bitmap read as an array", GraphicsKind::BitmapArray, good, "not a readable bitmap array"},
        {"text read as an array",
         GraphicsKind::BitmapArray,
         {'h', 'e', 'l', 'l', 'o', '!', '!', '!'},
         "not a readable"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        png::Conversion conversion = convert(c.kind, c.bytes);
        EXPECT_FALSE(conversion.ok());
        EXPECT_NE(conversion.error.find(c.error), std::string::npos) << conversion.error;
        EXPECT_TRUE(conversion.files.empty());
    }
}

TEST(BitmapPictureTest, KindsByExtension) {
    struct Case {
        const char *name;
        GraphicsKind kind;
    } cases[] = {
        {"a.bmp", GraphicsKind::Bitmap},      {"A.DIB", GraphicsKind::Bitmap},
        {"x\\y.Png", GraphicsKind::Bitmap},   {"t.pbm", GraphicsKind::Bitmap},
        {"s.PBA", GraphicsKind::BitmapArray}, {"f.pft", GraphicsKind::Font},
        {"p.pal", GraphicsKind::Palette},     {"p.ppl", GraphicsKind::Palette},
        {"p.Dpl", GraphicsKind::Palette},     {"readme.txt", GraphicsKind::None},
        {"pbm", GraphicsKind::None},          {"dir.pbm\\file", GraphicsKind::None},
        {"a.pbm.bak", GraphicsKind::None},    {".pft", GraphicsKind::Font},
    };
    for (const Case &c : cases)
        EXPECT_EQ(png::graphicsKindOf(c.name), c.kind) << c.name;
    EXPECT_EQ(png::graphicsKindOf(nullptr), GraphicsKind::None);
}

} // namespace

} // namespace qarvex
