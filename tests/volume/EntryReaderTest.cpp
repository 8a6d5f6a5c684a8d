// EntryReader: entries read with decoding streams of the reader's own give what the volume's own
// openItem and read give, damaged entries included, and readers on several threads decode the
// entries of one volume at once.
#include "VolumeFixtures.h"

#include <qarvex/volume/EntryReader.h>
#include <qarvex/volume/VolumeBuilder.h>

#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <thread>

using namespace qarvex;
using namespace fixture;

namespace {

Bytes loadData(const std::string &name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every method, and the damage an entry record can carry, each entry twice so that readers move
// between methods.
std::vector<uint8_t> mixedVolume() {
    VolumeBuilder builder;
    Bytes prose = loadData("prose.lzh"), mixed = loadData("mixed.lzh");
    for (uint32_t round = 0; round < 2; ++round) {
        uint32_t id = round * 100;
        builder.addCoded(id + 1, "prose.txt", 11358, VolumeStream::LZH, prose);
        builder.addCoded(id + 2, "mixed.bin", int32_t(loadData("mixed.bin").size()), VolumeStream::LZH,
                         mixed);
        builder.add(id + 3, "stored.txt", "kept as it is");
        builder.addCoded(id + 4, "run.rle", 6, VolumeStream::RLE, Bytes{0x86, 'z'});
        builder.addCoded(id + 5, "cut.lzh", 11358, VolumeStream::LZH,
                         Bytes(prose.begin(), prose.begin() + 900));
        builder.addCoded(id + 6, "odd.bin", 4, 2, text("abcd"));
        builder.addCoded(id + 7, "short.bin", 100, VolumeStream::Stored, text("ten bytes!"));
    }
    return builder.build(VolumeBuilder::Variant::PVOL);
}

struct Outcome {
    bool opened = false, read = false;
    Bytes bytes;
    bool operator==(const Outcome &) const = default;
};

Outcome throughReader(EntryReader &reader, const VolumeStream &volume, const VolumeItem &item) {
    Outcome outcome;
    outcome.opened = reader.open(volume, item);
    outcome.bytes.resize(size_t(std::max(item.size, 0)));
    outcome.read = outcome.opened && reader.read(item.size, outcome.bytes.data());
    reader.close();
    if (!outcome.read)
        outcome.bytes.clear();
    return outcome;
}

TEST(EntryReaderTest, EveryEntryReadsAsTheVolumeReadsIt) {
    Scratch scratch;
    std::vector<uint8_t> bytes = mixedVolume();
    // The third entry's data block is made to lie past the end of the file.
    VolumeRStream probe;
    ASSERT_TRUE(probe.open(scratch.write("probe.vol", bytes).c_str()));
    uint32_t outside = probe.entry(2).offset;
    probe.closeVolume();
    le::write32(bytes.data() + outside + 4, 0x7FFFFFF0);
    VolumeRStream volume;
    ASSERT_TRUE(volume.open(scratch.write("mixed.vol", bytes).c_str()));
    EntryReader reader;
    int opened = 0, read = 0;
    for (const VolumeItem &item : volume.entries()) {
        SCOPED_TRACE(item.name);
        Outcome expected;
        expected.opened = volume.openItem(&item);
        expected.bytes.resize(size_t(std::max(item.size, 0)));
        expected.read = expected.opened && volume.read(item.size, expected.bytes.data());
        volume.close();
        if (!expected.read)
            expected.bytes.clear();
        EXPECT_TRUE(throughReader(reader, volume, item) == expected);
        opened += expected.opened;
        read += expected.read;
    }
    // Not all alike: unknown methods and data outside the file do not open; data cut short, coded
    // or stored, does not read.
    EXPECT_EQ(opened, 11);
    EXPECT_EQ(read, 7);
}

TEST(EntryReaderTest, ReadersOnSeveralThreadsDecodeOneVolumeAtOnce) {
    Scratch scratch;
    VolumeRStream volume;
    ASSERT_TRUE(volume.open(scratch.write("mixed.vol", mixedVolume()).c_str()));
    const Vector<VolumeItem> &items = volume.entries();
    std::vector<Outcome> expected;
    EntryReader single;
    for (const VolumeItem &item : items)
        expected.push_back(throughReader(single, volume, item));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            EntryReader reader;
            for (int round = 0; round < 5; ++round)
                for (int32_t i = 0; i < items.size(); ++i) {
                    int32_t at = (i + t * 3) % items.size(); // each thread in its own order
                    if (!(throughReader(reader, volume, items[at]) == expected[size_t(at)]))
                        ++mismatches;
                }
        });
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
