// EntryReader: reads entries of an open volume through decoding streams of its own. The volume is
// only read (its mapped file and its entry records), so several readers may decode entries of one
// volume at the same time, each on its own thread.
// Threads: one thread at a time per reader. Any number of readers, on as many threads, may read
// entries of one volume while no thread changes the volume (see VolumeStream), given records taken
// from its entries() before the threads started.
#pragma once

#include <qarvex/stream/DecodingRStream.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/volume/EntryMethod.h>
#include <qarvex/volume/VolumeStream.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qarvex {

class EntryReader {
public:
    EntryReader();
    ~EntryReader();
    EntryReader(const EntryReader &) = delete;
    EntryReader &operator=(const EntryReader &) = delete;

    // Opens item of volume for reading: false for an unknown method, a data block not wholly
    // inside the file, or a decoder that could not be made (memory ran out) or refuses to start.
    bool open(const VolumeStream &volume, const VolumeItem &item);
    // The next count decoded bytes of the open entry; false when they cannot all be had.
    bool read(int32_t count, void *buffer);
    void close();

    // Puts an entry's streams together: memory over exactly its stored bytes and, for a method
    // with one, decoder over memory. A decoding stream that seeks backwards then restarts at the
    // first coded byte and meets the end of the data where the entry's data ends. Returns the
    // stream that reads the entry, or null (nothing attached) when the method needs a decoder and
    // none was given. Every entry opened by the library is put together here.
    static StreamIO *attach(const EntryMethod &method, std::span<const uint8_t> stored, MemRWStream &memory,
                            DecodingRStream *decoder);

private:
    MemRWStream memory;
    // One per row of EntryMethod::all(), made when an entry of that method is first opened.
    std::vector<std::unique_ptr<DecodingRStream>> decoders;
    StreamIO *current = nullptr;
};

} // namespace qarvex
