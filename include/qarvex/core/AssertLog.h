// The assertion log: the library's one channel for programming errors and suspicious
// conditions. Records are appended to "assert.log" in the directory that was current at
// start-up; a fatal report offers the debugger and otherwise ends the process with code 1.
// Threads: the process-wide log is not locked; report from one thread at a time.
#pragma once

#include <cstdint>

namespace qarvex {

// The kind of a report. Any value other than Message and Warning is handled as Fatal.
enum class AssertKind : int32_t { Message = 1, Warning = 2, Fatal = 3 };
inline constexpr AssertKind AssertMessage = AssertKind::Message;
inline constexpr AssertKind AssertWarning = AssertKind::Warning;
inline constexpr AssertKind AssertFatal = AssertKind::Fatal;

// Thrown by a fatal report instead of ending the process when throwOnFatal is set.
struct AssertException {
    AssertException(const char *sourceFile, int32_t sourceLine, const char *text);
    char file[200];
    int32_t line;
    char message[200];
};

class AssertLog {
public:
    enum Flags : uint32_t {
        NoLogFile = 1,
        NoMessageBox = 2,
        NoWarnings = 4,
        NoMessages = 8,
    };

    using Callback = void (*)(const char *header, const char *text);

    static constexpr int32_t PathCapacity = 255;
    static constexpr const char *LogFileName = "assert.log";

    AssertLog();
    ~AssertLog();
    AssertLog(const AssertLog &) = delete;
    AssertLog &operator=(const AssertLog &) = delete;

    // Returns for messages, warnings and a fatal report after which the user chose the debugger;
    // otherwise a fatal report ends the process with code 1, or throws AssertException when
    // throwOnFatal is set.
    void report(AssertKind kind, const char *file, const char *text, int32_t line);
    // Writes one record: the separator once per process, then header (may be null), text, CR LF.
    void append(const char *header, const char *text);
    // Formats into the module's 1024-byte buffer; the next call overwrites it.
    static const char *formatMessage(const char *format, ...) __attribute__((format(printf, 1, 2)));

    Callback callback = nullptr;
    uint32_t flags = 0;
    bool separatorPending = true;
    char path[PathCapacity] = {}; // fixed at construction; empty when no directory was known
    const char *separator;
    int32_t separatorLength;
    int32_t messageCount = 0;
    int32_t warningCount = 0;
    int32_t fatalCount = 0;
    bool throwOnFatal = false;
};

// The process-wide log, defined by the start-up unit before every other library object.
extern AssertLog assertLog;

} // namespace qarvex
