// VolumeStream: a volume file opened by mapping it whole, its directory (names and entry records)
// and two sorted indexes over the entries. Once an entry is open the object reads as a stream
// over it; opening entries is the business of the derived VolumeRStream.
//
// File layout: "PVOL" or " VOL", a 32-bit directory offset, entry data blocks, and at the
// directory offset the blocks "vols" (NUL-terminated names) and "voli" (17-byte records). A " VOL"
// directory starts with one more "vols"/"voli" pair that readers pass over.
//
// Threads: one object serves one thread at a time (its queries fill tables on first use). Once
// entries() has been called, and while no thread opens, closes or reads entries through the object,
// any number of threads may call entries(), entry(), entryCount(), entryName(), storedData(),
// storedLength() and dataInsideFile(), and read entries through EntryReaders of their own.
#pragma once

#include <qarvex/core/LittleEndian.h>
#include <qarvex/core/Vector.h>
#include <qarvex/platform/Platform.h>
#include <qarvex/stream/DecodingRStream.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/StreamIO.h>
#include <qarvex/volume/EntryMethod.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qarvex {

// One entry record. In the file it is 17 packed bytes (id, name offset, data offset, size,
// compression); in memory the name offset is widened to a pointer into the loaded string block.
struct VolumeItem {
    static constexpr int32_t RecordSize = 17;
    static constexpr uint32_t NoName = 0xFFFFFFFFu;

    uint32_t id;      // 0: the entry has no id
    const char *name; // inside the volume's string block, or null: the entry has no name
    uint32_t offset;  // file offset of the entry's data block
    int32_t size;     // bytes a reader of the entry receives
    uint8_t compression;
};

class VolumeStream : public StreamIO {
public:
    static constexpr uint32_t MagicPVOL = le::tag("PVOL");
    static constexpr uint32_t MagicVOL = le::tag(" VOL");
    static constexpr uint32_t StringBlockTag = le::tag("vols");
    static constexpr uint32_t ItemBlockTag = le::tag("voli");

    // The codes of the rows of EntryMethod's table.
    enum Compression : uint8_t { Stored = 0, RLE = 1, LZH = 3 };

    // Why the last open failed; open itself answers only true or false.
    enum class OpenError {
        None,
        CannotOpen, // missing, unreadable or not mappable
        EmptyFile,
        NotAVolume,       // wrong magic
        DamagedDirectory, // missing or cut blocks, names outside the string block, ...
        TooLarge,         // larger than MaxFileSize
    };
    // The largest file that opens as a volume: what the streams' 32-bit positions reach, and the
    // most that VolumeWriter writes.
    static constexpr int64_t MaxFileSize = INT32_MAX;

    // The check that openFile applies before a file is opened for writing, and its settings:
    // a ";"-separated list of directories (null: every path may be written) and a root that
    // paths may start with. Nothing in the library changes them; callers may.
    static const char *writableDirectories;
    static char rootDirectory[1024];
    static int32_t rootDirectoryLength;
    static bool isWritablePath(const char *list, const char *path);

    VolumeStream();
    ~VolumeStream() override;

    // Slots 0 to 11.
    int32_t getStatus() override;
    void *getDataPointer() override;
    void close() override = 0;

    // Slots 12 to 17.
    virtual bool openEntry(const char *name, bool preferFiles) = 0;
    virtual bool openEntryById(uint32_t id) = 0;
    virtual StreamIO *openEntryStream(const char *name, bool preferFiles);
    virtual StreamIO *openEntryStreamById(uint32_t id);
    virtual int32_t entrySizeByName(const char *name);
    virtual int32_t entrySizeById(uint32_t id);

    // Releases any volume held, then opens, maps and loads the one at path. True when both
    // directory blocks were found intact; on a damaged directory whatever could be loaded safely
    // stays available.
    bool open(const char *path);
    bool closeVolume();
    bool openFile(const char *path);
    void closeFile();
    bool mapFile(int32_t size);
    void unmapFile();
    // Rebuilds and sorts both indexes from the entry table.
    void buildIndexes();

    VolumeItem *findById(uint32_t id);
    VolumeItem *findByName(const char *name);

    OpenError lastOpenError() const { return openError; }
    // The entry table in file order.
    const Vector<VolumeItem> &entries() const;
    // The record at index in the entry table (0 <= index < entryCount()).
    const VolumeItem &entry(int32_t index) const { return entries()[index]; }
    // The same walk without the decoded table: the count and each entry's name (null: none),
    // read straight from the records in the mapped file.
    int32_t entryCount() const { return recordCount; }
    const char *entryName(int32_t index) const;
    // Positions in the entry table, sorted by id and by name.
    const Vector<int> &sortedById() const;
    const Vector<int> &sortedByName() const;
    // The length of the entry's stored data (its data block's length), or -1 when the block does
    // not lie wholly inside the file.
    int32_t storedLength(const VolumeItem &item) const;
    bool dataInsideFile(const VolumeItem &item) const { return storedLength(item) >= 0; }
    // The entry's stored bytes (coded when compressed) where they lie in the mapped file: valid
    // while the volume stays open; empty when they do not lie wholly inside the file.
    std::span<const uint8_t> storedData(const VolumeItem &item) const;
    // True when the open volume is of the " VOL" variant.
    bool isOldVariant() const { return oldVariant; }
    // How the entry's bytes are kept, or null when its compression code has no method.
    static const EntryMethod *method(const VolumeItem &item) { return EntryMethod::find(item.compression); }
    int32_t getStringBlockSize() const { return stringBlockSize; }
    const char *getStringBlock() const { return stringBlock; }
    int32_t getEntrySize() const { return entrySize; }
    StreamIO *currentStream() const { return current; }

protected:
    // The entry's stored bytes inside the mapped file, or false when they are not all there.
    bool storedBytes(const VolumeItem &item, uint8_t *&start, int32_t &length) const;
    // The stream that decodes entries kept by method (null for stored bytes, or when it could not
    // be made).
    DecodingRStream *decoderFor(const EntryMethod &method) const;

    int32_t entrySize = 0;
    StreamIO *current = nullptr;
    MemRWStream memStream;
    uint8_t writable = 0;

private:
    bool loadDirectory(bool oldVariant);
    bool loadStringBlock(class BlockRStream &block);
    bool loadItemBlock(class BlockRStream &block);
    void ensureIndexes() const;
    void sortIndexes() const;
    bool fails(OpenError why);
    const char *nameAt(uint32_t nameOffset) const;
    void ensureItems() const;
    void keepDirectoryOffView();

    int32_t directoryOffset = 4;
    int32_t stringBlockSize = 0;
    // The names: read in place from the mapped view, or from stringCopy when the block's last
    // name lacks its terminator and needs one added.
    const char *stringBlock = nullptr;
    std::unique_ptr<char[]> stringCopy;
    // Filled and sorted on first use, by const queries as well.
    mutable Vector<VolumeItem> items{5};
    mutable Vector<int> idIndex{5};
    mutable Vector<int> nameIndex{5};
    uint8_t *view = nullptr;
    std::intptr_t mapping = 0;
    platform::FileHandle fileHandle = platform::InvalidFile;
    // One decoding stream per row of EntryMethod::all(), attached over memStream for the entries
    // kept that way. Each is made when the first such entry opens and kept, so that the LZH window
    // and model tables come into being once per volume, and not at all for volumes whose entries
    // are only listed.
    mutable std::vector<std::unique_ptr<DecodingRStream>> decoders;
    int32_t viewSize = 0;
    bool oldVariant = false; // the open volume is a " VOL" one
    // The item block's records inside the view. The table is allocated when the volume opens but
    // filled from them on first use, and the indexes are sorted on first use: a caller that only
    // walks the names (the search tool) never pays for either.
    const uint8_t *records = nullptr;
    int32_t recordCount = 0;
    mutable bool itemsStale = false;
    mutable bool indexesStale = false;
    OpenError openError = OpenError::None;
};

} // namespace qarvex
