// EntryDecoder: reads one entry of an open volume, decoded, to exactly its size, in pieces, and
// tells why when it cannot. Extraction writes the pieces to a file, testing only counts them.
#pragma once

#include "tool/VolumeWalk.h"

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

class EntryDecoder {
public:
    static constexpr int32_t PieceSize = 64 * 1024;

    // Receives each decoded piece in order; false stops the decoding.
    using Sink = std::function<bool(const uint8_t *bytes, int32_t count)>;

    // Decodes the entry at position in volume's table, handing every piece to sink and its length
    // to progress (may be null). EntryFault::None only when exactly its size came out whole.
    EntryFault decode(VolumeRStream &volume, int32_t position, const Sink &sink, Progress *progress);

    // The faults found without reading the entry: a bad size, an unknown method, data outside the
    // file. Extraction checks them before it creates anything.
    static EntryFault checkRecord(const VolumeStream &volume, const VolumeItem &item);

    // The words after "name: " in a report of fault, e.g. "damaged: data outside the file".
    static std::string describe(EntryFault fault, const VolumeItem &item);

private:
    std::vector<uint8_t> piece;
};

} // namespace tool

} // namespace qarvex
