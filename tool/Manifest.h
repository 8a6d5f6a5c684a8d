// Manifest: what -x left in a folder, so that -u can tell edited files from untouched ones without
// decoding the volume. It is the hidden text file ".qarvex-manifest" at the top of the folder:
//   qarvex manifest 1
//   <size> <checksum> <modified> <entry name>
// one line per extracted entry: the decoded size in bytes, the 64-bit FNV-1a checksum of the
// decoded bytes (16 hexadecimal digits), the file's modification time as -x left it (the file
// system's clock, in its own units) and the entry's name with its '\' separators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace qarvex {

namespace tool {

// The 64-bit FNV-1a checksum, fed in pieces.
class Checksum {
public:
    void add(const uint8_t *bytes, size_t count);
    uint64_t value() const { return hash; }

private:
    uint64_t hash = 0xCBF29CE484222325ull;
};

uint64_t checksumOf(const uint8_t *bytes, size_t count);

class Manifest {
public:
    static constexpr const char *FileName = ".qarvex-manifest";

    struct Line {
        int64_t size = 0;
        uint64_t checksum = 0;
        int64_t modified = 0;
    };

    // Reads the manifest of folder; false (and empty) when there is none or it is not one.
    bool load(const std::string &folder);
    // Writes it into folder under a temporary name first; false when that failed.
    bool save(const std::string &folder) const;

    void record(const std::string &entryName, const Line &line);
    const Line *find(const std::string &entryName) const;
    bool empty() const { return lines.empty(); }

private:
    std::map<std::string, Line> lines;        // by name key (letter case aside, as the volume tells names)
    std::map<std::string, std::string> names; // name key -> the name as recorded
};

// The modification time of the file at path in the file system's own units; none when it cannot
// be read.
std::optional<int64_t> modificationTime(const std::string &path);

// The path of the file that the entry called name goes to below folder; none when extraction
// refuses the name.
std::optional<std::string> pathBelow(const std::string &folder, const char *name);

} // namespace tool

} // namespace qarvex
