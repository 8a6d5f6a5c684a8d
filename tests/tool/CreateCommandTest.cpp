// End-to-end: qarvex -c and -a. A folder tree packed with every method lists, extracts and tests
// back byte for byte and is searched like any volume; -i takes ids from file names; -a replaces
// entries in place and adds new ones after them; whatever fails leaves the output as it was.
#include "ToolRunner.h"

#include <qarvex/core/LittleEndian.h>

namespace qarvex {

using namespace toolrun;

namespace {

class CreateTest : public ToolTest {
protected:
    void file(const std::string &name, const std::string &bytes) {
        scratch.write(name, fixture::Bytes(bytes.begin(), bytes.end()));
    }
    // A tree with folders three deep, an empty file, and contents that suit each method.
    void makeTree() {
        file("tree/readme.txt", "Hello, volume!\n");
        file("tree/empty.txt", "");
        file("tree/docs/prose.txt", asText(lzhData("prose.txt")));
        file("tree/art/runs.bin", runsBin());
        file("tree/deep/a/b/c.dat", std::string(1000, 'c') + "tail");
        file("tree/Zebra.TXT", "last by name");
    }
    // Everything the folder holds, names and bytes, to compare two trees.
    std::string contentsOf(const std::string &folder) {
        std::string all = treeOf(scratch.path(folder));
        for (auto &object : std::filesystem::recursive_directory_iterator(scratch.path(folder)))
            if (object.is_regular_file())
                all += object.path().lexically_relative(scratch.path(folder)).generic_string() + "=" +
                       slurp(object.path().string()) + "\n";
        return all;
    }
    std::vector<std::string> scratchNames() {
        std::vector<std::string> names;
        for (auto &object : std::filesystem::directory_iterator(scratch.directory()))
            names.push_back(object.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

class CreateRoundTrip : public CreateTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(CreateRoundTrip, ListedExtractedTestedAndSearched) {
    makeTree();
    ToolRun created = run({"-c", "out.vol", "-m", GetParam(), "tree"});
    EXPECT_EQ(created.err, "");
    EXPECT_EQ(created.exitCode, 0);
    // Folders and files by name, letter case aside; backslashes between folders.
    EXPECT_EQ(created.out, "out.vol\n"
                           "  art\\runs.bin\n"
                           "  deep\\a\\b\\c.dat\n"
                           "  docs\\prose.txt\n"
                           "  empty.txt\n"
                           "  readme.txt\n"
                           "  Zebra.TXT\n"
                           "6 entries written, 12689 bytes\n");

    ToolRun listed = run({"-l", "*", "out.vol"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.out.find("00000001"), std::string::npos);
    EXPECT_NE(listed.out.find("00000006"), std::string::npos);
    EXPECT_NE(listed.out.find("6 entries, 12689 bytes"), std::string::npos) << listed.out;

    ToolRun tested = run({"-t", "*", "out.vol"});
    EXPECT_EQ(tested.out, "6 entries tested, 0 failed\n");
    EXPECT_EQ(tested.exitCode, 0);

    std::filesystem::create_directories(scratch.path("back"));
    ToolRun extracted = run({"-x", "--no-manifest", "-C", "back", "*", "out.vol"});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_EQ(contentsOf("back"), contentsOf("tree"));

    // The search command finds the entries of a written volume like any other's.
    ToolRun searched = run({"*.TXT", "out.vol"});
    EXPECT_EQ(searched.out, "out.vol\n"
                            "  docs\\prose.txt\n"
                            "  empty.txt\n"
                            "  readme.txt\n"
                            "  Zebra.TXT\n");
    EXPECT_EQ(searched.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, CreateRoundTrip, ::testing::Values("stored", "rle", "lzh", "best"));

TEST_F(CreateTest, MethodsShowInTheListing) {
    file("runs.bin", runsBin());
    file("prose.txt", asText(lzhData("prose.txt")));
    file("random.bin", asText(lzhData("random.bin")));
    ASSERT_EQ(run({"-c", "best.vol", "-m", "best", "runs.bin", "prose.txt", "random.bin"}).exitCode, 0);
    std::string listing = run({"-l", "*", "best.vol"}).out;
    // Runs suit RLE, prose LZH, and noise is kept as it is.
    EXPECT_NE(listing.find("rle     runs.bin"), std::string::npos) << listing;
    EXPECT_NE(listing.find("lzh     prose.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("stored  random.bin"), std::string::npos) << listing;
}

TEST_F(CreateTest, IdsFromHexadecimalNamesOrNumberedInOrder) {
    file("ids/000000FF.dat", "255");
    file("ids/0000000a.DAT", "10");
    file("ids/FFFFFFFF", "no extension");
    file("ids/notes.txt", "no id");
    file("ids/000000FF0.dat", "nine digits");
    ASSERT_EQ(run({"-c", "ids.vol", "-i", "ids"}).exitCode, 0);
    EXPECT_EQ(run({"-l", "*", "ids.vol"}).out, "ids.vol\n"
                                               "  0000000A   2   2  stored  0000000a.DAT\n"
                                               "  000000FF   3   3  stored  000000FF.dat\n"
                                               "            11  11  stored  000000FF0.dat\n"
                                               "  FFFFFFFF  12  12  stored  FFFFFFFF\n"
                                               "             5   5  stored  notes.txt\n"
                                               "  5 entries, 33 bytes\n");
    ASSERT_EQ(run({"-c", "plain.vol", "ids"}).exitCode, 0);
    EXPECT_EQ(run({"-l", "*", "plain.vol"}).out, "plain.vol\n"
                                                 "  00000001   2   2  stored  0000000a.DAT\n"
                                                 "  00000002   3   3  stored  000000FF.dat\n"
                                                 "  00000003  11  11  stored  000000FF0.dat\n"
                                                 "  00000004  12  12  stored  FFFFFFFF\n"
                                                 "  00000005   5   5  stored  notes.txt\n"
                                                 "  5 entries, 33 bytes\n");
}

class AddTest : public CreateTest, public ::testing::WithParamInterface<VolumeBuilder::Variant> {};

TEST_P(AddTest, ReplacesInPlaceAndAddsAfter) {
    VolumeBuilder builder = allMethodsVolume();
    builder.add(0, "no id.txt", "kept as it was");
    volume("game.vol", builder, GetParam());
    file("new/README.TXT", "replaced text\n");
    file("new/added.txt", "added\n");
    ToolRun added = run({"-a", "game.vol", "-m", "lzh", "new/README.TXT", "new/added.txt"});
    EXPECT_EQ(added.err, "");
    EXPECT_EQ(added.exitCode, 0);
    EXPECT_EQ(added.out, "game.vol\n"
                         "  README.TXT (replaced)\n"
                         "  added.txt (added)\n"
                         "2 entries added or replaced, 20 bytes\n");
    fixture::Bytes after(std::filesystem::file_size(scratch.path("game.vol")));
    std::ifstream(scratch.path("game.vol"), std::ios::binary)
        .read(reinterpret_cast<char *>(after.data()), std::streamsize(after.size()));
    EXPECT_EQ(le::read32(after.data()),
              GetParam() == VolumeBuilder::Variant::PVOL ? le::tag("PVOL") : le::tag(" VOL"));

    // The replaced entry keeps its place and id; the new one takes the next id after the highest.
    ToolRun listed = run({"-l", "*", "game.vol"});
    EXPECT_EQ(listed.exitCode, 0);
    std::vector<std::string> names;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line.substr(0, 12) + "|" + line.substr(line.rfind(' ') + 1));
    ASSERT_EQ(names.size(), 8u) << listed.out;
    EXPECT_EQ(names[1], "  00000001  |README.TXT");
    EXPECT_EQ(names[3], "  00C0FFEE  |docs\\prose.txt");
    EXPECT_EQ(names[5], "            |id.txt");
    EXPECT_EQ(names[6], "  00C0FFEF  |added.txt");

    ASSERT_EQ(run({"-t", "*", "game.vol"}).out, "6 entries tested, 0 failed\n");
    std::filesystem::create_directories(scratch.path("out"));
    ASSERT_EQ(run({"-x", "-C", "out", "*", "game.vol"}).exitCode, 0);
    EXPECT_EQ(slurp(scratch.path("out/README.TXT")), "replaced text\n");
    EXPECT_EQ(slurp(scratch.path("out/added.txt")), "added\n");
    EXPECT_EQ(slurp(scratch.path("out/runs.bin")), runsBin());
    EXPECT_EQ(slurp(scratch.path("out/docs/prose.txt")), asText(lzhData("prose.txt")));
    EXPECT_EQ(slurp(scratch.path("out/no id.txt")), "kept as it was");
}

INSTANTIATE_TEST_SUITE_P(BothVariants, AddTest,
                         ::testing::Values(VolumeBuilder::Variant::PVOL, VolumeBuilder::Variant::OldVOL));

TEST_F(CreateTest, FailuresLeaveTheVolumeAsItWas) {
    volume("game.vol", allMethodsVolume());
    file("present.txt", "here");
    file("a/same.txt", "one");
    file("b/SAME.TXT", "two");
    file("ids/00000001.dat", "clash");
    file("other/00000001.txt", "clash");
    file("not.vol", "PVOL but nothing after");
    std::string before = slurp(scratch.path("game.vol"));
    std::string notVolume = slurp(scratch.path("not.vol"));
    const std::vector<std::string> files = scratchNames();

    struct Case {
        std::vector<std::string> arguments;
        const char *diagnostic;
    } cases[] = {
        {{"-a", "game.vol", "present.txt", "missing.txt"}, "missing.txt: cannot read: not found"},
        {{"-c", "game.vol", "present.txt", "missing.txt"}, "missing.txt: cannot read: not found"},
        {{"-c", "game.vol", "a/same.txt", "b/SAME.TXT"}, "same entry name as"},
        {{"-c", "game.vol", "-i", "ids", "other"}, "id 00000001 is also"},
        {{"-a", "not.vol", "present.txt"}, "not.vol: not a sound volume; nothing written"},
        {{"-a", "absent.vol", "present.txt"}, "absent.vol: cannot open; nothing written"},
    };
    for (const Case &c : cases) {
        ToolRun result = run(c.arguments);
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.diagnostic), std::string::npos) << result.err;
        EXPECT_EQ(slurp(scratch.path("game.vol")), before);
        EXPECT_EQ(slurp(scratch.path("not.vol")), notVolume);
        EXPECT_EQ(scratchNames(), files); // no temporary file left, no volume made
    }
}

TEST_F(CreateTest, UsageErrors) {
    file("a.txt", "a");
    for (std::vector<std::string> arguments :
         std::vector<std::vector<std::string>>{{"-c"},
                                               {"-c", "out.vol"},
                                               {"-a", "out.vol"},
                                               {"-c", "out.vol", "-m", "zip", "a.txt"},
                                               {"-c", "out.vol", "-m"},
                                               {"-m", "lzh", "-l", "*", "x.vol"},
                                               {"-i", "*", "x.vol"},
                                               {"-c", "out.vol", "-a", "in.vol", "a.txt"},
                                               {"-c", "out.vol", "-x", "a.txt"}}) {
        ToolRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments[0] << " " << arguments.size();
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(scratchNames(), std::vector<std::string>{"a.txt"});
}

} // namespace

} // namespace qarvex
