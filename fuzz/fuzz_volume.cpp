// Fuzz target for volume files: the input becomes a volume file (volumes open by mapping a file),
// which is opened, its entry table walked, and every entry opened by name and by id and read to
// its size.
#include "code/VolumeRStream.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string &scratchFile() {
    static const std::string path = [] {
        char pattern[] = "/tmp/qarvex-fuzz-volume-XXXXXX";
        int fd = ::mkstemp(pattern);
        if (fd < 0)
            std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(scratchFile().c_str()); });
        return std::string(pattern);
    }();
    return path;
}

void readToSize(VolumeRStream &volume) {
    uint8_t buffer[4096];
    for (int64_t left = volume.getEntrySize(); left > 0;) {
        int32_t count = left < int64_t(sizeof buffer) ? int32_t(left) : int32_t(sizeof buffer);
        if (!volume.read(count, buffer))
            break;
        left -= count;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &path = scratchFile();
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);

    VolumeRStream volume;
    volume.open(path.c_str());
    const Vector<VolumeItem> &table = volume.entries();
    if (table.size() != volume.entryCount())
        std::abort();
    for (int32_t i = 0; i < table.size(); ++i) {
        if (volume.entryName(i) != table[i].name)
            std::abort();
        // Copied: the lookups below must not depend on the record staying where it is.
        VolumeItem item = table[i];
        if (item.name) {
            if (volume.openEntry(item.name, false))
                readToSize(volume);
            volume.entrySizeByName(item.name); // any value: sizes come from the file
        }
        if (volume.openEntryById(item.id))
            readToSize(volume);
        volume.entrySizeById(item.id);
    }
    volume.close();
    return 0;
}
