// POSIX implementation of the platform layer. Errors are translated to the Windows error
// numbers that the streams compare against; sharing rules are emulated with flock.
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/Wildcard.h>

#include "platform/SlotBlocks.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qarvex {

namespace platform {
namespace {

thread_local uint32_t lastErrorNumber = error::None;
// Counted on every thread that reads or writes files.
std::atomic<uint64_t> callCount{0};
std::vector<DurableStep> *durableSteps = nullptr;

void recordStep(DurableStep step) {
    if (durableSteps)
        durableSteps->push_back(step);
}

uint32_t windowsErrorFor(int errnoValue) {
    switch (errnoValue) {
    case 0:
        return error::None;
    case ENOENT:
        return error::FileNotFound;
    case ENOTDIR:
        return error::PathNotFound;
    case EMFILE:
    case ENFILE:
        return error::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return error::AccessDenied;
    case EBADF:
        return error::InvalidHandle;
    case ENOMEM:
        return error::NotEnoughMemory;
    case EWOULDBLOCK:
    case ETXTBSY:
        return error::SharingViolation;
    case ENOSPC:
    case EDQUOT:
        return error::HandleDiskFull;
    case EINVAL:
        return error::InvalidParameter;
    case EEXIST:
        return error::AlreadyExists;
    case ENAMETOOLONG:
        return error::FilenameTooLong;
    default:
        return error::Unknown;
    }
}

void failWith(int errnoValue) {
    lastErrorNumber = windowsErrorFor(errnoValue);
}

std::string directoryOrCurrent(const std::string &directory) {
    return directory.empty() ? "." : directory;
}

} // namespace

FileHandle openFile(const char *path, OpenMode mode) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    // Without O_NONBLOCK, opening a pipe for reading waits until somebody opens it for writing.
    int flags = mode == OpenMode::ReadShared ? (O_RDONLY | O_NONBLOCK) : (O_RDWR | O_CREAT);
    int fd = ::open(path, flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        failWith(errno);
        return InvalidFile;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        // Windows refuses to open a directory as a file.
        ::close(fd);
        lastErrorNumber = error::AccessDenied;
        return InvalidFile;
    }
    if (mode == OpenMode::ReadShared) {
        // A pipe or a device would be read forever, or never.
        if (!S_ISREG(info.st_mode)) {
            ::close(fd);
            lastErrorNumber = error::NotAFile;
            return InvalidFile;
        }
        ::fcntl(fd, F_SETFL, O_RDONLY);
    }
    if (mode != OpenMode::ReadWriteShared) {
        int lock = mode == OpenMode::ReadShared ? LOCK_SH : LOCK_EX;
        if (::flock(fd, lock | LOCK_NB) != 0) {
            int cause = errno;
            ::close(fd);
            failWith(cause);
            return InvalidFile;
        }
    }
    return fd;
}

bool readFile(FileHandle file, void *buffer, int32_t count, int32_t &got) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    got = 0;
    auto out = static_cast<char *>(buffer);
    while (got < count) {
        ssize_t n = ::read(int(file), out + got, size_t(count - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failWith(errno);
            return false;
        }
        if (n == 0)
            break;
        got += int32_t(n);
    }
    return true;
}

bool writeFile(FileHandle file, const void *buffer, int32_t count, int32_t &written) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    written = 0;
    auto in = static_cast<const char *>(buffer);
    while (written < count) {
        ssize_t n = ::write(int(file), in + written, size_t(count - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failWith(errno);
            return false;
        }
        written += int32_t(n);
    }
    return true;
}

bool flushFile(FileHandle file) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    if (::fsync(int(file)) != 0) {
        failWith(errno);
        return false;
    }
    recordStep(DurableStep::FileFlushed);
    return true;
}

int32_t seekFile(FileHandle file, int32_t offset, SeekFrom from) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    off_t at = ::lseek(int(file), off_t(offset), whence);
    if (at < 0) {
        failWith(errno);
        return -1;
    }
    if (at > INT32_MAX) {
        lastErrorNumber = error::InvalidParameter;
        return -1;
    }
    return int32_t(at);
}

int64_t fileSize(FileHandle file) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    struct stat info {};
    if (::fstat(int(file), &info) != 0) {
        failWith(errno);
        return -1;
    }
    return int64_t(info.st_size);
}

bool closeFile(FileHandle file) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    // Whatever else close reports, the descriptor is gone: a caller told of a failure would keep
    // the number and close it again later, when it may belong to another file. Only a number
    // that was never open is a failure.
    if (::close(int(file)) != 0 && errno == EBADF) {
        failWith(errno);
        return false;
    }
    return true;
}

uint32_t lastError() {
    return lastErrorNumber;
}

void setLastError(uint32_t code) {
    lastErrorNumber = code;
}

uint64_t fileCallCount() {
    return callCount.load(std::memory_order_relaxed);
}

namespace {

// Touching a page of a mapped file past the file's end raises SIGBUS. The views are listed where
// the handler can find them without locks: a fault inside one replaces the rest of that view with
// zero pages (mmap is a plain system call, safe here on every system this file serves), counts
// the fault and lets the reading instruction run again. Faults elsewhere go to whoever handled
// SIGBUS before.
struct GuardedView {
    std::atomic<uint8_t *> start{nullptr};
    std::atomic<size_t> size{0};
    std::atomic<int> protection{PROT_READ};
};
// Every view is guarded however many are mapped at once (see SlotBlocks).
SlotBlocks<GuardedView, 64> guardedViews;
std::atomic<uint64_t> faultCount{0};
uintptr_t pageSize = 4096;
struct sigaction previousBusHandler {};

static_assert(std::atomic<uint8_t *>::is_always_lock_free && std::atomic<size_t>::is_always_lock_free,
              "the views are read inside a signal handler");

void onBusError(int, siginfo_t *info, void *) {
    auto *at = static_cast<uint8_t *>(info->si_addr);
    bool ours = false;
    guardedViews.forEach([&](GuardedView &view) {
        uint8_t *start = view.start.load();
        size_t size = view.size.load();
        if (ours || !start || at < start || at >= start + size)
            return;
        auto page = reinterpret_cast<uint8_t *>(reinterpret_cast<uintptr_t>(at) & ~(pageSize - 1));
        ::mmap(page, size_t(start + size - page), view.protection.load(),
               MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        faultCount.fetch_add(1);
        ours = true;
    });
    // Not a view of ours: the fault happens again under the handler that was there before.
    if (!ours)
        ::sigaction(SIGBUS, &previousBusHandler, nullptr);
}

void guardViews() {
    static bool installed = [] {
        pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &previousBusHandler) == 0;
    }();
    (void)installed;
}

// False when no room could be had for the view (memory ran out).
bool guard(uint8_t *start, size_t size, int protection) {
    guardViews();
    return guardedViews.claim([&](GuardedView &view) {
        uint8_t *expected = nullptr;
        // Claimed by its start; the handler skips a view whose size is not set yet (size 0).
        if (!view.start.compare_exchange_strong(expected, start))
            return false;
        view.protection.store(protection);
        view.size.store(size);
        return true;
    });
}

void unguard(uint8_t *start) {
    guardedViews.forEach([&](GuardedView &view) {
        if (view.start.load() == start) {
            view.size.store(0);
            view.start.store(nullptr);
        }
    });
}

} // namespace

bool mapFile(FileHandle file, int32_t size, bool writable, MappedView &view) {
    view = MappedView{};
    if (size <= 0) {
        lastErrorNumber = error::InvalidParameter;
        return false;
    }
    int protection = writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
    void *at = ::mmap(nullptr, size_t(size), protection, MAP_SHARED, int(file), 0);
    if (at == MAP_FAILED) {
        failWith(errno);
        return false;
    }
    // An unguarded view would crash the process if the file shrank: none is handed out.
    if (!guard(static_cast<uint8_t *>(at), size_t(size), protection)) {
        ::munmap(at, size_t(size));
        lastErrorNumber = error::NotEnoughMemory;
        return false;
    }
    view.data = static_cast<uint8_t *>(at);
    view.size = size;
    return true;
}

void unmapFile(MappedView &view) {
    if (view.data) {
        unguard(view.data);
        ::munmap(view.data, size_t(view.size));
    }
    view = MappedView{};
}

uint64_t mappedFileFaults() {
    return faultCount.load();
}

uint32_t currentDirectory(char *buffer, uint32_t size) {
    if (size > 0 && ::getcwd(buffer, size))
        return uint32_t(std::strlen(buffer));
    if (errno != ERANGE && size > 0) {
        failWith(errno);
        return 0;
    }
    char *whole = ::getcwd(nullptr, 0);
    if (!whole) {
        failWith(errno);
        return 0;
    }
    uint32_t needed = uint32_t(std::strlen(whole)) + 1;
    std::free(whole);
    return needed;
}

bool setCurrentDirectory(const char *path) {
    if (::chdir(path) != 0) {
        failWith(errno);
        return false;
    }
    return true;
}

bool canEnterDirectory(const char *path) {
    struct stat info {};
    if (::stat(path, &info) != 0) {
        failWith(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        lastErrorNumber = error::PathNotFound;
        return false;
    }
    // chdir needs search permission, which stat does not check.
    if (::access(path, X_OK) != 0) {
        failWith(errno);
        return false;
    }
    return true;
}

size_t directoryPartLength(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash ? size_t(slash - path + 1) : 0;
}

bool findFirst(const std::string &directory, const char *pattern, FoundFile &found) {
    std::string where = directoryOrCurrent(directory);
    DIR *dir = ::opendir(where.c_str());
    if (!dir) {
        failWith(errno);
        return false;
    }
    bool any = false;
    while (dirent *entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || !namesMatch(pattern, name.c_str()))
            continue;
        if (any && compareNamesIgnoringCase(name, found.name) >= 0)
            continue;
        struct stat info {};
        if (::stat((where + '/' + name).c_str(), &info) != 0)
            continue; // a dangling link is not an object the search can report
        found.name = name;
        found.isDirectory = S_ISDIR(info.st_mode);
        found.size = int64_t(info.st_size);
        any = true;
    }
    ::closedir(dir);
    if (!any)
        lastErrorNumber = error::FileNotFound;
    return any;
}

std::vector<std::string> listPlainFiles(const std::string &directory, const char *pattern) {
    std::vector<std::string> names;
    std::string where = directoryOrCurrent(directory);
    DIR *dir = ::opendir(where.c_str());
    if (!dir) {
        failWith(errno);
        return names;
    }
    while (dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || !namesMatch(pattern, entry->d_name))
            continue;
        struct stat info {};
        if (::stat((where + '/' + entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    sortNamesIgnoringCase(names);
    return names;
}

namespace {

// The time of a file's last change in nanoseconds since 1970.
int64_t modifiedTime(const struct stat &info) {
    return int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

} // namespace

bool listFolder(const std::string &directory, std::vector<FoundFile> &found) {
    found.clear();
    std::string where = directoryOrCurrent(directory);
    DIR *dir = ::opendir(where.c_str());
    if (!dir) {
        failWith(errno);
        return false;
    }
    while (dirent *entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (entry->d_type == DT_DIR) {
            found.push_back({name, true, 0, 0});
            continue;
        }
        // The type the folder gives spares a look at the entry itself: only a link (or a file
        // system that does not say) needs one besides the look at what it leads to.
        bool mayBeLink = entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
        std::string path = where + '/' + name;
        struct stat own {};
        struct stat target {};
        if ((mayBeLink && ::lstat(path.c_str(), &own) != 0) || ::stat(path.c_str(), &target) != 0)
            continue; // gone meanwhile, or a dangling link
        if (!mayBeLink)
            own = target;
        if (S_ISREG(target.st_mode))
            found.push_back({name, false, int64_t(target.st_size), modifiedTime(target)});
        else if (S_ISDIR(own.st_mode))
            found.push_back({name, true, 0, 0});
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const FoundFile &a, const FoundFile &b) {
        return compareNamesIgnoringCase(a.name, b.name) < 0;
    });
    return true;
}

namespace {

// Why name in folder could not be used as asked: a link or something that is not a folder takes
// precedence over the error the call itself gave, which differs between systems.
void failAt(int folder, const char *name, int errnoValue, bool wantFolder) {
    struct stat info {};
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(info.st_mode)) {
            lastErrorNumber = error::StoppedOnSymlink;
            return;
        }
        if (wantFolder && !S_ISDIR(info.st_mode)) {
            lastErrorNumber = error::NotADirectory;
            return;
        }
    }
    failWith(errnoValue);
}

} // namespace

FolderHandle openFolder(const char *path) {
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOTDIR)
            lastErrorNumber = error::NotADirectory;
        else
            failWith(errno);
        return InvalidFolder;
    }
    return fd;
}

FolderHandle openSubfolder(FolderHandle parent, const char *name) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(int(parent), name, flags);
    if (fd < 0 && errno == ENOENT) {
        // Created by somebody else in the meantime is as good as created here.
        if (::mkdirat(int(parent), name, 0777) != 0 && errno != EEXIST) {
            failAt(int(parent), name, errno, true);
            return InvalidFolder;
        }
        fd = ::openat(int(parent), name, flags);
    }
    if (fd < 0) {
        failAt(int(parent), name, errno, true);
        return InvalidFolder;
    }
    return fd;
}

void closeFolder(FolderHandle folder) {
    if (folder != InvalidFolder)
        ::close(int(folder));
}

FileHandle createFileIn(FolderHandle folder, const char *name) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    // O_EXCL fails on any name already there, a dangling link included, and never follows one.
    int fd = ::openat(int(folder), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        failWith(errno);
        return InvalidFile;
    }
    return fd;
}

namespace {

// A renamed file's new name lives in its folder, which is flushed as a file is (unless the file is a
// cache). File systems that cannot flush a folder (EINVAL) keep their entries safe some other way.
bool flushFolderAfterRename(FolderHandle folder, Durability durability) {
    recordStep(DurableStep::Renamed);
    if (durability == Durability::Cache)
        return true;
    if (::fsync(int(folder)) != 0 && errno != EINVAL) {
        failWith(errno);
        return false;
    }
    recordStep(DurableStep::FolderFlushed);
    return true;
}

} // namespace

bool renameIn(FolderHandle folder, const char *from, const char *to, bool replace, Durability durability) {
    if (replace) {
        if (::renameat(int(folder), from, int(folder), to) != 0) {
            failAt(int(folder), to, errno, false);
            return false;
        }
        return flushFolderAfterRename(folder, durability);
    }
    // A hard link is made only when the name is free, in one step: nothing that appears at to
    // between a check and the rename can be overwritten.
    if (::linkat(int(folder), from, int(folder), to, 0) == 0) {
        ::unlinkat(int(folder), from, 0);
        return flushFolderAfterRename(folder, durability);
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK) {
        failWith(errno);
        return false;
    }
    // A file system without hard links: check, then rename.
    if (existsIn(folder, to)) {
        lastErrorNumber = error::AlreadyExists;
        return false;
    }
    return renameIn(folder, from, to, true, durability);
}

bool removeFileIn(FolderHandle folder, const char *name) {
    if (::unlinkat(int(folder), name, 0) != 0) {
        failWith(errno);
        return false;
    }
    return true;
}

bool fileFacts(const char *path, FileFacts &facts) {
    struct stat info {};
    if (::stat(path, &info) != 0) {
        failWith(errno);
        return false;
    }
    facts.plain = S_ISREG(info.st_mode);
    facts.size = int64_t(info.st_size);
    facts.modified = modifiedTime(info);
    return true;
}

bool existsIn(FolderHandle folder, const char *name) {
    struct stat info {};
    return ::fstatat(int(folder), name, &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void recordDurableSteps(std::vector<DurableStep> *record) {
    durableSteps = record;
}

namespace {

void (*interruptCleanup)() = nullptr;

void cleanUpAndExit(int signalNumber) {
    if (interruptCleanup)
        interruptCleanup();
    ::_exit(128 + signalNumber);
}

} // namespace

void onInterrupt(void (*cleanup)()) {
    interruptCleanup = cleanup;
    struct sigaction action {};
    action.sa_handler = cleanUpAndExit;
    sigemptyset(&action.sa_mask);
    // While one of them is being handled the others wait: the cleanup runs once.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
}

std::thread startWorkerThread(std::function<void()> body) {
    // A new thread starts with its creator's signal mask: blocked around the start, then put back.
    sigset_t interrupts, before;
    sigemptyset(&interrupts);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interrupts, signalNumber);
    ::pthread_sigmask(SIG_BLOCK, &interrupts, &before);
    std::thread thread(std::move(body));
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return thread;
}

std::string fileIdentity(FolderHandle folder, const char *name) {
    struct stat info {};
    if (::fstatat(folder == InvalidFolder ? AT_FDCWD : int(folder), name, &info, 0) != 0) {
        failWith(errno);
        return {};
    }
    return std::to_string(uint64_t(info.st_dev)) + ':' + std::to_string(uint64_t(info.st_ino));
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

PromptAnswer askRetryOrCancel(const char *caption, const char *text) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO))
        return PromptAnswer::Unavailable;
    std::fprintf(stderr, "\n%s\n\n%s\n\n[R]etry or [C]ancel? ", caption, text);
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return PromptAnswer::Unavailable;
    return (answer[0] == 'r' || answer[0] == 'R') ? PromptAnswer::Retry : PromptAnswer::Cancel;
}

void debugBreak() {
    // Without a debugger a trap would kill the process, and Retry promises to go on.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            if (std::atoi(line.c_str() + 10) != 0)
                std::raise(SIGTRAP);
            return;
        }
    }
}

void exitProcessNow(int code) {
    // Whatever the program already printed must not be lost with the process.
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(code);
}

} // namespace platform

} // namespace qarvex
