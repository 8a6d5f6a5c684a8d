// End-to-end: pictures back into graphics entries. Every graphics kind of the shipped example goes
// out with --png-only and back with -u (and with --from-png) unchanged, byte for byte; one pixel
// changed with ImageMagick to another palette colour, in an indexed and in a truecolour re-save,
// changes the bitmap at exactly that pixel, and so do edits of a font glyph, a palette swatch, a
// detail level and a tile read in the palette --palette names; a colour off the palette is refused
// with the pixel listed (exit 1, volume untouched) and taken with --nearest; a raw file changed
// after its pictures wins over them.
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
