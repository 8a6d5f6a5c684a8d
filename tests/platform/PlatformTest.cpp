// The platform layer's contract, the same on every system: file calls and the Windows error
// numbers they report, sharing, mapping, the current directory, directory searches and the
// fatal-report services.
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/TemporaryFile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qarvex {

namespace fs = std::filesystem;
using namespace platform;

namespace {

// A fresh directory for one test, removed afterwards.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / (std::string("qarvex-platform-") + info->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string path(const std::string &name) const { return (root / name).string(); }
    void makeFile(const std::string &name, const std::string &bytes) const {
        std::ofstream(root / name, std::ios::binary) << bytes;
    }

    fs::path root;
};

using Files = Scratch;
using Directories = Scratch;

std::string readAll(FileHandle file) {
    char buffer[64] = {};
    int32_t got = 0;
    EXPECT_TRUE(readFile(file, buffer, sizeof buffer, got));
    return std::string(buffer, size_t(got));
}

TEST_F(Files, SizesBeyond32BitsAreReportedWhole) {
    // Sparse files around the 32-bit boundaries, which a 32-bit size would wrap or turn negative.
    makeFile("big.bin", "0123456789");
    for (uint64_t size : {uint64_t(INT32_MAX) + 1, (uint64_t(1) << 32) - 1, (uint64_t(1) << 32) + 10}) {
        fs::resize_file(root / "big.bin", size);
        FileHandle file = openFile(path("big.bin").c_str(), OpenMode::ReadShared);
        ASSERT_NE(file, InvalidFile);
        EXPECT_EQ(fileSize(file), int64_t(size));
        EXPECT_EQ(readAll(file), "0123456789" + std::string(54, '\0'));
        EXPECT_TRUE(closeFile(file));
    }
}

TEST_F(Files, ReadSeekAndSizeOfAnExistingFile) {
    makeFile("data.bin", "0123456789");
    FileHandle file = openFile(path("data.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    EXPECT_EQ(fileSize(file), 10);

    char buffer[4] = {};
    int32_t got = -1;
    ASSERT_TRUE(readFile(file, buffer, 4, got));
    EXPECT_EQ(got, 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(seekFile(file, 0, SeekFrom::Current), 4);
    EXPECT_EQ(seekFile(file, 3, SeekFrom::Current), 7);
    EXPECT_EQ(readAll(file), "789");
    // At the end a read succeeds with nothing.
    ASSERT_TRUE(readFile(file, buffer, 4, got));
    EXPECT_EQ(got, 0);
    EXPECT_EQ(seekFile(file, -2, SeekFrom::End), 8);
    EXPECT_EQ(readAll(file), "89");
    EXPECT_EQ(seekFile(file, 1, SeekFrom::Begin), 1);
    EXPECT_EQ(readAll(file), "123456789");
    EXPECT_TRUE(closeFile(file));
}

TEST_F(Files, AMoveBeforeTheStartFailsAndLeavesThePositionAlone) {
    makeFile("data.bin", "0123456789");
    FileHandle file = openFile(path("data.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    ASSERT_EQ(seekFile(file, 5, SeekFrom::Begin), 5);
    EXPECT_EQ(seekFile(file, -6, SeekFrom::Current), -1);
    EXPECT_NE(lastError(), error::None);
    EXPECT_EQ(seekFile(file, 0, SeekFrom::Current), 5);
    closeFile(file);
}

TEST_F(Files, ReadWriteModesCreateMissingFilesAndKeepExistingBytes) {
    for (OpenMode mode : {OpenMode::ReadWriteShared, OpenMode::ReadWriteExclusive}) {
        SCOPED_TRACE(int(mode));
        std::string name = path("created-" + std::to_string(int(mode)));
        FileHandle file = openFile(name.c_str(), mode);
        ASSERT_NE(file, InvalidFile);
        int32_t written = 0;
        ASSERT_TRUE(writeFile(file, "abc", 3, written));
        EXPECT_EQ(written, 3);
        ASSERT_TRUE(closeFile(file));

        file = openFile(name.c_str(), mode);
        ASSERT_NE(file, InvalidFile);
        EXPECT_EQ(fileSize(file), 3); // reopening never truncates
        EXPECT_EQ(seekFile(file, 0, SeekFrom::End), 3);
        ASSERT_TRUE(writeFile(file, "de", 2, written));
        EXPECT_EQ(seekFile(file, 0, SeekFrom::Begin), 0);
        EXPECT_EQ(readAll(file), "abcde");
        closeFile(file);
    }
}

TEST_F(Files, FailuresReportWindowsErrorNumbers) {
    fs::create_directory(root / "folder");
    struct Case {
        const char *what;
        std::string path;
        OpenMode mode;
        uint32_t error;
    } cases[] = {
        {"missing file", path("missing.bin"), OpenMode::ReadShared, error::FileNotFound},
        {"directory for reading", path("folder"), OpenMode::ReadShared, error::AccessDenied},
        {"directory for writing", path("folder"), OpenMode::ReadWriteExclusive, error::AccessDenied},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(openFile(c.path.c_str(), c.mode), InvalidFile);
        EXPECT_EQ(lastError(), c.error);
    }
}

TEST_F(Files, ShareModesOfTheOpenModes) {
    makeFile("shared.bin", "x");
    std::string name = path("shared.bin");
    struct Case {
        OpenMode held;
        OpenMode wanted;
        bool granted;
    } cases[] = {
        {OpenMode::ReadShared, OpenMode::ReadShared, true},
        {OpenMode::ReadShared, OpenMode::ReadWriteExclusive, false},
        {OpenMode::ReadWriteExclusive, OpenMode::ReadShared, false},
        {OpenMode::ReadWriteExclusive, OpenMode::ReadWriteExclusive, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(int(c.held)) + " then " + std::to_string(int(c.wanted)));
        FileHandle held = openFile(name.c_str(), c.held);
        ASSERT_NE(held, InvalidFile);
        FileHandle second = openFile(name.c_str(), c.wanted);
        EXPECT_EQ(second != InvalidFile, c.granted);
        if (second != InvalidFile)
            closeFile(second);
        else
            EXPECT_EQ(lastError(), error::SharingViolation);
        closeFile(held);
    }
}

TEST_F(Files, EveryFileCallIsCounted) {
    makeFile("count.bin", "abc");
    uint64_t before = fileCallCount();
    FileHandle file = openFile(path("count.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    char byte;
    int32_t got;
    readFile(file, &byte, 1, got);
    seekFile(file, 0, SeekFrom::Begin);
    fileSize(file);
    closeFile(file);
    EXPECT_EQ(fileCallCount() - before, 5u);
}

TEST_F(Files, AMappedViewShowsTheFileBytes) {
    const std::string bytes("PVOL\x16\0\0\0rest", 12);
    makeFile("mapped.bin", bytes);
    FileHandle file = openFile(path("mapped.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    MappedView view;
    ASSERT_TRUE(mapFile(file, fileSize(file), false, view));
    EXPECT_EQ(view.size, 12);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(view.data), 12), bytes);
    unmapFile(view);
    EXPECT_EQ(view.data, nullptr);
    EXPECT_EQ(view.mapping, 0);

    EXPECT_FALSE(mapFile(file, 0, false, view));
    EXPECT_EQ(view.data, nullptr);
    closeFile(file);
}

TEST_F(Files, AWritableViewChangesTheFile) {
    makeFile("mapped.bin", "abcd");
    FileHandle file = openFile(path("mapped.bin").c_str(), OpenMode::ReadWriteShared);
    ASSERT_NE(file, InvalidFile);
    MappedView view;
    ASSERT_TRUE(mapFile(file, 4, true, view));
    view.data[0] = 'X';
    unmapFile(view);
    seekFile(file, 0, SeekFrom::Begin);
    EXPECT_EQ(readAll(file), "Xbcd");
    closeFile(file);
}

// The current directory, restored whatever the test does.
class CurrentDirectory : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        saved = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(saved);
        Scratch::TearDown();
    }
    fs::path saved;
};

TEST_F(Files, TemporaryFilesGetFreshHiddenNamesInTheFolder) {
    FolderHandle folder = openFolder(root.string().c_str());
    ASSERT_NE(folder, InvalidFolder);
    std::string first, second;
    FileHandle a = createTemporaryIn(folder, first);
    FileHandle b = createTemporaryIn(folder, second);
    ASSERT_NE(a, InvalidFile);
    ASSERT_NE(b, InvalidFile);
    EXPECT_NE(first, second);
    for (const std::string &name : {first, second}) {
        EXPECT_EQ(name.size(), std::string(".qarvex-01234567.part").size()) << name;
        EXPECT_EQ(name.rfind(".qarvex-", 0), 0u) << name;
        EXPECT_TRUE(fs::is_regular_file(root / name)) << name;
    }
    closeFile(a);
    closeFile(b);
    closeFolder(folder);
}

TEST_F(Files, AKeptTemporaryIsOnTheDiskBeforeItTakesItsName) {
    makeFile("target.bin", "old");
    FolderHandle folder = openFolder(root.string().c_str());
    ASSERT_NE(folder, InvalidFolder);
    std::vector<DurableStep> steps;
    recordDurableSteps(&steps);
    std::string temporary;
    FileHandle file = createTemporaryIn(folder, temporary);
    ASSERT_NE(file, InvalidFile);
    int32_t written = 0;
    ASSERT_TRUE(writeFile(file, "new!", 4, written));
    EXPECT_TRUE(finishTemporary(file));
    EXPECT_TRUE(keepTemporary(folder, temporary, "target.bin", true));
    recordDurableSteps(nullptr);
    EXPECT_EQ(steps, (std::vector<DurableStep>{DurableStep::FileFlushed, DurableStep::Renamed,
                                               DurableStep::FolderFlushed}));
    {
        // Closed before the next rename: Windows never replaces a file that is open.
        std::ifstream in(root / "target.bin", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new!");
    }
    EXPECT_FALSE(fs::exists(root / temporary));

    // A discarded one is gone, and never flushed or renamed.
    steps.clear();
    recordDurableSteps(&steps);
    file = createTemporaryIn(folder, temporary);
    ASSERT_NE(file, InvalidFile);
    closeFile(file);
    discardTemporary(folder, temporary);
    recordDurableSteps(nullptr);
    EXPECT_TRUE(steps.empty());
    EXPECT_FALSE(fs::exists(root / temporary));

    // A cache file is renamed into place whole, but neither its data nor its name is waited for.
    steps.clear();
    recordDurableSteps(&steps);
    file = createTemporaryIn(folder, temporary);
    ASSERT_NE(file, InvalidFile);
    ASSERT_TRUE(writeFile(file, "cache", 5, written));
    EXPECT_TRUE(closeFile(file));
    EXPECT_TRUE(keepTemporary(folder, temporary, "target.bin", true, Durability::Cache));
    recordDurableSteps(nullptr);
    EXPECT_EQ(steps, std::vector<DurableStep>{DurableStep::Renamed});
    EXPECT_EQ(fs::file_size(root / "target.bin"), 5u);
    closeFolder(folder);
}

TEST_F(Files, OneLookTellsAFilesKindSizeAndTimeAsTheListingDoes) {
    makeFile("five.bin", "12345");
    fs::create_directory(root / "sub");
    FileFacts facts;
    ASSERT_TRUE(fileFacts((root / "five.bin").string().c_str(), facts));
    EXPECT_TRUE(facts.plain);
    EXPECT_EQ(facts.size, 5);
    std::vector<FoundFile> found;
    ASSERT_TRUE(listFolder(root.string(), found));
    auto five =
        std::find_if(found.begin(), found.end(), [](const FoundFile &f) { return f.name == "five.bin"; });
    ASSERT_NE(five, found.end());
    EXPECT_EQ(five->modified, facts.modified);
    EXPECT_EQ(five->size, 5);
    // A later change gives a later time.
    fs::last_write_time(root / "five.bin", fs::last_write_time(root / "five.bin") + std::chrono::seconds(5));
    FileFacts later;
    ASSERT_TRUE(fileFacts((root / "five.bin").string().c_str(), later));
    EXPECT_GT(later.modified, facts.modified);
    ASSERT_TRUE(fileFacts((root / "sub").string().c_str(), facts));
    EXPECT_FALSE(facts.plain);
    EXPECT_FALSE(fileFacts((root / "none.bin").string().c_str(), facts));
}

TEST_F(Files, ReadingRefusesWhatIsNotAPlainFile) {
#ifdef _WIN32
    const std::vector<std::string> others{"NUL"};
#else
    // Nobody writes to the pipe: opening it the ordinary way would wait forever.
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0644), 0);
    const std::vector<std::string> others{path("pipe"), "/dev/null", "/dev/zero"};
#endif
    for (const std::string &other : others) {
        EXPECT_EQ(openFile(other.c_str(), OpenMode::ReadShared), InvalidFile) << other;
        EXPECT_EQ(lastError(), error::NotAFile) << other;
    }
#ifdef _WIN32
    // The console is refused too; without one attached (as under a test runner) the system
    // already fails the open with its own reason.
    EXPECT_EQ(openFile("CON", OpenMode::ReadShared), InvalidFile);
#endif
    makeFile("plain.bin", "x");
    FileHandle file = openFile(path("plain.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    EXPECT_EQ(readAll(file), "x"); // reads wait for data again, as they should on a file
    closeFile(file);
}

#ifndef _WIN32
TEST_F(Files, AMappedFileThatShrinksReadsAsZerosAndIsCounted) {
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    makeFile("shrinking.bin", std::string(4 * page, 'v'));
    FileHandle file = openFile(path("shrinking.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    MappedView view;
    ASSERT_TRUE(mapFile(file, int32_t(4 * page), false, view));
    uint64_t before = mappedFileFaults();
    fs::resize_file(root / "shrinking.bin", page + 10);

    // What is still in the file reads as before; past its new end, zeros instead of SIGBUS.
    EXPECT_EQ(view.data[page + 9], 'v');
    EXPECT_EQ(mappedFileFaults(), before);
    EXPECT_EQ(view.data[3 * page], 0);
    EXPECT_EQ(view.data[4 * page - 1], 0);
    EXPECT_EQ(mappedFileFaults(), before + 1);
    unmapFile(view);
    closeFile(file);
}
#endif

#ifndef _WIN32
// However many views and temporaries are live at once, each is guarded: a shrinking file never
// kills the process, and an interruption removes every temporary.
TEST_F(Files, EveryViewIsGuardedHoweverManyAreMapped) {
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    makeFile("shrinking.bin", std::string(2 * page, 'v'));
    FileHandle file = openFile(path("shrinking.bin").c_str(), OpenMode::ReadShared);
    ASSERT_NE(file, InvalidFile);
    std::vector<MappedView> views(300);
    for (MappedView &view : views)
        ASSERT_TRUE(mapFile(file, int32_t(2 * page), false, view));
    fs::resize_file(root / "shrinking.bin", 10);
    uint64_t before = mappedFileFaults();
    for (size_t i : {size_t(0), size_t(64), views.size() - 1})
        EXPECT_EQ(views[i].data[page], 0) << "view " << i;
    EXPECT_EQ(mappedFileFaults(), before + 3);
    for (MappedView &view : views)
        unmapFile(view);
    closeFile(file);
}

TEST_F(Files, AnInterruptionRemovesEveryLiveTemporary) {
    FolderHandle folder = openFolder(root.string().c_str());
    ASSERT_NE(folder, InvalidFolder);
    EXPECT_EXIT(
        {
            removeTemporariesOnInterrupt();
            for (int i = 0; i < 300; ++i) {
                std::string name;
                if (createTemporaryIn(folder, name) == InvalidFile)
                    std::_Exit(2);
            }
            std::raise(SIGINT);
        },
        ::testing::ExitedWithCode(130), "");
    closeFolder(folder);
    EXPECT_TRUE(fs::is_empty(root));
}
#endif

TEST_F(CurrentDirectory, ReportsTheNeededSizeWhenTheBufferIsShort) {
    char whole[4096];
    uint32_t length = currentDirectory(whole, sizeof whole);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof whole);
    EXPECT_EQ(std::strlen(whole), length);
    EXPECT_EQ(fs::path(whole), fs::current_path());

    char tiny[2];
    EXPECT_EQ(currentDirectory(tiny, sizeof tiny), length + 1);
}

TEST_F(CurrentDirectory, ChangesAndRefusesMissingDirectories) {
    fs::create_directory(root / "inner");
    ASSERT_TRUE(setCurrentDirectory(path("inner").c_str()));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), root / "inner"));
    EXPECT_FALSE(setCurrentDirectory(path("absent").c_str()));
    EXPECT_NE(lastError(), error::None);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), root / "inner"));
}

TEST(NamesMatch, WindowsStyleWildcards) {
    struct Case {
        const char *pattern;
        const char *name;
        bool matches;
    } cases[] = {
        {"*.vol", "game.VOL", true},
        {"*.vol", "game.volume", false},
        {"*.vol", ".vol", true},
        {"GAME.VOL", "game.vol", true},
        {"game.vol", "game.vo", false},
        {"?.dat", "a.dat", true},
        {"?.dat", ".dat", false},
        {"a?", "a", false},
        {"*", "", true},
        {"*", "x", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "acb", false},
        {"000000FF.*", "000000ff.dat", true},
        {"*.*", "noextension", false},
        {"**x", "abx", true},
        {"", "", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(namesMatch(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
}

TEST(DirectoryPart, SplitsWhereThisSystemSeparatesDirectories) {
    struct Case {
        const char *path;
        size_t length;
    } cases[] = {
        {"game.vol", 0},
        {"*.vol", 0},
        {"data/game.vol", 5},
        {"/abs/dir/*.vol", 9},
        {"data/", 5},
        {"", 0},
#ifdef _WIN32
        {"data\\*.vol", 5},
        {"a/b\\c.vol", 4},
        {"C:*.vol", 2},
        {"C:\\vols\\x.vol", 8},
        {"\\\\host\\share\\v", 13},
#else
        {"data\\*.vol", 0},          // a backslash is part of a name here
#endif
    };
    for (const Case &c : cases)
        EXPECT_EQ(directoryPartLength(c.path), c.length) << c.path;
}

TEST_F(Directories, FindFirstTakesTheFirstMatchByNameIgnoringCase) {
    makeFile("b.DAT", "bb");
    makeFile("C.dat", "ccc");
    makeFile("a.txt", "a");
    fs::create_directory(root / "A.dat");
    struct Case {
        const char *pattern;
        const char *name;
        bool isDirectory;
        int64_t size;
    } cases[] = {
        {"*.dat", "A.dat", true, 0},
        {"b*", "b.DAT", false, 2},
        {"c.DAT", "C.dat", false, 3},
        {"?.t*", "a.txt", false, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pattern);
        FoundFile found;
        ASSERT_TRUE(findFirst(root.string(), c.pattern, found));
        EXPECT_EQ(found.name, c.name);
        EXPECT_EQ(found.isDirectory, c.isDirectory);
        if (!c.isDirectory) {
            EXPECT_EQ(found.size, c.size);
        }
    }
    FoundFile found;
    EXPECT_FALSE(findFirst(root.string(), "*.pbm", found));
    EXPECT_EQ(lastError(), error::FileNotFound);
    EXPECT_FALSE(findFirst(path("absent"), "*", found));
    EXPECT_NE(lastError(), error::None);
}

TEST_F(Directories, AnEmptyDirectoryMeansTheCurrentOne) {
    makeFile("000000FF.dat", "id");
    fs::path saved = fs::current_path();
    fs::current_path(root);
    FoundFile found;
    bool any = findFirst("", "000000ff.*", found);
    std::vector<std::string> names = listPlainFiles("", "*.DAT");
    fs::current_path(saved);
    ASSERT_TRUE(any);
    EXPECT_EQ(found.name, "000000FF.dat");
    EXPECT_EQ(names, std::vector<std::string>{"000000FF.dat"});
}

TEST_F(Directories, PlainFilesOnlySortedByNameIgnoringCase) {
    for (const char *name : {"b.vol", "A.vol", "c.VOL", "readme.txt", "d.volume"})
        makeFile(name, "PVOL");
    fs::create_directory(root / "sub.vol");
#ifdef _WIN32
    makeFile("hidden.vol", "PVOL");
    makeFile("system.vol", "PVOL");
    ASSERT_TRUE(SetFileAttributesA(path("hidden.vol").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA(path("system.vol").c_str(), FILE_ATTRIBUTE_SYSTEM));
#else
    makeFile(".hidden.vol", "PVOL"); // a leading dot is what hides a file here
#endif
    std::vector<std::string> expected = {"A.vol", "b.vol", "c.VOL"};
    EXPECT_EQ(listPlainFiles(root.string(), "*.vol"), expected);
    EXPECT_EQ(listPlainFiles(root.string(), "B.VOL"), std::vector<std::string>{"b.vol"});
    EXPECT_TRUE(listPlainFiles(root.string(), "*.pbm").empty());
    EXPECT_TRUE(listPlainFiles(path("absent"), "*.vol").empty());
#ifdef _WIN32
    SetFileAttributesA(path("hidden.vol").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(path("system.vol").c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST(FatalServicesDeathTest, ADebuggerBreakWithoutADebuggerReturns) {
    // A break that stopped the process (a trap signal, an unhandled breakpoint) ends the child
    // some other way than this exit.
    EXPECT_EXIT(
        {
            debugBreak();
            std::fputs("went on", stderr);
            std::exit(7);
        },
        ::testing::ExitedWithCode(7), "went on");
}

// Set by the child of the death test below; its exit must not run them.
void reportExitHandler() {
    std::fputs("exit handler ran", stderr);
}
struct ReportsTeardown {
    bool armed = false;
    ~ReportsTeardown() {
        if (armed)
            std::fputs("static teardown ran", stderr);
    }
} teardownWitness;

TEST(FatalServicesDeathTest, ExitEndsAtOnceWithTheCodeAndKeepsWhatWasPrinted) {
    EXPECT_EXIT(
        {
            teardownWitness.armed = true;
            std::atexit(reportExitHandler);
            std::setvbuf(stderr, nullptr, _IOFBF, 256); // held back, so the exit has to flush it
            std::fputs("printed before", stderr);
            exitProcessNow(1);
        },
        ::testing::ExitedWithCode(1), "^printed before$");
}

} // namespace

} // namespace qarvex
