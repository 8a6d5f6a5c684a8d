// The walk that every command shares: volume arguments expanded into files, each file opened as a
// volume (with a diagnostic when it opens only in part or not at all), and the entries whose names
// match the expression picked out by the search command's own matcher, in table order.
#pragma once

#include "tool/Console.h"
#include "tool/MatchList.h"
#include <qarvex/volume/VolumeRStream.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

// Picks the matching entries of one volume at a time.
class EntrySelector {
public:
    static constexpr int32_t NoLimit = -1;

    // With a limit, exactly the entries the search command lists: the first limit matches.
    EntrySelector(const char *expression, int32_t limit);

    // Picks the matching entries of volume: their positions in its entry table, in table order.
    const std::vector<int32_t> &select(const VolumeStream &volume);
    const std::vector<int32_t> &selected() const { return positions; }
    // True when the limit cut the last selection short (or it holds exactly limit entries).
    bool full() const { return isFull; }

private:
    const char *expression;
    std::optional<MatchList> bounded; // with a limit: one list, reused for every volume
    std::vector<int32_t> positions;
    bool isFull = false;
};

// What a command does with one volume: its path as printed and its selected entries. False when
// something went wrong with it (already reported).
using VolumeVisitor =
    std::function<bool(VolumeRStream &volume, const std::string &path, EntrySelector &selection)>;

// Visits every file that the volume arguments name, in argument order and then by name. A volume
// that opens only in part or not at all is reported and still visited with what loaded (nothing,
// in the second case); an argument that names no file is reported. With recursive, an argument
// that is a folder gives the files below it that open as volumes (others are passed over), depth
// first, each folder's files and subfolders in name order (see filesBelow). True
// when nothing had to be reported and every visit returned true. With a JSON document each file
// visited is a volume in it, and so is an argument that names none, with its "error".
bool forEachVolume(const char *expression, char *const *arguments, int count, bool recursive, int32_t limit,
                   Console &console, const VolumeVisitor &visit);

// The plain files below folder, all the way down, in the order its listings give (sorted by name);
// unreadable folders are reported. False when any was.
bool filesBelow(const std::string &folder, std::vector<std::string> &paths, Console &console);

// The decoded bytes of the entries at positions, negative (damaged) sizes counted as none.
int64_t selectedBytes(VolumeRStream &volume, const std::vector<int32_t> &positions);

// The diagnostics' words for a volume that did not open ("not a volume").
const char *openFailure(VolumeStream::OpenError error);

// The method column and the diagnostics' words for an entry's compression code.
std::string methodName(uint8_t compression);

} // namespace tool

} // namespace qarvex
