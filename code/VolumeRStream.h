// VolumeRStream: the volume class that opens entries. An entry is found by name or id in the open
// volume (or, once search paths are filled in, as a loose file on disk) and then read through the
// volume object itself, or through the inner stream that openEntryStream hands out.
#pragma once

#include "code/VolumeStream.h"
#include "core/Vector.h"
#include "stream/FileRStream.h"

class VolumeRStream : public VolumeStream {
public:
    // One search-path record: the extension it serves (null: every extension) and the
    // ";"-separated directories that may hold loose files in place of entries.
    struct SearchPathA {
        char *extension;
        char *directories;
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

    // Opens one record of the open volume as the current entry; null gives false.
    bool openItem(VolumeItem *item);

    // The name that stands for an id on disk: eight upper-case hex digits, ".*". Needs 11 bytes.
    static char *idFileName(uint32_t id, char *buffer);

protected:
    // The directory probes. Their table starts empty and nothing fills it yet, and with it empty
    // every probe misses without touching the disk.
    bool openFromDirectories(const char *name);
    int32_t sizeInDirectories(const char *name);

    FileRStream fileStream;
    VectorPtr<SearchPathA *> searchPaths{5};
};
