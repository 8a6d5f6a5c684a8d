// Windows BMP files: reading bottom-up and top-down images with their colour tables and palette
// index, the mended header handling, refusal of what the reader does not understand, the writer's
// layout, round trips, and exchange with ImageMagick in both directions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/stream/FileRStream.h>

namespace qarvex {

namespace {

using BitmapPtr = GFXBitmap::Ptr;

BitmapPtr loadFrom(std::vector<uint8_t> &bytes, uint32_t flags = GFXBitmap::IncludePalette) {
    Reader reader(bytes);
    return BitmapPtr(GFXBitmap::load(reader.stream, flags));
}

// Byte c of pixel (x, y), counted from the top row.
uint8_t pixelByte(int32_t x, int32_t y, int32_t c) {
    return uint8_t(x * 3 + y * 40 + c * 7);
}

struct BmpLayout {
    int32_t width = 5, height = 3, depth = 8;
    uint32_t coloursUsed = 0, tableEntries = 256, infoSize = 40, gap = 0, compression = 0;
    uint16_t reserved1 = 0, reserved2 = 0;
};

// A BMP file built from its parts; the colour table holds (blue, green, red) = (i, 2i, 3i).
std::vector<uint8_t> bmpFile(const BmpLayout &l) {
    // The rows of an impossible height are left out.
    int32_t rows = l.height == INT32_MIN ? 0 : (l.height < 0 ? -l.height : l.height);
    uint32_t stride = uint32_t((l.width * l.depth / 8 + 3) & ~3);
    uint32_t offset = 14 + l.infoSize + 4 * l.tableEntries + l.gap;
    Bytes b;
    b.raw("BM", 2).u32(offset + stride * uint32_t(rows)).u16(l.reserved1).u16(l.reserved2).u32(offset);
    b.u32(l.infoSize).u32(uint32_t(l.width)).u32(uint32_t(l.height)).u16(1).u16(uint16_t(l.depth));
    b.u32(l.compression).u32(stride * uint32_t(rows)).u32(0).u32(0).u32(l.coloursUsed).u32(0);
    b.fill(l.infoSize > 40 ? l.infoSize - 40 : 0, 0x99);
    for (uint32_t i = 0; i < l.tableEntries; ++i)
        b.u8(uint8_t(i)).u8(uint8_t(2 * i)).u8(uint8_t(3 * i)).u8(0);
    b.fill(l.gap, 0x77);
    for (int32_t r = 0; r < rows; ++r) {
        int32_t y = l.height > 0 ? rows - 1 - r : r;
        size_t start = b.data.size();
        for (int32_t x = 0; x < l.width; ++x)
            for (int32_t c = 0; c < l.depth / 8; ++c)
                b.u8(pixelByte(x, y, c));
        b.fill(start + stride - b.data.size(), 0);
    }
    return b.data;
}

void expectPixels(const GFXBitmap &bitmap, int32_t width, int32_t height, int32_t depth) {
    ASSERT_EQ(bitmap.width, width);
    ASSERT_EQ(bitmap.height, height);
    ASSERT_EQ(bitmap.bitDepth, depth);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t c = 0; c < depth / 8; ++c)
                ASSERT_EQ(bitmap.pixels[y * bitmap.stride + x * depth / 8 + c], pixelByte(x, y, c))
                    << x << "," << y;
}

TEST(Bmp, ReadsBottomUpAndTopDownRows) {
    for (int32_t depth : {8, 24}) {
        for (int32_t height : {3, -3, 4, -1}) {
            BmpLayout layout;
            layout.depth = depth;
            layout.height = height;
            layout.tableEntries = depth == 8 ? 256 : 0;
            auto file = bmpFile(layout);
            BitmapPtr bitmap = loadFrom(file);
            ASSERT_TRUE(bitmap) << depth << " " << height;
            expectPixels(*bitmap, 5, height < 0 ? -height : height, depth);
            EXPECT_EQ(bitmap->levelCount, 1);
            EXPECT_EQ(bitmap->attributes, GFXBitmap::OwnsPixels);
            EXPECT_EQ(bitmap->palette != nullptr, depth == 8);
        }
    }
}

TEST(Bmp, ColourTableBecomesThePalette) {
    BmpLayout layout;
    layout.coloursUsed = layout.tableEntries = 16;
    auto file = bmpFile(layout);
    BitmapPtr bitmap = loadFrom(file);
    ASSERT_TRUE(bitmap && bitmap->palette);
    EXPECT_EQ(bitmap->palette->entryCount, 16);
    const uint8_t *entries = bitmap->palette->palettes[0].entries;
    EXPECT_EQ(std::vector<uint8_t>(entries + 20, entries + 24), (std::vector<uint8_t>{15, 10, 5, 4}));
    EXPECT_EQ(std::vector<uint8_t>(entries + 64, entries + 68), (std::vector<uint8_t>{0, 0, 0, 4}));
    expectPixels(*bitmap, 5, 3, 8);

    BitmapPtr plain = loadFrom(file, 0);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->palette, nullptr);
    expectPixels(*plain, 5, 3, 8);
}

TEST(Bmp, PaletteIndexFromTheReservedWords) {
    struct {
        uint16_t first, second;
        int32_t index;
    } cases[] = {{0xF5F7, 2, 2}, {0xF5F7, 0xFFFF, -1}, {0, 2, -1}, {0xF5F7, 0, 0}};
    for (auto c : cases) {
        BmpLayout layout;
        layout.reserved1 = c.first;
        layout.reserved2 = c.second;
        auto file = bmpFile(layout);
        BitmapPtr bitmap = loadFrom(file);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->paletteIndex, c.index);
    }
}

// Later header versions and a gap before the pixels are followed; designed files are unchanged.
TEST(Bmp, LongerHeaderAndPixelGap) {
    for (uint32_t depth : {8u, 24u}) {
        BmpLayout layout;
        layout.depth = int32_t(depth);
        layout.tableEntries = depth == 8 ? 256 : 0;
        layout.infoSize = 124;
        layout.gap = 30;
        auto file = bmpFile(layout);
        BitmapPtr bitmap = loadFrom(file);
        ASSERT_TRUE(bitmap) << depth;
        expectPixels(*bitmap, 5, 3, int32_t(depth));
        if (depth == 8) {
            EXPECT_EQ(bitmap->palette->palettes[0].entries[4 * 9], 27);
        }
    }
}

TEST(Bmp, RefusesWhatItDoesNotUnderstand) {
    auto with = [](auto change) {
        BmpLayout layout;
        change(layout);
        return bmpFile(layout);
    };
    auto cut = bmpFile(BmpLayout());
    cut.resize(cut.size() - 3);
    std::vector<std::pair<const char *, std::vector<uint8_t>>> cases = {
        {"run-length rows", with([](BmpLayout &l) { l.compression = 1; })},
        {"4 bits", with([](BmpLayout &l) { l.depth = 4; })},
        {"32 bits", with([](BmpLayout &l) { l.depth = 32, l.tableEntries = 0; })},
        {"300 colours", with([](BmpLayout &l) { l.coloursUsed = 300; })},
        {"core header", with([](BmpLayout &l) { l.infoSize = 12; })},
        {"lowest height", with([](BmpLayout &l) { l.height = INT32_MIN; })},
        {"pixels cut short", cut},
    };
    for (auto &[name, bytes] : cases)
        EXPECT_FALSE(loadFrom(bytes)) << name;
}

TEST(Bmp, WriterLayout) {
    BitmapPtr bitmap(GFXBitmap::create(5, 3, 8));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 8; ++x)
            bitmap->pixels[y * 8 + x] = x < 5 ? pixelByte(x, y, 0) : 0;
    std::vector<uint8_t> before(bitmap->pixels, bitmap->pixels + 24);
    bitmap->paletteIndex = 2;
    GrowStream out;
    ASSERT_TRUE(bitmap->write(out, GFXBitmap::WindowsFormat));
    auto &f = out.bytes;
    ASSERT_EQ(f.size(), 54u + 1024 + 24);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 2), "BM");
    EXPECT_EQ(word(f, 2), 54u + 1024 + 24);
    EXPECT_EQ(word(f, 6), 0x0002F5F7u);
    EXPECT_EQ(word(f, 10), 1078u);
    EXPECT_EQ(word(f, 14), 40u);
    EXPECT_EQ(word(f, 22), 3u);
    EXPECT_EQ(le::read16(f.data() + 28), 8);
    EXPECT_EQ(word(f, 34), 24u);
    EXPECT_EQ(word(f, 54 + 4 * 7), 0x00070707u); // grey ramp without a palette
    EXPECT_EQ(f[1078], pixelByte(0, 2, 0));      // bottom row first
    EXPECT_EQ(std::vector<uint8_t>(bitmap->pixels, bitmap->pixels + 24), before);

    BitmapPtr colour(GFXBitmap::create(2, 2, 24));
    GrowStream direct;
    ASSERT_TRUE(colour->write(direct, GFXBitmap::WindowsFormat));
    EXPECT_EQ(direct.bytes.size(), 54u + 16);
    EXPECT_EQ(word(direct.bytes, 10), 54u);
    EXPECT_EQ(word(direct.bytes, 6), 0u);

    // Only level 0 goes to the file; the bitmap keeps the size of all its levels.
    BitmapPtr levels(GFXBitmap::create(4, 5, 8));
    levels->height = 4;
    levels->levelCount = 2;
    GrowStream first;
    ASSERT_TRUE(levels->write(first, GFXBitmap::WindowsFormat));
    EXPECT_EQ(first.bytes.size(), 1078u + 16);
    EXPECT_EQ(levels->dataSize, 20);

    BitmapPtr other(GFXBitmap::create(2, 2, 32));
    GrowStream refused;
    EXPECT_FALSE(other->write(refused, GFXBitmap::WindowsFormat));
    EXPECT_TRUE(refused.bytes.empty());
}

TEST(Bmp, RoundTripsKeepPixelsPaletteAndLevels) {
    for (int32_t depth : {8, 24}) {
        BmpLayout layout;
        layout.depth = depth;
        layout.width = 7;
        layout.tableEntries = depth == 8 ? 256 : 0;
        layout.reserved1 = 0xF5F7;
        layout.reserved2 = 5;
        auto file = bmpFile(layout);
        BitmapPtr bitmap = loadFrom(file);
        ASSERT_TRUE(bitmap);
        GrowStream out;
        ASSERT_TRUE(bitmap->write(out, GFXBitmap::WindowsFormat));
        BitmapPtr back = loadFrom(out.bytes);
        ASSERT_TRUE(back);
        expectPixels(*back, 7, 3, depth);
        EXPECT_EQ(back->paletteIndex, 5);
        if (depth == 8) {
            EXPECT_EQ(0, std::memcmp(back->palette->palettes[0].entries, bitmap->palette->palettes[0].entries,
                                     1024));
        }
    }
}

// ImageMagick from the system, called by its full path (a wrapper elsewhere on PATH may differ).
const char *imageMagick() {
    static const char *found = [] {
        const char *path = "/usr/bin/convert";
        std::string command = std::string(path) + " -version > /dev/null 2>&1";
        return std::system(command.c_str()) == 0 ? path : nullptr;
    }();
    return found;
}

// A scratch file of this run (a random tag in the name, so that runs side by side do not meet),
// removed when the tests end.
std::string tempPath(const std::string &name) {
    struct Created {
        std::vector<std::string> paths;
        ~Created() {
            for (const std::string &path : paths)
                std::remove(path.c_str());
        }
    };
    static Created created;
    static const std::string tag = std::to_string(std::random_device{}());
    std::string path = ::testing::TempDir() + "qarvex_gfx_" + tag + "_" + name;
    created.paths.push_back(path);
    return path;
}

bool run(const std::string &command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

std::vector<uint8_t> fileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void saveBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), long(bytes.size()));
}

// 7 x 5 pixels, all colours different: ImageMagick keeps 35 colours in an 8-bit table.
constexpr int32_t ImWidth = 7, ImHeight = 5;
uint8_t imColour(int32_t x, int32_t y, int32_t c) {
    return uint8_t(x * 30 + y * 7 + c * 50 + (c == 2 ? y * 20 : 0));
}

std::string imInput() {
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < ImHeight; ++y)
        for (int32_t x = 0; x < ImWidth; ++x)
            for (int32_t c = 0; c < 3; ++c)
                rgb.push_back(imColour(x, y, c));
    std::string path = tempPath("input.rgb");
    saveBytes(path, rgb);
    return "-size 7x5 -depth 8 rgb:" + path;
}

BitmapPtr loadFile(const std::string &path) {
    FileRStream stream;
    if (!stream.open(path.c_str()))
        return nullptr;
    return BitmapPtr(GFXBitmap::load(stream, GFXBitmap::IncludePalette));
}

TEST(BmpImageMagick, ReadsWhatImageMagickWrites) {
    const char *magick = imageMagick();
    if (!magick)
        GTEST_SKIP() << "ImageMagick is not installed";
    struct Case {
        const char *name, *options;
        int32_t depth;
        uint32_t headerSize;
    } cases[] = {
        {"8-bit", "-type Palette -compress none BMP3:", 8, 40},
        {"24-bit", "-type TrueColor BMP3:", 24, 40},
        {"24-bit long header", "-type TrueColor BMP:", 24, 124},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = tempPath("from_magick.bmp");
        ASSERT_TRUE(run(std::string(magick) + " " + imInput() + " " + c.options + out));
        auto bytes = fileBytes(out);
        ASSERT_GE(bytes.size(), 54u);
        ASSERT_EQ(le::read16(bytes.data() + 28), c.depth);
        ASSERT_EQ(word(bytes, 14), c.headerSize);
        BitmapPtr bitmap = loadFile(out);
        ASSERT_TRUE(bitmap);
        ASSERT_EQ(bitmap->width, ImWidth);
        ASSERT_EQ(bitmap->height, ImHeight);
        ASSERT_EQ(bitmap->palette != nullptr, c.depth == 8);
        for (int32_t y = 0; y < ImHeight; ++y) {
            for (int32_t x = 0; x < ImWidth; ++x) {
                const uint8_t *at = bitmap->pixels + y * bitmap->stride + x * c.depth / 8;
                uint8_t rgb[3] = {at[2], at[1], at[0]};
                if (c.depth == 8)
                    std::memcpy(rgb, bitmap->palette->palettes[0].entries + 4 * at[0], 3);
                for (int32_t k = 0; k < 3; ++k)
                    ASSERT_EQ(rgb[k], imColour(x, y, k)) << x << "," << y;
            }
        }
    }
    // Compressed rows are refused rather than read as garbage.
    std::string rle = tempPath("rle.bmp");
    ASSERT_TRUE(run(std::string(magick) + " " + imInput() + " -type Palette -compress RLE BMP3:" + rle));
    ASSERT_EQ(word(fileBytes(rle), 30), 1u);
    EXPECT_FALSE(loadFile(rle));
}

TEST(BmpImageMagick, ImageMagickReadsWhatWeWrite) {
    const char *magick = imageMagick();
    if (!magick)
        GTEST_SKIP() << "ImageMagick is not installed";
    for (int32_t kind = 0; kind < 3; ++kind) { // 8-bit with palette, 8-bit grey ramp, 24-bit
        SCOPED_TRACE(kind);
        BitmapPtr bitmap(GFXBitmap::create(ImWidth, ImHeight, kind == 2 ? 24 : 8));
        if (kind == 0) {
            bitmap->palette = GFXPalette::construct();
            for (int32_t i = 0; i < 1024; ++i)
                bitmap->palette->palettes[0].entries[i] = uint8_t(i * 7 + 3);
        }
        std::vector<uint8_t> expected;
        for (int32_t y = 0; y < ImHeight; ++y) {
            for (int32_t x = 0; x < ImWidth; ++x) {
                uint8_t *at = bitmap->pixels + y * bitmap->stride + x * (kind == 2 ? 3 : 1);
                for (int32_t k = 0; k < 3; ++k) {
                    uint8_t index = uint8_t(x * 11 + y * 50);
                    if (kind == 2)
                        at[2 - k] = imColour(x, y, k);
                    else
                        at[0] = index;
                    expected.push_back(kind == 2   ? imColour(x, y, k)
                                       : kind == 1 ? index
                                                   : bitmap->palette->palettes[0].entries[4 * index + k]);
                }
            }
        }
        GrowStream out;
        ASSERT_TRUE(bitmap->write(out, GFXBitmap::WindowsFormat));
        std::string bmp = tempPath("ours.bmp"), rgb = tempPath("ours.rgb");
        saveBytes(bmp, out.bytes);
        ASSERT_TRUE(run(std::string(magick) + " " + bmp + " -depth 8 rgb:" + rgb));
        EXPECT_EQ(fileBytes(rgb), expected);
    }
}

} // namespace

} // namespace qarvex
