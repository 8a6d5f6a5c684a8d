// Opening volumes of both variants, the entry table as loaded, the two indexes and the lookups.
#include "VolumeFixtures.h"

#include <qarvex/core/AssertLog.h>
#include <qarvex/volume/EntryMethod.h>
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace qarvex {

using namespace fixture;

namespace {

std::vector<std::string> entryNames(VolumeStream &volume) {
    std::vector<std::string> out;
    for (const VolumeItem &item : volume.entries())
        out.push_back(item.name ? item.name : "<none>");
    return out;
}

std::vector<std::string> namesInIndexOrder(VolumeStream &volume) {
    std::vector<std::string> out;
    for (int position : volume.sortedByName())
        out.push_back(volume.entries()[position].name);
    return out;
}

class VolumeStreamTest : public ::testing::Test {
protected:
    bool openImage(const Bytes &image, const std::string &name = "v.vol") {
        return volume.open(scratch.write(name, image).c_str());
    }
    Scratch scratch;
    VolumeRStream volume;
};

TEST_F(VolumeStreamTest, ConstQueriesDescribeEachEntryWithoutOpeningIt) {
    // Data blocks at 8: stored "abcd", RLE-coded "aaa", an LZH block, a block of an undefined
    // method; then the directory, after which a record points its data past the end.
    Bytes data = block("DATA", text("abcd")) + block("DATA", Bytes{0x83, 'a'}) +
                 block("DATA", Bytes{0xE6, 0x80}) + block("DATA", text("zz"));
    Bytes directory = block("vols", names({"s", "r", "l", "u", "x"})) +
                      block("voli", record(1, 0, 8, 4, 0) + record(2, 2, 20, 3, 1) + record(3, 4, 30, 1, 3) +
                                        record(4, 6, 40, 2, 2) + record(5, 8, 5000, 9, 0));
    ASSERT_TRUE(openImage(header(" VOL", uint32_t(8 + data.size())) + data + block("vols", Bytes{}) +
                          block("voli", Bytes{}) + directory));
    const VolumeStream &queried = volume;
    EXPECT_TRUE(queried.isOldVariant());
    struct Row {
        const char *name;
        int32_t storedLength;
        Bytes stored;
        const char *method; // null: no method has the code
    } rows[] = {{"s", 4, text("abcd"), "stored"},
                {"r", 2, {0x83, 'a'}, "rle"},
                {"l", 2, {0xE6, 0x80}, "lzh"},
                {"u", 2, text("zz"), nullptr},
                {"x", -1, {}, "stored"}};
    ASSERT_EQ(queried.entryCount(), 5);
    for (int32_t i = 0; i < 5; ++i) {
        const Row &row = rows[i];
        const VolumeItem &item = queried.entry(i);
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(item.name, row.name);
        EXPECT_EQ(&item, &queried.entries()[i]);
        EXPECT_EQ(queried.storedLength(item), row.storedLength);
        EXPECT_EQ(queried.dataInsideFile(item), row.storedLength >= 0);
        std::span<const uint8_t> stored = queried.storedData(item);
        EXPECT_EQ(Bytes(stored.begin(), stored.end()), row.stored);
        const EntryMethod *method = VolumeStream::method(item);
        ASSERT_EQ(method != nullptr, row.method != nullptr);
        if (method) {
            EXPECT_STREQ(method->name, row.method);
        }
    }
    // Every method the table names decodes the entry it keeps.
    for (auto [name, plain] : {std::pair{"s", "abcd"}, std::pair{"r", "aaa"}, std::pair{"l", "A"}}) {
        char out[4] = {};
        ASSERT_TRUE(volume.openEntry(name, false)) << name;
        EXPECT_TRUE(volume.read(volume.entrySizeByName(name), out)) << name;
        EXPECT_EQ(std::string(out, std::strlen(plain)), plain);
    }
    EXPECT_FALSE(volume.openEntry("u", false));
}

TEST_F(VolumeStreamTest, MinimalVolumeOpensWithItsOneEntry) {
    Bytes image = minimalVolume();
    ASSERT_EQ(image.size(), 62u);
    ASSERT_TRUE(openImage(image));
    EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::None);
    ASSERT_EQ(volume.entries().size(), 1);
    const VolumeItem &item = volume.entries()[0];
    EXPECT_STREQ(item.name, "a.txt");
    EXPECT_EQ(item.id, 1u);
    EXPECT_EQ(item.offset, 8u);
    EXPECT_EQ(item.size, 5);
    EXPECT_EQ(item.compression, 0);
    EXPECT_EQ(volume.findById(1), &item);
    EXPECT_EQ(volume.findByName("A.TXT"), &item);
    EXPECT_EQ(volume.findByName("a.txt"), &item);
    EXPECT_EQ(volume.findByName("b.txt"), nullptr);
    EXPECT_EQ(volume.findById(2), nullptr);
}

TEST_F(VolumeStreamTest, BuilderLaysOutTheMinimalVolumeByteForByte) {
    VolumeBuilder builder;
    builder.add(1, "a.txt", "hello");
    EXPECT_EQ(builder.build(VolumeBuilder::Variant::PVOL), minimalVolume());
}

TEST_F(VolumeStreamTest, ThreeNamedEntriesAreListedInFileOrder) {
    Bytes image = header("PVOL", 8) + block("vols", names({"zeta.txt", "Alpha.pbm", "mid.dat"})) +
                  block("voli", record(3, 0, 0, 0) + record(1, 9, 0, 0) + record(2, 19, 0, 0));
    ASSERT_TRUE(openImage(image));
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"zeta.txt", "Alpha.pbm", "mid.dat"}));
    EXPECT_EQ(namesInIndexOrder(volume), (std::vector<std::string>{"Alpha.pbm", "mid.dat", "zeta.txt"}));
    ASSERT_EQ(volume.sortedById().size(), 3);
    EXPECT_EQ(volume.entries()[volume.sortedById()[0]].id, 1u);
    EXPECT_EQ(volume.entries()[volume.sortedById()[2]].id, 3u);
}

TEST_F(VolumeStreamTest, OldVariantSkipsItsLeadingPair) {
    // The leading pair holds other names: they must not be the ones loaded.
    Bytes image = header(" VOL", 8) + block("vols", names({"old.txt"})) + block("voli", record(9, 0, 0, 0)) +
                  block("vols", names({"new.txt"})) + block("voli", record(1, 0, 0, 0));
    ASSERT_TRUE(openImage(image));
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"new.txt"}));
    EXPECT_NE(volume.findById(1), nullptr);
    EXPECT_EQ(volume.findById(9), nullptr);
}

TEST_F(VolumeStreamTest, OldVariantWithOnePairFailsAndListsNothing) {
    Bytes image = header(" VOL", 8) + block("vols", names({"a.txt"})) + block("voli", record(1, 0, 0, 0));
    EXPECT_FALSE(openImage(image));
    EXPECT_EQ(volume.entries().size(), 0);
    EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::DamagedDirectory);
}

TEST_F(VolumeStreamTest, BuilderVariantsBothOpen) {
    VolumeBuilder builder;
    builder.add(5, "x.txt", "abc");
    builder.add(0, nullptr, "nameless");
    builder.add(7, "y.txt", "");
    for (auto variant : {VolumeBuilder::Variant::PVOL, VolumeBuilder::Variant::OldVOL}) {
        ASSERT_TRUE(openImage(builder.build(variant)));
        EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"x.txt", "<none>", "y.txt"}));
        EXPECT_EQ(volume.entrySizeById(5), 3);
        EXPECT_EQ(volume.entrySizeByName("Y.TXT"), 0);
    }
}

TEST_F(VolumeStreamTest, ItemBlockRemainderBelowOneRecordIsIgnored) {
    Bytes items = record(1, 0, 0, 0) + record(2, 2, 0, 0) + Bytes{0xEE};
    ASSERT_EQ(items.size(), 35u);
    ASSERT_TRUE(openImage(header("PVOL", 8) + block("vols", names({"a", "b"})) + block("voli", items)));
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"a", "b"}));
}

TEST_F(VolumeStreamTest, EntriesWithoutNameOrIdStayOutOfTheirIndex) {
    Bytes image = header("PVOL", 8) + block("vols", names({"named"})) +
                  block("voli", record(0, 0, 0, 1) + record(4, VolumeItem::NoName, 0, 2));
    ASSERT_TRUE(openImage(image));
    EXPECT_EQ(volume.sortedByName().size(), 1);
    EXPECT_EQ(volume.sortedById().size(), 1);
    EXPECT_EQ(volume.findById(0), nullptr);
    EXPECT_EQ(volume.findById(4)->size, 2);
    EXPECT_EQ(volume.findByName("named")->size, 1);
    EXPECT_EQ(volume.entrySizeById(0), -1);
}

TEST_F(VolumeStreamTest, EmptyStringBlockMeansNoNames) {
    ASSERT_TRUE(openImage(header("PVOL", 8) + block("vols", Bytes{}) + block("voli", record(1, 0, 0, 0))));
    EXPECT_EQ(volume.getStringBlock(), nullptr);
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"<none>"}));
}

TEST_F(VolumeStreamTest, NameOrderIsUpperCasedUnsignedBytes) {
    // Upper-cased, '_' (0x5F) follows every letter and a byte above 0x7F follows everything.
    Bytes image = header("PVOL", 8) + block("vols", names({"b", "a_", "AZ", "\xC3\xA9", "A", "ab"})) +
                  block("voli", record(1, 0, 0, 0) + record(2, 2, 0, 0) + record(3, 5, 0, 0) +
                                    record(4, 8, 0, 0) + record(5, 11, 0, 0) + record(6, 13, 0, 0));
    ASSERT_TRUE(openImage(image));
    EXPECT_EQ(namesInIndexOrder(volume), (std::vector<std::string>{"A", "ab", "AZ", "a_", "b", "\xC3\xA9"}));
    for (const char *name : {"a", "AB", "az", "A_", "B", "\xC3\xA9"})
        EXPECT_NE(volume.findByName(name), nullptr) << name;
    EXPECT_EQ(volume.findByName("\xC3"), nullptr);
}

TEST_F(VolumeStreamTest, NamesDifferingInCaseAreFoundEitherWay) {
    VolumeBuilder builder;
    builder.add(1, "Readme.TXT", "1");
    builder.add(2, "sound.wav", "2");
    builder.add(3, "README.txt", "3");
    ASSERT_TRUE(openImage(builder.build(VolumeBuilder::Variant::PVOL)));
    std::vector<std::string> sorted = namesInIndexOrder(volume);
    EXPECT_EQ(sorted.back(), "sound.wav"); // the two readme entries sort together, before it
    for (const char *name : {"readme.txt", "README.TXT", "ReadMe.Txt"}) {
        VolumeItem *found = volume.findByName(name);
        ASSERT_NE(found, nullptr);
        EXPECT_TRUE(found->id == 1 || found->id == 3);
    }
}

TEST_F(VolumeStreamTest, IdsSortAsUnsignedNumbers) {
    VolumeBuilder builder;
    for (uint32_t id : {0x80000000u, 1u, 0xFFFFFFFFu, 70000u})
        builder.add(id, nullptr, "");
    ASSERT_TRUE(openImage(builder.build(VolumeBuilder::Variant::PVOL)));
    std::vector<uint32_t> order;
    for (int position : volume.sortedById())
        order.push_back(volume.entries()[position].id);
    EXPECT_EQ(order, (std::vector<uint32_t>{1u, 70000u, 0x80000000u, 0xFFFFFFFFu}));
    for (uint32_t id : order)
        EXPECT_EQ(volume.findById(id)->id, id);
}

TEST_F(VolumeStreamTest, EveryEntryOfALargeVolumeIsFoundByIdAndName) {
    VolumeBuilder builder;
    for (uint32_t i = 0; i < 2000; ++i) {
        uint32_t id = (i * 7919u) % 2003u + 1; // distinct, not in table order
        builder.add(id, ("entry" + std::to_string(id * 31 % 5003) + ".dat").c_str(), std::to_string(i));
    }
    ASSERT_TRUE(openImage(builder.build(VolumeBuilder::Variant::PVOL)));
    for (const VolumeItem &item : volume.entries()) {
        EXPECT_EQ(volume.findById(item.id), &item);
        EXPECT_EQ(volume.findByName(item.name), &item);
    }
    EXPECT_EQ(volume.findById(2004), nullptr);
    EXPECT_EQ(volume.findByName("entry.dat"), nullptr);
}

TEST_F(VolumeStreamTest, OpeningASecondVolumeReleasesTheFirst) {
    VolumeBuilder first;
    first.add(1, "first.txt", "1");
    first.add(2, "shared.txt", "2");
    VolumeBuilder second;
    second.add(3, "second.txt", "3");
    ASSERT_TRUE(openImage(first.build(VolumeBuilder::Variant::PVOL), "1.vol"));
    ASSERT_TRUE(openImage(second.build(VolumeBuilder::Variant::OldVOL), "2.vol"));
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"second.txt"}));
    EXPECT_EQ(volume.findById(1), nullptr);
    EXPECT_EQ(volume.findByName("shared.txt"), nullptr);
    EXPECT_EQ(volume.sortedByName().size(), 1);
}

TEST_F(VolumeStreamTest, CloseVolumeEmptiesEverything) {
    ASSERT_TRUE(openImage(minimalVolume()));
    EXPECT_TRUE(volume.closeVolume());
    EXPECT_EQ(volume.entries().size(), 0);
    EXPECT_EQ(volume.getStringBlock(), nullptr);
    EXPECT_EQ(volume.findById(1), nullptr);
    EXPECT_EQ(volume.findByName("a.txt"), nullptr);
}

TEST_F(VolumeStreamTest, TableAndNamesOutliveTheFileWhenOnlyTheFileIsClosed) {
    VolumeBuilder builder;
    builder.add(1, "kept.txt", "abc");
    builder.add(2, "also.txt", "de");
    ASSERT_TRUE(openImage(builder.build(VolumeBuilder::Variant::PVOL)));
    const char *walked = volume.entryName(1);
    volume.closeFile();
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"kept.txt", "also.txt"}));
    EXPECT_STREQ(volume.entryName(1), "also.txt");
    EXPECT_NE(volume.entryName(1), walked); // no longer inside the unmapped file
    EXPECT_EQ(volume.findByName("KEPT.TXT")->id, 1u);
    EXPECT_FALSE(volume.openEntry("kept.txt", false)); // its data went with the file
}

TEST_F(VolumeStreamTest, FilesThatAreNoVolumeFailQuietly) {
    struct Case {
        const char *what;
        Bytes image;
        VolumeStream::OpenError error;
    } cases[] = {
        {"empty file", Bytes{}, VolumeStream::OpenError::EmptyFile},
        {"other magic", text("PK\x03\x04 not a volume at all"), VolumeStream::OpenError::NotAVolume},
        {"lower-case magic", header("pvol", 8) + block("vols", Bytes{}) + block("voli", Bytes{}),
         VolumeStream::OpenError::NotAVolume},
        {"shorter than a magic", text("PVO"), VolumeStream::OpenError::NotAVolume},
    };
    int32_t fatalBefore = assertLog.fatalCount;
    int32_t warningsBefore = assertLog.warningCount;
    for (const Case &c : cases) {
        ASSERT_TRUE(openImage(minimalVolume(), "good.vol"));
        EXPECT_FALSE(openImage(c.image)) << c.what;
        EXPECT_EQ(volume.lastOpenError(), c.error) << c.what;
        EXPECT_EQ(volume.entries().size(), 0) << c.what;
    }
    EXPECT_FALSE(volume.open(scratch.path("missing.vol").c_str()));
    EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::CannotOpen);
    EXPECT_FALSE(volume.open(scratch.directory().string().c_str()));
    EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::CannotOpen);
    EXPECT_EQ(assertLog.fatalCount, fatalBefore);
    EXPECT_EQ(assertLog.warningCount, warningsBefore);
}

TEST_F(VolumeStreamTest, PaddingToFourBytesIsHonoured) {
    // Both directory blocks ask for padding to 4: "vols" of 6 bytes takes 8.
    Bytes image = header("PVOL", 8) + block("vols", 0x80000006u, names({"a.txt"})) +
                  block("voli", 0x80000000u | 17u, record(1, 0, 0, 0));
    ASSERT_EQ(image.size(), 8u + 16u + 28u);
    ASSERT_TRUE(openImage(image));
    EXPECT_EQ(entryNames(volume), (std::vector<std::string>{"a.txt"}));
}

} // namespace

} // namespace qarvex
