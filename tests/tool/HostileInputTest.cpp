// End-to-end: inputs made to hurt. Entries that claim gigabytes, names too long for any file
// system, a volume named twice, pipes and devices where a volume is expected, and a volume cut
// short by another program while it is read: each gets a clear report, never a hang, a crash or a
// partial file.
#include "ToolRunner.h"

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#endif

#include <chrono>
#include <random>
#include <thread>

namespace qarvex {

using namespace toolrun;

namespace {

class HostileInputTest : public ToolTest {
protected:
    std::string target() {
        std::filesystem::create_directories(scratch.path("out"));
        return "out";
    }
};

TEST_F(HostileInputTest, EntriesClaimingGigabytesAreReportedWithoutBeingRead) {
    VolumeBuilder builder;
    builder.addCoded(1, "stored.bin", 0x7FFFFFF0, 0, fixture::text("tiny"));
    builder.addCoded(2, "runs.bin", 0x7FFFFFF0, 1, rle({repeat(100, 'r')}));
    builder.addCoded(3, "coded.txt", 0x7FFFFFF0, 3, lzhData("prose.lzh"));
    volume("huge.vol", builder);
    const std::vector<std::string> reports{"stored.bin: damaged: data ends before its 2147483632 bytes",
                                           "runs.bin: damaged: data ends before its 2147483632 bytes",
                                           "coded.txt: damaged: data ends before its 2147483632 bytes"};
    std::string tested = "huge.vol\n", damaged;
    for (const std::string &report : reports) {
        tested += "  " + report + "\n";
        damaged += "qarvex: huge.vol: " + report + "\n";
    }

    ToolRun result = run({"-t", "*", "huge.vol"});
    EXPECT_EQ(result.out, tested + "3 entries tested, 3 failed\n");
    EXPECT_EQ(result.exitCode, 1);

    result = run({"-x", "-C", target(), "*", "huge.vol"});
    EXPECT_EQ(result.err, damaged);
    EXPECT_EQ(result.out, "0 entries extracted, 0 bytes, 3 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("out")), "");
}

TEST_F(HostileInputTest, AVolumeNamedTwiceIsExtractedOnce) {
    volume("v.vol", allMethodsVolume());
    ToolRun result = run({"-x", "-C", target(), "*", "v.vol", "./v.vol", "*.vol"});
    EXPECT_EQ(result.err,
              "qarvex: ./v.vol: named before; extracted once\nqarvex: v.vol: named before; extracted once\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(treeOf(scratch.path("out")),
              "NODOT 1\ndocs/\ndocs/prose.txt 11358\nreadme.txt 15\nruns.bin 300\n");
}

TEST_F(HostileInputTest, NamesTooLongForTheFileSystemFailAlone) {
    const std::string longName(300, 'n');
    VolumeBuilder builder;
    builder.add(1, longName.c_str(), "long file name");
    builder.add(2, (longName + "\\inside.txt").c_str(), "long folder name");
    builder.add(3, "fine.txt", "fine");
    volume("long.vol", builder);
    ToolRun result = run({"-x", "-C", target(), "*", "long.vol"});
#ifdef _WIN32
    // Windows and Wine each give a reason of their own for a name past their limit.
    EXPECT_NE(result.err.find("qarvex: long.vol: " + longName + ": cannot create: "), std::string::npos);
    EXPECT_NE(result.err.find("qarvex: long.vol: " + longName + "\\inside.txt: cannot make folder " +
                              longName + ": "),
              std::string::npos);
#else
    EXPECT_EQ(result.err, "qarvex: long.vol: " + longName + ": cannot create: name too long\n" +
                              "qarvex: long.vol: " + longName + "\\inside.txt: cannot make folder " +
                              longName + ": name too long\n");
#endif
    EXPECT_EQ(result.out, "long.vol\n  fine.txt\n1 entry extracted, 4 bytes, 2 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("out")), "fine.txt 4\n");
}

TEST_F(HostileInputTest, NamesWindowsCannotHoldAreRefusedThereAndRenamedOnRequest) {
    VolumeBuilder builder;
    builder.add(1, "CON.txt", "device");
    builder.add(2, "aux\\notes.txt", "device folder");
    builder.add(3, "trailing. ", "trailing");
    builder.add(4, "what?.txt", "character");
    builder.add(5, "fine.txt", "fine");
    volume("win.vol", builder);
    const std::vector<std::string> troubled{
        "CON.txt: a device name on Windows", "aux\\notes.txt: a device name on Windows",
        "trailing. : a name ending in a dot or a space, which Windows drops",
        "what?.txt: a character Windows does not allow in a name"};
    std::string err;
    for (const std::string &line : troubled)
#ifdef _WIN32
        err += "qarvex: win.vol: " + line.substr(0, line.find(": ") + 2) +
               "refused: " + line.substr(line.find(": ") + 2) + " (--portable-names renames it)\n";
#else
        err += "qarvex: win.vol: " + line + " (--portable-names renames it)\n";
#endif
    ToolRun result = run({"-x", "-C", target(), "*", "win.vol"});
    EXPECT_EQ(result.err, err);
#ifdef _WIN32
    EXPECT_EQ(result.out, "win.vol\n  fine.txt\n1 entry extracted, 4 bytes, 4 failed\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(treeOf(scratch.path("out")), "fine.txt 4\n");
#else
    // Written as they are here, where they are good names; the warning tells what Windows would do.
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(treeOf(scratch.path("out")),
              "CON.txt 6\naux/\naux/notes.txt 13\nfine.txt 4\ntrailing.  8\nwhat?.txt 9\n");
#endif
    std::filesystem::remove_all(scratch.path("out"));

    // Renamed, the same files come out on every system.
    result = run({"-x", "--portable-names", "-C", target(), "*", "win.vol"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "win.vol\n  CON.txt (as CON_.txt)\n  aux\\notes.txt (as aux_\\notes.txt)\n"
                          "  trailing.  (as trailing__)\n  what?.txt (as what_.txt)\n  fine.txt\n"
                          "5 entries extracted, 40 bytes\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(treeOf(scratch.path("out")),
              "CON_.txt 6\naux_/\naux_/notes.txt 13\nfine.txt 4\ntrailing__ 8\nwhat_.txt 9\n");
}

TEST_F(HostileInputTest, PicturesFollowTheirEntrysPortableName) {
    ASSERT_EQ(
        runTool({"-x", "-C", scratch.directory().string(), "title.pbm", "graphics.vol"}, QARVEX_EXAMPLES_DIR)
            .exitCode,
        0);
    std::string bitmap = slurp(scratch.path("title.pbm"));
    VolumeBuilder builder;
    builder.add(1, "CON.pbm", bitmap);
    builder.add(2, "aux\\t.pbm", bitmap);
    volume("win.vol", builder);
    ToolRun result = run({"-x", "--png", "--portable-names", "--json", "-C", target(), "*", "win.vol"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::string tree = treeOf(scratch.path("out"));
    for (const char *made : {"CON_.pbm ", "CON_.pbm.png ", "aux_/t.pbm ", "aux_/t.pbm.png "})
        EXPECT_NE(tree.find(made), std::string::npos) << made << " not in\n" << tree;
    EXPECT_EQ(tree.find("CON.pbm"), std::string::npos) << tree;
    EXPECT_EQ(tree.find("aux/"), std::string::npos) << tree;
    // The document names the files as they were written.
    for (const char *named : {"CON_.pbm\"", "CON_.pbm.png\"", "t.pbm.png\""})
        EXPECT_NE(result.out.find(named), std::string::npos) << named << " not in " << result.out;
    EXPECT_EQ(result.out.find("CON.pbm.png"), std::string::npos) << result.out;
    // No path written under the unchanged folder name; the entry's own name (which on Windows holds
    // the system's separator) is reported as it is stored.
    std::string separator = platform::PathSeparator == '\\' ? "\\\\" : "/";
    EXPECT_EQ(result.out.find("out" + separator + "aux" + separator), std::string::npos) << result.out;
}

TEST_F(HostileInputTest, NamesDifferingOnlyInCaseNeverReplaceEachOther) {
    VolumeBuilder builder;
    builder.add(1, "Docs\\Read.me", "first");
    builder.add(2, "DOCS\\READ.ME", "second!");
    volume("case.vol", builder);
    // Whether this file system tells case apart decides what a correct run does.
    scratch.write("probe", fixture::text("p"));
    bool foldsCase = std::filesystem::exists(scratch.path("PROBE"));
    for (const char *force : {"-x", "-xf"}) {
        std::filesystem::remove_all(scratch.path("out"));
        ToolRun result = run({force, "-C", target(), "*", "case.vol"});
        if (foldsCase) {
            EXPECT_EQ(result.err,
                      "qarvex: case.vol: DOCS\\READ.ME: would replace Docs\\Read.me, extracted before: "
                      "the names differ only in letter case\n");
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(slurp(scratch.path("out/Docs/Read.me")), "first");
        } else {
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(treeOf(scratch.path("out")), "DOCS/\nDOCS/READ.ME 7\nDocs/\nDocs/Read.me 5\n");
        }
    }
}

#ifndef _WIN32
TEST_F(HostileInputTest, APathLongerThanTheSystemLimitIsStillWrittenFolderByFolder) {
    // 40 folders of 200 letters: 8000 characters, past PATH_MAX, while each name is fine.
    std::string name, folders;
    for (int i = 0; i < 40; ++i) {
        name += std::string(200, char('a' + i % 26)) + "\\";
        folders += std::string(200, char('a' + i % 26)) + "/";
    }
    name += "deep.txt";
    VolumeBuilder builder;
    builder.add(1, name.c_str(), "deep");
    volume("deep.vol", builder);
    ToolRun result = run({"-x", "-C", target(), "*", "deep.vol"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "deep.vol\n  " + name + "\n1 entry extracted, 4 bytes\n");
    // Checked by walking down, since the whole path is too long to name at once.
    std::filesystem::path at = scratch.path("out");
    std::error_code error;
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(at, error), {}), 41);
}

// Waits for the child, at most seconds; false (and the child killed) when it is still running.
bool endsWithin(pid_t child, int seconds, int &status) {
    for (int waited = 0; waited < seconds * 100; ++waited) {
        if (::waitpid(child, &status, WNOHANG) == child)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

TEST_F(HostileInputTest, PipesAndDevicesAreNeverReadAsVolumes) {
    ASSERT_EQ(::mkfifo(scratch.path("pipe.vol").c_str(), 0644), 0);
    scratch.write("small.bin", fixture::text("small"));
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;
    } cases[] = {
        {{"-l", "*", "pipe.vol"}, 1, "qarvex: pipe.vol: no matching file\n"},
        {{"-t", "*", "/dev/zero"}, 1, "qarvex: /dev/zero: no matching file\n"},
        {{"-x", "-C", "out", "*", "/dev/null"}, 1, "qarvex: /dev/null: no matching file\n"},
        {{"-a", "pipe.vol", "small.bin"}, 1, "qarvex: pipe.vol: cannot open; nothing written\n"},
        {{"-c", "new.vol", "pipe.vol"},
         1,
         "qarvex: pipe.vol: cannot read: not a plain file\nqarvex: new.vol: nothing written\n"},
    };
    target();
    for (const Case &c : cases) {
        // Nobody ever writes to the pipe: a run that opened it the ordinary way would never end.
        int status = 0;
        ASSERT_TRUE(endsWithin(startTool(c.arguments, scratch.directory().string()), 10, status))
            << c.arguments[0] << " " << c.arguments.back() << " hangs";
        ToolRun result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back();
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(scratch.path("new.vol")));
    EXPECT_EQ(treeOf(scratch.path("out")), "");
}

TEST_F(HostileInputTest, AVolumeCutShortWhileReadIsReportedNotCrashedOn) {
    fixture::Bytes big(20 * 1000 * 1000);
    std::mt19937 random{std::random_device{}()};
    for (uint8_t &byte : big)
        byte = uint8_t(random());
    scratch.write("big.bin", big);
    ASSERT_EQ(run({"-c", "whole.vol", "big.bin"}).exitCode, 0);
    const std::string whole = slurp(scratch.path("whole.vol"));
    target();
    auto begun = std::chrono::steady_clock::now();
    ASSERT_EQ(run({"-x", "-C", "out", "*", "whole.vol"}).exitCode, 0);
    auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begun);
    std::filesystem::remove(scratch.path("out/big.bin"));

    std::uniform_int_distribution<int64_t> moment(0, took.count());
    int cut = 0;
    for (int i = 0; i < 6; ++i) {
        for (const char *command : {"-x", "-t", "-a"}) {
            scratch.write("v.vol", fixture::Bytes(whole.begin(), whole.end()));
            std::vector<std::string> arguments{command, "*", "v.vol"};
            if (command[1] == 'x')
                arguments = {"-x", "-C", "out", "*", "v.vol"};
            if (command[1] == 'a')
                arguments = {"-a", "v.vol", "big.bin"}; // a replaced entry: the volume is copied
            pid_t child = startTool(arguments, scratch.directory().string());
            std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
            std::filesystem::resize_file(scratch.path("v.vol"), 5000);
            int status = 0;
            ::waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status)) << command << " died of signal " << WTERMSIG(status);
            cut += WEXITSTATUS(status) == 1;
            // Nothing half-read is kept: the extracted file is whole or absent, and -a, if it
            // finished before the cut, wrote a whole volume that was cut afterwards.
            if (command[1] == 'x' && std::filesystem::exists(scratch.path("out/big.bin"))) {
                EXPECT_TRUE(slurp(scratch.path("out/big.bin")) == std::string(big.begin(), big.end()));
                std::filesystem::remove(scratch.path("out/big.bin"));
            }
            EXPECT_EQ(treeOf(scratch.path("out")), "");
        }
    }
    EXPECT_GT(cut, 0);
}

// -u copies the entries it keeps from the old volume's view into the new one: a volume cut while
// that goes on must not be replaced by a copy holding zeros where the cut part was.
TEST_F(HostileInputTest, AVolumeCutWhileUpdatedIsNotReplaced) {
    fixture::Bytes big(20 * 1000 * 1000);
    std::mt19937 random{std::random_device{}()};
    for (uint8_t &byte : big)
        byte = uint8_t(random());
    scratch.write("big.bin", big);
    ASSERT_EQ(run({"-c", "v.vol", "big.bin"}).exitCode, 0);
    const std::string whole = slurp(scratch.path("v.vol"));
    ASSERT_EQ(run({"-x", "-C", target(), "*", "v.vol"}).exitCode, 0);
    scratch.write("out/new.txt", fixture::text("an entry to add"));
    int cut = 0;
    for (int attempt = 0; attempt < 10 && cut == 0; ++attempt) {
        scratch.write("v.vol", fixture::Bytes(whole.begin(), whole.end()));
        int status = whileWriting({"-u", "v.vol", "-C", "out"}, scratch.directory(),
                                  [&](pid_t) { std::filesystem::resize_file(scratch.path("v.vol"), 5000); });
        EXPECT_EQ(temporariesBelow(scratch.directory()), std::vector<std::string>{});
        if (status == -1)
            continue; // not caught before its rename
        ASSERT_TRUE(WIFEXITED(status)) << "died of signal " << WTERMSIG(status);
        if (WEXITSTATUS(status) == 0) {
            // Everything was copied before the cut: the new volume is whole.
            EXPECT_EQ(run({"-t", "*", "v.vol"}).exitCode, 0);
            continue;
        }
        ++cut;
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(std::filesystem::file_size(scratch.path("v.vol")), 5000u); // the cut file, not replaced
    }
    EXPECT_GT(cut, 0);
}
#endif

} // namespace

} // namespace qarvex
