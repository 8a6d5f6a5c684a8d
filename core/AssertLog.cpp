// The assertion log: record formats, flags and the fatal path.
#include <qarvex/core/AssertLog.h>

#include <qarvex/platform/Platform.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace qarvex {

namespace {

const char SeparatorLine[] = "========================================================================\r\n";
char messageBuffer[1024];

void copyCut(char (&destination)[200], const char *text) {
    std::snprintf(destination, sizeof destination, "%s", text ? text : "");
}

void writeText(platform::FileHandle file, const char *text, size_t length) {
    int32_t written = 0;
    platform::writeFile(file, text, int32_t(length), written);
}

} // namespace

AssertException::AssertException(const char *sourceFile, int32_t sourceLine, const char *text)
    : line(sourceLine) {
    copyCut(file, sourceFile);
    copyCut(message, text);
}

AssertLog::AssertLog() : separator(SeparatorLine), separatorLength(int32_t(sizeof SeparatorLine - 1)) {
    char directory[241];
    uint32_t length = platform::currentDirectory(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        return; // no directory, no log: every record is silently lost
    std::snprintf(path, sizeof path, "%s%c%s", directory, platform::PathSeparator, LogFileName);
}

AssertLog::~AssertLog() = default;

const char *AssertLog::formatMessage(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(messageBuffer, sizeof messageBuffer, format, arguments);
    va_end(arguments);
    return messageBuffer;
}

void AssertLog::append(const char *header, const char *text) {
    if (flags & NoLogFile)
        return;
    if (path[0] == '\0')
        return;
    platform::FileHandle file = platform::openFile(path, platform::OpenMode::ReadWriteExclusive);
    if (file == platform::InvalidFile)
        return;
    platform::seekFile(file, 0, platform::SeekFrom::End);
    if (separatorPending) {
        writeText(file, separator, size_t(separatorLength));
        separatorPending = false;
    }
    if (header)
        writeText(file, header, std::strlen(header));
    if (text)
        writeText(file, text, std::strlen(text));
    writeText(file, "\r\n", 2);
    platform::closeFile(file);
}

void AssertLog::report(AssertKind kind, const char *file, const char *text, int32_t line) {
    char header[1024];
    // A missing name or text is reported as empty rather than taking the process down here.
    if (!file)
        file = "";
    if (!text)
        text = "";
    if (kind == AssertKind::Message) {
        if (flags & (NoLogFile | NoMessages))
            return;
        ++messageCount;
        append(nullptr, text);
        return;
    }
    if (kind == AssertKind::Warning) {
        if (flags & (NoLogFile | NoWarnings))
            return;
        ++warningCount;
        std::snprintf(header, sizeof header, "WARNING: %s @ %d\r\n  ", file, line);
        append(header, text);
        return;
    }

    ++fatalCount;
    std::snprintf(header, sizeof header, "FATAL:   %s @ %d\r\n", file, line);
    if (callback)
        callback(header, text);
    append(header, text);
    if (throwOnFatal)
        throw AssertException(file, line, text);
    std::snprintf(header, sizeof header, "FATAL:   %s @ %d\n\nRetry to Break", file, line);
    if (!(flags & NoMessageBox) &&
        platform::askRetryOrCancel(header, text) == platform::PromptAnswer::Retry) {
        platform::debugBreak();
        return;
    }
    // The log's own teardown has nothing to release; the process ends here, bypassing the
    // runtime's exit routines.
    platform::exitProcessNow(1);
}

} // namespace qarvex
