// Options: the command line of qarvex. Options come before the expression, POSIX style: "--" ends
// them, and the first argument that does not start with "-" (or is "-" alone) is the expression.
// Without options the line is the search command's, unchanged.
#pragma once

#include "tool/PngOptions.h"

#include <cstdio>
#include <string>

namespace qarvex {

namespace tool {

enum ExitStatus {
    Success = 0,    // everything asked for was done
    Failure = 1,    // some entry or volume failed
    UsageError = 2, // the command line made no sense
};

enum class Command { Search, List, Extract, Test, Help, Version, Png, FromPng, Create, Add, Update, Serve };

struct Options {
    Command command = Command::Search;
    const char *targetFolder = nullptr; // -C: where -x writes (null: the current folder)
    bool force = false;                 // -f: -x replaces existing files
    PngOptions png;                     // --png and the picture options
    const char *volumePath = nullptr;   // -c, -a, -u: the volume written
    const char *method = nullptr;       // -m: stored, rle, lzh or best (null: stored)
    bool idsFromNames = false;          // -i: ids from file names of eight hexadecimal digits
    bool dryRun = false;                // --dry-run: -u tells what it would do, writes nothing
    bool noAdd = false;                 // --no-add: -u adds no entries for new files
    bool noManifest = false;            // --no-manifest: -x leaves no manifest
    bool portableNames = false;         // --portable-names: -x renames names Windows cannot hold
    bool json = false;                  // --json: one JSON document instead of the text
    bool recursive = false;             // -r: folders among the volume arguments searched for volumes
    int threads = 0;                    // -j: entries worked on at once (0: one per processor)
    // The arguments after the options: the expression, then the volumes. With --serve the whole
    // command line (argv, null-terminated), which the viewer reads itself.
    char *const *operands = nullptr;
    int operandCount = 0;
};

constexpr int MaxThreads = 256;

// The threads a command works with: -j, or one per processor.
int threadsFor(const Options &options);

// Reads the options of argv[1..argc). False on a usage error, with the reason in error.
bool parseOptions(int argc, char *const *argv, Options &options, std::string &error);

void printHelp(std::FILE *out);
void printVersion(std::FILE *out);

} // namespace tool

} // namespace qarvex
