// The -c and -a commands. The files are read and coded first; the volume is written only when
// every one of them made it, under a temporary name that takes the volume's name once it is whole.
//   qarvex -c out.vol -m best art
//   out.vol
//     title.pbm
//     fonts\small.pft
//   2 entries written, 40211 bytes
#include "tool/CreateCommand.h"

#include "tool/CreateOptions.h"
#include "tool/EntryPath.h"
#include "tool/JsonReport.h"
#include "tool/OrderedWork.h"
#include "tool/SourceList.h"
#include "tool/VolumeWalk.h"
#include <qarvex/platform/Platform.h>
#include <qarvex/volume/VolumeRStream.h>
#include <qarvex/volume/VolumeWriter.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

namespace {

// What the command is asked to write, built up from the sources.
struct Plan {
    std::vector<VolumeWriter::Entry> entries;
    std::vector<std::string> shown; // one line per source: its name, and with -a what happened
    // Per line of shown: the entry it made (a position in entries) and "written", "added" or
    // "replaced".
    std::vector<std::pair<size_t, const char *>> outcomes;
    int64_t bytes = 0;
};

// Reads and codes the sources into plan: new entries are appended, an entry of the same name as an
// existing one takes its place (and its id, unless -i gives one). False when anything failed
// (reported).
bool codeSources(const Options &options, const std::vector<Source> &sources, uint32_t firstId, bool adding,
                 Plan &plan, Console &console) {
    VolumeWriter::Method method = VolumeWriter::Method::Stored;
    methodFromName(options.method, method);
    std::map<std::string, size_t> byName; // name key -> position in plan.entries
    for (size_t i = 0; i < plan.entries.size(); ++i)
        if (plan.entries[i].name)
            byName.emplace(nameKey(*plan.entries[i].name), i);
    std::map<std::string, std::string> fromSource; // name key -> the path that gave it
    console.progress.start(options.volumePath, int64_t(sources.size()), 0);
    bool allWell = true;
    uint32_t nextId = firstId;
    // Files are read and coded on -j threads; everything else happens here, in argument order. A
    // source whose name an earlier one took is never read.
    std::vector<std::string> keys;
    std::vector<bool> repeated;
    for (const Source &source : sources) {
        keys.push_back(nameKey(source.name));
        repeated.push_back(!fromSource.emplace(keys.back(), source.path).second);
    }
    struct Coded {
        bool read = false;
        std::string why; // when not read
        bool coded = false;
        size_t bytes = 0;
        VolumeWriter::Entry entry;
    };
    forEachInOrder<Coded>(
        sources.size(), threadsFor(options),
        [&](int, size_t index) {
            Coded result;
            if (repeated[index])
                return result;
            std::vector<uint8_t> bytes;
            result.read = readSourceFile(sources[index].path, bytes, result.why);
            if (result.read) {
                result.bytes = bytes.size();
                result.coded = VolumeWriter::makeEntry(0, sources[index].name, bytes.data(), bytes.size(),
                                                       method, result.entry);
            }
            return result;
        },
        [&](size_t index, Coded &result) {
            const Source &source = sources[index];
            const std::string &key = keys[index];
            if (repeated[index]) {
                console.diagnostic("%s: same entry name as %s", source.path.c_str(), fromSource[key].c_str());
                allWell = false;
                return;
            }
            if (!result.read) {
                console.diagnostic("%s: %s", source.path.c_str(), result.why.c_str());
                allWell = false;
                return;
            }
            auto existing = byName.find(key);
            bool replacing = existing != byName.end();
            uint32_t id = options.idsFromNames ? idFromFileName(source.fileName)
                          : replacing          ? plan.entries[existing->second].id
                                               : nextId++;
            if (!result.coded) {
                console.diagnostic("%s: cannot be coded as %s", source.path.c_str(),
                                   options.method ? options.method : "stored");
                allWell = false;
                return;
            }
            VolumeWriter::Entry &entry = result.entry;
            entry.id = id;
            plan.bytes += int64_t(result.bytes);
            if (replacing) {
                plan.entries[existing->second] = std::move(entry);
                plan.shown.push_back(source.name + " (replaced)");
                plan.outcomes.emplace_back(existing->second, "replaced");
            } else {
                byName.emplace(key, plan.entries.size());
                plan.outcomes.emplace_back(plan.entries.size(), adding ? "added" : "written");
                plan.entries.push_back(std::move(entry));
                plan.shown.push_back(adding ? source.name + " (added)" : source.name);
            }
            console.progress.entryDone();
        });
    console.progress.clear();
    // Two entries of one id would leave a lookup by id to chance.
    std::map<uint32_t, const VolumeWriter::Entry *> byId;
    for (const VolumeWriter::Entry &entry : plan.entries) {
        if (entry.id == 0)
            continue;
        auto [other, fresh] = byId.emplace(entry.id, &entry);
        if (!fresh) {
            console.diagnostic("%s: id %08X is also %s's", entry.name ? entry.name->c_str() : "(no name)",
                               entry.id, other->second->name ? other->second->name->c_str() : "(no name)");
            allWell = false;
        }
    }
    return allWell;
}

int writePlan(const Options &options, const Plan &plan, VolumeWriter::Variant variant, const char *verb,
              Console &console) {
    if (!writeVolumeFile(options.volumePath, plan.entries, variant, console))
        return Failure;
    if (JsonReport *json = console.json()) {
        json->addVolume(options.volumePath);
        for (auto [position, action] : plan.outcomes) {
            const VolumeWriter::Entry &entry = plan.entries[position];
            json->addEntry(entry.id, entry.name.value_or(""), entry.size, int64_t(entry.stored.size()),
                           entry.compression)["action"] = action;
        }
        json->summary() = {{"entries", plan.outcomes.size()}, {"bytes", plan.bytes}};
    }
    console.print("%s\n", options.volumePath);
    for (const std::string &line : plan.shown)
        console.print("  %s\n", line.c_str());
    console.print("%s %s, %s\n", countOf(int64_t(plan.shown.size()), "entry", "entries").c_str(), verb,
                  countOf(plan.bytes, "byte", "bytes").c_str());
    return Success;
}

std::vector<Source> collect(const Options &options, Console &console, bool &allWell) {
    SourceList list(console);
    for (int i = 0; i < options.operandCount; ++i)
        list.addArgument(options.operands[i]);
    allWell = list.allWell;
    return std::move(list.sources);
}

} // namespace

uint32_t idFromFileName(const std::string &name) {
    if (name.size() < 8 || (name.size() > 8 && name[8] != '.'))
        return 0;
    uint32_t id = 0;
    for (size_t i = 0; i < 8; ++i) {
        char c = name[i];
        uint32_t digit = c >= '0' && c <= '9'   ? uint32_t(c - '0')
                         : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                         : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                                                : 16;
        if (digit == 16)
            return 0;
        id = id << 4 | digit;
    }
    return id;
}

VolumeWriter::Entry keptEntryOf(const VolumeItem &item) {
    VolumeWriter::Entry entry;
    entry.id = item.id;
    if (item.name)
        entry.name = item.name;
    entry.size = item.size;
    entry.compression = item.compression;
    return entry;
}

bool writeVolumeFile(const char *path, const std::vector<VolumeWriter::Entry> &entries,
                     VolumeWriter::Variant variant, Console &console,
                     const std::function<bool()> &beforeRename) {
    uint32_t error = 0;
    switch (VolumeWriter::writeFile(path, entries, variant, &error, beforeRename)) {
    case VolumeWriter::Fault::None:
        return true;
    case VolumeWriter::Fault::TooLarge:
        console.diagnostic("%s: too large for a volume; nothing written", path);
        return false;
    case VolumeWriter::Fault::BadEntry:
    case VolumeWriter::Fault::CannotWrite:
        console.diagnostic("%s: cannot write: %s; nothing written", path, systemReason(error));
        return false;
    case VolumeWriter::Fault::Withdrawn:
        return false; // beforeRename said why
    }
    return false;
}

int createVolume(const Options &options, Console &console) {
    bool allWell = true;
    std::vector<Source> sources = collect(options, console, allWell);
    Plan plan;
    if (!codeSources(options, sources, 1, false, plan, console) || !allWell) {
        console.diagnostic("%s: nothing written", options.volumePath);
        return Failure;
    }
    return writePlan(options, plan, VolumeWriter::Variant::PVOL, "written", console);
}

int addToVolume(const Options &options, Console &console) {
    Plan plan;
    VolumeWriter::Variant variant = VolumeWriter::Variant::PVOL;
    uint32_t highestId = 0;
    {
        // Read whole, then closed before the new file takes its name: some systems keep a mapped
        // file from being replaced.
        VolumeRStream old;
        uint64_t faultsBefore = platform::mappedFileFaults();
        if (!old.open(options.volumePath)) {
            console.diagnostic("%s: %s; nothing written", options.volumePath,
                               old.lastOpenError() == VolumeStream::OpenError::CannotOpen
                                   ? "cannot open"
                                   : "not a sound volume");
            return Failure;
        }
        variant = old.isOldVariant() ? VolumeWriter::Variant::OldVOL : VolumeWriter::Variant::PVOL;
        const Vector<VolumeItem> &items = old.entries();
        for (const VolumeItem &item : items) {
            VolumeWriter::Entry entry = keptEntryOf(item);
            if (!old.dataInsideFile(item)) {
                console.diagnostic("%s: %s: data outside the file; nothing written", options.volumePath,
                                   item.name ? item.name : "(no name)");
                return Failure;
            }
            std::span<const uint8_t> stored = old.storedData(item);
            entry.stored.assign(stored.begin(), stored.end());
            if (item.id > highestId)
                highestId = item.id;
            plan.entries.push_back(std::move(entry));
        }
        // Shrunk by another program while copied: what was lost read as zeros.
        if (platform::mappedFileFaults() != faultsBefore) {
            console.diagnostic("%s: %s; nothing written", options.volumePath,
                               systemReason(platform::error::FileChanged));
            return Failure;
        }
    }
    bool allWell = true;
    std::vector<Source> sources = collect(options, console, allWell);
    if (highestId == UINT32_MAX && !options.idsFromNames) {
        console.diagnostic("%s: no ids left to number new entries; nothing written", options.volumePath);
        return Failure;
    }
    if (!codeSources(options, sources, highestId + 1, true, plan, console) || !allWell) {
        console.diagnostic("%s: nothing written", options.volumePath);
        return Failure;
    }
    return writePlan(options, plan, variant, "added or replaced", console);
}

} // namespace tool

} // namespace qarvex
