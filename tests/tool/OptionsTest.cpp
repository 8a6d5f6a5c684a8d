// The command line: options before the expression, POSIX style, with the search command's line
// unchanged; entry names taken apart for extraction; and the progress line's timing and clearing.
#include "tool/Options.h"
#include "tool/Console.h"
#include "tool/EntryPath.h"

#include "ToolRunner.h"

#include <cstdio>
#include <cstring>

namespace qarvex {

using namespace toolrun;

namespace {

// parseOptions on the command line "qarvex" followed by arguments. The operands point into argv,
// which therefore lives on until the next call.
bool parse(const std::vector<const char *> &arguments, tool::Options &options, std::string &error) {
    static std::vector<char *> argv;
    argv.assign(1, const_cast<char *>("qarvex"));
    for (const char *argument : arguments)
        argv.push_back(const_cast<char *>(argument));
    return tool::parseOptions(int(argv.size()), argv.data(), options, error);
}

TEST(OptionsTest, CommandLines) {
    using tool::Command;
    struct Case {
        std::vector<const char *> arguments;
        Command command;
        std::vector<std::string> operands;
        const char *folder = nullptr;
        bool force = false;
    } cases[] = {
        {{"*.txt", "a.vol"}, Command::Search, {"*.txt", "a.vol"}},
        {{"*.txt", "-l"}, Command::Search, {"*.txt", "-l"}}, // after the expression, a volume
        {{"--", "-l", "a.vol"}, Command::Search, {"-l", "a.vol"}},
        {{"-", "a.vol"}, Command::Search, {"-", "a.vol"}}, // "-" alone is an operand
        {{}, Command::Search, {}},
        {{"-l", "*", "a.vol", "b.vol"}, Command::List, {"*", "a.vol", "b.vol"}},
        {{"-t", "--", "-x", "a.vol"}, Command::Test, {"-x", "a.vol"}},
        {{"-x", "*", "a.vol"}, Command::Extract, {"*", "a.vol"}},
        {{"-x", "-C", "out", "-f", "*", "a.vol"}, Command::Extract, {"*", "a.vol"}, "out", true},
        {{"-fxCout", "*", "a.vol"}, Command::Extract, {"*", "a.vol"}, "out", true},
        {{"-xC", "-f", "*", "a.vol"}, Command::Extract, {"*", "a.vol"}, "-f"}, // -C takes the next argument
        {{"-ll", "*", "a.vol"}, Command::List, {"*", "a.vol"}},
        {{"-h"}, Command::Help, {}},
        {{"-l", "-h", "whatever"}, Command::Help, {}},
        {{"--help", "-q"}, Command::Help, {}},
        {{"--version"}, Command::Version, {}},
        {{"--from-png", "-C", "out", "-f", "--nearest", "a.pbm.png", "b.pba.0.png"},
         Command::FromPng,
         {"a.pbm.png", "b.pba.0.png"},
         "out",
         true},
        {{"-u", "a.vol", "--palette", "game.ppl", "--dither", "--transparent", "0"}, Command::Update, {}},
    };
    for (const Case &c : cases) {
        tool::Options options;
        std::string error;
        std::string line = ::testing::PrintToString(c.arguments);
        ASSERT_TRUE(parse(c.arguments, options, error)) << line << ": " << error;
        EXPECT_EQ(options.command, c.command) << line;
        if (c.command == Command::Help || c.command == Command::Version)
            continue;
        EXPECT_EQ(std::vector<std::string>(options.operands, options.operands + options.operandCount),
                  c.operands)
            << line;
        EXPECT_STREQ(options.targetFolder, c.folder) << line;
        EXPECT_EQ(options.force, c.force) << line;
    }
}

TEST(OptionsTest, UsageErrors) {
    struct Case {
        std::vector<const char *> arguments;
        const char *error;
    } cases[] = {
        {{"-q", "*", "a.vol"}, "unknown option -q"},
        {{"-lq", "*", "a.vol"}, "unknown option -q"},
        {{"--list", "*", "a.vol"}, "unknown option --list"},
        {{"-l", "-x", "*", "a.vol"}, "-l, -x and -t cannot be combined"},
        {{"-tl", "*", "a.vol"}, "-l, -x and -t cannot be combined"},
        {{"-x", "-C"}, "-C needs a folder"},
        {{"-f", "*", "a.vol"}, "-C and -f go with -x"},
        {{"-l", "-C", "out", "*", "a.vol"}, "-C and -f go with -x"},
        {{"-l"}, "missing expression"},
        {{"-x", "--"}, "missing expression"},
        {{"-t", "*"}, "missing volume"},
        {{"-u", "a.vol", "file.txt"}, "-u takes no files: it reads the folder -C names"},
        {{"-u", "a.vol", "-f"}, "-f goes with -x"},
        {{"-u", "a.vol", "-i"}, "-i goes with -c and -a"},
        {{"-u", "a.vol", "-a", "b.vol"}, "-c, -a and -u go with no other command"},
        {{"--dry-run", "-x", "*", "a.vol"}, "--dry-run and --no-add go with -u"},
        {{"--no-manifest", "-u", "a.vol"}, "--no-manifest goes with -x"},
        {{"--nearest", "-x", "*", "a.vol"}, "--nearest and --dither go with -u and --from-png"},
        {{"-u", "a.vol", "--png"},
         "-u and --from-png take only --palette, --transparent, --nearest and --dither of the picture "
         "options"},
        {{"--from-png", "--levels", "a.png"},
         "-u and --from-png take only --palette, --transparent, --nearest and --dither of the picture "
         "options"},
        {{"--from-png", "-l", "*", "a.vol"}, "--from-png goes with no other command"},
        {{"--from-png", "--png", "a.pbm"}, "--from-png goes with no other command"},
        {{"--from-png", "--dither"}, "missing picture"},
        {{"-u", "a.vol", "-m", "zip"}, "unknown method zip (stored, rle, lzh or best)"},
    };
    for (const Case &c : cases) {
        tool::Options options;
        std::string error;
        EXPECT_FALSE(parse(c.arguments, options, error));
        EXPECT_EQ(error, c.error) << ::testing::PrintToString(c.arguments);
    }
}

TEST_F(ToolTest, HelpVersionAndUsageErrorsEndToEnd) {
    ToolRun result = run({"--help"});
    EXPECT_EQ(result.out.rfind("Qarvex  (V1.00)  A utility to search volumes for files\n", 0), 0u);
    for (const char *command : {"-l <expression>", "-x [-C dir] [-f] <expression>", "-t <expression>",
                                "--version", "--from-png [-C dir] [-f] [colour options] picture.png",
                                "--palette FILE", "--transparent N", "--nearest", "--dither"})
        EXPECT_NE(result.out.find(command), std::string::npos) << command;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(run({"-h"}).out, result.out);
    result = run({"--version"});
    EXPECT_EQ(result.out, "Qarvex V1.00\n");
    EXPECT_EQ(result.exitCode, 0);
    result = run({"-z", "*", "a.vol"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "qarvex: unknown option -z (qarvex -h lists the options)\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(run({"-l", "*"}).exitCode, 2);
}

TEST_F(ToolTest, AnExpressionStartingWithADashFollowsTheEndOfOptions) {
    VolumeBuilder builder;
    builder.add(1, "-dash.txt", "");
    builder.add(2, "plain.txt", "");
    volume("d.vol", builder);
    ToolRun result = run({"--", "-DASH.*", "d.vol"});
    EXPECT_EQ(result.out, "d.vol\n  -dash.txt\n");
    EXPECT_EQ(result.exitCode, 0);
    result = run({"-l", "--", "-*", "d.vol"});
    EXPECT_EQ(result.out, "d.vol\n  00000001  0  0  stored  -dash.txt\n  1 entry, 0 bytes\n");
}

TEST(EntryPathTest, NamesBecomeFoldersAndAFile) {
    struct Case {
        const char *name;
        std::vector<std::string> folders;
        const char *file;
    } cases[] = {
        {"readme.txt", {}, "readme.txt"},
        {"docs\\img\\logo.pbm", {"docs", "img"}, "logo.pbm"},
        {"docs/img/logo.pbm", {"docs", "img"}, "logo.pbm"},
        {".\\a\\\\.\\b", {"a"}, "b"},
        {"...", {}, "..."}, // only ".." itself climbs
        {"a..b\\c..", {"a..b"}, "c.."},
    };
    for (const Case &c : cases) {
        tool::EntryPath path;
        EXPECT_EQ(tool::splitEntryName(c.name, path), nullptr) << c.name;
        EXPECT_EQ(path.folders, c.folders) << c.name;
        EXPECT_EQ(path.file, c.file) << c.name;
    }
    tool::EntryPath path;
    for (const char *refused : {"", ".", "..", "a\\", "a\\..", "\\a", "/a", "C:a", "z:\\a", "a\\b:c"})
        EXPECT_NE(tool::splitEntryName(refused, path), nullptr) << refused;
}

// What the progress line wrote to a file standing in for a terminal.
std::string written(std::FILE *file) {
    std::fflush(file);
    std::string text(size_t(std::ftell(file)), '\0');
    std::rewind(file);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
    std::fseek(file, 0, SEEK_END); // reading may be followed by writing only after a seek
    return text;
}

TEST(ProgressTest, ShownOnlyForLongWorkAndClearedBeforeOtherOutput) {
    int64_t now = 0;
    std::FILE *err = std::tmpfile();
    std::FILE *out = std::tmpfile();
    ASSERT_TRUE(err && out);
    tool::Console console(out, err, true, [&] { return now; });
    console.progress.start("v.vol", 4, 1000);
    console.progress.advance(100);
    now = 400; // short work shows nothing
    console.progress.entryDone();
    EXPECT_EQ(written(err), "");
    now = 600;
    console.progress.advance(400);
    EXPECT_EQ(written(err), "\rqarvex: v.vol: 1 of 4 entries, 50%");
    now = 650; // not redrawn more often than ten times a second
    console.progress.entryDone();
    now = 700;
    console.progress.entryDone();
    console.diagnostic("v.vol: x: trouble");
    const std::string blank(std::strlen("qarvex: v.vol: 1 of 4 entries, 50%"), ' ');
    EXPECT_EQ(written(err), "\rqarvex: v.vol: 1 of 4 entries, 50%\rqarvex: v.vol: 3 of 4 entries, 50%\r" +
                                blank + "\rqarvex: v.vol: x: trouble\n");
    std::fclose(err);
    std::fclose(out);
}

TEST(ProgressTest, NeverShownWhenStandardErrorIsNotATerminal) {
    int64_t now = 0;
    std::FILE *err = std::tmpfile();
    ASSERT_TRUE(err);
    tool::Progress progress(err, false, [&] { return now; });
    progress.start("v.vol", 1, 1 << 30);
    now = 100000;
    progress.advance(1 << 29);
    progress.clear();
    EXPECT_EQ(written(err), "");
    std::fclose(err);
}

} // namespace

} // namespace qarvex
