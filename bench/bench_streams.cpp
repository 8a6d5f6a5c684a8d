// Small reads through the library's streams against the plain C ways of doing the same reads:
// FileRStream (its 2048-byte window) against fread (the C library's buffer) over one 1 MiB file,
// and MemRWStream (a virtual call and a status check per read) against memcpy from the same
// memory. Each pair reads the same bytes in the same chunk sizes; the summary at the end prints
// the time ratios measured in this run.
#include <qarvex/stream/FileRStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

using namespace qarvex;

namespace {

constexpr int32_t DataSize = 1 << 20;

std::vector<uint8_t> &data() {
    static std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> made(DataSize);
        std::mt19937 random(2024);
        for (uint8_t &byte : made)
            byte = uint8_t(random());
        return made;
    }();
    return bytes;
}

// The file every file benchmark reads, written once and removed at the end.
const std::string &dataFile() {
    static std::string path = [] {
        std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("qarvex-bench-streams-" + std::to_string(std::random_device()()));
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char *>(data().data()), DataSize);
        return file.string();
    }();
    return path;
}

void FileRStreamReads(benchmark::State &state) {
    const int32_t chunk = int32_t(state.range(0));
    FileRStream file;
    if (!file.open(dataFile().c_str())) {
        state.SkipWithError("cannot open the data file");
        return;
    }
    StreamIO *stream = &file;
    benchmark::DoNotOptimize(stream);
    uint8_t buffer[64];
    for (auto _ : state) {
        stream->setPosition(0);
        for (int32_t at = 0; at + chunk <= DataSize; at += chunk) {
            stream->read(chunk, buffer);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(state.iterations() * DataSize);
}

void FreadReads(benchmark::State &state) {
    const size_t chunk = size_t(state.range(0));
    FILE *file = std::fopen(dataFile().c_str(), "rb");
    if (!file) {
        state.SkipWithError("cannot open the data file");
        return;
    }
    uint8_t buffer[64];
    for (auto _ : state) {
        std::fseek(file, 0, SEEK_SET);
        for (size_t at = 0; at + chunk <= size_t(DataSize); at += chunk) {
            if (std::fread(buffer, 1, chunk, file) != chunk)
                state.SkipWithError("short fread");
            benchmark::ClobberMemory();
        }
    }
    std::fclose(file);
    state.SetBytesProcessed(state.iterations() * DataSize);
}

void MemRWStreamReads(benchmark::State &state) {
    const int32_t chunk = int32_t(state.range(0));
    MemRWStream memory;
    memory.attach(DataSize, data().data());
    StreamIO *stream = &memory;
    benchmark::DoNotOptimize(stream);
    uint8_t buffer[64];
    for (auto _ : state) {
        stream->setPosition(0);
        for (int32_t at = 0; at + chunk <= DataSize; at += chunk) {
            stream->read(chunk, buffer);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(state.iterations() * DataSize);
}

void MemcpyReads(benchmark::State &state) {
    const size_t chunk = size_t(state.range(0));
    const uint8_t *source = data().data();
    uint8_t buffer[64];
    for (auto _ : state) {
        for (size_t at = 0; at + chunk <= size_t(DataSize); at += chunk) {
            std::memcpy(buffer, source + at, chunk);
            benchmark::ClobberMemory(); // the copy must really happen, every time
        }
    }
    state.SetBytesProcessed(state.iterations() * DataSize);
}

BENCHMARK(FileRStreamReads)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(FreadReads)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(MemRWStreamReads)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(MemcpyReads)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration so that the pairs can be compared at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const {
        std::printf(
            "\nRatios from this run (CPU time of the library's stream / CPU time of the plain way):\n");
        for (int chunk : {4, 16, 64}) {
            std::string suffix = "/" + std::to_string(chunk);
            printRatio("FileRStream / fread ", chunk, "FileRStreamReads" + suffix, "FreadReads" + suffix);
            printRatio("MemRWStream / memcpy", chunk, "MemRWStreamReads" + suffix, "MemcpyReads" + suffix);
        }
    }

private:
    void printRatio(const char *what, int chunk, const std::string &ours, const std::string &plain) const {
        auto a = times.find(ours);
        auto b = times.find(plain);
        if (a == times.end() || b == times.end() || b->second <= 0)
            return;
        std::printf("  %s, %2d-byte reads: %6.2f\n", what, chunk, a->second / b->second);
    }

    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    std::error_code ignored;
    std::filesystem::remove(dataFile(), ignored);
    benchmark::Shutdown();
    return 0;
}
