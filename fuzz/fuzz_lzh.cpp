// Fuzz target for the LZH decompressing stream: arbitrary coded bytes, read in arbitrary pieces
// with seeks in between. The stream reads a memory source in place and any other source byte by
// byte; both must give the same bytes, results and source states, and a seek must land on the same
// bytes as reading there.
//
// The same bytes taken as plain data must come back from the encoder's stream.
//
// Input: one byte giving the number of script bytes (up to 32), the script, then the coded bytes.
// Each script byte is an operation: the top two bits pick read (small or large) or seek, the rest
// a size or a target.
#include <qarvex/stream/LZHEncoder.h>
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace qarvex;

namespace {

class ForwardingSource : public StreamIO {
public:
    explicit ForwardingSource(MemRWStream &inner) : inner(inner) {}
    int32_t getStatus() override { return inner.getStatus(); }
    bool read(int32_t count, void *buffer) override { return inner.read(count, buffer); }
    bool setPosition(int32_t position) override { return inner.setPosition(position); }
    int32_t getPosition() override { return inner.getPosition(); }

private:
    MemRWStream &inner;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    size_t scriptLength = data[0] % 33;
    if (size < 1 + scriptLength)
        return 0;
    const uint8_t *script = data + 1;
    std::vector<uint8_t> coded(data + 1 + scriptLength, data + size);

    MemRWStream direct;
    MemRWStream forwarded;
    direct.attach(int32_t(coded.size()), coded.data());
    forwarded.attach(int32_t(coded.size()), coded.data());
    ForwardingSource byteByByte(forwarded);
    static LZHRStream inPlace;
    static LZHRStream reference;
    inPlace.attach(&direct);
    reference.attach(&byteByByte);

    std::vector<uint8_t> a(70000), b(70000);
    for (size_t i = 0; i < scriptLength; ++i) {
        uint8_t op = script[i];
        int32_t argument = op & 0x3F;
        switch (op >> 6) {
        case 0: // small read, often ending inside a match
        case 1: {
            int32_t count = argument + (op >> 6) * 61;
            bool ra = inPlace.read(count, a.data());
            bool rb = reference.read(count, b.data());
            check(ra == rb);
            check(std::memcmp(a.data(), b.data(), size_t(ra ? count : 0)) == 0);
            break;
        }
        case 2: { // large read
            int32_t count = argument * 300 + 1;
            bool ra = inPlace.read(count, a.data());
            bool rb = reference.read(count, b.data());
            check(ra == rb);
            check(!ra || std::memcmp(a.data(), b.data(), size_t(count)) == 0);
            break;
        }
        default: { // seek, then the bytes there must be those a fresh decode gives
            int32_t target = argument * 257;
            bool sa = inPlace.setPosition(target);
            bool sb = reference.setPosition(target);
            check(sa == sb);
            if (sa) {
                check(inPlace.getPosition() == target);
                bool ra = inPlace.read(16, a.data());
                bool rb = reference.read(16, b.data());
                check(ra == rb);
                check(!ra || std::memcmp(a.data(), b.data(), 16) == 0);
            }
            break;
        }
        }
        check(inPlace.getStatus() == reference.getStatus());
        check(inPlace.getPosition() == reference.getPosition());
        check(direct.getPosition() == forwarded.getPosition());
        check(direct.getStatus() == forwarded.getStatus());
    }
    inPlace.detach();
    reference.detach();

    static LZHEncoder encoder;
    std::vector<uint8_t> encoded(size_t(LZHEncoder::maxEncodedSize(int32_t(coded.size()))) + 1);
    int32_t encodedSize = encoder.encode(coded.data(), int32_t(coded.size()), encoded.data());
    check(encodedSize >= 0 && encodedSize <= LZHEncoder::maxEncodedSize(int32_t(coded.size())));
    MemRWStream encodedMemory;
    encodedMemory.attach(encodedSize, encoded.data());
    inPlace.attach(&encodedMemory);
    std::vector<uint8_t> decoded(coded.size() + 1);
    check(inPlace.read(int32_t(coded.size()), decoded.data()));
    check(coded.empty() || std::memcmp(decoded.data(), coded.data(), coded.size()) == 0);
    inPlace.detach();
    return 0;
}
