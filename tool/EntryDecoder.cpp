// EntryDecoder: one entry decoded through the volume to exactly its recorded size.
#include "tool/EntryDecoder.h"

#include <algorithm>

namespace tool {

bool EntryDecoder::readPiece(ToolVolume &volume, int32_t count) {
    // The volume does not stop a read at the entry's end, and a decoder may fill a read past the
    // end of its data without failing it: the status tells as well as the result.
    return volume.read(count, piece.data()) && volume.getStatus() == StreamIO::Ok;
}

bool EntryDecoder::stillFed(ToolVolume &volume) {
    return volume.read(0, piece.data()) && volume.getStatus() == StreamIO::Ok;
}

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
    // Up to here the data must last; past it only the LZH read-ahead may find it gone. The piece
    // that crosses into that tail ends where the tail starts, and the tail is read in one piece.
    int64_t fed = item.size;
    if (item.compression == VolumeStream::LZH)
        fed = std::max<int64_t>(0, fed - LzhReadAheadOutput);
    EntryFault fault = EntryFault::None;
    for (int64_t decoded = 0; decoded < item.size && fault == EntryFault::None;) {
        int64_t until = decoded < fed ? fed : item.size;
        int32_t count = int32_t(std::min<int64_t>(PieceSize, until - decoded));
        if (!readPiece(volume, count) || (decoded + count == fed && !stillFed(volume)))
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
