// VolumeRStream: the volume class that opens entries. An entry is found by name or id in the open
// volume or as a loose file in the search directories, and then read through the volume object
// itself, or through the inner stream that openEntryStream hands out.
// Threads: one thread at a time per object. Lookups in search directories change the process's current
// directory, so only one thread at a time may use them.
#pragma once

#include <qarvex/core/Vector.h>
#include <qarvex/stream/FileRStream.h>
#include <qarvex/volume/VolumeStream.h>

#include <optional>
#include <string>
#include <vector>

namespace qarvex {

class VolumeRStream : public VolumeStream {
public:
    // One search-path record: the extension it serves (null: every extension) and the
    // ";"-separated directories that may hold loose files in place of entries.
    struct SearchPathA {
        std::optional<std::string> extension; // none: every extension
        std::string directories;
    };

    VolumeRStream();
    ~VolumeRStream() override;

    // Slots 2 to 9: forwarded to the stream of the open entry.
    int32_t getPosition() override;
    bool setPosition(int32_t position) override;
    int32_t query(int32_t code) override;
    bool write(int32_t count, const void *buffer) override;
    bool read(int32_t count, void *buffer) override;
    void close() override;

    // Slots 12 to 17.
    bool openEntry(const char *name, bool preferFiles) override;
    bool openEntryById(uint32_t id) override;
    StreamIO *openEntryStream(const char *name, bool preferFiles) override;
    StreamIO *openEntryStreamById(uint32_t id) override;
    int32_t entrySizeByName(const char *name) override;
    int32_t entrySizeById(uint32_t id) override;

    // Opens one record of the open volume as the current entry; null gives false. Stored entries
    // are read through memStream, the others through their method's decoding stream.
    bool openItem(const VolumeItem *item);

    // The name that stands for an id on disk: eight upper-case hex digits, ".*". Needs 11 bytes.
    static char *idFileName(uint32_t id, char *buffer);

    // Appends a search-path record: loose files with this extension (without the dot; a leading
    // dot is ignored; "*" serves ids; null serves every extension) are looked for in the
    // ";"-separated directories, an empty element standing for the current directory. The strings
    // are copied. False, with the table unchanged, when memory runs out or directories is null.
    bool addSearchPath(const char *extension, const char *directories);
    int32_t searchPathCount() const { return int32_t(searchPaths.size()); }

    // The directory list of the first record serving the name's extension (the text after its
    // last dot), or null: names without an extension are never looked for on disk.
    const char *directoriesFor(const char *name) const;
    // Looks for name in those directories, in list order, and opens the first plain file found as
    // the current entry. A relative path inside name is taken relative to each directory.
    bool openFromDirectories(const char *name);
    // The size (low 32 bits) of the file that openFromDirectories would open, or -1.
    int32_t sizeInDirectories(const char *name) const;

protected:
    // Where the directory probes found a plain file of that name, and its size.
    bool findInDirectories(const char *name, std::string &path, int64_t &size) const;

    FileRStream fileStream;
    std::vector<SearchPathA> searchPaths;
};

} // namespace qarvex
