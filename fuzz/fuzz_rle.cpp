// Fuzz target for the RLE expanding stream: arbitrary coded bytes, read in arbitrary pieces with
// seeks in between. Whatever the stream delivers must be the expansion that a plain reading of the
// packets gives, at the position the stream reports.
//
// The same bytes taken as plain data must come back from the encoder's packets.
//
// Input: one byte giving the number of script bytes (up to 32), the script, then the coded bytes.
// Each script byte is an operation: bit 7 picks read or seek, the rest a size or a target.
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLEEncoder.h>
#include <qarvex/stream/RLERStream.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace qarvex;

namespace {

// The expansion of every complete packet, in the simplest terms.
std::vector<uint8_t> expand(const std::vector<uint8_t> &coded) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < coded.size()) {
        uint8_t control = coded[i++];
        size_t n = control & 0x7F;
        if (control & 0x80) {
            if (i >= coded.size())
                break;
            out.insert(out.end(), n, coded[i++]);
        } else {
            size_t available = coded.size() - i;
            out.insert(out.end(), coded.begin() + long(i),
                       coded.begin() + long(i + (n < available ? n : available)));
            i += n;
        }
    }
    return out;
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool matches(const std::vector<uint8_t> &expected, const uint8_t *out, int32_t position, int32_t count) {
    return count == 0 || std::memcmp(out, expected.data() + position, size_t(count)) == 0;
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
    std::vector<uint8_t> expected = expand(coded);

    MemRWStream memory;
    memory.attach(int32_t(coded.size()), coded.data());
    RLERStream stream;
    stream.attach(&memory);
    std::vector<uint8_t> out(4096);
    for (size_t i = 0; i < scriptLength; ++i) {
        uint8_t op = script[i];
        int32_t argument = op & 0x7F;
        if (op & 0x80) {
            int32_t target = argument * 97;
            bool wasOk = stream.getStatus() == StreamIO::Ok;
            bool moved = stream.setPosition(target);
            check(!moved || (wasOk && target <= int32_t(expected.size())));
            if (moved)
                check(stream.getPosition() == target);
            continue;
        }
        int32_t position = stream.getPosition();
        int32_t count = argument * argument / 4;
        bool ok = stream.read(count, out.data());
        if (ok) {
            check(size_t(position) + size_t(count) <= expected.size());
            check(matches(expected, out.data(), position, count));
            check(stream.getPosition() == position + count);
        } else {
            check(stream.getStatus() != StreamIO::Ok);
            // Whatever was delivered before the failure is the expansion too.
            int32_t delivered = stream.getPosition() - position;
            check(delivered >= 0 && delivered <= count);
            check(matches(expected, out.data(), position, delivered));
        }
    }

    std::vector<uint8_t> encoded(size_t(RLEEncoder::maxEncodedSize(int32_t(coded.size()))) + 1);
    int32_t encodedSize = RLEEncoder::encode(coded.data(), int32_t(coded.size()), encoded.data());
    check(encodedSize >= 0 && encodedSize <= RLEEncoder::maxEncodedSize(int32_t(coded.size())));
    MemRWStream encodedMemory;
    encodedMemory.attach(encodedSize, encoded.data());
    stream.attach(&encodedMemory);
    std::vector<uint8_t> decoded(coded.size() + 1);
    check(stream.read(int32_t(coded.size()), decoded.data()));
    check(coded.empty() || std::memcmp(decoded.data(), coded.data(), coded.size()) == 0);
    check(encodedMemory.getPosition() == encodedSize);
    return 0;
}
