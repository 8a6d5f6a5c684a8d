// PngOptions: the picture options of qarvex's command line. "--png" alone converts loose graphics
// files; with -x, graphics entries become PNG pictures beside their extracted bytes ("--png-only":
// instead of them). "--from-png" and -u read edited pictures back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace qarvex {

namespace tool {

struct Options;

struct PngOptions {
    bool enabled = false;              // --png (also set by --png-only)
    bool only = false;                 // --png-only: with -x, no raw bytes for graphics entries
    const char *paletteFile = nullptr; // --palette FILE: colours for 8-bit images without their own
    int32_t transparent = -1;          // --transparent N: colour index shown transparent
    bool detailLevels = false;         // --levels: detail levels 1 and up as pictures too
    bool contactSheet = false;         // --sheet: a bitmap array as one contact sheet
    bool nearest = false;              // --nearest: -u maps colours not in a palette to the nearest
    bool dither = false;               // --dither: -u diffuses them onto the palette instead
    bool fromPng = false;              // --from-png: pictures back into the files their sidecars name
};

// When argv[at] is a picture option, reads it and its value: the number of arguments used (1 or
// 2). 0 when it is no picture option; -1 on a usage error, with the reason in error.
int parsePngOption(int argc, char *const *argv, int at, PngOptions &png, std::string &error);

// After the options: "--png" without a command converts files, "--from-png" reads pictures back;
// checks that the picture options go with their commands, and that --png and --from-png have
// files. False on a usage error.
bool finishPngOptions(Options &options, std::string &error);

void printPngHelp(std::FILE *out);

} // namespace tool

} // namespace qarvex
