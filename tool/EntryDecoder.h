// EntryDecoder: reads one entry of an open volume, decoded, to exactly its size, in pieces, and
// tells why when it cannot. Extraction writes the pieces to a file, testing only counts them.
#pragma once

#include "tool/VolumeWalk.h"
#include <qarvex/volume/EntryReader.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace qarvex {

namespace tool {

enum class EntryFault {
    None,
    BadSize,       // the recorded size is negative
    UnknownMethod, // a compression code without a decoder
    OutsideFile,   // the data block runs past the end of the volume file
    CannotOpen,    // the decoder refused to start
    EndsEarly,     // the data gives out before the entry's size is reached
    SinkFailed,    // the receiver of the bytes gave up (it says why itself)
};

// An entry decoded ahead of its turn, on another thread: its decoded bytes (up to where decoding
// stopped) and how it ended.
struct DecodedEntry {
    const VolumeItem *item = nullptr; // null: not decoded ahead (too large, or not asked)
    std::vector<uint8_t> bytes;
    EntryFault fault = EntryFault::None;
    uint64_t faultsBefore = 0; // platform::mappedFileFaults() when its decoding started
};

class EntryDecoder {
public:
    static constexpr int32_t PieceSize = 64 * 1024;

    // Receives each decoded piece in order; false stops the decoding.
    using Sink = std::function<bool(const uint8_t *bytes, int32_t count)>;

    // Decodes the entry at position in volume's table, handing every piece to sink and its length
    // to progress (may be null). EntryFault::None only when exactly its size came out whole.
    EntryFault decode(const VolumeStream &volume, int32_t position, const Sink &sink, Progress *progress) {
        return decode(volume, volume.entry(position), sink, progress);
    }
    // The same for a record of volume's table. It only reads the volume: decoders on several
    // threads may decode entries of one volume at once (see EntryReader).
    EntryFault decode(const VolumeStream &volume, const VolumeItem &item, const Sink &sink,
                      Progress *progress);

    // Decodes item into entry when its size is at most limit bytes; otherwise leaves entry.item null.
    void decodeAhead(const VolumeStream &volume, const VolumeItem &item, int32_t limit, DecodedEntry &entry);
    // While set, decoding entry->item hands on entry's bytes and fault exactly as decoding it here
    // would (the sink's failures included) instead of decoding it again. Null: every entry is decoded.
    void useDecodedAhead(const DecodedEntry *entry) { ahead = entry; }
    // The count of platform::mappedFileFaults() to compare with once item is decoded: from when
    // its decoding ahead started, or now.
    uint64_t faultsBefore(const VolumeItem &item) const;

    // The faults found without reading the entry: a bad size, an unknown method, data outside the
    // file. Extraction checks them before it creates anything.
    static EntryFault checkRecord(const VolumeStream &volume, const VolumeItem &item);

    // The words after "name: " in a report of fault, e.g. "damaged: data outside the file".
    static std::string describe(EntryFault fault, const VolumeItem &item);

private:
    EntryFault replay(const DecodedEntry &entry, const Sink &sink, Progress *progress);

    const DecodedEntry *ahead = nullptr;
    EntryReader reader;
    std::vector<uint8_t> piece;
};

} // namespace tool

} // namespace qarvex
