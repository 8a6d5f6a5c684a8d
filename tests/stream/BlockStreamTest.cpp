// Block streams: reading blocks by tag or whatever they are, bounds and positions inside a block,
// leaving the inner stream at the right place, and finishing written blocks with their size and
// padding. Fixtures are built from tag, size word and data.
#include <qarvex/core/LittleEndian.h>
#include <qarvex/stream/BlockStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace qarvex {

namespace {

constexpr uint32_t Pad4 = BlockStream::PadTo4;

std::string header(const char (&tag)[5], uint32_t sizeWord) {
    uint8_t bytes[8];
    le::write32(bytes, le::tag(tag));
    le::write32(bytes + 4, sizeWord);
    return std::string(reinterpret_cast<char *>(bytes), 8);
}

// A whole block: header, data and zero padding to the unit its size word chooses.
std::string block(const char (&tag)[5], const std::string &data, uint32_t padFlag = 0) {
    size_t unit = padFlag ? 4 : 2;
    size_t padded = (data.size() + unit - 1) / unit * unit;
    return header(tag, uint32_t(data.size()) | padFlag) + data + std::string(padded - data.size(), '\0');
}

// A memory region holding the given bytes, with a stream over it.
struct Region {
    explicit Region(const std::string &bytes, size_t room = 0) : storage(bytes.begin(), bytes.end()) {
        storage.resize(std::max(storage.size(), room), uint8_t(0xEE));
        memory.attach(int32_t(storage.size()), storage.data());
    }
    std::string text(size_t from, size_t count) const {
        return std::string(reinterpret_cast<const char *>(storage.data()) + from, count);
    }

    std::vector<uint8_t> storage;
    MemRWStream memory;
};

// An inner stream over a memory stream that can be told to refuse seeks or writes and to say it
// cannot seek, and that counts what it is asked to do.
class ProbeStream : public StreamIO {
public:
    explicit ProbeStream(MemRWStream &under) : under(under) {}

    int32_t getStatus() override { return under.getStatus(); }
    int32_t getPosition() override { return under.getPosition(); }
    bool setPosition(int32_t position) override {
        ++seeks;
        if (refuseSeeks || position > seekLimit)
            return false;
        return under.setPosition(position);
    }
    int32_t query(int32_t code) override { return code == QueryCanSeek ? canSeek : under.query(code); }
    bool read(int32_t count, void *buffer) override {
        ++reads;
        return under.read(count, buffer);
    }
    bool write(int32_t count, const void *buffer) override {
        ++writes;
        return !refuseWrites && under.write(count, buffer);
    }

    MemRWStream &under;
    int32_t canSeek = 1;
    bool refuseSeeks = false;
    bool refuseWrites = false;
    int32_t seekLimit = INT32_MAX;
    int seeks = 0, reads = 0, writes = 0;
};

std::string readText(StreamIO &stream, int32_t count) {
    std::string bytes(size_t(count), '\0');
    EXPECT_TRUE(stream.read(count, bytes.data()));
    return bytes;
}

} // namespace

TEST(BlockRStream, ClosedUntilOpened) {
    BlockRStream reader;
    char byte;
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
    EXPECT_EQ(reader.getPosition(), 0);
    EXPECT_FALSE(reader.read(1, &byte));
    EXPECT_FALSE(reader.write(1, &byte));
    EXPECT_FALSE(reader.setPosition(0));
    EXPECT_FALSE(reader.flush());
    EXPECT_EQ(reader.query(StreamIO::QueryKind), 0);
    EXPECT_EQ(reader.getDataPointer(), nullptr);
    reader.close();
    reader.abandon();
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
}

TEST(BlockRStream, OpenAnyReadsTheHeaderAndShowsTheData) {
    Region region(block("vols", "names\0"));
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    EXPECT_EQ(reader.blockId, le::tag("vols"));
    EXPECT_EQ(reader.blockId, 0x736C6F76u);
    EXPECT_EQ(reader.blockSize, 5u);
    EXPECT_EQ(reader.getStatus(), StreamIO::Ok);
    EXPECT_EQ(reader.getPosition(), 0);
    EXPECT_EQ(reader.query(StreamIO::QueryKind), 4); // the inner stream answers
    EXPECT_EQ(reader.getDataPointer(), region.storage.data() + 8);
    EXPECT_EQ(readText(reader, 5), "names");
    EXPECT_EQ(reader.getLastCount(), 5);
    EXPECT_TRUE(reader.flush());
}

TEST(BlockRStream, TheBlockEndFollowsThePaddingUnit) {
    struct Case {
        uint32_t length;
        uint32_t padFlag;
        int32_t end;
    };
    const Case cases[] = {{5, 0, 14},    {5, Pad4, 16}, {4, 0, 12}, {4, Pad4, 12}, {6, Pad4, 16},
                          {7, Pad4, 16}, {1, 0, 10},    {0, 0, 8},  {0, Pad4, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + (c.padFlag ? " padded to 4" : " padded to 2"));
        Region region("xx" + header("data", c.length | c.padFlag), 64);
        ASSERT_TRUE(region.memory.setPosition(2));
        BlockRStream reader;
        ASSERT_TRUE(reader.openAny(&region.memory));
        reader.close();
        EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
        EXPECT_EQ(region.memory.getPosition(), 2 + c.end);
    }
}

TEST(BlockRStream, AReadPastTheDataEndDeliversTheRestThenFails) {
    Region region(block("four", "abcd") + block("next", "zz"));
    BlockRStream reader;
    ASSERT_TRUE(reader.open(&region.memory, le::tag("four")));
    char got[10] = {};
    EXPECT_TRUE(reader.read(10, got));
    EXPECT_STREQ(got, "abcd");
    EXPECT_EQ(reader.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(reader.getLastCount(), 4);
    EXPECT_FALSE(reader.read(1, got));
    EXPECT_EQ(reader.getLastCount(), 0);
    EXPECT_EQ(reader.getPosition(), 4);
}

TEST(BlockRStream, PositionsBeyondTheDataAreClippedToItsEnd) {
    for (int32_t before : {0, 1, 4}) {
        SCOPED_TRACE(before);
        Region region(block("four", "abcd"));
        BlockRStream reader;
        ASSERT_TRUE(reader.openAny(&region.memory));
        ASSERT_TRUE(reader.setPosition(before));
        EXPECT_TRUE(reader.setPosition(4 + 3));
        EXPECT_EQ(reader.getPosition(), 4);
        EXPECT_EQ(reader.getStatus(), StreamIO::EndOfData);
    }
}

TEST(BlockRStream, ANegativePositionIsNotSupportedAndStays) {
    Region region(block("four", "abcd"));
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    EXPECT_FALSE(reader.setPosition(-1));
    EXPECT_EQ(reader.getStatus(), StreamIO::NotSupported);
    EXPECT_FALSE(reader.setPosition(0));
    EXPECT_EQ(reader.getPosition(), 0); // reported as 0 outside status 0 and 2
}

TEST(BlockRStream, EndOfDataLastsUntilTheBlockReallyMoves) {
    Region region(block("four", "abcd"));
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    char got[8];
    ASSERT_TRUE(reader.read(8, got));
    ASSERT_EQ(reader.getStatus(), StreamIO::EndOfData);
    EXPECT_TRUE(reader.setPosition(4));
    EXPECT_EQ(reader.getStatus(), StreamIO::EndOfData);
    EXPECT_TRUE(reader.setPosition(1));
    EXPECT_EQ(reader.getStatus(), StreamIO::Ok);
    EXPECT_EQ(readText(reader, 3), "bcd");
}

TEST(BlockRStream, AnotherTagSkipsTheBlock) {
    Region region(block("voli", "12345", Pad4) + block("vols", "ab"));
    BlockRStream reader;
    EXPECT_FALSE(reader.open(&region.memory, le::tag("vols")));
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
    EXPECT_EQ(region.memory.getPosition(), 16);
    ASSERT_TRUE(reader.open(&region.memory, le::tag("vols")));
    EXPECT_EQ(readText(reader, 2), "ab");
}

TEST(BlockRStream, AbandonLeavesTheInnerStreamAtTheHeader) {
    Region region("pre" + block("PERS", "object"));
    ASSERT_TRUE(region.memory.setPosition(3));
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    readText(reader, 2);
    reader.abandon();
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
    EXPECT_EQ(region.memory.getPosition(), 3);
    BlockRStream again;
    ASSERT_TRUE(again.open(&region.memory, le::tag("PERS")));
    EXPECT_EQ(readText(again, 6), "object");
}

TEST(BlockRStream, ClosingAfterAPartialReadMovesPastThePadding) {
    Region region(block("DICT", "12345", Pad4) + "after");
    {
        BlockRStream reader;
        ASSERT_TRUE(reader.openAny(&region.memory));
        readText(reader, 2);
    } // the destructor closes
    EXPECT_EQ(region.memory.getPosition(), 16);
    EXPECT_EQ(readText(region.memory, 5), "after");
}

TEST(BlockRStream, ClosingOverAStreamThatCannotSeekReadsUpToTheEnd) {
    Region region(block("DICT", "12345") + "after");
    ProbeStream probe(region.memory);
    probe.canSeek = 0;
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&probe));
    readText(reader, 1);
    int seeksBefore = probe.seeks;
    reader.close();
    EXPECT_EQ(probe.seeks, seeksBefore);
    EXPECT_EQ(region.memory.getPosition(), 14);

    // At the end of the inner stream the skip stops quietly at the first failed read.
    Region cut(block("DICT", "12345").substr(0, 10));
    ProbeStream cutProbe(cut.memory);
    cutProbe.canSeek = 0;
    ASSERT_TRUE(reader.openAny(&cutProbe));
    int readsBefore = cutProbe.reads;
    reader.close();
    EXPECT_EQ(cutProbe.reads - readsBefore, 3);
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
}

TEST(BlockRStream, ALengthOfZeroSetsNoBoundButTheBlockEndsAfterItsHeader) {
    Region region(header("open", 0) + "0123456789");
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    EXPECT_EQ(readText(reader, 10), "0123456789");
    EXPECT_EQ(reader.getStatus(), StreamIO::Ok);
    EXPECT_TRUE(reader.setPosition(7));
    EXPECT_EQ(reader.getStatus(), StreamIO::Ok);
    reader.close();
    EXPECT_EQ(region.memory.getPosition(), 8);
}

TEST(BlockRStream, TwoBlocksReadAlternatelyKeepTheirPlaces) {
    Region region(block("aaaa", "ABCDEF") + block("bbbb", "uvwxyz"));
    BlockRStream first, second;
    ASSERT_TRUE(first.openAny(&region.memory));
    ASSERT_TRUE(region.memory.setPosition(14));
    ASSERT_TRUE(second.openAny(&region.memory));
    std::string a, b;
    for (int i = 0; i < 3; ++i) {
        a += readText(first, 2);
        b += readText(second, 2);
    }
    EXPECT_EQ(a, "ABCDEF");
    EXPECT_EQ(b, "uvwxyz");
}

TEST(BlockRStream, OpeningFailsWithoutAWholeHeaderOrOnAFailedStream) {
    Region shortRegion(header("vols", 4).substr(0, 5));
    BlockRStream reader;
    EXPECT_FALSE(reader.openAny(&shortRegion.memory));
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
    EXPECT_FALSE(reader.isOpen());

    Region region(block("vols", "ab"));
    char byte;
    region.memory.setPosition(region.memory.size());
    region.memory.read(1, &byte); // the inner stream is now at its end, status 2
    EXPECT_FALSE(reader.openAny(&region.memory));
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);

    MemRWStream closed;
    EXPECT_FALSE(reader.open(&closed, le::tag("vols")));
}

TEST(BlockRStream, AFailingInnerStreamGivesAnIOError) {
    // With no length the block reads on until the inner stream runs out.
    Region region(header("open", 0) + "abc");
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    char got[8] = {};
    EXPECT_FALSE(reader.read(5, got));
    EXPECT_EQ(reader.getStatus(), StreamIO::IOError);
    EXPECT_EQ(reader.getPosition(), 0); // reported as 0 outside status 0 and 2
    EXPECT_FALSE(reader.setPosition(0));
    reader.close();
    EXPECT_EQ(reader.getStatus(), StreamIO::Closed);
}

TEST(BlockRStream, AMovedInnerStreamIsBroughtBackBeforeEachRead) {
    Region region(block("aaaa", "ABCDEF"));
    BlockRStream reader;
    ASSERT_TRUE(reader.openAny(&region.memory));
    readText(reader, 2);
    ASSERT_TRUE(region.memory.setPosition(0));
    EXPECT_EQ(readText(reader, 2), "CD");

    reader.close();
    ProbeStream probe(region.memory);
    ASSERT_TRUE(region.memory.setPosition(0));
    ASSERT_TRUE(reader.openAny(&probe));
    probe.refuseSeeks = true;
    ASSERT_TRUE(region.memory.setPosition(2));
    char byte;
    EXPECT_FALSE(reader.read(1, &byte));
    EXPECT_EQ(reader.getStatus(), StreamIO::IOError);
    reader.close(); // while the probe still exists
}

TEST(BlockRStream, NestedBlockHeaderCutByItsParentReadsTheMissingBytesAsZero) {
    // The parent holds only four bytes of what would be the child's header.
    Region region(block("PERS", "abcd"));
    BlockRStream parent, child;
    ASSERT_TRUE(parent.openAny(&region.memory));
    ASSERT_TRUE(child.openAny(&parent));
    EXPECT_EQ(child.blockId, le::tag("abcd"));
    EXPECT_EQ(child.blockSize, 0u);
}

TEST(BlockRWStream, FinishingABlockWithoutALengthWritesItIn) {
    Region region("", 32);
    BlockRWStream writer;
    ASSERT_TRUE(writer.begin(&region.memory, le::tag("vols")));
    EXPECT_EQ(writer.getStatus(), StreamIO::Ok);
    EXPECT_EQ(writer.getPosition(), 0);
    EXPECT_EQ(region.text(0, 8), header("vols", 0));
    ASSERT_TRUE(writer.write(5, "names"));
    EXPECT_EQ(writer.getLastCount(), 5);
    writer.close();
    EXPECT_EQ(writer.getStatus(), StreamIO::Closed);
    EXPECT_EQ(region.text(0, 13), header("vols", 5) + "names");
    EXPECT_EQ(region.memory.getPosition(), 14);
    EXPECT_EQ(region.storage[13], 0xEE); // skipped padding keeps what the stream held
}

TEST(BlockRWStream, FinishingKeepsThePaddingFlag) {
    Region region("", 32);
    BlockRWStream writer;
    ASSERT_TRUE(writer.begin(&region.memory, le::tag("voli"), Pad4));
    ASSERT_TRUE(writer.write(5, "12345"));
    writer.close();
    EXPECT_EQ(region.text(0, 8), header("voli", 5 | Pad4));
    EXPECT_EQ(region.memory.getPosition(), 16);
}

TEST(BlockRWStream, WrittenBlocksReadBack) {
    Region region("", 64);
    {
        BlockRWStream writer;
        ASSERT_TRUE(writer.begin(&region.memory, le::tag("vols")));
        ASSERT_TRUE(writer.writeString("a.dat"));
        writer.close();
        ASSERT_TRUE(writer.begin(&region.memory, le::tag("voli"), 8 | Pad4));
        ASSERT_TRUE(writer.write(8, "\1\0\0\0\2\0\0\0"));
    } // the destructor finishes the second block
    EXPECT_EQ(region.memory.getPosition(), 8 + 6 + 8 + 8);

    ASSERT_TRUE(region.memory.setPosition(0));
    BlockRStream reader;
    ASSERT_TRUE(reader.open(&region.memory, le::tag("vols")));
    char name[256];
    EXPECT_EQ(reader.readString(name), 5);
    EXPECT_STREQ(name, "a.dat");
    reader.close();
    ASSERT_TRUE(reader.open(&region.memory, le::tag("voli")));
    EXPECT_EQ(reader.dataLength(), 8u);
    uint8_t words[8];
    ASSERT_TRUE(reader.read(8, words));
    EXPECT_EQ(le::read32(words + 4), 2u);
}

TEST(BlockRWStream, WritesStopAtADeclaredLength) {
    Region region("", 32);
    BlockRWStream writer;
    ASSERT_TRUE(writer.begin(&region.memory, le::tag("four"), 4));
    EXPECT_TRUE(writer.write(6, "abcdef"));
    EXPECT_EQ(writer.getLastCount(), 4);
    EXPECT_EQ(writer.getStatus(), StreamIO::EndOfData);
    EXPECT_FALSE(writer.write(1, "g")); // writing needs status 0
    writer.close();
    EXPECT_EQ(region.text(0, 12), header("four", 4) + "abcd");
    EXPECT_EQ(region.memory.getPosition(), 12);
}

TEST(BlockRWStream, BeginNeedsAUsableInnerStreamWithRoomForTheHeader) {
    BlockRWStream writer;
    MemRWStream closed;
    EXPECT_FALSE(writer.begin(&closed, le::tag("vols")));
    Region tiny("", 6);
    EXPECT_FALSE(writer.begin(&tiny.memory, le::tag("vols")));
    EXPECT_EQ(writer.getStatus(), StreamIO::Closed);
    EXPECT_FALSE(writer.write(1, "x"));
}

TEST(BlockRWStream, AHeaderThatCannotBeRewrittenLeavesTheInnerStreamAlone) {
    for (bool refuseSeek : {true, false}) {
        SCOPED_TRACE(refuseSeek ? "seek refused" : "write refused");
        Region region("", 32);
        ProbeStream probe(region.memory);
        BlockRWStream writer;
        ASSERT_TRUE(writer.begin(&probe, le::tag("vols")));
        ASSERT_TRUE(writer.write(5, "names"));
        probe.refuseSeeks = refuseSeek;
        probe.refuseWrites = true;
        int writesBefore = probe.writes;
        int32_t innerBefore = region.memory.getPosition();
        writer.close();
        EXPECT_EQ(writer.getStatus(), StreamIO::Closed);
        EXPECT_EQ(probe.writes - writesBefore, refuseSeek ? 0 : 1); // only the refused header
        EXPECT_EQ(region.memory.getPosition(), refuseSeek ? innerBefore : 0);
        EXPECT_EQ(region.text(0, 13), header("vols", 0) + "names");
    }
}

TEST(BlockRWStream, OverAStreamThatCannotSeekThePaddingIsWrittenAsZeros) {
    Region region("", 32);
    ProbeStream probe(region.memory);
    probe.canSeek = 0;
    BlockRWStream writer;
    ASSERT_TRUE(writer.begin(&probe, le::tag("data"), 6 | Pad4));
    ASSERT_TRUE(writer.write(6, "abcdef"));
    int writesBefore = probe.writes;
    writer.close();
    EXPECT_EQ(probe.writes - writesBefore, 2);
    EXPECT_EQ(region.text(8, 8), std::string("abcdef\0\0", 8));
    EXPECT_EQ(region.memory.getPosition(), 16);
}

TEST(BlockRWStream, OverAStreamThatCannotSeekDeclaredButUnwrittenDataIsZeroed) {
    Region region("", 32);
    ProbeStream probe(region.memory);
    probe.canSeek = 0;
    BlockRWStream writer;
    ASSERT_TRUE(writer.begin(&probe, le::tag("data"), 6 | Pad4));
    ASSERT_TRUE(writer.write(3, "abc"));
    writer.close();
    EXPECT_EQ(region.text(8, 8), std::string("abc\0\0\0\0\0", 8));
    EXPECT_EQ(region.memory.getPosition(), 16);
}

TEST(BlockRWStream, FinishingNeverZeroesTheDataJustWritten) {
    // The header goes back in, but the inner stream then cannot (or will not say it can) reach
    // the block end: the data must survive.
    struct Case {
        const char *what;
        int32_t canSeek;
        int32_t seekLimit;
    };
    for (const Case c : {Case{"says it cannot seek", 0, INT32_MAX}, Case{"seek falls short", 1, 8}}) {
        SCOPED_TRACE(c.what);
        Region region("", 32);
        ProbeStream probe(region.memory);
        BlockRWStream writer;
        ASSERT_TRUE(writer.begin(&probe, le::tag("vols")));
        ASSERT_TRUE(writer.write(5, "names"));
        probe.canSeek = c.canSeek;
        probe.seekLimit = c.seekLimit;
        writer.close();
        EXPECT_EQ(writer.getStatus(), StreamIO::Closed);
        EXPECT_EQ(region.text(0, 13), header("vols", 5) + "names");
    }
}

TEST(BlockRWStream, ClosingWithNothingOpenDoesNothing) {
    BlockRWStream writer;
    writer.close();
    EXPECT_EQ(writer.getStatus(), StreamIO::Closed);
}

} // namespace qarvex
