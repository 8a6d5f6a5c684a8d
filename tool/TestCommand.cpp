// The -t command: every matching entry decoded to its size and thrown away; each one that fails
// is listed under its volume, and a summary line ends the run.
//   broken.vol
//     story.txt: damaged: data ends before its 11358 bytes
//   12 entries tested, 1 failed
#include "tool/Commands.h"
#include "tool/EntryDecoder.h"
#include "tool/JsonReport.h"
#include "tool/VolumeWalk.h"

#include <string>

namespace qarvex {

namespace tool {

int testEntries(const Options &options, Console &console) {
    EntryDecoder decoder;
    int64_t tested = 0, failed = 0;
    const EntryDecoder::Sink discard = [](const uint8_t *, int32_t) { return true; };
    JsonReport *json = console.json();
    bool allWell = forEachVolume(
        options.operands[0], options.operands + 1, options.operandCount - 1, options.recursive,
        EntrySelector::NoLimit, console,
        [&](VolumeRStream &volume, const std::string &path, EntrySelector &selection) {
            const std::vector<int32_t> &positions = selection.selected();
            console.progress.start(path, int64_t(positions.size()), selectedBytes(volume, positions));
            bool volumeWell = true;
            for (int32_t position : positions) {
                EntryFault fault = decoder.decode(volume, position, discard, &console.progress);
                ++tested;
                console.progress.entryDone();
                if (json) {
                    Json &entry = json->addEntry(volume, position);
                    entry["ok"] = fault == EntryFault::None;
                    if (fault != EntryFault::None)
                        entry["error"] = EntryDecoder::describe(fault, volume.entry(position));
                }
                if (fault == EntryFault::None)
                    continue;
                if (volumeWell)
                    console.print("%s\n", path.c_str());
                const VolumeItem &item = volume.entry(position);
                console.print("  %s: %s\n", item.name, EntryDecoder::describe(fault, item).c_str());
                ++failed;
                volumeWell = false;
            }
            console.progress.clear();
            return volumeWell;
        });
    if (json)
        json->summary() = {{"tested", tested}, {"failed", failed}};
    console.print("%s tested, %lld failed\n", countOf(tested, "entry", "entries").c_str(), (long long)failed);
    return allWell ? Success : Failure;
}

} // namespace tool

} // namespace qarvex
