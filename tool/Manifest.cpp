// Manifest: the checksum, and reading and writing ".qarvex-manifest".
#include "tool/Manifest.h"

#include "tool/EntryPath.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/TemporaryFile.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace qarvex {

namespace tool {

namespace {

constexpr const char *Heading = "qarvex manifest 1";

std::string pathIn(const std::string &folder, const std::string &name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == platform::PathSeparator)
        return folder + name;
    return folder + platform::PathSeparator + name;
}

} // namespace

void Checksum::add(const uint8_t *bytes, size_t count) {
    uint64_t h = hash;
    for (size_t i = 0; i < count; ++i)
        h = (h ^ bytes[i]) * 0x100000001B3ull;
    hash = h;
}

uint64_t checksumOf(const uint8_t *bytes, size_t count) {
    Checksum checksum;
    checksum.add(bytes, count);
    return checksum.value();
}

bool Manifest::load(const std::string &folder) {
    lines.clear();
    names.clear();
    std::ifstream in(pathIn(folder, FileName), std::ios::binary);
    std::string text;
    if (!std::getline(in, text) || text != Heading)
        return false;
    while (std::getline(in, text)) {
        long long size = 0, modified = 0;
        unsigned long long checksum = 0;
        int used = 0;
        if (std::sscanf(text.c_str(), "%lld %16llx %lld %n", &size, &checksum, &modified, &used) != 3 ||
            used <= 0 || size_t(used) >= text.size() || size < 0)
            continue; // a line damaged by hand only means that entry is compared by decoding
        record(text.substr(size_t(used)), Line{size, checksum, modified});
    }
    return true;
}

bool Manifest::save(const std::string &folder) const {
    std::string text = std::string(Heading) + "\n";
    char numbers[80];
    for (const auto &[key, line] : lines) {
        std::snprintf(numbers, sizeof numbers, "%lld %016" PRIx64 " %lld ", (long long)line.size,
                      line.checksum, (long long)line.modified);
        text += numbers + names.at(key) + "\n";
    }
    platform::FolderHandle target = platform::openFolder(folder.empty() ? "." : folder.c_str());
    if (target == platform::InvalidFolder)
        return false;
    std::string temporary;
    platform::FileHandle file = platform::createTemporaryIn(target, temporary);
    bool ok = file != platform::InvalidFile;
    if (ok) {
        int32_t written = 0;
        ok = platform::writeFile(file, text.data(), int32_t(text.size()), written) &&
             written == int32_t(text.size());
        // The manifest is a cache that -u checks against the files: one lost or left old by a
        // power cut only makes -u compare checksums, so it is not waited for on the disk.
        ok = platform::closeFile(file) && ok &&
             platform::keepTemporary(target, temporary, FileName, true, platform::Durability::Cache);
        if (!ok)
            platform::discardTemporary(target, temporary);
    }
    platform::closeFolder(target);
    return ok;
}

void Manifest::record(const std::string &entryName, const Line &line) {
    // A name that would break its line is left out: that entry is then compared by decoding.
    if (entryName.empty() || entryName.find_first_of("\r\n") != std::string::npos)
        return;
    std::string key = nameKey(entryName);
    lines[key] = line;
    names[key] = entryName;
}

const Manifest::Line *Manifest::find(const std::string &entryName) const {
    auto found = lines.find(nameKey(entryName));
    return found == lines.end() ? nullptr : &found->second;
}

std::optional<int64_t> modificationTime(const std::string &path) {
    platform::FileFacts facts;
    if (!platform::fileFacts(path.c_str(), facts))
        return std::nullopt;
    return facts.modified;
}

std::optional<std::string> pathBelow(const std::string &folder, const char *name) {
    EntryPath where;
    if (!name || splitEntryName(name, where))
        return std::nullopt;
    std::string path = folder;
    for (const std::string &step : where.folders)
        path = pathIn(path, step);
    return pathIn(path, where.file);
}

} // namespace tool

} // namespace qarvex
