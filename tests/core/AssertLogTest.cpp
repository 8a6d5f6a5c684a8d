// The assertion log: the records byte for byte, the separator, the flags and counters, the hook,
// the throwing and the exiting fatal paths. Each test builds its own log in a fresh directory, so
// the process-wide log is never written.
#include "core/ScratchDirectory.h"
#include <qarvex/core/AssertLog.h>
#include <qarvex/platform/Platform.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__linux__)
#include <csignal>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qarvex {

namespace {

const std::string Separator = std::string(72, '=') + "\r\n";

class AssertLogTest : public ::testing::Test {
protected:
    void SetUp() override { scratch.enter(); }
    std::string logText() const { return scratch.read("assert.log"); }

    ScratchDirectory scratch;
};

// Runs a fatal report expected to throw, so a test can go on afterwards.
AssertException fatalThrown(AssertLog &log, AssertKind kind, const char *file, const char *text,
                            int32_t line) {
    log.throwOnFatal = true;
    try {
        log.report(kind, file, text, line);
    } catch (const AssertException &thrown) {
        return thrown;
    }
    ADD_FAILURE() << "the fatal report did not throw";
    return AssertException("", 0, "");
}

} // namespace

TEST_F(AssertLogTest, StartsWithTheDocumentedValues) {
    AssertLog log;
    EXPECT_EQ(log.callback, nullptr);
    EXPECT_EQ(log.flags, 0u);
    EXPECT_TRUE(log.separatorPending);
    EXPECT_EQ(std::string(log.separator, size_t(log.separatorLength)), Separator);
    EXPECT_EQ(log.separatorLength, 74);
    EXPECT_EQ(log.messageCount + log.warningCount + log.fatalCount, 0);
    EXPECT_FALSE(log.throwOnFatal);
    EXPECT_EQ(std::string(log.path), (std::filesystem::current_path() / "assert.log").string());
}

TEST_F(AssertLogTest, RecordsOfEachKindByteForByte) {
    AssertLog log;
    log.report(AssertKind::Message, "ignored.cpp", "plain text", 1);
    log.report(AssertKind::Warning, "code\\volstrm.cpp", "odd size", 77);
    fatalThrown(log, AssertKind::Fatal, "code\\volstrm.cpp", "Attempted write to file: x.vol.", 124);

    EXPECT_EQ(logText(), Separator +
                             "plain text\r\n"
                             "WARNING: code\\volstrm.cpp @ 77\r\n  odd size\r\n"
                             "FATAL:   code\\volstrm.cpp @ 124\r\nAttempted write to file: x.vol.\r\n");
    EXPECT_EQ(log.messageCount, 1);
    EXPECT_EQ(log.warningCount, 1);
    EXPECT_EQ(log.fatalCount, 1);
}

TEST_F(AssertLogTest, AppendsAfterEarlierProcessesWithOneSeparatorPerLog) {
    scratch.write("assert.log", "earlier run\r\n");
    {
        AssertLog first;
        first.append("head ", "one");
        first.append(nullptr, "two");
        EXPECT_FALSE(first.separatorPending);
    }
    AssertLog second; // a later process: its own separator before its first record
    second.append(nullptr, "three");
    EXPECT_EQ(logText(), "earlier run\r\n" + Separator + "head one\r\ntwo\r\n" + Separator + "three\r\n");
}

TEST_F(AssertLogTest, ThePathIsFixedWhenTheLogIsBuilt) {
    AssertLog log;
    ScratchDirectory elsewhere;
    elsewhere.enter();
    log.report(AssertKind::Message, "f", "here", 1);
    EXPECT_FALSE(elsewhere.exists("assert.log"));
    EXPECT_EQ(logText(), Separator + "here\r\n");
}

TEST_F(AssertLogTest, SuppressionFlagsDropRecordsAndTheirCounts) {
    struct Case {
        uint32_t flags;
        bool messageKept;
        bool warningKept;
    };
    const Case cases[] = {
        {0, true, true},
        {AssertLog::NoLogFile, false, false},
        {AssertLog::NoWarnings, true, false},
        {AssertLog::NoMessages, false, true},
        {AssertLog::NoMessageBox, true, true},
        {AssertLog::NoWarnings | AssertLog::NoMessages, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flags);
        std::filesystem::remove(scratch.file("assert.log"));
        AssertLog log;
        log.flags = c.flags;
        log.report(AssertKind::Message, "m.cpp", "message", 1);
        log.report(AssertKind::Warning, "w.cpp", "warning", 2);
        EXPECT_EQ(log.messageCount, c.messageKept ? 1 : 0);
        EXPECT_EQ(log.warningCount, c.warningKept ? 1 : 0);
        std::string expected;
        if (c.messageKept)
            expected += "message\r\n";
        if (c.warningKept)
            expected += "WARNING: w.cpp @ 2\r\n  warning\r\n";
        EXPECT_EQ(logText(), expected.empty() ? "" : Separator + expected);
    }
}

TEST_F(AssertLogTest, NoLogFileKeepsTheSeparatorPendingForALaterRecord) {
    AssertLog log;
    log.flags = AssertLog::NoLogFile;
    fatalThrown(log, AssertKind::Fatal, "f.cpp", "lost", 3);
    EXPECT_EQ(log.fatalCount, 1);
    EXPECT_FALSE(scratch.exists("assert.log"));
    EXPECT_TRUE(log.separatorPending);

    log.flags = 0;
    log.report(AssertKind::Message, "f.cpp", "kept", 4);
    EXPECT_EQ(logText(), Separator + "kept\r\n");
}

TEST_F(AssertLogTest, EveryKindButMessageAndWarningIsFatal) {
    AssertLog log;
    const int kinds[] = {0, 3, 4, -1, 1000};
    for (int kind : kinds) {
        SCOPED_TRACE(kind);
        AssertException thrown = fatalThrown(log, AssertKind(kind), "k.cpp", "kind", kind);
        EXPECT_EQ(thrown.line, kind);
    }
    EXPECT_EQ(log.fatalCount, 5);
    EXPECT_EQ(log.messageCount + log.warningCount, 0);
}

TEST_F(AssertLogTest, ThrownExceptionCarriesTheReportCutTo199Characters) {
    AssertLog log;
    const std::string longFile(300, 'f');
    const std::string longText(250, 't');
    AssertException thrown = fatalThrown(log, AssertKind::Fatal, longFile.c_str(), longText.c_str(), 321);
    EXPECT_EQ(std::string(thrown.file), std::string(199, 'f'));
    EXPECT_EQ(std::string(thrown.message), std::string(199, 't'));
    EXPECT_EQ(thrown.line, 321);
    // The record itself is not cut.
    EXPECT_EQ(logText(), Separator + "FATAL:   " + longFile + " @ 321\r\n" + longText + "\r\n");

    AssertException copy = thrown; // a plain value, copied member by member
    EXPECT_STREQ(copy.file, thrown.file);
    EXPECT_STREQ(copy.message, thrown.message);
}

TEST_F(AssertLogTest, EveryFlagSetStillCountsAndActsOnAFatalReport) {
    AssertLog log;
    log.flags =
        AssertLog::NoLogFile | AssertLog::NoMessageBox | AssertLog::NoWarnings | AssertLog::NoMessages;
    AssertException thrown = fatalThrown(log, AssertKind::Fatal, "all.cpp", "still fatal", 9);
    EXPECT_STREQ(thrown.message, "still fatal");
    EXPECT_EQ(log.fatalCount, 1);
}

namespace {

struct HookCall {
    std::string header;
    std::string text;
    std::string logAtCall;
};
std::vector<HookCall> hookCalls;
std::string hookLogPath;

void recordingHook(const char *header, const char *text) {
    std::ifstream in(hookLogPath, std::ios::binary);
    hookCalls.push_back({header, text, std::string(std::istreambuf_iterator<char>(in), {})});
}

} // namespace

TEST_F(AssertLogTest, HookSeesTheFatalHeaderBeforeTheRecordIsWritten) {
    hookCalls.clear();
    hookLogPath = scratch.file("assert.log");
    AssertLog log;
    log.callback = recordingHook;
    log.report(AssertKind::Message, "m.cpp", "first", 1);
    log.report(AssertKind::Warning, "w.cpp", "second", 2);
    EXPECT_TRUE(hookCalls.empty()); // only fatal reports reach the hook
    fatalThrown(log, AssertKind::Fatal, "f.cpp", "third", 3);
    ASSERT_EQ(hookCalls.size(), 1u);
    EXPECT_EQ(hookCalls[0].header, "FATAL:   f.cpp @ 3\r\n");
    EXPECT_EQ(hookCalls[0].text, "third");
    EXPECT_EQ(hookCalls[0].logAtCall, Separator + "first\r\nWARNING: w.cpp @ 2\r\n  second\r\n");
    EXPECT_EQ(logText(), hookCalls[0].logAtCall + "FATAL:   f.cpp @ 3\r\nthird\r\n");
}

TEST_F(AssertLogTest, ALockedLogFileLosesTheRecordQuietly) {
    AssertLog log;
    platform::FileHandle holder = platform::openFile(log.path, platform::OpenMode::ReadWriteExclusive);
    ASSERT_NE(holder, platform::InvalidFile);
    log.report(AssertKind::Message, "m.cpp", "lost", 1);
    EXPECT_EQ(log.messageCount, 1);
    EXPECT_TRUE(log.separatorPending);
    platform::closeFile(holder);

    log.report(AssertKind::Message, "m.cpp", "kept", 2);
    EXPECT_EQ(logText(), Separator + "kept\r\n");
}

TEST_F(AssertLogTest, WithoutAKnownDirectoryNothingIsEverLogged) {
    // A current directory longer than the 241 characters the log asks for leaves the path empty.
    // 250 characters in all: Windows refuses a current directory of more than 258.
    std::filesystem::path deep = scratch.path;
    while (deep.string().size() < 210)
        deep /= std::string(20, 'd');
    deep /= std::string(250 - deep.string().size() - 1, 'd');
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);

    AssertLog log;
    EXPECT_STREQ(log.path, "");
    log.report(AssertKind::Message, "m.cpp", "nowhere", 1);
    EXPECT_EQ(log.messageCount, 1);
    EXPECT_TRUE(log.separatorPending);
    EXPECT_TRUE(std::filesystem::is_empty(deep));
}

TEST_F(AssertLogTest, MissingNamesAndTextsAreLoggedAsEmpty) {
    AssertLog log;
    log.report(AssertKind::Warning, nullptr, nullptr, 5);
    EXPECT_EQ(logText(), Separator + "WARNING:  @ 5\r\n  \r\n");
}

TEST(AssertLogFormat, FormatsIntoOneSharedBufferOf1024Bytes) {
    const char *first = AssertLog::formatMessage(
        "Attempted write to file: %s.\nFile is not in a writable directory.", "a.vol");
    EXPECT_STREQ(first, "Attempted write to file: a.vol.\nFile is not in a writable directory.");
    const char *second = AssertLog::formatMessage("%d-%s", 42, "x");
    EXPECT_EQ(first, second); // the next call overwrites the same buffer
    EXPECT_STREQ(second, "42-x");

    const std::string huge(5000, 'h');
    const char *cut = AssertLog::formatMessage("%s", huge.c_str());
    EXPECT_EQ(std::string(cut), std::string(1023, 'h'));
}

TEST(AssertLogProcess, TheProcessWideLogWritesToTheStartDirectory) {
    EXPECT_EQ(assertLog.fatalCount, 0);
    std::string path = assertLog.path;
    ASSERT_GT(path.size(), std::string("assert.log").size());
    EXPECT_EQ(path.substr(path.size() - 11), std::string(1, platform::PathSeparator) + "assert.log");
}

// The fatal paths that end the process. The child may be a fresh run of the whole test (as on
// Windows), so it finds the parent's directory through the environment.
namespace {

const char *const DeathDirectoryVariable = "QARVEX_ASSERT_DEATH_DIRECTORY";

void setEnvironment(const char *name, const char *value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

class AssertLogDeathTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv(DeathDirectoryVariable))
            setEnvironment(DeathDirectoryVariable, scratch.path.string().c_str());
    }
    void TearDown() override { setEnvironment(DeathDirectoryVariable, nullptr); }

    static void fatalInDeathDirectory(uint32_t flags) {
        std::filesystem::current_path(std::getenv(DeathDirectoryVariable));
        AssertLog log;
        log.flags = flags;
        log.report(AssertKind::Fatal, "code\\volstrm.cpp", "exiting", 124);
        std::exit(7); // not reached
    }

    ScratchDirectory scratch;
};

} // namespace

TEST_F(AssertLogDeathTest, WithoutPromptItWritesTheRecordAndExitsWithCode1) {
    EXPECT_EXIT(fatalInDeathDirectory(AssertLog::NoMessageBox), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(scratch.read("assert.log"), Separator + "FATAL:   code\\volstrm.cpp @ 124\r\nexiting\r\n");
}

TEST_F(AssertLogDeathTest, EveryFlagSetStillExits) {
    EXPECT_EXIT(fatalInDeathDirectory(0xF), ::testing::ExitedWithCode(1), "");
    EXPECT_FALSE(scratch.exists("assert.log"));
}

TEST_F(AssertLogDeathTest, ExitSkipsStaticTeardown) {
    // An exit handler would run on a normal exit; the fatal path ends the process before it.
    EXPECT_EXIT(
        {
            std::atexit([] { std::fputs("teardown ran", stderr); });
            fatalInDeathDirectory(AssertLog::NoMessageBox);
        },
        ::testing::ExitedWithCode(1), "^$");
}

#ifndef _WIN32
TEST_F(AssertLogDeathTest, WithoutATerminalThePromptIsSkippedAndItExits) {
    // The death test's standard error is not a terminal, so the prompt cannot be shown.
    EXPECT_EXIT(fatalInDeathDirectory(0), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(scratch.read("assert.log"), Separator + "FATAL:   code\\volstrm.cpp @ 124\r\nexiting\r\n");
}
#endif

#if defined(__linux__)
namespace {

// Runs a fatal report in a child whose standard input and error are a pseudo-terminal, answers
// the prompt with answer, and returns the child's exit code (42 when the report returned) and
// what the prompt showed.
int answerPrompt(const ScratchDirectory &scratch, const char *answer, std::string &shown) {
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0)
        return -1;
    if (child == 0) {
        alarm(20); // never hang a test run on a prompt that nobody answers
        if (chdir(scratch.path.c_str()) != 0)
            _exit(3);
        AssertLog log;
        log.report(AssertKind::Fatal, "p.cpp", "asked", 8);
        _exit(42);
    }
    // Answer once the question is on the screen.
    char buffer[512];
    while (shown.find("ancel? ") == std::string::npos) {
        ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
        shown.append(buffer, size_t(got));
    }
    if (write(terminal, answer, strlen(answer)) < 0)
        return -1;
    for (;;) { // drain until the child has gone, so it never blocks on output
        ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(AssertLogPrompt, RetryReturnsToTheCallerAfterTheRecord) {
    ScratchDirectory scratch;
    std::string shown;
    EXPECT_EQ(answerPrompt(scratch, "r\n", shown), 42);
    EXPECT_NE(shown.find("FATAL:   p.cpp @ 8"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Retry to Break"), std::string::npos) << shown;
    EXPECT_NE(shown.find("asked"), std::string::npos) << shown;
    EXPECT_EQ(scratch.read("assert.log"), Separator + "FATAL:   p.cpp @ 8\r\nasked\r\n");
}

TEST(AssertLogPrompt, CancelExitsWithCode1) {
    ScratchDirectory scratch;
    std::string shown;
    EXPECT_EQ(answerPrompt(scratch, "c\n", shown), 1);
    EXPECT_EQ(scratch.read("assert.log"), Separator + "FATAL:   p.cpp @ 8\r\nasked\r\n");
}
#endif

} // namespace qarvex
