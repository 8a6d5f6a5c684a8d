// Compressed entries: RLE and LZH entries of both volume variants read back decoded through the
// volume, by name and by id, in one read and in pieces, after seeks, and what opening, closing and
// switching entries leaves attached.
#include "VolumeFixtures.h"

#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <new>
#include <string>
#include <vector>

using namespace qarvex;

using namespace fixture;

// Counts allocations through operator new while a test asks for it, so that a test can tell that
// opening an entry allocates nothing. Kept out of line: inlined, the compiler would see free()
// called on what operator new returned and warn about a mismatch.
namespace {
std::atomic<bool> countingNew{false};
std::atomic<int> newCalls{0};
} // namespace

[[gnu::noinline]] void *operator new(size_t size) {
    if (countingNew)
        ++newCalls;
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
[[gnu::noinline]] void *operator new(size_t size, const std::nothrow_t &) noexcept {
    if (countingNew)
        ++newCalls;
    return std::malloc(size ? size : 1);
}
[[gnu::noinline]] void operator delete(void *memory) noexcept {
    std::free(memory);
}
[[gnu::noinline]] void operator delete(void *memory, size_t) noexcept {
    std::free(memory);
}
[[gnu::noinline]] void operator delete(void *memory, const std::nothrow_t &) noexcept {
    std::free(memory);
}

namespace {

Bytes loadData(const std::string &name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// RLE packets: 0x80 + n repeats the next byte n times, n below 0x80 copies n bytes.
Bytes run(uint8_t count, char value) {
    return Bytes{uint8_t(0x80 | count), uint8_t(value)};
}
Bytes literal(std::string_view bytes) {
    return Bytes{uint8_t(bytes.size())} + text(bytes);
}

struct EntrySpec {
    uint32_t id;
    const char *name;
    uint8_t compression;
    Bytes coded;
    Bytes plain;
};

// The entries every volume of these tests holds: stored, RLE and LZH, small and large.
std::vector<EntrySpec> entrySpecs() {
    Bytes rlePlain = text("abc") + Bytes(5, 'z') + Bytes(127, 'q') + text("end");
    Bytes rleCoded = literal("abc") + run(5, 'z') + Bytes{0x00} /* empty literal */ +
                     Bytes{0x80, 0x55} /* empty run */ + run(127, 'q') + literal("end");
    return {
        {1, "Stored.TXT", VolumeStream::Stored, text("stored bytes"), text("stored bytes")},
        {2, "three.rle", VolumeStream::RLE, {0x83, 0x41}, text("AAA")},
        {3, "Packets.rle", VolumeStream::RLE, rleCoded, rlePlain},
        {4, "hello.lzh", VolumeStream::LZH, loadData("hello.lzh"), loadData("hello.txt")},
        {5, "Prose.LZH", VolumeStream::LZH, loadData("prose.lzh"), loadData("prose.txt")},
        {6, "run.lzh", VolumeStream::LZH, loadData("run.lzh"), loadData("run.bin")},
        {7, "spaces.lzh", VolumeStream::LZH, loadData("spaces.lzh"), loadData("spaces.txt")},
        {8, "one.lzh", VolumeStream::LZH, loadData("one.lzh"), loadData("one.bin")},
        {9, "empty.lzh", VolumeStream::LZH, {}, {}},
    };
}

std::string flipCase(std::string name) {
    for (char &c : name)
        c = char(std::isupper(uint8_t(c)) ? std::tolower(uint8_t(c)) : std::toupper(uint8_t(c)));
    return name;
}

class CompressedEntryTest : public ::testing::TestWithParam<VolumeBuilder::Variant> {
protected:
    void SetUp() override {
        specs = entrySpecs();
        VolumeBuilder builder;
        for (const EntrySpec &planned : specs) {
            if (planned.compression == VolumeStream::Stored)
                builder.add(planned.id, planned.name,
                            std::string(planned.plain.begin(), planned.plain.end()));
            else
                builder.addCoded(planned.id, planned.name, int32_t(planned.plain.size()), planned.compression,
                                 planned.coded);
        }
        builder.addCoded(20, "two.bin", 2, 2, {7, 7}); // code 2 is not defined
        ASSERT_TRUE(volume.open(scratch.write("c.vol", builder.build(GetParam())).c_str()));
    }
    const EntrySpec &planned(const char *name) const {
        return *std::find_if(specs.begin(), specs.end(),
                             [name](const EntrySpec &s) { return std::string(s.name) == name; });
    }
    Bytes readBytes(StreamIO &stream, size_t count) {
        Bytes out(count);
        EXPECT_TRUE(stream.read(int32_t(count), out.data()));
        return out;
    }
    // Reads count bytes in pieces whose sizes cycle through sizes; stops at the first failure.
    Bytes readInPieces(StreamIO &stream, size_t count, std::initializer_list<int32_t> sizes) {
        Bytes out;
        for (auto size = sizes.begin(); out.size() < count;) {
            Bytes piece(std::min(size_t(*size), count - out.size()));
            if (!stream.read(int32_t(piece.size()), piece.data()))
                break;
            out.insert(out.end(), piece.begin(), piece.end());
            if (++size == sizes.end())
                size = sizes.begin();
        }
        return out;
    }

    Scratch scratch;
    InspectedVolume volume;
    std::vector<EntrySpec> specs;
};

TEST_P(CompressedEntryTest, EveryEntryReadsBackByNameInAnyCaseAndById) {
    for (const EntrySpec &s : specs) {
        SCOPED_TRACE(s.name);
        int32_t size = int32_t(s.plain.size());
        int32_t kind = s.compression == VolumeStream::Stored ? StreamIO::KindMemory
                       : s.compression == VolumeStream::RLE  ? StreamIO::KindRLE
                                                             : StreamIO::KindLZH;
        for (const std::string &name : {std::string(s.name), flipCase(s.name)}) {
            ASSERT_TRUE(volume.openEntry(name.c_str(), false)) << name;
            EXPECT_EQ(volume.getEntrySize(), size);
            EXPECT_EQ(volume.query(StreamIO::QueryKind), kind);
            EXPECT_EQ(readBytes(volume, s.plain.size()), s.plain);
            EXPECT_EQ(volume.getPosition(), size);
            EXPECT_EQ(volume.entrySizeByName(name.c_str()), size);
        }
        ASSERT_TRUE(volume.openEntryById(s.id));
        EXPECT_EQ(readBytes(volume, s.plain.size()), s.plain);
        EXPECT_EQ(volume.entrySizeById(s.id), size);
    }
}

TEST_P(CompressedEntryTest, EntriesReadInPiecesOfVaryingSizesGiveEveryByte) {
    // The LZH decoder looks ahead; it must not give up on the last bytes of an entry because its
    // look-ahead met the end of the coded bytes first.
    for (const EntrySpec &s : specs) {
        for (auto sizes : {std::initializer_list<int32_t>{1}, {7, 1, 60, 3, 61, 2}, {500, 59}}) {
            SCOPED_TRACE(std::string(s.name) + " first piece " + std::to_string(*sizes.begin()));
            ASSERT_TRUE(volume.openEntry(s.name, false));
            EXPECT_EQ(readInPieces(volume, s.plain.size(), sizes), s.plain);
        }
    }
}

TEST_P(CompressedEntryTest, ReadPastTheDecodedSizeFailsWithEndOfData) {
    // RLE: the coded bytes end exactly with the entry.
    ASSERT_TRUE(volume.openEntry("three.rle", false));
    EXPECT_EQ(readBytes(volume, 3), text("AAA"));
    uint8_t byte = 0;
    EXPECT_FALSE(volume.read(1, &byte));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    // LZH: once the whole entry has been delivered and the coded bytes are used up, the next
    // read fails and keeps failing.
    for (const char *name : {"hello.lzh", "one.lzh", "Prose.LZH"}) {
        SCOPED_TRACE(name);
        const EntrySpec &s = planned(name);
        ASSERT_TRUE(volume.openEntry(flipCase(name).c_str(), false));
        EXPECT_EQ(readInPieces(volume, s.plain.size(), {1}), s.plain);
        int extra = 0;
        while (extra < 64 && volume.read(1, &byte))
            ++extra;
        EXPECT_LT(extra, 64);
        EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
        EXPECT_FALSE(volume.read(1, &byte));
    }
}

TEST_P(CompressedEntryTest, SeeksBackwardRestartAndSeeksForwardDecode) {
    for (const char *name : {"Packets.rle", "Prose.LZH", "run.lzh"}) {
        SCOPED_TRACE(name);
        const Bytes &plain = planned(name).plain;
        ASSERT_TRUE(volume.openEntry(name, false));
        Bytes head(plain.begin(), plain.begin() + 10);
        EXPECT_EQ(readBytes(volume, 10), head);
        EXPECT_EQ(readBytes(volume, 50), Bytes(plain.begin() + 10, plain.begin() + 60));
        ASSERT_TRUE(volume.setPosition(0));
        EXPECT_EQ(volume.getPosition(), 0);
        EXPECT_EQ(readBytes(volume, 10), head);
        size_t middle = plain.size() / 2;
        ASSERT_TRUE(volume.setPosition(int32_t(middle)));
        EXPECT_EQ(readInPieces(volume, plain.size() - middle, {13}),
                  Bytes(plain.begin() + middle, plain.end()));
        // Back, forward to the very end, then back again.
        ASSERT_TRUE(volume.setPosition(10));
        ASSERT_TRUE(volume.setPosition(int32_t(plain.size())));
        ASSERT_TRUE(volume.setPosition(5));
        EXPECT_EQ(readBytes(volume, 5), Bytes(plain.begin() + 5, plain.begin() + 10));
    }
}

TEST_P(CompressedEntryTest, CloseLeavesNoSourceForCompressedAndClosedForStored) {
    struct Case {
        const char *name;
        int32_t closedStatus;
    } cases[] = {{"three.rle", StreamIO::NoSource},
                 {"hello.lzh", StreamIO::NoSource},
                 {"Stored.TXT", StreamIO::Closed}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(volume.openEntry(c.name, false));
        volume.close();
        EXPECT_EQ(volume.getStatus(), c.closedStatus);
        EXPECT_EQ(volume.getEntrySize(), 0);
        EXPECT_FALSE(volume.rleAttached());
        EXPECT_FALSE(volume.lzhAttached());
        uint8_t byte;
        EXPECT_FALSE(volume.read(1, &byte));
        EXPECT_FALSE(volume.setPosition(0));
    }
}

TEST_P(CompressedEntryTest, AtMostTheOpenEntrysDecoderIsAttached) {
    struct Step {
        const char *name;
        bool rle;
        bool lzh;
    } steps[] = {{"three.rle", true, false},   {"Stored.TXT", false, false}, {"Prose.LZH", false, true},
                 {"Packets.rle", true, false}, {"hello.lzh", false, true},   {"Stored.TXT", false, false}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(volume.openEntry(step.name, false));
        EXPECT_EQ(volume.rleAttached(), step.rle);
        EXPECT_EQ(volume.lzhAttached(), step.lzh);
        EXPECT_EQ(volume.currentStream() == volume.memory(), !step.rle && !step.lzh);
    }
    // A refused entry and a missed lookup also end the compressed entry before them.
    for (const char *refused : {"two.bin", "missing.lzh"}) {
        ASSERT_TRUE(volume.openEntry("Prose.LZH", false));
        EXPECT_FALSE(volume.openEntry(refused, false));
        EXPECT_FALSE(volume.lzhAttached());
        EXPECT_NE(volume.getStatus(), StreamIO::Ok);
    }
}

TEST_P(CompressedEntryTest, ReopeningAnEntryStartsDecodingAfresh) {
    const Bytes &prose = planned("Prose.LZH").plain;
    ASSERT_TRUE(volume.openEntry("Prose.LZH", false));
    readBytes(volume, 4000);
    ASSERT_TRUE(volume.openEntry("run.lzh", false));
    readBytes(volume, 333);
    ASSERT_TRUE(volume.openEntryById(5));
    EXPECT_EQ(volume.getPosition(), 0);
    EXPECT_EQ(readBytes(volume, prose.size()), prose);
}

TEST_P(CompressedEntryTest, HandedOutStreamIsTheDecoderSharingTheVolumesCursor) {
    const Bytes &prose = planned("Prose.LZH").plain;
    StreamIO *inner = volume.openEntryStream("prose.lzh", false);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner, volume.currentStream());
    EXPECT_EQ(inner->query(StreamIO::QueryKind), StreamIO::KindLZH);
    EXPECT_EQ(readBytes(*inner, 100), Bytes(prose.begin(), prose.begin() + 100));
    EXPECT_EQ(readBytes(volume, 100), Bytes(prose.begin() + 100, prose.begin() + 200));
    // The inner stream is held to the same end rule as the volume.
    EXPECT_EQ(readInPieces(*inner, prose.size() - 200, {1, 2}), Bytes(prose.begin() + 200, prose.end()));

    StreamIO *rle = volume.openEntryStreamById(2);
    ASSERT_NE(rle, nullptr);
    EXPECT_EQ(rle->query(StreamIO::QueryKind), StreamIO::KindRLE);
    EXPECT_EQ(readBytes(*rle, 3), text("AAA"));
}

TEST_P(CompressedEntryTest, OpeningACompressedEntryAllocatesNothing) {
    // Lookups may build their indexes on first use; warm them up first.
    ASSERT_TRUE(volume.openEntry("Prose.LZH", false));
    ASSERT_TRUE(volume.openEntryById(2));
    newCalls = 0;
    countingNew = true;
    int *volatile probe = new int(1); // the counter itself works
    delete probe;
    ASSERT_EQ(newCalls, 1);
    newCalls = 0;
    bool opened = volume.openEntry("Prose.LZH", false) && volume.openEntryById(2) &&
                  volume.openEntry("hello.lzh", false) && volume.openEntry("Packets.rle", false);
    countingNew = false;
    EXPECT_TRUE(opened);
    EXPECT_EQ(newCalls, 0);
}

TEST_P(CompressedEntryTest, DamagedCodedBytesDecodeWithinTheEntry) {
    // Any bytes decode to something, and the reads stay inside the entry's coded bytes: the bytes
    // of the next entry never stand in for missing ones.
    VolumeBuilder builder;
    builder.addCoded(1, "junk.lzh", 5000, VolumeStream::LZH, {0xFF, 0x00, 0x13, 0x77});
    builder.addCoded(2, "junk.rle", 300, VolumeStream::RLE, {0xFF, 0x01, 0x7F, 0x02});
    builder.add(3, "after", "AFTER");
    ASSERT_TRUE(volume.open(scratch.write("junk.vol", builder.build(GetParam())).c_str()));
    ASSERT_TRUE(volume.openEntry("junk.lzh", false));
    Bytes out(5000);
    // 32 bits cannot make 5000 bytes.
    EXPECT_FALSE(volume.read(5000, out.data()));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    ASSERT_TRUE(volume.openEntry("junk.rle", false));
    // 127 x 0x01, then a literal of 127 bytes of which one is there.
    EXPECT_FALSE(volume.read(300, out.data()));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 128), Bytes(127, 0x01) + Bytes{0x02});
}

TEST_P(CompressedEntryTest, DataCutByOneByteEndsTheEntryWithEndOfData) {
    // Each coded entry once whole and once without its last coded byte: the whole one reads to
    // its size, the cut one fails the read that needs the missing byte, and that failure lasts.
    VolumeBuilder builder;
    const Bytes &prose = planned("Prose.LZH").plain;
    const Bytes &packets = planned("Packets.rle").plain;
    for (const char *name : {"Prose.LZH", "Packets.rle"}) {
        const auto &entry = planned(name);
        builder.addCoded(0, name, int32_t(entry.plain.size()), entry.compression, entry.coded);
        builder.addCoded(0, (std::string("cut-") + name).c_str(), int32_t(entry.plain.size()),
                         entry.compression, Bytes(entry.coded.begin(), entry.coded.end() - 1));
    }
    ASSERT_TRUE(volume.open(scratch.write("cut.vol", builder.build(GetParam())).c_str()));
    for (const auto &[name, plain] : {std::pair{"Prose.LZH", &prose}, std::pair{"Packets.rle", &packets}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(volume.openEntry(name, false));
        EXPECT_EQ(readInPieces(volume, plain->size(), {4096}), *plain);
        ASSERT_TRUE(volume.openEntry((std::string("cut-") + name).c_str(), false));
        Bytes out = readInPieces(volume, plain->size(), {4096});
        EXPECT_LT(out.size(), plain->size());
        EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
        uint8_t byte = 0;
        EXPECT_FALSE(volume.read(1, &byte));
        EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    }
}

TEST_P(CompressedEntryTest, HugeSizeOverAFewBytesStopsWhereTheyEnd) {
    // An LZH entry of 40 coded bytes claiming 1.5 GB: one read of the whole claim fails having
    // decoded no more than those bits can give (60 bytes at most for each bit).
    VolumeBuilder builder;
    builder.addCoded(1, "bomb.bin", 1500000000, VolumeStream::LZH, Bytes(40, 0x5A));
    ASSERT_TRUE(volume.open(scratch.write("bomb.vol", builder.build(GetParam())).c_str()));
    ASSERT_TRUE(volume.openEntry("bomb.bin", false));
    Bytes out(1 << 20);
    EXPECT_FALSE(volume.read(int32_t(out.size()), out.data()));
    EXPECT_EQ(volume.getStatus(), StreamIO::EndOfData);
    EXPECT_LE(volume.getPosition(), 40 * 8 * 60);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, CompressedEntryTest,
                         ::testing::Values(VolumeBuilder::Variant::PVOL, VolumeBuilder::Variant::OldVOL),
                         [](const ::testing::TestParamInfo<VolumeBuilder::Variant> &info) {
                             return info.param == VolumeBuilder::Variant::PVOL ? std::string("PVOL")
                                                                               : std::string("OldVOL");
                         });

} // namespace
