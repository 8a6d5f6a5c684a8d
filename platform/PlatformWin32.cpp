// Win32 implementation of the platform layer. The system's own error numbers are already the
// ones the streams compare against; sharing rules are the share modes of CreateFileA.
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/Wildcard.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

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

HANDLE toHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// Keeps the system's reason; a failure that left no reason behind still has to read as one.
void failWithSystemError() {
    DWORD code = ::GetLastError();
    lastErrorNumber = code != ERROR_SUCCESS ? uint32_t(code) : error::Unknown;
}

// directory joined with name; an empty directory is the current one.
std::string inDirectory(const std::string &directory, const char *name) {
    if (directory.empty())
        return name;
    std::string path = directory;
    char last = path.back();
    if (last != '\\' && last != '/' && last != ':')
        path += '\\';
    return path + name;
}

} // namespace

FileHandle openFile(const char *path, OpenMode mode) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode != OpenMode::ReadShared) {
        access |= GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
    }
    if (mode == OpenMode::ReadWriteExclusive)
        share = 0;
    // A directory cannot be opened this way (no FILE_FLAG_BACKUP_SEMANTICS): ERROR_ACCESS_DENIED.
    HANDLE handle = ::CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithSystemError();
        return InvalidFile;
    }
    // A pipe or a device (CON, a named pipe) would be read forever, or never.
    if (mode == OpenMode::ReadShared && ::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        lastErrorNumber = error::NotAFile;
        return InvalidFile;
    }
    return reinterpret_cast<FileHandle>(handle);
}

bool readFile(FileHandle file, void *buffer, int32_t count, int32_t &got) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    got = 0;
    if (count < 0) {
        lastErrorNumber = error::InvalidParameter;
        return false;
    }
    DWORD read = 0;
    if (!::ReadFile(toHandle(file), buffer, DWORD(count), &read, nullptr)) {
        failWithSystemError();
        return false;
    }
    got = int32_t(read);
    return true;
}

bool writeFile(FileHandle file, const void *buffer, int32_t count, int32_t &written) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    written = 0;
    if (count < 0) {
        lastErrorNumber = error::InvalidParameter;
        return false;
    }
    DWORD done = 0;
    if (!::WriteFile(toHandle(file), buffer, DWORD(count), &done, nullptr)) {
        failWithSystemError();
        return false;
    }
    written = int32_t(done);
    return true;
}

bool flushFile(FileHandle file) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    if (!::FlushFileBuffers(toHandle(file))) {
        failWithSystemError();
        return false;
    }
    recordStep(DurableStep::FileFlushed);
    return true;
}

int32_t seekFile(FileHandle file, int32_t offset, SeekFrom from) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    DWORD method = from == SeekFrom::Begin ? FILE_BEGIN : from == SeekFrom::Current ? FILE_CURRENT : FILE_END;
    // The high half carries the sign, so a backward move is a move back and never a move to ~4 GiB.
    LONG high = offset < 0 ? -1 : 0;
    ::SetLastError(ERROR_SUCCESS);
    DWORD low = ::SetFilePointer(toHandle(file), LONG(offset), &high, method);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != ERROR_SUCCESS) {
        failWithSystemError(); // a move before the start is ERROR_NEGATIVE_SEEK and moves nothing
        return -1;
    }
    if (high != 0 || low > DWORD(INT32_MAX)) {
        lastErrorNumber = error::InvalidParameter;
        return -1;
    }
    return int32_t(low);
}

int64_t fileSize(FileHandle file) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    DWORD high = 0;
    ::SetLastError(ERROR_SUCCESS);
    DWORD low = ::GetFileSize(toHandle(file), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != ERROR_SUCCESS) {
        failWithSystemError();
        return -1;
    }
    return int64_t(uint64_t(high) << 32 | low);
}

bool closeFile(FileHandle file) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    if (!::CloseHandle(toHandle(file))) {
        failWithSystemError();
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

bool mapFile(FileHandle file, int32_t size, bool writable, MappedView &view) {
    view = MappedView{};
    if (size <= 0) {
        lastErrorNumber = error::InvalidParameter;
        return false;
    }
    HANDLE mapping = ::CreateFileMappingA(toHandle(file), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY,
                                          0, DWORD(size), nullptr);
    if (!mapping) {
        failWithSystemError();
        return false;
    }
    void *at = ::MapViewOfFile(mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0);
    if (!at) {
        failWithSystemError();
        ::CloseHandle(mapping);
        return false;
    }
    view.data = static_cast<uint8_t *>(at);
    view.size = size;
    view.mapping = reinterpret_cast<std::intptr_t>(mapping);
    return true;
}

void unmapFile(MappedView &view) {
    if (view.data)
        ::UnmapViewOfFile(view.data);
    if (view.mapping)
        ::CloseHandle(reinterpret_cast<HANDLE>(view.mapping));
    view = MappedView{};
}

uint64_t mappedFileFaults() {
    // Windows refuses to shrink a file while a view of it is mapped: there is nothing to count.
    return 0;
}

uint32_t currentDirectory(char *buffer, uint32_t size) {
    DWORD length = ::GetCurrentDirectoryA(DWORD(size), buffer);
    if (length == 0)
        failWithSystemError();
    return uint32_t(length);
}

bool setCurrentDirectory(const char *path) {
    if (!::SetCurrentDirectoryA(path)) {
        failWithSystemError();
        return false;
    }
    return true;
}

bool canEnterDirectory(const char *path) {
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        failWithSystemError();
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        lastErrorNumber = error::PathNotFound;
        return false;
    }
    return true;
}

size_t directoryPartLength(const char *path) {
    size_t length = 0;
    for (size_t i = 0; path[i]; ++i) {
        if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':'))
            length = i + 1;
    }
    return length;
}

bool findFirst(const std::string &directory, const char *pattern, FoundFile &found) {
    WIN32_FIND_DATAA entry;
    HANDLE search = ::FindFirstFileA(inDirectory(directory, pattern).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        failWithSystemError();
        return false;
    }
    // The system's own matching also accepts short (8.3) names and a few MS-DOS quirks; the
    // long name must match the pattern by the same rule on every system. Of several matches the
    // first by name wins, whatever order the file system keeps.
    bool any = false;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == ".." || !namesMatch(pattern, name.c_str()))
            continue;
        if (any && compareNamesIgnoringCase(name, found.name) >= 0)
            continue;
        found.name = name;
        found.isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        found.size = int64_t((uint64_t(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
        any = true;
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
    if (!any)
        lastErrorNumber = error::FileNotFound;
    return any;
}

std::vector<std::string> listPlainFiles(const std::string &directory, const char *pattern) {
    std::vector<std::string> names;
    _finddata_t entry;
    intptr_t search = ::_findfirst(inDirectory(directory, pattern).c_str(), &entry);
    if (search == -1) {
        lastErrorNumber = error::FileNotFound;
        return names;
    }
    // Attribute mask 0 of the old find-first: plain files only.
    const unsigned skipped = _A_SUBDIR | _A_HIDDEN | _A_SYSTEM;
    do {
        if ((entry.attrib & skipped) == 0 && namesMatch(pattern, entry.name))
            names.emplace_back(entry.name);
    } while (::_findnext(search, &entry) == 0);
    ::_findclose(search);
    sortNamesIgnoringCase(names);
    return names;
}

namespace {

// A file time as one number: 100-nanosecond ticks since 1601.
int64_t fileTimeOf(const FILETIME &time) {
    return int64_t(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime);
}

} // namespace

bool listFolder(const std::string &directory, std::vector<FoundFile> &found) {
    found.clear();
    WIN32_FIND_DATAA entry;
    HANDLE search = ::FindFirstFileA(inDirectory(directory, "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        failWithSystemError();
        return false;
    }
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A folder reached through a reparse point could lead back up the tree.
        if (folder && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            continue;
        found.push_back({name, folder,
                         folder ? 0 : int64_t((uint64_t(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow),
                         folder ? 0 : fileTimeOf(entry.ftLastWriteTime)});
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
    std::sort(found.begin(), found.end(), [](const FoundFile &a, const FoundFile &b) {
        return compareNamesIgnoringCase(a.name, b.name) < 0;
    });
    return true;
}

namespace {

// A folder held open by handle, and its path for the calls that take one. Opened without
// FILE_SHARE_DELETE, so it cannot be renamed or replaced while held, and its path keeps naming it.
struct Folder {
    HANDLE handle;
    std::string path;
};

Folder *toFolder(FolderHandle folder) {
    return reinterpret_cast<Folder *>(folder);
}

FolderHandle holdFolder(const std::string &path, bool refuseLinks) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE handle = ::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithSystemError();
        return InvalidFolder;
    }
    // Checked on the handle itself: the name may have been swapped for a link since it was looked at.
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) {
        failWithSystemError();
        ::CloseHandle(handle);
        return InvalidFolder;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (refuseLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        lastErrorNumber = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? error::StoppedOnSymlink
                                                                                 : error::NotADirectory;
        ::CloseHandle(handle);
        return InvalidFolder;
    }
    return reinterpret_cast<FolderHandle>(new Folder{handle, path});
}

} // namespace

FolderHandle openFolder(const char *path) {
    return holdFolder(path, false);
}

FolderHandle openSubfolder(FolderHandle parent, const char *name) {
    std::string path = inDirectory(toFolder(parent)->path, name);
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Created by somebody else in the meantime is as good as created here.
        if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            failWithSystemError();
            return InvalidFolder;
        }
        attributes = ::GetFileAttributesA(path.c_str());
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        lastErrorNumber = error::StoppedOnSymlink;
        return InvalidFolder;
    }
    return holdFolder(path, true);
}

void closeFolder(FolderHandle folder) {
    if (folder == InvalidFolder)
        return;
    ::CloseHandle(toFolder(folder)->handle);
    delete toFolder(folder);
}

FileHandle createFileIn(FolderHandle folder, const char *name) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    // CREATE_NEW fails on any name already there, a link included, and never follows one. Nobody
    // else may read or write the new file, but it may be deleted while open: an interrupted run
    // removes its temporary files before its handles are closed.
    std::string path = inDirectory(toFolder(folder)->path, name);
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithSystemError();
        if (lastErrorNumber == ERROR_FILE_EXISTS)
            lastErrorNumber = error::AlreadyExists;
        return InvalidFile;
    }
    return reinterpret_cast<FileHandle>(handle);
}

bool renameIn(FolderHandle folder, const char *from, const char *to, bool replace, Durability durability) {
    const std::string &where = toFolder(folder)->path;
    // Write-through: the call returns once the new name is on the disk.
    DWORD flags = (durability == Durability::Durable ? MOVEFILE_WRITE_THROUGH : 0) |
                  (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExA(inDirectory(where, from).c_str(), inDirectory(where, to).c_str(), flags)) {
        failWithSystemError();
        if (lastErrorNumber == ERROR_FILE_EXISTS)
            lastErrorNumber = error::AlreadyExists;
        return false;
    }
    recordStep(DurableStep::Renamed);
    if (durability == Durability::Durable)
        recordStep(DurableStep::FolderFlushed);
    return true;
}

bool fileFacts(const char *path, FileFacts &facts) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        failWithSystemError();
        return false;
    }
    facts.plain = !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    facts.size = int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    facts.modified = fileTimeOf(data.ftLastWriteTime);
    return true;
}

bool removeFileIn(FolderHandle folder, const char *name) {
    if (!::DeleteFileA(inDirectory(toFolder(folder)->path, name).c_str())) {
        failWithSystemError();
        return false;
    }
    return true;
}

bool existsIn(FolderHandle folder, const char *name) {
    return ::GetFileAttributesA(inDirectory(toFolder(folder)->path, name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void recordDurableSteps(std::vector<DurableStep> *record) {
    durableSteps = record;
}

namespace {

void (*interruptCleanup)() = nullptr;

// Runs on a thread of its own; the process ends here, with the exit code a POSIX shell would
// show for the matching signal.
BOOL WINAPI cleanUpAndExit(DWORD event) {
    UINT code;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        code = 128 + 2; // SIGINT
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        code = 128 + 15; // SIGTERM
        break;
    default:
        return FALSE;
    }
    if (interruptCleanup)
        interruptCleanup();
    // No flushing of the standard streams: the interrupted thread may hold their locks.
    ::ExitProcess(code);
}

} // namespace

void onInterrupt(void (*cleanup)()) {
    interruptCleanup = cleanup;
    ::SetConsoleCtrlHandler(cleanUpAndExit, TRUE);
}

std::thread startWorkerThread(std::function<void()> body) {
    return std::thread(std::move(body)); // console events are handled on a thread of their own
}

std::string fileIdentity(FolderHandle folder, const char *name) {
    std::string path =
        folder == InvalidFolder ? std::string(name) : inDirectory(toFolder(folder)->path, name);
    // No access asked: only the file's information is read, so nobody's sharing is in the way.
    HANDLE handle = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithSystemError();
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool known = ::GetFileInformationByHandle(handle, &info);
    if (!known)
        failWithSystemError();
    ::CloseHandle(handle);
    if (!known)
        return {};
    return std::to_string(info.dwVolumeSerialNumber) + ':' +
           std::to_string((uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

bool standardErrorIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

PromptAnswer askRetryOrCancel(const char *caption, const char *text) {
    const UINT style = MB_RETRYCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_SETFOREGROUND; // 0x12015
    switch (::MessageBoxA(nullptr, text, caption, style)) {
    case IDRETRY:
        return PromptAnswer::Retry;
    case IDCANCEL:
        return PromptAnswer::Cancel;
    default:
        return PromptAnswer::Unavailable; // the box could not be shown
    }
}

void debugBreak() {
    // Without a debugger the breakpoint would kill the process, and Retry promises to go on.
    if (::IsDebuggerPresent())
        ::DebugBreak();
}

void exitProcessNow(int code) {
    // Whatever the program already printed must not be lost with the process.
    std::fflush(stdout);
    std::fflush(stderr);
    ::ExitProcess(UINT(code));
}

} // namespace platform

} // namespace qarvex
