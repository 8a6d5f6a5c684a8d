// Console: where the tool's words go. Results to standard output, diagnostics ("qarvex: ...") to
// standard error, and, on a terminal, a one-line progress indicator that both keep clear of.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace qarvex {

namespace tool {

// A few words for a system error number, for diagnostics ("cannot write: disk full").
const char *systemReason(uint32_t error);

// A progress line on standard error, redrawn in place. It appears only on a terminal and only once
// a stretch of work has run for a while, so short runs and redirected output never see it.
class Progress {
public:
    using Clock = std::function<int64_t()>; // milliseconds from any fixed point

    static constexpr int64_t DelayMs = 500;  // work shorter than this shows nothing
    static constexpr int64_t RedrawMs = 100; // at most ten redraws a second

    Progress(std::FILE *err, bool terminal, Clock clock = {});

    // A new stretch of work: entries entries holding bytes bytes in all.
    void start(const std::string &label, int64_t entries, int64_t bytes);
    // Bytes of the current entry done; the entry itself is counted by entryDone.
    void advance(int64_t bytes);
    void entryDone();
    // Removes the line, before other output or at the end of the work.
    void clear();

private:
    void maybeDraw();

    std::FILE *err;
    bool terminal;
    Clock clock;
    std::string label;
    int64_t totalEntries = 0, totalBytes = 0;
    int64_t doneEntries = 0, doneBytes = 0;
    int64_t startedAt = 0, drawnAt = 0;
    size_t shownLength = 0; // characters of the line on screen, 0: none
};

// "1 entry", "2 entries".
std::string countOf(int64_t count, const char *one, const char *many);

class JsonReport;

class Console {
public:
    Console(std::FILE *out, std::FILE *err, bool terminal, Progress::Clock clock = {});
    ~Console();

    // From here on results are recorded in a JSON document for command instead of printed. The
    // document is written to standard output as it is made, or kept whole for the caller to read
    // (json()->document() after finish()).
    void startJson(const char *command, bool keepDocument = false);
    // The document results are recorded in; null when results are printed as text.
    JsonReport *json() const { return report.get(); }
    // Ends the JSON document, if there is one.
    void finish();

    // A result line (printf-style) on standard output; nothing when results go to a JSON document.
    void print(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // "qarvex: " and a one-line diagnostic on standard error.
    void diagnostic(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // The last diagnostic's line, without "qarvex: ": a JSON document's "error" for what failed.
    const std::string &lastDiagnostic() const { return lastLine; }

    Progress progress;

private:
    std::FILE *out;
    std::FILE *err;
    std::unique_ptr<JsonReport> report;
    std::string lastLine;
};

} // namespace tool

} // namespace qarvex
