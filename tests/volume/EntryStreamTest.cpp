// Entry streams: opening entries by record, name and id, reading them through the volume or the
// stream handed out, and what a closed or refused entry leaves behind.
#include "VolumeFixtures.h"

#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <gtest/gtest.h>

#include <string>

namespace qarvex {

using namespace fixture;

namespace {

class EntryStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        VolumeBuilder builder;
        builder.add(10, "Ten.bin", "0123456789");
        builder.add(0, "noid.txt", "no id here");
        builder.add(20, nullptr, "nameless");
        builder.add(30, "string.dat", std::string("\x05hello", 6));
        builder.addCoded(40, "packed.rle", 3, 1, {0x83, 0x41});
        builder.addCoded(50, "packed.lzh", 5, 3, {1, 2, 3});
        builder.addCoded(60, "odd.bin", 2, 2, {7, 7});
        ASSERT_TRUE(volume.open(scratch.write("e.vol", builder.build(VolumeBuilder::Variant::PVOL)).c_str()));
    }
    std::string readAll(StreamIO &stream, int32_t count) {
        std::string out(size_t(count), '\0');
        EXPECT_TRUE(stream.read(count, out.data()));
        return out;
    }
    Scratch scratch;
    VolumeRStream volume;
};

TEST_F(EntryStreamTest, NothingIsReadableBeforeAnEntryIsOpen) {
    char byte;
    EXPECT_EQ(volume.getStatus(), StreamIO::NoSource);
    EXPECT_FALSE(volume.read(1, &byte));
    EXPECT_FALSE(volume.setPosition(0));
    EXPECT_EQ(volume.getPosition(), 0);
    EXPECT_EQ(volume.query(StreamIO::QueryKind), 0);
    EXPECT_EQ(volume.getEntrySize(), 0);
}

TEST_F(EntryStreamTest, StoredEntryReadsItsBytesThenEndOfData) {
    ASSERT_TRUE(volume.openEntry("ten.BIN", false));
    EXPECT_EQ(volume.getEntrySize(), 10);
    EXPECT_EQ(readAll(volume, 10), "0123456789");
    char byte;
    EXPECT_FALSE(volume.read(1, &byte));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(volume.getLastCount(), 0);
}

TEST_F(EntryStreamTest, PositionAndQueryGoToTheEntryStream) {
    ASSERT_TRUE(volume.openEntryById(10));
    EXPECT_EQ(volume.query(StreamIO::QueryKind), StreamIO::KindMemory);
    ASSERT_TRUE(volume.setPosition(7));
    EXPECT_EQ(volume.getPosition(), 7);
    EXPECT_EQ(readAll(volume, 3), "789");
    EXPECT_FALSE(volume.setPosition(11)); // past the stored bytes
    EXPECT_EQ(volume.getDataPointer(), nullptr);
}

TEST_F(EntryStreamTest, HandedOutStreamIsTheVolumesOwn) {
    StreamIO *inner = volume.openEntryStream("TEN.bin", false);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner, volume.currentStream());
    EXPECT_EQ(readAll(*inner, 4), "0123");
    EXPECT_EQ(readAll(volume, 4), "4567"); // one cursor, shared
    EXPECT_EQ(volume.openEntryStreamById(10), inner);
    EXPECT_EQ(volume.openEntryStream("missing", true), nullptr);
    EXPECT_EQ(volume.openEntryStreamById(99), nullptr);
}

TEST_F(EntryStreamTest, CloseEndsTheEntry) {
    ASSERT_TRUE(volume.openEntry("Ten.bin", true));
    volume.close();
    char byte;
    EXPECT_FALSE(volume.read(1, &byte));
    EXPECT_EQ(volume.getEntrySize(), 0);
    EXPECT_EQ(volume.getStatus(), StreamIO::Closed);
}

TEST_F(EntryStreamTest, LookupsByNameAndId) {
    struct Case {
        const char *name;
        uint32_t id;
        bool byName;
        bool byId;
        int32_t size;
    } cases[] = {
        {"noid.txt", 0, true, false, 10}, // id 0 is never found
        {nullptr, 20, false, true, 8},    // an entry without a name only by id
        {"STRING.DAT", 30, true, true, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        if (c.name) {
            EXPECT_EQ(volume.openEntry(c.name, false), c.byName);
            EXPECT_EQ(volume.entrySizeByName(c.name), c.size);
        }
        EXPECT_EQ(volume.openEntryById(c.id), c.byId);
        EXPECT_EQ(volume.entrySizeById(c.id), c.byId ? c.size : -1);
    }
    EXPECT_EQ(volume.entrySizeByName("missing"), -1);
    EXPECT_FALSE(volume.openItem(nullptr));
}

TEST_F(EntryStreamTest, ReadStringGoesThroughTheEntry) {
    ASSERT_TRUE(volume.openEntry("string.dat", false));
    char text[256];
    EXPECT_EQ(volume.readString(text), 5);
    EXPECT_STREQ(text, "hello");
}

TEST_F(EntryStreamTest, WriteIsRefusedAndLeavesTheEntryReadable) {
    ASSERT_TRUE(volume.openEntry("Ten.bin", false));
    EXPECT_FALSE(volume.write(2, "xx"));
    EXPECT_EQ(volume.getStatus(), StreamIO::Ok);
    EXPECT_EQ(readAll(volume, 2), "01");
}

TEST_F(EntryStreamTest, UndefinedCompressionCodeIsRefused) {
    // A refused entry must not leave the previous entry's stream readable over its bytes.
    ASSERT_TRUE(volume.openEntry("Ten.bin", false));
    EXPECT_FALSE(volume.openEntry("odd.bin", false));
    char byte;
    EXPECT_FALSE(volume.read(1, &byte));
    EXPECT_NE(volume.getStatus(), StreamIO::Ok);
    EXPECT_EQ(volume.entrySizeByName("odd.bin"), 2); // still sized from the record
    // The coded entries open through their decoders.
    EXPECT_TRUE(volume.openEntry("packed.rle", false));
    EXPECT_TRUE(volume.openEntry("packed.lzh", false));
}

TEST_F(EntryStreamTest, NegativeCountFromADamagedSizeReadsNothing) {
    // Sizes come from the file: a reader that trusts one must not get a huge copy.
    VolumeBuilder builder;
    builder.addCoded(1, "minus.bin", -5, VolumeStream::Stored, {1, 2, 3});
    builder.addCoded(2, "minus.rle", -5, VolumeStream::RLE, {0x83, 0x41});
    ASSERT_TRUE(volume.open(scratch.write("minus.vol", builder.build(VolumeBuilder::Variant::PVOL)).c_str()));
    for (uint32_t id : {1u, 2u}) {
        ASSERT_TRUE(volume.openEntryById(id));
        EXPECT_EQ(volume.getEntrySize(), -5);
        char buffer[8];
        EXPECT_FALSE(volume.read(volume.getEntrySize(), buffer));
        EXPECT_EQ(volume.getStatus(), StreamIO::Ok);
        EXPECT_TRUE(volume.read(3, buffer));
    }
}

TEST_F(EntryStreamTest, IdFileNameIsEightUpperCaseHexDigits) {
    char buffer[12];
    EXPECT_STREQ(VolumeRStream::idFileName(255, buffer), "000000FF.*");
    EXPECT_STREQ(VolumeRStream::idFileName(0xDEADBEEF, buffer), "DEADBEEF.*");
}

TEST_F(EntryStreamTest, EmptyEntryOpensAndReadsNothing) {
    VolumeBuilder builder;
    builder.add(1, "empty", "");
    ASSERT_TRUE(
        volume.open(scratch.write("empty.vol", builder.build(VolumeBuilder::Variant::OldVOL)).c_str()));
    ASSERT_TRUE(volume.openEntry("EMPTY", false));
    EXPECT_EQ(volume.getEntrySize(), 0);
    char byte;
    EXPECT_TRUE(volume.read(0, &byte));
    EXPECT_FALSE(volume.read(1, &byte));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
}

} // namespace

} // namespace qarvex
