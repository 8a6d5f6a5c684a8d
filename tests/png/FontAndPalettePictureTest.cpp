// Pictures of fonts and palettes, decoded by ImageMagick: a font's glyph sheet (every mapped
// character in a grid of 16 columns, in the font's colours) with its metrics text, and a palette
// file's swatches, 16 x 16 per palette.
#include "../gfx/FontTestSupport.h"
#include "PictureTestSupport.h"

namespace qarvex {

using namespace picturetest;

namespace {

using png::GraphicsKind;

// The test font's palette: byte i of the entries is 7 * i.
uint32_t fontColour(int index) {
    return rgb(uint32_t(28 * index) & 0xFF, uint32_t(28 * index + 7) & 0xFF,
               uint32_t(28 * index + 14) & 0xFF);
}
constexpr uint32_t Grid = rgb(0x80, 0x80, 0x80);

// Pixel (x, y) of the test font's glyph bitmap sheet: ink on every third byte.
int glyphPixel(int x, int y, int ink) {
    return (y * 16 + x) % 3 == 0 ? ink : 0;
}

TEST(FontPictureTest, GlyphSheetShowsEveryMappedCharacterInItsCell) {
    REQUIRE_IMAGEMAGICK();
    auto font = fonttest::makeFont(true);
    std::vector<uint8_t> file = fonttest::writtenBlock(*font);
    png::Conversion conversion = convert(GraphicsKind::Font, file, {}, "test.pft");
    ASSERT_TRUE(conversion.ok()) << conversion.error;
    EXPECT_TRUE(conversion.warnings.empty());
    ASSERT_EQ(suffixes(conversion), (std::vector<std::string>{".png", ".txt"}));

    // Codes 32 to 126 fill rows 2 to 7 of 16 codes; cells are 7 x 10 (the widest and tallest
    // glyph) with grid lines between them.
    Decoded sheet = decode(conversion.files[0].bytes);
    ASSERT_EQ(sheet.width, 16 * 8 + 1);
    ASSERT_EQ(sheet.height, 6 * 11 + 1);
    EXPECT_EQ(sheet.at(0, 0), Grid);
    EXPECT_EQ(sheet.at(8, 5), Grid);
    EXPECT_EQ(sheet.at(9, 1), fontColour(0)); // '!' is not mapped: an empty cell
    for (int y = 0; y < 7; ++y)               // 'A': glyph 0, 7 x 7 at (0, 0) of bitmap 0, cell (1, 2)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(sheet.at(9 + x, 23 + y), fontColour(glyphPixel(x, y, 1))) << "A " << x << "," << y;
    for (int y = 0; y < 6; ++y) // '~': glyph 2, 4 x 6 at (2, 3) of bitmap 1, cell (14, 5)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(sheet.at(113 + x, 56 + y), fontColour(glyphPixel(2 + x, 3 + y, 2)))
                << "~ " << x << "," << y;
    EXPECT_EQ(sheet.at(113 + 4, 56), fontColour(0)); // beside the glyph, inside its cell

    std::string text(conversion.files[1].bytes.begin(), conversion.files[1].bytes.end());
    for (const char *line :
         {"first-char 32\n", "map-count 95\n", "cell-width 8\ncell-height 10\n", "spacing 1\n",
          "sheet-cell 7 10\n", "sheet-first-code 32\n", "\n32 - 3 1 0 0 2 1 3 1 1\n",
          "\n65 A 0 0 0 0 6 6 7 9 23\n", "\n66 B 1 0 7 0 11 9 5 17 23\n", "\n126 ~ 2 1 2 3 5 8 4 113 56\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15 + 4);
}

TEST(FontPictureTest, SampleTextDrawnWithTheFont) {
    REQUIRE_IMAGEMAGICK();
    auto font = fonttest::makeFont(true);
    png::Settings settings;
    settings.sampleText = "AB~!";
    png::Conversion conversion =
        convert(GraphicsKind::Font, fonttest::writtenBlock(*font), settings, "test.pft");
    ASSERT_TRUE(conversion.ok()) << conversion.error;
    ASSERT_EQ(suffixes(conversion), (std::vector<std::string>{".png", ".txt", ".sample.png"}));
    // Each glyph advances by its width and the spacing of 1; '!' is not mapped and advances by
    // the cell width of 8, blank. The line is as tall as the tallest glyph.
    Decoded line = decode(conversion.files[2].bytes);
    ASSERT_EQ(line.width, 8 + 6 + 5 + 9);
    ASSERT_EQ(line.height, 10);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(line.at(x, y), fontColour(glyphPixel(x, y, 1))) << "A " << x << "," << y;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(line.at(8 + x, y), fontColour(glyphPixel(7 + x, y, 1))) << "B " << x << "," << y;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(line.at(14 + x, y), fontColour(glyphPixel(2 + x, 3 + y, 2))) << "~ " << x << "," << y;
    for (int x = 19; x < line.width; ++x)
        EXPECT_EQ(line.at(x, 0), fontColour(0)) << x;
}

TEST(FontPictureTest, ColoursWithoutAFontPaletteAndTransparency) {
    REQUIRE_IMAGEMAGICK();
    auto font = fonttest::makeFont(false);
    std::vector<uint8_t> file = fonttest::writtenBlock(*font);
    png::Conversion grey = convert(GraphicsKind::Font, file);
    ASSERT_TRUE(grey.ok()) << grey.error;
    ASSERT_EQ(grey.warnings.size(), 1u);
    Decoded sheet = decode(grey.files[0].bytes);
    EXPECT_EQ(sheet.at(9, 23), rgb(1, 1, 1));
    EXPECT_EQ(sheet.at(10, 23), rgb(0, 0, 0));

    GFXPalette::Ptr given = paletteSet({0}, [](int, int i) { return rgb(uint32_t(i), 50, 60); });
    png::Settings settings;
    settings.palette = given.get();
    settings.transparent = 0;
    png::Conversion coloured = convert(GraphicsKind::Font, file, settings);
    ASSERT_TRUE(coloured.ok()) << coloured.error;
    EXPECT_TRUE(coloured.warnings.empty());
    EXPECT_EQ(colourTypeOf(coloured.files[0].bytes), 6); // RGBA: the background is see-through
    sheet = decode(coloured.files[0].bytes);
    EXPECT_EQ(sheet.at(9, 23), rgb(1, 50, 60));
    EXPECT_EQ(sheet.at(10, 23), Clear);
    EXPECT_EQ(sheet.at(9, 1), Clear);
    EXPECT_EQ(sheet.at(0, 0), Grid);
}

TEST(FontPictureTest, FontsThatCannotBeShownGiveNoFiles) {
    auto outside = fonttest::makeFont();
    outside->glyphs[1].x = 14; // 'B' is 5 wide: beyond the 16-pixel bitmap
    auto unmapped = fonttest::makeFont();
    fonttest::setMap(*unmapped, 32, 95, {});
    std::vector<uint8_t> damaged = fonttest::writtenBlock(*fonttest::makeFont());
    damaged.resize(damaged.size() / 2);
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        const char *error;
    } cases[] = {
        {"glyph outside its bitmap", fonttest::writtenBlock(*outside),
         "the glyph of code 66: it lies outside"},
        {"nothing mapped", fonttest::writtenBlock(*unmapped), "maps no characters"},
        {"cut in half", damaged, "not a readable font"},
        {"not a font", {'P', 'V', 'O', 'L', 0, 0, 0, 0}, "not a readable font"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        png::Conversion conversion = convert(GraphicsKind::Font, c.bytes);
        EXPECT_NE(conversion.error.find(c.error), std::string::npos) << conversion.error;
        EXPECT_TRUE(conversion.files.empty());
    }
}

TEST(PalettePictureTest, SwatchesOfRiffPalettesAndPaletteSets) {
    REQUIRE_IMAGEMAGICK();
    // A RIFF palette of 16 entries: one row of swatches, the other entries left out.
    GFXPalette::Ptr riff = paletteSet({0}, [](int, int i) { return rgb(uint32_t(16 * i), 1, 2); });
    riff->entryCount = 16;
    png::Conversion small = convert(GraphicsKind::Palette, paletteFile(riff, GFXPalette::WindowsFormat));
    ASSERT_TRUE(small.ok()) << small.error;
    Decoded swatches = decode(small.files[0].bytes);
    ASSERT_EQ(swatches.width, 128);
    ASSERT_EQ(swatches.height, 128);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(swatches.at(8 * i, 0), rgb(16 * i, 1, 2)) << i;
        EXPECT_EQ(swatches.at(8 * i + 7, 7), rgb(16 * i, 1, 2)) << i;
    }
    EXPECT_EQ(swatches.at(0, 8), Clear);
    EXPECT_EQ(swatches.at(127, 127), Clear);

    // A PL98 set of two palettes, one below the other, four transparent rows between them.
    GFXPalette::Ptr set = paletteSet({3, 4}, [](int p, int i) { return rgb(uint32_t(i), uint32_t(p), 9); });
    png::Conversion both = convert(GraphicsKind::Palette, paletteFile(set, 0));
    ASSERT_TRUE(both.ok()) << both.error;
    swatches = decode(both.files[0].bytes);
    ASSERT_EQ(swatches.width, 128);
    ASSERT_EQ(swatches.height, 2 * 128 + 4);
    for (int i : {0, 17, 35, 255}) {
        int x = 8 * (i % 16) + 3, y = 8 * (i / 16) + 5;
        EXPECT_EQ(swatches.at(x, y), rgb(i, 0, 9)) << i;
        EXPECT_EQ(swatches.at(x, 132 + y), rgb(i, 1, 9)) << i;
    }
    EXPECT_EQ(swatches.at(5, 129), Clear);

    png::Conversion bad =
        convert(GraphicsKind::Palette, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    EXPECT_FALSE(bad.ok());
    EXPECT_TRUE(bad.files.empty());
}

} // namespace

} // namespace qarvex
