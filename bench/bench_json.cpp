// --json against the text output on a 200,000-entry volume: `qarvex -l '*' big.vol` and the same
// with --json, and the search likewise, each as a child process with its output thrown away, timed
// in the same run. Prints the time ratios (goal: -l --json at most 1.5 times the text listing).
#include "bench/ChildRun.h"
#include <qarvex/volume/VolumeBuilder.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qarvex;

namespace {

constexpr int EntryCount = 200000;

// The volume, made once: names of every kind, a few with bytes above 0x7F and quotes, which the
// JSON text has to decode and escape.
const std::string &bigVolume() {
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qarvex-json-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return std::string();
        std::string volume = pattern + "/big.vol";
        VolumeBuilder builder;
        for (int i = 0; i < EntryCount; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, i % 10 == 0 ? "art\\caf\xE9_\"%06d\".pbm" : "level_%06d.dat", i);
            builder.add(uint32_t(i + 1), name, "");
        }
        return builder.writeFile(volume.c_str(), VolumeBuilder::Variant::PVOL) ? volume : std::string();
    }();
    return path;
}

// The fastest run of each command counts, the machine being shared with other work.
double best[4] = {0, 0, 0, 0};

// range(0): 0 -l, 1 -l --json, 2 search, 3 search --json.
void BM_Tool(benchmark::State &state) {
    int which = int(state.range(0));
    if (bigVolume().empty()) {
        state.SkipWithError("could not make big.vol");
        return;
    }
    std::vector<std::string> command{QARVEX_TOOL_PATH};
    if (which < 2)
        command.push_back("-l");
    if (which % 2)
        command.push_back("--json");
    command.insert(command.end(), {"*", bigVolume()});
    for (auto _ : state) {
        ChildRun run = runChild(command);
        double seconds = run.seconds;
        if (!run.ok) {
            state.SkipWithError("qarvex failed");
            return;
        }
        state.SetIterationTime(seconds);
        best[which] = best[which] == 0 ? seconds : std::min(best[which], seconds);
    }
}

BENCHMARK(BM_Tool)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (best[0] > 0 && best[1] > 0)
        std::printf("\n%d entries, fastest runs: -l %.2f ms, -l --json %.2f ms; ratio %.2f (goal <= 1.50)\n",
                    EntryCount, best[0] * 1e3, best[1] * 1e3, best[1] / best[0]);
    if (best[2] > 0 && best[3] > 0)
        std::printf("search %.2f ms, search --json %.2f ms; ratio %.2f\n", best[2] * 1e3, best[3] * 1e3,
                    best[3] / best[2]);
    if (!bigVolume().empty())
        std::filesystem::remove_all(std::filesystem::path(bigVolume()).parent_path());
    benchmark::Shutdown();
    return 0;
}
