// End-to-end: qarvex -u. A folder extracted with -x and put back unedited leaves the volume as it
// was, with or without the manifest; an edited file replaces its entry, coded as before, and new
// files are added after the last entry; --dry-run and failures leave the volume untouched.
#include "ToolRunner.h"

namespace qarvex {

using namespace toolrun;

namespace {

struct Variant {
    const char *name;
    VolumeBuilder::Variant variant;
    bool manifest;
};

class UpdateTest : public ToolTest, public ::testing::WithParamInterface<Variant> {
protected:
    // The shared volume of every method, extracted into out/.
    void extractAll() {
        volume("a.vol", allMethodsVolume(), GetParam().variant);
        std::filesystem::create_directories(scratch.path("out"));
        std::vector<std::string> arguments{"-x", "-C", "out", "*", "a.vol"};
        if (!GetParam().manifest)
            arguments.insert(arguments.begin() + 1, "--no-manifest");
        ToolRun extracted = run(arguments);
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        EXPECT_EQ(std::filesystem::exists(scratch.path("out/.qarvex-manifest")), GetParam().manifest);
    }
    std::string volumeBytes() { return slurp(scratch.path("a.vol")); }
    void edit(const std::string &name, const std::string &text) {
        scratch.write(name, fixture::Bytes(text.begin(), text.end()));
    }
};

TEST_P(UpdateTest, NothingEditedLeavesTheVolumeAsItWas) {
    extractAll();
    std::string before = volumeBytes();
    ToolRun updated = run({"-u", "a.vol", "-C", "out"});
    EXPECT_EQ(updated.err, "");
    EXPECT_EQ(updated.exitCode, 0);
    EXPECT_EQ(updated.out, "a.vol\n0 entries replaced, 0 added, 5 kept\n");
    EXPECT_EQ(volumeBytes(), before);
}

TEST_P(UpdateTest, AnEditedEntryIsCodedAgainWithItsOwnMethodAndTheRestKeptAsStored) {
    extractAll();
    std::string before = volumeBytes();
    std::string prose = asText(lzhData("prose.txt")) + "One more line.\n";
    edit("out/docs/prose.txt", prose);
    edit("out/extra.txt", "new");

    ToolRun dry = run({"-u", "a.vol", "-C", "out", "--dry-run"});
    EXPECT_EQ(dry.out, "a.vol\n"
                       "  docs\\prose.txt (replaced)\n"
                       "  extra.txt (added)\n"
                       "1 entry replaced, 1 added, 4 kept (dry run: nothing written)\n");
    EXPECT_EQ(dry.exitCode, 0);
    EXPECT_EQ(volumeBytes(), before);

    // The same update as JSON, then undone: the volume and the manifest as they were.
    std::string manifest = slurp(scratch.path("out/.qarvex-manifest"));
    ToolRun updated = run({"--json", "-u", "a.vol", "-C", "out"});
    EXPECT_EQ(updated.err, "");
    // Kept entries are written from the old volume as they were stored.
    EXPECT_NE(
        updated.out.find(R"("name":"runs.bin","size":300,"stored_size":10,"method":"rle","action":"kept")"),
        std::string::npos)
        << updated.out;
    scratch.write("a.vol", fixture::Bytes(before.begin(), before.end()));
    if (GetParam().manifest)
        scratch.write("out/.qarvex-manifest", fixture::Bytes(manifest.begin(), manifest.end()));
    updated = run({"-u", "a.vol", "-C", "out"});
    EXPECT_EQ(updated.err, "");
    EXPECT_EQ(updated.out, "a.vol\n"
                           "  docs\\prose.txt (replaced)\n"
                           "  extra.txt (added)\n"
                           "1 entry replaced, 1 added, 4 kept\n");
    // Order, ids and methods stay; the new file comes last with the id after the highest.
    ToolRun listed = run({"-l", "*", "a.vol"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.out.find("00C0FFEE"), std::string::npos);
    EXPECT_NE(listed.out.find(std::to_string(prose.size())), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("lzh     docs\\prose.txt"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("rle     runs.bin"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("00C0FFEF"), std::string::npos) << listed.out;
    EXPECT_GT(listed.out.find("extra.txt"), listed.out.find("NODOT"));
    ToolRun tested = run({"-t", "*", "a.vol"});
    EXPECT_EQ(tested.out, "5 entries tested, 0 failed\n"); // the nameless entry is no match for "*"

    std::filesystem::create_directories(scratch.path("back"));
    ASSERT_EQ(run({"-x", "-C", "back", "*", "a.vol"}).exitCode, 0);
    EXPECT_EQ(slurp(scratch.path("back/docs/prose.txt")), prose);
    EXPECT_EQ(slurp(scratch.path("back/runs.bin")), runsBin());
    EXPECT_EQ(slurp(scratch.path("back/extra.txt")), "new");

    // The folder and the volume agree again.
    EXPECT_EQ(run({"-u", "a.vol", "-C", "out"}).out, "a.vol\n0 entries replaced, 0 added, 6 kept\n");
}

TEST_P(UpdateTest, MissingFilesKeepTheirEntriesAndNoAddLeavesNewFilesOut) {
    extractAll();
    std::filesystem::remove(scratch.path("out/readme.txt"));
    edit("out/extra.txt", "new");
    edit("out/runs.bin", "short now");
    ToolRun updated = run({"-u", "a.vol", "-C", "out", "--no-add", "-m", "stored"});
    EXPECT_EQ(updated.out, "a.vol\n  runs.bin (replaced)\n1 entry replaced, 0 added, 4 kept\n");
    ToolRun listed = run({"-l", "*", "a.vol"});
    EXPECT_NE(listed.out.find("readme.txt"), std::string::npos);
    EXPECT_EQ(listed.out.find("extra.txt"), std::string::npos);
    EXPECT_NE(listed.out.find("stored  runs.bin"), std::string::npos)
        << listed.out; // -m over the entry's own
}

INSTANTIATE_TEST_SUITE_P(Variants, UpdateTest,
                         ::testing::Values(Variant{"PvolManifest", VolumeBuilder::Variant::PVOL, true},
                                           Variant{"PvolDecoded", VolumeBuilder::Variant::PVOL, false},
                                           Variant{"OldVolManifest", VolumeBuilder::Variant::OldVOL, true},
                                           Variant{"OldVolDecoded", VolumeBuilder::Variant::OldVOL, false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ToolTest, UpdateFailuresLeaveTheVolumeUntouched) {
    // An entry whose data lies outside the file cannot be copied: nothing is written at all.
    std::vector<uint8_t> damaged = allMethodsVolume().build(VolumeBuilder::Variant::PVOL);
    pointOutsideTheFile(damaged, 1);
    scratch.write("a.vol", damaged);
    scratch.write("out/readme.txt", fixture::text("edited"));
    ToolRun updated = run({"-u", "a.vol", "-C", "out"});
    EXPECT_EQ(updated.exitCode, 1);
    EXPECT_EQ(updated.out, "");
    EXPECT_EQ(updated.err, "qarvex: a.vol: runs.bin: data outside the file\n"
                           "qarvex: a.vol: nothing written\n");
    EXPECT_EQ(slurp(scratch.path("a.vol")), std::string(damaged.begin(), damaged.end()));

    ToolRun missing = run({"-u", "none.vol", "-C", "out"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "qarvex: none.vol: cannot open; nothing written\n");
}

} // namespace

} // namespace qarvex
