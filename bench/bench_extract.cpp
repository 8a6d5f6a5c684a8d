// What extraction costs on top of decoding: `qarvex -x -f -C out '*' lzh.vol` on a volume of 192
// LZH entries (the reference vectors, 7.1 MB decoded), run as a child process, against decoding
// the same entries through VolumeRStream into memory in this process, in the tool's own 64 KiB
// reads. Both are timed in the same run by the processor time they use (user and system: writing
// the files is mostly system time), which a busy shared machine disturbs less than the wall clock;
// the fastest run counts. The ratio extraction / in-memory decoding is printed at the end, with
// the wall-clock figures beside it. The extracted files are compared with the plain vectors before
// anything is timed.
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qarvex;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t Piece = 64 * 1024;

Bytes loadData(const std::string &name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct Entry {
    std::string name;
    Bytes plain;
};

// The volume in a temporary folder, its entries' plain bytes, and the folder the tool extracts to.
struct Workspace {
    std::filesystem::path directory;
    std::string volume, out;
    std::vector<Entry> entries;
    int64_t bytes = 0;
    bool ready = false;

    Workspace() {
        // Long entries, and many short ones as real volumes hold, in folders as names give them.
        struct Vector {
            const char *coded, *plain;
            int copies;
        } vectors[] = {{"mixed.lzh", "mixed.bin", 16},   {"prose.lzh", "prose.txt", 32},
                       {"random.lzh", "random.bin", 8},  {"run.lzh", "run.bin", 8},
                       {"spaces.lzh", "spaces.txt", 64}, {"hello.lzh", "hello.txt", 64}};
        VolumeBuilder builder;
        for (const Vector &vector : vectors) {
            Bytes coded = loadData(vector.coded), plain = loadData(vector.plain);
            if (coded.empty() || plain.empty())
                return;
            for (int copy = 0; copy < vector.copies; ++copy) {
                std::string name =
                    "set" + std::to_string(copy % 4) + "\\" + std::to_string(copy) + "-" + vector.plain;
                builder.addCoded(uint32_t(entries.size() + 1), name.c_str(), int32_t(plain.size()),
                                 VolumeStream::LZH, coded);
                entries.push_back({name, plain});
                bytes += int64_t(plain.size());
            }
        }
        directory = std::filesystem::temp_directory_path() /
                    ("qarvex-bench-extract-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::error_code error;
        std::filesystem::create_directories(directory / "out", error);
        volume = (directory / "lzh.vol").string();
        out = (directory / "out").string();
        ready = !error && builder.writeFile(volume.c_str(), VolumeBuilder::Variant::PVOL);
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
};

Workspace &workspace() {
    static Workspace instance;
    return instance;
}

struct Timing {
    double cpu = -1; // user and system seconds; -1: the run failed
    double wall = 0;
};

double seconds(const timeval &time) {
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// Runs the tool to extract every entry, its output thrown away.
Timing extractWithTool() {
    Timing timing;
    auto start = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    if (child == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const Workspace &space = workspace();
        ::execl(QARVEX_TOOL_PATH, QARVEX_TOOL_PATH, "-x", "-f", "-C", space.out.c_str(), "*",
                space.volume.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0)
        timing.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return timing;
}

double ownProcessorTime() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Opens the volume and decodes every entry into memory, as the tool reads them.
bool decodeInMemory(VolumeRStream &volume, Bytes &buffer) {
    if (!volume.open(workspace().volume.c_str()))
        return false;
    const Vector<VolumeItem> &items = volume.entries();
    for (int32_t i = 0; i < items.size(); ++i) {
        VolumeItem *item = const_cast<VolumeItem *>(&items[i]);
        if (!volume.openItem(item))
            return false;
        for (int32_t done = 0; done < item->size; done += Piece)
            if (!volume.read(std::min(Piece, item->size - done), buffer.data()))
                return false;
        volume.close();
    }
    return true;
}

bool extractedFilesMatch() {
    const Workspace &space = workspace();
    if (extractWithTool().cpu < 0)
        return false;
    for (const Entry &entry : space.entries) {
        std::string path = entry.name;
        std::replace(path.begin(), path.end(), '\\', '/');
        std::ifstream file(space.out + "/" + path, std::ios::binary);
        if (Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()) != entry.plain)
            return false;
    }
    return true;
}

Timing bestExtract, bestDecode;

void keepFastest(Timing &best, const Timing &run) {
    if (best.cpu < 0 || run.cpu < best.cpu)
        best = run;
}

void BM_ExtractWithTool(benchmark::State &state) {
    for (auto _ : state) {
        Timing run = extractWithTool();
        if (run.cpu < 0) {
            state.SkipWithError("qarvex -x failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        keepFastest(bestExtract, run);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * workspace().bytes);
}
BENCHMARK(BM_ExtractWithTool)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DecodeInMemory(benchmark::State &state) {
    VolumeRStream volume;
    Bytes buffer(Piece);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        double startCpu = ownProcessorTime();
        if (!decodeInMemory(volume, buffer)) {
            state.SkipWithError("decoding failed");
            return;
        }
        benchmark::DoNotOptimize(buffer.data());
        Timing run{ownProcessorTime() - startCpu,
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
        state.SetIterationTime(run.cpu);
        keepFastest(bestDecode, run);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * workspace().bytes);
}
BENCHMARK(BM_DecodeInMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    const Workspace &space = workspace();
    if (!space.ready || !extractedFilesMatch()) {
        std::fprintf(stderr, "could not make the volume, or the tool's files differ from the entries\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    if (bestExtract.cpu > 0 && bestDecode.cpu > 0) {
        double megabytes = double(space.bytes) / 1e6;
        std::printf(
            "\n%zu LZH entries, %.1f MB decoded (fastest runs, processor time; wall clock in brackets):\n",
            space.entries.size(), megabytes);
        std::printf("  qarvex -x (a process, files written): %6.1f ms, %5.1f MB/s  [%6.1f ms]\n",
                    bestExtract.cpu * 1e3, megabytes / bestExtract.cpu, bestExtract.wall * 1e3);
        std::printf("  decoded into memory:                  %6.1f ms, %5.1f MB/s  [%6.1f ms]\n",
                    bestDecode.cpu * 1e3, megabytes / bestDecode.cpu, bestDecode.wall * 1e3);
        std::printf(
            "  extraction / in-memory decoding = %.2f  [%.2f]: the cost of the process and the files\n",
            bestExtract.cpu / bestDecode.cpu, bestExtract.wall / bestDecode.wall);
    }
    benchmark::Shutdown();
    return 0;
}
