// The -x command: every matching entry decoded into a file under the target folder. Names are
// checked before anything is created, folders are entered without following links, and a file is
// written under a temporary name and renamed only once it holds the whole entry.
#include "tool/CaseClashes.h"
#include "tool/Commands.h"
#include "tool/EntryDecoder.h"
#include "tool/EntryPath.h"
#include "tool/JsonReport.h"
#include "tool/Manifest.h"
#include "tool/OrderedWork.h"
#include "tool/PictureExport.h"
#include "tool/PortableName.h"
#include "tool/VolumeWalk.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/TemporaryFile.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qarvex {

namespace tool {

namespace {

// The folders from the target folder down to where the last file went, held open: the next entry
// in the same folder finds them ready, and none of them can be swapped for a link meanwhile.
class FolderChain {
public:
    explicit FolderChain(platform::FolderHandle root) : root(root) {}
    ~FolderChain() { leave(0); }
    FolderChain(const FolderChain &) = delete;
    FolderChain &operator=(const FolderChain &) = delete;

    // The folder that folders name below the root, made where missing; InvalidFolder on failure,
    // with the folder that failed in failedAt.
    platform::FolderHandle enter(const std::vector<std::string> &folders, std::string &failedAt) {
        size_t kept = 0;
        while (kept < held.size() && kept < folders.size() && held[kept].first == folders[kept])
            ++kept;
        leave(kept);
        for (size_t i = kept; i < folders.size(); ++i) {
            platform::FolderHandle next = platform::openSubfolder(current(), folders[i].c_str());
            if (next == platform::InvalidFolder) {
                failedAt = folders[i];
                return platform::InvalidFolder;
            }
            held.emplace_back(folders[i], next);
        }
        return current();
    }

private:
    platform::FolderHandle current() const { return held.empty() ? root : held.back().second; }
    void leave(size_t keep) {
        while (held.size() > keep) {
            platform::closeFolder(held.back().second);
            held.pop_back();
        }
    }

    platform::FolderHandle root;
    std::vector<std::pair<std::string, platform::FolderHandle>> held;
};

// With more than one thread, entries are decoded ahead into memory by the workers, each at most
// this share of AheadBudget; larger ones are decoded when their turn comes. At most two entries per
// thread wait decoded, so they hold at most AheadBudget bytes whatever the number of threads.
constexpr int64_t AheadBudget = 64 * 1024 * 1024;
int32_t aheadLimit(int threads) {
    return int32_t(AheadBudget / (2 * int64_t(threads)));
}

class Extractor {
public:
    // Each file written is recorded in manifest (when given), found below targetPath.
    Extractor(Console &console, platform::FolderHandle target, bool force, const std::string &targetPath,
              Manifest *manifest)
        : console(console), folders(target), force(force), targetPath(targetPath), manifest(manifest) {}

    // Writes one entry; false, with the reason reported, when it is not there afterwards.
    bool extract(VolumeRStream &volume, const std::string &volumePath, int32_t position);
    // An entry decoded ahead on another thread, used when it is the one extracted (null: none).
    void useDecodedAhead(const DecodedEntry *entry) { decoder.useDecodedAhead(entry); }

    int64_t extracted = 0, failed = 0, bytes = 0;
    bool portableNames = false; // --portable-names
    std::string renamedTo;      // the name the last entry was written under, when it is not its own

private:
    bool checkPortable(const std::string &volumePath, const char *name, EntryPath &where);

    bool fail(const std::string &volumePath, const char *name, const std::string &why) {
        console.diagnostic("%s: %s: %s", volumePath.c_str(), name, why.c_str());
        ++failed;
        return false;
    }

    Console &console;
    FolderChain folders;
    bool force;
    std::string targetPath;
    Manifest *manifest;
    EntryDecoder decoder;
    CaseClashes clashes;
};

// A name Windows cannot hold is renamed with --portable-names; otherwise Windows refuses it, and
// other systems write it as it is, with a warning that the files would differ there.
bool Extractor::checkPortable(const std::string &volumePath, const char *name, EntryPath &where) {
    const char *trouble = windowsPathTrouble(where);
    if (!trouble)
        return true;
    if (portableNames) {
        renamedTo = makePortable(where);
        return true;
    }
#ifdef _WIN32
    return fail(volumePath, name, std::string("refused: ") + trouble + " (--portable-names renames it)");
#else
    console.diagnostic("%s: %s: %s (--portable-names renames it)", volumePath.c_str(), name, trouble);
    return true;
#endif
}

bool Extractor::extract(VolumeRStream &volume, const std::string &volumePath, int32_t position) {
    const VolumeItem &item = volume.entry(position);
    const char *name = item.name;
    EntryPath where;
    if (const char *why = splitEntryName(name, where))
        return fail(volumePath, name, std::string("refused: ") + why);
    if (!checkPortable(volumePath, name, where))
        return false;
    // What can be told without reading comes before anything is created for the entry.
    if (EntryFault fault = EntryDecoder::checkRecord(volume, item); fault != EntryFault::None)
        return fail(volumePath, name, EntryDecoder::describe(fault, item));
    std::string failedAt;
    platform::FolderHandle folder = folders.enter(where.folders, failedAt);
    if (folder == platform::InvalidFolder)
        return fail(volumePath, name,
                    "cannot make folder " + failedAt + ": " + systemReason(platform::lastError()));
    if (const std::string *earlier =
            clashes.replaced(where, platform::fileIdentity(folder, where.file.c_str())))
        return fail(volumePath, name,
                    "would replace " + *earlier + ", extracted before: the names differ only in letter case");
    if (!force && platform::existsIn(folder, where.file.c_str()))
        return fail(volumePath, name, "exists; not replaced without -f");

    std::string temporary;
    platform::FileHandle file = platform::createTemporaryIn(folder, temporary);
    if (file == platform::InvalidFile)
        return fail(volumePath, name,
                    std::string("cannot create a file: ") + systemReason(platform::lastError()));
    uint32_t writeError = platform::error::None;
    uint64_t faultsBefore = decoder.faultsBefore(item);
    Checksum checksum;
    EntryFault fault = decoder.decode(
        volume, position,
        [&](const uint8_t *bytes, int32_t count) {
            if (manifest)
                checksum.add(bytes, size_t(count));
            int32_t written = 0;
            if (platform::writeFile(file, bytes, count, written) && written == count)
                return true;
            writeError = platform::lastError();
            return false;
        },
        &console.progress);
    // A file that does not hold the whole entry, on the disk, never gets the entry's name; nor
    // does one decoded from a volume that shrank meanwhile (its lost part read as zeros).
    if (fault == EntryFault::None && platform::mappedFileFaults() != faultsBefore) {
        fault = EntryFault::SinkFailed;
        writeError = platform::error::FileChanged;
    }
    if (fault == EntryFault::None && !platform::finishTemporary(file)) {
        fault = EntryFault::SinkFailed;
        writeError = platform::lastError();
    } else if (fault != EntryFault::None) {
        platform::closeFile(file);
    }
    if (fault != EntryFault::None) {
        platform::discardTemporary(folder, temporary);
        if (fault == EntryFault::SinkFailed)
            return fail(volumePath, name, std::string("cannot write: ") + systemReason(writeError));
        return fail(volumePath, name, EntryDecoder::describe(fault, item));
    }
    if (!platform::keepTemporary(folder, temporary, where.file.c_str(), force)) {
        uint32_t error = platform::lastError();
        platform::discardTemporary(folder, temporary);
        if (error == platform::error::AlreadyExists)
            return fail(volumePath, name, "exists; not replaced without -f");
        return fail(volumePath, name, std::string("cannot create: ") + systemReason(error));
    }
    ++extracted;
    bytes += item.size;
    clashes.written(where, platform::fileIdentity(folder, where.file.c_str()));
    if (manifest)
        if (std::optional<std::string> path = pathBelow(targetPath, name))
            if (std::optional<int64_t> modified = modificationTime(*path))
                manifest->record(name, Manifest::Line{item.size, checksum.value(), *modified});
    return true;
}

// Where a file named name in the entry's folder below the target lands, as a path.
std::string placeOf(const char *targetPath, const EntryPath &where, const std::string &name) {
    std::string place = targetPath;
    for (const std::string &folder : where.folders)
        place += platform::PathSeparator + folder;
    return place + platform::PathSeparator + name;
}

// The entry's object in the JSON document: the file it was extracted to (under its portable name
// with --portable-names), the pictures written for it, and why it failed.
void recordExtraction(JsonReport &json, VolumeRStream &volume, int32_t position, const char *targetPath,
                      bool portableNames, bool written, const std::vector<std::string> &pictures,
                      const std::string *failure) {
    Json &entry = json.addEntry(volume, position);
    EntryPath where;
    bool placed = volume.entry(position).name && !splitEntryName(volume.entry(position).name, where);
    if (placed && portableNames)
        makePortable(where);
    entry["extracted_to"] =
        written && placed ? Json(pathText(placeOf(targetPath, where, where.file))) : Json();
    if (!pictures.empty() && placed) {
        Json &files = entry["pictures"] = Json::array();
        for (const std::string &picture : pictures)
            files.push_back(pathText(placeOf(targetPath, where, picture)));
    }
    if (failure)
        entry["error"] = *failure;
}

} // namespace

int extractEntries(const Options &options, Console &console) {
    const char *targetPath = options.targetFolder ? options.targetFolder : ".";
    platform::FolderHandle target = platform::openFolder(targetPath);
    if (target == platform::InvalidFolder) {
        console.diagnostic("%s: cannot extract there: %s", targetPath, systemReason(platform::lastError()));
        return Failure;
    }
    JsonReport *json = console.json();
    PictureExport pictures(options, console, target); // --png: graphics entries shown as pictures
    if (!pictures.ready()) {
        platform::closeFolder(target);
        return Failure;
    }
    bool allWell;
    int64_t extracted = 0, failed = 0, bytes = 0;
    const int threads = threadsFor(options);
    std::vector<EntryDecoder> aheadDecoders(static_cast<size_t>(threads)); // one per worker
    // Entries of an earlier extraction into the folder stay recorded beside this one's.
    Manifest manifest;
    if (!options.noManifest)
        manifest.load(targetPath);
    {
        Extractor extractor(console, target, options.force, targetPath,
                            options.noManifest ? nullptr : &manifest);
        extractor.portableNames = options.portableNames;
        std::set<std::string> visited; // the identities of the volume files extracted
        allWell = forEachVolume(
            options.operands[0], options.operands + 1, options.operandCount - 1, options.recursive,
            EntrySelector::NoLimit, console,
            [&](VolumeRStream &volume, const std::string &path, EntrySelector &selection) {
                // The same file again (the same argument, another spelling, a link) would only find
                // its own files in the way: it is extracted once.
                std::string identity = platform::fileIdentity(platform::InvalidFolder, path.c_str());
                if (!identity.empty() && !visited.insert(identity).second) {
                    console.diagnostic("%s: named before; extracted once", path.c_str());
                    return true;
                }
                const std::vector<int32_t> &positions = selection.selected();
                if (positions.empty())
                    return true;
                console.progress.start(path, int64_t(positions.size()), selectedBytes(volume, positions));
                bool volumeWell = true, named = false;
                // Folders, files, pictures and messages are all made here, in table order, from
                // the entries the workers decoded ahead.
                std::vector<const VolumeItem *> items;
                for (int32_t position : positions)
                    items.push_back(&volume.entry(position));
                forEachInOrder<DecodedEntry>(
                    items.size(), threads,
                    [&](int worker, size_t index) {
                        DecodedEntry entry;
                        if (threads > 1)
                            aheadDecoders[size_t(worker)].decodeAhead(volume, *items[index],
                                                                      aheadLimit(threads), entry);
                        return entry;
                    },
                    [&](size_t index, DecodedEntry &ahead) {
                        int32_t position = positions[index];
                        extractor.useDecodedAhead(&ahead);
                        pictures.useDecodedAhead(&ahead);
                        std::string shown;
                        bool written = false;
                        extractor.renamedTo.clear();
                        bool done = pictures.extract(volume, path, position, shown, [&] {
                            return written = extractor.extract(volume, path, position);
                        });
                        extractor.useDecodedAhead(nullptr);
                        pictures.useDecodedAhead(nullptr);
                        if (json)
                            recordExtraction(*json, volume, position, targetPath, options.portableNames,
                                             written, pictures.lastPictures(),
                                             done ? nullptr : &console.lastDiagnostic());
                        if (!done) {
                            volumeWell = false;
                        } else {
                            // The volume's name heads the entries that came out of it.
                            if (!named)
                                console.print("%s\n", path.c_str());
                            named = true;
                            if (!extractor.renamedTo.empty())
                                shown += " (as " + extractor.renamedTo + ")";
                            console.print("  %s\n", shown.c_str());
                        }
                        console.progress.entryDone();
                    });
                console.progress.clear();
                return volumeWell;
            });
        extracted = extractor.extracted;
        failed = extractor.failed;
        bytes = extractor.bytes;
    }
    platform::closeFolder(target);
    if (!options.noManifest && !manifest.empty() && !manifest.save(targetPath)) {
        console.diagnostic("%s: cannot write %s: %s", targetPath, Manifest::FileName,
                           systemReason(platform::lastError()));
        allWell = false;
    }
    if (json) {
        json->summary() = {{"extracted", extracted}, {"bytes", bytes}, {"failed", failed}};
        if (options.png.enabled)
            json->summary()["pictures"] = pictures.pictureCount();
    }
    std::string summary =
        countOf(extracted, "entry", "entries") + " extracted, " + countOf(bytes, "byte", "bytes");
    if (failed)
        summary += ", " + std::to_string(failed) + " failed";
    summary += pictures.summary();
    console.print("%s\n", summary.c_str());
    return allWell ? Success : Failure;
}

} // namespace tool

} // namespace qarvex
