// Tests of the LZH decompressing stream: the reference vectors read whole, in pieces and after
// seeks, the end-of-source behaviour, the status rules, and damaged input.
#include "ForwardingSource.h"
#include "bench/BitAtATimeLzh.h"
#include <qarvex/stream/LZHEncoder.h>
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

struct VectorFiles {
    const char *coded;
    const char *plain;
};

const VectorFiles referenceVectors[] = {
    {"empty.lzh", "empty.bin"},   {"one.lzh", "one.bin"},     {"hello.lzh", "hello.txt"},
    {"spaces.lzh", "spaces.txt"}, {"run.lzh", "run.bin"},     {"prose.lzh", "prose.txt"},
    {"random.lzh", "random.bin"}, {"mixed.lzh", "mixed.bin"},
};

// Coded bytes with a source stream over them. `tail` extra bytes after the coded data keep the
// source from reaching its end while the decoder looks ahead, as the bytes of the next entry of a
// volume do; the decoder never uses them.
struct CodedSource {
    explicit CodedSource(Bytes data, size_t tail = 0) : bytes(std::move(data)) {
        codedSize = int32_t(bytes.size());
        bytes.resize(bytes.size() + tail, 0xA5);
        memory.attach(int32_t(bytes.size()), bytes.data());
    }
    Bytes bytes;
    int32_t codedSize = 0;
    MemRWStream memory;
};

// Reads `total` bytes in pieces whose sizes cycle through `sizes`; stops at the first failure.
Bytes readInPieces(LZHRStream &stream, size_t total, const std::vector<int32_t> &sizes) {
    Bytes out;
    for (size_t i = 0; out.size() < total; ++i) {
        int32_t piece = int32_t(std::min<size_t>(size_t(sizes[i % sizes.size()]), total - out.size()));
        Bytes chunk = Bytes(size_t(piece));
        if (!stream.read(piece, chunk.data()))
            break;
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

class ReferenceVector : public testing::TestWithParam<VectorFiles> {
protected:
    void SetUp() override {
        coded = loadData(GetParam().coded);
        plain = loadData(GetParam().plain);
    }
    Bytes coded;
    Bytes plain;
};

TEST_P(ReferenceVector, DecodesWholeInOneRead) {
    CodedSource source(coded);
    LZHRStream stream;
    stream.attach(&source.memory);
    Bytes out(plain.size());
    ASSERT_TRUE(stream.read(int32_t(out.size()), out.data()));
    EXPECT_EQ(out, plain);
    EXPECT_EQ(stream.getPosition(), int32_t(plain.size()));
}

TEST_P(ReferenceVector, DecodesInPiecesOfVaryingSizes) {
    // Sizes around the longest match make reads end inside 60-byte matches at many offsets.
    const std::vector<std::vector<int32_t>> patterns = {
        {1}, {7, 59, 60, 61, 3}, {500, 1, 4096, 13}, {60}, {123457}};
    for (const auto &sizes : patterns) {
        if (sizes[0] == 1 && plain.size() > 50000)
            continue; // the large vector's tail is read byte by byte in the test below
        CodedSource source(coded, 2);
        LZHRStream stream;
        stream.attach(&source.memory);
        EXPECT_EQ(readInPieces(stream, plain.size(), sizes), plain) << "first piece " << sizes[0];
    }
}

TEST_P(ReferenceVector, SeeksBackToStartAndForwardToMiddle) {
    CodedSource source(coded);
    LZHRStream stream;
    stream.attach(&source.memory);
    Bytes out(plain.size());
    ASSERT_TRUE(stream.read(int32_t(out.size()), out.data()));

    ASSERT_TRUE(stream.setPosition(0));
    EXPECT_EQ(stream.getPosition(), 0);
    int32_t middle = int32_t(plain.size() / 2);
    ASSERT_TRUE(stream.setPosition(middle));
    EXPECT_EQ(stream.getPosition(), middle);
    Bytes rest(plain.size() - size_t(middle));
    ASSERT_TRUE(stream.read(int32_t(rest.size()), rest.data()));
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), plain.begin() + middle));

    ASSERT_TRUE(stream.setPosition(0));
    Bytes again(plain.size());
    ASSERT_TRUE(stream.read(int32_t(again.size()), again.data()));
    EXPECT_EQ(again, plain);
}

TEST_P(ReferenceVector, PiecesOverExactSourceDeliverEveryByte) {
    // Over exactly the coded bytes, the look-ahead meets the end of the source before the last
    // decoded byte; the bits it holds still decode the rest, in any piece sizes.
    CodedSource source(coded);
    LZHRStream stream;
    stream.attach(&source.memory);
    size_t start = plain.size() > 5000 ? plain.size() - 5000 : 0;
    ASSERT_TRUE(stream.setPosition(int32_t(start)));
    Bytes out = readInPieces(stream, plain.size() - start, {1});
    EXPECT_EQ(out, Bytes(plain.begin() + long(start), plain.end()));
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
}

TEST_P(ReferenceVector, DataCutShortEndsTheReadThatNeedsIt) {
    // Without its last byte the data lacks bits of the last code word: the read that reaches it
    // fails with EndOfData, whatever the piece size, and every byte before it is delivered.
    if (coded.empty())
        return;
    for (int32_t piece : {1, 7, 4096, int32_t(plain.size())}) {
        CodedSource source(Bytes(coded.begin(), coded.end() - 1));
        LZHRStream stream;
        stream.attach(&source.memory);
        Bytes out = readInPieces(stream, plain.size(), {piece});
        EXPECT_LT(out.size(), plain.size()) << "piece " << piece;
        EXPECT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "piece " << piece;
        EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData) << "piece " << piece;
        // The failure lasts; a backward seek starts again.
        uint8_t byte = 0;
        EXPECT_FALSE(stream.read(1, &byte));
        ASSERT_TRUE(stream.setPosition(0));
        EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    }
}

INSTANTIATE_TEST_SUITE_P(LZHRStream, ReferenceVector, testing::ValuesIn(referenceVectors),
                         [](const testing::TestParamInfo<VectorFiles> &info) {
                             std::string name = info.param.coded;
                             return name.substr(0, name.find('.'));
                         });

TEST_P(ReferenceVector, MemorySourceEndsEveryReadWhereByteReadsWould) {
    // Bytes of a memory stream are taken in place; after every read the source must stand where
    // reading it one byte at a time leaves it, with the same status, and the output must agree.
    for (int32_t piece : {1, 5, 59, 60, 61, 997}) {
        CodedSource direct(coded);
        CodedSource forwarded(coded);
        ForwardingSource byteByByte(forwarded.memory);
        LZHRStream inPlace;
        LZHRStream reference;
        inPlace.attach(&direct.memory);
        reference.attach(&byteByByte);
        for (size_t done = 0; done <= plain.size(); done += size_t(piece)) {
            // Small pieces over the start and the end only, where the source's end is met.
            if (piece < 900 && done >= 20000 && done + 5000 < plain.size()) {
                done = plain.size() - 5000;
                ASSERT_TRUE(inPlace.setPosition(int32_t(done)));
                ASSERT_TRUE(reference.setPosition(int32_t(done)));
            }
            Bytes a = Bytes(size_t(piece)), b = Bytes(size_t(piece));
            bool readA = inPlace.read(piece, a.data());
            bool readB = reference.read(piece, b.data());
            ASSERT_EQ(readA, readB) << "piece " << piece << " at " << done;
            ASSERT_EQ(a, b) << "piece " << piece << " at " << done;
            ASSERT_EQ(direct.memory.getPosition(), forwarded.memory.getPosition()) << "piece " << piece;
            ASSERT_EQ(direct.memory.getStatus(), forwarded.memory.getStatus()) << "piece " << piece;
            if (!readA)
                break;
        }
    }
}

TEST(LZHRStream, ShiftingLetterFrequenciesDecodeAlikeInPlaceAndByteByByte) {
    // Each phase makes a different handful of letters the most frequent, so nodes near the root
    // keep trading places (the in-place decoder keeps a table of the upper levels up to date
    // through them) and the counts are halved many times. Little repeats, so most symbols are
    // literals.
    Bytes plain;
    uint32_t seed = 12345;
    for (int phase = 0; phase < 60; ++phase) {
        for (int i = 0; i < 3000; ++i) {
            seed = seed * 1664525u + 1013904223u;
            uint32_t draw = seed >> 16;
            // Half the bytes from four favourites of this phase, the rest spread over all values.
            plain.push_back(draw & 1 ? uint8_t(phase * 4 + (draw >> 1) % 4) : uint8_t(draw >> 8));
        }
    }
    LZHEncoder encoder;
    Bytes coded(size_t(LZHEncoder::maxEncodedSize(int32_t(plain.size()))));
    int32_t codedSize = encoder.encode(plain.data(), int32_t(plain.size()), coded.data());
    ASSERT_GT(codedSize, 0);
    coded.resize(size_t(codedSize));

    CodedSource direct(coded, 16);
    CodedSource forwarded(coded, 16);
    ForwardingSource byteByByte(forwarded.memory);
    LZHRStream inPlace;
    LZHRStream reference;
    inPlace.attach(&direct.memory);
    reference.attach(&byteByByte);
    EXPECT_EQ(readInPieces(inPlace, plain.size(), {1, 700, 13, 4096}), plain);
    EXPECT_EQ(readInPieces(reference, plain.size(), {4096}), plain);
}

TEST(LZHRStream, ReadsOtherSourcesOneByteAtATime) {
    CodedSource coded(loadData("prose.lzh"));
    ForwardingSource source(coded.memory);
    LZHRStream stream;
    stream.attach(&source);
    Bytes out(100);
    ASSERT_TRUE(stream.read(int32_t(out.size()), out.data()));
    EXPECT_EQ(source.reads, source.getPosition()) << "one read per coded byte";
    EXPECT_TRUE(std::equal(out.begin(), out.end(), loadData("prose.txt").begin()));
}

TEST(LZHRStream, EveryReadBoundaryInsideMatchesGivesTheSameOutput) {
    const Bytes plain = loadData("run.bin");
    const Bytes coded = loadData("run.lzh");
    for (int32_t first = 1; first <= 121; ++first) {
        CodedSource source(coded, 2);
        LZHRStream stream;
        stream.attach(&source.memory);
        Bytes out(1000);
        ASSERT_TRUE(stream.read(first, out.data()));
        ASSERT_TRUE(stream.read(int32_t(out.size()) - first, out.data() + first));
        ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "split at " << first;
    }
}

TEST(LZHRStream, ReadingTheWholeLengthOverExactSourceSucceedsThenTheNextReadFails) {
    CodedSource source(loadData("hello.lzh"));
    const Bytes plain = loadData("hello.txt");
    LZHRStream stream;
    stream.attach(&source.memory);
    Bytes out(plain.size());
    ASSERT_TRUE(stream.read(int32_t(out.size()), out.data()));
    EXPECT_EQ(out, plain);
    uint8_t more = 0;
    EXPECT_FALSE(stream.read(1, &more));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    // A backward seek repositions the source, which clears its end-of-data state.
    EXPECT_TRUE(stream.setPosition(0));
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    Bytes start(5);
    ASSERT_TRUE(stream.read(5, start.data()));
    EXPECT_TRUE(std::equal(start.begin(), start.end(), plain.begin()));
}

TEST(LZHRStream, DetachedStreamRefusesEverything) {
    LZHRStream stream;
    uint8_t byte = 0;
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);
    EXPECT_FALSE(stream.read(0, &byte));
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_FALSE(stream.flush());
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    // A write attempt changes the status, but there is still nothing to read from.
    EXPECT_FALSE(stream.write(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_EQ(stream.getPosition(), 0);
}

TEST(LZHRStream, QueryAnswers) {
    LZHRStream stream;
    const int32_t expected[][2] = {{0, 9}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 0}, {-1, 0}, {1000, 0}};
    for (const auto &row : expected)
        EXPECT_EQ(stream.query(row[0]), row[1]) << "code " << row[0];
}

TEST(LZHRStream, AttachDetachAndStatusFollowTheSource) {
    CodedSource source(loadData("prose.lzh"));
    LZHRStream stream;
    stream.attach(&source.memory);
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_TRUE(stream.flush());
    EXPECT_EQ(stream.getPosition(), 0);
    uint8_t buffer[100];
    EXPECT_TRUE(stream.read(0, buffer));
    ASSERT_TRUE(stream.read(100, buffer));
    EXPECT_EQ(stream.getPosition(), 100);

    // A write fails, but the next read takes the status from the source again and goes on.
    EXPECT_FALSE(stream.write(1, buffer));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    ASSERT_TRUE(stream.read(10, buffer));
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_EQ(stream.getPosition(), 110);

    // Seeking to the current position delivers nothing.
    EXPECT_TRUE(stream.setPosition(110));
    EXPECT_EQ(stream.getPosition(), 110);

    stream.detach();
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_FALSE(stream.read(1, buffer));

    stream.attach(&source.memory); // the source is now at wherever the decoder left it
    stream.close();
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);

    MemRWStream closed;
    stream.attach(&closed);
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_FALSE(stream.read(1, buffer));
    stream.attach(nullptr);
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);
}

TEST(LZHRStream, NegativeSeekIsRefusedWithoutDecoding) {
    CodedSource source(loadData("prose.lzh"));
    LZHRStream stream;
    stream.attach(&source.memory);
    uint8_t buffer[40];
    ASSERT_TRUE(stream.read(20, buffer));
    int32_t sourcePosition = source.memory.getPosition();
    EXPECT_FALSE(stream.setPosition(-1));
    EXPECT_EQ(source.memory.getPosition(), sourcePosition);
    // The refusal does not disturb decoding.
    ASSERT_TRUE(stream.read(20, buffer + 20));
    Bytes plain = loadData("prose.txt");
    EXPECT_TRUE(std::equal(buffer, buffer + 40, plain.begin()));
}

// A source over memory whose seeks can be refused, to see a failed restart.
class RefusingSource : public StreamIO {
public:
    explicit RefusingSource(MemRWStream &inner) : inner(inner) {}
    int32_t getStatus() override { return refuseSeeks ? AccessError : inner.getStatus(); }
    bool read(int32_t count, void *buffer) override { return inner.read(count, buffer); }
    bool setPosition(int32_t position) override { return !refuseSeeks && inner.setPosition(position); }
    int32_t getPosition() override { return inner.getPosition(); }
    bool refuseSeeks = false;

private:
    MemRWStream &inner;
};

TEST(LZHRStream, FailedRestartLeavesDecodingWhereItWas) {
    CodedSource source(loadData("prose.lzh"), 2);
    RefusingSource refusing(source.memory);
    LZHRStream stream;
    stream.attach(&refusing);
    uint8_t buffer[300];
    ASSERT_TRUE(stream.read(150, buffer));
    refusing.refuseSeeks = true;
    EXPECT_FALSE(stream.setPosition(10));
    EXPECT_EQ(stream.getStatus(), StreamIO::AccessError);
    refusing.refuseSeeks = false;
    ASSERT_TRUE(stream.read(150, buffer + 150));
    EXPECT_EQ(stream.getPosition(), 300);
    Bytes plain = loadData("prose.txt");
    EXPECT_TRUE(std::equal(buffer, buffer + 300, plain.begin()));
}

TEST(LZHRStream, DecodesFromTheSourcesPositionAtAttach) {
    Bytes prefixed = {1, 2, 3};
    Bytes coded = loadData("hello.lzh");
    prefixed.insert(prefixed.end(), coded.begin(), coded.end());
    CodedSource source(prefixed);
    ASSERT_TRUE(source.memory.setPosition(3));
    LZHRStream stream;
    stream.attach(&source.memory);
    Bytes out(26);
    ASSERT_TRUE(stream.read(26, out.data()));
    EXPECT_EQ(out, loadData("hello.txt"));
}

TEST(LZHRStream, ReattachingStartsAFreshModelAndWindow) {
    CodedSource mixed(loadData("mixed.lzh"));
    CodedSource prose(loadData("prose.lzh"));
    LZHRStream stream;
    stream.attach(&mixed.memory);
    Bytes scratch(100000); // far enough for several rebuilds of the model
    ASSERT_TRUE(stream.read(int32_t(scratch.size()), scratch.data()));
    stream.attach(&prose.memory);
    Bytes plain = loadData("prose.txt");
    Bytes out(plain.size());
    ASSERT_TRUE(stream.read(int32_t(out.size()), out.data()));
    EXPECT_EQ(out, plain);
}

TEST(LZHRStream, DamagedInputDecodesSafelyAndReproducibly) {
    // Any bit pattern is some symbol and some distance: while there are bits, a read never fails,
    // and the same bytes decode the same way whatever the read sizes. When they run out the read
    // fails with EndOfData, having delivered what the bits before the end gave.
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return uint8_t(seed >> 16);
    };
    const Bytes fills[] = {Bytes(300, 0x00), Bytes(300, 0xFF), Bytes(1, 0x80), Bytes()};
    std::vector<Bytes> inputs(std::begin(fills), std::end(fills));
    Bytes noise(5000);
    for (auto &byte : noise)
        byte = next();
    inputs.push_back(noise);
    for (const Bytes &input : inputs) {
        CodedSource padded(input, 70000); // enough zero bits after the input for every read
        std::fill(padded.bytes.begin() + padded.codedSize, padded.bytes.end(), 0);
        LZHRStream stream;
        stream.attach(&padded.memory);
        Bytes expected(70000);
        ASSERT_TRUE(stream.read(int32_t(expected.size()), expected.data()));
        ASSERT_TRUE(padded.memory.setPosition(0));
        stream.attach(&padded.memory);
        EXPECT_EQ(readInPieces(stream, expected.size(), {1, 61, 4097, 7}), expected);

        CodedSource bare(input);
        stream.attach(&bare.memory);
        Bytes out = readInPieces(stream, expected.size(), {1, 61, 4097, 7});
        EXPECT_LT(out.size(), expected.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin()));
        EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    }
}

TEST(LZHRStream, NoiseDecodesAsThePlainBitAtATimeDecoderDecodesIt) {
    // Noise of several kinds is coded data for trees of every shape: long codes, trades of leaves
    // and of inner nodes near and far from the root, many halvings. The plain decoder keeps its
    // model with linear searches and parent links only, sharing no code with the stream, so any
    // shortcut of the stream's update that goes wrong shows as different bytes, read in place or
    // through a byte-by-byte source.
    struct Kind {
        const char *name;
        uint8_t (*byte)(uint32_t draw);
    };
    const Kind kinds[] = {
        {"uniform", [](uint32_t draw) { return uint8_t(draw >> 8); }},
        {"mostly zero bits",
         [](uint32_t draw) { return uint8_t((draw >> 8) & (draw >> 16) & (draw >> 24)); }},
        {"mostly one bits", [](uint32_t draw) { return uint8_t((draw >> 8) | (draw >> 16) | (draw >> 24)); }},
        {"few byte values", [](uint32_t draw) { return uint8_t(0x41 + (draw >> 8) % 5 * 0x22); }},
    };
    const size_t plainSize = 1500000;
    uint32_t seed = 2024;
    for (const Kind &kind : kinds) {
        Bytes noise(300000);
        for (auto &byte : noise) {
            seed = seed * 1664525u + 1013904223u;
            byte = kind.byte(seed);
        }
        Bytes expected(plainSize);
        BitAtATimeLzh<baseline::MemoryInput> plainDecoder;
        plainDecoder.decode({noise.data(), noise.data() + noise.size()}, expected.data(), expected.size());

        CodedSource direct(noise);
        LZHRStream inPlace;
        inPlace.attach(&direct.memory);
        Bytes out = readInPieces(inPlace, plainSize, {4096, 1, 100000, 77});
        ASSERT_EQ(out.size(), plainSize) << kind.name << ": the noise should be long enough";
        EXPECT_TRUE(out == expected) << kind.name << ", in place";

        CodedSource forwarded(noise);
        ForwardingSource byteByByte(forwarded.memory);
        LZHRStream throughReads;
        throughReads.attach(&byteByByte);
        EXPECT_TRUE(readInPieces(throughReads, plainSize, {plainSize}) == expected)
            << kind.name << ", by reads";
    }
}

TEST(LZHRStream, HugeClaimOverFewBytesStopsWhereTheBytesEnd) {
    // A decoded size far beyond what the data holds costs only the decoding of the data: the one
    // read fails once the bits are used, after at most 60 bytes for each of them.
    Bytes coded(100, 0x5A);
    CodedSource source(coded);
    LZHRStream stream;
    stream.attach(&source.memory);
    Bytes out(1 << 20);
    EXPECT_FALSE(stream.read(int32_t(out.size()), out.data()));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    EXPECT_LE(stream.getPosition(), 100 * 8 * 60);
    EXPECT_EQ(source.memory.getPosition(), source.codedSize);
}

} // namespace

} // namespace qarvex
