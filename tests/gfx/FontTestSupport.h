// Shared helpers of the font tests: a small font made in memory, font bodies and object blocks put
// together from readable parts, and a field-by-field comparison of two fonts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/persist/PersistentStream.h>

namespace qarvex {

namespace fonttest {

using Glyph = GFXFont::Glyph;

// The test font's glyph bitmaps: 16 x 10 pixels, background 0, and a foreground of 1 (bitmap 0)
// or 2 (bitmap 1) on every third pixel.
inline GFXBitmap *glyphSheet(uint8_t ink) {
    GFXBitmap *sheet = GFXBitmap::create(16, 10, 8);
    for (int32_t i = 0; i < sheet->dataSize; ++i)
        sheet->pixels[i] = i % 3 == 0 ? ink : 0;
    return sheet;
}

inline void setBitmaps(GFXBitmapArray &array, std::vector<GFXBitmap *> bitmaps) {
    array.release();
    array.count = int32_t(bitmaps.size());
    array.bitmaps = static_cast<GFXBitmap **>(std::calloc(bitmaps.size() + 1, sizeof(GFXBitmap *)));
    for (size_t i = 0; i < bitmaps.size(); ++i)
        array.bitmaps[i] = bitmaps[i];
}

inline void setGlyphs(GFXFont &font, const std::vector<Glyph> &glyphs) {
    std::free(font.glyphs);
    font.glyphCount = int32_t(glyphs.size());
    font.glyphs = static_cast<Glyph *>(std::malloc((glyphs.size() + 1) * sizeof(Glyph)));
    for (size_t i = 0; i < glyphs.size(); ++i)
        font.glyphs[i] = glyphs[i];
}

// A map of count entries from first, all -1 except the given (code, glyph) pairs.
inline void setMap(GFXFont &font, int16_t first, int16_t count,
                   std::initializer_list<std::pair<int32_t, int16_t>> entries) {
    std::free(font.charMap);
    font.firstChar = first;
    font.mapCount = count;
    font.charMap = static_cast<int16_t *>(std::malloc(size_t(count + 1) * 2));
    for (int32_t i = 0; i < count; ++i)
        font.charMap[i] = -1;
    for (auto [code, glyph] : entries)
        font.charMap[code - first] = glyph;
}

// Printable ASCII from 32 (mapCount 95): ' ' is glyph 3, 'A' glyph 0 (7 x 7), 'B' glyph 1
// (5 x 10), '~' glyph 2 (4 x 6 in the second bitmap); every other code is missing.
inline GFXFont::Ptr makeFont(bool withPalette = false) {
    auto font = std::make_unique<GFXFont>();
    setBitmaps(font->glyphBitmaps, {glyphSheet(1), glyphSheet(2)});
    setGlyphs(*font, {{0, 0, 0, 7, 7, {0, 0, 0}},
                      {0, 7, 0, 5, 10, {1, 2, 3}},
                      {1, 2, 3, 4, 6, {9, 8, 7}},
                      {1, 0, 0, 3, 2, {0, 0, 0}}});
    setMap(*font, 32, 95, {{' ', 3}, {'A', 0}, {'B', 1}, {'~', 2}});
    font->reserved1 = 0xAABBCCDD;
    font->cellHeight = 10;
    font->cellWidth = 8;
    font->reserved7 = 0x11223344;
    font->spacing = 1;
    if (withPalette) {
        font->palette = GFXPalette::construct();
        for (int32_t i = 0; i < GFXPalette::EntryBytes; ++i)
            font->palette->palettes[0].entries[i] = uint8_t(i * 7);
    }
    return font;
}

// A growing stream that says it can seek, so that a block written into it is closed at its end,
// padding included, as on a file or memory stream.
struct SeekableGrowStream : GrowStream {
    int32_t query(int32_t code) override {
        return code == QueryCanSeek || code == QueryCanRead || code == QueryCanWrite ? 1 : 0;
    }
};

// The whole object block the writer makes of a font.
inline std::vector<uint8_t> writtenBlock(GFXFont &font) {
    SeekableGrowStream out;
    EXPECT_EQ(Persistent::writeObject(&out, &font), Persistent::Ok);
    return out.bytes;
}

// An object block: tag, size word (the data length), data, a zero pad byte for odd lengths.
inline std::vector<uint8_t> block(uint32_t tag, const std::vector<uint8_t> &data) {
    Bytes bytes;
    bytes.u32(tag).u32(uint32_t(data.size())).add(data);
    if (data.size() % 2)
        bytes.u8(0);
    return bytes.data;
}

// A font body put together from its parts, in file order.
struct Body {
    uint32_t header[11] = {1, 0, 0, 10, 8, 255, 0, 0, 0x10000, 0x10000, 0};
    int16_t mapCount = 0;
    int16_t firstChar = 0;
    std::vector<int16_t> map;
    std::vector<std::vector<uint8_t>> glyphs; // 8 bytes each
    std::vector<uint8_t> array;               // a PBMA chunk
    uint32_t paletteFlag = 0;
    std::vector<uint8_t> palette;

    std::vector<uint8_t> bytes() const {
        Bytes out;
        for (uint32_t word : header)
            out.u32(word);
        out.u16(uint16_t(mapCount)).u16(uint16_t(firstChar));
        for (int16_t entry : map)
            out.u16(uint16_t(entry));
        for (const auto &glyph : glyphs)
            out.add(glyph);
        out.add(array).u32(paletteFlag).add(palette);
        return out.data;
    }
    // The block of a version 2 font with this body.
    std::vector<uint8_t> pfon() const {
        Bytes data;
        data.u32(2).add(bytes());
        return block(le::tag("PFON"), data.data);
    }
};

// A PBMA chunk of n sheets as the array writer makes it.
inline std::vector<uint8_t> arrayChunk(int32_t n) {
    GFXBitmapArray array;
    std::vector<GFXBitmap *> sheets;
    for (int32_t i = 0; i < n; ++i)
        sheets.push_back(glyphSheet(uint8_t(i + 1)));
    setBitmaps(array, sheets);
    GrowStream out;
    EXPECT_TRUE(array.write(out, 0));
    return out.bytes;
}

// A small well-formed body: glyph 0 (bitmap 0, 3 x 4) for 'A' in a map of 'A' to 'C'.
inline Body smallBody() {
    Body body;
    body.header[2] = 1;
    body.mapCount = 3;
    body.firstChar = 'A';
    body.map = {0, -1, -1};
    body.glyphs = {{0, 1, 2, 3, 4, 0, 0, 0}};
    body.array = arrayChunk(1);
    return body;
}

inline void expectSameBitmap(const GFXBitmap *a, const GFXBitmap *b) {
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (!a)
        return;
    EXPECT_EQ(a->width, b->width);
    EXPECT_EQ(a->height, b->height);
    EXPECT_EQ(a->bitDepth, b->bitDepth);
    ASSERT_EQ(a->dataSize, b->dataSize);
    EXPECT_EQ(std::memcmp(a->pixels, b->pixels, size_t(a->dataSize)), 0);
}

// Equal in every stored field, in every bitmap and in palette presence (and colours).
inline void expectSameFont(const GFXFont &a, const GFXFont &b) {
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.reserved1, b.reserved1);
    EXPECT_EQ(a.cellHeight, b.cellHeight);
    EXPECT_EQ(a.cellWidth, b.cellWidth);
    EXPECT_EQ(a.foreColor, b.foreColor);
    EXPECT_EQ(a.backColor, b.backColor);
    EXPECT_EQ(a.reserved7, b.reserved7);
    EXPECT_EQ(a.scaleX, b.scaleX);
    EXPECT_EQ(a.scaleY, b.scaleY);
    EXPECT_EQ(a.spacing, b.spacing);
    EXPECT_EQ(a.firstChar, b.firstChar);
    ASSERT_EQ(a.mapCount, b.mapCount);
    for (int32_t i = 0; i < a.mapCount; ++i)
        EXPECT_EQ(a.charMap[i], b.charMap[i]) << "map entry " << i;
    ASSERT_EQ(a.glyphCount, b.glyphCount);
    for (int32_t i = 0; i < a.glyphCount; ++i)
        EXPECT_EQ(std::memcmp(&a.glyphs[i], &b.glyphs[i], sizeof(Glyph)), 0) << "glyph " << i;
    ASSERT_EQ(a.glyphBitmaps.count, b.glyphBitmaps.count);
    for (int32_t i = 0; i < a.glyphBitmaps.count; ++i)
        expectSameBitmap(a.glyphBitmaps.bitmaps[i], b.glyphBitmaps.bitmaps[i]);
    ASSERT_EQ(a.palette == nullptr, b.palette == nullptr);
    if (a.palette) {
        EXPECT_EQ(std::memcmp(a.palette->palettes[0].entries, b.palette->palettes[0].entries,
                              GFXPalette::EntryBytes),
                  0);
    }
}

} // namespace fonttest

} // namespace qarvex
