// Fuzz target for volume files: the input becomes a volume file (volumes open by mapping a file),
// which is opened, its entry table walked, and every entry (stored, RLE or LZH) opened by name and
// by id and read: in pieces of varying sizes up to its size (at most 64 KiB, since sizes come from
// the file), then again after seeking back to the start and forward to the middle.
#include <qarvex/volume/VolumeRStream.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace qarvex;

namespace {

// The input as a file of its own, removed when this goes out of scope (a fuzzing run can end
// without running exit handlers, so nothing is left for the end).
class ScratchFile {
public:
    ScratchFile(const uint8_t *data, size_t size) {
        char pattern[] = "/tmp/qarvex-fuzz-volume-XXXXXX";
        int fd = ::mkstemp(pattern);
        if (fd < 0)
            std::abort();
        for (size_t done = 0; done < size;) {
            ssize_t written = ::write(fd, data + done, size - done);
            if (written <= 0)
                std::abort();
            done += size_t(written);
        }
        ::close(fd);
        path = pattern;
    }
    ~ScratchFile() { ::unlink(path.c_str()); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    std::string path;
};

// Decoding is the slow part: at most this much per entry (enough for the LZH model to halve its
// counts), and per input all told. An input of a few kilobytes can hold thousands of entries that
// share one coded block, so the total is what keeps every input quick.
constexpr int64_t EntryReadLimit = 1 << 16;
constexpr int64_t InputReadLimit = 1 << 17;

void readEntry(VolumeRStream &volume, uint32_t seed, int64_t &budget) {
    uint8_t buffer[4096];
    int64_t size = volume.getEntrySize() < EntryReadLimit ? volume.getEntrySize() : EntryReadLimit;
    if (size < 0)
        size = 0; // sizes come from the file; a negative one is still refused below
    // The reads decode `size` bytes; the seeks below decode up to half of it again.
    if (size + size / 2 > budget)
        size = budget * 2 / 3;
    budget -= size + size / 2;
    for (int64_t left = size; left > 0;) {
        seed = seed * 1103515245u + 12345u;
        int64_t piece = 1 + (seed >> 16) % sizeof buffer;
        int32_t count = int32_t(left < piece ? left : piece);
        if (!volume.read(count, buffer))
            break;
        left -= count;
    }
    // Backwards restarts the decoders from the first coded byte; forwards decodes and discards.
    if (volume.setPosition(0))
        volume.read(int32_t(size < 64 ? size : 64), buffer);
    if (volume.setPosition(int32_t(size / 2)))
        volume.read(int32_t(size - size / 2 < 64 ? size - size / 2 : 64), buffer);
    if (volume.read(volume.getEntrySize() < 0 ? volume.getEntrySize() : -1, buffer))
        std::abort(); // a negative count reads nothing
    volume.query(StreamIO::QueryKind);
    volume.getPosition();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ScratchFile file(data, size);
    VolumeRStream volume; // closed before the file is removed
    volume.open(file.path.c_str());
    int64_t budget = InputReadLimit;
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
                readEntry(volume, uint32_t(i), budget);
            volume.entrySizeByName(item.name); // any value: sizes come from the file
        }
        if (volume.openEntryById(item.id))
            readEntry(volume, item.id, budget);
        volume.entrySizeById(item.id);
    }
    volume.close();
    if (volume.getStatus() == StreamIO::Ok)
        std::abort(); // a closed entry must not stay readable
    return 0;
}
