// VolumeBuilder: writes the blocks of a volume through the block streams, into memory first so
// that every offset is known before the directory is written.
#include "code/VolumeBuilder.h"

#include "code/VolumeStream.h"
#include "core/LittleEndian.h"
#include "stream/BlockStream.h"
#include "stream/MemRWStream.h"

#include <cstdio>

namespace {

constexpr uint32_t EntryDataTag = le::tag("DATA");

int64_t paddedBlock(int64_t dataLength) {
    return BlockStream::HeaderSize + (dataLength + 1) / 2 * 2;
}

bool writeBlock(MemRWStream &out, uint32_t tag, const void *data, size_t length) {
    BlockRWStream block;
    if (!block.begin(&out, tag, uint32_t(length)))
        return false;
    bool wrote = length == 0 || block.write(int32_t(length), data);
    block.close();
    return wrote;
}

} // namespace

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

std::vector<uint8_t> VolumeBuilder::build(Variant variant) const {
    std::string names;
    std::vector<uint8_t> records(list.size() * VolumeItem::RecordSize);
    int64_t dataEnd = 8;
    for (const Entry &entry : list)
        dataEnd += paddedBlock(int64_t(entry.stored.size()));
    for (const Entry &entry : list)
        if (entry.name)
            names.append(*entry.name).push_back('\0');
    int64_t total = dataEnd + (variant == Variant::OldVOL ? 2 * BlockStream::HeaderSize : 0) +
                    paddedBlock(int64_t(names.size())) + paddedBlock(int64_t(records.size()));
    if (total > INT32_MAX)
        return {};

    std::vector<uint8_t> file(size_t(total), 0);
    MemRWStream out;
    out.attach(int32_t(total), file.data());
    uint8_t header[8];
    le::write32(header, variant == Variant::PVOL ? VolumeStream::MagicPVOL : VolumeStream::MagicVOL);
    le::write32(header + 4, uint32_t(dataEnd));
    out.write(8, header);

    uint32_t nameOffset = 0;
    uint8_t *record = records.data();
    for (const Entry &entry : list) {
        le::write32(record, entry.id);
        le::write32(record + 4, entry.name ? nameOffset : VolumeItem::NoName);
        le::write32(record + 8, uint32_t(out.getPosition()));
        le::write32(record + 12, uint32_t(entry.size));
        record[16] = entry.compression;
        record += VolumeItem::RecordSize;
        if (entry.name)
            nameOffset += uint32_t(entry.name->size() + 1);
        if (!writeBlock(out, EntryDataTag, entry.stored.data(), entry.stored.size()))
            return {};
    }
    if (variant == Variant::OldVOL) {
        if (!writeBlock(out, VolumeStream::StringBlockTag, nullptr, 0) ||
            !writeBlock(out, VolumeStream::ItemBlockTag, nullptr, 0))
            return {};
    }
    if (!writeBlock(out, VolumeStream::StringBlockTag, names.data(), names.size()) ||
        !writeBlock(out, VolumeStream::ItemBlockTag, records.data(), records.size()))
        return {};
    return file;
}

bool VolumeBuilder::writeFile(const char *path, Variant variant) const {
    std::vector<uint8_t> bytes = build(variant);
    if (bytes.empty())
        return false;
    std::FILE *file = std::fopen(path, "wb");
    if (!file)
        return false;
    bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && wrote;
}
