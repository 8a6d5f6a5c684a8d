// Volume writer: what it writes opens with VolumeRStream and reads back byte for byte in both
// variants and with every method; the layout keeps the format's padding and offsets; a file is
// replaced only by a complete volume and no temporary file outlives a write.
#include "VolumeFixtures.h"

#include <qarvex/core/LittleEndian.h>
#include <qarvex/platform/Platform.h>
#include <qarvex/volume/VolumeRStream.h>
#include <qarvex/volume/VolumeWriter.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace qarvex {

namespace {

using Bytes = std::vector<uint8_t>;
using Method = VolumeWriter::Method;
using Variant = VolumeWriter::Variant;

Bytes textBytes(const std::string &text) {
    return Bytes(text.begin(), text.end());
}

// Contents that favour each method: prose for LZH, long runs for RLE, noise for none.
Bytes prose() {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "The volume keeps its names in one block and its records in another. " +
                std::to_string(i % 7) + "\n";
    return textBytes(text);
}
Bytes runs() {
    Bytes bytes;
    for (int i = 0; i < 40; ++i)
        bytes.insert(bytes.end(), size_t(100 + i * 37), uint8_t(i));
    return bytes;
}
Bytes noise(size_t count) {
    std::mt19937 random(12345);
    Bytes bytes(count);
    for (uint8_t &byte : bytes)
        byte = uint8_t(random());
    return bytes;
}

struct Content {
    const char *name;
    uint32_t id;
    Bytes bytes;
};

std::vector<Content> contents() {
    return {{"empty.txt", 1, {}},
            {"one.bin", 2, {0x41}},
            {"docs\\prose.txt", 3, prose()},
            {"art\\runs.bin", 0, runs()},
            {"noise.bin", 0xFFFFFFFEu, noise(5000)},
            {"odd.txt", 6, textBytes("odd length")}};
}

Bytes readEntry(VolumeRStream &volume) {
    Bytes bytes(size_t(volume.getEntrySize()));
    if (!bytes.empty()) {
        EXPECT_TRUE(volume.read(int32_t(bytes.size()), bytes.data()));
    }
    return bytes;
}

std::vector<std::string> namesIn(const std::filesystem::path &folder) {
    std::vector<std::string> names;
    for (const auto &object : std::filesystem::directory_iterator(folder))
        names.push_back(object.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WriterRoundTrip : public ::testing::TestWithParam<std::tuple<Variant, Method>> {};

TEST_P(WriterRoundTrip, EveryEntryReadsBackByNameAndById) {
    auto [variant, method] = GetParam();
    std::vector<VolumeWriter::Entry> entries;
    for (const Content &content : contents()) {
        VolumeWriter::Entry entry;
        ASSERT_TRUE(VolumeWriter::makeEntry(content.id, std::string(content.name), content.bytes.data(),
                                            content.bytes.size(), method, entry));
        entries.push_back(std::move(entry));
    }
    // An entry without a name is reachable by its id alone.
    const Bytes unnamed = runs();
    ASSERT_TRUE(
        VolumeWriter::makeEntry(7, std::nullopt, unnamed.data(), 300, method, entries.emplace_back()));

    fixture::Scratch scratch;
    std::string path = scratch.path("round.vol");
    ASSERT_EQ(VolumeWriter::writeFile(path.c_str(), entries, variant), VolumeWriter::Fault::None);
    Bytes file = VolumeWriter::build(entries, variant);
    EXPECT_EQ(slurp(path), std::string(file.begin(), file.end()));
    EXPECT_EQ(int64_t(file.size()), VolumeWriter::fileLength(entries, variant));
    EXPECT_EQ(le::read32(file.data()), variant == Variant::PVOL ? le::tag("PVOL") : le::tag(" VOL"));

    VolumeRStream volume;
    ASSERT_TRUE(volume.open(path.c_str()));
    ASSERT_EQ(volume.entryCount(), 7);
    const std::vector<Content> expected = contents();
    for (int32_t i = 0; i < 6; ++i) {
        const Content &content = expected[size_t(i)];
        SCOPED_TRACE(content.name);
        EXPECT_STREQ(volume.entryName(i), content.name);
        // The other letter case finds it too, as the name index compares in upper case.
        std::string upper = content.name;
        for (char &c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        ASSERT_TRUE(volume.openEntry(upper.c_str(), false));
        EXPECT_EQ(readEntry(volume), content.bytes);
        volume.close();
        if (content.id != 0) {
            ASSERT_TRUE(volume.openEntryById(content.id));
            EXPECT_EQ(readEntry(volume), content.bytes);
            volume.close();
        }
    }
    EXPECT_EQ(volume.entryName(6), nullptr);
    ASSERT_TRUE(volume.openEntryById(7));
    EXPECT_EQ(readEntry(volume), Bytes(unnamed.begin(), unnamed.begin() + 300));
    volume.close();
    // Every data block starts on an even offset, and the directory offset points at "vols".
    for (const VolumeItem &item : volume.entries())
        EXPECT_EQ(item.offset % 2, 0u) << item.name;
    uint32_t directory = le::read32(file.data() + 4);
    ASSERT_LT(directory + 4, file.size());
    EXPECT_EQ(le::read32(file.data() + directory), le::tag("vols"));
}

INSTANTIATE_TEST_SUITE_P(VariantsAndMethods, WriterRoundTrip,
                         ::testing::Combine(::testing::Values(Variant::PVOL, Variant::OldVOL),
                                            ::testing::Values(Method::Stored, Method::RLE, Method::LZH,
                                                              Method::Best)));

TEST(VolumeWriterTest, MethodsGiveTheirCodesAndBestTheSmallest) {
    struct Row {
        const char *what;
        Bytes bytes;
        uint8_t bestCode;
    } rows[] = {{"prose", prose(), VolumeStream::LZH},
                {"runs", runs(), VolumeStream::RLE},
                {"noise", noise(4000), VolumeStream::Stored},
                {"empty", {}, VolumeStream::Stored}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        size_t sizes[4] = {};
        const uint8_t codes[] = {VolumeStream::Stored, VolumeStream::RLE, VolumeStream::LZH};
        int i = 0;
        for (Method method : {Method::Stored, Method::RLE, Method::LZH}) {
            VolumeWriter::Entry entry;
            ASSERT_TRUE(VolumeWriter::makeEntry(1, "x", row.bytes.data(), row.bytes.size(), method, entry));
            EXPECT_EQ(entry.compression, codes[i]);
            EXPECT_EQ(entry.size, int32_t(row.bytes.size()));
            sizes[i++] = entry.stored.size();
        }
        VolumeWriter::Entry best;
        ASSERT_TRUE(VolumeWriter::makeEntry(1, "x", row.bytes.data(), row.bytes.size(), Method::Best, best));
        EXPECT_EQ(best.compression, row.bestCode);
        EXPECT_EQ(best.stored.size(), std::min({sizes[0], sizes[1], sizes[2]}));
    }
}

TEST(VolumeWriterTest, LayoutOfTheSmallestVolume) {
    // One stored entry of five bytes: header, padded data block, "vols", "voli" with one record.
    std::vector<VolumeWriter::Entry> entries(1);
    entries[0].id = 1;
    entries[0].name = "a.txt";
    entries[0].size = 5;
    entries[0].stored = textBytes("hello");
    Bytes file = VolumeWriter::build(entries, Variant::PVOL);
    ASSERT_EQ(file.size(), 62u);
    EXPECT_EQ(le::read32(&file[4]), 22u);
    EXPECT_EQ(le::read32(&file[12]), 5u); // size word of the data block: no padding flag
    EXPECT_EQ(file[21], 0);               // its padding byte
    EXPECT_EQ(le::read32(&file[22]), le::tag("vols"));
    EXPECT_EQ(le::read32(&file[26]), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&file[30]), 6), std::string("a.txt\0", 6));
    EXPECT_EQ(le::read32(&file[36]), le::tag("voli"));
    EXPECT_EQ(le::read32(&file[40]), 17u);
    const uint8_t *record = &file[44];
    EXPECT_EQ(le::read32(record), 1u);
    EXPECT_EQ(le::read32(record + 4), 0u);
    EXPECT_EQ(le::read32(record + 8), 8u);
    EXPECT_EQ(le::read32(record + 12), 5u);
    EXPECT_EQ(record[16], 0);

    // The old variant puts an empty pair in front of the directory; nothing else moves.
    Bytes old = VolumeWriter::build(entries, Variant::OldVOL);
    ASSERT_EQ(old.size(), 78u);
    EXPECT_EQ(le::read32(&old[22]), le::tag("vols"));
    EXPECT_EQ(le::read32(&old[26]), 0u);
    EXPECT_EQ(le::read32(&old[30]), le::tag("voli"));
    EXPECT_EQ(le::read32(&old[34]), 0u);
    EXPECT_EQ(Bytes(old.begin() + 38, old.end()), Bytes(file.begin() + 22, file.end()));
}

TEST(VolumeWriterTest, AnEmptyVolumeOpensWithNoEntries) {
    fixture::Scratch scratch;
    std::string path = scratch.path("empty.vol");
    ASSERT_EQ(VolumeWriter::writeFile(path.c_str(), {}, Variant::PVOL), VolumeWriter::Fault::None);
    VolumeRStream volume;
    EXPECT_TRUE(volume.open(path.c_str()));
    EXPECT_EQ(volume.entryCount(), 0);
}

TEST(VolumeWriterTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    fixture::Scratch scratch;
    std::string path = scratch.path("keep.vol");
    std::vector<VolumeWriter::Entry> good(1);
    good[0].name = "kept.txt";
    good[0].size = 4;
    good[0].stored = textBytes("kept");
    ASSERT_EQ(VolumeWriter::writeFile(path.c_str(), good, Variant::PVOL), VolumeWriter::Fault::None);
    std::string before = slurp(path);

    // A NUL inside a name would shift every later name: refused, and the file stays.
    std::vector<VolumeWriter::Entry> bad = good;
    bad[0].name = std::string("cut\0name", 8);
    EXPECT_EQ(VolumeWriter::writeFile(path.c_str(), bad, Variant::PVOL), VolumeWriter::Fault::BadEntry);
    EXPECT_EQ(slurp(path), before);

    // A folder where the volume should go cannot be replaced: the folder stays as it was.
    std::filesystem::create_directories(scratch.path("taken.vol/inside"));
    uint32_t error = 0;
    EXPECT_EQ(VolumeWriter::writeFile(scratch.path("taken.vol").c_str(), good, Variant::PVOL, &error),
              VolumeWriter::Fault::CannotWrite);
    EXPECT_NE(error, 0u);
    EXPECT_TRUE(std::filesystem::is_directory(scratch.path("taken.vol/inside")));

    // A folder that does not exist.
    EXPECT_EQ(VolumeWriter::writeFile(scratch.path("missing/new.vol").c_str(), good, Variant::PVOL, &error),
              VolumeWriter::Fault::CannotWrite);
    EXPECT_TRUE(error == platform::error::PathNotFound || error == platform::error::FileNotFound) << error;

    EXPECT_EQ(namesIn(scratch.directory()), (std::vector<std::string>{"keep.vol", "taken.vol"}));

    // And a good write does replace it.
    good[0].stored = textBytes("new!");
    ASSERT_EQ(VolumeWriter::writeFile(path.c_str(), good, Variant::PVOL), VolumeWriter::Fault::None);
    EXPECT_NE(slurp(path), before);
    EXPECT_EQ(namesIn(scratch.directory()), (std::vector<std::string>{"keep.vol", "taken.vol"}));
}

TEST(VolumeWriterTest, TheVolumeIsOnTheDiskBeforeItTakesItsName) {
    fixture::Scratch scratch;
    std::string path = scratch.path("durable.vol");
    std::vector<VolumeWriter::Entry> entries(1);
    entries[0].name = "a.txt";
    entries[0].size = 1;
    entries[0].stored = textBytes("a");
    using Step = platform::DurableStep;
    for (bool replacing : {false, true}) {
        std::vector<Step> steps;
        platform::recordDurableSteps(&steps);
        VolumeWriter::Fault fault = VolumeWriter::writeFile(path.c_str(), entries, Variant::PVOL);
        platform::recordDurableSteps(nullptr);
        ASSERT_EQ(fault, VolumeWriter::Fault::None);
        EXPECT_EQ(steps, (std::vector<Step>{Step::FileFlushed, Step::Renamed, Step::FolderFlushed}))
            << replacing;
    }
    // A write that fails takes none of the steps.
    entries[0].name = std::string("cut\0name", 8);
    std::vector<Step> steps;
    platform::recordDurableSteps(&steps);
    EXPECT_EQ(VolumeWriter::writeFile(path.c_str(), entries, Variant::PVOL), VolumeWriter::Fault::BadEntry);
    platform::recordDurableSteps(nullptr);
    EXPECT_TRUE(steps.empty());
}

} // namespace

} // namespace qarvex
