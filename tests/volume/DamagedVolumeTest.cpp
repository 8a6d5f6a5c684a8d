// Damaged volumes: every kind of damage makes open fail (DamagedDirectory) or an entry refuse to
// open, keeps what can be loaded safely, and never reads outside the loaded data or the file
// (the sanitizer build checks the latter).
#include "VolumeFixtures.h"

#include <qarvex/volume/VolumeRStream.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qarvex {

using namespace fixture;

namespace {

struct DirectoryCase {
    const char *what;
    Bytes image;
    std::vector<std::string> expected; // entry names in table order, "<none>" for no name
};

std::vector<DirectoryCase> directoryCases() {
    Bytes twoNames = names({"a.txt", "b.txt"});
    Bytes twoRecords = record(1, 0, 0, 0) + record(2, 6, 0, 0);
    return {
        {"name offset outside the string block",
         header("PVOL", 8) + block("vols", twoNames) +
             block("voli", record(1, 0, 0, 0) + record(2, 12, 0, 0)),
         {"a.txt", "<none>"}},
        {"name offset far outside the string block",
         header("PVOL", 8) + block("vols", twoNames) +
             block("voli", record(1, 0xFFFFFFFE, 0, 0) + record(2, 6, 0, 0)),
         {"<none>", "b.txt"}},
        {"last name without its terminator",
         header("PVOL", 8) + block("vols", text("a.txt") + Bytes{0} + text("b.tx")) +
             block("voli", record(1, 0, 0, 0) + record(2, 6, 0, 0)),
         {"a.txt", "b.tx"}},
        {"string block cut short by the end of the file",
         header("PVOL", 8) + text("vols") + word(400) + twoNames,
         {}},
        {"string block claiming nearly 2 GiB",
         header("PVOL", 8) + text("vols") + word(0x7FFFFFFF) + twoNames,
         {}},
        {"item block cut short by the end of the file",
         header("PVOL", 8) + block("vols", twoNames) + text("voli") + word(3 * 17) + twoRecords +
             Bytes{1, 2, 3},
         {"a.txt", "b.txt"}},
        {"item block header cut short", header("PVOL", 8) + block("vols", twoNames) + text("vol"), {}},
        {"directory offset past the end of the file",
         header("PVOL", 4000) + block("vols", twoNames) + block("voli", twoRecords),
         {}},
        {"directory offset that is negative as a signed number",
         header("PVOL", 0xFFFFFFF0) + block("vols", twoNames) + block("voli", twoRecords),
         {}},
        {"directory offset at the very end", header("PVOL", 8), {}},
        {"magic without a directory offset", text("PVOL"), {}},
        {"another block where the string block belongs",
         header("PVOL", 8) + block("junk", twoNames) + block("voli", twoRecords),
         {"<none>", "<none>"}},
        // The item block is passed over in the search for the string block.
        {"no string block", header("PVOL", 8) + block("voli", twoRecords), {}},
        {"no item block", header("PVOL", 8) + block("vols", twoNames), {}},
        {"blocks in the wrong order",
         header("PVOL", 8) + block("voli", twoRecords) + block("vols", twoNames),
         {}},
        {"old variant whose leading pair is cut",
         header(" VOL", 8) + block("vols", Bytes{}) + text("voli") + word(100),
         {}},
        {"old variant with the pair swapped",
         header(" VOL", 8) + block("voli", Bytes{}) + block("vols", Bytes{}) + block("vols", twoNames) +
             block("voli", twoRecords),
         {}},
    };
}

TEST(DamagedVolumeTest, DirectoryDamageFailsTheOpenAndKeepsWhatIsSafe) {
    Scratch scratch;
    VolumeRStream volume;
    for (const DirectoryCase &c : directoryCases()) {
        SCOPED_TRACE(c.what);
        volume.closeVolume(); // Windows cannot replace a file that is still open and mapped
        EXPECT_FALSE(volume.open(scratch.write("damaged.vol", c.image).c_str()));
        EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::DamagedDirectory);
        std::vector<std::string> loaded;
        for (const VolumeItem &item : volume.entries())
            loaded.push_back(item.name ? item.name : "<none>");
        EXPECT_EQ(loaded, c.expected);
        // The walk over the records in the file gives the same names as the decoded table.
        ASSERT_EQ(volume.entryCount(), volume.entries().size());
        for (int32_t i = 0; i < volume.entryCount(); ++i)
            EXPECT_EQ(volume.entryName(i), volume.entries()[i].name);
        // Whatever was loaded can be looked up without reading past it.
        for (const VolumeItem &item : volume.entries()) {
            EXPECT_EQ(volume.findById(item.id), &item);
            if (item.name) {
                EXPECT_EQ(volume.findByName(item.name), &item);
            }
        }
        EXPECT_EQ(volume.findByName("zzz"), nullptr);
    }
}

TEST(DamagedVolumeTest, EntryDataOutsideTheFileCannotBeOpened) {
    // Data blocks at 8: a good one ("abcd") and one whose stored length runs past the end of the
    // file; then the directory; then, last in the file, a block that ends exactly at the end.
    Bytes data = block("DATA", text("abcd")) + text("DATA") + word(5000) + text("xy");
    Bytes nameBlock = block("vols", names({"good", "long", "past", "wrap", "edge"}));
    uint32_t directory = uint32_t(8 + data.size());
    uint32_t edgeOffset = uint32_t(directory + nameBlock.size() + block("voli", Bytes(5 * 17)).size());
    Bytes records = record(1, 0, 8, 4) +           // good
                    record(2, 5, 20, 4) +          // stored length past the end
                    record(3, 10, 100000, 4) +     // header past the end
                    record(4, 15, 0xFFFFFFFC, 4) + // header wrapping past 4 GiB
                    record(5, 20, edgeOffset, 2);  // data ending exactly at the end
    Bytes image = header("PVOL", directory) + data + nameBlock + block("voli", records) + text("DATA") +
                  word(2) + text("xy");

    Scratch scratch;
    VolumeRStream volume;
    ASSERT_TRUE(volume.open(scratch.write("entries.vol", image).c_str()));
    char buffer[8] = {};
    ASSERT_TRUE(volume.openEntry("good", false));
    ASSERT_TRUE(volume.read(4, buffer));
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    for (const char *name : {"long", "past", "wrap"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(volume.openEntry(name, false));
        EXPECT_FALSE(volume.read(1, buffer));
        EXPECT_NE(volume.getStatus(), StreamIO::Ok);
        EXPECT_EQ(volume.entrySizeByName(name), 4); // the record itself is intact
    }
    ASSERT_TRUE(volume.openEntry("edge", false));
    ASSERT_TRUE(volume.read(2, buffer));
    EXPECT_EQ(std::string(buffer, 2), "xy");
}

TEST(DamagedVolumeTest, MagicOnlyFileIsADamagedVolume) {
    Scratch scratch;
    VolumeRStream volume;
    for (const char *magic : {"PVOL", " VOL"}) {
        volume.closeVolume(); // Windows cannot replace a file that is still open and mapped
        EXPECT_FALSE(volume.open(scratch.write("m.vol", text(magic)).c_str()));
        EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::DamagedDirectory);
        EXPECT_EQ(volume.entries().size(), 0);
    }
}

TEST(DamagedVolumeTest, FilesBeyondThe32BitPositionsAreRefusedAsTooLarge) {
    // Sparse files: a sound volume at the start, zeros up to the size. Read as their low 32 bits,
    // the largest would pass for a 10-byte file.
    Scratch scratch;
    VolumeRStream volume;
    const uint64_t sizes[] = {uint64_t(1) << 31, (uint64_t(1) << 32) - 1, (uint64_t(1) << 32) + 10};
    for (uint64_t size : sizes) {
        SCOPED_TRACE(size);
        std::string path = scratch.write("huge.vol", minimalVolume());
        std::filesystem::resize_file(path, size);
        EXPECT_FALSE(volume.open(path.c_str()));
        EXPECT_EQ(volume.lastOpenError(), VolumeStream::OpenError::TooLarge);
        EXPECT_EQ(volume.entryCount(), 0);
    }
    // One byte less than the smallest of them opens.
    std::string path = scratch.write("huge.vol", minimalVolume());
    std::filesystem::resize_file(path, uint64_t(VolumeStream::MaxFileSize));
    EXPECT_TRUE(volume.open(path.c_str()));
    EXPECT_EQ(volume.entryCount(), 1);
}

} // namespace

} // namespace qarvex
