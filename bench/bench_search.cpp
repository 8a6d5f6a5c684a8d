// Searching a 200,000-entry volume with the built qarvex against listing the same names from a
// zip with zipinfo, ignoring case: `qarvex EXPRESSION big.vol` vs `zipinfo -1 -C big.zip
// EXPRESSION`, both as child processes with their output thrown away, timed in the same run, for a
// star and a plain ending (*0.pft) and for a plain start, a star and a plain ending (SKY*.PFT).
// Prints the time ratios (goal: qarvex at most 0.15 of zipinfo's time), each program's peak
// resident memory, and qarvex on a 1,000,000-entry volume against the 200,000-entry one (the
// cost per entry should not grow).
#include "bench/ChildRun.h"
#include <qarvex/volume/VolumeBuilder.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qarvex;

namespace {

constexpr int EntryCount = 200000;
constexpr int LargeEntryCount = 1000000;
constexpr int MatchEvery = 20; // 10,000 names end in .pft: fewer than the tool's 16,384 limit
const char *const Expressions[] = {"*0.pft", "SKY*.PFT"};

struct Workspace {
    std::filesystem::path directory;
    std::string volume;
    std::string zip;
    std::string largeVolume;
    bool ready = false;
};

std::string entryName(int i) {
    static const char *const kinds[] = {"tex", "snd", "map", "font", "ui", "sky", "level"};
    static const char *const extensions[] = {".pbm", ".dat", ".pba", ".txt", ".ppl", ".map", ".sdt"};
    char name[64];
    const char *extension = i % MatchEvery == 0 ? ".pft" : extensions[i % 7];
    std::snprintf(name, sizeof name, "%s_%06d%s", kinds[(i / 3) % 7], i, extension);
    return name;
}

// Writes big.vol with the project's builder and big.zip with the zip command from the same names.
bool makeFiles(const Workspace &made) {
    VolumeBuilder builder;
    std::filesystem::path files = made.directory / "files";
    std::filesystem::create_directory(files);
    std::ofstream list(made.directory / "names.txt");
    for (int i = 0; i < EntryCount; ++i) {
        std::string name = entryName(i);
        builder.add(uint32_t(i + 1), name.c_str(), "");
        list << name << '\n';
        int fd = ::open((files / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0)
            ::close(fd);
    }
    list.close();
    if (!builder.writeFile(made.volume.c_str(), VolumeBuilder::Variant::PVOL))
        return false;
    VolumeBuilder large;
    for (int i = 0; i < LargeEntryCount; ++i)
        large.add(uint32_t(i + 1), entryName(i).c_str(), "");
    if (!large.writeFile(made.largeVolume.c_str(), VolumeBuilder::Variant::PVOL))
        return false;
    std::string command = "cd '" + files.string() + "' && zip -q -0 -X '" + made.zip + "' -@ < ../names.txt";
    if (std::system(command.c_str()) != 0)
        return false;
    std::filesystem::remove_all(files);
    return true;
}

Workspace &workspace() {
    static Workspace space = [] {
        Workspace made;
        std::string pattern = (std::filesystem::temp_directory_path() / "qarvex-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return made;
        made.directory = pattern;
        made.volume = (made.directory / "big.vol").string();
        made.zip = (made.directory / "big.zip").string();
        made.largeVolume = (made.directory / "large.vol").string();
        // Made in a child process: a spawned program starts with the peak memory of its parent's
        // address space, so this process must stay small for the children's peaks to be theirs.
        pid_t maker = ::fork();
        if (maker == 0)
            ::_exit(makeFiles(made) ? 0 : 1);
        int status = 0;
        made.ready = maker > 0 && ::waitpid(maker, &status, 0) == maker && WIFEXITED(status) &&
                     WEXITSTATUS(status) == 0;
        return made;
    }();
    return space;
}

std::vector<std::string> qarvexCommand(int expression, bool large = false) {
    return {QARVEX_TOOL_PATH, Expressions[expression], large ? workspace().largeVolume : workspace().volume};
}
std::vector<std::string> zipinfoCommand(int expression) {
    return {"zipinfo", "-1", "-C", workspace().zip, Expressions[expression]};
}

struct Totals {
    double seconds = 0;
    long runs = 0;
    long peakKilobytes = 0;
    // Each run's time: the fastest counts, the machine being shared with other work.
    double best = 0;
};
Totals qarvexTotals[2], zipinfoTotals[2], largeTotals;

void timeChild(benchmark::State &state, const std::vector<std::string> &command, Totals &totals) {
    if (!workspace().ready) {
        state.SkipWithError("could not make big.vol and big.zip (zip installed?)");
        return;
    }
    for (auto _ : state) {
        ChildRun run = runChild(command);
        if (!run.ok) {
            state.SkipWithError("the program failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        totals.seconds += run.seconds;
        totals.best = totals.runs == 0 ? run.seconds : std::min(totals.best, run.seconds);
        ++totals.runs;
        totals.peakKilobytes = std::max(totals.peakKilobytes, run.peakKilobytes);
    }
    state.counters["peak_KiB"] = double(totals.peakKilobytes);
}

void BM_QarvexSearch(benchmark::State &state) {
    timeChild(state, qarvexCommand(int(state.range(0))), qarvexTotals[state.range(0)]);
}
void BM_ZipinfoSearch(benchmark::State &state) {
    timeChild(state, zipinfoCommand(int(state.range(0))), zipinfoTotals[state.range(0)]);
}
void BM_QarvexSearchMillion(benchmark::State &state) {
    timeChild(state, qarvexCommand(1, true), largeTotals);
}

BENCHMARK(BM_QarvexSearch)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZipinfoSearch)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QarvexSearchMillion)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

long countLines(const std::vector<std::string> &command, const std::filesystem::path &output) {
    if (!runChild(command, output.c_str()).ok)
        return -1;
    std::ifstream in(output);
    long lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Workspace &space = workspace();
    if (space.ready) {
        for (int e = 0; e < 2; ++e) {
            if (qarvexTotals[e].runs == 0 || zipinfoTotals[e].runs == 0)
                continue;
            // Both must have found the same names: the volume's name line is the one extra line.
            long qarvexLines = countLines(qarvexCommand(e), space.directory / "qarvex.out") - 1;
            long zipinfoLines = countLines(zipinfoCommand(e), space.directory / "zipinfo.out");
            std::printf("\n%d entries, expression %s: qarvex listed %ld names, zipinfo %ld\n", EntryCount,
                        Expressions[e], qarvexLines, zipinfoLines);
            std::printf(
                "fastest run: qarvex %.2f ms, zipinfo %.2f ms; qarvex/zipinfo = %.3f (goal <= 0.150)\n",
                qarvexTotals[e].best * 1e3, zipinfoTotals[e].best * 1e3,
                qarvexTotals[e].best / zipinfoTotals[e].best);
            std::printf("peak resident memory: qarvex %ld KiB, zipinfo %ld KiB\n",
                        qarvexTotals[e].peakKilobytes, zipinfoTotals[e].peakKilobytes);
        }
        if (largeTotals.runs > 0 && qarvexTotals[1].runs > 0)
            std::printf(
                "\n%d entries against %d: time x%.2f, peak memory %ld KiB against %ld KiB (linear: x%.0f)\n",
                LargeEntryCount, EntryCount, largeTotals.best / qarvexTotals[1].best,
                largeTotals.peakKilobytes, qarvexTotals[1].peakKilobytes,
                double(LargeEntryCount) / EntryCount);
        struct rusage self {};
        ::getrusage(RUSAGE_SELF, &self);
        std::printf("(a child's peak memory cannot be below this process's own peak, %ld KiB)\n",
                    self.ru_maxrss);
        std::printf("file sizes: big.vol %lld bytes, large.vol %lld bytes, big.zip %lld bytes\n",
                    (long long)std::filesystem::file_size(space.volume),
                    (long long)std::filesystem::file_size(space.largeVolume),
                    (long long)std::filesystem::file_size(space.zip));
    }
    if (!space.directory.empty())
        std::filesystem::remove_all(space.directory);
    benchmark::Shutdown();
    return 0;
}
