// The walk over volume arguments, volume files and matching entries that every command shares.
#include "tool/VolumeWalk.h"

#include "tool/JsonReport.h"

#include <qarvex/platform/Platform.h>

#include <algorithm>

namespace qarvex {

namespace tool {

const char *openFailure(VolumeStream::OpenError error) {
    switch (error) {
    case VolumeStream::OpenError::CannotOpen:
        return "cannot open";
    case VolumeStream::OpenError::EmptyFile:
    case VolumeStream::OpenError::NotAVolume:
        return "not a volume";
    case VolumeStream::OpenError::DamagedDirectory:
        return "damaged volume directory";
    case VolumeStream::OpenError::TooLarge:
        return "too large for a volume (2 GiB or more)";
    case VolumeStream::OpenError::None:
        break;
    }
    return "cannot open";
}

EntrySelector::EntrySelector(const char *expression, int32_t limit) : expression(expression) {
    if (limit != NoLimit)
        bounded.emplace(expression, limit);
}

const std::vector<int32_t> &EntrySelector::select(const VolumeStream &volume) {
    // Without a limit the list is made to hold every entry of this volume, so it never fills.
    std::optional<MatchList> unbounded;
    if (!bounded)
        unbounded.emplace(expression, volume.entryCount());
    MatchList &list = bounded ? *bounded : *unbounded;
    list.clear();
    positions.clear();
    // The search command's walk (MatchList::addVolume), keeping the position of each match: names
    // are read straight from the records, and a name shared by two entries is still two matches.
    const char *blockEnd = volume.getStringBlock() + volume.getStringBlockSize();
    for (int32_t i = 0; i < volume.entryCount(); ++i) {
        const char *name = volume.entryName(i);
        if (!name)
            continue;
        int32_t before = list.count();
        list.addIfMatch(name, blockEnd, false);
        if (list.count() > before)
            positions.push_back(i);
    }
    isFull = bounded && list.full();
    return positions;
}

bool filesBelow(const std::string &folder, std::vector<std::string> &paths, Console &console) {
    std::vector<platform::FoundFile> found;
    if (!platform::listFolder(folder, found)) {
        console.diagnostic("%s: cannot read the folder: %s", folder.c_str(),
                           systemReason(platform::lastError()));
        return false;
    }
    bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == platform::PathSeparator);
    std::string prefix = separated ? folder : folder + platform::PathSeparator;
    bool allRead = true;
    for (const platform::FoundFile &object : found) {
        if (!object.isDirectory)
            paths.push_back(prefix + object.name);
        else if (!filesBelow(prefix + object.name, paths, console))
            allRead = false;
    }
    return allRead;
}

bool forEachVolume(const char *expression, char *const *arguments, int count, bool recursive, int32_t limit,
                   Console &console, const VolumeVisitor &visit) {
    VolumeRStream volume;
    EntrySelector selector(expression, limit);
    JsonReport *json = console.json();
    bool allWell = true;
    for (int i = 0; i < count; ++i) {
        // The files are looked for, and opened, in the argument's own directory; the printed
        // name keeps that directory part as the argument wrote it.
        const char *argument = arguments[i];
        bool tree = recursive && platform::canEnterDirectory(argument);
        std::vector<std::string> paths;
        if (tree) {
            allWell = filesBelow(argument, paths, console) && allWell;
        } else {
            size_t split = platform::directoryPartLength(argument);
            std::string directory(argument, split);
            for (std::string &name : platform::listPlainFiles(directory, argument + split))
                paths.push_back(directory + name);
            if (paths.empty()) {
                console.diagnostic("%s: no matching file", argument);
                if (json)
                    json->addVolume(argument)["error"] = "no matching file";
                allWell = false;
            }
        }
        for (const std::string &path : paths) {
            // A volume that opens only in part still has its loaded entries visited.
            if (!volume.open(path.c_str())) {
                VolumeStream::OpenError error = volume.lastOpenError();
                // In a tree, files that are not volumes are simply not among them.
                if (tree && (error == VolumeStream::OpenError::NotAVolume ||
                             error == VolumeStream::OpenError::EmptyFile))
                    continue;
                console.diagnostic("%s: %s", path.c_str(), openFailure(error));
                if (json)
                    json->addVolume(path)["error"] = openFailure(error);
                allWell = false;
            } else if (json) {
                json->addVolume(path);
            }
            uint64_t faultsBefore = platform::mappedFileFaults();
            selector.select(volume);
            if (!visit(volume, path, selector))
                allWell = false;
            // Another program shrank the file while it was read: what came after read as zeros.
            if (platform::mappedFileFaults() != faultsBefore) {
                console.diagnostic("%s: damaged: %s", path.c_str(),
                                   systemReason(platform::error::FileChanged));
                allWell = false;
            }
        }
    }
    return allWell;
}

int64_t selectedBytes(VolumeRStream &volume, const std::vector<int32_t> &positions) {
    int64_t bytes = 0;
    for (int32_t position : positions)
        bytes += std::max<int32_t>(volume.entry(position).size, 0);
    return bytes;
}

std::string methodName(uint8_t compression) {
    const EntryMethod *method = EntryMethod::find(compression);
    return method ? method->name : std::to_string(compression); // an undefined code is shown as it is
}

} // namespace tool

} // namespace qarvex
