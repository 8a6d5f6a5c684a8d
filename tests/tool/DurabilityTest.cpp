// End-to-end: whatever happens to a writing run, every volume is the old one or the new one, whole,
// and no output file is partial under its real name. A run killed outright leaves at most a stale
// ".qarvex-*.part" file; an interrupted one removes its own and says so in its exit code; a full
// disk fails the command with nothing left behind.
#include "ToolRunner.h"

#ifndef _WIN32
#include <csignal>
#include <sys/mount.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

namespace qarvex {

using namespace toolrun;

namespace {

// Random bytes: nothing compresses them, and no two runs of a test share them.
fixture::Bytes noise(size_t size) {
    static std::mt19937 random{std::random_device{}()};
    fixture::Bytes bytes(size);
    for (uint8_t &byte : bytes)
        byte = uint8_t(random());
    return bytes;
}

class DurabilityTest : public ToolTest {
protected:
    // Starts the tool, sends it signalNumber after delay, and returns how it ended (waitpid status).
    int interrupt(const std::vector<std::string> &arguments, std::chrono::microseconds delay,
                  int signalNumber) {
        pid_t child = startTool(arguments, scratch.directory().string());
        std::this_thread::sleep_for(delay);
        ::kill(child, signalNumber);
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }

    // How long one run takes, at the least, so that signals can be sent during one.
    std::chrono::microseconds timeOf(const std::vector<std::string> &arguments) {
        auto begun = std::chrono::steady_clock::now();
        EXPECT_EQ(run(arguments).exitCode, 0);
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                     begun);
    }

    // Takes back what a run made: its output file, or the volume it changed.
    void undo(const std::string &made, const std::string &volumeBefore) {
        if (made != "v.vol")
            std::filesystem::remove(scratch.path(made));
        else if (slurp(scratch.path(made)) != volumeBefore)
            scratch.write(made, fixture::Bytes(volumeBefore.begin(), volumeBefore.end()));
    }

    // The entry names -l shows for volume, in its order.
    std::vector<std::string> entriesOf(const std::string &volume) {
        ToolRun listing = run({"-l", "*", volume});
        EXPECT_EQ(listing.exitCode, 0) << listing.err;
        std::vector<std::string> names;
        std::istringstream lines(listing.out);
        for (std::string line; std::getline(lines, line);) {
            size_t method = line.find("  stored  ");
            if (method != std::string::npos)
                names.push_back(line.substr(method + 10));
        }
        return names;
    }
};

TEST_F(DurabilityTest, AKilledAddLeavesTheOldOrTheNewVolumeWhole) {
    scratch.write("big.bin", noise(20 * 1000 * 1000));
    ASSERT_EQ(run({"-c", "v.vol", "big.bin"}).exitCode, 0);
    scratch.write("first.bin", noise(1000));
    std::chrono::microseconds took = timeOf({"-a", "v.vol", "first.bin"});
    std::vector<std::string> entries{"big.bin", "first.bin"};
    ASSERT_EQ(entriesOf("v.vol"), entries);

    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int64_t> moment(0, took.count() * 5 / 4);
    int killedMidway = 0, replaced = 0;
    for (int i = 0; i < 50; ++i) {
        std::string added = "extra" + std::to_string(i) + ".bin";
        scratch.write(added, noise(1000));
        int status = interrupt({"-a", "v.vol", added}, std::chrono::microseconds(moment(random)), SIGKILL);
        killedMidway += WIFSIGNALED(status);

        std::vector<std::string> now = entriesOf("v.vol");
        std::vector<std::string> grown = entries;
        grown.push_back(added);
        ASSERT_TRUE(now == entries || now == grown) << "run " << i << " left " << now.size() << " entries";
        replaced += now == grown;
        entries = now;
        ToolRun test = run({"-t", "*", "v.vol"});
        ASSERT_EQ(test.exitCode, 0) << "run " << i << ": " << test.err;

        // The only trace of a killed run is its temporary file, next to the volume.
        for (const auto &entry : std::filesystem::directory_iterator(scratch.directory())) {
            std::string name = entry.path().filename().string();
            if (isTemporary(name))
                std::filesystem::remove(entry.path());
            else
                EXPECT_TRUE(name == "v.vol" ||
                            (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0))
                    << name;
        }
    }
    // Both outcomes were seen, or the test did not test anything.
    EXPECT_GT(killedMidway, 0);
    EXPECT_GT(replaced, 0);
}

// The promise to an interrupted run: its temporary files are gone, and what it writes is the old
// file (or none) or the new one, whole. Caught while writing, before its rename, it leaves the old
// and says why it stopped; a signal after the rename (during the folder flush) may still end it
// with that code, the new file in place and whole.
TEST_F(DurabilityTest, AnInterruptedRunRemovesItsTemporaryFiles) {
    scratch.write("big.bin", noise(20 * 1000 * 1000));
    ASSERT_EQ(run({"-c", "v.vol", "big.bin"}).exitCode, 0);
    scratch.write("small.bin", noise(100));
    std::filesystem::create_directories(scratch.path("out"));
    std::string volumeBefore = slurp(scratch.path("v.vol"));
    struct Command {
        std::vector<std::string> arguments;
        std::string made; // the file a run writes: absent (or the old volume) before, whole after
    } commands[] = {
        {{"-c", "new.vol", "big.bin"}, "new.vol"},
        {{"-a", "v.vol", "small.bin"}, "v.vol"},
        // Without the manifest, whose temporary would come after the file's rename.
        {{"-x", "-f", "--no-manifest", "-C", "out", "*", "v.vol"}, "out/big.bin"},
    };
    for (const Command &command : commands) {
        ASSERT_EQ(run(command.arguments).exitCode, 0);
        const std::string whole = slurp(scratch.path(command.made));
        const std::string before = command.made == "v.vol" ? volumeBefore : "";
        const std::string &name = command.arguments[0];
        undo(command.made, volumeBefore);
        for (auto [signalNumber, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
            int caught = 0;
            for (int attempt = 0; attempt < 10 && caught == 0; ++attempt) {
                int status = whileWriting(command.arguments, scratch.directory(),
                                          [&](pid_t child) { ::kill(child, signalNumber); });
                EXPECT_EQ(temporariesBelow(scratch.directory()), std::vector<std::string>{}) << name;
                std::string made = slurp(scratch.path(command.made));
                if (status != -1) {
                    ++caught;
                    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == exitCode) << name;
                    EXPECT_TRUE(made == before) << name << ": " << made.size() << " bytes";
                } else {
                    EXPECT_TRUE(made == whole || made == before) << name << ": " << made.size() << " bytes";
                }
                undo(command.made, volumeBefore);
            }
            EXPECT_GT(caught, 0) << name << " never caught writing by signal " << signalNumber;
        }
    }
}

// A small file system of its own, filled up: mounting needs the right to (root in CI).
class FullDiskTest : public DurabilityTest {
protected:
    void SetUp() override {
        disk = scratch.path("disk");
        std::filesystem::create_directories(disk);
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            ::umount(disk.c_str());
    }
    std::string disk;
    bool mounted = false;
};

TEST_F(FullDiskTest, WritingCommandsFailCleanly) {
    scratch.write("big.bin", noise(2 * 1000 * 1000));
    scratch.write("half.bin", noise(600 * 1000));
    scratch.write("small.bin", noise(1000));

    ToolRun result = run({"-c", "disk/new.vol", "big.bin"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qarvex: disk/new.vol: cannot write: disk full; nothing written\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(treeOf(disk), "");

    // A volume that fits, then one more entry that does not: the volume stays as it was.
    ASSERT_EQ(run({"-c", "disk/v.vol", "half.bin", "small.bin"}).exitCode, 0);
    std::string before = slurp(disk + "/v.vol");
    result = run({"-a", "disk/v.vol", "big.bin"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qarvex: disk/v.vol: cannot write: disk full; nothing written\n");
    EXPECT_TRUE(slurp(disk + "/v.vol") == before);
    EXPECT_EQ(entriesOf("disk/v.vol"), (std::vector<std::string>{"half.bin", "small.bin"}));
    EXPECT_EQ(run({"-t", "*", "disk/v.vol"}).exitCode, 0);

    // Extraction onto the full disk: the entry that fits comes out, the other fails, no part of it.
    ASSERT_EQ(run({"-c", "out.vol", "big.bin", "small.bin"}).exitCode, 0);
    std::filesystem::create_directories(disk + "/out");
    result = run({"-x", "-C", "disk/out", "*", "out.vol"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qarvex: out.vol: big.bin: cannot write: disk full\n");
    EXPECT_EQ(result.out, "out.vol\n  small.bin\n1 entry extracted, 1000 bytes, 1 failed\n");
    EXPECT_EQ(treeOf(disk), "out/\nout/small.bin 1000\nv.vol " + std::to_string(before.size()) + "\n");
}

} // namespace

} // namespace qarvex
#endif
