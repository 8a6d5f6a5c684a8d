// Helpers for volume tests: volume images put together from readable parts (header, block,
// record, name list) and a scratch directory to write them to, since volumes open from files.
#pragma once

#include <qarvex/core/LittleEndian.h>
#include <qarvex/volume/VolumeRStream.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qarvex {

namespace fixture {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes word(uint32_t value) {
    Bytes out(4);
    le::write32(out.data(), value);
    return out;
}

// A file header: magic and directory offset.
inline Bytes header(const char (&magic)[5], uint32_t directoryOffset) {
    return text(std::string_view(magic, 4)) + word(directoryOffset);
}

// A block: tag, size word, data, then zero padding to 2 (or to 4 with bit 31 of the size word).
inline Bytes block(const char (&tag)[5], uint32_t sizeWord, const Bytes &data) {
    Bytes out = text(std::string_view(tag, 4)) + word(sizeWord) + data;
    size_t unit = (sizeWord & 0x80000000u) ? 4 : 2;
    while ((out.size() - 8) % unit != 0)
        out.push_back(0);
    return out;
}
inline Bytes block(const char (&tag)[5], const Bytes &data) {
    return block(tag, uint32_t(data.size()), data);
}

// A 17-byte entry record.
inline Bytes record(uint32_t id, uint32_t nameOffset, uint32_t offset, int32_t size,
                    uint8_t compression = 0) {
    return word(id) + word(nameOffset) + word(offset) + word(uint32_t(size)) + Bytes{compression};
}

// NUL-terminated names, one after the other, as the string block holds them.
inline Bytes names(std::initializer_list<std::string_view> list) {
    Bytes out;
    for (std::string_view name : list)
        out = out + text(name) + Bytes{0};
    return out;
}

// The 62-byte volume with one entry, a.txt (id 1), holding "hello".
inline Bytes minimalVolume() {
    return header("PVOL", 22) + block("DATA", text("hello")) + block("vols", names({"a.txt"})) +
           block("voli", record(1, 0, 8, 5));
}

// A fresh temporary directory, removed with its contents afterwards.
class Scratch {
public:
    Scratch() {
        // A name nobody holds yet: creating a directory that exists fails, so try another.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && root.empty(); ++attempt) {
            auto candidate =
                std::filesystem::temp_directory_path() / ("qarvex-volumes-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                root = candidate;
        }
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;

    std::string path(const std::string &name) const { return (root / name).string(); }
    std::string write(const std::string &name, const Bytes &bytes) const {
        std::string where = path(name);
        std::filesystem::create_directories(std::filesystem::path(where).parent_path());
        std::ofstream out(where, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return where;
    }
    const std::filesystem::path &directory() const { return root; }

private:
    std::filesystem::path root;
};

// A volume whose member streams a test may look at, to tell which of them is attached.
class InspectedVolume : public VolumeRStream {
public:
    bool rleAttached() const { return decoderFor(*EntryMethod::find(RLE))->isAttached(); }
    bool lzhAttached() const { return decoderFor(*EntryMethod::find(LZH))->isAttached(); }
    const StreamIO *memory() const { return &memStream; }
    const StreamIO *file() const { return &fileStream; }
};

} // namespace fixture

} // namespace qarvex
