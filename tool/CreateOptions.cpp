// The options of -c and -a, and their help text.
#include "tool/CreateOptions.h"

#include <cstring>

namespace qarvex {

namespace tool {

int parseCreateOption(char letter, const char *rest, const char *next, Options &options, std::string &error) {
    const char *value = rest ? rest : next;
    if (!value) {
        error = letter == 'm' ? "-m needs a method" : std::string("-") + letter + " needs a volume";
        return -1;
    }
    if (letter == 'm') {
        options.method = value;
    } else {
        Command command = letter == 'c' ? Command::Create : letter == 'a' ? Command::Add : Command::Update;
        if (options.command != Command::Search && options.command != command) {
            error = "-c, -a and -u go with no other command";
            return -1;
        }
        options.command = command;
        options.volumePath = value;
    }
    return rest ? 1 : 2;
}

int parseUpdateOption(const char *argument, Options &options) {
    bool *flag = std::strcmp(argument, "--dry-run") == 0       ? &options.dryRun
                 : std::strcmp(argument, "--no-add") == 0      ? &options.noAdd
                 : std::strcmp(argument, "--no-manifest") == 0 ? &options.noManifest
                                                               : nullptr;
    if (!flag)
        return 0;
    *flag = true;
    return 1;
}

bool finishCreateOptions(const Options &options, std::string &error) {
    bool updating = options.command == Command::Update;
    bool writing = options.command == Command::Create || options.command == Command::Add || updating;
    if ((options.dryRun || options.noAdd) && !updating) {
        error = "--dry-run and --no-add go with -u";
        return false;
    }
    if (options.noManifest && options.command != Command::Extract) {
        error = "--no-manifest goes with -x";
        return false;
    }
    if (!writing) {
        if (options.method || options.idsFromNames) {
            error = "-m and -i go with -c and -a";
            return false;
        }
        return true;
    }
    if (updating && options.idsFromNames) {
        error = "-i goes with -c and -a";
        return false;
    }
    VolumeWriter::Method method;
    if (!methodFromName(options.method, method)) {
        error = std::string("unknown method ") + options.method + " (stored, rle, lzh or best)";
        return false;
    }
    if (updating) {
        if (options.operandCount > 0) {
            error = "-u takes no files: it reads the folder -C names";
            return false;
        }
        return true;
    }
    if (options.operandCount < 1) {
        error = "missing file";
        return false;
    }
    return true;
}

bool methodFromName(const char *name, VolumeWriter::Method &method) {
    static const struct {
        const char *name;
        VolumeWriter::Method method;
    } methods[] = {{"stored", VolumeWriter::Method::Stored},
                   {"rle", VolumeWriter::Method::RLE},
                   {"lzh", VolumeWriter::Method::LZH},
                   {"best", VolumeWriter::Method::Best}};
    if (!name) {
        method = VolumeWriter::Method::Stored;
        return true;
    }
    for (const auto &known : methods) {
        if (std::strcmp(known.name, name) == 0) {
            method = known.method;
            return true;
        }
    }
    return false;
}

void printCreateHelp(std::FILE *out) {
    std::fprintf(out,
                 "\n"
                 "  Qarvex -c out.vol [-m method] [-i] file...\n"
                 "                                  create a volume from files and folders (their\n"
                 "                                  contents, recursively, folders joined by \\)\n"
                 "  Qarvex -a vol [-m method] [-i] file...\n"
                 "                                  add entries to a volume, replacing those of the\n"
                 "                                  same name; the volume is rewritten whole\n"
                 "    -m stored|rle|lzh|best        how entries are kept (default stored; best keeps\n"
                 "                                  the smallest of the three)\n"
                 "    -i                            ids from file names of eight hexadecimal digits\n"
                 "                                  (000000FF.dat has id 255), none for other files;\n"
                 "                                  without -i ids are numbered from 1 (with -a,\n"
                 "                                  after the highest; a replaced entry keeps its id)\n"
                 "  Qarvex -u vol [-C dir] [-m method] [--dry-run] [--no-add] [colour options]\n"
                 "                                  update a volume from the folder -x wrote (default:\n"
                 "                                  the current folder): changed files replace their\n"
                 "                                  entries, coded as before unless -m says otherwise;\n"
                 "                                  pictures edited after their graphics file (or in\n"
                 "                                  its place) are read back by the colour options;\n"
                 "                                  new files are added unless --no-add; --dry-run\n"
                 "                                  tells what would change and writes nothing\n"
                 "  Exit status of -c, -a and -u: 0 written, 1 failed (nothing written), 2 usage error.\n");
}

} // namespace tool

} // namespace qarvex
