// VolumeBuilder: the entry list; the layout is VolumeWriter's.
#include <qarvex/volume/VolumeBuilder.h>

namespace qarvex {

void VolumeBuilder::add(uint32_t id, const char *name, std::string_view bytes) {
    Entry entry;
    entry.id = id;
    if (name)
        entry.name = name;
    entry.size = int32_t(bytes.size());
    entry.stored.assign(bytes.begin(), bytes.end());
    list.push_back(std::move(entry));
}

void VolumeBuilder::addCoded(uint32_t id, const char *name, int32_t size, uint8_t compression,
                             std::vector<uint8_t> stored) {
    Entry entry;
    entry.id = id;
    if (name)
        entry.name = name;
    entry.size = size;
    entry.compression = compression;
    entry.stored = std::move(stored);
    list.push_back(std::move(entry));
}

} // namespace qarvex
