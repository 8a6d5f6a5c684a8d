// The operating-system services the library uses, in its own words. Each operating system has
// one implementation file; nothing outside this folder calls the system directly.
// Threads: any thread may call these functions; lastError() is kept per thread. The interrupt
// handling of onInterrupt is process-wide: set it up on the main thread, before starting others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qarvex {

namespace platform {

// An open file. InvalidFile marks "no file".
using FileHandle = std::intptr_t;
inline constexpr FileHandle InvalidFile = -1;

// The error numbers the streams compare against, as the Windows system reports them.
namespace error {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t NotAFile = 1; // a pipe, device or socket where a file was wanted
inline constexpr uint32_t FileNotFound = 2;
inline constexpr uint32_t PathNotFound = 3;
inline constexpr uint32_t TooManyOpenFiles = 4;
inline constexpr uint32_t AccessDenied = 5;
inline constexpr uint32_t InvalidHandle = 6;
inline constexpr uint32_t NotEnoughMemory = 8;
inline constexpr uint32_t InvalidAccess = 12;
inline constexpr uint32_t SharingViolation = 32;
inline constexpr uint32_t HandleDiskFull = 39;
inline constexpr uint32_t InvalidParameter = 87;
inline constexpr uint32_t DiskFull = 112;
inline constexpr uint32_t NegativeSeek = 131;
inline constexpr uint32_t AlreadyExists = 183;
inline constexpr uint32_t FilenameTooLong = 206;
inline constexpr uint32_t NotADirectory = 267;    // "the directory name is invalid"
inline constexpr uint32_t StoppedOnSymlink = 681; // a symbolic link stood where a name was created
inline constexpr uint32_t FileChanged = 1006;     // a mapped file shrank while it was being read
inline constexpr uint32_t Unknown = 31;           // "a device attached to the system is not functioning"
} // namespace error

// The separator this system's own paths use (the assertion log's path, joined search paths).
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

enum class OpenMode {
    ReadShared,         // an existing file, read only, others may read too
    ReadWriteShared,    // created when missing, read and write, others may read
    ReadWriteExclusive, // created when missing, read and write, nobody else may open it
};

// Opens a file; InvalidFile on failure, with lastError() telling why. ReadShared opens plain files
// only (error::NotAFile for a pipe, a device or a socket), and never waits for a writer to appear.
FileHandle openFile(const char *path, OpenMode mode);
// Reads up to count bytes; got receives the number read (0 at the end of the file).
bool readFile(FileHandle file, void *buffer, int32_t count, int32_t &got);
bool writeFile(FileHandle file, const void *buffer, int32_t count, int32_t &written);
// Hands what was written to file from the system's caches to the disk: once this returns true the
// data outlives a power cut. A file is flushed before it is renamed over another.
bool flushFile(FileHandle file);

enum class SeekFrom { Begin, Current, End };
// Moves the file pointer; returns the new position, or -1 on failure.
int32_t seekFile(FileHandle file, int32_t offset, SeekFrom from);
// The size of the file in bytes, or -1 on failure.
int64_t fileSize(FileHandle file);
bool closeFile(FileHandle file);

// The error of the last failed call of this layer, as a Windows error number.
uint32_t lastError();
// Sets it, for a failure of this layer that is not a system call's.
void setLastError(uint32_t code);

// Number of file calls (open, read, write, seek, size, close) made so far by this process, so
// tests can tell that an operation was served without the operating system.
uint64_t fileCallCount();

// A read-only (or read/write) view of the first size bytes of an open file.
struct MappedView {
    uint8_t *data = nullptr;
    int32_t size = 0;
    std::intptr_t mapping = 0; // what the system needs to release the view
};
// A file that shrinks while mapped (another program truncating it) does not crash the process:
// the part of a view past the file's new end reads as zeros, and mappedFileFaults() counts it. A
// reader compares the count before and after its work and treats any change as a damaged file.
bool mapFile(FileHandle file, int32_t size, bool writable, MappedView &view);
void unmapFile(MappedView &view);
uint64_t mappedFileFaults();

// The current directory into buffer (terminated). Returns its length, 0 on failure, or the
// size needed (terminator included) when the buffer is too small, as Windows does.
uint32_t currentDirectory(char *buffer, uint32_t size);
bool setCurrentDirectory(const char *path);
// True when path names an existing directory that setCurrentDirectory could enter.
bool canEnterDirectory(const char *path);

// Windows-style name match: letter case ignored, '*' any run of characters including none,
// '?' exactly one character.
bool namesMatch(const char *pattern, const char *name);

// The length of the directory part of path, its last separator included (0 for a bare name), so
// that callers can split a path the way this system writes them. Windows also accepts '/' and a
// drive ("C:name").
size_t directoryPartLength(const char *path);

struct FoundFile {
    std::string name; // the name as the file system holds it, without the directory
    bool isDirectory = false;
    int64_t size = 0;
    int64_t modified = 0; // listFolder's plain files: the time of the last change, as fileFacts tells it
};
// The first object in directory (empty: the current one) whose name matches pattern, objects
// compared by name without regard to letter case.
bool findFirst(const std::string &directory, const char *pattern, FoundFile &found);
// The plain files in directory whose names match pattern: no directories, no hidden or system
// files. Sorted by name without regard to letter case, so that a run is reproducible.
std::vector<std::string> listPlainFiles(const std::string &directory, const char *pattern);
// Everything in directory that a walk of a folder tree visits: plain files (links to files
// followed) and folders (links to folders skipped, so that a walk cannot loop), "." and ".." left
// out. Sorted by name as listPlainFiles sorts. False when directory cannot be read.
bool listFolder(const std::string &directory, std::vector<FoundFile> &found);

// Folders that files are created in, held open so that each stays the same folder whatever later
// happens to its path. Below an opened folder nothing follows a symbolic link (on Windows, a
// reparse point): a link where a name is wanted fails with error::StoppedOnSymlink, so whatever is
// created lands inside the folder. InvalidFolder marks "no folder".
using FolderHandle = std::intptr_t;
inline constexpr FolderHandle InvalidFolder = -1;
// An existing folder by path (links in the path itself are followed: the caller chose it).
FolderHandle openFolder(const char *path);
// The folder name inside parent, created when missing; error::NotADirectory when something else
// holds the name.
FolderHandle openSubfolder(FolderHandle parent, const char *name);
void closeFolder(FolderHandle folder);
// A new file name in folder, open for writing; error::AlreadyExists when anything holds the name.
FileHandle createFileIn(FolderHandle folder, const char *name);
// How far a rename goes. Durable: the folder's entry is on the disk when the rename returns, so
// the new name outlives a power cut. Cache: the rename only, for files that may come out old or
// missing after a power cut without harm, because their readers check what they say.
enum class Durability { Durable, Cache };
// Renames from to to inside folder. Without replace, error::AlreadyExists when to is taken; with
// it, a file or a link at to is replaced (the link itself, never what it points to).
bool renameIn(FolderHandle folder, const char *from, const char *to, bool replace,
              Durability durability = Durability::Durable);
// Safe to call from a signal handler on POSIX systems (it is one unlinkat there).
bool removeFileIn(FolderHandle folder, const char *name);
// True when anything (file, folder, link) holds the name in folder.
bool existsIn(FolderHandle folder, const char *name);
// What one look at the file at path tells (links followed): whether it is a plain file, its size,
// and the time of its last change in the file system's own units (nanoseconds since 1970 on POSIX
// systems, 100-nanosecond ticks since 1601 on Windows). False when nothing is there.
struct FileFacts {
    bool plain = false;
    int64_t size = 0;
    int64_t modified = 0;
};
bool fileFacts(const char *path, FileFacts &facts);
// What tells the file at name in folder (a path when folder is InvalidFolder) from every other,
// as the file system does: two names give equal texts exactly when they lead to one file, whatever
// their letter case, links or spelling. Empty when nothing is found there.
std::string fileIdentity(FolderHandle folder, const char *name);

// The steps that make a replacement durable, as flushFile and renameIn take them; tests hand a
// record to see that a file's data is flushed before its new name is.
enum class DurableStep { FileFlushed, Renamed, FolderFlushed };
// Appends each step taken from now on to record (one process-wide record; nullptr stops).
void recordDurableSteps(std::vector<DurableStep> *record);

// From now on, SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break, the console closing)
// run cleanup and end the process with 128 + the signal's number: 130 for an interrupt, 143 for a
// termination (or a closed console), 129 for a hang-up. cleanup runs inside a signal handler on
// POSIX systems and on another thread on Windows: it may only call removeFileIn.
void onInterrupt(void (*cleanup)());
// Starts a thread running body on which the interrupts of onInterrupt are never handled: they go
// to a thread that was not started this way (the main thread), which stops where it is. So the
// cleanup never runs while that thread goes on moving files into place.
std::thread startWorkerThread(std::function<void()> body);

// True when standard error is a terminal, where a progress line may be redrawn in place.
bool standardErrorIsTerminal();

// The fatal-report prompt of the assertion log.
enum class PromptAnswer { Retry, Cancel, Unavailable };
PromptAnswer askRetryOrCancel(const char *caption, const char *text);
// Stops in the debugger when one is attached; otherwise returns.
void debugBreak();
// Ends the process at once: no static destructors, no exit handlers.
[[noreturn]] void exitProcessNow(int code);

} // namespace platform

} // namespace qarvex
