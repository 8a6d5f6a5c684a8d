// VolumeBuilder: lays out a volume file from a list of entries. Entry data blocks come first,
// then the directory: the string block "vols" and the item block "voli" (preceded, in the " VOL"
// variant, by an empty pair that readers pass over). Used by the tests and to make the examples.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class VolumeBuilder {
public:
    enum class Variant {
        PVOL,   // "PVOL"
        OldVOL, // " VOL"
    };

    struct Entry {
        uint32_t id = 0;                 // 0: no id
        std::optional<std::string> name; // none: no name
        int32_t size = 0;                // bytes a reader of the entry receives
        uint8_t compression = 0;         // 0 stored, 1 RLE, 3 LZH
        std::vector<uint8_t> stored;     // the bytes in the file (coded when compressed)
    };

    // An entry stored as is. A null name makes an entry without a name.
    void add(uint32_t id, const char *name, std::string_view bytes);
    // An entry whose stored bytes are already coded; size is its decoded length.
    void addCoded(uint32_t id, const char *name, int32_t size, uint8_t compression,
                  std::vector<uint8_t> stored);

    const std::vector<Entry> &entries() const { return list; }

    // The whole file. Empty when the volume would not fit the format's 32-bit offsets.
    std::vector<uint8_t> build(Variant variant) const;
    bool writeFile(const char *path, Variant variant) const;

private:
    std::vector<Entry> list;
};
