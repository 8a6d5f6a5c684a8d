// End-to-end: qarvex -t. Every matching entry is decoded to its size; the damaged ones are listed
// under their volume with the reason, a summary line follows, and any failure makes the exit 1.
#include "ToolRunner.h"

#include <filesystem>

namespace qarvex {

using namespace toolrun;

namespace {

class TestCommandTest : public ToolTest, public ::testing::WithParamInterface<VolumeBuilder::Variant> {};

TEST_P(TestCommandTest, SoundEntriesOfEveryMethodPass) {
    // Every reference LZH stream, from empty to many pieces long: none may be taken for damaged
    // because its decoder reads ahead of the data near the end.
    VolumeBuilder builder = allMethodsVolume();
    const char *vectors[][2] = {{"empty.lzh", "empty.bin"}, {"one.lzh", "one.bin"},
                                {"hello.lzh", "hello.txt"}, {"spaces.lzh", "spaces.txt"},
                                {"run.lzh", "run.bin"},     {"random.lzh", "random.bin"},
                                {"mixed.lzh", "mixed.bin"}};
    for (const auto &vector : vectors)
        builder.addCoded(0, vector[1], int32_t(lzhData(vector[1]).size()), 3, lzhData(vector[0]));
    volume("sound.vol", builder, GetParam());
    ToolRun result = run({"-t", "*", "sound.vol"});
    EXPECT_EQ(result.out, "11 entries tested, 0 failed\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, TestCommandTest,
                         ::testing::Values(VolumeBuilder::Variant::PVOL, VolumeBuilder::Variant::OldVOL));

TEST_F(ToolTest, DamagedEntriesAreReportedAndTheExitIsOne) {
    Damaged damaged = damagedVolume();
    scratch.write("bad.vol", damaged.bytes);
    volume("fine.vol", allMethodsVolume());
    std::string expected = "bad.vol\n";
    for (const std::string &report : damaged.reports)
        expected += "  " + report + "\n";
    ToolRun result = run({"-t", "*", "bad.vol", "fine.vol"});
    EXPECT_EQ(result.out, expected + "11 entries tested, 6 failed\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 1);

    // Only what matches is tested.
    result = run({"-t", "*.txt", "*.vol"});
    EXPECT_EQ(result.out, "bad.vol\n"
                          "  cut.txt: damaged: data ends before its 11358 bytes\n"
                          "4 entries tested, 1 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    result = run({"-t", "good.txt", "bad.vol"});
    EXPECT_EQ(result.out, "1 entry tested, 0 failed\n");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(ToolTest, CodedDataCutShortAnywhereIsReported) {
    // The data of a long LZH entry and of an RLE entry cut at several places, down to their last
    // byte: each is reported; the whole streams are not.
    fixture::Bytes coded = lzhData("mixed.lzh");
    int32_t size = int32_t(lzhData("mixed.bin").size());
    VolumeBuilder builder;
    builder.addCoded(0, "whole.bin", size, 3, coded);
    std::string expected = "cut.vol\n";
    for (size_t kept : {size_t(0), size_t(1), size_t(100000), coded.size() - 200, coded.size() - 1}) {
        std::string name = "kept" + std::to_string(kept) + ".bin";
        builder.addCoded(0, name.c_str(), size, 3, fixture::Bytes(coded.begin(), coded.begin() + kept));
        expected += "  " + name + ": damaged: data ends before its " + std::to_string(size) + " bytes\n";
    }
    const fixture::Bytes runs = {0x85, 'a', 0x03, 'x', 'y', 'z'}; // "aaaaaxyz"
    builder.addCoded(0, "runs.rle", 8, 1, runs);
    builder.addCoded(0, "cut.rle", 8, 1, fixture::Bytes(runs.begin(), runs.end() - 1));
    expected += "  cut.rle: damaged: data ends before its 8 bytes\n";
    volume("cut.vol", builder);
    ToolRun result = run({"-t", "*", "cut.vol"});
    EXPECT_EQ(result.out, expected + "8 entries tested, 6 failed\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(ToolTest, HugeSizeOverAFewBytesIsReportedDamaged) {
    // A volume of about a hundred bytes whose LZH entry claims 1.5 GB: the decoder stops where its
    // few coded bytes end instead of decoding padding up to the claimed size.
    VolumeBuilder builder;
    builder.addCoded(0, "bomb.bin", 1500000000, 3, fixture::Bytes(40, 0x5A));
    volume("bomb.vol", builder);
    ToolRun result = run({"-t", "*", "bomb.vol"});
    EXPECT_EQ(result.out, "bomb.vol\n"
                          "  bomb.bin: damaged: data ends before its 1500000000 bytes\n"
                          "1 entry tested, 1 failed\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(ToolTest, VolumesThatFailToOpenMakeTheExitOne) {
    using namespace fixture;
    scratch.write("broken.vol", header("PVOL", 8) + block("vols", names({"kept.txt"})) +
                                    block("voli", record(1, 0, 0, 0) + record(2, 99, 0, 0)));
    ToolRun result = run({"-t", "*", "broken.vol", "missing.vol"});
    EXPECT_EQ(result.out, "1 entry tested, 0 failed\n"); // what loaded is still tested
    EXPECT_EQ(result.err, "qarvex: broken.vol: damaged volume directory\n"
                          "qarvex: missing.vol: no matching file\n");
    EXPECT_EQ(result.exitCode, 1);

    // A file too large for 32-bit positions, made sparse: it is not read as its low 32 bits.
    scratch.write("huge.vol", allMethodsVolume().build(VolumeBuilder::Variant::PVOL));
    std::filesystem::resize_file(scratch.directory() / "huge.vol", (uint64_t(1) << 32) + 10);
    result = run({"-t", "*", "huge.vol"});
    EXPECT_EQ(result.out, "0 entries tested, 0 failed\n");
    EXPECT_EQ(result.err, "qarvex: huge.vol: too large for a volume (2 GiB or more)\n");
    EXPECT_EQ(result.exitCode, 1);
}

} // namespace

} // namespace qarvex
