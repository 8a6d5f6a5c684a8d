// Fuzz target for search-path lookups: the input is a list of lines, each one operation on a
// VolumeRStream that holds a small volume (stored, RLE and LZH entries) and looks for loose files
// in a small scratch directory tree:
//   R<extension>|<directories>   append a record ("-" as the extension: every extension)
//   N<name> / F<name>            open by name, the volume first / the files first, and size it
//   I<eight hex digits>          open by id and size it
// Names and directories stay inside the scratch tree (no roots, few ".."), so that probes never
// wander over the machine. Checked: a probe never moves the current directory, an open loose file
// has the size that sizeInDirectories reports, and whatever opens can be read to its size.
#include <qarvex/volume/VolumeRStream.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h> // mkdtemp

using namespace qarvex;

namespace fs = std::filesystem;

namespace {

// The tree sits this many directories below the scratch directory, deeper than the ".." that any
// name and directory element may climb together.
constexpr int Nesting = 8;
constexpr int MostClimbs = 3;
constexpr int MostRecords = 8;
constexpr int MostOperations = 64;

void writeFile(const fs::path &path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The block of an entry, a string block and an item block; see the volume format.
std::string block(const char *tag, std::string_view data) {
    std::string out(tag, 4);
    uint32_t size = uint32_t(data.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(char(size >> (8 * i)));
    out.append(data);
    if (data.size() % 2)
        out.push_back('\0');
    return out;
}

std::string word(uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(char(value >> (8 * i)));
    return out;
}

std::string sampleVolume() {
    static const unsigned char hello[] = {0xFA, 0x7C, 0x7F, 0x18, 0x7F, 0xBD, 0xC4, 0xB0, 0x1B,
                                          0x58, 0x07, 0x85, 0xFE, 0xBD, 0xF0, 0xCB, 0x00};
    struct Entry {
        uint32_t id;
        const char *name;
        int32_t size;
        uint8_t compression;
        std::string stored;
    } entries[] = {
        {255, "x.pbm", 11, 0, "from volume"},
        {7, "v.pbm", 3, 1,
         "\x83"
         "A"},
        {42, "h.txt", 26, 3, // LZH-coded text
         std::string(reinterpret_cast<const char *>(hello), sizeof hello)},
    };
    std::string data, names, records;
    for (const Entry &e : entries) {
        uint32_t offset = uint32_t(8 + data.size());
        records += word(e.id) + word(uint32_t(names.size())) + word(offset) + word(uint32_t(e.size));
        records.push_back(char(e.compression));
        names += std::string(e.name) + '\0';
        data += block("DATA", e.stored);
    }
    return "PVOL" + word(uint32_t(8 + data.size())) + data + block("vols", names) + block("voli", records);
}

// The scratch tree, made once per process and removed when the process ends normally (a run that
// crashes leaves its few kilobytes behind, beside the crash it reports). Probes only read it, so
// every input sees the same tree; making it afresh for each cost more than the probes themselves.
class Tree {
public:
    Tree() {
        // In memory where there is such a file system.
        char inMemory[] = "/dev/shm/qarvex-fuzz-search-XXXXXX";
        char onDisk[] = "/tmp/qarvex-fuzz-search-XXXXXX";
        const char *made = ::mkdtemp(inMemory);
        if (!made)
            made = ::mkdtemp(onDisk);
        if (!made)
            std::abort();
        scratch = made;
        root = scratch;
        for (int i = 0; i < Nesting; ++i)
            root /= "n" + std::to_string(i);
        writeFile(root / "a" / "x.pbm", "from a");
        writeFile(root / "a" / "sub" / "Y.pbm", "nested");
        writeFile(root / "b" / "X.PBM", "from b!!");
        writeFile(root / "b" / "only.dat", "only in b");
        writeFile(root / "b" / "README", "no extension");
        fs::create_directories(root / "c" / "x.pbm");
        writeFile(root / "ids" / "000000ff.dat", "id ff");
        writeFile(root / "ids" / "0000002A.txt", "forty-two");
        fs::create_directories(root / "ids" / "00000007.d");
        writeFile(root / "x.pbm", "from the root");
        volume = (root / "s.vol").string();
        writeFile(volume, sampleVolume());
    }
    ~Tree() {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }

    fs::path scratch;
    fs::path root;
    std::string volume;
};

// The tree's root is the current directory while an input runs (the probes take relative elements
// and names from it); the fuzzer's own relative paths need the directory back afterwards.
class InTree {
public:
    explicit InTree(const Tree &tree) : saved(fs::current_path()) { fs::current_path(tree.root); }
    ~InTree() {
        std::error_code ignored;
        fs::current_path(saved, ignored);
    }
    InTree(const InTree &) = delete;
    InTree &operator=(const InTree &) = delete;

private:
    fs::path saved;
};

// Keeps a fuzz-chosen path inside the tree: no root, no drive, at most a few "..".
std::string contained(std::string_view text) {
    std::string out(text.substr(0, 512));
    size_t start = 0;
    while (start < out.size() && (out[start] == '/' || out[start] == '\\' || out[start] == ':'))
        ++start;
    out.erase(0, start);
    int climbs = 0;
    for (size_t at = 0; (at = out.find("..", at)) != std::string::npos; at += 2)
        ++climbs;
    return climbs > MostClimbs ? std::string() : out;
}

std::string containedList(std::string_view text) {
    std::string out;
    for (size_t start = 0;;) {
        size_t end = text.find(';', start);
        out += contained(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return out;
        out += ';';
        start = end + 1;
    }
}

void readOpenEntry(VolumeRStream &volume) {
    char buffer[4096];
    int32_t size = volume.getEntrySize();
    // Everything in the tree and the volume is small, and reads back whole.
    if (size < 0 || size > int32_t(sizeof buffer) || !volume.read(size, buffer))
        std::abort();
}

void checkDirectoryUnchanged(const std::string &before) {
    std::error_code error;
    if (fs::current_path(error).string() != before)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const Tree t;
    InTree inside(t);
    const std::string here = fs::current_path().string();
    VolumeRStream volume;
    if (!volume.open(t.volume.c_str()))
        std::abort();

    std::string_view input(reinterpret_cast<const char *>(data), size);
    int records = 0;
    for (int operation = 0; operation < MostOperations && !input.empty(); ++operation) {
        size_t end = input.find('\n');
        std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        if (line.empty())
            continue;
        std::string argument = contained(line.substr(1));
        switch (line[0]) {
        case 'R': {
            if (records == MostRecords)
                break;
            std::string_view rest = line.substr(1);
            size_t bar = rest.find('|');
            std::string extension(rest.substr(0, bar));
            std::string directories =
                bar == std::string_view::npos ? "" : containedList(rest.substr(bar + 1));
            if (!volume.addSearchPath(extension == "-" ? nullptr : extension.c_str(), directories.c_str()))
                std::abort();
            ++records;
            break;
        }
        case 'N':
        case 'F': {
            const char *name = argument.c_str();
            int32_t onDisk = volume.sizeInDirectories(name);
            if (volume.openFromDirectories(name)) {
                if (volume.getEntrySize() != onDisk || !volume.directoriesFor(name))
                    std::abort();
                readOpenEntry(volume);
            }
            if (volume.openEntry(name, line[0] == 'F'))
                readOpenEntry(volume);
            volume.entrySizeByName(name);
            break;
        }
        case 'I': {
            uint32_t id = uint32_t(std::strtoul(std::string(line.substr(1, 8)).c_str(), nullptr, 16));
            if (volume.openEntryById(id))
                readOpenEntry(volume);
            volume.entrySizeById(id);
            break;
        }
        default:
            break;
        }
        checkDirectoryUnchanged(here);
    }
    volume.close();
    volume.closeVolume();
    return 0;
}
