// The -l command: the search command's rows with the details of each entry.
//   demo.vol
//     00000001   26  17  lzh     ReadMe.txt
//                10  10  stored  notes.txt
//     2 entries, 36 bytes
#include "tool/Commands.h"
#include "tool/JsonReport.h"
#include "tool/SearchCommand.h"
#include "tool/VolumeWalk.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

namespace {

struct Row {
    char id[9];
    std::string size, stored, method;
    const char *name;
};

} // namespace

int listEntries(const Options &options, Console &console) {
    // The rows are the search command's: the same matches up to the same limit, followed by the
    // same line when the limit cut them short.
    JsonReport *json = console.json();
    bool allWell = forEachVolume(
        options.operands[0], options.operands + 1, options.operandCount - 1, options.recursive,
        search::MatchLimit, console,
        [&](VolumeRStream &volume, const std::string &path, EntrySelector &selection) {
            if (json) {
                for (int32_t position : selection.selected())
                    json->addEntry(volume, position);
                Json &listed = json->lastVolume();
                listed["bytes"] = selectedBytes(volume, selection.selected());
                listed["match_list_full"] = selection.full();
                return true;
            }
            std::vector<Row> rows;
            size_t sizeWidth = 0, storedWidth = 0, methodWidth = 0;
            for (int32_t position : selection.selected()) {
                const VolumeItem &item = volume.entry(position);
                Row row;
                if (item.id != 0)
                    std::snprintf(row.id, sizeof row.id, "%08X", unsigned(item.id));
                else
                    std::snprintf(row.id, sizeof row.id, "%8s", "");
                row.size = std::to_string(item.size);
                int32_t stored = volume.storedLength(item);
                row.stored = stored >= 0 ? std::to_string(stored) : "-"; // the block is not all there
                row.method = methodName(item.compression);
                row.name = item.name;
                sizeWidth = std::max(sizeWidth, row.size.size());
                storedWidth = std::max(storedWidth, row.stored.size());
                methodWidth = std::max(methodWidth, row.method.size());
                rows.push_back(std::move(row));
            }
            if (!rows.empty()) {
                console.print("%s\n", path.c_str());
                for (const Row &row : rows)
                    console.print("  %s  %*s  %*s  %-*s  %s\n", row.id, int(sizeWidth), row.size.c_str(),
                                  int(storedWidth), row.stored.c_str(), int(methodWidth), row.method.c_str(),
                                  row.name);
                console.print("  %s, %s\n", countOf(int64_t(rows.size()), "entry", "entries").c_str(),
                              countOf(selectedBytes(volume, selection.selected()), "byte", "bytes").c_str());
            }
            if (selection.full())
                console.print(search::ListFullLine, path.c_str());
            return true;
        });
    return allWell ? Success : Failure;
}

} // namespace tool

} // namespace qarvex
