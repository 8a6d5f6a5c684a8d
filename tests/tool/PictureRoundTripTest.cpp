// End-to-end: pictures back into graphics entries. Every graphics kind of the shipped example goes
// out with --png-only and back with -u unchanged, byte for byte; one pixel changed with ImageMagick
// to another palette colour, in an indexed and in a truecolour re-save, changes the bitmap at
// exactly that pixel; a colour off the palette is refused with the pixel listed (exit 1, volume
// untouched) and taken with --nearest.
#include "ToolRunner.h"

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
        ASSERT_EQ(run({"-x", "--png-only", "-C", "out", "*", "g.vol"}).exitCode, 0);
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

} // namespace

} // namespace qarvex
