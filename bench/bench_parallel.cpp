// Working on entries with several threads: the built qarvex timed as a child process (wall time,
// fastest run of each), all in the same run of this program:
// - `qarvex -t` of a volume of 200 LZH entries (binary data, 256 KiB each) with -j 2 against
//   -j 1 (at most 0.55 of the time wanted on 2 cores);
// - `qarvex -c -m best` of a folder of 200 files with -j 2 against -j 1 (the same);
// - the bit-at-a-time decoder of BitAtATimeLzh.h decoding the same 200 entries from memory on one
//   thread of this process, against `qarvex -t -j 1` and `qarvex -t` with one thread per
//   processor (at least 2.8 times as fast wanted on 2 cores).
// The machine's load matters here more than anywhere: the ratios only mean something when the
// processors are otherwise idle.
#include "bench/BitAtATimeLzh.h"
#include "bench/ChildRun.h"
#include "bench/TemporaryFolder.h"
#include <qarvex/volume/VolumeWriter.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace qarvex;

namespace {

constexpr int EntryCount = 200;
constexpr size_t EntrySize = 256 * 1024;

// Binary data with the structure of real resources: runs, repeated records with small changes,
// and stretches of noise.
std::vector<uint8_t> binaryEntry(std::mt19937 &random) {
    std::vector<uint8_t> bytes;
    while (bytes.size() < EntrySize) {
        switch (random() % 3) {
        case 0:
            bytes.insert(bytes.end(), 20 + random() % 200, uint8_t(random()));
            break;
        case 1: {
            uint8_t record[24];
            for (uint8_t &b : record)
                b = uint8_t(random() % 16);
            for (int n = 0; n < 20; ++n) {
                record[random() % sizeof record] ^= uint8_t(random());
                bytes.insert(bytes.end(), record, record + sizeof record);
            }
            break;
        }
        default:
            for (int n = 0; n < 200; ++n)
                bytes.push_back(uint8_t(random()));
        }
    }
    bytes.resize(EntrySize);
    return bytes;
}

// The volume, the folder of its entries as files, and the entries themselves in memory.
struct Workspace {
    TemporaryFolder directory{"qarvex-bench-parallel-"};
    std::string volume, files, made;
    std::vector<VolumeWriter::Entry> entries;
    std::vector<std::vector<uint8_t>> plain;
    bool ready = false;

    Workspace() {
        std::error_code error;
        std::filesystem::create_directories(directory.path / "files", error);
        if (!directory.made || error)
            return;
        files = (directory.path / "files").string();
        volume = (directory.path / "lzh.vol").string();
        made = (directory.path / "made.vol").string();
        std::mt19937 random(18);
        for (int i = 0; i < EntryCount; ++i) {
            plain.push_back(binaryEntry(random));
            std::string name = "entry" + std::to_string(i) + ".bin";
            std::ofstream((directory.path / "files" / name).string(), std::ios::binary)
                .write(reinterpret_cast<const char *>(plain.back().data()), std::streamsize(EntrySize));
            VolumeWriter::Entry entry;
            if (!VolumeWriter::makeEntry(uint32_t(i + 1), name, plain.back().data(), EntrySize,
                                         VolumeWriter::Method::LZH, entry))
                return;
            entries.push_back(std::move(entry));
        }
        ready = VolumeWriter::writeFile(volume.c_str(), entries, VolumeWriter::Variant::PVOL) ==
                VolumeWriter::Fault::None;
    }
};

Workspace &workspace() {
    static Workspace instance;
    return instance;
}

std::string processors() {
    return std::to_string(std::max(1u, std::thread::hardware_concurrency()));
}

// The fastest run of each benchmark, by name.
std::map<std::string, double> best;

void timeRuns(benchmark::State &state, const std::string &name, const std::function<bool()> &work,
              const std::function<void()> &before = {}) {
    for (auto _ : state) {
        if (before)
            before();
        auto start = std::chrono::steady_clock::now();
        if (!work()) {
            state.SkipWithError("failed");
            return;
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        auto known = best.find(name);
        if (known == best.end() || seconds < known->second)
            best[name] = seconds;
    }
}

// Every entry decoded from memory and checked, on this thread.
bool decodeAllBitAtATime() {
    static BitAtATimeLzh<baseline::MemoryInput> decoder;
    static std::vector<uint8_t> out(EntrySize);
    Workspace &space = workspace();
    for (size_t i = 0; i < space.entries.size(); ++i) {
        const std::vector<uint8_t> &stored = space.entries[i].stored;
        decoder.decode({stored.data(), stored.data() + stored.size()}, out.data(), EntrySize);
        if (out != space.plain[i])
            return false;
    }
    return true;
}

void BM_BitAtATimeInMemory(benchmark::State &state) {
    timeRuns(state, "bit-at-a-time", decodeAllBitAtATime);
}
BENCHMARK(BM_BitAtATimeInMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Argument: -j (0: one thread per processor).
void BM_TestVolume(benchmark::State &state) {
    std::string threads = state.range(0) ? std::to_string(state.range(0)) : processors();
    timeRuns(state, "-t -j " + std::string(state.range(0) ? threads : "all"), [&] {
        return runChild({QARVEX_TOOL_PATH, "-j", threads, "-t", "*", workspace().volume}).ok;
    });
}
BENCHMARK(BM_TestVolume)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_CreateBest(benchmark::State &state) {
    std::string threads = std::to_string(state.range(0));
    Workspace &space = workspace();
    timeRuns(
        state, "-c -j " + threads,
        [&] {
            return runChild({QARVEX_TOOL_PATH, "-j", threads, "-c", space.made, "-m", "best", space.files})
                .ok;
        },
        [&] { std::filesystem::remove(space.made); });
}
BENCHMARK(BM_CreateBest)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void printRatio(const char *what, const std::string &numerator, const std::string &denominator,
                const char *goal) {
    auto top = best.find(numerator), bottom = best.find(denominator);
    if (top != best.end() && bottom != best.end() && bottom->second > 0)
        std::printf("  %-42s %6.2f   (%s)\n", what, top->second / bottom->second, goal);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!workspace().ready || !decodeAllBitAtATime()) {
        std::fprintf(stderr, "could not make the volume, or the bit-at-a-time decoder disagrees with it\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\n%d LZH entries of %zu bytes, %s processors (fastest runs, wall clock):\n", EntryCount,
                EntrySize, processors().c_str());
    printRatio("-t: -j 2 / -j 1", "-t -j 2", "-t -j 1", "at most 0.55 wanted on 2 cores");
    printRatio("-c -m best: -j 2 / -j 1", "-c -j 2", "-c -j 1", "at most 0.55 wanted on 2 cores");
    printRatio("-t -j 1: times as fast as bit-at-a-time", "bit-at-a-time", "-t -j 1", "at least 1.6 wanted");
    printRatio("-t, every core: times as fast as bit-at-a-time", "bit-at-a-time", "-t -j all",
               "at least 2.8 wanted on 2 cores");
    benchmark::Shutdown();
    return 0;
}
