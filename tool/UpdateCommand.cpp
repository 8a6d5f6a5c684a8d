// The -u command. Which files changed is told by the manifest -x left (size and time first, the
// checksum when they differ), else by decoding the entry and comparing; untouched entries keep
// their stored bytes, so they are never decoded or coded again. Entries are examined, and new
// files read and coded, on -j threads; what is found is recorded in table order.
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
#include "tool/OrderedWork.h"
#include "tool/PictureMaker.h"
#include "tool/Sidecar.h"
#include "tool/SourceList.h"
#include "tool/VolumeWalk.h"
#include <qarvex/platform/Platform.h>

#include <algorithm>
#include <set>
#include <string>
#include <unordered_map>
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

// What examining an entry found, before anything of it is recorded.
struct Examined {
    enum class Verdict { Later, Keep, Replace, Fail };
    Verdict verdict = Verdict::Later;   // Later: to be examined in its turn, on the main thread
    VolumeWriter::Entry entry;          // Replace: the entry coded anew
    const char *how = "";               // Replace: how it was made (" from pictures")
    std::string failure;                // Fail: the diagnostic
    std::optional<Manifest::Line> line; // what the manifest records for the entry's name now
    bool refreshed = false;             // that line only gives the file a new time
};

// A new file read and coded (with id 0, numbered in its turn).
struct NewFile {
    bool read = false;
    std::string why; // when not read
    bool coded = false;
    VolumeWriter::Entry entry;
    std::optional<Manifest::Line> line; // what the manifest is to record for it
};

class Updater {
public:
    Updater(const Options &options, Console &console)
        : options(options), console(console), folder(options.targetFolder ? options.targetFolder : ".") {}

    int run();

private:
    bool readVolume();
    // Whether the entry at position is kept or replaced by its file, with line the manifest's line
    // for its name (null: none). Only reads the volume, the folder and line, through decoder, so
    // any thread may examine entries; the pictures of a graphics entry are turned back only on the
    // main thread (mainThread), elsewhere such an entry is left for Later.
    Examined examine(int32_t position, const Manifest::Line *line, EntryDecoder &decoder,
                     bool mainThread) const;
    // True when the entry is kept on the facts of its file alone, nothing read: its data lies in the
    // volume, no sidecar brings pictures back, and its file is missing (a missing file keeps its
    // entry) or has the size and time the manifest's line records (it holds what -x wrote).
    bool keptUnread(const VolumeItem &item, const Manifest::Line *line) const;
    // Records what examining the entry at position found: the entry as it goes into the new volume.
    bool note(int32_t position, Examined &examined);
    // The entry made anew from content, coded with its own method unless -m says otherwise.
    Examined replace(const VolumeItem &item, const std::vector<uint8_t> &content, const char *how) const;
    // The --palette file that pictures are read back in, if any; false when it cannot be read.
    bool readPalette();
    // True when the file's bytes differ from what the entry decodes to.
    static bool differs(const VolumeStream &volume, const VolumeItem &item, const std::vector<uint8_t> &bytes,
                        EntryDecoder &decoder);
    bool addNewFiles();
    NewFile readNewFile(const Source &source, VolumeWriter::Method method) const;
    bool code(uint32_t id, const std::string &name, const std::vector<uint8_t> &bytes,
              VolumeWriter::Method method, VolumeWriter::Entry &entry) const;
    // The manifest's line for the file at path holding content; none when its time cannot be read.
    static std::optional<Manifest::Line> lineFor(const std::string &path,
                                                 const std::vector<uint8_t> &content);
    int write();

    const Options &options;
    Console &console;
    std::string folder;
    VolumeRStream volume;
    uint64_t faultsAtOpen = 0; // mappedFileFaults() before the volume was opened
    Manifest manifest;
    // What one listing of the folder told of its files, by path: a file found there needs no look
    // of its own. Without it (--no-add), each file is looked at once by itself.
    std::vector<Source> found;
    std::unordered_map<std::string, platform::FileFacts> listed;
    bool listedWell = true;
    // The facts of the file at path; false when there is none. Any thread may ask.
    bool factsOf(const std::string &path, platform::FileFacts &facts) const {
        auto known = listed.find(path);
        if (known != listed.end()) {
            facts = known->second;
            return true;
        }
        return platform::fileFacts(path.c_str(), facts);
    }
    bool haveManifest = false;
    bool manifestRefreshed = false; // some of its lines were given a file's new time
    EntryDecoder decoder;           // the main thread's
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
    if (!options.noAdd) {
        SourceList list(console);
        list.addFolder(folder, "");
        listedWell = list.allWell;
        found = std::move(list.sources);
        for (const Source &source : found)
            if (source.size >= 0)
                listed[source.path] = platform::FileFacts{true, source.size, source.modified};
    }
    const Vector<VolumeItem> &items = volume.entries();
    console.progress.start(options.volumePath, items.size(), 0);
    const int threads = threadsFor(options);
    std::vector<EntryDecoder> decoders(static_cast<size_t>(threads)); // one per worker
    // The workers read the manifest's lines as they were before this thread records new ones; an
    // entry whose name an earlier entry shares is examined in its turn, as that line may change.
    std::vector<std::optional<Manifest::Line>> lines(size_t(items.size()));
    std::vector<bool> inTurn(size_t(items.size()), threads == 1);
    std::set<std::string> named;
    for (int32_t position = 0; position < items.size(); ++position) {
        const char *name = items[position].name;
        if (const Manifest::Line *line = name ? manifest.find(name) : nullptr)
            lines[size_t(position)] = *line;
        if (name && !named.insert(nameKey(name)).second)
            inTurn[size_t(position)] = true;
    }
    // Entries the facts alone keep are recorded as they come; only the others go to the workers,
    // so that an update of one file among thousands pays nothing per untouched entry.
    std::vector<int32_t> toExamine;
    for (int32_t position = 0; position < items.size(); ++position) {
        const std::optional<Manifest::Line> &line = lines[size_t(position)];
        if (inTurn[size_t(position)] || !keptUnread(items[position], line ? &*line : nullptr))
            toExamine.push_back(position);
    }
    int32_t recorded = 0;
    auto recordKeptBefore = [&](int32_t end) {
        for (; recorded < end; ++recorded) {
            Examined kept;
            kept.verdict = Examined::Verdict::Keep;
            note(recorded, kept);
            console.progress.entryDone();
        }
    };
    forEachInOrder<Examined>(
        toExamine.size(), threads,
        [&](int worker, size_t index) {
            int32_t position = toExamine[index];
            if (inTurn[size_t(position)])
                return Examined{}; // Later
            const std::optional<Manifest::Line> &line = lines[size_t(position)];
            return examine(position, line ? &*line : nullptr, decoders[size_t(worker)], false);
        },
        [&](size_t index, Examined &result) {
            int32_t position = toExamine[index];
            recordKeptBefore(position);
            if (result.verdict == Examined::Verdict::Later) {
                const char *name = items[position].name;
                result = examine(position, name ? manifest.find(name) : nullptr, decoder, true);
            }
            allWell = note(position, result) && allWell;
            console.progress.entryDone();
            ++recorded;
        });
    recordKeptBefore(items.size());
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
    faultsAtOpen = platform::mappedFileFaults();
    if (!volume.open(options.volumePath)) {
        console.diagnostic("%s: %s; nothing written", options.volumePath,
                           volume.lastOpenError() == VolumeStream::OpenError::CannotOpen
                               ? "cannot open"
                               : "not a sound volume");
        return false;
    }
    return true;
}

Examined Updater::examine(int32_t position, const Manifest::Line *line, EntryDecoder &entryDecoder,
                          bool mainThread) const {
    const VolumeItem &item = volume.entry(position);
    Examined keep;
    keep.verdict = Examined::Verdict::Keep;
    auto fail = [](std::string why) {
        Examined failed;
        failed.verdict = Examined::Verdict::Fail;
        failed.failure = std::move(why);
        return failed;
    };
    if (!volume.dataInsideFile(item))
        return fail(std::string(options.volumePath) + ": " + (item.name ? item.name : "(no name)") +
                    ": data outside the file");
    if (keptUnread(item, line))
        return keep;
    std::optional<std::string> path = pathBelow(folder, item.name);
    platform::FileFacts file;
    bool present = path && factsOf(*path, file) && file.plain;
    // Pictures of a graphics entry edited after its raw file give the entry anew, converted back
    // by their sidecar.
    if (path && png::graphicsKindOf(item.name) != png::GraphicsKind::None) {
        std::string sidecarPath = *path + Sidecar::Suffix;
        platform::FileFacts sidecar;
        if (factsOf(sidecarPath, sidecar) && sidecar.plain) {
            if (!mainThread)
                return Examined{}; // Later: graphics are made on one thread at a time
            EditedPictures edited;
            std::vector<uint8_t> rebuilt;
            std::string why;
            if (!findEditedPictures(sidecarPath, edited, why))
                return fail(std::string(options.volumePath) + ": " + item.name + ": " + why);
            if (!edited.pictures.empty() && (!present || file.modified < edited.newest)) {
                if (!rebuildFromPictures(edited, settings, rebuilt, why))
                    return fail(std::string(options.volumePath) + ": " + item.name + ": " + why);
                if (!differs(volume, item, rebuilt, entryDecoder))
                    return keep;
                return replace(item, rebuilt, " from pictures");
            }
        }
    }
    if (!present)
        return keep;
    std::vector<uint8_t> content;
    std::string why;
    if (!readSourceFile(*path, content, why))
        return fail(*path + ": " + why);
    bool changed = line ? int64_t(content.size()) != line->size ||
                              checksumOf(content.data(), content.size()) != line->checksum
                        : differs(volume, item, content, entryDecoder);
    if (!changed) {
        // Touched but the same: the manifest learns the new time, so the next run need not read it.
        if (line && file.modified != line->modified) {
            keep.line = Manifest::Line{line->size, line->checksum, file.modified};
            keep.refreshed = true;
        }
        return keep;
    }
    Examined replaced = replace(item, content, "");
    if (replaced.verdict == Examined::Verdict::Replace)
        replaced.line = lineFor(*path, content);
    return replaced;
}

bool Updater::keptUnread(const VolumeItem &item, const Manifest::Line *line) const {
    if (!volume.dataInsideFile(item))
        return false;
    std::optional<std::string> path = pathBelow(folder, item.name);
    if (!path)
        return true;
    platform::FileFacts file, sidecar;
    if (png::graphicsKindOf(item.name) != png::GraphicsKind::None &&
        factsOf(*path + Sidecar::Suffix, sidecar) && sidecar.plain)
        return false;
    if (!factsOf(*path, file) || !file.plain)
        return true;
    return line && file.size == line->size && file.modified == line->modified;
}

bool Updater::note(int32_t position, Examined &examined) {
    const VolumeItem &item = volume.entry(position);
    if (item.name) {
        entryKeys.insert(nameKey(item.name));
        if (png::graphicsKindOf(item.name) != png::GraphicsKind::None)
            graphicsKeys.insert(nameKey(item.name));
    }
    if (item.id > highestId)
        highestId = item.id;
    if (examined.line) {
        manifest.record(item.name, *examined.line);
        manifestRefreshed = manifestRefreshed || examined.refreshed;
    }
    if (examined.verdict == Examined::Verdict::Fail) {
        console.diagnostic("%s", examined.failure.c_str());
        return false;
    }
    if (examined.verdict == Examined::Verdict::Replace) {
        entries.push_back(std::move(examined.entry));
        actions.push_back("replaced");
        shown.push_back(std::string(item.name) + " (replaced" + examined.how + ")");
        ++replaced;
        return true;
    }
    VolumeWriter::Entry entry = keptEntryOf(item);
    // Written straight from the volume's view, which stays open until the new file is complete.
    std::span<const uint8_t> stored = volume.storedData(item);
    entry.heldElsewhere = stored.data();
    entry.heldElsewhereSize = stored.size();
    entries.push_back(std::move(entry));
    actions.push_back("kept");
    ++kept;
    return true;
}

Examined Updater::replace(const VolumeItem &item, const std::vector<uint8_t> &content,
                          const char *how) const {
    VolumeWriter::Method method = methodOf(item.compression);
    if (options.method)
        methodFromName(options.method, method);
    Examined replaced;
    replaced.verdict = Examined::Verdict::Replace;
    replaced.how = how;
    if (!code(item.id, item.name, content, method, replaced.entry)) {
        replaced.verdict = Examined::Verdict::Fail;
        replaced.failure = std::string(options.volumePath) + ": " + item.name + ": too large for an entry";
    }
    return replaced;
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

bool Updater::differs(const VolumeStream &volume, const VolumeItem &item, const std::vector<uint8_t> &content,
                      EntryDecoder &decoder) {
    if (item.size != int32_t(content.size()))
        return true;
    size_t at = 0;
    bool same = true;
    EntryFault fault = decoder.decode(
        volume, item,
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
    bool allWell = listedWell;
    VolumeWriter::Method method = VolumeWriter::Method::Stored;
    methodFromName(options.method, method);
    auto passedOver = [&](const Source &source) {
        return isBookkeeping(source.fileName) || entryKeys.count(nameKey(source.name)) ||
               isPictureFile(source.name);
    };
    // Files the volume has entries for are never read; one that shares its name with a file added
    // before it is passed over in its turn.
    std::vector<const Source *> candidates;
    for (const Source &source : found)
        if (!passedOver(source))
            candidates.push_back(&source);
    bool idsLeft = true;
    forEachInOrder<NewFile>(
        candidates.size(), threadsFor(options),
        [&](int, size_t index) { return readNewFile(*candidates[index], method); },
        [&](size_t index, NewFile &file) {
            const Source &source = *candidates[index];
            if (!idsLeft || passedOver(source))
                return;
            if (highestId == UINT32_MAX) {
                console.diagnostic("%s: no ids left to number new entries", options.volumePath);
                idsLeft = false;
                return;
            }
            if (!file.read) {
                console.diagnostic("%s: %s", source.path.c_str(), file.why.c_str());
                allWell = false;
                return;
            }
            if (!file.coded) {
                console.diagnostic("%s: %s: too large for an entry", options.volumePath, source.name.c_str());
                allWell = false;
                return;
            }
            file.entry.id = ++highestId;
            entries.push_back(std::move(file.entry));
            actions.push_back("added");
            entryKeys.insert(nameKey(source.name));
            shown.push_back(source.name + " (added)");
            ++added;
            if (file.line)
                manifest.record(source.name, *file.line);
        });
    return allWell && idsLeft;
}

NewFile Updater::readNewFile(const Source &source, VolumeWriter::Method method) const {
    NewFile file;
    std::vector<uint8_t> content;
    file.read = readSourceFile(source.path, content, file.why);
    if (file.read) {
        file.coded = code(0, source.name, content, method, file.entry);
        file.line = lineFor(source.path, content);
    }
    return file;
}

bool Updater::code(uint32_t id, const std::string &name, const std::vector<uint8_t> &content,
                   VolumeWriter::Method method, VolumeWriter::Entry &entry) const {
    if (options.dryRun) {
        // Nothing is written, so nothing needs coding: the entry only has to be counted.
        entry = VolumeWriter::Entry{id, name, int32_t(content.size()), 0, {}};
        return true;
    }
    return VolumeWriter::makeEntry(id, name, content.data(), content.size(), method, entry);
}

std::optional<Manifest::Line> Updater::lineFor(const std::string &path, const std::vector<uint8_t> &content) {
    std::optional<int64_t> modified = modificationTime(path);
    if (!modified)
        return std::nullopt;
    return Manifest::Line{int64_t(content.size()), checksumOf(content.data(), content.size()), *modified};
}

int Updater::write() {
    bool changed = replaced + added > 0;
    if (changed && !options.dryRun) {
        VolumeWriter::Variant variant =
            volume.isOldVariant() ? VolumeWriter::Variant::OldVOL : VolumeWriter::Variant::PVOL;
        // The old volume's view holds the kept entries' bytes until the new file is whole.
        auto letGo = [&] {
            volume.closeVolume();
            // Shrunk by another program while read: what was lost read as zeros.
            if (platform::mappedFileFaults() == faultsAtOpen)
                return true;
            console.diagnostic("%s: %s; nothing written", options.volumePath,
                               systemReason(platform::error::FileChanged));
            return false;
        };
        if (!writeVolumeFile(options.volumePath, entries, variant, console, letGo))
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
