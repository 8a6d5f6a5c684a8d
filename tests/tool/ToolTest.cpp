// End-to-end: the built qarvex run on volumes made in a scratch directory, comparing its whole
// standard output, its standard error and its exit code.
#include "ToolRunner.h"

#include "tool/ExampleVolumes.h"

namespace qarvex {

using namespace toolrun;

namespace {

const char Usage[] = "Qarvex  (V1.00)  A utility to search volumes for files\n"
                     "  Usage: Qarvex <expression> name1.vol [name2.vol] [*.vol] \n\n"
                     "    Where <expression> is a filename, Wildcards *,? are allowed\n"
                     "    At least one volume must be specified.  Wildcards *?.vol allowed\n";

TEST_F(ToolTest, UsageWithFewerThanTwoArguments) {
    for (const std::vector<std::string> &arguments : {std::vector<std::string>{}, {"*.txt"}}) {
        ToolRun result = run(arguments);
        EXPECT_EQ(result.out, Usage);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exitCode, 0);
    }
}

TEST_F(ToolTest, ShippedExampleVolumes) {
    ToolRun result = runTool({"*.txt", "demo.vol", "demo-old.vol"}, QARVEX_EXAMPLES_DIR);
    EXPECT_EQ(result.out, "demo.vol\n"
                          "  ReadMe.txt\n"
                          "  Story.txt\n"
                          "  credits.TXT\n"
                          "  notes_v2.txt\n"
                          "demo-old.vol\n"
                          "  LEGACY.TXT\n"
                          "  History.txt\n"
                          "  todo.txt\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(ToolTest, ShippedExamplesAreWhatTheBuilderMakes) {
    // The generator must reproduce the committed files byte for byte.
    auto bytes = [](const VolumeBuilder &builder, VolumeBuilder::Variant variant) {
        std::vector<uint8_t> built = builder.build(variant);
        return std::string(built.begin(), built.end());
    };
    EXPECT_EQ(slurp(std::string(QARVEX_EXAMPLES_DIR) + "/" + examples::DemoFileName),
              bytes(examples::demoVolume(), VolumeBuilder::Variant::PVOL));
    EXPECT_EQ(slurp(std::string(QARVEX_EXAMPLES_DIR) + "/" + examples::OldDemoFileName),
              bytes(examples::oldDemoVolume(), VolumeBuilder::Variant::OldVOL));
    EXPECT_EQ(examples::demoVolume().entries().size(), 13u);
    // The library's consumer example reads this entry as its LZH-coded one.
    EXPECT_EQ(examples::demoVolume().entries().back().name, "changes.log");
    EXPECT_EQ(examples::demoVolume().entries().back().compression, VolumeStream::LZH);
    EXPECT_EQ(examples::oldDemoVolume().entries().size(), 12u);
}

TEST_F(ToolTest, MatchesInTableOrderWithStoredCase) {
    VolumeBuilder builder;
    for (const char *name : {"zebra.TXT", "Apple.txt", "image.pbm", "MIDDLE.Txt", "x.txt.bak"})
        builder.add(0, name, "");
    volume("v.vol", builder);
    ToolRun result = run({"*.txt", "v.vol"});
    EXPECT_EQ(result.out, "v.vol\n  zebra.TXT\n  Apple.txt\n  MIDDLE.Txt\n");
    EXPECT_EQ(result.exitCode, 0);
    result = run({"*.wav", "v.vol"});
    EXPECT_EQ(result.out, ""); // not even the volume's name
    EXPECT_EQ(result.err, "");
}

TEST_F(ToolTest, MatcherEdgeCases) {
    VolumeBuilder builder;
    for (const char *name : {"AB", "abc", "NODOT", "a", "Banana", "a.b", "", "A?"})
        builder.add(0, name, "");
    builder.add(1, nullptr, "nameless");
    volume("m.vol", builder);
    struct Case {
        const char *pattern;
        const char *listed;
    } cases[] = {
        {"*", "  AB\n  abc\n  NODOT\n  a\n  Banana\n  a.b\n  A?\n"}, // not the empty or missing name
        {"ab*", "  abc\n"},
        {"*.*", "  a.b\n"},
        {"a?", "  AB\n  A?\n"},
        {"*a", "  a\n  Banana\n"},
        {"*?", "  A?\n"},
        {"readme", ""},
    };
    for (const Case &c : cases) {
        ToolRun result = run({c.pattern, "m.vol"});
        EXPECT_EQ(result.out, c.listed[0] ? std::string("m.vol\n") + c.listed : "") << c.pattern;
        EXPECT_EQ(result.exitCode, 0);
    }
}

TEST_F(ToolTest, SeveralVolumesAndPatterns) {
    VolumeBuilder first, second, third;
    first.add(1, "one.txt", "");
    second.add(2, "two.txt", "");
    third.add(3, "three.txt", "");
    third.add(4, "three.dat", "");
    volume("b.vol", first);
    volume("A.vol", second, VolumeBuilder::Variant::OldVOL);
    volume("c.VOL", third);
    volume(".hidden.vol", third);
#ifdef _WIN32
    SetFileAttributesA(scratch.path(".hidden.vol").c_str(), FILE_ATTRIBUTE_HIDDEN); // not the dot, here
#endif
    std::filesystem::create_directory(scratch.path("dir.vol"));
    // Found files are listed by name without regard to case; hidden files and directories skipped.
    ToolRun result = run({"*.txt", "*.vol", "b.vol"});
    EXPECT_EQ(result.out, "A.vol\n  two.txt\nb.vol\n  one.txt\nc.VOL\n  three.txt\nb.vol\n  one.txt\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    result = run({"three.*", "?.vol"});
    EXPECT_EQ(result.out, "c.VOL\n  three.txt\n  three.dat\n");
}

TEST_F(ToolTest, NonVolumesAreReportedOnStandardErrorOnly) {
    VolumeBuilder good;
    good.add(1, "keep.txt", "");
    volume("good.vol", good);
    scratch.write("text.vol", fixture::text("just some text\n"));
    scratch.write("empty.vol", {});
    // A damaged directory: the second name points outside the string block.
    using namespace fixture;
    scratch.write("broken.vol", header("PVOL", 8) + block("vols", names({"kept.txt"})) +
                                    block("voli", record(1, 0, 0, 0) + record(2, 99, 0, 0)));
    ToolRun result = run({"*.txt", "*.vol", "missing.vol", "nowhere/*.vol"});
    EXPECT_EQ(result.out, "broken.vol\n  kept.txt\ngood.vol\n  keep.txt\n");
    EXPECT_EQ(result.err, "qarvex: broken.vol: damaged volume directory\n"
                          "qarvex: empty.vol: not a volume\n"
                          "qarvex: text.vol: not a volume\n"
                          "qarvex: missing.vol: no matching file\n"
                          "qarvex: nowhere/*.vol: no matching file\n");
    EXPECT_EQ(result.exitCode, 0);
}

class FullListTest : public ToolTest, public ::testing::WithParamInterface<int> {};

TEST_P(FullListTest, LimitOf16384Matches) {
    int matching = GetParam();
    VolumeBuilder builder;
    std::string expected = "big.vol\n";
    for (int i = 0; i < matching; ++i) {
        // Appended piecewise: "e" + std::to_string(i) trips a false -Wrestrict in g++ 12 at -O2.
        std::string stem = std::string("e").append(std::to_string(i));
        std::string name = stem + ".pft";
        builder.add(uint32_t(i + 1), name.c_str(), "");
        builder.add(0, (stem + ".other").c_str(), "");
        if (i < 16384)
            expected += "  " + name + "\n";
    }
    if (matching >= 16384)
        expected += "... match list full, big.vol may have have more entries ..\n";
    volume("big.vol", builder);
    ToolRun result = run({"*.PFT", "big.vol"});
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(AroundTheLimit, FullListTest, ::testing::Values(16383, 16384, 16385, 20000));

TEST_F(ToolTest, PatternInAnotherFolderOpensTheFilesThere) {
    VolumeBuilder inside, outside;
    inside.add(1, "inside.txt", "");
    outside.add(1, "outside.txt", "");
    volume("sub/x.vol", inside);
    volume("x.vol", outside); // same name in the current directory: must not be the one opened
    volume("sub/deeper/y.vol", inside);
    ToolRun result = run({"*.txt", "sub/*.vol"});
    EXPECT_EQ(result.out, "sub/x.vol\n  inside.txt\n");
    EXPECT_EQ(result.err, "");
    result = run({"*.txt", scratch.path("sub") + "/X.VOL"});
    EXPECT_EQ(result.out, scratch.path("sub") + "/x.vol\n  inside.txt\n");
}

TEST_F(ToolTest, PatternsReachTheToolUnexpanded) {
    // Files on disk that a runtime's own wildcard expansion would put in the patterns' place.
    VolumeBuilder builder;
    builder.add(1, "entry.txt", "");
    volume("v.vol", builder);
    scratch.write("disk.txt", fixture::text("not an entry"));
    ToolRun result = run({"*.txt", "*.vol"});
    EXPECT_EQ(result.out, "v.vol\n  entry.txt\n");
    EXPECT_EQ(result.err, "");
}

#ifdef _WIN32
TEST_F(ToolTest, WindowsPathsAndLetterCase) {
    VolumeBuilder inside;
    inside.add(1, "inside.txt", "");
    volume("sub/x.vol", inside);
    ToolRun result = run({"*.txt", "SUB\\*.VOL"});
    EXPECT_EQ(result.out, "SUB\\x.vol\n  inside.txt\n");
    EXPECT_EQ(result.err, "");
    result = run({"*.txt", "sub\\X.vol"});
    EXPECT_EQ(result.out, "sub\\x.vol\n  inside.txt\n");
}
#endif

TEST_F(ToolTest, LongNamesAreMatchedWhole) {
    std::string longText = std::string(700, 'n') + ".txt";
    std::string longOther = std::string(700, 'n') + ".dat";
    VolumeBuilder builder;
    builder.add(1, longText.c_str(), "");
    builder.add(2, longOther.c_str(), "");
    volume("long.vol", builder);
    ToolRun result = run({"*.txt", "long.vol"});
    EXPECT_EQ(result.out, "long.vol\n  " + longText + "\n");
}

} // namespace

} // namespace qarvex
