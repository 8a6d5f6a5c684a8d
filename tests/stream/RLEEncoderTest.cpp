// Tests of the RLE encoder: the packets it chooses, and round trips through RLERStream.
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLEEncoder.h>
#include <qarvex/stream/RLERStream.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qarvex {

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const Bytes &plain) {
    Bytes out(size_t(RLEEncoder::maxEncodedSize(int32_t(plain.size()))));
    int32_t size = RLEEncoder::encode(plain.data(), int32_t(plain.size()), out.data());
    EXPECT_GE(size, 0);
    out.resize(size_t(size < 0 ? 0 : size));
    return out;
}

Bytes expand(Bytes coded, size_t size) {
    MemRWStream memory;
    memory.attach(int32_t(coded.size()), coded.data());
    RLERStream stream;
    stream.attach(&memory);
    Bytes plain(size);
    EXPECT_TRUE(stream.read(int32_t(size), plain.data()));
    // Nothing is left over: the packets end where the data does.
    EXPECT_EQ(memory.getPosition(), int32_t(coded.size()));
    return plain;
}

Bytes counting(int n, int from = 0) {
    Bytes bytes;
    for (int i = 0; i < n; ++i)
        bytes.push_back(uint8_t(from + i));
    return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(RLEEncoder, ChoosesRunsOfThreeOrMoreAndLiteralsOfUpTo127) {
    const struct {
        const char *name;
        Bytes plain;
        Bytes coded;
    } cases[] = {
        {"empty", {}, {}},
        {"one byte", {0x41}, {0x01, 0x41}},
        {"two equal bytes stay literal", {0x41, 0x41}, {0x02, 0x41, 0x41}},
        {"three make a run", {0x41, 0x41, 0x41}, {0x83, 0x41}},
        {"longest run", Bytes(127, 0x42), {0xFF, 0x42}},
        {"run of 128", Bytes(128, 0x42), {0xFF, 0x42, 0x01, 0x42}},
        {"run of 130", Bytes(130, 0x42), {0xFF, 0x42, 0x83, 0x42}},
        {"literal then run then literal",
         {'a', 'b', 'c', 'c', 'c', 'd'},
         {0x02, 'a', 'b', 0x83, 'c', 0x01, 'd'}},
        {"pairs stay inside the literal", {'a', 'a', 'b', 'b', 'c'}, {0x05, 'a', 'a', 'b', 'b', 'c'}},
        {"longest literal", counting(127), join({{0x7F}, counting(127)})},
        {"literal of 128", counting(128), join({{0x7F}, counting(127), {0x01, 127}})},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(encode(c.plain), c.coded) << c.name;
        EXPECT_EQ(expand(c.coded, c.plain.size()), c.plain) << c.name;
    }
}

TEST(RLEEncoder, RoundTripsAndStaysWithinTheBound) {
    Bytes runsAndNoise;
    uint32_t seed = 3;
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        size_t length = (seed >> 8) % 300;
        if (seed & 1) {
            runsAndNoise.insert(runsAndNoise.end(), length, uint8_t(seed >> 24));
        } else {
            for (size_t k = 0; k < length; ++k) {
                seed = seed * 1664525u + 1013904223u;
                runsAndNoise.push_back(uint8_t(seed >> 24) & 0x3); // short runs happen by chance
            }
        }
    }
    std::vector<Bytes> inputs = {runsAndNoise, counting(100000)};
    for (const char *name : {"mixed.bin", "prose.txt", "run.bin", "random.bin"}) {
        std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    for (const Bytes &plain : inputs) {
        Bytes coded = encode(plain);
        EXPECT_LE(coded.size(), size_t(RLEEncoder::maxEncodedSize(int32_t(plain.size()))));
        EXPECT_EQ(expand(coded, plain.size()), plain);
    }
    // Without any run the bound is reached exactly.
    EXPECT_EQ(encode(counting(100000)).size(), size_t(RLEEncoder::maxEncodedSize(100000)));
}

class CollectingSink : public StreamIO {
public:
    explicit CollectingSink(size_t limit) : limit(limit) {}
    bool write(int32_t count, const void *buffer) override {
        if (bytes.size() + size_t(count) > limit) {
            status = AccessError;
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

TEST(RLEEncoder, SinkGetsTheSameBytesAndFailuresAreReported) {
    Bytes plain = join({counting(5000), Bytes(9000, 7), counting(300)});
    CollectingSink sink(SIZE_MAX);
    ASSERT_TRUE(RLEEncoder::encode(plain.data(), int32_t(plain.size()), &sink));
    EXPECT_EQ(sink.bytes, encode(plain));

    CollectingSink small(100);
    EXPECT_FALSE(RLEEncoder::encode(plain.data(), int32_t(plain.size()), &small));
    EXPECT_FALSE(RLEEncoder::encode(plain.data(), -1, &sink));
    EXPECT_EQ(RLEEncoder::encode(plain.data(), -1, plain.data()), -1);
    EXPECT_EQ(RLEEncoder::maxEncodedSize(-1), -1);
    EXPECT_EQ(RLEEncoder::maxEncodedSize(INT32_MAX), -1);
}

} // namespace

} // namespace qarvex
