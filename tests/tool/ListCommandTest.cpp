// End-to-end: qarvex -l, the long listing. Its rows are the search command's rows with the id,
// sizes and method in aligned columns, and each volume ends with a total line.
#include "ToolRunner.h"

namespace qarvex {

using namespace toolrun;

namespace {

class ListTest : public ToolTest, public ::testing::WithParamInterface<VolumeBuilder::Variant> {};

TEST_P(ListTest, EveryMethodInAlignedColumns) {
    VolumeBuilder builder = allMethodsVolume();
    builder.addCoded(7, "odd.bin", 4, 2, fixture::text("abcd")); // no such method: its code is shown
    volume("all.vol", builder, GetParam());
    ToolRun result = run({"-l", "*.*", "all.vol"});
    EXPECT_EQ(result.out, "all.vol\n"
                          "  00000001     15    15  stored  readme.txt\n"
                          "              300    10  rle     runs.bin\n" // no id: blanks
                          "  00C0FFEE  11358  4307  lzh     docs\\prose.txt\n"
                          "  00000007      4     4  2       odd.bin\n"
                          "  4 entries, 11677 bytes\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, ListTest,
                         ::testing::Values(VolumeBuilder::Variant::PVOL, VolumeBuilder::Variant::OldVOL));

TEST_F(ToolTest, ListingOfSeveralVolumesAndOneEntry) {
    VolumeBuilder one, none;
    one.add(0x10, "Only.TXT", "1234567");
    none.add(0x11, "other.dat", "");
    volume("a.vol", one);
    volume("b.vol", none);
    // A volume without matches prints nothing, as in the search; a single entry says "entry".
    ToolRun result = run({"-l", "only.txt", "*.vol"});
    EXPECT_EQ(result.out, "a.vol\n"
                          "  00000010  7  7  stored  Only.TXT\n"
                          "  1 entry, 7 bytes\n");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(ToolTest, ListingShowsDamageWithoutFailing) {
    // A record whose data block lies past the end of the file: no stored size to show.
    VolumeBuilder builder;
    builder.add(1, "fine.txt", "fine");
    builder.addCoded(2, "gone.txt", 99, 0, fixture::text("gone"));
    std::vector<uint8_t> bytes = builder.build(VolumeBuilder::Variant::PVOL);
    pointOutsideTheFile(bytes, 1);
    scratch.write("d.vol", bytes);
    ToolRun result = run({"-l", "*", "d.vol"});
    EXPECT_EQ(result.out, "d.vol\n"
                          "  00000001   4  4  stored  fine.txt\n"
                          "  00000002  99  -  stored  gone.txt\n"
                          "  2 entries, 103 bytes\n");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(ToolTest, ListingRowsAreTheSearchRowsUpToTheLimit) {
    // One more match than the search lists: both stop at the same entry and say so the same way.
    VolumeBuilder builder;
    for (int i = 0; i <= 16384; ++i) {
        std::string name = std::string("e").append(std::to_string(i)).append(".pft");
        builder.add(uint32_t(i + 1), name.c_str(), "");
    }
    volume("big.vol", builder);
    ToolRun search = run({"*.PFT", "big.vol"});
    ToolRun listing = run({"-l", "*.PFT", "big.vol"});
    std::istringstream searched(search.out), listed(listing.out);
    std::string expected, got;
    ASSERT_TRUE(std::getline(searched, expected) && std::getline(listed, got));
    EXPECT_EQ(got, expected); // the volume's name
    int rows = 0;
    for (; std::getline(searched, expected) && expected.rfind("  ", 0) == 0; ++rows) {
        ASSERT_TRUE(std::getline(listed, got));
        ASSERT_EQ("  " + got.substr(got.rfind(' ') + 1), expected) << rows; // the name column
    }
    EXPECT_EQ(rows, 16384);
    ASSERT_TRUE(std::getline(listed, got));
    EXPECT_EQ(got, "  16384 entries, 0 bytes");
    ASSERT_TRUE(std::getline(listed, got));
    EXPECT_EQ(got, expected); // the "match list full" line
    EXPECT_EQ(expected, "... match list full, big.vol may have have more entries ..");
    EXPECT_EQ(listing.exitCode, 0);
}

TEST_F(ToolTest, ListingExitsWithOneWhenAVolumeFails) {
    VolumeBuilder good;
    good.add(1, "keep.txt", "k");
    volume("good.vol", good);
    scratch.write("text.vol", fixture::text("just some text\n"));
    ToolRun result = run({"-l", "*.txt", "*.vol", "missing.vol"});
    EXPECT_EQ(result.out, "good.vol\n"
                          "  00000001  1  1  stored  keep.txt\n"
                          "  1 entry, 1 byte\n");
    EXPECT_EQ(result.err, "qarvex: text.vol: not a volume\n"
                          "qarvex: missing.vol: no matching file\n");
    EXPECT_EQ(result.exitCode, 1);
}

} // namespace

} // namespace qarvex
