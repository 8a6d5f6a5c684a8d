// RLEEncoder: produces the run-length packets that RLERStream expands. Runs of three or more equal
// bytes become run packets (0x80 + n, then the byte), everything else literal packets of up to
// 127 bytes. The packets carry no length: the reader needs the input size from elsewhere.
// Threads: one thread at a time per encoder.
#pragma once

#include <qarvex/stream/StreamIO.h>

#include <cstdint>

namespace qarvex {

class RLEEncoder {
public:
    static constexpr int32_t LongestPacket = 127;
    static constexpr int32_t ShortestRun = 3;

    // The most bytes that encoding `size` bytes can produce (a control byte per 127 bytes of
    // literal data), or -1 when that does not fit a 32-bit count.
    static int32_t maxEncodedSize(int32_t size);

    // Encodes into `out`, which holds at least maxEncodedSize(size) bytes. Returns the encoded
    // size, or -1 for a negative size.
    static int32_t encode(const void *data, int32_t size, void *out);

    // Encodes through sink->write in pieces of a few kilobytes. False when a write fails (the sink
    // tells why) or the size is negative.
    static bool encode(const void *data, int32_t size, StreamIO *sink);
};

} // namespace qarvex
