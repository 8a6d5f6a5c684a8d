// VolumeWriter: lays out and writes a volume file. Entry data blocks come first, each an 8-byte
// block header and the stored bytes padded to an even length; then the directory: the string
// block "vols" (NUL-terminated names) and the item block "voli" (17-byte records), preceded in
// the " VOL" variant by an empty pair that readers pass over. Every offset is known before the
// first byte goes out, so the file is written front to back in one pass.
// Threads: the functions keep no shared state (the LZH coder is one per thread); any thread may call them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qarvex {

class VolumeWriter {
public:
    enum class Variant {
        PVOL,   // "PVOL"
        OldVOL, // " VOL"
    };

    struct Entry {
        uint32_t id = 0;                 // 0: no id
        std::optional<std::string> name; // none: no name; folders separated by '\'
        int32_t size = 0;                // bytes a reader of the entry receives (written as given)
        uint8_t compression = 0;         // 0 stored, 1 RLE, 3 LZH
        std::vector<uint8_t> stored;     // the bytes in the file (coded when compressed)
        // Or, with stored left empty, bytes the caller holds until the writing is done: a volume
        // rewritten from another takes the old entries' bytes without a copy of each.
        const uint8_t *heldElsewhere = nullptr;
        size_t heldElsewhereSize = 0;

        const uint8_t *storedData() const { return heldElsewhere ? heldElsewhere : stored.data(); }
        size_t storedSize() const { return heldElsewhere ? heldElsewhereSize : stored.size(); }
    };

    enum class Fault {
        None,
        TooLarge,    // the volume would not fit the format's 32-bit offsets
        BadEntry,    // a name holding a NUL, which would cut it and shift every later name
        CannotWrite, // the system refused
        Withdrawn,   // beforeRename withdrew the file: nothing was put in place
    };

    // How an entry's bytes are kept: as they are, RLE or LZH coded, or whichever of the three is
    // smallest (ties go to the one cheaper to read: stored, then RLE).
    enum class Method { Stored, RLE, LZH, Best };

    // An entry holding bytes kept by method. False when the bytes are too many for one entry.
    static bool makeEntry(uint32_t id, std::optional<std::string> name, const uint8_t *bytes, size_t count,
                          Method method, Entry &entry);

    // Receives the file's bytes in order; false stops the writing.
    using Sink = std::function<bool(const void *bytes, size_t count)>;

    // The length of the whole file, or -1 when it would not fit 32-bit offsets.
    static int64_t fileLength(const std::vector<Entry> &entries, Variant variant);
    // Hands the whole file to sink.
    static Fault write(const std::vector<Entry> &entries, Variant variant, const Sink &sink);
    // The whole file in memory; empty on any fault.
    static std::vector<uint8_t> build(const std::vector<Entry> &entries, Variant variant);
    // Writes the file at path under a temporary name in the same folder and renames it to path
    // only once it is complete: an existing file at path stays as it was unless this succeeds.
    // On CannotWrite, systemError (when given) receives the system's reason as platform::error.
    // beforeRename, when given, runs once the new file is complete and on the disk, just before it
    // takes the name: a caller whose entries hold bytes of the file being replaced lets go of it
    // there (some systems keep a mapped file from being replaced), and may find those bytes were
    // not sound after all: false withdraws the new file.
    static Fault writeFile(const char *path, const std::vector<Entry> &entries, Variant variant,
                           uint32_t *systemError = nullptr, const std::function<bool()> &beforeRename = {});
};

} // namespace qarvex
