// Shared helpers of the graphics tests: a growable in-memory stream to write into, a builder for
// byte-exact fixtures made of readable parts, and a reader stream over a byte vector.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <qarvex/core/LittleEndian.h>
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/StreamIO.h>

namespace qarvex {

// A stream over a growing byte vector; reads past the end fail with EndOfData.
class GrowStream : public StreamIO {
public:
    std::vector<uint8_t> bytes;

    int32_t getPosition() override { return position; }
    bool setPosition(int32_t to) override {
        if (status == EndOfData)
            status = Ok;
        if (status != Ok || to < 0)
            return false;
        position = to;
        return true;
    }
    bool write(int32_t count, const void *from) override {
        if (status != Ok)
            return false;
        if (bytes.size() < size_t(position) + size_t(count))
            bytes.resize(size_t(position) + size_t(count));
        if (count > 0)
            std::memcpy(bytes.data() + position, from, size_t(count));
        position += count;
        return true;
    }
    bool read(int32_t count, void *into) override {
        if (status != Ok)
            return false;
        if (size_t(position) + size_t(count) > bytes.size()) {
            status = EndOfData;
            return false;
        }
        if (count > 0)
            std::memcpy(into, bytes.data() + position, size_t(count));
        position += count;
        return true;
    }

private:
    int32_t position = 0;
};

// Builds file images from tags, little-endian words and raw bytes.
struct Bytes {
    std::vector<uint8_t> data;

    Bytes &tag(const char (&text)[5]) { return raw(text, 4); }
    Bytes &u32(uint32_t value) {
        uint8_t b[4];
        le::write32(b, value);
        return raw(b, 4);
    }
    Bytes &u16(uint16_t value) {
        uint8_t b[2];
        le::write16(b, value);
        return raw(b, 2);
    }
    Bytes &u8(uint8_t value) { return raw(&value, 1); }
    Bytes &fill(size_t count, uint8_t value) {
        data.insert(data.end(), count, value);
        return *this;
    }
    Bytes &raw(const void *from, size_t count) {
        auto p = static_cast<const uint8_t *>(from);
        data.insert(data.end(), p, p + count);
        return *this;
    }
    Bytes &add(const std::vector<uint8_t> &more) { return raw(more.data(), more.size()); }
    Bytes &chunk(const char (&name)[5], std::initializer_list<uint32_t> words) {
        tag(name).u32(uint32_t(4 * words.size()));
        for (uint32_t w : words)
            u32(w);
        return *this;
    }
};

// A memory stream reading the given bytes (which must outlive it).
struct Reader {
    MemRWStream stream;
    explicit Reader(std::vector<uint8_t> &bytes) { stream.attach(int32_t(bytes.size()), bytes.data()); }
};

inline uint32_t word(const std::vector<uint8_t> &bytes, size_t at) {
    return le::read32(bytes.data() + at);
}
inline std::string tagAt(const std::vector<uint8_t> &bytes, size_t at) {
    return std::string(reinterpret_cast<const char *>(bytes.data() + at), 4);
}

} // namespace qarvex
