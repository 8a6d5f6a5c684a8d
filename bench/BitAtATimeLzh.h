// The baseline of the LZH decoding benchmarks: a straightforward decoder that takes every bit
// through a single-bit reader and keeps the adaptive model with plain linear searches. It shares
// no code with the library, so agreeing output is a real check (the stream tests use it too). The
// coded bytes come from memory (MemoryInput) or, one read(1) each, from a stream (StreamInput).
// Benchmark programs that include it are compiled with -O2, as plain C code would be.
#pragma once

#include <qarvex/stream/StreamIO.h>

#include <cstddef>
#include <cstdint>

namespace qarvex {

namespace baseline {

struct MemoryInput {
    const uint8_t *next;
    const uint8_t *end;
    int byte() { return next < end ? *next++ : -1; }
};

struct StreamInput {
    StreamIO *stream;
    int byte() {
        uint8_t value;
        return stream->read(1, &value) ? value : -1;
    }
};

} // namespace baseline

template <class Input = baseline::MemoryInput> class BitAtATimeLzh {
public:
    // Decodes `plainSize` bytes from `source` into `plain`.
    void decode(Input source, uint8_t *plain, size_t plainSize) {
        input = source;
        bitBuffer = 0;
        bitCount = 0;
        startModel();
        for (int i = 0; i < RingSize - Lookahead; ++i)
            ring[i] = ' ';
        for (int i = RingSize - Lookahead; i < RingSize; ++i)
            ring[i] = 0;
        int r = RingSize - Lookahead;
        size_t count = 0;
        while (count < plainSize) {
            int c = decodeChar();
            if (c < 256) {
                plain[count++] = uint8_t(c);
                ring[r++] = uint8_t(c);
                r &= RingSize - 1;
            } else {
                int from = (r - decodePosition() - 1) & (RingSize - 1);
                int length = c - 255 + Threshold;
                for (int k = 0; k < length && count < plainSize; ++k) {
                    uint8_t b = ring[(from + k) & (RingSize - 1)];
                    plain[count++] = b;
                    ring[r++] = b;
                    r &= RingSize - 1;
                }
            }
        }
    }

private:
    static constexpr int RingSize = 4096;
    static constexpr int Lookahead = 60;
    static constexpr int Threshold = 2;
    static constexpr int CharCount = 256 - Threshold + Lookahead;
    static constexpr int T = CharCount * 2 - 1;
    static constexpr int R = T - 1;
    static constexpr unsigned MaxFrequency = 0x8000;

    int getByteFromInput() { return input.byte(); }

    int getBit() {
        while (bitCount <= 8) {
            int i = getByteFromInput();
            if (i < 0)
                i = 0;
            bitBuffer = uint16_t(bitBuffer | (i << (8 - bitCount)));
            bitCount += 8;
        }
        int bit = bitBuffer >> 15;
        bitBuffer = uint16_t(bitBuffer << 1);
        bitCount--;
        return bit;
    }

    int getByte() {
        while (bitCount <= 8) {
            int i = getByteFromInput();
            if (i < 0)
                i = 0;
            bitBuffer = uint16_t(bitBuffer | (i << (8 - bitCount)));
            bitCount += 8;
        }
        int byte = bitBuffer >> 8;
        bitBuffer = uint16_t(bitBuffer << 8);
        bitCount -= 8;
        return byte;
    }

    void startModel() {
        for (int i = 0; i < CharCount; i++) {
            freq[i] = 1;
            son[i] = int16_t(i + T);
            prnt[i + T] = int16_t(i);
        }
        int i = 0;
        for (int j = CharCount; j <= R; j++) {
            freq[j] = uint16_t(freq[i] + freq[i + 1]);
            son[j] = int16_t(i);
            prnt[i] = prnt[i + 1] = int16_t(j);
            i += 2;
        }
        freq[T] = 0xffff;
        prnt[R] = 0;
        // The fixed code of the upper six distance bits.
        int b = 0;
        const int groups[][2] = {{1, 32}, {3, 16}, {8, 8}, {12, 4}, {24, 2}, {16, 1}};
        int upper = 0;
        for (int g = 0; g < 6; ++g) {
            for (int v = 0; v < groups[g][0]; ++v, ++upper) {
                for (int e = 0; e < groups[g][1]; ++e, ++b) {
                    distanceCode[b] = uint8_t(upper);
                    distanceLength[b] = uint8_t(3 + g);
                }
            }
        }
    }

    void reconstruct() {
        int j = 0;
        for (int i = 0; i < T; i++) {
            if (son[i] >= T) {
                freq[j] = uint16_t((freq[i] + 1) / 2);
                son[j] = son[i];
                j++;
            }
        }
        for (int i = 0, jj = CharCount; jj < T; i += 2, jj++) {
            unsigned f = unsigned(freq[i]) + freq[i + 1];
            freq[jj] = uint16_t(f);
            int k = jj - 1;
            while (f < freq[k])
                k--;
            k++;
            for (int m = jj; m > k; --m) {
                freq[m] = freq[m - 1];
                son[m] = son[m - 1];
            }
            freq[k] = uint16_t(f);
            son[k] = int16_t(i);
        }
        for (int i = 0; i < T; i++) {
            int k = son[i];
            if (k >= T) {
                prnt[k] = int16_t(i);
            } else {
                prnt[k] = prnt[k + 1] = int16_t(i);
            }
        }
    }

    void update(int c) {
        if (freq[R] == MaxFrequency)
            reconstruct();
        c = prnt[c + T];
        do {
            unsigned k = ++freq[c];
            int l = c + 1;
            if (k > freq[l]) {
                while (k > freq[++l]) {
                }
                l--;
                freq[c] = freq[l];
                freq[l] = uint16_t(k);
                int i = son[c];
                prnt[i] = int16_t(l);
                if (i < T)
                    prnt[i + 1] = int16_t(l);
                int j = son[l];
                son[l] = int16_t(i);
                prnt[j] = int16_t(c);
                if (j < T)
                    prnt[j + 1] = int16_t(c);
                son[c] = int16_t(j);
                c = l;
            }
        } while ((c = prnt[c]) != 0);
    }

    int decodeChar() {
        int c = son[R];
        while (c < T)
            c = son[c + getBit()];
        c -= T;
        update(c);
        return c;
    }

    int decodePosition() {
        int i = getByte();
        int c = distanceCode[i] << 6;
        int j = distanceLength[i] - 2;
        while (j--)
            i = (i << 1) + getBit();
        return c | (i & 0x3f);
    }

    Input input{};
    uint16_t bitBuffer = 0;
    uint8_t bitCount = 0;
    uint16_t freq[T + 1] = {};
    int16_t prnt[T + CharCount] = {};
    int16_t son[T] = {};
    uint8_t distanceCode[256] = {};
    uint8_t distanceLength[256] = {};
    uint8_t ring[RingSize + Lookahead - 1] = {};
};

} // namespace qarvex
