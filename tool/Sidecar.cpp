// Sidecar: writing and reading sidecar files, and the rebuild from the pictures beside one.
#include "tool/Sidecar.h"

#include "tool/Manifest.h"
#include "tool/SourceList.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace qarvex {

namespace tool {

namespace {

constexpr const char *Heading = "qarvex sidecar 1";

// The next line of bytes from at (without its '\n'); false at the end.
bool nextLine(const std::vector<uint8_t> &bytes, size_t &at, std::string &line) {
    if (at >= bytes.size())
        return false;
    size_t end = at;
    while (end < bytes.size() && bytes[end] != '\n')
        ++end;
    line.assign(bytes.begin() + ptrdiff_t(at), bytes.begin() + ptrdiff_t(end));
    at = end < bytes.size() ? end + 1 : end;
    return true;
}

} // namespace

std::vector<uint8_t> Sidecar::bytes() const {
    std::string text = std::string(Heading) + "\nfile " + file + "\n";
    for (const auto &[suffix, checksum] : pictures) {
        char number[24];
        std::snprintf(number, sizeof number, "%016" PRIx64, checksum);
        text += "picture " + suffix + " " + number + "\n";
    }
    text += "data " + std::to_string(original.size()) + "\n";
    std::vector<uint8_t> out(text.begin(), text.end());
    out.insert(out.end(), original.begin(), original.end());
    return out;
}

bool Sidecar::parse(const std::vector<uint8_t> &bytes, std::string &error) {
    size_t at = 0;
    std::string line;
    pictures.clear();
    file.clear();
    if (!nextLine(bytes, at, line) || line != Heading) {
        error = "not a sidecar file";
        return false;
    }
    while (nextLine(bytes, at, line)) {
        if (line.rfind("file ", 0) == 0) {
            file = line.substr(5);
        } else if (line.rfind("picture ", 0) == 0) {
            size_t space = line.rfind(' ');
            unsigned long long checksum = 0;
            if (space <= 8 || std::sscanf(line.c_str() + space + 1, "%16llx", &checksum) != 1) {
                error = "damaged picture line";
                return false;
            }
            pictures.emplace_back(line.substr(8, space - 8), checksum);
        } else if (line.rfind("data ", 0) == 0) {
            unsigned long long size = std::strtoull(line.c_str() + 5, nullptr, 10);
            if (file.empty() || size != bytes.size() - at) {
                error = "damaged: the data is not as long as it says";
                return false;
            }
            original.assign(bytes.begin() + ptrdiff_t(at), bytes.end());
            return true;
        } else {
            error = "damaged line: " + line.substr(0, 40);
            return false;
        }
    }
    error = "damaged: no data";
    return false;
}

bool findEditedPictures(const std::string &path, EditedPictures &edited, std::string &error) {
    std::vector<uint8_t> bytes;
    Sidecar &sidecar = edited.sidecar;
    if (!readSourceFile(path, bytes, error) || !sidecar.parse(bytes, error))
        return false;
    std::string base = path.substr(0, path.size() - std::strlen(Sidecar::Suffix));
    edited.pictures.clear();
    for (const auto &[suffix, checksum] : sidecar.pictures) {
        std::vector<uint8_t> picture;
        std::string why;
        if (!readSourceFile(base + suffix, picture, why))
            continue;
        if (checksumOf(picture.data(), picture.size()) == checksum)
            continue;
        if (!png::readsBack(png::graphicsKindOf(sidecar.file.c_str()), suffix)) {
            error = sidecar.file + suffix + ": edits of this file are not read back";
            return false;
        }
        std::optional<int64_t> modified = modificationTime(base + suffix);
        if (modified && (edited.pictures.empty() || *modified > edited.newest))
            edited.newest = *modified;
        edited.pictures.emplace(suffix, std::move(picture));
    }
    return true;
}

bool rebuildFromPictures(const EditedPictures &edited, const png::ImportSettings &settings,
                         std::vector<uint8_t> &out, std::string &error) {
    return png::rebuildGraphics(png::graphicsKindOf(edited.sidecar.file.c_str()), edited.sidecar.original,
                                edited.pictures, settings, out, error);
}

} // namespace tool

} // namespace qarvex
