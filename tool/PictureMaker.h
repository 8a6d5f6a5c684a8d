// PictureMaker: what the picture commands share. It holds the picture settings (with the palette
// file read once), converts the bytes of one graphics file, and writes the resulting files into a
// folder, each under a temporary name first and renamed only when all of them are complete.
#pragma once

#include "tool/Console.h"
#include "tool/PngOptions.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/PictureImport.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

class PictureMaker {
public:
    // Graphics files larger than this are not read into memory to be shown.
    static constexpr int64_t MaxSourceBytes = int64_t(256) << 20;

    PictureMaker(const PngOptions &options, Console &console);
    PictureMaker(const PictureMaker &) = delete;
    PictureMaker &operator=(const PictureMaker &) = delete;

    // False when the palette file could not be read (already reported).
    bool ready() const { return usable; }

    // Shows bytes, the graphics file called name (of kind kind), as files named base + suffix in
    // folder. where ("vol" or empty) and name head the diagnostics. On success written lists the
    // files made; on failure nothing of them is left and the reason has been reported.
    bool make(png::GraphicsKind kind, const std::vector<uint8_t> &bytes, const std::string &where,
              const std::string &name, platform::FolderHandle folder, const std::string &base, bool force,
              std::string &written);

    // "qarvex: where: name: text" (or "qarvex: name: text" without where).
    void report(const std::string &where, const std::string &name, const std::string &text);

    std::vector<std::string> lastWritten; // the files the last successful make wrote, by name
    int64_t pictures = 0;                 // PNG files written
    int64_t failed = 0;                   // graphics files that gave none

private:
    Console &console;
    png::Settings settings;
    GFXPalette::Ptr palette; // from --palette
    bool usable = true;
};

// The whole file at path into bytes; false with the reason in error.
bool readWholeFile(const char *path, std::vector<uint8_t> &bytes, std::string &error);

// The palette file of --palette (RIFF or PL98); false with the reason in error.
bool readPaletteOption(const char *path, GFXPalette::Ptr &palette, std::string &error);

// How pictures are read back (-u, --from-png) by the picture options, with palette from --palette.
png::ImportSettings importSettingsOf(const PngOptions &options, const GFXPalette *palette);

// Writes files into folder as base + suffix, each under a temporary name flushed to the disk first
// and all renamed only once every one is complete; an existing file is replaced only with force.
// False with the reason in error, leaving none of them.
bool writeFilesWhole(platform::FolderHandle folder, const std::string &base,
                     const std::vector<png::OutputFile> &files, bool force, std::string &error);

} // namespace tool

} // namespace qarvex
