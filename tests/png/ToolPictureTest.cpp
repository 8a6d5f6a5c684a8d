// The picture commands of the built qarvex end to end: "-x --png" and "-x --png-only" on the
// shipped graphics example and on damaged volumes, "--png FILE..." on loose files, and the
// picture options' usage errors. Pictures are decoded by ImageMagick.
#include "PictureTestSupport.h"

#include "tool/GraphicsExample.h"
#include "tool/Options.h"

#include <filesystem>

namespace qarvex {

using namespace picturetest;
using toolrun::slurp;
using toolrun::ToolRun;

namespace {

// The names of every file below root, relative, sorted, one per line.
std::string namesIn(const std::filesystem::path &root) {
    std::vector<std::string> names;
    for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::end(it); ++it)
        if (!it->is_directory())
            names.push_back(it->path().lexically_relative(root).generic_string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string &name : names)
        text += name + "\n";
    return text;
}

// The stored bytes of an entry of the graphics example.
std::vector<uint8_t> exampleEntry(const char *name) {
    VolumeBuilder example = examples::graphicsVolume();
    for (const VolumeBuilder::Entry &entry : example.entries())
        if (entry.name == name)
            return entry.stored;
    ADD_FAILURE() << name;
    return {};
}

std::string damagedBitmap() {
    std::vector<uint8_t> title = exampleEntry("title.pbm");
    return std::string(title.begin(), title.begin() + int(title.size()) / 2);
}

class ToolPictureTest : public toolrun::ToolTest {
protected:
    void SetUp() override {
        scratch.write("graphics.vol", examples::graphicsVolume().build(VolumeBuilder::Variant::PVOL));
        std::filesystem::create_directory(scratch.directory() / "out");
    }
    std::filesystem::path out() const { return scratch.directory() / "out"; }
    Decoded picture(const std::string &name) const { return decodeFile((out() / name).string()); }
};

TEST_F(ToolPictureTest, ShippedGraphicsExampleIsWhatTheGeneratorMakes) {
    EXPECT_EQ(slurp(std::string(QARVEX_EXAMPLES_DIR) + "/" + examples::GraphicsFileName),
              slurp(scratch.path("graphics.vol")));
}

TEST_F(ToolPictureTest, ExtractionWritesPicturesBesideGraphicsEntries) {
    REQUIRE_IMAGEMAGICK();
    int64_t bytes = 0;
    VolumeBuilder example = examples::graphicsVolume();
    for (const VolumeBuilder::Entry &entry : example.entries())
        bytes += entry.size;
    ToolRun result = run({"-x", "--png", "-C", "out", "*", "graphics.vol"});
    EXPECT_EQ(result.out, "graphics.vol\n"
                          "  ReadMe.txt\n"
                          "  title.pbm -> title.pbm.png\n"
                          "  logo.bmp -> logo.bmp.png\n"
                          "  game.ppl -> game.ppl.png\n"
                          "  tiles.pba -> tiles.pba.0.png ... tiles.pba.3.png (4 files)\n"
                          "  small.pft -> small.pft.png, small.pft.txt\n"
                          "6 entries extracted, " +
                              std::to_string(bytes) + " bytes, 8 pictures written\n");
    EXPECT_EQ(result.err, "qarvex: graphics.vol: tiles.pba: no palette; colour indices shown as a grey ramp "
                          "(--palette gives one)\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(namesIn(out()),
              ".qarvex-manifest\nReadMe.txt\ngame.ppl\ngame.ppl.png\ngame.ppl.sidecar\nlogo.bmp\nlogo.bmp."
              "png\nlogo.bmp.sidecar\nsmall.pft\nsmall.pft.png\nsmall.pft.sidecar\nsmall.pft.txt\ntiles."
              "pba\ntiles.pba.0.png\ntiles.pba.1.png\ntiles.pba.2.png\ntiles.pba.3.png\ntiles.pba."
              "sidecar\ntitle.pbm\ntitle.pbm.png\ntitle.pbm.sidecar\n");
    Decoded title = picture("title.pbm.png");
    ASSERT_EQ(title.width, 64);
    ASSERT_EQ(title.height, 32);
    EXPECT_EQ(title.at(44, 17), rgb(255, 230, 120)); // the sun, in the bitmap's own palette
    EXPECT_EQ(title.at(0, 0), rgb(20, 24, 80));
    Decoded logo = picture("logo.bmp.png");
    ASSERT_EQ(logo.width, 32);
    EXPECT_EQ(logo.at(15, 11), rgb(255, 255, 255));
    EXPECT_EQ(logo.at(1, 2), rgb(8, 20, 249));
    Decoded tile = picture("tiles.pba.1.png");
    ASSERT_EQ(tile.width, 16);
    EXPECT_EQ(tile.at(0, 0), rgb(8, 8, 8)); // colour 8, as grey
    Decoded glyphs = picture("small.pft.png");
    EXPECT_EQ(glyphs.width, 16 * 13 + 1);
    EXPECT_EQ(glyphs.height, 4 * 17 + 1);
    Decoded swatches = picture("game.ppl.png");
    EXPECT_EQ(swatches.height, 2 * 128 + 4);
    EXPECT_EQ(swatches.at(3 * 8, 132), rgb(143, 86, 59)); // palette 1 (day), colour 3
}

TEST_F(ToolPictureTest, PicturesInsteadOfGraphicsEntriesWithAPaletteFile) {
    REQUIRE_IMAGEMAGICK();
    ASSERT_EQ(run({"-x", "-C", "out", "game.ppl", "graphics.vol"}).exitCode, 0);
    std::filesystem::rename(out() / "game.ppl", scratch.directory() / "game.ppl");
    ToolRun result = run({"-x", "--png-only", "--palette", "game.ppl", "--sheet", "--levels", "-C", "out",
                          "*", "graphics.vol"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "graphics.vol\n"
                          "  ReadMe.txt\n"
                          "  title.pbm -> title.pbm.png, title.pbm.level1.png\n"
                          "  logo.bmp -> logo.bmp.png\n"
                          "  game.ppl -> game.ppl.png\n"
                          "  tiles.pba -> tiles.pba.png\n"
                          "  small.pft -> small.pft.png, small.pft.txt\n"
                          "1 entry extracted, " +
                              std::to_string(exampleEntry("ReadMe.txt").size()) +
                              " bytes, 6 pictures written\n");
    EXPECT_EQ(namesIn(out()),
              ".qarvex-manifest\nReadMe.txt\ngame.ppl.png\ngame.ppl.sidecar\nlogo.bmp.png\nlogo.bmp."
              "sidecar\nsmall.pft.png\nsmall.pft.sidecar\nsmall.pft.txt\ntiles.pba.png\ntiles.pba."
              "sidecar\ntitle.pbm.level1.png\ntitle.pbm.png\ntitle.pbm.sidecar\n");
    // The tiles are drawn for palette 1 of the set: its colours 3 and 8.
    Decoded sheet = picture("tiles.pba.png");
    ASSERT_EQ(sheet.width, 2 + 2 * 18);
    EXPECT_EQ(sheet.at(2, 2), rgb(143, 86, 59));
    EXPECT_EQ(sheet.at(20, 2), rgb(153, 229, 80));
    EXPECT_EQ(sheet.at(0, 0), Clear);
    Decoded level1 = picture("title.pbm.level1.png");
    EXPECT_EQ(level1.width, 32);
    EXPECT_EQ(level1.height, 16);
}

TEST_F(ToolPictureTest, DamagedGraphicsEntriesGiveADiagnosticAndNoPicture) {
    VolumeBuilder builder;
    std::vector<uint8_t> title = exampleEntry("title.pbm");
    builder.add(1, "good.pbm", std::string(title.begin(), title.end()));
    builder.add(2, "bad.pbm", damagedBitmap());
    builder.add(3, "fake.pba", "not an array at all");
    builder.add(4, "real.png", "\x89PNG\r\n\x1a\n and the rest");
    builder.add(5, "notes.txt", "notes");
    builder.add(6, "art\\deep.pbm", std::string(title.begin(), title.end()));
    volume("v.vol", builder);
    int64_t bytes = 0;
    for (const VolumeBuilder::Entry &entry : builder.entries())
        bytes += entry.size;
    const std::string reports =
        "qarvex: v.vol: bad.pbm: no picture: not a readable bitmap (damaged, or neither "
        "PBMP nor BMP)\n"
        "qarvex: v.vol: fake.pba: no picture: not a readable bitmap array\n";

    ToolRun beside = run({"-x", "--png", "-C", "out", "*", "v.vol"});
    EXPECT_EQ(beside.err, reports);
    EXPECT_EQ(beside.exitCode, 1);
    EXPECT_EQ(beside.out, "v.vol\n  good.pbm -> good.pbm.png\n  real.png\n  notes.txt\n  art\\deep.pbm -> "
                          "deep.pbm.png\n6 entries extracted, " +
                              std::to_string(bytes) + " bytes, 2 pictures written, 2 not converted\n");
    EXPECT_EQ(namesIn(out()), ".qarvex-manifest\nart/deep.pbm\nart/deep.pbm.png\nart/"
                              "deep.pbm.sidecar\nbad.pbm\nfake.pba\ngood.pbm\ngood.pbm.png\ngood.pbm."
                              "sidecar\nnotes.txt\nreal.png\n");

    std::filesystem::remove_all(out());
    std::filesystem::create_directory(out());
    ToolRun instead = run({"-x", "--png-only", "-C", "out", "*", "v.vol"});
    EXPECT_EQ(instead.err, reports);
    EXPECT_EQ(instead.exitCode, 1);
    EXPECT_EQ(namesIn(out()), ".qarvex-manifest\nart/deep.pbm.png\nart/"
                              "deep.pbm.sidecar\ngood.pbm.png\ngood.pbm.sidecar\nnotes.txt\nreal.png\n");
    EXPECT_EQ(slurp((out() / "real.png").string()), "\x89PNG\r\n\x1a\n and the rest");
}

TEST_F(ToolPictureTest, LooseFilesOnDisk) {
    REQUIRE_IMAGEMAGICK();
    std::vector<uint8_t> logo = exampleEntry("logo.bmp");
    scratch.write("art/logo.bmp", logo);
    scratch.write("art/bad.pbm", fixture::text(damagedBitmap()));
    scratch.write("art/notes.txt", fixture::text("notes"));
    ToolRun result = run({"--png", "art/logo.bmp", "art/notes.txt", "art/bad.pbm", "art/missing.pal"});
    EXPECT_EQ(result.out, "art/logo.bmp -> logo.bmp.png\n1 file converted, 1 picture written, 3 failed\n");
    EXPECT_EQ(result.err,
              "qarvex: art/notes.txt: not a graphics file (.bmp .dib .png .pbm .pba .pft .pal .ppl "
              ".dpl)\n"
              "qarvex: art/bad.pbm: no picture: not a readable bitmap (damaged, or neither PBMP nor "
              "BMP)\n"
              "qarvex: art/missing.pal: cannot read: not found\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(namesIn(scratch.directory() / "art"),
              "bad.pbm\nlogo.bmp\nlogo.bmp.png\nlogo.bmp.sidecar\nnotes.txt\n");
    EXPECT_EQ(decodeFile(scratch.path("art/logo.bmp.png")).at(15, 11), rgb(255, 255, 255));

    // An existing picture is kept unless -f is given; -C puts the pictures elsewhere.
    result = run({"--png", "art/logo.bmp"});
    EXPECT_EQ(result.err, "qarvex: art/logo.bmp: no picture: logo.bmp.png exists; not replaced without -f\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(run({"--png", "-f", "art/logo.bmp"}).exitCode, 0);
    result = run({"--png", "-C", "out", "art/logo.bmp"});
    EXPECT_EQ(result.out, "art/logo.bmp -> logo.bmp.png\n1 file converted, 1 picture written\n");
    EXPECT_EQ(namesIn(out()), "logo.bmp.png\nlogo.bmp.sidecar\n");
    EXPECT_EQ(namesIn(scratch.directory() / "art"),
              "bad.pbm\nlogo.bmp\nlogo.bmp.png\nlogo.bmp.sidecar\nnotes.txt\n");
}

TEST_F(ToolPictureTest, AnUnreadablePaletteFileStopsEverything) {
    ToolRun result = run({"-x", "--png", "--palette", "missing.ppl", "-C", "out", "*", "graphics.vol"});
    EXPECT_EQ(result.err, "qarvex: missing.ppl: cannot read: not found\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(namesIn(out()), "");
    scratch.write("text.ppl", fixture::text("RIFF\x04\0\0\0WAVE"));
    result = run({"--png", "--palette", "text.ppl", "graphics.vol"});
    EXPECT_EQ(result.err, "qarvex: text.ppl: not a readable palette (RIFF or PL98)\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(ToolPictureTest, PictureOptions) {
    struct Case {
        std::vector<std::string> arguments;
        const char *error; // null: accepted
    } cases[] = {
        {{"-x", "--png", "--palette", "p.ppl", "--transparent", "0", "--levels", "--sheet", "*", "a.vol"},
         nullptr},
        {{"--png", "--transparent=255", "--palette=p.ppl", "a.pbm"}, nullptr},
        {{"-x", "--png-only", "*", "a.vol"}, nullptr},
        {{"--palette", "p.ppl", "*", "a.vol"},
         "--palette, --transparent, --levels and --sheet go with --png"},
        {{"-x", "--sheet", "*", "a.vol"}, "--palette, --transparent, --levels and --sheet go with --png"},
        {{"--png", "--transparent", "256", "a.pbm"}, "--transparent needs a colour index from 0 to 255"},
        {{"--png", "--transparent", "1x", "a.pbm"}, "--transparent needs a colour index from 0 to 255"},
        {{"--png", "--palette"}, "--palette needs a palette file"},
        {{"-l", "--png", "*", "a.vol"}, "--png goes with -x or on its own"},
        {{"--png-only", "a.pbm"}, "--png-only goes with -x"},
        {{"--png"}, "missing file"},
    };
    for (const Case &c : cases) {
        std::vector<char *> argv{const_cast<char *>("qarvex")};
        for (const std::string &argument : c.arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        tool::Options options;
        std::string error;
        bool accepted = tool::parseOptions(int(argv.size()), argv.data(), options, error);
        EXPECT_EQ(accepted, c.error == nullptr) << ::testing::PrintToString(c.arguments) << ": " << error;
        if (c.error) {
            EXPECT_EQ(error, c.error) << ::testing::PrintToString(c.arguments);
        }
    }
    ToolRun result = run({"--png"});
    EXPECT_EQ(result.err, "qarvex: missing file (qarvex -h lists the options)\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(run({"-h"}).out.find("Qarvex --png [-C dir] [-f] [picture options] file..."),
              std::string::npos);
}

} // namespace

} // namespace qarvex
