// Reading compressed volume entries, as ratios measured in the same run:
// - LZH: mixed.bin stored LZH-coded in a volume, opened and read through VolumeRStream (in one
//   read, and in 4 KiB reads), against the straightforward bit-at-a-time decoder of
//   BitAtATimeLzh.h on the same coded bytes, taken from memory (goal: at least 1.5 times its
//   speed) and from a stream; and against LZHRStream alone over a MemRWStream, which shows what the
//   entry costs on top of the decoder. Every output is checked against mixed.bin before anything is timed.
// - RLE: a run-heavy and a literal-heavy entry of 1 MiB expanded through VolumeRStream, against
//   memcpy of the expanded bytes.
#include "bench/BitAtATimeLzh.h"
#include "bench/RatioReporter.h"
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace qarvex;

namespace {

// Each benchmark runs this often and the fastest run counts: the machines are shared.
constexpr int Repeats = 5;

using Bytes = std::vector<uint8_t>;

Bytes loadData(const char *name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// RLE packets made directly, so that the benchmark does not depend on an encoder: mostly long
// runs with short literals between them, or mostly literals with a few short runs.
void makeRle(bool runHeavy, Bytes &coded, Bytes &plain) {
    std::mt19937 random(runHeavy ? 7 : 11);
    while (plain.size() < (1u << 20)) {
        bool isRun = runHeavy ? random() % 8 != 0 : random() % 8 == 0;
        if (isRun) {
            auto length = uint8_t(runHeavy ? 16 + random() % 112 : 3 + random() % 8);
            auto value = uint8_t(random());
            coded.insert(coded.end(), {uint8_t(0x80 | length), value});
            plain.insert(plain.end(), length, value);
        } else {
            auto length = uint8_t(runHeavy ? 1 + random() % 8 : 64 + random() % 64);
            coded.push_back(length);
            for (int i = 0; i < length; ++i) {
                auto value = uint8_t(random());
                coded.push_back(value);
                plain.push_back(value);
            }
        }
    }
}

// One volume with the three entries, written to a temporary file and opened once.
struct Sample {
    Bytes lzhCoded = loadData("mixed.lzh");
    Bytes lzhPlain = loadData("mixed.bin");
    Bytes runsCoded, runsPlain, literalsCoded, literalsPlain;
    std::filesystem::path file;
    VolumeRStream volume;
    bool ready = false;

    Sample() {
        makeRle(true, runsCoded, runsPlain);
        makeRle(false, literalsCoded, literalsPlain);
        if (lzhCoded.empty() || lzhPlain.empty())
            return;
        VolumeBuilder builder;
        builder.addCoded(1, "mixed.bin", int32_t(lzhPlain.size()), VolumeStream::LZH, lzhCoded);
        builder.addCoded(2, "runs.dat", int32_t(runsPlain.size()), VolumeStream::RLE, runsCoded);
        builder.addCoded(3, "literals.dat", int32_t(literalsPlain.size()), VolumeStream::RLE, literalsCoded);
        file = std::filesystem::temp_directory_path() /
               ("qarvex-bench-entries-" + std::to_string(std::random_device()()) + ".vol");
        ready = builder.writeFile(file.string().c_str(), VolumeBuilder::Variant::PVOL) &&
                volume.open(file.string().c_str());
    }
    ~Sample() {
        volume.closeVolume();
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
};

Sample &sample() {
    static Sample instance;
    return instance;
}

// Opens the entry and reads it whole, in reads of at most `piece` bytes.
bool readEntry(const char *name, Bytes &out, int32_t piece) {
    VolumeRStream &volume = sample().volume;
    if (!volume.openEntry(name, false) || volume.getEntrySize() != int32_t(out.size()))
        return false;
    for (size_t at = 0; at < out.size(); at += size_t(piece)) {
        int32_t count = int32_t(std::min(out.size() - at, size_t(piece)));
        if (!volume.read(count, out.data() + at))
            return false;
    }
    return true;
}

void BM_LzhEntry(benchmark::State &state) {
    Bytes plain(sample().lzhPlain.size());
    auto piece = int32_t(state.range(0));
    for (auto _ : state) {
        readEntry("mixed.bin", plain, piece);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_LzhEntry)
    ->ArgName("piece")
    ->Arg(1 << 30)
    ->Arg(4096)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(Repeats);

// The decoder alone over a MemRWStream, without the volume: what the entry adds on top of it.
void BM_LzhStreamAlone(benchmark::State &state) {
    const Sample &s = sample();
    Bytes plain(s.lzhPlain.size());
    static LZHRStream stream;
    MemRWStream memory;
    for (auto _ : state) {
        memory.attach(int32_t(s.lzhCoded.size()), const_cast<uint8_t *>(s.lzhCoded.data()));
        stream.attach(&memory);
        stream.read(int32_t(plain.size()), plain.data());
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_LzhStreamAlone)->Unit(benchmark::kMillisecond)->Repetitions(Repeats);

// The baseline, taking the coded bytes from memory, or one read(1) each from a MemRWStream over
// them (as the library's decoder takes them from its source).
void decodeBitAtATime(const Bytes &coded, Bytes &plain, bool fromStream) {
    if (fromStream) {
        static BitAtATimeLzh<baseline::StreamInput> decoder;
        MemRWStream memory;
        memory.attach(int32_t(coded.size()), const_cast<uint8_t *>(coded.data()));
        decoder.decode({&memory}, plain.data(), plain.size());
    } else {
        static BitAtATimeLzh<baseline::MemoryInput> decoder;
        decoder.decode({coded.data(), coded.data() + coded.size()}, plain.data(), plain.size());
    }
}

void BM_LzhBitAtATime(benchmark::State &state) {
    const Sample &s = sample();
    Bytes plain(s.lzhPlain.size());
    for (auto _ : state) {
        decodeBitAtATime(s.lzhCoded, plain, state.range(0) != 0);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_LzhBitAtATime)
    ->ArgName("fromStream")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(Repeats);

void BM_RleEntry(benchmark::State &state) {
    bool runHeavy = state.range(0) != 0;
    Bytes plain((runHeavy ? sample().runsPlain : sample().literalsPlain).size());
    for (auto _ : state) {
        readEntry(runHeavy ? "runs.dat" : "literals.dat", plain, 1 << 30);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_RleEntry)->ArgName("runHeavy")->Arg(1)->Arg(0)->Repetitions(Repeats);

void BM_RleMemcpy(benchmark::State &state) {
    const Bytes &expanded = state.range(0) != 0 ? sample().runsPlain : sample().literalsPlain;
    Bytes plain(expanded.size());
    for (auto _ : state) {
        std::memcpy(plain.data(), expanded.data(), plain.size());
        benchmark::DoNotOptimize(plain.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_RleMemcpy)->ArgName("runHeavy")->Arg(1)->Arg(0)->Repetitions(Repeats);

bool checkOutputs() {
    Sample &s = sample();
    if (!s.ready) {
        std::fprintf(stderr, "cannot build the sample volume (mixed.bin and mixed.lzh under %s/lzh?)\n",
                     QARVEX_TEST_DATA_DIR);
        return false;
    }
    Bytes byBaseline(s.lzhPlain.size());
    Bytes byBaselineFromStream(s.lzhPlain.size());
    decodeBitAtATime(s.lzhCoded, byBaseline, false);
    decodeBitAtATime(s.lzhCoded, byBaselineFromStream, true);
    for (int32_t piece : {1 << 30, 4096}) {
        Bytes byVolume(s.lzhPlain.size());
        if (!readEntry("mixed.bin", byVolume, piece) || byVolume != s.lzhPlain || byBaseline != s.lzhPlain ||
            byBaselineFromStream != s.lzhPlain) {
            std::fprintf(stderr, "LZH entry and bit-at-a-time decoder disagree with mixed.bin\n");
            return false;
        }
    }
    Bytes runs(s.runsPlain.size());
    Bytes literals(s.literalsPlain.size());
    if (!readEntry("runs.dat", runs, 1 << 30) || runs != s.runsPlain ||
        !readEntry("literals.dat", literals, 1 << 30) || literals != s.literalsPlain) {
        std::fprintf(stderr, "RLE entries do not expand to their data\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!checkOutputs())
        return 1;
    RatioReporter reporter(60);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nSpeed ratios (how many times faster than the baseline; outputs checked identical):\n");
    reporter.printRatio("LZH mixed.bin, entry in one read vs bit-at-a-time from memory (goal 1.5)",
                        "BM_LzhBitAtATime/fromStream:0", "BM_LzhEntry/piece:1073741824");
    reporter.printRatio("LZH mixed.bin, entry in 4 KiB reads vs bit-at-a-time from memory",
                        "BM_LzhBitAtATime/fromStream:0", "BM_LzhEntry/piece:4096");
    reporter.printRatio("LZH mixed.bin, entry in one read vs bit-at-a-time from a stream",
                        "BM_LzhBitAtATime/fromStream:1", "BM_LzhEntry/piece:1073741824");
    reporter.printRatio("LZH mixed.bin, entry in one read vs LZHRStream alone (cost of the entry)",
                        "BM_LzhStreamAlone", "BM_LzhEntry/piece:1073741824");
    reporter.printRatio("RLE run-heavy entry vs memcpy of the expanded bytes", "BM_RleMemcpy/runHeavy:1",
                        "BM_RleEntry/runHeavy:1");
    reporter.printRatio("RLE literal-heavy entry vs memcpy of the expanded bytes", "BM_RleMemcpy/runHeavy:0",
                        "BM_RleEntry/runHeavy:0");
    benchmark::Shutdown();
    return 0;
}
