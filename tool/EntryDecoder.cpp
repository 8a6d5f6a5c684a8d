// EntryDecoder: one entry decoded through the volume to exactly its recorded size.
#include "tool/EntryDecoder.h"

#include <algorithm>

namespace qarvex {

namespace tool {

EntryFault EntryDecoder::checkRecord(const VolumeStream &volume, const VolumeItem &item) {
    if (item.size < 0)
        return EntryFault::BadSize;
    if (!VolumeStream::method(item))
        return EntryFault::UnknownMethod;
    if (!volume.dataInsideFile(item))
        return EntryFault::OutsideFile;
    return EntryFault::None;
}

EntryFault EntryDecoder::decode(VolumeRStream &volume, int32_t position, const Sink &sink,
                                Progress *progress) {
    const VolumeItem &item = volume.entry(position);
    if (EntryFault fault = checkRecord(volume, item); fault != EntryFault::None)
        return fault;
    if (!volume.openItem(&item)) {
        volume.close();
        return EntryFault::CannotOpen;
    }
    if (piece.empty())
        piece.resize(PieceSize);
    EntryFault fault = EntryFault::None;
    for (int64_t decoded = 0; decoded < item.size && fault == EntryFault::None;) {
        int32_t count = int32_t(std::min<int64_t>(PieceSize, item.size - decoded));
        // Every entry stream fails the read by itself as soon as its data gives out.
        if (!volume.read(count, piece.data()))
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
