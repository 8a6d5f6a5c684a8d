// PictureMaker: the palette file, the conversion of one graphics file, and writing its pictures
// whole or not at all.
#include "tool/PictureMaker.h"

#include "tool/Manifest.h"
#include "tool/Sidecar.h"

#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/platform/TemporaryFile.h>

namespace qarvex {

namespace tool {

bool readWholeFile(const char *path, std::vector<uint8_t> &bytes, std::string &error) {
    platform::FileHandle file = platform::openFile(path, platform::OpenMode::ReadShared);
    if (file == platform::InvalidFile) {
        error = std::string("cannot read: ") + systemReason(platform::lastError());
        return false;
    }
    int64_t size = platform::fileSize(file);
    bool ok = size >= 0 && size <= PictureMaker::MaxSourceBytes;
    if (!ok)
        error = size < 0 ? "cannot read: cannot tell its size" : "too large to show as pictures";
    bytes.assign(ok ? size_t(size) : 0, 0);
    for (int32_t done = 0; ok && done < size;) {
        int32_t got = 0;
        ok = platform::readFile(file, bytes.data() + done, int32_t(size - done), got) && got > 0;
        if (!ok)
            error = std::string("cannot read: ") + systemReason(platform::lastError());
        done += got;
    }
    platform::closeFile(file);
    return ok;
}

PictureMaker::PictureMaker(const PngOptions &options, Console &console) : console(console) {
    settings.transparent = options.transparent;
    settings.detailLevels = options.detailLevels;
    settings.contactSheet = options.contactSheet;
    if (!options.paletteFile)
        return;
    std::string error;
    if (!readPaletteOption(options.paletteFile, palette, error)) {
        console.diagnostic("%s: %s", options.paletteFile, error.c_str());
        usable = false;
    }
    settings.palette = palette.get();
}

bool readPaletteOption(const char *path, GFXPalette::Ptr &palette, std::string &error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error))
        return false;
    palette = png::readPaletteFile(bytes.data(), bytes.size());
    if (!palette)
        error = "not a readable palette (RIFF or PL98)";
    return palette != nullptr;
}

png::ImportSettings importSettingsOf(const PngOptions &options, const GFXPalette *palette) {
    png::ImportSettings settings;
    settings.palette = palette;
    settings.transparent = options.transparent;
    settings.mapping = options.dither    ? png::ImportSettings::Mapping::Dither
                       : options.nearest ? png::ImportSettings::Mapping::Nearest
                                         : png::ImportSettings::Mapping::Exact;
    return settings;
}

void PictureMaker::report(const std::string &where, const std::string &name, const std::string &text) {
    if (where.empty())
        console.diagnostic("%s: %s", name.c_str(), text.c_str());
    else
        console.diagnostic("%s: %s: %s", where.c_str(), name.c_str(), text.c_str());
}

bool PictureMaker::make(png::GraphicsKind kind, const std::vector<uint8_t> &bytes, const std::string &where,
                        const std::string &name, platform::FolderHandle folder, const std::string &base,
                        bool force, std::string &written) {
    png::Conversion conversion = png::convertGraphics(kind, bytes.data(), bytes.size(), base, settings);
    std::string error = conversion.error;
    if (conversion.ok())
        for (const std::string &warning : conversion.warnings)
            report(where, name, warning);
    if (conversion.ok()) {
        // The sidecar that turns the pictures back into the file goes with them, and is not listed.
        Sidecar sidecar{base, {}, bytes};
        for (const png::OutputFile &file : conversion.files)
            sidecar.pictures.emplace_back(file.suffix, checksumOf(file.bytes.data(), file.bytes.size()));
        conversion.files.push_back({Sidecar::Suffix, sidecar.bytes()});
        if (!writeFilesWhole(folder, base, conversion.files, force, error))
            conversion.error = error;
        conversion.files.pop_back();
    }
    if (!conversion.ok()) {
        report(where, name, "no picture: " + conversion.error);
        ++failed;
        return false;
    }
    // A long array is named by its first and last picture.
    const std::vector<png::OutputFile> &files = conversion.files;
    written.clear();
    lastWritten.clear();
    for (size_t i = 0; i < files.size(); ++i) {
        lastWritten.push_back(base + files[i].suffix);
        if (files.size() <= 3 || i == 0 || i + 1 == files.size())
            written += (i == 0 ? "" : files.size() <= 3 ? ", " : " ... ") + base + files[i].suffix;
        if (files[i].suffix.size() >= 4 &&
            files[i].suffix.compare(files[i].suffix.size() - 4, 4, ".png") == 0)
            ++pictures;
    }
    if (files.size() > 3)
        written += " (" + std::to_string(files.size()) + " files)";
    return true;
}

bool writeFilesWhole(platform::FolderHandle folder, const std::string &base,
                     const std::vector<png::OutputFile> &files, bool force, std::string &error) {
    std::vector<std::string> temporaries, renamed;
    auto undo = [&] {
        for (const std::string &name : temporaries)
            platform::discardTemporary(folder, name);
        for (const std::string &name : renamed)
            platform::removeFileIn(folder, name.c_str());
        return false;
    };
    for (const png::OutputFile &file : files) {
        std::string target = base + file.suffix;
        if (!force && platform::existsIn(folder, target.c_str())) {
            error = target + " exists; not replaced without -f";
            return undo();
        }
        std::string temporary;
        platform::FileHandle handle = platform::createTemporaryIn(folder, temporary);
        if (handle == platform::InvalidFile) {
            error = std::string("cannot create a file: ") + systemReason(platform::lastError());
            return undo();
        }
        temporaries.push_back(temporary);
        int32_t written = 0;
        bool whole = platform::writeFile(handle, file.bytes.data(), int32_t(file.bytes.size()), written) &&
                     written == int32_t(file.bytes.size());
        uint32_t writeError = platform::lastError();
        if (!whole)
            platform::closeFile(handle);
        else if (!platform::finishTemporary(handle)) {
            whole = false;
            writeError = platform::lastError();
        }
        if (!whole) {
            error = std::string("cannot write: ") + systemReason(writeError);
            return undo();
        }
    }
    // Every file is complete: only now do they get their names.
    for (size_t i = 0; i < files.size(); ++i) {
        std::string target = base + files[i].suffix;
        if (!platform::keepTemporary(folder, temporaries[i], target.c_str(), force)) {
            uint32_t why = platform::lastError();
            error = why == platform::error::AlreadyExists
                        ? target + " exists; not replaced without -f"
                        : "cannot create " + target + ": " + systemReason(why);
            temporaries.erase(temporaries.begin(), temporaries.begin() + ptrdiff_t(i));
            return undo();
        }
        renamed.push_back(target);
    }
    return true;
}

} // namespace tool

} // namespace qarvex
