// Tests of the RLE expanding stream: packets, packets continued across reads, seeks, the lasting
// failure after the source fails, and the status rules.
#include "ForwardingSource.h"
#include <qarvex/stream/MemRWStream.h>
#include <qarvex/stream/RLERStream.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qarvex {

namespace {

using Bytes = std::vector<uint8_t>;

// Coded bytes with a memory source over exactly them.
struct Coded {
    explicit Coded(Bytes data) : bytes(std::move(data)) {
        memory.attach(int32_t(bytes.size()), bytes.data());
    }
    Bytes bytes;
    MemRWStream memory;
};

Bytes readExactly(RLERStream &stream, int32_t count) {
    Bytes out = Bytes(size_t(count));
    EXPECT_TRUE(stream.read(count, out.data()));
    return out;
}

TEST(RLERStream, ExpandsEachKindOfPacket) {
    struct Case {
        Bytes coded;
        Bytes expanded;
    };
    const Case cases[] = {
        {{0x83, 0x41}, {0x41, 0x41, 0x41}},
        {{0x02, 0x41, 0x42}, {0x41, 0x42}},
        {{0x80, 0x41}, {}},
        {{0x00}, {}},
        // Empty packets in between consume their bytes and produce nothing.
        {{0x80, 0x41, 0x00, 0x81, 0x07, 0x01, 0x09}, {0x07, 0x09}},
        // A control byte of 0x80 + 0x7F inside literal data is data, not a packet.
        {{0x02, 0xFF, 0x80, 0x82, 0x00}, {0xFF, 0x80, 0x00, 0x00}},
    };
    for (const Case &c : cases) {
        Coded coded(c.coded);
        RLERStream stream;
        stream.attach(&coded.memory);
        EXPECT_EQ(readExactly(stream, int32_t(c.expanded.size())), c.expanded);
        EXPECT_EQ(stream.getPosition(), int32_t(c.expanded.size()));
    }
}

TEST(RLERStream, LongestPackets) {
    // A 127-byte run, then a 127-byte literal packet.
    Bytes codedBytes = {0xFF, 0x33, 0x7F};
    Bytes expected(127, 0x33);
    for (int i = 0; i < 127; ++i) {
        codedBytes.push_back(uint8_t(i * 7));
        expected.push_back(uint8_t(i * 7));
    }
    Coded coded(codedBytes);
    RLERStream stream;
    stream.attach(&coded.memory);
    EXPECT_EQ(readExactly(stream, 254), expected);
}

TEST(RLERStream, PacketsContinueAcrossReads) {
    Coded run({0x85, 0x41});
    RLERStream stream;
    stream.attach(&run.memory);
    const int32_t pieces[] = {2, 2, 1};
    int32_t position = 0;
    for (int32_t piece : pieces) {
        EXPECT_EQ(readExactly(stream, piece), Bytes(size_t(piece), 0x41));
        position += piece;
        EXPECT_EQ(stream.getPosition(), position);
    }

    Coded literal({0x04, 0x61, 0x62, 0x63, 0x64});
    stream.attach(&literal.memory);
    EXPECT_EQ(readExactly(stream, 1), Bytes({0x61}));
    EXPECT_EQ(readExactly(stream, 3), Bytes({0x62, 0x63, 0x64}));
}

TEST(RLERStream, ReadingPastTheEndFailsUntilAttachedAgain) {
    Coded coded({0x83, 0x41});
    RLERStream stream;
    stream.attach(&coded.memory);
    uint8_t buffer[4] = {};
    EXPECT_TRUE(stream.read(0, buffer));
    EXPECT_FALSE(stream.read(4, buffer));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    // The bytes delivered before the failure stay delivered.
    EXPECT_EQ(stream.getPosition(), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), Bytes(3, 0x41));
    // Unlike the file and memory streams, a seek does not clear the end of the data.
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_FALSE(stream.read(1, buffer));
    EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);

    ASSERT_TRUE(coded.memory.setPosition(0));
    stream.attach(&coded.memory);
    EXPECT_EQ(stream.getStatus(), StreamIO::Ok);
    EXPECT_EQ(readExactly(stream, 3), Bytes(3, 0x41));
}

TEST(RLERStream, SourceEndingInsideAPacketFails) {
    const Bytes truncated[] = {{0x85}, {0x05, 0x61, 0x62}};
    for (const Bytes &bytes : truncated) {
        Coded coded(bytes);
        RLERStream stream;
        stream.attach(&coded.memory);
        uint8_t buffer[5];
        EXPECT_FALSE(stream.read(5, buffer));
        EXPECT_EQ(stream.getStatus(), StreamIO::EndOfData);
    }
}

TEST(RLERStream, SeeksBackwardsAndForwards) {
    // A run of 100 'a', the literal "hello", runs of 127 and 50 'z', two literals of 100 counting
    // bytes, three runs of 127 'q': 863 bytes.
    Bytes codedBytes = {0x80 | 100, 'a', 5, 'h', 'e', 'l', 'l', 'o', 0xFF, 'z', 0x80 | 50, 'z'};
    Bytes expected(100, 'a');
    for (char c : std::string("hello"))
        expected.push_back(uint8_t(c));
    expected.insert(expected.end(), 177, 'z');
    for (int part = 0; part < 2; ++part) {
        codedBytes.push_back(100);
        for (int i = 0; i < 100; ++i) {
            codedBytes.push_back(uint8_t(part * 100 + i));
            expected.push_back(uint8_t(part * 100 + i));
        }
    }
    for (int run = 0; run < 3; ++run) {
        codedBytes.insert(codedBytes.end(), {0xFF, 'q'});
        expected.insert(expected.end(), 127, 'q');
    }
    ASSERT_EQ(expected.size(), 863u);
    Coded coded(codedBytes);
    RLERStream stream;
    stream.attach(&coded.memory);

    EXPECT_EQ(readExactly(stream, 50), Bytes(50, 'a'));
    // Back to the start from the middle of the first run.
    ASSERT_TRUE(stream.setPosition(0));
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_EQ(readExactly(stream, 102), Bytes(expected.begin(), expected.begin() + 102));
    // Forward over more than one scratch chunk, from inside a literal to inside a run.
    ASSERT_TRUE(stream.setPosition(700));
    EXPECT_EQ(readExactly(stream, 10), Bytes(expected.begin() + 700, expected.begin() + 710));

    // Backwards each time, landing in runs, literals and at the very end.
    const int32_t targets[] = {600, 102, 103, 250, 0, 381, 382, 862, 863};
    for (int32_t target : targets) {
        ASSERT_TRUE(stream.setPosition(target)) << target;
        EXPECT_EQ(stream.getPosition(), target);
        int32_t count = int32_t(expected.size()) - target;
        EXPECT_EQ(readExactly(stream, count), Bytes(expected.begin() + target, expected.end())) << target;
    }
}

TEST(RLERStream, DetachedStreamRefusesEverything) {
    RLERStream stream;
    uint8_t byte = 0;
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.read(0, &byte));
    EXPECT_FALSE(stream.setPosition(0));
    EXPECT_EQ(stream.getPosition(), 0);
    EXPECT_FALSE(stream.flush());
    EXPECT_EQ(stream.getDataPointer(), nullptr);
    EXPECT_FALSE(stream.write(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getPosition(), 0);

    const int32_t answers[][2] = {{0, 7}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 0}, {-3, 0}};
    for (const auto &row : answers)
        EXPECT_EQ(stream.query(row[0]), row[1]) << "code " << row[0];
}

TEST(RLERStream, FailuresLastUntilTheNextAttach) {
    Coded coded({0x83, 0x41, 0x83, 0x42});
    RLERStream stream;
    stream.attach(&coded.memory);
    EXPECT_TRUE(stream.flush());
    EXPECT_EQ(readExactly(stream, 2), Bytes(2, 0x41));
    EXPECT_FALSE(stream.write(1, "x"));
    EXPECT_EQ(stream.getStatus(), StreamIO::NotSupported);
    uint8_t byte;
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_FALSE(stream.setPosition(0));

    stream.attach(&coded.memory); // continues from the source's position: the second packet
    EXPECT_EQ(readExactly(stream, 3), Bytes(3, 0x42));
    EXPECT_FALSE(stream.setPosition(-1));
    EXPECT_FALSE(stream.read(1, &byte));

    stream.close();
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);
    EXPECT_EQ(stream.getPosition(), 0);

    MemRWStream closed;
    stream.attach(&closed);
    EXPECT_EQ(stream.getStatus(), StreamIO::Closed);
    EXPECT_FALSE(stream.read(1, &byte));
    stream.attach(nullptr);
    EXPECT_EQ(stream.getStatus(), StreamIO::NoSource);
}

// A source whose reads fail without it reporting a status.
class SilentlyFailingSource : public StreamIO {
public:
    bool read(int32_t, void *) override { return false; }
};

TEST(RLERStream, SourceFailingWithoutAStatusStillFailsTheStream) {
    SilentlyFailingSource source;
    RLERStream stream;
    stream.attach(&source);
    uint8_t byte;
    EXPECT_FALSE(stream.read(1, &byte));
    EXPECT_EQ(stream.getStatus(), StreamIO::IOError);
    EXPECT_FALSE(stream.read(1, &byte));
}

TEST(RLERStream, MemorySourceReadInPlaceEndsEveryReadLikeItsOwnReads) {
    // Runs and literals of every length, then the same bytes cut inside a literal, inside a run's
    // pair of bytes and right after a control byte: after every read the memory stream read in
    // place must stand where reading through it leaves it, with the same status and output.
    Bytes whole;
    for (int length = 0; length < 128; ++length) {
        whole.push_back(uint8_t(0x80 | length));
        whole.push_back(uint8_t(length * 3));
        whole.push_back(uint8_t(length));
        for (int i = 0; i < length; ++i)
            whole.push_back(uint8_t(i * 7 + length));
    }
    const size_t cuts[] = {whole.size(), whole.size() - 5, 3, 2, 1, 0};
    for (size_t cut : cuts) {
        for (int32_t piece : {1, 2, 63, 130, 4096}) {
            SCOPED_TRACE(testing::Message() << "cut " << cut << ", piece " << piece);
            Bytes coded(whole.begin(), whole.begin() + long(cut));
            Coded direct(coded), forwarded(coded);
            ForwardingSource throughReads(forwarded.memory);
            RLERStream inPlace, reference;
            inPlace.attach(&direct.memory);
            reference.attach(&throughReads);
            for (int step = 0; step < 20000; ++step) {
                Bytes a(size_t(piece), 0xEE), b(size_t(piece), 0xEE);
                bool readA = inPlace.read(piece, a.data());
                bool readB = reference.read(piece, b.data());
                ASSERT_EQ(readA, readB) << "step " << step;
                ASSERT_EQ(a, b) << "step " << step;
                ASSERT_EQ(direct.memory.getPosition(), forwarded.memory.getPosition()) << "step " << step;
                ASSERT_EQ(direct.memory.getStatus(), forwarded.memory.getStatus()) << "step " << step;
                ASSERT_EQ(inPlace.getStatus(), reference.getStatus()) << "step " << step;
                ASSERT_EQ(inPlace.getPosition(), reference.getPosition()) << "step " << step;
                if (!readA)
                    break;
            }
        }
    }
}

} // namespace

} // namespace qarvex
