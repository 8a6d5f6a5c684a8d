// EntryDecoder: one entry decoded through a reader of its own to exactly its recorded size.
#include "tool/EntryDecoder.h"

#include <qarvex/platform/Platform.h>

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

EntryFault EntryDecoder::decode(const VolumeStream &volume, const VolumeItem &item, const Sink &sink,
                                Progress *progress) {
    if (ahead && ahead->item == &item)
        return replay(*ahead, sink, progress);
    if (EntryFault fault = checkRecord(volume, item); fault != EntryFault::None)
        return fault;
    if (!reader.open(volume, item)) {
        reader.close();
        return EntryFault::CannotOpen;
    }
    if (piece.empty())
        piece.resize(PieceSize);
    EntryFault fault = EntryFault::None;
    for (int64_t decoded = 0; decoded < item.size && fault == EntryFault::None;) {
        int32_t count = int32_t(std::min<int64_t>(PieceSize, item.size - decoded));
        // Every entry stream fails the read by itself as soon as its data gives out.
        if (!reader.read(count, piece.data()))
            fault = EntryFault::EndsEarly;
        else if (!sink(piece.data(), count))
            fault = EntryFault::SinkFailed;
        decoded += count;
        if (progress)
            progress->advance(count);
    }
    reader.close();
    return fault;
}

void EntryDecoder::decodeAhead(const VolumeStream &volume, const VolumeItem &item, int32_t limit,
                               DecodedEntry &entry) {
    entry = DecodedEntry{};
    if (item.size > limit)
        return;
    entry.item = &item;
    entry.faultsBefore = platform::mappedFileFaults();
    entry.bytes.reserve(size_t(std::max<int32_t>(item.size, 0)));
    entry.fault = decode(
        volume, item,
        [&](const uint8_t *bytes, int32_t count) {
            entry.bytes.insert(entry.bytes.end(), bytes, bytes + count);
            return true;
        },
        nullptr);
}

uint64_t EntryDecoder::faultsBefore(const VolumeItem &item) const {
    return ahead && ahead->item == &item ? ahead->faultsBefore : platform::mappedFileFaults();
}

EntryFault EntryDecoder::replay(const DecodedEntry &entry, const Sink &sink, Progress *progress) {
    // In pieces of at most PieceSize, as decode hands them on.
    for (size_t done = 0; done < entry.bytes.size();) {
        auto count = int32_t(std::min<size_t>(PieceSize, entry.bytes.size() - done));
        if (!sink(entry.bytes.data() + done, count))
            return EntryFault::SinkFailed;
        done += size_t(count);
        if (progress)
            progress->advance(count);
    }
    return entry.fault;
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
