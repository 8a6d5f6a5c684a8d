// Palettes: the new state, the index mask, RIFF and PL98 reading, writing and refusal of damaged
// files, the table area layout and the change stamp.
#include <gtest/gtest.h>

#include <memory>

#include "GfxTestSupport.h"
#include <qarvex/gfx/GFXPalette.h>

namespace qarvex {

namespace {

using PalettePtr = GFXPalette::Ptr;

PalettePtr loadFrom(std::vector<uint8_t> &bytes) {
    Reader reader(bytes);
    return PalettePtr(GFXPalette::load(reader.stream, 0));
}

std::vector<uint8_t> riffFile(uint32_t entries, uint32_t dataSize, const char (&form)[5] = "PAL ") {
    Bytes b;
    b.tag("RIFF").u32(dataSize + 12).tag(form).tag("data").u32(dataSize).u16(0x0300).u16(uint16_t(entries));
    for (uint32_t i = 0; i < entries; ++i)
        b.u8(uint8_t(i)).u8(uint8_t(255 - i)).u8(uint8_t(i / 2)).u8(4);
    return b.data;
}

// The table bytes the PL98 reader takes for a palette of this type.
int64_t share(int32_t type, int32_t shift, int32_t levels) {
    if (type == 1)
        return (int64_t(256) << shift) * (levels + 1) + 4352;
    if (type == 2 || type == 6 || type == 8)
        return 65536 + 4352;
    return type == 0 ? 4352 : 0;
}

// A PL98 set with recognisable bytes everywhere: entries, mask, table area and auxiliary table.
std::vector<uint8_t> pl98Set(const std::vector<int32_t> &types, int32_t shift, int32_t levels, bool aux) {
    Bytes b;
    b.tag("PL98").u32(uint32_t(types.size())).u32(uint32_t(shift)).u32(uint32_t(levels)).u32(0xABCD);
    for (uint32_t w = 0; w < 8; ++w)
        b.u32(0x01010101u * (w + 1));
    int64_t area = 0;
    for (size_t p = 0; p < types.size(); ++p) {
        for (int32_t k = 0; k < 1024; ++k)
            b.u8(uint8_t(k * 3 + p * 7));
        b.u32(uint32_t(p + 100)).u32(uint32_t(types[p]));
        area += share(types[p], shift, levels);
    }
    for (int64_t i = 0; i < area; ++i)
        b.u8(uint8_t(i * 31 + 5));
    b.u8(aux ? 1 : 0);
    if (aux)
        b.fill(1024, 0x5A).u32(0x11111111).u32(0x22222222);
    return b.u32(0).data;
}

TEST(Palette, NewPaletteState) {
    int32_t before = paletteStampCounter;
    PalettePtr palette(GFXPalette::construct());
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->version, 0x0300);
    EXPECT_EQ(palette->entryCount, 256);
    EXPECT_EQ(palette->paletteCount, 1);
    EXPECT_EQ(palette->palettes[0].type, 0);
    EXPECT_EQ(palette->palettes[0].remapTable, nullptr);
    EXPECT_EQ(palette->tableBlock, nullptr);
    EXPECT_EQ(palette->stamp, before);
    EXPECT_EQ(paletteStampCounter, before + 1);
    ASSERT_EQ(palette->indexMask.size(), 8);
    const uint32_t mask[8] = {0x003FFFFF, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, 0xFFFFFC00};
    for (int w = 0; w < 8; ++w)
        EXPECT_EQ(palette->indexMask[w], mask[w]) << w;
    palette->touch();
    EXPECT_EQ(palette->stamp, before + 1);
    EXPECT_EQ(paletteStampCounter, before + 2);
}

TEST(Palette, IndexRanges) {
    struct Case {
        int32_t low, high;
        uint32_t words[8];
    } cases[] = {
        {245, 10, {0x003FFFFF, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, 0xFFFFFC00}},
        {0, 0, {0x80000000}},
        {31, 32, {0x00000001, 0x80000000}},
        {33, 34, {0, 0x60000000}},
        {-20, 1, {0xC0000000}},
        {250, 900, {0, 0, 0, 0, 0, 0, 0, 0x0000003F}},
        {300, 400, {}},
    };
    for (const Case &c : cases) {
        PalettePtr palette(GFXPalette::construct());
        for (uint32_t &w : palette->indexMask)
            w = 0;
        palette->setIndexRange(c.low, c.high);
        for (int w = 0; w < 8; ++w)
            EXPECT_EQ(palette->indexMask[w], c.words[w]) << c.low << ".." << c.high << " word " << w;
    }
}

TEST(Palette, TakeWindowsColoursReordersAndTouches) {
    PalettePtr palette(GFXPalette::construct());
    const uint8_t bgr[4] = {10, 20, 30, 0};
    std::memcpy(palette->palettes[0].entries + 8, bgr, 4);
    int32_t stamp = palette->stamp;
    palette->takeWindowsColours();
    const uint8_t *entry = palette->palettes[0].entries;
    EXPECT_EQ(std::vector<uint8_t>(entry + 8, entry + 12), (std::vector<uint8_t>{30, 20, 10, 4}));
    EXPECT_EQ(entry[255 * 4 + 3], 4);
    EXPECT_EQ(palette->stamp, stamp + 1);
}

TEST(PaletteRiff, ReadsEntriesComputesTablesAndWritesTheSameBytes) {
    auto file = riffFile(256, 1028);
    int32_t counter = paletteStampCounter;
    PalettePtr palette = loadFrom(file);
    ASSERT_TRUE(palette);
    EXPECT_EQ(paletteStampCounter, counter + 2); // construct and the completed read
    EXPECT_EQ(palette->entryCount, 256);
    const GFXPalette::Palette &first = palette->palettes[0];
    EXPECT_EQ(first.index, -1);
    EXPECT_EQ(first.entries[4 * 7 + 1], 248);
    ASSERT_NE(first.remapTable, nullptr);
    auto offset = first.remapTable - palette->tableBlock;
    EXPECT_TRUE(offset >= 1 && offset <= 256);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first.remapTable) % 256, 0u);
    EXPECT_EQ(reinterpret_cast<uint8_t *>(first.componentTables[3]), first.remapTable + 3328);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(first.remapTable[i], i);
        ASSERT_EQ(first.componentTables[0][i], float((long double)i / 255.0L));
    }
    EXPECT_NEAR(first.componentTables[3][9], 0.0157, 1e-4);

    GrowStream out;
    ASSERT_TRUE(palette->write(out, GFXPalette::WindowsFormat));
    EXPECT_EQ(out.bytes, file);
    EXPECT_EQ(out.bytes.size(), 1048u);
    EXPECT_EQ(word(out.bytes, 4), 1040u);
    EXPECT_EQ(word(out.bytes, 16), 1028u);
}

TEST(PaletteRiff, ShortTableKeepsTheOtherEntries) {
    auto file = riffFile(16, 68);
    PalettePtr palette = loadFrom(file);
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->entryCount, 16);
    EXPECT_EQ(palette->palettes[0].entries[15 * 4], 15);
    EXPECT_EQ(palette->palettes[0].entries[16 * 4 + 1], 0);
    GrowStream out;
    ASSERT_TRUE(palette->writeRiff(out));
    EXPECT_EQ(out.bytes, file);
}

TEST(PaletteRiff, ReadRiffFromTheTagOrAfterTheSize) {
    auto file = riffFile(4, 20);
    for (int32_t start : {0, 8}) {
        Reader reader(file);
        reader.stream.setPosition(start);
        PalettePtr palette(GFXPalette::construct());
        ASSERT_TRUE(palette->readRiff(reader.stream)) << start;
        EXPECT_EQ(palette->entryCount, 4);
        EXPECT_EQ(reader.stream.getPosition(), int32_t(file.size()));
    }
}

TEST(PaletteRiff, RefusesWhatDoesNotFitOrIsCut) {
    std::vector<std::vector<uint8_t>> files = {
        riffFile(256, 1028, "PALX"), // not a palette form
        riffFile(257, 1032),         // more entries than a palette holds
        riffFile(0, 2),              // no room for the version and count words
    };
    auto cut = riffFile(256, 1028);
    cut.resize(600);
    files.push_back(cut);
    for (auto &file : files)
        EXPECT_FALSE(loadFrom(file)) << file.size();
}

TEST(PalettePl98, ShadedPaletteLayout) {
    auto file = pl98Set({1}, 3, 2, false);
    PalettePtr palette = loadFrom(file);
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->shadeScale, 8);
    EXPECT_EQ(palette->headerWord, 0xABCD);
    EXPECT_EQ(palette->indexMask[2], 0x03030303u);
    const GFXPalette::Palette &p = palette->palettes[0];
    EXPECT_EQ(p.index, 100);
    EXPECT_EQ(p.shadeBlocks, palette->tableBase);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p.shadeBlocks) % 2048, 0u);
    auto offset = palette->tableBase - palette->tableBlock;
    EXPECT_TRUE(offset >= 1 && offset <= 2048);
    EXPECT_EQ(p.finalShadeBlock, p.shadeBlocks + 4096);
    EXPECT_EQ(p.remapTable, p.shadeBlocks + 6144);
    EXPECT_EQ(p.blendTable, nullptr);
    // The table area (10496 bytes) is taken as stored.
    size_t area = 52 + 1032;
    EXPECT_EQ(file.size(), area + 10496 + 1 + 4);
    EXPECT_EQ(0, std::memcmp(p.shadeBlocks, file.data() + area, 10496));
}

TEST(PalettePl98, TypeZeroTablesAreComputedAndOtherTypesHaveNone) {
    auto file = pl98Set({5, 0, 3}, 0, 0, false);
    PalettePtr palette = loadFrom(file);
    ASSERT_TRUE(palette);
    const GFXPalette::Palette &p = palette->palettes[1];
    ASSERT_NE(p.remapTable, nullptr);
    EXPECT_EQ(p.remapTable, palette->tableBase);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(p.remapTable[i], i);
        ASSERT_EQ(p.componentTables[3][i], 1.0f);
        ASSERT_EQ(p.componentTables[2][i], float((long double)p.entries[4 * i + 2] / 255.0L));
    }
    EXPECT_EQ(palette->palettes[0].remapTable, nullptr);
    EXPECT_EQ(palette->palettes[2].remapTable, nullptr);

    for (auto types : {std::vector<int32_t>{3, 7}, std::vector<int32_t>{}}) {
        auto none = pl98Set(types, 0, 0, false);
        PalettePtr empty = loadFrom(none);
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->paletteCount, int32_t(types.size()));
        EXPECT_EQ(empty->tableBlock, nullptr);
    }
}

// Everything but type-0 table bytes (which the reader recomputes) comes back byte for byte, and
// the set written reads back to the same set.
TEST(PalettePl98, EveryTypeRoundTrips) {
    const std::vector<std::vector<int32_t>> sets = {{0}, {1}, {2}, {6}, {8}, {4}, {0, 1, 2, 6, 8, 4, 0}};
    for (const auto &types : sets) {
        for (bool aux : {false, true}) {
            auto file = pl98Set(types, 1, 3, aux);
            PalettePtr palette = loadFrom(file);
            ASSERT_TRUE(palette);
            GrowStream out;
            ASSERT_TRUE(palette->write(out, 0));
            ASSERT_EQ(out.bytes.size(), file.size());
            size_t area = 52 + 1032 * types.size(), typeZero = 0, stored = 0;
            for (int32_t t : types)
                (t == 0 ? typeZero : stored) += size_t(share(t, 1, 3));
            auto same = [&](size_t from, size_t to) {
                return std::equal(file.begin() + from, file.begin() + to, out.bytes.begin() + from);
            };
            EXPECT_TRUE(same(0, area + stored)) << types.size();
            EXPECT_TRUE(same(area + stored + typeZero, file.size()));

            auto again = out.bytes;
            PalettePtr back = loadFrom(again);
            ASSERT_TRUE(back);
            GrowStream second;
            ASSERT_TRUE(back->write(second, 0));
            EXPECT_EQ(second.bytes, out.bytes);
            EXPECT_EQ(back->auxA, aux ? 0x11111111 : 0);
        }
    }
}

TEST(PalettePl98, PaletteWithoutTablesWritesAReadableSet) {
    PalettePtr palette(GFXPalette::construct());
    palette->palettes[0].entries[4 * 10] = 51;
    GrowStream out;
    ASSERT_TRUE(palette->write(out, 0));
    EXPECT_EQ(out.bytes.size(), 52u + 1032 + 4352 + 1 + 4);
    PalettePtr back = loadFrom(out.bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->paletteCount, 1);
    EXPECT_EQ(back->palettes[0].componentTables[0][10], 0.2f);
}

TEST(PalettePl98, RefusesImpossibleOrCutSets) {
    auto patched = [](std::vector<int32_t> types, size_t at, uint32_t value) {
        auto file = pl98Set(types, 0, 1, true);
        le::write32(file.data() + at, value);
        return file;
    };
    std::vector<std::vector<uint8_t>> files = {
        patched({0}, 4, 17),            // more palettes than a set holds
        patched({0}, 4, uint32_t(-1)),  // negative count
        patched({0}, 8, uint32_t(-1)),  // negative shade shift
        patched({0}, 8, 40),            // shade blocks beyond any allocation
        patched({1}, 12, uint32_t(-2)), // type 1 with a negative number of shade levels
    };
    auto whole = pl98Set({1, 2, 0}, 2, 1, true);
    for (size_t keep :
         {size_t(30), size_t(60), size_t(52 + 3 * 1032 + 100), whole.size() - 1040, whole.size() - 2}) {
        files.emplace_back(whole.begin(), whole.begin() + long(keep));
    }
    for (auto &file : files)
        EXPECT_FALSE(loadFrom(file)) << file.size();
    EXPECT_TRUE(loadFrom(whole));
}

} // namespace

} // namespace qarvex
