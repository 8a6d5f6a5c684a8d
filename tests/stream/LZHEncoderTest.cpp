// Tests of the LZH encoder: its streams decode to the input (reference inputs and edge cases),
// are no larger than the reference encoder's, and use the whole match range and window.
#include <qarvex/stream/LZHEncoder.h>

#include "stream/HuffBitReader.h"
#include <qarvex/stream/LZHRStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qarvex {

namespace {

using Bytes = std::vector<uint8_t>;

Bytes loadData(const std::string &name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes noise(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (auto &byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = uint8_t(seed >> 24);
    }
    return bytes;
}

Bytes encode(LZHEncoder &encoder, const Bytes &plain) {
    Bytes out(size_t(LZHEncoder::maxEncodedSize(int32_t(plain.size()))));
    int32_t size = encoder.encode(plain.data(), int32_t(plain.size()), out.data());
    EXPECT_GE(size, 0);
    out.resize(size_t(size < 0 ? 0 : size));
    return out;
}

Bytes decode(const Bytes &coded, size_t plainSize) {
    Bytes copy = coded;
    MemRWStream memory;
    memory.attach(int32_t(copy.size()), copy.data());
    LZHRStream stream;
    stream.attach(&memory);
    Bytes plain(plainSize);
    EXPECT_TRUE(stream.read(int32_t(plain.size()), plain.data()));
    return plain;
}

// The symbols and distances of a coded stream, read with the decoder's own model.
struct Token {
    int symbol;
    int distance; // -1 for a literal
};

std::vector<Token> tokens(const Bytes &coded, size_t plainSize) {
    Bytes copy = coded;
    MemRWStream memory;
    memory.attach(int32_t(copy.size()), copy.data());
    HuffBitReader reader;
    reader.reset(&memory);
    std::vector<Token> result;
    for (size_t produced = 0; produced < plainSize;) {
        int symbol = reader.decodeSymbol();
        if (symbol < 256) {
            result.push_back({symbol, -1});
            ++produced;
        } else {
            result.push_back({symbol, reader.decodeDistance()});
            produced += size_t(symbol - 253);
        }
    }
    return result;
}

TEST(LZHEncoder, ReferenceInputsDecodeAndAreNoLargerThanTheReferenceStreams) {
    // Sizes of the reference encoder's streams, from the README of the test vectors.
    const struct {
        const char *plain;
        size_t referenceSize;
    } inputs[] = {{"empty.bin", 0}, {"one.bin", 2},      {"hello.txt", 17},     {"spaces.txt", 53},
                  {"run.bin", 459}, {"prose.txt", 4307}, {"random.bin", 16510}, {"mixed.bin", 298312}};
    LZHEncoder encoder;
    for (const auto &input : inputs) {
        Bytes plain = loadData(input.plain);
        Bytes coded = encode(encoder, plain);
        EXPECT_EQ(decode(coded, plain.size()), plain) << input.plain;
        EXPECT_LE(coded.size() * 100, input.referenceSize * 101) << input.plain;
    }
}

TEST(LZHEncoder, EdgeCasesRoundTrip) {
    Bytes rebuilds = noise(120000, 5); // far more symbols than a model holds before halving
    for (size_t i = 0; i < rebuilds.size(); i += 7)
        rebuilds[i] = 'e';
    Bytes mixedRuns;
    for (int i = 0; i < 300; ++i)
        mixedRuns.insert(mixedRuns.end(), size_t(i % 70 + 1), uint8_t(i));
    const struct {
        const char *name;
        Bytes plain;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"two bytes", {0x20, 0x20}},
        {"long run", Bytes(100000, 'a')},
        {"long run of spaces", Bytes(5000, ' ')},
        {"incompressible", noise(50000, 1)},
        {"forces rebuilds", rebuilds},
        {"runs of every length", mixedRuns},
        {"all byte values",
         [] {
             Bytes b;
             for (int round = 0; round < 3; ++round)
                 for (int v = 0; v < 256; ++v)
                     b.push_back(uint8_t(v));
             return b;
         }()},
    };
    LZHEncoder encoder;
    for (const auto &c : cases) {
        Bytes coded = encode(encoder, c.plain);
        EXPECT_LE(coded.size(), size_t(LZHEncoder::maxEncodedSize(int32_t(c.plain.size())))) << c.name;
        EXPECT_EQ(decode(coded, c.plain.size()), c.plain) << c.name;
    }
    EXPECT_TRUE(encode(encoder, {}).empty());
}

TEST(LZHEncoder, UsesMatchesOfSixtyBytesAndTheWholeWindow) {
    // A 60-byte block seen again exactly 4096 bytes later, the farthest the window reaches; the
    // bytes around it never repeat.
    Bytes block = noise(60, 9);
    Bytes plain = block;
    Bytes filler = noise(4096 - 60, 10);
    plain.insert(plain.end(), filler.begin(), filler.end());
    plain.insert(plain.end(), block.begin(), block.end());
    Bytes tail = noise(100, 11);
    plain.insert(plain.end(), tail.begin(), tail.end());

    LZHEncoder encoder;
    Bytes coded = encode(encoder, plain);
    ASSERT_EQ(decode(coded, plain.size()), plain);
    bool found = false;
    for (const Token &token : tokens(coded, plain.size()))
        found = found || (token.symbol == 313 && token.distance == 4095);
    EXPECT_TRUE(found) << "no 60-byte match 4096 bytes back";
}

TEST(LZHEncoder, MatchesReachIntoTheInitialSpaces) {
    Bytes plain(40, ' ');
    plain.push_back('x');
    LZHEncoder encoder;
    Bytes coded = encode(encoder, plain);
    ASSERT_EQ(decode(coded, plain.size()), plain);
    std::vector<Token> found = tokens(coded, plain.size());
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].symbol, 40 + 253) << "the leading spaces are one match into the window";
}

// A sink that takes a limited number of bytes and then refuses.
class LimitedSink : public StreamIO {
public:
    explicit LimitedSink(size_t limit) : limit(limit) {}
    bool write(int32_t count, const void *buffer) override {
        if (bytes.size() + size_t(count) > limit) {
            status = IOError;
            return false;
        }
        const uint8_t *p = static_cast<const uint8_t *>(buffer);
        bytes.insert(bytes.end(), p, p + count);
        return true;
    }
    Bytes bytes;

private:
    size_t limit;
};

TEST(LZHEncoder, SinkGetsTheSameBytesAndFailuresAreReported) {
    Bytes plain = loadData("mixed.bin");
    LZHEncoder encoder;
    Bytes inMemory = encode(encoder, plain);
    LimitedSink sink(SIZE_MAX);
    ASSERT_TRUE(encoder.encode(plain.data(), int32_t(plain.size()), &sink));
    EXPECT_EQ(sink.bytes, inMemory);
    // The encoder is reusable: the same input gives the same stream again.
    EXPECT_EQ(encode(encoder, plain), inMemory);

    LimitedSink small(1000);
    EXPECT_FALSE(encoder.encode(plain.data(), int32_t(plain.size()), &small));
    EXPECT_EQ(small.getStatus(), StreamIO::IOError);

    uint8_t out[4];
    EXPECT_EQ(encoder.encode(plain.data(), -1, out), -1);
    EXPECT_FALSE(encoder.encode(plain.data(), -1, &sink));
    EXPECT_EQ(LZHEncoder::maxEncodedSize(-1), -1);
    EXPECT_EQ(LZHEncoder::maxEncodedSize(INT32_MAX), -1);
}

} // namespace

} // namespace qarvex
