// VolumeRStream: opening entries by record, name or id, and reading them through the volume.
#include "code/VolumeRStream.h"

#include <cstdio>

VolumeRStream::VolumeRStream() {
    writable = 0;
}

VolumeRStream::~VolumeRStream() {
    closeVolume();
    for (int32_t i = 0; i < searchPaths.size(); ++i) {
        SearchPathA *record = searchPaths.at(i);
        delete[] record->extension;
        delete[] record->directories;
        delete record;
    }
}

int32_t VolumeRStream::getPosition() {
    return current ? current->getPosition() : 0;
}

bool VolumeRStream::setPosition(int32_t position) {
    return current ? current->setPosition(position) : false;
}

int32_t VolumeRStream::query(int32_t code) {
    return current ? current->query(code) : 0;
}

bool VolumeRStream::write(int32_t, const void *) {
    return false;
}

bool VolumeRStream::read(int32_t count, void *buffer) {
    return current ? current->read(count, buffer) : false;
}

void VolumeRStream::close() {
    entrySize = 0;
    if (current)
        current->close();
}

bool VolumeRStream::openItem(VolumeItem *item) {
    close();
    if (!item)
        return false;
    // Checked before memStream is re-attached, so that a refused entry leaves nothing readable.
    uint8_t *stored = nullptr;
    int32_t length = 0;
    if (!storedBytes(*item, stored, length))
        return false; // the data block is not wholly inside the file
    if (item->compression != Stored)
        return false; // RLE (1) and LZH (3) need their decoders; no other code is defined
    memStream.attach(length, stored);
    current = &memStream;
    entrySize = item->size;
    return current->getStatus() == Ok;
}

bool VolumeRStream::openEntry(const char *name, bool preferFiles) {
    if (preferFiles)
        return openFromDirectories(name) || openItem(findByName(name));
    return openItem(findByName(name)) || openFromDirectories(name);
}

bool VolumeRStream::openEntryById(uint32_t id) {
    char fileName[12];
    return openFromDirectories(idFileName(id, fileName)) || openItem(findById(id));
}

StreamIO *VolumeRStream::openEntryStream(const char *name, bool preferFiles) {
    return openEntry(name, preferFiles) ? current : nullptr;
}

StreamIO *VolumeRStream::openEntryStreamById(uint32_t id) {
    return openEntryById(id) ? current : nullptr;
}

int32_t VolumeRStream::entrySizeByName(const char *name) {
    int32_t size = sizeInDirectories(name);
    if (size >= 0)
        return size;
    return VolumeStream::entrySizeByName(name);
}

int32_t VolumeRStream::entrySizeById(uint32_t id) {
    char fileName[12];
    int32_t size = sizeInDirectories(idFileName(id, fileName));
    if (size >= 0)
        return size;
    return VolumeStream::entrySizeById(id);
}

char *VolumeRStream::idFileName(uint32_t id, char *buffer) {
    std::snprintf(buffer, 11, "%08X.*", unsigned(id));
    return buffer;
}

bool VolumeRStream::openFromDirectories(const char *) {
    return false;
}

int32_t VolumeRStream::sizeInDirectories(const char *) {
    return -1;
}
