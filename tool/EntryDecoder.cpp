// EntryDecoder: one entry decoded through the volume to exactly its recorded size.
#include "tool/EntryDecoder.h"

#include <algorithm>

namespace qarvex {

namespace tool {

EntryFault EntryDecoder::checkRecord(ToolVolume &volume, const VolumeItem &item) {
    if (item.size < 0)
        return EntryFault::BadSize;
    if (item.compression != VolumeStream::Stored && item.compression != VolumeStream::RLE &&
        item.compression != VolumeStream::LZH)
        return EntryFault::UnknownMethod;
    if (volume.storedLength(item) < 0)
        return EntryFault::OutsideFile;
    return EntryFault::None;
}

EntryFault EntryDecoder::decode(ToolVolume &volume, int32_t position, const Sink &sink, Progress *progress) {
    VolumeItem &item = volume.item(position);
    if (EntryFault fault = checkRecord(volume, item); fault != EntryFault::None)
        return fault;
    if (!volume.openItem(&item)) {
        volume.close();
        return EntryFault::CannotOpen;
    }
    if (piece.empty())
        piece.resize(PieceSize);
    // The LZH decoder goes on with zero bits when its data runs out: whether the data lasted is
    // checked where the entry still owes LzhReadAheadOutput bytes, at the end of a piece.
    int64_t checkAt = -1;
    if (item.compression == VolumeStream::LZH && item.size > LzhReadAheadOutput)
        checkAt = item.size - LzhReadAheadOutput;
    EntryFault fault = EntryFault::None;
    for (int64_t decoded = 0; decoded < item.size && fault == EntryFault::None;) {
        int64_t until = decoded < checkAt ? checkAt : item.size;
        int32_t count = int32_t(std::min<int64_t>(PieceSize, until - decoded));
        // Stored and RLE reads fail by themselves when the data gives out.
        if (!volume.read(count, piece.data()) ||
            (decoded + count == checkAt && volume.storedDataUsedUp(item)))
            fault = EntryFault::EndsEarly;
        else if (!sink(piece.data(), count))
            fault = EntryFault::SinkFailed;
        decoded += count;
        if (progress)
            progress->advance(count);
    }
    volume.close();
    return fault;
}

std::string EntryDecoder::describe(EntryFault fault, const VolumeItem &item) {
    switch (fault) {
    case EntryFault::None:
        return "ok";
    case EntryFault::BadSize:
        return "damaged: recorded size " + std::to_string(item.size);
    case EntryFault::UnknownMethod:
        return "cannot be opened: unknown method " + methodName(item.compression);
    case EntryFault::OutsideFile:
        return "damaged: data outside the file";
    case EntryFault::CannotOpen:
        return "cannot be opened";
    case EntryFault::EndsEarly:
        return "damaged: data ends before its " + std::to_string(item.size) + " bytes";
    case EntryFault::SinkFailed:
        break;
    }
    return "not written";
}

} // namespace tool

} // namespace qarvex
