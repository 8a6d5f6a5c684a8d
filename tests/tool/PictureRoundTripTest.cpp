// End-to-end: pictures back into graphics entries. Every graphics kind of the shipped example goes
// out with --png-only and back with -u (and with --from-png) unchanged, byte for byte; one pixel
// changed with ImageMagick to another palette colour, in an indexed and in a truecolour re-save,
// changes the bitmap at exactly that pixel, and so do edits of a font glyph, a palette swatch, a
// detail level and a tile read in the palette --palette names; a colour off the palette is refused
// with the pixel listed (exit 1, volume untouched) and taken with --nearest; a raw file changed
// after its pictures wins over them. A font's edited metrics come back where no pixel moves
// (spacing, flags, the glyph record of a character), alone and with a glyph edit; edits that
// would move pixels and malformed numbers are refused with their line.
#include "ToolRunner.h"

#include <qarvex/platform/Platform.h>

#include <chrono>
#include <cstdlib>

namespace qarvex {

using namespace toolrun;

namespace {

class PictureRoundTrip : public ToolTest {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(QARVEX_EXAMPLES_DIR) + "/graphics.vol", scratch.path("g.vol"));
        original = slurp(scratch.path("g.vol"));
        std::filesystem::create_directories(scratch.path("out"));
        ASSERT_EQ(run({"-x", "--png-only", "--levels", "-C", "out", "*", "g.vol"}).exitCode, 0);
    }
    // An ImageMagick command (convert or compare) run in the scratch folder; false when it failed.
    bool magick(const std::string &arguments) {
        std::string command = "cd '" + scratch.directory().string() + "' && " + arguments;
        return std::system(command.c_str()) == 0;
    }
    // The title picture that -x makes of the volume now.
    std::string titlePicture() {
        std::filesystem::remove_all(scratch.path("check"));
        std::filesystem::create_directories(scratch.path("check"));
        EXPECT_EQ(run({"-x", "--png-only", "-C", "check", "title.pbm", "g.vol"}).exitCode, 0);
        return scratch.path("check/title.pbm.png");
    }
    // Number of pixels in which two pictures differ, by ImageMagick; -1 when it could not tell.
    int differingPixels(const std::string &a, const std::string &b) {
        if (!magick("compare -metric AE '" + a + "' '" + b + "' null: 2> count.txt; true"))
            return -1;
        std::string count = slurp(scratch.path("count.txt"));
        return count.empty() || count.find_first_not_of("0123456789") != std::string::npos ? -1
                                                                                           : std::stoi(count);
    }
    std::string original;
};

TEST_F(PictureRoundTrip, UntouchedPicturesGiveEveryEntryBackByteForByte) {
    ToolRun updated = run({"-u", "g.vol", "-C", "out"});
    EXPECT_EQ(updated.exitCode, 0) << updated.err;
    EXPECT_EQ(updated.out, "g.vol\n0 entries replaced, 0 added, 6 kept\n");
    EXPECT_TRUE(slurp(scratch.path("g.vol")) == original);
}

TEST_F(PictureRoundTrip, OnePixelEditedWithImageMagickChangesExactlyThatPixel) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the Linux side";
#endif
    // (20, 10) holds another colour of the title's palette; (3, 4) takes it.
    std::filesystem::copy_file(scratch.path("out/title.pbm.png"), scratch.path("before.png"));
    if (!magick("convert before.png -format '%[pixel:p{20,10}]' info: > colour.txt"))
        GTEST_SKIP() << "no ImageMagick";
    std::string colour = slurp(scratch.path("colour.txt"));
    std::string edited;
    for (const char *format : {"PNG8", "PNG24"}) {
        scratch.write("g.vol", fixture::Bytes(original.begin(), original.end()));
        ASSERT_TRUE(magick("convert before.png -fill '" + colour + "' -draw 'point 3,4' " + format +
                           ":out/title.pbm.png"));
        ToolRun updated = run({"-u", "g.vol", "-C", "out"});
        EXPECT_EQ(updated.out,
                  "g.vol\n  title.pbm (replaced from pictures)\n1 entry replaced, 0 added, 5 kept\n")
            << format << updated.err;
        std::string after = titlePicture();
        ASSERT_TRUE(magick("compare -metric AE '" + after + "' before.png diff.png 2> count.txt; true"));
        EXPECT_EQ(slurp(scratch.path("count.txt")), "1") << format;
        ASSERT_TRUE(magick("convert '" + after + "' -format '%[pixel:p{3,4}]' info: > now.txt"));
        EXPECT_EQ(slurp(scratch.path("now.txt")), colour) << format;
        // Both re-saves give the same entry.
        if (edited.empty())
            edited = slurp(scratch.path("g.vol"));
        else
            EXPECT_TRUE(slurp(scratch.path("g.vol")) == edited) << format;
    }
}

TEST_F(PictureRoundTrip, AnOffPaletteColourIsRefusedUnlessMappedToTheNearest) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the Linux side";
#endif
    if (!magick("convert out/title.pbm.png -fill 'srgb(1,2,3)' -draw 'point 3,4' PNG24:out/title.pbm.png"))
        GTEST_SKIP() << "no ImageMagick";
    ToolRun refused = run({"-u", "g.vol", "-C", "out"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "qarvex: g.vol: title.pbm: 1 pixel has a colour not in the palette: (3, 4) #010203 "
              "(--nearest or --dither map them to it)\nqarvex: g.vol: nothing written\n");
    EXPECT_TRUE(slurp(scratch.path("g.vol")) == original);

    ToolRun nearest = run({"-u", "g.vol", "-C", "out", "--nearest"});
    EXPECT_EQ(nearest.exitCode, 0) << nearest.err;
    EXPECT_EQ(nearest.out,
              "g.vol\n  title.pbm (replaced from pictures)\n1 entry replaced, 0 added, 5 kept\n");
    EXPECT_EQ(run({"-t", "*", "g.vol"}).exitCode, 0);
}

TEST_F(PictureRoundTrip, FromPngGivesEveryGraphicsFileBackByteForByte) {
    std::filesystem::create_directories(scratch.path("raw"));
    std::filesystem::create_directories(scratch.path("back"));
    ASSERT_EQ(run({"-x", "-C", "raw", "*", "g.vol"}).exitCode, 0);
    const char *pictures[][2] = {{"title.pbm", "out/title.pbm.level1.png"},
                                 {"logo.bmp", "out/logo.bmp.png"},
                                 {"game.ppl", "out/game.ppl.png"},
                                 {"tiles.pba", "out/tiles.pba.2.png"},
                                 {"small.pft", "out/small.pft.png"}};
    for (const auto &[file, picture] : pictures) {
        ToolRun back = run({"--from-png", "-C", "back", picture});
        EXPECT_EQ(back.exitCode, 0) << file << back.err;
        // The folder given with -C is joined to the file's name with the system's separator.
        EXPECT_EQ(back.out, std::string(picture) + " -> back" + qarvex::platform::PathSeparator + file +
                                "\n1 file written\n");
        EXPECT_TRUE(slurp(scratch.path(std::string("back/") + file)) ==
                    slurp(scratch.path(std::string("raw/") + file)))
            << file;
        // A file there already stays unless -f says otherwise.
        ToolRun again = run({"--from-png", "-C", "back", picture});
        EXPECT_EQ(again.exitCode, 1) << file;
        EXPECT_EQ(again.err,
                  "qarvex: " + std::string(picture) + ": " + file + " exists; not replaced without -f\n");
    }
    ToolRun lone = run({"--from-png", "g.vol"});
    EXPECT_EQ(lone.exitCode, 1);
    EXPECT_EQ(lone.err, "qarvex: g.vol: no sidecar beside it lists it (-x --png and --png leave one)\n");
}

TEST_F(PictureRoundTrip, EditsOfEveryKindOfPictureComeBackAtExactlyThosePixels) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the Linux side";
#endif
    if (!magick("convert -version > /dev/null"))
        GTEST_SKIP() << "no ImageMagick";
    std::filesystem::create_directories(scratch.path("raw"));
    ASSERT_EQ(run({"-x", "-C", "raw", "game.ppl", "g.vol"}).exitCode, 0);
    struct Case {
        const char *entry;
        const char *picture;
        const char *edit; // ImageMagick drawing on the picture, in a colour of the target palette
        int pixels;       // pixels the edit changes
        std::vector<std::string> options;
    } cases[] = {
        {"small.pft", "small.pft.png", "-fill 'srgb(255,208,64)' -draw 'point 3,3'", 1, {}}, // ink on 'space'
        {"game.ppl", "game.ppl.png", "-fill 'srgb(255,0,0)' -draw 'rectangle 8,132 15,139'", 64, {}},
        {"title.pbm", "title.pbm.level1.png", "-fill 'srgb(255,230,120)' -draw 'point 1,1'", 1, {}},
        // Tiles carry no palette: they were drawn for palette 1 of game.ppl.
        {"tiles.pba",
         "tiles.pba.1.png",
         "-fill 'srgb(251,242,54)' -draw 'point 5,5'",
         1,
         {"--palette", "raw/game.ppl"}},
    };
    for (const Case &c : cases) {
        scratch.write("g.vol", fixture::Bytes(original.begin(), original.end()));
        std::filesystem::remove_all(scratch.path("out"));
        std::filesystem::create_directories(scratch.path("out"));
        std::vector<std::string> extract{"-x", "--png-only", "--levels", "-C", "out"};
        extract.insert(extract.end(), c.options.begin(), c.options.end());
        extract.insert(extract.end(), {c.entry, "g.vol"});
        ASSERT_EQ(run(extract).exitCode, 0) << c.entry;
        std::string picture = std::string("out/") + c.picture;
        std::filesystem::copy_file(scratch.path(picture), scratch.path("before.png"),
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_TRUE(magick("convert before.png " + std::string(c.edit) + " '" + picture + "'"));
        std::vector<std::string> update{"-u", "g.vol", "-C", "out"};
        update.insert(update.end(), c.options.begin(), c.options.end());
        ToolRun updated = run(update);
        EXPECT_EQ(updated.out, "g.vol\n  " + std::string(c.entry) +
                                   " (replaced from pictures)\n1 entry replaced, 0 added, 5 kept\n")
            << c.entry << updated.err;
        EXPECT_EQ(run({"-t", "*", "g.vol"}).exitCode, 0) << c.entry;
        std::filesystem::remove_all(scratch.path("check"));
        std::filesystem::create_directories(scratch.path("check"));
        extract[4] = "check";
        ASSERT_EQ(run(extract).exitCode, 0) << c.entry;
        std::string remade = std::string("check/") + c.picture;
        EXPECT_EQ(differingPixels(remade, picture), 0) << c.entry;
        EXPECT_EQ(differingPixels(remade, "before.png"), c.pixels) << c.entry;
    }
}

TEST_F(PictureRoundTrip, ATileEditedInItsSetsPaletteNeedsThatPalette) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the Linux side";
#endif
    std::filesystem::create_directories(scratch.path("raw"));
    ASSERT_EQ(run({"-x", "-C", "raw", "game.ppl", "g.vol"}).exitCode, 0);
    ASSERT_EQ(run({"-x", "-f", "--png-only", "--palette", "raw/game.ppl", "-C", "out", "tiles.pba", "g.vol"})
                  .exitCode,
              0);
    if (!magick("convert out/tiles.pba.0.png -fill 'srgb(251,242,54)' -draw 'point 0,0' "
                "PNG24:out/tiles.pba.0.png"))
        GTEST_SKIP() << "no ImageMagick";
    // Without the palette the tiles' colours are a grey ramp, which has no such yellow.
    ToolRun refused = run({"-u", "g.vol", "-C", "out"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(
        refused.err.find("tiles.pba: 256 pixels have colours not in the palette: (0, 0) #FBF236 (1, 0)"),
        std::string::npos)
        << refused.err;
    EXPECT_TRUE(slurp(scratch.path("g.vol")) == original);
    ToolRun updated = run({"-u", "g.vol", "-C", "out", "--palette", "raw/game.ppl"});
    EXPECT_EQ(updated.exitCode, 0) << updated.err;
    EXPECT_EQ(updated.out,
              "g.vol\n  tiles.pba (replaced from pictures)\n1 entry replaced, 0 added, 5 kept\n");
    ToolRun missing = run({"-u", "g.vol", "-C", "out", "--palette", "none.ppl"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.rfind("qarvex: none.ppl: cannot read: ", 0), 0u) << missing.err;
}

TEST_F(PictureRoundTrip, TheNewerOfARawFileAndItsEditedPicturesWins) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the Linux side";
#endif
    // The raw file beside its pictures, and a picture edited off the palette, which -u refuses.
    ASSERT_EQ(run({"-x", "-f", "--png", "-C", "out", "title.pbm", "g.vol"}).exitCode, 0);
    if (!magick("convert out/title.pbm.png -fill 'srgb(1,2,3)' -draw 'point 3,4' PNG24:out/title.pbm.png"))
        GTEST_SKIP() << "no ImageMagick";
    auto picture = std::filesystem::path(scratch.path("out/title.pbm.png"));
    auto raw = std::filesystem::path(scratch.path("out/title.pbm"));
    struct Case {
        const char *newer;
        int exitCode;
    } cases[] = {{"raw", 0}, {"picture", 1}};
    for (const Case &c : cases) {
        auto now = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(c.newer == std::string("raw") ? raw : picture, now);
        std::filesystem::last_write_time(c.newer == std::string("raw") ? picture : raw,
                                         now - std::chrono::hours(1));
        ToolRun updated = run({"-u", "g.vol", "-C", "out"});
        EXPECT_EQ(updated.exitCode, c.exitCode) << c.newer << updated.err;
        EXPECT_TRUE(slurp(scratch.path("g.vol")) == original) << c.newer;
    }
}

} // namespace

} // namespace qarvex

namespace qarvex {

namespace {

// The font's metrics file as written, with one piece of text replaced.
std::string metricsWith(const std::string &metrics, const std::string &from, const std::string &to) {
    size_t at = metrics.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? metrics : metrics.substr(0, at) + to + metrics.substr(at + from.size());
}

} // namespace

TEST_F(PictureRoundTrip, FontMetricsComeBackWhereNoPixelMoves) {
    std::filesystem::create_directories(scratch.path("raw"));
    ASSERT_EQ(run({"-x", "-C", "raw", "small.pft", "g.vol"}).exitCode, 0);
    const std::string font = slurp(scratch.path("raw/small.pft"));
    const std::string metrics = slurp(scratch.path("out/small.pft.txt"));
    const std::string letterA = "\n65 A 18 0 24 16 35 31 12 14 35\n";
    struct Case {
        const char *what;
        std::string from, to;
        int was, now;        // the one byte of the font that changes (-1: none)
        const char *refusal; // null when taken
    } cases[] = {
        {"spacing", "\nspacing 1\n", "\nspacing 3\n", 1, 3, nullptr},
        {"flags", "\nflags 0x00000401\n", "\nflags 0x00000403\n", 1, 3, nullptr},
        {"glyph record", letterA, "\n65 A 19 0 24 16 35 31 12 14 35\n", 18, 19, nullptr},
        {"glyph record with its rectangle", letterA, "\n65 A 19 0 36 16 47 31 12 14 35\n", 18, 19, nullptr},
        {"a comment", "# Metrics", "# Edited metrics", -1, -1, nullptr},
        {"first-char", "\nfirst-char 32\n", "\nfirst-char 33\n", -1, -1,
         "line 2: first-char cannot change: the glyphs would have to be laid out again"},
        {"sheet cell", "\nsheet-cell 12 16\n", "\nsheet-cell 13 16\n", -1, -1,
         "line 10: sheet-cell cannot change"},
        {"rectangle", letterA, "\n65 A 18 0 25 16 35 31 12 14 35\n", -1, -1,
         "line 34: the bitmap, rectangle, advance and sheet place of code 65 cannot change"},
        {"advance", letterA, "\n65 A 18 0 24 16 35 31 13 14 35\n", -1, -1, "line 34: the bitmap, rectangle"},
        {"no such record", letterA, "\n65 A 44 0 24 16 35 31 12 14 35\n", -1, -1,
         "line 34: the font has no glyph record 44"},
        {"removed character", letterA, "\n", -1, -1,
         "line 34: characters cannot be added, removed or reordered"},
        {"malformed number", "\nspacing 1\n", "\nspacing 1x\n", -1, -1, "line 7: not a number in range: 1x"},
        {"number out of range", "\nspacing 1\n", "\nspacing 4294967296\n", -1, -1,
         "line 7: not a number in range"},
        {"value twice", "\nspacing 1\n", "\nspacing 1\nspacing 2\n", -1, -1,
         "line 8: spacing is given twice"},
    };
    for (const Case &c : cases) {
        scratch.write("g.vol", fixture::Bytes(original.begin(), original.end()));
        std::string edited = metricsWith(metrics, c.from, c.to);
        scratch.write("out/small.pft.txt", fixture::Bytes(edited.begin(), edited.end()));
        ToolRun updated = run({"-u", "g.vol", "-C", "out"});
        if (c.refusal) {
            EXPECT_EQ(updated.exitCode, 1) << c.what;
            EXPECT_NE(updated.err.find("small.pft: the metrics, " + std::string(c.refusal)),
                      std::string::npos)
                << c.what << ": " << updated.err;
            EXPECT_TRUE(slurp(scratch.path("g.vol")) == original) << c.what;
            continue;
        }
        EXPECT_EQ(updated.exitCode, 0) << c.what << updated.err;
        std::filesystem::remove_all(scratch.path("check"));
        std::filesystem::create_directories(scratch.path("check"));
        ASSERT_EQ(run({"-x", "-C", "check", "small.pft", "g.vol"}).exitCode, 0);
        std::string now = slurp(scratch.path("check/small.pft"));
        ASSERT_EQ(now.size(), font.size()) << c.what;
        std::vector<size_t> changed;
        for (size_t i = 0; i < now.size(); ++i)
            if (now[i] != font[i])
                changed.push_back(i);
        if (c.was < 0) {
            EXPECT_TRUE(changed.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(changed.size(), 1u) << c.what;
        EXPECT_EQ(uint8_t(font[changed[0]]), c.was) << c.what;
        EXPECT_EQ(uint8_t(now[changed[0]]), c.now) << c.what;
        EXPECT_EQ(run({"-t", "*", "g.vol"}).exitCode, 0) << c.what;
    }
}

TEST_F(PictureRoundTrip, FromPngTakesAGlyphEditAndAMetricsEditTogether) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the Linux side";
#endif
    if (!magick("convert -version > /dev/null"))
        GTEST_SKIP() << "no ImageMagick";
    std::filesystem::copy_file(scratch.path("out/small.pft.png"), scratch.path("before.png"));
    ASSERT_TRUE(magick("convert before.png -fill 'srgb(255,208,64)' -draw 'point 3,3' out/small.pft.png"));
    std::string edited =
        metricsWith(slurp(scratch.path("out/small.pft.txt")), "\nspacing 1\n", "\nspacing 3\n");
    scratch.write("out/small.pft.txt", fixture::Bytes(edited.begin(), edited.end()));
    std::filesystem::create_directories(scratch.path("back"));
    ToolRun back = run({"--from-png", "-C", "back", "out/small.pft.png"});
    ASSERT_EQ(back.exitCode, 0) << back.err;
    ASSERT_EQ(run({"--png", "back/small.pft"}).exitCode, 0);
    EXPECT_EQ(slurp(scratch.path("back/small.pft.txt")), edited);
    EXPECT_EQ(differingPixels("back/small.pft.png", "before.png"), 1);
}

} // namespace qarvex
