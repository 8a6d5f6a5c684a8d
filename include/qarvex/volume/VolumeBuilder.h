// VolumeBuilder: collects the entries of a volume and has VolumeWriter lay out the file. Used by
// the tests and to make the examples.
// Threads: one thread at a time per builder; different builders may write from different threads.
#pragma once

#include <qarvex/volume/VolumeWriter.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qarvex {

class VolumeBuilder {
public:
    using Variant = VolumeWriter::Variant;
    using Entry = VolumeWriter::Entry;

    // An entry stored as is. A null name makes an entry without a name.
    void add(uint32_t id, const char *name, std::string_view bytes);
    // An entry whose stored bytes are already coded; size is its decoded length.
    void addCoded(uint32_t id, const char *name, int32_t size, uint8_t compression,
                  std::vector<uint8_t> stored);

    const std::vector<Entry> &entries() const { return list; }

    // The whole file. Empty when the volume would not fit the format's 32-bit offsets.
    std::vector<uint8_t> build(Variant variant) const { return VolumeWriter::build(list, variant); }
    // Written whole under a temporary name, then renamed to path.
    bool writeFile(const char *path, Variant variant) const {
        return VolumeWriter::writeFile(path, list, variant) == VolumeWriter::Fault::None;
    }

private:
    std::vector<Entry> list;
};

} // namespace qarvex
