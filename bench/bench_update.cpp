// What `qarvex -u` costs when one entry of a large volume changed: a volume of 500 LZH entries
// (the reference vectors, over and over) is extracted once, then one file is edited and the tool,
// run as a child process, brings the volume up to date from the folder and its manifest. That is
// compared with copying the volume file as a process too, with the copy's data flushed to the disk
// as the tool flushes every volume it writes (`dd conv=fsync`). With the manifest the 499 untouched
// entries are copied as stored, never decoded or coded, so the two should be close; the ratio
// update / copy is printed at the end (wall clock, fastest runs). Before anything is timed,
// the updated volume is checked to hold the edit and every other entry unchanged.
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qarvex;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int EntryCount = 500;
constexpr int Edited = 251; // a prose text
constexpr const char *EditedName = "set3\\251-prose.txt";
constexpr const char *EditedPath = "set3/251-prose.txt";

Bytes loadData(const std::string &name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs program with arguments, its output thrown away; its exit status, or -1.
int runProcess(const char *program, std::vector<std::string> arguments) {
    pid_t child = ::fork();
    if (child == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char *> argv{const_cast<char *>(program)};
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execvp(program, argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        return WEXITSTATUS(status);
    return -1;
}

int runTool(std::vector<std::string> arguments) {
    return runProcess(QARVEX_TOOL_PATH, std::move(arguments));
}

// The volume, the folder -x wrote from it, and two versions of the edited file to alternate, so
// that every update has exactly one changed entry.
struct Workspace {
    std::filesystem::path directory;
    std::string volume, folder, copy;
    Bytes edits[2];
    std::vector<Bytes> plain; // what each entry decodes to, in table order
    bool ready = false;

    Workspace() {
        const char *vectors[][2] = {{"mixed.lzh", "mixed.bin"},
                                    {"prose.lzh", "prose.txt"},
                                    {"run.lzh", "run.bin"},
                                    {"spaces.lzh", "spaces.txt"},
                                    {"hello.lzh", "hello.txt"}};
        VolumeBuilder builder;
        for (int i = 0; i < EntryCount; ++i) {
            const char *const *vector = vectors[i % 5];
            Bytes coded = loadData(vector[0]), decoded = loadData(vector[1]);
            if (coded.empty() || decoded.empty())
                return;
            std::string name = "set" + std::to_string(i % 4) + "\\" + std::to_string(i) + "-" + vector[1];
            builder.addCoded(uint32_t(i + 1), name.c_str(), int32_t(decoded.size()), VolumeStream::LZH,
                             coded);
            plain.push_back(decoded);
        }
        edits[0] = edits[1] = plain[Edited];
        edits[0].insert(edits[0].end(), {'e', 'd', 'i', 't', '\n'});
        edits[1].insert(edits[1].begin(), {'#', '\n'});
        directory = std::filesystem::temp_directory_path() /
                    ("qarvex-bench-update-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::error_code error;
        std::filesystem::create_directories(directory / "out", error);
        volume = (directory / "game.vol").string();
        folder = (directory / "out").string();
        copy = (directory / "copy.vol").string();
        ready = !error && builder.writeFile(volume.c_str(), VolumeBuilder::Variant::PVOL) &&
                runTool({"-x", "-C", folder, "*", volume}) == 0;
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

int updates = 0;

// Edits the file (the other version each time) and runs the update.
bool updateOnce() {
    Workspace &space = workspace();
    writeFile(space.folder + "/" + EditedPath, space.edits[updates++ % 2]);
    return runTool({"-u", space.volume, "-C", space.folder}) == 0;
}

bool copyVolume() {
    Workspace &space = workspace();
    return runProcess("dd",
                      {"if=" + space.volume, "of=" + space.copy, "bs=1M", "conv=fsync", "status=none"}) == 0;
}

// The updated volume holds the edit and every other entry as it was.
bool updatedVolumeIsRight() {
    Workspace &space = workspace();
    if (!updateOnce())
        return false;
    VolumeRStream volume;
    if (!volume.open(space.volume.c_str()))
        return false;
    const Vector<VolumeItem> &items = volume.entries();
    if (items.size() != EntryCount)
        return false;
    for (int32_t i = 0; i < items.size(); ++i) {
        const Bytes &expected = i == Edited ? space.edits[0] : space.plain[size_t(i)];
        VolumeItem *item = const_cast<VolumeItem *>(&items[i]);
        Bytes decoded(expected.size());
        if (item->compression != VolumeStream::LZH || item->size != int32_t(expected.size()) ||
            !volume.openItem(item) || !volume.read(item->size, decoded.data()) || decoded != expected)
            return false;
        volume.close();
    }
    return std::string(items[Edited].name) == EditedName;
}

double bestUpdate = -1, bestCopy = -1;

void timeRuns(benchmark::State &state, bool (*work)(), double &best, const char *failure) {
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!work()) {
            state.SkipWithError(failure);
            return;
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (best < 0 || seconds < best)
            best = seconds;
    }
}

void BM_UpdateOneOf500(benchmark::State &state) {
    timeRuns(state, updateOnce, bestUpdate, "qarvex -u failed");
}
BENCHMARK(BM_UpdateOneOf500)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_CopyVolumeFile(benchmark::State &state) {
    timeRuns(state, copyVolume, bestCopy, "copying failed");
}
BENCHMARK(BM_CopyVolumeFile)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!workspace().ready || !updatedVolumeIsRight()) {
        std::fprintf(stderr, "could not make the volume, or the update did not give the edited volume\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    if (bestUpdate > 0 && bestCopy > 0) {
        std::printf("\n%d LZH entries, %.1f MB volume, one entry edited (fastest runs, wall clock):\n",
                    EntryCount, double(std::filesystem::file_size(workspace().volume)) / 1e6);
        std::printf("  qarvex -u (a process):        %7.1f ms\n", bestUpdate * 1e3);
        std::printf("  copying the volume file (dd):  %7.1f ms\n", bestCopy * 1e3);
        std::printf("  update / copy = %.2f (at most 1.5 wanted)\n", bestUpdate / bestCopy);
    }
    benchmark::Shutdown();
    return 0;
}
