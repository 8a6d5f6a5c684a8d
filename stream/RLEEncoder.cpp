// RLEEncoder: splits the input into runs and literal stretches.
#include <qarvex/stream/RLEEncoder.h>

#include <algorithm>
#include <cstring>

namespace qarvex {

namespace {

// Calls emit(packetBytes, length) for each packet piece in order: a control byte, then the value
// byte of a run or the literal bytes (which point into the input).
template <class Emit> void forEachPacket(const uint8_t *in, int32_t size, Emit &&emit) {
    int32_t literalStart = 0;
    auto flushLiteral = [&](int32_t end) {
        while (literalStart < end) {
            int32_t n = std::min(end - literalStart, RLEEncoder::LongestPacket);
            uint8_t control = uint8_t(n);
            emit(&control, 1);
            emit(in + literalStart, n);
            literalStart += n;
        }
    };
    int32_t i = 0;
    while (i < size) {
        int32_t run = 1;
        while (i + run < size && in[i + run] == in[i] && run < RLEEncoder::LongestPacket)
            ++run;
        if (run < RLEEncoder::ShortestRun) {
            i += run;
            continue;
        }
        flushLiteral(i);
        uint8_t packet[2] = {uint8_t(0x80 | run), in[i]};
        emit(packet, 2);
        i += run;
        literalStart = i;
    }
    flushLiteral(size);
}

} // namespace

int32_t RLEEncoder::maxEncodedSize(int32_t size) {
    if (size < 0)
        return -1;
    int64_t bound = int64_t(size) + (int64_t(size) + LongestPacket - 1) / LongestPacket;
    return bound > INT32_MAX ? -1 : int32_t(bound);
}

int32_t RLEEncoder::encode(const void *data, int32_t size, void *out) {
    if (size < 0)
        return -1;
    uint8_t *cursor = static_cast<uint8_t *>(out);
    forEachPacket(static_cast<const uint8_t *>(data), size, [&](const uint8_t *bytes, int32_t n) {
        std::memcpy(cursor, bytes, size_t(n));
        cursor += n;
    });
    return int32_t(cursor - static_cast<uint8_t *>(out));
}

bool RLEEncoder::encode(const void *data, int32_t size, StreamIO *sink) {
    if (size < 0 || !sink)
        return false;
    uint8_t buffer[4096];
    int32_t used = 0;
    bool ok = true;
    auto flush = [&] {
        if (ok && used > 0)
            ok = sink->write(used, buffer);
        used = 0;
    };
    forEachPacket(static_cast<const uint8_t *>(data), size, [&](const uint8_t *bytes, int32_t n) {
        if (used + n > int32_t(sizeof buffer))
            flush();
        if (n > int32_t(sizeof buffer)) {
            ok = ok && sink->write(n, bytes);
            return;
        }
        std::memcpy(buffer + used, bytes, size_t(n));
        used += n;
    });
    flush();
    return ok;
}

} // namespace qarvex
