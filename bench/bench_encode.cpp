// Encoding speed of the LZH and RLE encoders in MB/s, and as ratios to their decoders measured in
// the same run: mixed.bin (text, records and noise) through LZHEncoder against LZHRStream decoding
// the result; run-heavy data through RLEEncoder against RLERStream expanding it. The coded sizes
// are reported as counters, and every coded stream is checked to decode to its input first.
#include "bench/RatioReporter.h"
#include <qarvex/stream/LZHEncoder.h>
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLEEncoder.h>
#include <qarvex/stream/RLERStream.h>

#include <benchmark/benchmark.h>

#include <cstdio>
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

struct Sample {
    Bytes plain;
    Bytes lzh;
    Bytes rle;
};

Bytes runHeavy() {
    Bytes bytes;
    uint32_t seed = 7;
    while (bytes.size() < (1u << 20)) {
        seed = seed * 1664525u + 1013904223u;
        size_t length = seed % 8 != 0 ? 16 + (seed >> 8) % 112 : 1 + (seed >> 8) % 8;
        for (size_t i = 0; i < length; ++i)
            bytes.push_back(seed % 8 != 0 ? uint8_t(seed >> 24) : uint8_t(seed >> (8 + i % 16)));
    }
    return bytes;
}

LZHEncoder &lzhEncoder() {
    static LZHEncoder encoder;
    return encoder;
}

Bytes encodeLzh(const Bytes &plain) {
    Bytes out(size_t(LZHEncoder::maxEncodedSize(int32_t(plain.size()))));
    out.resize(size_t(lzhEncoder().encode(plain.data(), int32_t(plain.size()), out.data())));
    return out;
}

Bytes encodeRle(const Bytes &plain) {
    Bytes out(size_t(RLEEncoder::maxEncodedSize(int32_t(plain.size()))));
    out.resize(size_t(RLEEncoder::encode(plain.data(), int32_t(plain.size()), out.data())));
    return out;
}

const Sample &mixed() {
    static const Sample sample = [] {
        Sample s{loadData("mixed.bin"), {}, {}};
        s.lzh = encodeLzh(s.plain);
        return s;
    }();
    return sample;
}

const Sample &runs() {
    static const Sample sample = [] {
        Sample s{runHeavy(), {}, {}};
        s.rle = encodeRle(s.plain);
        return s;
    }();
    return sample;
}

bool decodeLzh(const Bytes &coded, Bytes &plain) {
    static LZHRStream stream;
    MemRWStream memory;
    memory.attach(int32_t(coded.size()), const_cast<uint8_t *>(coded.data()));
    stream.attach(&memory);
    return stream.read(int32_t(plain.size()), plain.data());
}

bool expandRle(const Bytes &coded, Bytes &plain) {
    MemRWStream memory;
    memory.attach(int32_t(coded.size()), const_cast<uint8_t *>(coded.data()));
    RLERStream stream;
    stream.attach(&memory);
    return stream.read(int32_t(plain.size()), plain.data());
}

void BM_LzhEncode(benchmark::State &state) {
    const Sample &sample = mixed();
    Bytes out(size_t(LZHEncoder::maxEncodedSize(int32_t(sample.plain.size()))));
    for (auto _ : state) {
        int32_t size = lzhEncoder().encode(sample.plain.data(), int32_t(sample.plain.size()), out.data());
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.plain.size()));
    state.counters["coded_bytes"] = double(sample.lzh.size());
}
BENCHMARK(BM_LzhEncode)->Unit(benchmark::kMillisecond);

void BM_LzhDecode(benchmark::State &state) {
    const Sample &sample = mixed();
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        decodeLzh(sample.lzh, plain);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.plain.size()));
}
BENCHMARK(BM_LzhDecode)->Unit(benchmark::kMillisecond);

void BM_RleEncode(benchmark::State &state) {
    const Sample &sample = runs();
    Bytes out(size_t(RLEEncoder::maxEncodedSize(int32_t(sample.plain.size()))));
    for (auto _ : state) {
        int32_t size = RLEEncoder::encode(sample.plain.data(), int32_t(sample.plain.size()), out.data());
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.plain.size()));
    state.counters["coded_bytes"] = double(sample.rle.size());
}
BENCHMARK(BM_RleEncode);

void BM_RleExpand(benchmark::State &state) {
    const Sample &sample = runs();
    Bytes plain(sample.plain.size());
    for (auto _ : state) {
        expandRle(sample.rle, plain);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.plain.size()));
}
BENCHMARK(BM_RleExpand);

bool checkRoundTrips() {
    const Sample &lzh = mixed();
    const Sample &rle = runs();
    if (lzh.plain.empty()) {
        std::fprintf(stderr, "mixed.bin not found under %s/lzh\n", QARVEX_TEST_DATA_DIR);
        return false;
    }
    Bytes back(lzh.plain.size());
    if (!decodeLzh(lzh.lzh, back) || back != lzh.plain) {
        std::fprintf(stderr, "LZH stream of mixed.bin does not decode to it\n");
        return false;
    }
    back.assign(rle.plain.size(), 0);
    if (!expandRle(rle.rle, back) || back != rle.plain) {
        std::fprintf(stderr, "RLE packets do not expand to their input\n");
        return false;
    }
    std::printf("mixed.bin: %zu bytes, LZH %zu bytes; run-heavy data: %zu bytes, RLE %zu bytes\n",
                lzh.plain.size(), lzh.lzh.size(), rle.plain.size(), rle.rle.size());
    return true;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!checkRoundTrips())
        return 1;
    RatioReporter reporter(56);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nEncoding speed relative to decoding, from CPU time (1 = as fast):\n");
    reporter.printRatio("LZH mixed.bin: LZHEncoder vs LZHRStream", "BM_LzhDecode", "BM_LzhEncode");
    reporter.printRatio("RLE run-heavy: RLEEncoder vs RLERStream", "BM_RleExpand", "BM_RleEncode");
    benchmark::Shutdown();
    return 0;
}
