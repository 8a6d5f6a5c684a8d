// Console: result lines, diagnostics and the progress line kept out of each other's way.
#include "tool/Console.h"

#include "tool/JsonReport.h"

#include <qarvex/platform/Platform.h>

#include <chrono>
#include <cstdarg>

namespace qarvex {

namespace tool {

const char *systemReason(uint32_t error) {
    switch (error) {
    case platform::error::FileNotFound:
    case platform::error::PathNotFound:
        return "not found";
    case platform::error::AccessDenied:
        return "permission denied";
    case platform::error::AlreadyExists:
        return "already exists";
    case platform::error::HandleDiskFull:
    case platform::error::DiskFull:
        return "disk full";
    case platform::error::FilenameTooLong:
        return "name too long";
    case platform::error::NotADirectory:
        return "not a folder";
    case platform::error::StoppedOnSymlink:
        return "a symbolic link is in the way";
    case platform::error::NotAFile:
        return "not a plain file";
    case platform::error::FileChanged:
        return "changed while being read";
    default:
        return "system error";
    }
}

namespace {

int64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Progress::Progress(std::FILE *err, bool terminal, Clock clock)
    : err(err), terminal(terminal), clock(clock ? std::move(clock) : Clock(steadyMilliseconds)) {}

void Progress::start(const std::string &text, int64_t entries, int64_t bytes) {
    clear();
    label = text;
    totalEntries = entries;
    totalBytes = bytes;
    doneEntries = doneBytes = 0;
    if (terminal)
        startedAt = drawnAt = clock();
}

void Progress::advance(int64_t bytes) {
    doneBytes += bytes;
    maybeDraw();
}

void Progress::entryDone() {
    ++doneEntries;
    maybeDraw();
}

void Progress::maybeDraw() {
    if (!terminal)
        return;
    int64_t now = clock();
    if (now - startedAt < DelayMs || (shownLength > 0 && now - drawnAt < RedrawMs))
        return;
    drawnAt = now;
    // The share of the bytes when there are any, of the entries otherwise.
    int64_t percent = totalBytes > 0 ? doneBytes * 100 / totalBytes
                                     : (totalEntries > 0 ? doneEntries * 100 / totalEntries : 100);
    char line[96];
    int length = std::snprintf(line, sizeof line, "%lld of %lld entries, %lld%%", (long long)doneEntries,
                               (long long)totalEntries, (long long)percent);
    std::string text = "qarvex: " + label + ": " + std::string(line, size_t(length));
    // Padded over a longer previous line, so that nothing of it stays behind.
    size_t drawn = text.size();
    if (drawn < shownLength)
        text.append(shownLength - drawn, ' ');
    std::fprintf(err, "\r%s", text.c_str());
    std::fflush(err);
    shownLength = drawn;
}

void Progress::clear() {
    if (shownLength == 0)
        return;
    std::fprintf(err, "\r%*s\r", int(shownLength), "");
    std::fflush(err);
    shownLength = 0;
}

std::string countOf(int64_t count, const char *one, const char *many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

Console::Console(std::FILE *out, std::FILE *err, bool terminal, Progress::Clock clock)
    : progress(err, terminal, std::move(clock)), out(out), err(err) {}

Console::~Console() = default;

void Console::startJson(const char *command, bool keepDocument) {
    report = std::make_unique<JsonReport>(command, keepDocument ? nullptr : out);
}

void Console::finish() {
    if (report)
        report->finish();
}

void Console::print(const char *format, ...) {
    if (report)
        return;
    progress.clear();
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(out, format, arguments);
    va_end(arguments);
}

void Console::diagnostic(const char *format, ...) {
    progress.clear();
    // Results written so far come first, in case both streams go to the same place.
    std::fflush(out);
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    lastLine.assign(size_t(length > 0 ? length : 0), '\0');
    std::vsnprintf(lastLine.data(), lastLine.size() + 1, format, again);
    va_end(again);
    std::fprintf(err, "qarvex: %s\n", lastLine.c_str());
}

} // namespace tool

} // namespace qarvex
