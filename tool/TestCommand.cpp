// The -t command: every matching entry decoded to its size and thrown away; each one that fails
// is listed under its volume, and a summary line ends the run. Entries are decoded on -j threads
// and reported in table order.
//   broken.vol
//     story.txt: damaged: data ends before its 11358 bytes
//   12 entries tested, 1 failed
#include "tool/Commands.h"
#include "tool/EntryDecoder.h"
#include "tool/JsonReport.h"
#include "tool/OrderedWork.h"
#include "tool/VolumeWalk.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

int testEntries(const Options &options, Console &console) {
    const int threads = threadsFor(options);
    std::vector<EntryDecoder> decoders(static_cast<size_t>(threads)); // one per worker
    int64_t tested = 0, failed = 0;
    const EntryDecoder::Sink discard = [](const uint8_t *, int32_t) { return true; };
    JsonReport *json = console.json();
    bool allWell = forEachVolume(
        options.operands[0], options.operands + 1, options.operandCount - 1, options.recursive,
        EntrySelector::NoLimit, console,
        [&](VolumeRStream &volume, const std::string &path, EntrySelector &selection) {
            const std::vector<int32_t> &positions = selection.selected();
            console.progress.start(path, int64_t(positions.size()), selectedBytes(volume, positions));
            // The records are taken here, before the workers start: they only read the volume.
            std::vector<const VolumeItem *> items;
            for (int32_t position : positions)
                items.push_back(&volume.entry(position));
            // On one thread the progress moves as the bytes come; with more, by whole entries here.
            Progress *live = threads == 1 ? &console.progress : nullptr;
            bool volumeWell = true;
            // A result is only a fault code, so workers may run far ahead.
            constexpr size_t FaultsAheadPerThread = 64;
            forEachInOrder<EntryFault>(
                items.size(), threads,
                [&](int worker, size_t index) {
                    return decoders[size_t(worker)].decode(volume, *items[index], discard, live);
                },
                [&](size_t index, EntryFault &fault) {
                    const VolumeItem &item = *items[index];
                    ++tested;
                    if (!live)
                        console.progress.advance(std::max<int32_t>(item.size, 0));
                    console.progress.entryDone();
                    if (json) {
                        Json &entry = json->addEntry(volume, positions[index]);
                        entry["ok"] = fault == EntryFault::None;
                        if (fault != EntryFault::None)
                            entry["error"] = EntryDecoder::describe(fault, item);
                    }
                    if (fault == EntryFault::None)
                        return;
                    if (volumeWell)
                        console.print("%s\n", path.c_str());
                    console.print("  %s: %s\n", item.name, EntryDecoder::describe(fault, item).c_str());
                    ++failed;
                    volumeWell = false;
                },
                FaultsAheadPerThread);
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
