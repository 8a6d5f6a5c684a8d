// VolumeStream: opening and mapping a volume file, loading its directory safely, the sorted
// indexes and their lookups, and the writable-directory check.
#include <qarvex/volume/VolumeStream.h>

#include <qarvex/core/AssertLog.h>
#include <qarvex/stream/BlockStream.h>
#include <qarvex/volume/VolumeNames.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace qarvex {

const char *VolumeStream::writableDirectories = nullptr;
char VolumeStream::rootDirectory[1024] = {};
int32_t VolumeStream::rootDirectoryLength = 0;

VolumeStream::VolumeStream() : decoders(EntryMethod::all().size()) {}

DecodingRStream *VolumeStream::decoderFor(const EntryMethod &method) const {
    std::unique_ptr<DecodingRStream> &decoder = decoders[size_t(&method - EntryMethod::all().data())];
    if (!decoder && method.makeDecoder)
        decoder = method.makeDecoder();
    return decoder.get();
}

VolumeStream::~VolumeStream() {
    closeVolume();
}

int32_t VolumeStream::getStatus() {
    return current ? current->getStatus() : NoSource;
}

void *VolumeStream::getDataPointer() {
    return nullptr;
}

StreamIO *VolumeStream::openEntryStream(const char *, bool) {
    return nullptr;
}

StreamIO *VolumeStream::openEntryStreamById(uint32_t) {
    return nullptr;
}

int32_t VolumeStream::entrySizeByName(const char *name) {
    VolumeItem *item = findByName(name);
    return item ? item->size : -1;
}

int32_t VolumeStream::entrySizeById(uint32_t id) {
    VolumeItem *item = findById(id);
    return item ? item->size : -1;
}

bool VolumeStream::fails(OpenError why) {
    openError = why;
    return false;
}

bool VolumeStream::open(const char *path) {
    closeVolume();
    openError = OpenError::None;
    if (!openFile(path)) {
        // openFile keeps an empty file open so that the caller can tell the two cases apart.
        OpenError why = fileHandle != platform::InvalidFile ? OpenError::EmptyFile : OpenError::CannotOpen;
        closeVolume();
        return fails(why);
    }
    if (platform::fileSize(fileHandle) > MaxFileSize) {
        // Read as its low 32 bits, such a file would pass for a small volume.
        closeVolume();
        return fails(OpenError::TooLarge);
    }
    if (!mapFile(-1)) {
        closeVolume();
        return fails(OpenError::CannotOpen);
    }

    uint8_t word[4];
    memStream.setPosition(0);
    uint32_t magic = memStream.read(4, word) ? le::read32(word) : 0;
    if (magic != MagicPVOL && magic != MagicVOL) {
        closeFile();
        return fails(OpenError::NotAVolume);
    }
    directoryOffset = 8;
    if (memStream.read(4, word))
        directoryOffset = int32_t(le::read32(word));
    // An offset outside the file fails here and leaves memStream in error, so that neither
    // directory block is found below.
    memStream.setPosition(directoryOffset);

    oldVariant = magic == MagicVOL;
    bool complete = loadDirectory(oldVariant);
    if (!complete && openError == OpenError::None)
        openError = OpenError::DamagedDirectory;
    idIndex.setCount(0);
    nameIndex.setCount(0);
    indexesStale = true;
    return complete;
}

bool VolumeStream::loadDirectory(bool oldVariant) {
    BlockRStream block;
    if (oldVariant) {
        // The leading pair is passed over unread, but it must be there.
        for (uint32_t tag : {StringBlockTag, ItemBlockTag}) {
            if (!block.open(&memStream, tag)) {
                closeVolume();
                return fails(OpenError::DamagedDirectory);
            }
            block.close();
        }
    }
    bool complete = loadStringBlock(block);
    return loadItemBlock(block) && complete;
}

bool VolumeStream::loadStringBlock(BlockRStream &block) {
    if (!block.open(&memStream, StringBlockTag))
        return false; // a block of another tag has been passed over
    bool complete = true;
    int64_t length = block.dataLength();
    int64_t present = int64_t(viewSize) - memStream.getPosition();
    if (length > present) {
        length = present < 0 ? 0 : present;
        complete = false;
    }
    auto data = static_cast<const char *>(memStream.getDataPointer());
    if (!data)
        length = 0;
    stringBlockSize = int32_t(length);
    if (length > 0 && data[length - 1] == '\0') {
        // Every name ends inside the block: they are read where they lie, in the mapped file.
        stringBlock = data;
    } else if (length > 0) {
        // A last name without its terminator gets one on a copy, so that it ends at the block end
        // instead of running into whatever follows.
        complete = false;
        stringCopy.reset(new (std::nothrow) char[size_t(length) + 1]);
        if (!stringCopy) {
            stringBlockSize = 0;
            block.close();
            return false;
        }
        std::memcpy(stringCopy.get(), data, size_t(length));
        stringCopy[length] = '\0';
        stringBlock = stringCopy.get();
    }
    block.close();
    return complete;
}

const char *VolumeStream::nameAt(uint32_t nameOffset) const {
    if (nameOffset == VolumeItem::NoName || !stringBlock || nameOffset >= uint32_t(stringBlockSize))
        return nullptr;
    return stringBlock + nameOffset;
}

bool VolumeStream::loadItemBlock(BlockRStream &block) {
    if (!block.open(&memStream, ItemBlockTag))
        return false;
    bool complete = true;
    int64_t count = block.dataLength() / VolumeItem::RecordSize;
    int64_t present = (int64_t(viewSize) - memStream.getPosition()) / VolumeItem::RecordSize;
    if (count > present) {
        count = present < 0 ? 0 : present;
        complete = false;
    }
    auto first = static_cast<const uint8_t *>(memStream.getDataPointer());
    if (count > 0 && first) {
        // Allocated now, so that a volume too large for memory fails to open; filled on first use.
        if (!items.resize(int32_t(count))) {
            block.close();
            return false;
        }
        records = first;
        recordCount = int32_t(count);
        itemsStale = true;
        // A name offset outside the string block marks the directory as damaged; the entry
        // itself stays, without a name.
        if (stringBlock) {
            const uint8_t *record = first + 4;
            for (int32_t i = 0; i < recordCount; ++i, record += VolumeItem::RecordSize) {
                uint32_t nameOffset = le::read32(record);
                if (nameOffset != VolumeItem::NoName && nameOffset >= uint32_t(stringBlockSize))
                    complete = false;
            }
        }
    }
    block.close();
    return complete;
}

void VolumeStream::ensureItems() const {
    if (!itemsStale)
        return;
    itemsStale = false;
    const uint8_t *record = records;
    for (int32_t i = 0; i < recordCount; ++i, record += VolumeItem::RecordSize) {
        VolumeItem &item = items[i];
        item.id = le::read32(record);
        item.name = nameAt(le::read32(record + 4));
        item.offset = le::read32(record + 8);
        item.size = int32_t(le::read32(record + 12));
        item.compression = record[16];
    }
}

const Vector<VolumeItem> &VolumeStream::entries() const {
    ensureItems();
    return items;
}

const char *VolumeStream::entryName(int32_t index) const {
    if (!itemsStale)
        return items[index].name;
    return nameAt(le::read32(records + int64_t(index) * VolumeItem::RecordSize + 4));
}

void VolumeStream::keepDirectoryOffView() {
    // The file is going while the volume stays loaded (closeFile or unmapFile called on their
    // own): the table and the names must not stay behind in the view.
    ensureItems();
    records = nullptr;
    if (!stringBlock || stringBlock == stringCopy.get())
        return;
    const char *old = stringBlock;
    stringCopy.reset(new (std::nothrow) char[size_t(stringBlockSize) + 1]);
    if (stringCopy) {
        std::memcpy(stringCopy.get(), old, size_t(stringBlockSize));
        stringCopy[stringBlockSize] = '\0';
    } else {
        stringBlockSize = 0;
    }
    stringBlock = stringCopy.get();
    for (VolumeItem &item : items)
        if (item.name)
            item.name = stringCopy ? stringCopy.get() + (item.name - old) : nullptr;
}

bool VolumeStream::closeVolume() {
    items.setCount(0);
    idIndex.setCount(0);
    nameIndex.setCount(0);
    records = nullptr;
    recordCount = 0;
    itemsStale = false;
    indexesStale = false;
    stringCopy.reset();
    stringBlock = nullptr;
    stringBlockSize = 0;
    oldVariant = false;
    closeFile();
    return true;
}

bool VolumeStream::openFile(const char *path) {
    if (writable == 1 && writableDirectories && !isWritablePath(writableDirectories, path)) {
        // The report keeps the file and line the log has always named, wherever the call sits.
        assertLog.report(AssertFatal, "code\\volstrm.cpp",
                         AssertLog::formatMessage(
                             "Attempted write to file: %s.\nFile is not in a writable directory.", path),
                         124);
    }
    closeFile();
    fileHandle = platform::openFile(path, writable == 1 ? platform::OpenMode::ReadWriteShared
                                                        : platform::OpenMode::ReadShared);
    if (fileHandle == platform::InvalidFile) {
        closeFile();
        return false;
    }
    return platform::fileSize(fileHandle) != 0;
}

void VolumeStream::closeFile() {
    unmapFile();
    if (fileHandle != platform::InvalidFile)
        platform::closeFile(fileHandle);
    fileHandle = platform::InvalidFile;
}

bool VolumeStream::mapFile(int32_t size) {
    if (fileHandle == platform::InvalidFile)
        return false;
    int64_t fileBytes = platform::fileSize(fileHandle);
    if (size == -1)
        size = fileBytes > MaxFileSize ? -1 : int32_t(fileBytes);
    unmapFile();
    // Bytes of a view beyond the end of the file cannot be read safely.
    if (size <= 0 || size > fileBytes)
        return false;
    platform::MappedView mapped;
    if (!platform::mapFile(fileHandle, size, writable == 1, mapped)) {
        unmapFile();
        return false;
    }
    view = mapped.data;
    viewSize = mapped.size;
    mapping = mapped.mapping;
    memStream.attach(size, view);
    return true;
}

void VolumeStream::unmapFile() {
    memStream.close();
    if (view) {
        keepDirectoryOffView();
        platform::MappedView mapped;
        mapped.data = view;
        mapped.size = viewSize;
        mapped.mapping = mapping;
        platform::unmapFile(mapped);
    }
    view = nullptr;
    viewSize = 0;
    mapping = 0;
}

std::span<const uint8_t> VolumeStream::storedData(const VolumeItem &item) const {
    uint8_t *start = nullptr;
    int32_t length = 0;
    if (!storedBytes(item, start, length))
        return {};
    return {start, size_t(length)};
}

int32_t VolumeStream::storedLength(const VolumeItem &item) const {
    uint8_t *start = nullptr;
    int32_t length = 0;
    return storedBytes(item, start, length) ? length : -1;
}

bool VolumeStream::storedBytes(const VolumeItem &item, uint8_t *&start, int32_t &length) const {
    constexpr int64_t header = BlockStream::HeaderSize;
    if (!view || int64_t(item.offset) + header > viewSize)
        return false;
    int64_t stored = le::read32(view + item.offset + 4) & BlockStream::LengthMask;
    if (int64_t(item.offset) + header + stored > viewSize)
        return false;
    start = view + item.offset + header;
    length = int32_t(stored);
    return true;
}

void VolumeStream::buildIndexes() {
    sortIndexes();
}

void VolumeStream::sortIndexes() const {
    ensureItems();
    indexesStale = false;
    idIndex.setCount(0);
    nameIndex.setCount(0);
    // Both indexes hold at most one position per entry: reserving up front keeps the appends
    // from reallocating, and a failed reservation leaves the index empty rather than partial.
    if (!idIndex.reserve(items.size()) || !nameIndex.reserve(items.size()))
        return;
    for (int32_t i = 0; i < items.size(); ++i) {
        if (items[i].id != 0)
            idIndex.append(i);
        if (items[i].name)
            nameIndex.append(i);
    }
    // The comparisons capture this volume's table instead of going through a process-wide
    // context pointer, so sorts of different volumes on different threads share nothing and
    // need no lock. The sorts are not stable: equal keys end up in no defined order.
    const VolumeItem *table = items.data();
    std::sort(idIndex.begin(), idIndex.end(), [table](int a, int b) { return table[a].id < table[b].id; });
    std::sort(nameIndex.begin(), nameIndex.end(),
              [table](int a, int b) { return volume::compareNames(table[a].name, table[b].name) < 0; });
}

void VolumeStream::ensureIndexes() const {
    ensureItems();
    if (indexesStale)
        sortIndexes();
}

const Vector<int> &VolumeStream::sortedById() const {
    ensureIndexes();
    return idIndex;
}

const Vector<int> &VolumeStream::sortedByName() const {
    ensureIndexes();
    return nameIndex;
}

VolumeItem *VolumeStream::findById(uint32_t id) {
    ensureIndexes();
    int32_t low = 0;
    int32_t high = idIndex.size() - 1;
    while (low <= high) {
        int32_t middle = low + (high - low) / 2;
        VolumeItem &item = items[idIndex[middle]];
        if (item.id == id)
            return &item;
        if (item.id > id)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return nullptr;
}

VolumeItem *VolumeStream::findByName(const char *name) {
    ensureIndexes();
    if (!name)
        return nullptr;
    int32_t low = 0;
    int32_t high = nameIndex.size() - 1;
    while (low <= high) {
        int32_t middle = low + (high - low) / 2;
        VolumeItem &item = items[nameIndex[middle]];
        int order = volume::compareNames(name, item.name);
        if (order == 0)
            return &item;
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return nullptr;
}

bool VolumeStream::isWritablePath(const char *list, const char *path) {
    if (list[0] == '\0')
        return true;
    char copy[1024];
    std::snprintf(copy, sizeof copy, "%s", path);
    for (char *c = copy; *c; ++c)
        if (*c == '/')
            *c = '\\';

    const char *directory = ".";
    char *lastSeparator = std::strrchr(copy, '\\');
    if (lastSeparator) {
        *lastSeparator = '\0';
        directory = copy;
        bool underRoot = true;
        for (int32_t i = 0; i < rootDirectoryLength && underRoot; ++i)
            underRoot = volume::upper(uint8_t(copy[i])) == volume::upper(uint8_t(rootDirectory[i]));
        if (underRoot) {
            directory = copy + rootDirectoryLength;
            if (*directory == '\\')
                ++directory;
            if (*directory == '\0')
                directory = ".";
        }
    }

    size_t length = std::strlen(directory);
    for (const char *entry = list;;) {
        size_t i = 0;
        while (i < length && entry[i] &&
               volume::upper(uint8_t(entry[i])) == volume::upper(uint8_t(directory[i])))
            ++i;
        if (i == length && (entry[i] == ';' || entry[i] == '\0'))
            return true;
        entry = std::strchr(entry, ';');
        if (!entry)
            return false;
        ++entry;
    }
}

} // namespace qarvex
