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
        Command command = letter == 'c' ? Command::Create : Command::Add;
        if (options.command != Command::Search && options.command != command) {
            error = "-c and -a go with no other command";
            return -1;
        }
        options.command = command;
        options.volumePath = value;
    }
    return rest ? 1 : 2;
}

bool finishCreateOptions(const Options &options, std::string &error) {
    bool writing = options.command == Command::Create || options.command == Command::Add;
    if (!writing) {
        if (options.method || options.idsFromNames) {
            error = "-m and -i go with -c and -a";
            return false;
        }
        return true;
    }
    VolumeWriter::Method method;
    if (!methodFromName(options.method, method)) {
        error = std::string("unknown method ") + options.method + " (stored, rle, lzh or best)";
        return false;
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
    std::fprintf(out, "\n"
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
                      "  Exit status of -c and -a: 0 written, 1 failed (nothing written), 2 usage error.\n");
}

} // namespace tool

} // namespace qarvex
