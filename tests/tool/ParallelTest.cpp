// End-to-end: -j. Whatever the number of threads, every command that works on entries in parallel
// prints, writes and returns exactly what it does on one thread, failures midway included.
#include "ToolRunner.h"
#include "tool/GraphicsExample.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>

namespace qarvex {

using namespace toolrun;

namespace {

class ParallelTest : public ToolTest {
protected:
    // Runs arguments with -j 1 and then with more threads, as text and with --json; every run
    // must give what the first of its mode did. Before each run reset() puts back what a run
    // changes; state() tells what a run left behind.
    void expectSameForEveryThreadCount(const std::vector<std::string> &arguments,
                                       const std::function<std::string()> &state = {},
                                       const std::function<void()> &reset = {}) {
        for (bool json : {false, true}) {
            auto runWith = [&](const std::string &threads, std::string &left) {
                if (reset)
                    reset();
                std::vector<std::string> withThreads = {"-j", threads};
                if (json)
                    withThreads.push_back("--json");
                withThreads.insert(withThreads.end(), arguments.begin(), arguments.end());
                ToolRun result = run(withThreads);
                left = state ? state() : "";
                return result;
            };
            std::string serialState, parallelState;
            ToolRun serial = runWith("1", serialState);
            for (const char *threads : {"2", "3", "16"}) {
                SCOPED_TRACE(std::string(json ? "--json " : "") + "-j " + threads);
                ToolRun parallel = runWith(threads, parallelState);
                EXPECT_EQ(parallel.out, serial.out);
                EXPECT_EQ(parallel.err, serial.err);
                EXPECT_EQ(parallel.exitCode, serial.exitCode);
                EXPECT_TRUE(parallelState == serialState);
            }
        }
    }
    std::function<std::string()> fileState(const std::string &name) {
        return [this, name] { return slurp(scratch.path(name)); };
    }
};

// Many entries of every method, the damaged ones scattered among them, so that workers finish
// out of order and failures fall midway.
std::vector<uint8_t> mixedVolume() {
    VolumeBuilder builder;
    fixture::Bytes prose = lzhData("prose.lzh");
    for (int i = 0; i < 60; ++i) {
        std::string name = "entry" + std::to_string(i);
        switch (i % 6) {
        case 0:
            builder.addCoded(uint32_t(i + 1), (name + ".txt").c_str(), 11358, 3, prose);
            break;
        case 1:
            builder.add(uint32_t(i + 1), (name + ".bin").c_str(),
                        std::string(size_t(i) * 100, char('a' + i % 26)));
            break;
        case 2:
            builder.addCoded(uint32_t(i + 1), (name + ".rle").c_str(), 300, 1,
                             rle({repeat(100, 'a'), {"xyz"}, repeat(127, 'b'), repeat(70, 'c')}));
            break;
        case 3: // LZH data cut short
            builder.addCoded(uint32_t(i + 1), (name + ".cut").c_str(), 11358, 3,
                             fixture::Bytes(prose.begin(), prose.begin() + 1000 + i * 10));
            break;
        case 4:
            builder.addCoded(uint32_t(i + 1), (name + ".odd").c_str(), 4, uint8_t(2 + i % 2 * 2),
                             fixture::text("abcd"));
            break;
        default:
            builder.addCoded(uint32_t(i + 1), (name + ".neg").c_str(), -i, 0, fixture::text("abcd"));
        }
    }
    return builder.build(VolumeBuilder::Variant::PVOL);
}

TEST_F(ParallelTest, TestingGivesTheSameReportOnAnyNumberOfThreads) {
    scratch.write("mixed.vol", mixedVolume());
    std::vector<uint8_t> gone = mixedVolume();
    pointOutsideTheFile(gone, 7);
    scratch.write("gone.vol", gone);
    volume("fine.vol", allMethodsVolume());
    scratch.write("notavolume.vol", fixture::text("hello"));
    expectSameForEveryThreadCount({"-t", "*", "*.vol", "missing.vol"});
    expectSameForEveryThreadCount({"-t", "*.cut", "mixed.vol"});
    expectSameForEveryThreadCount({"-t", "*.txt", "fine.vol", "mixed.vol"});
    // And the report is the serial one: a failure of each kind, in table order.
    ToolRun result = run({"-j", "4", "-t", "entry1?.*", "mixed.vol"});
    EXPECT_EQ(result.out, "mixed.vol\n"
                          "  entry10.odd: cannot be opened: unknown method 2\n"
                          "  entry11.neg: damaged: recorded size -11\n"
                          "  entry15.cut: damaged: data ends before its 11358 bytes\n"
                          "  entry16.odd: cannot be opened: unknown method 2\n"
                          "  entry17.neg: damaged: recorded size -17\n"
                          "10 entries tested, 5 failed\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(ParallelTest, CreatingAndAddingGiveTheSameVolumeOnAnyNumberOfThreads) {
    std::mt19937 random(18);
    std::filesystem::create_directories(scratch.path("art/deep"));
    for (int i = 0; i < 40; ++i) {
        // Runs, text and noise, so that "best" picks every method somewhere.
        std::string content;
        for (int piece = 0; piece < 1 + i % 5; ++piece) {
            if ((i + piece) % 3 == 0)
                content += std::string(200 + random() % 300, char('a' + piece));
            else if ((i + piece) % 3 == 1)
                content += "the quick brown fox jumps over the lazy dog " + std::to_string(i);
            else
                for (int n = 0; n < 300; ++n)
                    content += char(random());
        }
        scratch.write((i % 4 == 0 ? "art/deep/file" : "art/file") + std::to_string(i) + ".dat",
                      fixture::text(content));
    }
    scratch.write("extra.dat", fixture::text("added later"));
    auto removeVolumes = [&] {
        std::filesystem::remove(scratch.path("new.vol"));
        std::filesystem::remove(scratch.path("add.vol"));
    };
    for (const char *method : {"best", "lzh", "stored"}) {
        SCOPED_TRACE(method);
        expectSameForEveryThreadCount({"-c", "new.vol", "-m", method, "art"}, fileState("new.vol"),
                                      removeVolumes);
    }
    // Failures midway: a file named twice, a missing file; nothing is written, the same way.
    expectSameForEveryThreadCount({"-c", "new.vol", "-m", "best", "art", "missing.dat", "art/file1.dat"},
                                  fileState("new.vol"), removeVolumes);
    // Adding: new entries and replaced ones, ids carried over.
    expectSameForEveryThreadCount(
        {"-a", "add.vol", "-m", "best", "extra.dat", "art"}, fileState("add.vol"), [&] {
            removeVolumes();
            ASSERT_EQ(run({"-c", "add.vol", "-m", "rle", "art/file1.dat", "art/file2.dat"}).exitCode, 0);
        });
}

TEST_F(ParallelTest, ExtractingWritesTheSameFilesOnAnyNumberOfThreads) {
    scratch.write("mixed.vol", mixedVolume());
    scratch.write("graphics.vol", examples::graphicsVolume().build(VolumeBuilder::Variant::PVOL));
    volume("fine.vol", allMethodsVolume());
    // Everything below out: the tree, then each file's bytes (the manifest's times differ).
    auto extracted = [&] {
        std::string state = treeOf(scratch.path("out"));
        for (const auto &file : std::filesystem::recursive_directory_iterator(scratch.path("out")))
            if (file.is_regular_file() && file.path().filename() != ".qarvex-manifest") // holds times
                state += file.path().string() + "\n" + slurp(file.path().string()) + "\n";
        return state;
    };
    // An entry's file already there fails midway without -f.
    auto freshFolder = [&] {
        std::filesystem::remove_all(scratch.path("out"));
        std::filesystem::create_directories(scratch.path("out"));
        scratch.write("out/entry7.bin", fixture::text("there before"));
    };
    expectSameForEveryThreadCount({"-x", "-C", "out", "*", "*.vol"}, extracted, freshFolder);
    expectSameForEveryThreadCount({"-x", "-f", "-C", "out", "*", "mixed.vol", "fine.vol"}, extracted,
                                  freshFolder);
    expectSameForEveryThreadCount({"-x", "--png", "-C", "out", "*", "graphics.vol", "mixed.vol"}, extracted,
                                  freshFolder);
    expectSameForEveryThreadCount({"-x", "--png-only", "-C", "out", "*", "graphics.vol"}, extracted,
                                  freshFolder);
}

TEST_F(ParallelTest, UpdatingGivesTheSameVolumeAndManifestOnAnyNumberOfThreads) {
    // Graphics entries (examined on the main thread: they have pictures and sidecars), text
    // entries of every method and two entries of one name.
    VolumeBuilder builder = examples::graphicsVolume();
    fixture::Bytes prose = lzhData("prose.lzh");
    for (int i = 0; i < 30; ++i) {
        std::string name = (i % 4 == 0 ? "text\\note" : "note") + std::to_string(i) + ".txt";
        if (i % 3 == 0)
            builder.addCoded(uint32_t(100 + i), name.c_str(), 11358, 3, prose);
        else
            builder.add(uint32_t(100 + i), name.c_str(), std::string(size_t(50 + i * 40), char('a' + i)));
    }
    builder.add(200, "note1.txt", "the second of its name");
    std::vector<uint8_t> sound = builder.build(VolumeBuilder::Variant::PVOL);
    scratch.write("u.vol", sound);
    std::filesystem::create_directories(scratch.path("work"));
    ToolRun extracted = run({"-j", "1", "-x", "-f", "--png", "-C", "work", "*", "u.vol"});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
    // Edited, touched but the same, and gone; new files, one with the name of an entry's picture.
    auto later = [](const std::filesystem::path &file) {
        std::filesystem::last_write_time(file,
                                         std::filesystem::last_write_time(file) + std::chrono::seconds(10));
    };
    for (int i = 0; i < 30; ++i) {
        std::string name = (i % 4 == 0 ? "work/text/note" : "work/note") + std::to_string(i) + ".txt";
        if (i % 5 == 0)
            scratch.write(name, fixture::text("edited " + std::to_string(i)));
        else if (i % 5 == 1)
            later(scratch.path(name));
        else if (i % 5 == 2)
            std::filesystem::remove(scratch.path(name));
    }
    for (const char *added : {"work/new1.txt", "work/text/new2.txt", "work/zz.txt"})
        scratch.write(added, fixture::text(std::string("new: ") + added));
    std::string manifest = slurp(scratch.path("work/.qarvex-manifest"));
    auto reset = [&] {
        scratch.write("u.vol", sound);
        scratch.write("work/.qarvex-manifest", fixture::text(manifest));
    };
    auto state = [&] { return slurp(scratch.path("u.vol")) + slurp(scratch.path("work/.qarvex-manifest")); };
    for (const char *method : {"best", "rle"})
        expectSameForEveryThreadCount({"-u", "u.vol", "-C", "work", "-m", method}, state, reset);
    expectSameForEveryThreadCount({"-u", "u.vol", "-C", "work"}, state, reset);
    expectSameForEveryThreadCount({"-u", "u.vol", "-C", "work", "--dry-run"}, state, reset);
    // A failure midway: an entry's data outside the file.
    std::vector<uint8_t> damaged = sound;
    pointOutsideTheFile(damaged, 12);
    expectSameForEveryThreadCount({"-u", "u.vol", "-C", "work"}, state, [&] {
        reset();
        scratch.write("u.vol", damaged);
    });
}

TEST_F(ParallelTest, ThreadCountIsChecked) {
    for (const char *bad : {"0", "-1", "x", "257", "2x"}) {
        ToolRun result = run({"-j", bad, "-t", "*", "a.vol"});
        EXPECT_EQ(result.exitCode, 2) << bad;
        EXPECT_NE(result.err.find("-j needs a number of threads from 1 to 256"), std::string::npos) << bad;
    }
    EXPECT_EQ(run({"-j"}).exitCode, 2);
    volume("fine.vol", allMethodsVolume());
    EXPECT_EQ(run({"-j8", "-t", "*", "fine.vol"}).out, "4 entries tested, 0 failed\n");
}

} // namespace

} // namespace qarvex
