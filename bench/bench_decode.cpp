// Decoding speed of the decompressing streams, as ratios measured in the same run:
// - LZH: mixed.bin decoded by LZHRStream over a MemRWStream, against the straightforward
//   bit-at-a-time decoder of BitAtATimeLzh.h on the same bytes, taking them from memory and,
//   as a plain stream-based decoder would, one read(1) at a time from a MemRWStream (outputs
//   checked identical first);
// - RLE: run-heavy and literal-heavy data expanded by RLERStream over a MemRWStream, against
//   memcpy of the expanded bytes.
#include "bench/BitAtATimeLzh.h"
#include "bench/RatioReporter.h"
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLERStream.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace qarvex;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes loadData(const char *name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct LzhSample {
    Bytes coded = loadData("mixed.lzh");
    Bytes plain = loadData("mixed.bin");
};

const LzhSample &lzhSample() {
    static const LzhSample sample;
    return sample;
}

bool decodeWithStream(const Bytes &coded, Bytes &plain) {
    static LZHRStream stream; // constructed once, like the volume's member stream
    MemRWStream memory;
    memory.attach(int32_t(coded.size()), const_cast<uint8_t *>(coded.data()));
    stream.attach(&memory);
    bool ok = stream.read(int32_t(plain.size()), plain.data());
    stream.detach();
    return ok;
}

void BM_LzhStream(benchmark::State &state) {
    const LzhSample &sample = lzhSample();
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        decodeWithStream(sample.coded, plain);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_LzhStream)->Unit(benchmark::kMillisecond);

void decodeBitAtATime(const Bytes &coded, Bytes &plain) {
    static BitAtATimeLzh<baseline::MemoryInput> decoder;
    decoder.decode({coded.data(), coded.data() + coded.size()}, plain.data(), plain.size());
}

void decodeBitAtATimeFromStream(const Bytes &coded, Bytes &plain) {
    static BitAtATimeLzh<baseline::StreamInput> decoder;
    MemRWStream memory;
    memory.attach(int32_t(coded.size()), const_cast<uint8_t *>(coded.data()));
    decoder.decode({&memory}, plain.data(), plain.size());
}

void BM_LzhBitAtATime(benchmark::State &state) {
    const LzhSample &sample = lzhSample();
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        decodeBitAtATime(sample.coded, plain);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_LzhBitAtATime)->Unit(benchmark::kMillisecond);

void BM_LzhBitAtATimeFromStream(benchmark::State &state) {
    const LzhSample &sample = lzhSample();
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        decodeBitAtATimeFromStream(sample.coded, plain);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_LzhBitAtATimeFromStream)->Unit(benchmark::kMillisecond);

// RLE samples, coded as packets directly so the benchmark does not depend on an encoder.
struct RleSample {
    Bytes coded;
    Bytes plain;
};

RleSample makeRleSample(bool runHeavy) {
    RleSample sample;
    uint32_t seed = runHeavy ? 7 : 11;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    while (sample.plain.size() < (1u << 20)) {
        bool run = runHeavy ? next() % 8 != 0 : next() % 8 == 0;
        if (run) {
            uint8_t length = uint8_t(runHeavy ? 16 + next() % 112 : 3 + next() % 8);
            uint8_t value = uint8_t(next());
            sample.coded.insert(sample.coded.end(), {uint8_t(0x80 | length), value});
            sample.plain.insert(sample.plain.end(), length, value);
        } else {
            uint8_t length = uint8_t(runHeavy ? 1 + next() % 8 : 64 + next() % 64);
            sample.coded.push_back(length);
            for (int i = 0; i < length; ++i) {
                uint8_t value = uint8_t(next());
                sample.coded.push_back(value);
                sample.plain.push_back(value);
            }
        }
    }
    return sample;
}

const RleSample &rleSample(bool runHeavy) {
    static const RleSample runs = makeRleSample(true);
    static const RleSample literals = makeRleSample(false);
    return runHeavy ? runs : literals;
}

bool expandWithStream(const Bytes &coded, Bytes &plain) {
    MemRWStream memory;
    memory.attach(int32_t(coded.size()), const_cast<uint8_t *>(coded.data()));
    RLERStream stream;
    stream.attach(&memory);
    return stream.read(int32_t(plain.size()), plain.data());
}

void BM_RleStream(benchmark::State &state) {
    const RleSample &sample = rleSample(state.range(0) != 0);
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        expandWithStream(sample.coded, plain);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_RleStream)->ArgName("runHeavy")->Arg(1)->Arg(0);

void BM_RleMemcpy(benchmark::State &state) {
    const RleSample &sample = rleSample(state.range(0) != 0);
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        std::memcpy(plain.data(), sample.plain.data(), plain.size());
        benchmark::DoNotOptimize(plain.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plain.size()));
}
BENCHMARK(BM_RleMemcpy)->ArgName("runHeavy")->Arg(1)->Arg(0);

bool checkOutputs() {
    const LzhSample &sample = lzhSample();
    if (sample.plain.empty() || sample.coded.empty()) {
        std::fprintf(stderr, "mixed.bin / mixed.lzh not found under %s/lzh\n", QARVEX_TEST_DATA_DIR);
        return false;
    }
    Bytes byStream(sample.plain.size());
    Bytes byBaseline(sample.plain.size());
    Bytes byBaselineFromStream(sample.plain.size());
    decodeBitAtATime(sample.coded, byBaseline);
    decodeBitAtATimeFromStream(sample.coded, byBaselineFromStream);
    if (!decodeWithStream(sample.coded, byStream) || byStream != sample.plain || byBaseline != sample.plain ||
        byBaselineFromStream != sample.plain) {
        std::fprintf(stderr, "LZH decoders disagree with mixed.bin\n");
        return false;
    }
    for (bool runHeavy : {true, false}) {
        const RleSample &rle = rleSample(runHeavy);
        Bytes expanded(rle.plain.size());
        if (!expandWithStream(rle.coded, expanded) || expanded != rle.plain) {
            std::fprintf(stderr, "RLE expansion is wrong\n");
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!checkOutputs())
        return 1;
    RatioReporter reporter(66);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nSpeed ratios from CPU time (above 1: the first named is faster):\n");
    reporter.printRatio("LZH mixed.bin: LZHRStream vs bit-at-a-time, bytes from memory", "BM_LzhBitAtATime",
                        "BM_LzhStream");
    reporter.printRatio("LZH mixed.bin: LZHRStream vs bit-at-a-time, bytes by read(1)",
                        "BM_LzhBitAtATimeFromStream", "BM_LzhStream");
    reporter.printRatio("RLE run-heavy: RLERStream vs memcpy (memcpy = 1)", "BM_RleMemcpy/runHeavy:1",
                        "BM_RleStream/runHeavy:1");
    reporter.printRatio("RLE literal-heavy: RLERStream vs memcpy (memcpy = 1)", "BM_RleMemcpy/runHeavy:0",
                        "BM_RleStream/runHeavy:0");
    benchmark::Shutdown();
    return 0;
}
