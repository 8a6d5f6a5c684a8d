// The -u command. Which files changed is told by the manifest -x left (size and time first, the
// checksum when they differ), else by decoding the entry and comparing; untouched entries keep
// their stored bytes, so they are never decoded or coded again.
//   qarvex -u game.vol -C game
//   game.vol
//     text\intro.txt (replaced)
//     credits.txt (added)
//   1 entry replaced, 1 added, 498 kept
#include "tool/UpdateCommand.h"

#include "tool/CreateCommand.h"
#include "tool/CreateOptions.h"
#include "tool/EntryDecoder.h"
#include "tool/EntryPath.h"
#include "tool/JsonReport.h"
#include "tool/Manifest.h"
#include "tool/PictureMaker.h"
#include "tool/Sidecar.h"
#include "tool/SourceList.h"
#include "tool/VolumeWalk.h"
#include <qarvex/platform/Platform.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

namespace {

// How an entry that was coded with compression is coded again.
VolumeWriter::Method methodOf(uint8_t compression) {
    switch (compression) {
    case VolumeStream::RLE:
        return VolumeWriter::Method::RLE;
    case VolumeStream::LZH:
        return VolumeWriter::Method::LZH;
    default:
        return VolumeWriter::Method::Stored;
    }
}

// True for the files -u never takes for entries: the manifest and unfinished temporary files.
bool isBookkeeping(const std::string &fileName) {
    return fileName == Manifest::FileName || (fileName.rfind(".qarvex-", 0) == 0 && fileName.size() > 5 &&
                                              fileName.compare(fileName.size() - 5, 5, ".part") == 0);
}

class Updater {
public:
    Updater(const Options &options, Console &console)
        : options(options), console(console), folder(options.targetFolder ? options.targetFolder : ".") {}

    int run();

private:
    bool readVolume();
    // The entry at position as it goes into the new volume: kept, or replaced by its file.
    bool updateEntry(int32_t position);
    // Puts content in place of the entry, coded with its own method unless -m says otherwise.
    bool replace(const VolumeItem &item, VolumeWriter::Entry &entry, const std::vector<uint8_t> &content,
                 const char *how);
    // The --palette file that pictures are read back in, if any; false when it cannot be read.
    bool readPalette();
    // True when the file's bytes differ from what the entry decodes to.
    bool differs(int32_t position, const std::vector<uint8_t> &bytes);
    bool addNewFiles();
    bool code(uint32_t id, const std::string &name, const std::vector<uint8_t> &bytes,
              VolumeWriter::Method method, VolumeWriter::Entry &entry);
    void remember(const std::string &name, const std::string &path, const std::vector<uint8_t> &bytes);
    int write();

    const Options &options;
    Console &console;
    std::string folder;
    VolumeRStream volume;
    Manifest manifest;
    bool haveManifest = false;
    bool manifestRefreshed = false; // some of its lines were given a file's new time
    EntryDecoder decoder;
    GFXPalette::Ptr palette;
    png::ImportSettings settings;
    std::vector<VolumeWriter::Entry> entries;
    std::set<std::string> entryKeys;    // name keys of the volume's entries
    std::set<std::string> graphicsKeys; // those of its graphics entries
    // True for the pictures and sidecars of graphics entries ("title.pbm.png", "tiles.pba.3.png",
    // "small.pft.txt", "title.pbm.sidecar"): they are never new entries.
    bool isPictureFile(const std::string &name) const {
        std::string key = nameKey(name);
        for (int strip = 0; strip < 2; ++strip) {
            size_t dot = key.rfind('.');
            if (dot == std::string::npos)
                return false;
            key.resize(dot);
            if (graphicsKeys.count(key))
                return true;
        }
        return false;
    }
    std::vector<std::string> shown;
    std::vector<const char *> actions; // per entry: "kept", "replaced" or "added"
    uint32_t highestId = 0;
    int64_t replaced = 0, added = 0, kept = 0;
};

int Updater::run() {
    if (!readPalette() || !readVolume())
        return Failure;
    bool allWell = true;
    haveManifest = manifest.load(folder);
    const Vector<VolumeItem> &items = volume.entries();
    console.progress.start(options.volumePath, items.size(), 0);
    for (int32_t position = 0; position < items.size(); ++position) {
        allWell = updateEntry(position) && allWell;
        console.progress.entryDone();
    }
    console.progress.clear();
    if (allWell && !options.noAdd)
        allWell = addNewFiles();
    if (!allWell) {
        console.diagnostic("%s: nothing written", options.volumePath);
        return Failure;
    }
    return write();
}

bool Updater::readVolume() {
    if (!volume.open(options.volumePath)) {
        console.diagnostic("%s: %s; nothing written", options.volumePath,
                           volume.lastOpenError() == VolumeStream::OpenError::CannotOpen
                               ? "cannot open"
                               : "not a sound volume");
        return false;
    }
    return true;
}

bool Updater::updateEntry(int32_t position) {
    const VolumeItem &item = volume.entry(position);
    VolumeWriter::Entry entry;
    entry.id = item.id;
    if (item.name) {
        entry.name = item.name;
        entryKeys.insert(nameKey(item.name));
        if (png::graphicsKindOf(item.name) != png::GraphicsKind::None)
            graphicsKeys.insert(nameKey(item.name));
    }
    entry.size = item.size;
    entry.compression = item.compression;
    if (item.id > highestId)
        highestId = item.id;
    if (!volume.dataInsideFile(item)) {
        console.diagnostic("%s: %s: data outside the file", options.volumePath,
                           item.name ? item.name : "(no name)");
        return false;
    }
    std::span<const uint8_t> stored = volume.storedData(item);
    auto keep = [&] {
        // Written straight from the volume's view, which stays open until the new file is complete.
        entry.heldElsewhere = stored.data();
        entry.heldElsewhereSize = stored.size();
        entries.push_back(std::move(entry));
        actions.push_back("kept");
        ++kept;
        return true;
    };
    std::optional<std::string> path = pathBelow(folder, item.name);
    platform::FileFacts file;
    bool present = path && platform::fileFacts(path->c_str(), file) && file.plain;
    // Pictures of a graphics entry edited after its raw file give the entry anew, converted back
    // by their sidecar.
    if (path && png::graphicsKindOf(item.name) != png::GraphicsKind::None) {
        std::string sidecarPath = *path + Sidecar::Suffix;
        platform::FileFacts sidecar;
        if (platform::fileFacts(sidecarPath.c_str(), sidecar) && sidecar.plain) {
            EditedPictures edited;
            std::vector<uint8_t> rebuilt;
            std::string why;
            if (!findEditedPictures(sidecarPath, edited, why)) {
                console.diagnostic("%s: %s: %s", options.volumePath, item.name, why.c_str());
                return false;
            }
            if (!edited.pictures.empty() && (!present || file.modified < edited.newest)) {
                if (!rebuildFromPictures(edited, settings, rebuilt, why)) {
                    console.diagnostic("%s: %s: %s", options.volumePath, item.name, why.c_str());
                    return false;
                }
                if (!differs(position, rebuilt))
                    return keep();
                return replace(item, entry, rebuilt, " from pictures");
            }
        }
    }
    if (!present)
        return keep(); // a missing file keeps its entry
    // A file whose size and time are those -x left holds what -x wrote.
    const Manifest::Line *line = manifest.find(item.name);
    if (line && file.size == line->size && file.modified == line->modified)
        return keep();
    std::vector<uint8_t> content;
    std::string why;
    if (!readSourceFile(*path, content, why)) {
        console.diagnostic("%s: %s", path->c_str(), why.c_str());
        return false;
    }
    bool changed = line ? int64_t(content.size()) != line->size ||
                              checksumOf(content.data(), content.size()) != line->checksum
                        : differs(position, content);
    if (!changed) {
        // Touched but the same: the manifest learns the new time, so the next run need not read it.
        if (line && file.modified != line->modified) {
            manifest.record(item.name, Manifest::Line{line->size, line->checksum, file.modified});
            manifestRefreshed = true;
        }
        return keep();
    }
    if (!replace(item, entry, content, ""))
        return false;
    remember(item.name, *path, content);
    return true;
}

bool Updater::replace(const VolumeItem &item, VolumeWriter::Entry &entry, const std::vector<uint8_t> &content,
                      const char *how) {
    VolumeWriter::Method method = methodOf(item.compression);
    if (options.method)
        methodFromName(options.method, method);
    if (!code(item.id, item.name, content, method, entry))
        return false;
    entries.push_back(std::move(entry));
    actions.push_back("replaced");
    shown.push_back(std::string(item.name) + " (replaced" + how + ")");
    ++replaced;
    return true;
}

bool Updater::readPalette() {
    std::string why;
    if (options.png.paletteFile && !readPaletteOption(options.png.paletteFile, palette, why)) {
        console.diagnostic("%s: %s", options.png.paletteFile, why.c_str());
        return false;
    }
    settings = importSettingsOf(options.png, palette.get());
    return true;
}

bool Updater::differs(int32_t position, const std::vector<uint8_t> &content) {
    const VolumeItem &item = volume.entry(position);
    if (item.size != int32_t(content.size()))
        return true;
    size_t at = 0;
    bool same = true;
    EntryFault fault = decoder.decode(
        volume, position,
        [&](const uint8_t *piece, int32_t count) {
            same = std::equal(piece, piece + count, content.begin() + ptrdiff_t(at));
            at += size_t(count);
            return same;
        },
        nullptr);
    // A damaged entry is replaced by its file.
    return fault != EntryFault::None || !same;
}

bool Updater::addNewFiles() {
    SourceList list(console);
    list.addFolder(folder, "");
    bool allWell = list.allWell;
    VolumeWriter::Method method = VolumeWriter::Method::Stored;
    methodFromName(options.method, method);
    for (const Source &source : list.sources) {
        if (isBookkeeping(source.fileName) || entryKeys.count(nameKey(source.name)) ||
            isPictureFile(source.name))
            continue;
        if (highestId == UINT32_MAX) {
            console.diagnostic("%s: no ids left to number new entries", options.volumePath);
            return false;
        }
        std::vector<uint8_t> content;
        std::string why;
        if (!readSourceFile(source.path, content, why)) {
            console.diagnostic("%s: %s", source.path.c_str(), why.c_str());
            allWell = false;
            continue;
        }
        VolumeWriter::Entry entry;
        if (!code(++highestId, source.name, content, method, entry)) {
            allWell = false;
            continue;
        }
        entries.push_back(std::move(entry));
        actions.push_back("added");
        entryKeys.insert(nameKey(source.name));
        shown.push_back(source.name + " (added)");
        ++added;
        remember(source.name, source.path, content);
    }
    return allWell;
}

bool Updater::code(uint32_t id, const std::string &name, const std::vector<uint8_t> &content,
                   VolumeWriter::Method method, VolumeWriter::Entry &entry) {
    if (options.dryRun) {
        // Nothing is written, so nothing needs coding: the entry only has to be counted.
        entry = VolumeWriter::Entry{id, name, int32_t(content.size()), 0, {}};
        return true;
    }
    if (!VolumeWriter::makeEntry(id, name, content.data(), content.size(), method, entry)) {
        console.diagnostic("%s: %s: too large for an entry", options.volumePath, name.c_str());
        return false;
    }
    return true;
}

void Updater::remember(const std::string &name, const std::string &path,
                       const std::vector<uint8_t> &content) {
    std::optional<int64_t> modified = modificationTime(path);
    if (modified)
        manifest.record(name, Manifest::Line{int64_t(content.size()),
                                             checksumOf(content.data(), content.size()), *modified});
}

int Updater::write() {
    bool changed = replaced + added > 0;
    if (changed && !options.dryRun) {
        VolumeWriter::Variant variant =
            volume.isOldVariant() ? VolumeWriter::Variant::OldVOL : VolumeWriter::Variant::PVOL;
        // The old volume's view holds the kept entries' bytes until the new file is whole.
        if (!writeVolumeFile(options.volumePath, entries, variant, console, [&] { volume.closeVolume(); }))
            return Failure;
    }
    // The files now hold what the entries decode to: the next update need not read them.
    if (haveManifest && (changed || manifestRefreshed) && !options.dryRun && !manifest.save(folder))
        console.diagnostic("%s: the manifest could not be brought up to date", folder.c_str());
    if (JsonReport *json = console.json()) {
        json->addVolume(options.volumePath);
        for (size_t i = 0; i < entries.size(); ++i) {
            const VolumeWriter::Entry &entry = entries[i];
            // A dry run codes nothing: its new entries have no stored data to show.
            int64_t stored =
                options.dryRun && actions[i] != std::string_view("kept") ? -1 : int64_t(entry.storedSize());
            json->addEntry(entry.id, entry.name.value_or(""), entry.size, stored,
                           entry.compression)["action"] = actions[i];
        }
        json->summary() = {
            {"replaced", replaced}, {"added", added}, {"kept", kept}, {"dry_run", options.dryRun}};
    }
    console.print("%s\n", options.volumePath);
    for (const std::string &line : shown)
        console.print("  %s\n", line.c_str());
    console.print("%s replaced, %lld added, %lld kept%s\n", countOf(replaced, "entry", "entries").c_str(),
                  (long long)added, (long long)kept, options.dryRun ? " (dry run: nothing written)" : "");
    return Success;
}

} // namespace

int updateVolume(const Options &options, Console &console) {
    Updater updater(options, console);
    return updater.run();
}

} // namespace tool

} // namespace qarvex
