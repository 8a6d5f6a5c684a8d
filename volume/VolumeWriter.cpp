// VolumeWriter: the volume layout, written through a sink (memory or a file), and the file
// written whole under a temporary name before it takes the wanted one.
#include <qarvex/volume/VolumeWriter.h>

#include <qarvex/core/LittleEndian.h>
#include <qarvex/platform/Platform.h>
#include <qarvex/platform/TemporaryFile.h>
#include <qarvex/stream/BlockStream.h>
#include <qarvex/volume/EntryMethod.h>
#include <qarvex/volume/VolumeStream.h>

#include <cstring>
#include <utility>

namespace qarvex {

namespace {

constexpr uint32_t EntryDataTag = le::tag("DATA");
constexpr int32_t HeaderSize = 8;

// Blocks here use the 2-byte padding (bit 31 of the size word clear), as original volumes do.
int64_t paddedBlock(int64_t dataLength) {
    return BlockStream::HeaderSize + (dataLength + 1) / 2 * 2;
}

bool writeBlock(const VolumeWriter::Sink &sink, uint32_t tag, const void *data, size_t length) {
    uint8_t header[BlockStream::HeaderSize];
    le::write32(header, tag);
    le::write32(header + 4, uint32_t(length));
    static const uint8_t padding = 0;
    return sink(header, sizeof header) && (length == 0 || sink(data, length)) &&
           (length % 2 == 0 || sink(&padding, 1));
}

std::string stringBlock(const std::vector<VolumeWriter::Entry> &entries) {
    std::string names;
    for (const VolumeWriter::Entry &entry : entries)
        if (entry.name)
            names.append(*entry.name).push_back('\0');
    return names;
}

int64_t dataEnd(const std::vector<VolumeWriter::Entry> &entries) {
    int64_t end = HeaderSize;
    for (const VolumeWriter::Entry &entry : entries)
        end += paddedBlock(int64_t(entry.storedSize()));
    return end;
}

} // namespace

bool VolumeWriter::makeEntry(uint32_t id, std::optional<std::string> name, const uint8_t *bytes, size_t count,
                             Method method, Entry &entry) {
    // The stored length shares its size word with the padding flag, and size is signed.
    if (count > size_t(INT32_MAX))
        return false;
    entry = Entry{};
    entry.id = id;
    entry.name = std::move(name);
    entry.size = int32_t(count);
    const uint8_t wanted = method == Method::RLE   ? VolumeStream::RLE
                           : method == Method::LZH ? VolumeStream::LZH
                                                   : VolumeStream::Stored;
    // Best tries every method, cheapest to read first, and keeps a later one only when it is
    // smaller.
    bool chosen = false;
    std::vector<uint8_t> coded;
    for (const EntryMethod &row : EntryMethod::all()) {
        if (method != Method::Best && row.code != wanted)
            continue;
        if (!row.encode)
            coded.assign(bytes, bytes + count);
        else if (!row.encode(bytes, count, coded) || coded.size() > size_t(INT32_MAX))
            return false;
        if (!chosen || coded.size() < entry.stored.size()) {
            entry.compression = row.code;
            entry.stored.swap(coded);
            chosen = true;
        }
    }
    return true;
}

int64_t VolumeWriter::fileLength(const std::vector<Entry> &entries, Variant variant) {
    int64_t names = 0;
    for (const Entry &entry : entries)
        if (entry.name)
            names += int64_t(entry.name->size()) + 1;
    int64_t total = dataEnd(entries) + (variant == Variant::OldVOL ? 2 * BlockStream::HeaderSize : 0) +
                    paddedBlock(names) + paddedBlock(int64_t(entries.size()) * VolumeItem::RecordSize);
    // Readers hold positions and the file's length as signed 32-bit numbers.
    return total > INT32_MAX ? -1 : total;
}

VolumeWriter::Fault VolumeWriter::write(const std::vector<Entry> &entries, Variant variant,
                                        const Sink &sink) {
    for (const Entry &entry : entries)
        if (entry.name && entry.name->find('\0') != std::string::npos)
            return Fault::BadEntry;
    if (fileLength(entries, variant) < 0)
        return Fault::TooLarge;
    std::string names = stringBlock(entries);
    int64_t directory = dataEnd(entries);

    uint8_t header[HeaderSize];
    le::write32(header, variant == Variant::PVOL ? VolumeStream::MagicPVOL : VolumeStream::MagicVOL);
    le::write32(header + 4, uint32_t(directory));
    if (!sink(header, sizeof header))
        return Fault::CannotWrite;

    std::vector<uint8_t> records(entries.size() * VolumeItem::RecordSize);
    uint8_t *record = records.data();
    uint32_t nameOffset = 0;
    int64_t offset = HeaderSize;
    for (const Entry &entry : entries) {
        le::write32(record, entry.id);
        le::write32(record + 4, entry.name ? nameOffset : VolumeItem::NoName);
        le::write32(record + 8, uint32_t(offset));
        le::write32(record + 12, uint32_t(entry.size));
        record[16] = entry.compression;
        record += VolumeItem::RecordSize;
        if (entry.name)
            nameOffset += uint32_t(entry.name->size() + 1);
        if (!writeBlock(sink, EntryDataTag, entry.storedData(), entry.storedSize()))
            return Fault::CannotWrite;
        offset += paddedBlock(int64_t(entry.storedSize()));
    }
    if (variant == Variant::OldVOL && (!writeBlock(sink, VolumeStream::StringBlockTag, nullptr, 0) ||
                                       !writeBlock(sink, VolumeStream::ItemBlockTag, nullptr, 0)))
        return Fault::CannotWrite;
    if (!writeBlock(sink, VolumeStream::StringBlockTag, names.data(), names.size()) ||
        !writeBlock(sink, VolumeStream::ItemBlockTag, records.data(), records.size()))
        return Fault::CannotWrite;
    return Fault::None;
}

std::vector<uint8_t> VolumeWriter::build(const std::vector<Entry> &entries, Variant variant) {
    std::vector<uint8_t> file;
    int64_t length = fileLength(entries, variant);
    if (length < 0)
        return {};
    file.reserve(size_t(length));
    Fault fault = write(entries, variant, [&](const void *bytes, size_t count) {
        const uint8_t *from = static_cast<const uint8_t *>(bytes);
        file.insert(file.end(), from, from + count);
        return true;
    });
    if (fault != Fault::None)
        return {};
    return file;
}

namespace {

// Collects small writes so that the system sees large ones.
class FileSink {
public:
    explicit FileSink(platform::FileHandle file) : file(file) { buffer.reserve(Capacity); }

    bool put(const void *bytes, size_t count) {
        const uint8_t *from = static_cast<const uint8_t *>(bytes);
        while (count > 0) {
            size_t room = Capacity - buffer.size();
            size_t take = count < room ? count : room;
            buffer.insert(buffer.end(), from, from + take);
            from += take;
            count -= take;
            if (buffer.size() == Capacity && !flush())
                return false;
        }
        return true;
    }

    bool flush() {
        int32_t written = 0;
        bool wrote =
            buffer.empty() || (platform::writeFile(file, buffer.data(), int32_t(buffer.size()), written) &&
                               written == int32_t(buffer.size()));
        buffer.clear();
        return wrote;
    }

private:
    static constexpr size_t Capacity = 256 * 1024;
    platform::FileHandle file;
    std::vector<uint8_t> buffer;
};

} // namespace

VolumeWriter::Fault VolumeWriter::writeFile(const char *path, const std::vector<Entry> &entries,
                                            Variant variant, uint32_t *systemError,
                                            const std::function<bool()> &beforeRename) {
    uint32_t ignored = 0;
    uint32_t &error = systemError ? *systemError : ignored;
    error = platform::error::None;
    size_t folderLength = platform::directoryPartLength(path);
    std::string folderPath(path, folderLength);
    std::string name(path + folderLength);
    if (name.empty())
        return Fault::CannotWrite;
    platform::FolderHandle folder = platform::openFolder(folderPath.empty() ? "." : folderPath.c_str());
    if (folder == platform::InvalidFolder) {
        error = platform::lastError();
        return Fault::CannotWrite;
    }

    // The temporary file sits next to the output, so that the rename stays inside one file system.
    std::string temporary;
    platform::FileHandle file = platform::createTemporaryIn(folder, temporary);
    if (file == platform::InvalidFile) {
        error = platform::lastError();
        platform::closeFolder(folder);
        return Fault::CannotWrite;
    }

    FileSink sink(file);
    Fault fault =
        write(entries, variant, [&](const void *bytes, size_t count) { return sink.put(bytes, count); });
    if (fault == Fault::None && !sink.flush())
        fault = Fault::CannotWrite;
    if (fault == Fault::CannotWrite)
        error = platform::lastError();
    // The data is on the disk before the volume's name moves to it.
    if (fault != Fault::None) {
        platform::closeFile(file);
    } else if (!platform::finishTemporary(file)) {
        fault = Fault::CannotWrite;
        error = platform::lastError();
    } else if (beforeRename && !beforeRename()) {
        fault = Fault::Withdrawn;
    } else if (!platform::keepTemporary(folder, temporary, name.c_str(), true)) {
        fault = Fault::CannotWrite;
        error = platform::lastError();
    }
    if (fault != Fault::None) {
        platform::discardTemporary(folder, temporary);
        platform::closeFolder(folder);
        return fault;
    }
    platform::closeFolder(folder);
    return Fault::None;
}

} // namespace qarvex
