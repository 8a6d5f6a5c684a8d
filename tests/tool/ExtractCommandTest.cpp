// End-to-end: qarvex -x. Entries come out decoded, with backslashes as folders; hostile names and
// symbolic links never lead outside the target folder; existing files stay without -f; and an
// entry that does not decode whole leaves no file behind, under its name or any other.
#include "ToolRunner.h"

namespace qarvex {

using namespace toolrun;

namespace {

class ExtractTest : public ToolTest {
protected:
    // The target folder "out" in the scratch folder, made empty.
    std::string target() {
        std::filesystem::create_directories(scratch.path("out"));
        return scratch.path("out");
    }
    std::string extracted(const std::string &name) { return slurp(scratch.path("out/" + name)); }
};

class RoundTripTest : public ExtractTest, public ::testing::WithParamInterface<VolumeBuilder::Variant> {};

TEST_P(RoundTripTest, BytesAndFolderLayout) {
    VolumeBuilder builder = allMethodsVolume();
    builder.add(2, "docs\\img\\logo.pbm", "PBMP");
    builder.add(3, "empty.txt", "");
    builder.add(4, ".\\docs\\\\notes.txt", "dot and doubled separator");
    volume("all.vol", builder, GetParam());
    ToolRun result = run({"-x", "-C", target(), "*", "all.vol"});
    EXPECT_EQ(result.out, "all.vol\n"
                          "  readme.txt\n"
                          "  runs.bin\n"
                          "  docs\\prose.txt\n"
                          "  NODOT\n"
                          "  docs\\img\\logo.pbm\n"
                          "  empty.txt\n"
                          "  .\\docs\\\\notes.txt\n"
                          "7 entries extracted, 11703 bytes\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(treeOf(scratch.path("out")), "NODOT 1\n"
                                           "docs/\n"
                                           "docs/img/\n"
                                           "docs/img/logo.pbm 4\n"
                                           "docs/notes.txt 25\n"
                                           "docs/prose.txt 11358\n"
                                           "empty.txt 0\n"
                                           "readme.txt 15\n"
                                           "runs.bin 300\n");
    EXPECT_EQ(extracted("readme.txt"), "Hello, volume!\n");
    EXPECT_EQ(extracted("runs.bin"), runsBin());
    EXPECT_EQ(extracted("docs/prose.txt"), asText(lzhData("prose.txt")));
    EXPECT_EQ(extracted("docs/img/logo.pbm"), "PBMP");
}

INSTANTIATE_TEST_SUITE_P(BothVariants, RoundTripTest,
                         ::testing::Values(VolumeBuilder::Variant::PVOL, VolumeBuilder::Variant::OldVOL));

TEST_F(ExtractTest, IntoTheCurrentFolderByDefault) {
    volume("all.vol", allMethodsVolume());
    // Options grouped, and the folder attached to -C, read the same as apart.
    ToolRun result = run({"-x", "README.TXT", "all.vol"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(slurp(scratch.path("readme.txt")), "Hello, volume!\n");
    target();
    result = run({"-fxCout", "*.bin", "all.vol"});
    EXPECT_EQ(result.out, "all.vol\n  runs.bin\n1 entry extracted, 300 bytes\n");
    EXPECT_EQ(treeOf(scratch.path("out")), "runs.bin 300\n");
}

TEST_F(ExtractTest, ExistingFilesStayWithoutForce) {
    volume("all.vol", allMethodsVolume());
    scratch.write("out/readme.txt", fixture::text("mine"));
    ToolRun result = run({"-x", "-C", target(), "*.*", "all.vol"});
    EXPECT_EQ(result.err, "qarvex: all.vol: readme.txt: exists; not replaced without -f\n");
    EXPECT_EQ(result.out,
              "all.vol\n  runs.bin\n  docs\\prose.txt\n2 entries extracted, 11658 bytes, 1 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(extracted("readme.txt"), "mine");

    result = run({"-x", "-f", "-C", target(), "*.*", "all.vol"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(extracted("readme.txt"), "Hello, volume!\n");
}

TEST_F(ExtractTest, HostileNamesAreRefusedAndNothingIsWritten) {
    struct Case {
        const char *name;
        const char *why;
    } cases[] = {
        {"..\\..\\x", "'..' in the name"},
        {"a\\..\\..\\x", "'..' in the name"},
        {"a/../x", "'..' in the name"},
        {"..", "'..' in the name"},
        {"/etc/x", "absolute name"},
        {"\\x", "absolute name"},
        {"\\\\server\\share\\x", "absolute name"},
        {"C:\\x", "drive letter"},
        {"c:x", "drive letter"},
        {"a\\b:stream", "':' in the name"},
        {"folder\\", "no file name"},
        {"folder\\.", "no file name"},
    };
    VolumeBuilder builder;
    std::string expectedErr;
    for (const Case &c : cases) {
        builder.add(0, c.name, "hostile");
        expectedErr += std::string("qarvex: h.vol: ") + c.name + ": refused: " + c.why + "\n";
    }
    builder.add(0, "fine.txt", "fine");
    volume("h.vol", builder);
    std::filesystem::create_directories(scratch.path("work/out"));
    ToolRun result = run({"-x", "-f", "-C", "work/out", "*", "h.vol"});
    EXPECT_EQ(result.err, expectedErr);
    EXPECT_EQ(result.out, "h.vol\n  fine.txt\n1 entry extracted, 4 bytes, 12 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.directory()),
              "h.vol " + std::to_string(std::filesystem::file_size(scratch.path("h.vol"))) +
                  "\nwork/\nwork/out/\nwork/out/fine.txt 4\n");
    EXPECT_FALSE(std::filesystem::exists("/etc/x"));
}

#ifndef _WIN32
TEST_F(ExtractTest, SymbolicLinksInTheTargetAreNeverFollowed) {
    scratch.write("outside/victim.txt", fixture::text("precious"));
    std::filesystem::create_directories(scratch.path("out"));
    std::filesystem::create_directory_symlink("../outside", scratch.path("out/link"));
    std::filesystem::create_symlink("../outside/victim.txt", scratch.path("out/evil.txt"));
    std::filesystem::create_symlink("../outside/new.txt", scratch.path("out/dangling"));
    VolumeBuilder builder;
    builder.add(1, "link\\x.txt", "through the link");
    builder.add(2, "LINK\\..\\link\\victim.txt", "refused before the link is reached");
    builder.add(3, "link\\deeper\\victim.txt", "through the link");
    builder.add(4, "evil.txt", "over the link");
    builder.add(5, "dangling", "through the dangling link");
    volume("v.vol", builder);
    const std::string outside = "victim.txt 8\n";
    const std::string links =
        "dangling -> ../outside/new.txt\nevil.txt -> ../outside/victim.txt\nlink -> ../outside\n";

    ToolRun result = run({"-x", "-C", "out", "*", "v.vol"});
    EXPECT_EQ(result.err,
              "qarvex: v.vol: link\\x.txt: cannot make folder link: a symbolic link is in the way\n"
              "qarvex: v.vol: LINK\\..\\link\\victim.txt: refused: '..' in the name\n"
              "qarvex: v.vol: link\\deeper\\victim.txt: cannot make folder link: a symbolic link is in "
              "the way\n"
              "qarvex: v.vol: evil.txt: exists; not replaced without -f\n"
              "qarvex: v.vol: dangling: exists; not replaced without -f\n");
    EXPECT_EQ(result.out, "0 entries extracted, 0 bytes, 5 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("outside")), outside);
    EXPECT_EQ(treeOf(scratch.path("out")), links);

    // With -f a link at an entry's own name is replaced itself; what it pointed to stays as it was.
    result = run({"-x", "-f", "-C", "out", "*", "v.vol"});
    EXPECT_EQ(result.out, "v.vol\n  evil.txt\n  dangling\n2 entries extracted, 38 bytes, 3 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("outside")), outside);
    EXPECT_EQ(slurp(scratch.path("outside/victim.txt")), "precious");
    EXPECT_EQ(treeOf(scratch.path("out")), "dangling 25\nevil.txt 13\nlink -> ../outside\n");
}
#endif

TEST_F(ExtractTest, AFailedEntryLeavesNoFile) {
    Damaged damaged = damagedVolume();
    scratch.write("bad.vol", damaged.bytes);
    std::string expectedErr;
    for (const std::string &report : damaged.reports)
        expectedErr += "qarvex: bad.vol: " + report + "\n";
    ToolRun result = run({"-x", "-C", target(), "*", "bad.vol"});
    EXPECT_EQ(result.err, expectedErr);
    EXPECT_EQ(result.out, "bad.vol\n  good.txt\n1 entry extracted, 4 bytes, 6 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("out")), "good.txt 4\n"); // no partial file, no temporary file

    // Nor does a failed entry replace a file of its name, even with -f.
    scratch.write("out/cut.txt", fixture::text("old"));
    scratch.write("out/short.bin", fixture::text("old"));
    result = run({"-x", "-f", "-C", target(), "*", "bad.vol"});
    EXPECT_EQ(result.err, expectedErr);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("out")), "cut.txt 3\ngood.txt 4\nshort.bin 3\n");
}

TEST_F(ExtractTest, UnusableTargetFolder) {
    volume("all.vol", allMethodsVolume());
    scratch.write("file", fixture::text("not a folder"));
    for (const char *folder : {"nowhere", "file"}) {
        ToolRun result = run({"-x", "-C", folder, "*", "all.vol"});
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string("qarvex: ") + folder + ": cannot extract there: " +
                                  (folder[0] == 'n' ? "not found" : "not a folder") + "\n");
        EXPECT_EQ(result.exitCode, 1);
    }
}

} // namespace

} // namespace qarvex
