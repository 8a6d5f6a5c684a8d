// PngOptions: reading the picture options and their help text.
#include "tool/PngOptions.h"

#include "tool/Options.h"

#include <cstdlib>
#include <cstring>

namespace qarvex {

namespace tool {

namespace {

// The value of "--name VALUE" or "--name=VALUE" at argv[at]; null when argv[at] is another option.
// used counts the arguments taken.
const char *valueOf(const char *name, int argc, char *const *argv, int at, int &used, bool &missing) {
    size_t length = std::strlen(name);
    const char *argument = argv[at];
    missing = false;
    if (std::strncmp(argument, name, length) != 0)
        return nullptr;
    if (argument[length] == '=') {
        used = 1;
        return argument + length + 1;
    }
    if (argument[length] != '\0')
        return nullptr;
    if (at + 1 >= argc) {
        missing = true;
        return nullptr;
    }
    used = 2;
    return argv[at + 1];
}

} // namespace

int parsePngOption(int argc, char *const *argv, int at, PngOptions &png, std::string &error) {
    const char *argument = argv[at];
    if (std::strcmp(argument, "--png") == 0) {
        png.enabled = true;
        return 1;
    }
    if (std::strcmp(argument, "--from-png") == 0) {
        png.fromPng = true;
        return 1;
    }
    if (std::strcmp(argument, "--png-only") == 0) {
        png.enabled = png.only = true;
        return 1;
    }
    if (std::strcmp(argument, "--levels") == 0) {
        png.detailLevels = true;
        return 1;
    }
    if (std::strcmp(argument, "--nearest") == 0 || std::strcmp(argument, "--dither") == 0) {
        (argument[2] == 'n' ? png.nearest : png.dither) = true;
        return 1;
    }
    if (std::strcmp(argument, "--sheet") == 0) {
        png.contactSheet = true;
        return 1;
    }
    int used = 0;
    bool missing = false;
    if (const char *file = valueOf("--palette", argc, argv, at, used, missing); file || missing) {
        if (missing || !*file) {
            error = "--palette needs a palette file";
            return -1;
        }
        png.paletteFile = file;
        return used;
    }
    if (const char *number = valueOf("--transparent", argc, argv, at, used, missing); number || missing) {
        char *end = nullptr;
        long index = missing ? -1 : std::strtol(number, &end, 10);
        if (missing || !*number || *end || index < 0 || index > 255) {
            error = "--transparent needs a colour index from 0 to 255";
            return -1;
        }
        png.transparent = int32_t(index);
        return used;
    }
    return 0;
}

bool finishPngOptions(Options &options, std::string &error) {
    PngOptions &png = options.png;
    if (png.fromPng) {
        if (options.command != Command::Search || png.enabled) {
            error = "--from-png goes with no other command";
            return false;
        }
        options.command = Command::FromPng;
    }
    bool readingBack = options.command == Command::Update || options.command == Command::FromPng;
    if ((png.nearest || png.dither) && !readingBack) {
        error = "--nearest and --dither go with -u and --from-png";
        return false;
    }
    if (readingBack) {
        if (png.enabled || png.detailLevels || png.contactSheet) {
            error = "-u and --from-png take only --palette, --transparent, --nearest and --dither of the "
                    "picture options";
            return false;
        }
        if (options.command == Command::FromPng && options.operandCount < 1) {
            error = "missing picture";
            return false;
        }
        return true;
    }
    if (!png.enabled) {
        if (png.paletteFile || png.transparent >= 0 || png.detailLevels || png.contactSheet) {
            error = "--palette, --transparent, --levels and --sheet go with --png";
            return false;
        }
        return true;
    }
    if (options.command == Command::Search)
        options.command = Command::Png;
    if (options.command != Command::Png && options.command != Command::Extract) {
        error = "--png goes with -x or on its own";
        return false;
    }
    if (png.only && options.command != Command::Extract) {
        error = "--png-only goes with -x";
        return false;
    }
    if (options.command == Command::Png && options.operandCount < 1) {
        error = "missing file";
        return false;
    }
    return true;
}

void printPngHelp(std::FILE *out) {
    std::fprintf(out, "\n"
                      "  Qarvex -x --png [-C dir] [-f] [picture options] <expression> vol...\n"
                      "                                  extract, and show graphics entries as PNG\n"
                      "                                  pictures beside them (name.png, name.0.png...)\n"
                      "  Qarvex -x --png-only ...        the pictures instead of the graphics entries\n"
                      "  Qarvex --png [-C dir] [-f] [picture options] file...\n"
                      "                                  the same for graphics files on disk, written\n"
                      "                                  beside each file (or into dir)\n"
                      "  Picture options: --palette FILE (colours for 8-bit images without their own),\n"
                      "  --transparent N (colour index N transparent), --levels (detail levels too),\n"
                      "  --sheet (a bitmap array as one contact sheet).\n"
                      "  Qarvex --from-png [-C dir] [-f] [colour options] picture.png...\n"
                      "                                  pictures back into the graphics files their\n"
                      "                                  sidecars name (title.pbm.png gives title.pbm),\n"
                      "                                  beside them (or into dir), with every edited\n"
                      "                                  picture of the file; -f replaces an existing one\n"
                      "  Colour options of --from-png and -u: --palette FILE (the colours of 8-bit\n"
                      "  images without their own; of a PL98 set, the palette of the image's index),\n"
                      "  --transparent N (fully transparent pixels become index N, never chosen\n"
                      "  otherwise), --nearest (colours not in the palette become the nearest one),\n"
                      "  --dither (Floyd-Steinberg error diffusion onto the palette). Without them a\n"
                      "  colour not in the palette is refused, with the pixel listed.\n");
}

} // namespace tool

} // namespace qarvex
