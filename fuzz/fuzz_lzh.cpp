// Fuzz target for the LZH decompressing stream: arbitrary coded bytes, read in arbitrary pieces
// with seeks in between. The stream reads a memory source in place and any other source byte by
// byte; both must give the same bytes, results and source states, and a seek must land on the same
// bytes as reading there.
//
// The same bytes taken as plain data (the first RoundTripLimit of them) must come back from the
// encoder's stream.
//
// Input: one byte giving the number of script bytes (up to 32), the script, then the coded bytes.
// Each script byte is an operation: the top two bits pick read (small or large) or seek, the rest
// a size or a target.
//
// A few thousand coded bytes can stand for hundreds of kilobytes, and a seek backwards (or after
// the data ran out) decodes again from the start: the script stops once its operations could
// have decoded DecodeBudget bytes, which keeps every input quick (each decoded symbol can move
// a node across the whole model, and under coverage tracing every comparison on the way costs a
// call). Two windows' worth is plenty for matches across the ring's end and for seeks; the
// model's halving needs some 32,500 symbols, which the volume target and the tests reach.
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

constexpr int64_t DecodeBudget = 1 << 13;
constexpr size_t RoundTripLimit = 2048;

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

    static std::vector<uint8_t> a(8192), b(8192);
    int64_t budget = DecodeBudget;
    for (size_t i = 0; i < scriptLength; ++i) {
        uint8_t op = script[i];
        int32_t argument = op & 0x3F;
        int kind = op >> 6;
        // The read's count or the seek's target.
        int32_t amount = kind < 2 ? argument + kind * 61 : kind == 2 ? argument * 97 + 1 : argument * 127;
        // The most the operation can decode (a seek may restart from the start and reads 16 more).
        int64_t cost = kind == 3 ? amount + 16 : amount;
        if (cost > budget)
            break;
        budget -= cost;
        switch (kind) {
        case 0: // small read, often ending inside a match
        case 1: {
            bool ra = inPlace.read(amount, a.data());
            bool rb = reference.read(amount, b.data());
            check(ra == rb);
            check(std::memcmp(a.data(), b.data(), size_t(ra ? amount : 0)) == 0);
            break;
        }
        case 2: { // large read
            bool ra = inPlace.read(amount, a.data());
            bool rb = reference.read(amount, b.data());
            check(ra == rb);
            check(!ra || std::memcmp(a.data(), b.data(), size_t(amount)) == 0);
            break;
        }
        default: { // seek, then the bytes there must be those a fresh decode gives
            int32_t target = amount;
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

    // The first bytes only: the encoder's work per byte is the decoder's and more.
    int32_t plainSize = int32_t(coded.size() < RoundTripLimit ? coded.size() : RoundTripLimit);
    static LZHEncoder encoder;
    std::vector<uint8_t> encoded(size_t(LZHEncoder::maxEncodedSize(plainSize)) + 1);
    int32_t encodedSize = encoder.encode(coded.data(), plainSize, encoded.data());
    check(encodedSize >= 0 && encodedSize <= LZHEncoder::maxEncodedSize(plainSize));
    MemRWStream encodedMemory;
    encodedMemory.attach(encodedSize, encoded.data());
    inPlace.attach(&encodedMemory);
    std::vector<uint8_t> decoded(size_t(plainSize) + 1);
    check(inPlace.read(plainSize, decoded.data()));
    check(plainSize == 0 || std::memcmp(decoded.data(), coded.data(), size_t(plainSize)) == 0);
    inPlace.detach();
    return 0;
}
