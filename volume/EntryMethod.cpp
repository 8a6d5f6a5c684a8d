// EntryMethod: the table of entry methods and the coders behind its rows.
#include <qarvex/volume/EntryMethod.h>

#include <qarvex/stream/LZHEncoder.h>
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/RLEEncoder.h>
#include <qarvex/stream/RLERStream.h>
#include <qarvex/volume/VolumeStream.h>

#include <new>

namespace qarvex {

namespace {

template <class Stream> std::unique_ptr<DecodingRStream> makeStream() {
    return std::unique_ptr<DecodingRStream>(new (std::nothrow) Stream);
}

// Codes through the function `code` into room for `most` bytes, then keeps what it used.
template <class Code> bool encodeInto(std::vector<uint8_t> &coded, int32_t most, const Code &code) {
    if (most < 0)
        return false;
    coded.resize(size_t(most));
    int32_t used = code(coded.data());
    if (used < 0)
        return false;
    coded.resize(size_t(used));
    return true;
}

bool encodeRLE(const uint8_t *bytes, size_t count, std::vector<uint8_t> &coded) {
    if (count > size_t(INT32_MAX))
        return false;
    int32_t size = int32_t(count);
    return encodeInto(coded, RLEEncoder::maxEncodedSize(size),
                      [&](uint8_t *out) { return RLEEncoder::encode(bytes, size, out); });
}

bool encodeLZH(const uint8_t *bytes, size_t count, std::vector<uint8_t> &coded) {
    if (count > size_t(INT32_MAX))
        return false;
    int32_t size = int32_t(count);
#ifdef _WIN32
    // MinGW-w64's thread_local objects crash processes whose threads code at the same time: one
    // coder per entry there.
    LZHEncoder lzh;
#else
    // Its tables are large: one coder per thread serves every entry that thread writes.
    thread_local LZHEncoder lzh;
#endif
    return encodeInto(coded, LZHEncoder::maxEncodedSize(size),
                      [&](uint8_t *out) { return lzh.encode(bytes, size, out); });
}

constexpr EntryMethod methods[] = {
    {VolumeStream::Stored, "stored", nullptr, nullptr},
    {VolumeStream::RLE, "rle", makeStream<RLERStream>, encodeRLE},
    {VolumeStream::LZH, "lzh", makeStream<LZHRStream>, encodeLZH},
};

} // namespace

std::span<const EntryMethod> EntryMethod::all() {
    return methods;
}

const EntryMethod *EntryMethod::find(uint8_t code) {
    for (const EntryMethod &method : methods)
        if (method.code == code)
            return &method;
    return nullptr;
}

} // namespace qarvex
