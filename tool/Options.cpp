// Options: reading the command line, and the help and version texts.
#include "tool/Options.h"

#include "tool/CreateOptions.h"
#include "tool/SearchCommand.h"
#include "tool/ServeCommand.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qarvex {

namespace tool {

bool parseOptions(int argc, char *const *argv, Options &options, std::string &error) {
    options = Options{};
    int at = 1;
    for (; at < argc; ++at) {
        const char *argument = argv[at];
        if (argument[0] != '-' || argument[1] == '\0')
            break; // the expression
        if (std::strcmp(argument, "--") == 0) {
            ++at;
            break;
        }
        if (std::strcmp(argument, "--serve") == 0) {
            options.command = Command::Serve; // the viewer reads the whole line itself
            options.operands = argv;
            options.operandCount = argc;
            return true;
        }
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "--version") == 0) {
            options.command = argument[2] == 'h' ? Command::Help : Command::Version;
            return true;
        }
        if (std::strcmp(argument, "--json") == 0) {
            options.json = true;
            continue;
        }
        if (std::strcmp(argument, "--portable-names") == 0) {
            options.portableNames = true;
            continue;
        }
        if (int used = parsePngOption(argc, argv, at, options.png, error)) {
            if (used < 0)
                return false;
            at += used - 1;
            continue;
        }
        if (int used = parseUpdateOption(argument, options)) {
            at += used - 1;
            continue;
        }
        if (argument[1] == '-') {
            error = std::string("unknown option ") + argument;
            return false;
        }
        // Letters may be grouped ("-xf"); -C takes the rest of its argument or the next one.
        for (const char *letter = argument + 1; *letter; ++letter) {
            // -c, -a and -u take the volume, -m the method, as -C takes its folder.
            if (*letter == 'c' || *letter == 'a' || *letter == 'u' || *letter == 'm') {
                if (int used = parseCreateOption(*letter, letter[1] ? letter + 1 : nullptr,
                                                 at + 1 < argc ? argv[at + 1] : nullptr, options, error)) {
                    if (used < 0)
                        return false;
                    at += used - 1;
                    break;
                }
            }
            if (*letter == 'i') {
                options.idsFromNames = true;
                continue;
            }
            if (*letter == 'r') {
                options.recursive = true;
                continue;
            }
            if (*letter == 'j') {
                const char *count = letter[1] ? letter + 1 : at + 1 < argc ? argv[++at] : nullptr;
                char *end = nullptr;
                long threads = count ? std::strtol(count, &end, 10) : 0;
                if (!count || *end || threads < 1 || threads > MaxThreads) {
                    error = "-j needs a number of threads from 1 to " + std::to_string(MaxThreads);
                    return false;
                }
                options.threads = int(threads);
                break;
            }
            if (*letter == 'C') {
                const char *folder = letter[1] ? letter + 1 : at + 1 < argc ? argv[++at] : nullptr;
                if (!folder) {
                    error = "-C needs a folder";
                    return false;
                }
                options.targetFolder = folder;
                break;
            }
            Command command = Command::Search;
            switch (*letter) {
            case 'h':
                options.command = Command::Help;
                return true;
            case 'f':
                options.force = true;
                continue;
            case 'l':
                command = Command::List;
                break;
            case 'x':
                command = Command::Extract;
                break;
            case 't':
                command = Command::Test;
                break;
            default:
                error = std::string("unknown option -") + *letter;
                return false;
            }
            if (options.command != Command::Search && options.command != command) {
                error = "-l, -x and -t cannot be combined";
                return false;
            }
            options.command = command;
        }
    }
    options.operands = argv + at;
    options.operandCount = argc - at;
    if (!finishPngOptions(options, error))
        return false;
    if (options.force && options.command == Command::Update) {
        error = "-f goes with -x";
        return false;
    }
    if ((options.targetFolder || options.force) && options.command != Command::Extract &&
        options.command != Command::Png && options.command != Command::FromPng &&
        options.command != Command::Update) {
        error = "-C and -f go with -x";
        return false;
    }
    if (options.portableNames && options.command != Command::Extract) {
        error = "--portable-names goes with -x";
        return false;
    }
    if (!finishCreateOptions(options, error))
        return false;
    if (options.command == Command::Create || options.command == Command::Add ||
        options.command == Command::Update)
        return true;
    if (options.command == Command::Search || options.command == Command::Png ||
        options.command == Command::FromPng)
        return true; // too few operands give the search command's usage text
    if (options.operandCount < 1) {
        error = "missing expression";
        return false;
    }
    if (options.operandCount < 2) {
        error = "missing volume";
        return false;
    }
    return true;
}

int threadsFor(const Options &options) {
    if (options.threads > 0)
        return options.threads;
    unsigned processors = std::thread::hardware_concurrency();
    return processors > 0 ? int(std::min<unsigned>(processors, MaxThreads)) : 1;
}

void printHelp(std::FILE *out) {
    search::printUsage(out);
    std::fprintf(out, "\n"
                      "  Qarvex -l <expression> vol...   list matching entries: id, size, stored size,\n"
                      "                                  method and name, and a total per volume\n"
                      "  Qarvex -x [-C dir] [-f] <expression> vol...\n"
                      "                                  extract matching entries into dir (default: the\n"
                      "                                  current folder); -f replaces existing files;\n"
                      "                                  --portable-names renames names Windows cannot\n"
                      "                                  hold (CON.txt as CON_.txt, \"a?.\" as a__)\n"
                      "  Qarvex -t <expression> vol...   check that matching entries decode to their size\n"
                      "  Qarvex -h, --help               this text\n"
                      "  Qarvex --version                the version\n"
                      "\n"
                      "  Options come before the expression; \"--\" ends them, so that an expression may\n"
                      "  start with \"-\". Exit status of -l, -x and -t: 0 all done, 1 some entry or\n"
                      "  volume failed, 2 usage error. The search itself always ends with 0.\n");
    printPngHelp(out);
    printCreateHelp(out);
    std::fprintf(out,
                 "\n"
                 "  --json                          with any command: one JSON document on standard\n"
                 "                                  output instead of the text (tool/qarvex.schema.json)\n"
                 "  -r                              with any command: a folder among the volumes (or\n"
                 "                                  --png files) is searched for them, all the way down\n"
                 "  -j N                            -t, -x, -c, -a, -u: work on N entries at once\n"
                 "                                  (default: one per processor); the output is the\n"
                 "                                  same whatever N\n");
    printServeHelp(out);
}

void printVersion(std::FILE *out) {
    std::fprintf(out, "Qarvex V1.00\n");
}

} // namespace tool

} // namespace qarvex
