// Fonts: the stored body and its round trip through the object block readers, glyph lookup and
// the shared missing-glyph box, measuring, recolouring, the refusal of damaged fonts, the
// obsolete font blocks and the factories.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FontTestSupport.h"
#include <qarvex/gfx/GFXFontFactories.h>
#include <qarvex/gfx/GFXObsoleteFont.h>
#include <qarvex/gfx/ResourceTypeGFX.h>
#include <qarvex/resource/ResourceType.h>

namespace qarvex {

using namespace fonttest;

namespace {

constexpr uint32_t PfonTag = le::tag("PFON");
constexpr uint32_t PfntTag = le::tag("PFNT");

ResourceType *kindFor(const char *extension) {
    for (ResourceType *kind = ResourceType::registryHead(); kind; kind = kind->next)
        if (kind->key == extensionCode(extension))
            return kind;
    return nullptr;
}

struct ReadResult {
    std::unique_ptr<Persistent::Base> object;
    int32_t status = -1;
    int32_t endPosition = -1;
};

ReadResult readBlock(std::vector<uint8_t> bytes) {
    Reader reader(bytes);
    ReadResult result;
    result.object.reset(Persistent::readObject(&reader.stream, result.status));
    result.endPosition = reader.stream.getPosition();
    return result;
}

GFXFont *asFont(const ReadResult &result) {
    return dynamic_cast<GFXFont *>(result.object.get());
}

} // namespace

TEST(FontFormat, WrittenBlockHoldsVersionTwoAndTheBodyInFileOrder) {
    auto font = makeFont();
    auto bytes = writtenBlock(*font);
    EXPECT_EQ(tagAt(bytes, 0), "PFON");
    uint32_t dataLength = word(bytes, 4) & 0x7FFFFFFF;
    EXPECT_EQ(8 + dataLength + dataLength % 2, bytes.size());
    EXPECT_EQ(word(bytes, 8), 2u); // version
    const size_t body = 12;
    const uint32_t header[11] = {1, 0xAABBCCDD, 4, 10, 8, 255, 0, 0x11223344, 0x10000, 0x10000, 1};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(word(bytes, body + 4 * i), header[i]) << "header word " << i;
    // mapCount comes before firstChar in the file.
    EXPECT_EQ(le::read16(bytes.data() + body + 44), 95);
    EXPECT_EQ(le::read16(bytes.data() + body + 46), 32);
    EXPECT_EQ(int16_t(le::read16(bytes.data() + body + 48 + 2 * ('A' - 32))), 0);
    EXPECT_EQ(int16_t(le::read16(bytes.data() + body + 48 + 2 * ('a' - 32))), -1);
    const size_t glyphs = body + 48 + 2 * 95;
    const uint8_t second[8] = {0, 7, 0, 5, 10, 1, 2, 3};
    EXPECT_EQ(std::memcmp(bytes.data() + glyphs + 8, second, 8), 0);
    EXPECT_EQ(tagAt(bytes, glyphs + 4 * 8), "PBMA");
    // No palette: the body ends with a palette flag of 0.
    EXPECT_EQ(word(bytes, bytes.size() - 4), 0u);
}

TEST(FontFormat, BodyBuiltFromPartsReadsIntoTheFields) {
    Body body = smallBody();
    for (uint32_t i = 0; i < 11; ++i)
        body.header[i] = 0x01000000u * (i + 1) + i;
    body.header[0] = GFXFont::FoldCase | 1;
    body.header[2] = 1; // glyphCount
    ReadResult result = readBlock(body.pfon());
    ASSERT_EQ(result.status, Persistent::Ok);
    GFXFont *font = asFont(result);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->flags, GFXFont::FoldCase | 1);
    EXPECT_EQ(font->reserved1, 0x02000001u);
    EXPECT_EQ(font->glyphCount, 1);
    EXPECT_EQ(font->cellHeight, 0x04000003);
    EXPECT_EQ(font->cellWidth, 0x05000004);
    EXPECT_EQ(font->foreColor, 0x06000005);
    EXPECT_EQ(font->backColor, 0x07000006);
    EXPECT_EQ(font->reserved7, 0x08000007u);
    EXPECT_EQ(font->scaleX, 0x09000008);
    EXPECT_EQ(font->scaleY, 0x0A000009);
    EXPECT_EQ(font->spacing, 0x0B00000A);
    EXPECT_EQ(font->mapCount, 3);
    EXPECT_EQ(font->firstChar, 'A');
    EXPECT_EQ(font->charMap[1], -1);
    EXPECT_EQ(font->glyphs[0].width, 3);
    EXPECT_EQ(font->glyphBitmaps.count, 1);
    EXPECT_EQ(font->palette, nullptr);
    EXPECT_EQ(result.endPosition, int32_t(body.pfon().size()));
}

TEST(FontFormat, RoundTripThroughEveryReader) {
    for (bool withPalette : {false, true}) {
        SCOPED_TRACE(withPalette ? "with palette" : "without palette");
        auto font = makeFont(withPalette);
        font->flags = GFXFont::Recolourable | GFXFont::FoldCase | 1;
        font->scaleX = 0x18000;
        font->backColor = 4;
        auto bytes = writtenBlock(*font);
        // A second block after the first shows that each reader leaves the stream after its block.
        auto twice = bytes;
        twice.insert(twice.end(), bytes.begin(), bytes.end());

        ReadResult viaReadObject = readBlock(twice);
        ASSERT_EQ(viaReadObject.status, Persistent::Ok);
        ASSERT_NE(asFont(viaReadObject), nullptr);
        expectSameFont(*font, *asFont(viaReadObject));
        EXPECT_EQ(viaReadObject.endPosition, int32_t(bytes.size()));

        Reader reader(twice);
        GFXFont::Ptr viaLoad(GFXFont::load(&reader.stream));
        ASSERT_NE(viaLoad, nullptr);
        expectSameFont(*font, *viaLoad);
        GFXFont::Ptr second(GFXFont::load(&reader.stream));
        ASSERT_NE(second, nullptr);
        expectSameFont(*font, *second);

        ResourceType *kind = kindFor(".pft");
        ASSERT_NE(kind, nullptr);
        Reader kindReader(bytes);
        void *loaded = kind->load(&kindReader.stream, int32_t(bytes.size()));
        ASSERT_NE(loaded, nullptr);
        expectSameFont(*font, *static_cast<GFXFont *>(loaded));
        kind->unload(loaded);

        // What was read writes back to the same bytes.
        EXPECT_EQ(writtenBlock(*viaLoad), bytes);
    }
}

TEST(FontFormat, DamagedPartsRefuseTheFont) {
    struct Case {
        const char *what;
        void (*damage)(Body &);
    } cases[] = {
        {"map entry equal to glyphCount", [](Body &b) { b.map[2] = 1; }},
        {"map entry below -1", [](Body &b) { b.map[1] = -2; }},
        {"glyph naming a bitmap past the array", [](Body &b) { b.glyphs[0][0] = 1; }},
        {"glyph naming a bitmap of a damaged array",
         [](Body &b) { b.array = Bytes().tag("JUNK").u32(0).data; }},
        {"negative mapCount", [](Body &b) { b.mapCount = -1; }},
        {"negative glyphCount", [](Body &b) { b.header[2] = 0xFFFFFFFF; }},
        {"glyphCount far beyond the data", [](Body &b) { b.header[2] = 0x0FFFFFFF; }},
        {"glyphCount beyond any byte count", [](Body &b) { b.header[2] = 0x10000000; }},
        {"map cut short", [](Body &b) { b.mapCount = 200; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Body body = smallBody();
        c.damage(body);
        auto bytes = body.pfon();
        bytes.push_back(0x5A); // a byte after the block, where the reader must stop
        ReadResult result = readBlock(bytes);
        EXPECT_EQ(result.object, nullptr);
        EXPECT_EQ(result.status, Persistent::ReadFailed);
        EXPECT_EQ(result.endPosition, int32_t(bytes.size() - 1));
    }
}

TEST(FontFormat, ABodyCutAnywhereIsRefused) {
    Body body = smallBody();
    auto full = body.bytes();
    // Cuts inside the header, the counts, the map, the glyph records, the array and the flag.
    for (size_t cut : {size_t(0), size_t(20), size_t(45), size_t(49), size_t(56), size_t(60),
                       full.size() - 30, full.size() - 1}) {
        SCOPED_TRACE(cut);
        Bytes data;
        data.u32(2).raw(full.data(), cut);
        ReadResult result = readBlock(block(PfonTag, data.data));
        EXPECT_EQ(result.object, nullptr);
        EXPECT_EQ(result.status, Persistent::ReadFailed);
    }
}

TEST(FontFormat, DamagedArrayOrPaletteDoesNotFailAFontThatNeedsNeither) {
    Body body;
    body.array = Bytes().tag("JUNK").u32(0).data;
    body.paletteFlag = 7; // any non-zero value announces a palette
    body.palette = Bytes().tag("RIFF").u32(4).tag("WAVE").u32(0).data;
    ReadResult result = readBlock(body.pfon());
    ASSERT_EQ(result.status, Persistent::Ok);
    ASSERT_NE(asFont(result), nullptr);
    EXPECT_EQ(asFont(result)->glyphBitmaps.count, 0);
    EXPECT_EQ(asFont(result)->palette, nullptr);
}

TEST(FontFormat, AnyNonZeroFlagReadsThePalette) {
    GFXPalette::Ptr palette(GFXPalette::construct());
    palette->palettes[0].entries[4] = 99;
    GrowStream riff;
    palette->write(riff, GFXPalette::WindowsFormat);
    Body body = smallBody();
    body.paletteFlag = 0x80000000u;
    body.palette = riff.bytes; // a RIFF palette is accepted too
    ReadResult result = readBlock(body.pfon());
    ASSERT_NE(asFont(result), nullptr);
    ASSERT_NE(asFont(result)->palette, nullptr);
    EXPECT_EQ(asFont(result)->palette->palettes[0].entries[4], 99);
}

TEST(FontFormat, FontsTheReaderWouldRefuseAreNotWritten) {
    auto unsoundMap = makeFont();
    unsoundMap->charMap[5] = 4; // only glyphs 0 to 3 exist
    auto nullBitmap = makeFont();
    GFXBitmap::destroy(nullBitmap->glyphBitmaps.bitmaps[1]);
    nullBitmap->glyphBitmaps.bitmaps[1] = nullptr;
    for (GFXFont *font : {unsoundMap.get(), nullBitmap.get()}) {
        GrowStream out;
        EXPECT_EQ(Persistent::writeObject(&out, font), Persistent::WriteFailed);
    }
}

TEST(FontFormat, ReaderReplacesWhatTheFontHeld) {
    auto font = makeFont(true);
    Body body = smallBody();
    auto data = body.bytes();
    Reader reader(data);
    ASSERT_EQ(font->read(&reader.stream, 2, 0), Persistent::Ok);
    EXPECT_EQ(font->glyphCount, 1);
    EXPECT_EQ(font->mapCount, 3);
    EXPECT_EQ(font->glyphBitmaps.count, 1);
    EXPECT_EQ(font->palette, nullptr);
}

TEST(FontLoad, ReturnsOnlyFonts) {
    // A block of the obsolete format is read (and refused) and gives no font.
    Bytes pfnt;
    pfnt.u32(0).u32(0);
    auto bytes = block(PfntTag, pfnt.data);
    Reader reader(bytes);
    EXPECT_EQ(GFXFont::load(&reader.stream), nullptr);
    EXPECT_EQ(reader.stream.getPosition(), int32_t(bytes.size()));

    std::vector<uint8_t> empty;
    Reader none(empty);
    EXPECT_EQ(GFXFont::load(&none.stream), nullptr);
    EXPECT_EQ(GFXFont::load(nullptr), nullptr);
}

namespace {
class NotAFont : public Persistent::Base {
public:
    static inline int live = 0;
    NotAFont() { ++live; }
    ~NotAFont() override { --live; }
};
class NotAFontFactory : public Persistent::TaggedClass<NotAFont> {
public:
    NotAFontFactory() : TaggedClass("NotAFont", le::tag("TNAF")) {}
};
} // namespace

TEST(FontLoad, OtherClassesAreDeletedButNeverObjectsOwnedByAReferenceTable) {
    NotAFontFactory factory;
    auto other = block(le::tag("TNAF"), {});
    {
        Reader reader(other);
        EXPECT_EQ(GFXFont::load(&reader.stream), nullptr);
        EXPECT_EQ(NotAFont::live, 0);
    }

    // With a table installed, a font is read, then another object, then references to both.
    Vector<void *> table;
    Persistent::setReferenceTable(&table);
    auto font = makeFont();
    Bytes series;
    series.add(writtenBlock(*font)).add(other);
    Bytes reference0, reference1;
    reference0.u32(0);
    reference1.u32(1);
    series.add(block(le::tag("DICT"), reference0.data)).add(block(le::tag("DICT"), reference1.data));
    Reader reader(series.data);
    GFXFont *first = GFXFont::load(&reader.stream);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GFXFont::load(&reader.stream), nullptr);
    EXPECT_EQ(NotAFont::live, 0);
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table[1], nullptr); // not left pointing at the deleted object
    EXPECT_EQ(GFXFont::load(&reader.stream), first);
    EXPECT_EQ(GFXFont::load(&reader.stream), nullptr);

    // A reference to an object the table's owner holds: not the loader's to delete.
    auto *kept = new NotAFont;
    table[1] = kept;
    Bytes again;
    again.add(block(le::tag("DICT"), reference1.data));
    Reader referenceReader(again.data);
    EXPECT_EQ(GFXFont::load(&referenceReader.stream), nullptr);
    EXPECT_EQ(NotAFont::live, 1);
    Persistent::setReferenceTable(nullptr);
    delete kept;
    delete first;
}

TEST(ObsoleteFont, BlocksAreRecognisedAndRefused) {
    Bytes withData;
    withData.u32(1).u32(0x12345678);
    ReadResult refused = readBlock(block(PfntTag, withData.data));
    EXPECT_EQ(refused.object, nullptr);
    EXPECT_EQ(refused.status, Persistent::WriteFailed);
    EXPECT_EQ(refused.endPosition, 16);

    ReadResult noData = readBlock(block(PfntTag, {}));
    EXPECT_EQ(noData.status, Persistent::ReadFailed);
    EXPECT_EQ(noData.endPosition, 8);

    GFXObsoleteFont obsolete;
    GrowStream out;
    EXPECT_EQ(obsolete.read(&out, 0, 0), Persistent::WriteFailed);
    EXPECT_EQ(obsolete.write(&out, 0, 0), Persistent::WriteFailed);
    EXPECT_TRUE(out.bytes.empty());
    EXPECT_EQ(obsolete.version(), 0);
}

TEST(FontFactories, AreRegisteredWithTheirTagsAndNames) {
    std::unique_ptr<Persistent::Base> font(Persistent::createByTag(PfonTag));
    std::unique_ptr<Persistent::Base> obsolete(Persistent::createByTag(PfntTag));
    EXPECT_NE(dynamic_cast<GFXFont *>(font.get()), nullptr);
    EXPECT_NE(dynamic_cast<GFXObsoleteFont *>(obsolete.get()), nullptr);
    std::unique_ptr<Persistent::Base> byName(Persistent::createByName("gfxfont"));
    EXPECT_NE(dynamic_cast<GFXFont *>(byName.get()), nullptr);

    Persistent::AbstractTaggedClass *fontClass = font->getClass();
    Persistent::AbstractTaggedClass *obsoleteClass = obsolete->getClass();
    ASSERT_NE(fontClass, nullptr);
    ASSERT_NE(obsoleteClass, nullptr);
    EXPECT_EQ(fontClass->tag, PfonTag);
    EXPECT_STREQ(fontClass->name, "GFXFont");
    EXPECT_EQ(fontClass->index, 0);
    EXPECT_EQ(obsoleteClass->tag, PfntTag);
    EXPECT_STREQ(obsoleteClass->name, "GFXObsoleteFont");
    // "PFON" was registered first, so "PFNT" stands in front of it.
    bool sawObsolete = false;
    for (auto *factory = Persistent::taggedClassList(); factory; factory = factory->next) {
        if (factory == obsoleteClass)
            sawObsolete = true;
        if (factory == fontClass) {
            EXPECT_TRUE(sawObsolete);
            EXPECT_EQ(factory->next, nullptr);
        }
    }
    EXPECT_EQ(font->version(), 2);
}

TEST(FontFactories, ASecondSetComesAndGoesInItsOrder) {
    Persistent::AbstractTaggedClass *head = Persistent::taggedClassList();
    Persistent::AbstractTaggedClass *fontClass = GFXFont::classFactory;
    {
        GFXFontFactories local;
        EXPECT_EQ(Persistent::taggedClassList(), &local.obsoleteFont);
        EXPECT_EQ(local.obsoleteFont.next, &local.font);
        EXPECT_EQ(local.font.next, head);
        EXPECT_EQ(GFXFont::classFactory, &local.font);
        GFXFont font;
        GFXBitmap *bitmap = nullptr;
        GFXFont::Rect rect;
        font.getGlyph('x', &bitmap, nullptr, &rect);
        EXPECT_TRUE(GFXFont::missingGlyphBitmapCreated());
    }
    EXPECT_FALSE(GFXFont::missingGlyphBitmapCreated());
    EXPECT_EQ(GFXFont::missingGlyphBitmap().pixels, nullptr);
    EXPECT_EQ(Persistent::taggedClassList(), head);
    EXPECT_EQ(GFXFont::classFactory, fontClass);
}

TEST(GlyphLookup, FindsMappedCodesAndTreatsTheRestAsMissing) {
    auto font = makeFont();
    struct Case {
        int32_t code;
        int glyph; // -1: missing
    } cases[] = {
        {'A', 0}, {'B', 1},  {126, 2},  {32, 3},  {127, -1},
        {31, -1}, {'a', -1}, {'C', -1}, {-5, -1}, {0x10041, -1}, // only FoldCase looks at the low byte alone
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        const Glyph *record = nullptr;
        font->getGlyph(c.code, nullptr, &record, nullptr);
        ASSERT_NE(record, nullptr);
        if (c.glyph < 0)
            EXPECT_EQ(record, &GFXFont::missingGlyph());
        else
            EXPECT_EQ(record, &font->glyphs[c.glyph]);
    }
}

TEST(GlyphLookup, GivesTheBitmapAndInclusiveRectangle) {
    auto font = makeFont();
    GFXBitmap *bitmap = nullptr;
    const Glyph *record = nullptr;
    GFXFont::Rect rect{};
    font->getGlyph('~', &bitmap, &record, &rect);
    EXPECT_EQ(bitmap, font->glyphBitmaps.bitmaps[1]);
    EXPECT_EQ(record, &font->glyphs[2]);
    EXPECT_EQ(rect.left, 2);
    EXPECT_EQ(rect.top, 3);
    EXPECT_EQ(rect.right, 5);
    EXPECT_EQ(rect.bottom, 8);
    // Outputs are optional.
    font->getGlyph('B', &bitmap, nullptr, nullptr);
    EXPECT_EQ(bitmap, font->glyphBitmaps.bitmaps[0]);
}

TEST(GlyphLookup, FoldCaseUsesTheUpperCaseOfTheLowByte) {
    auto font = makeFont();
    setMap(*font, 32, 224, {{'A', 0}, {0xE9, 1}});
    font->flags |= GFXFont::FoldCase;
    for (int32_t code : {int32_t('a'), int32_t('A'), 0x161, 0xFF41}) {
        const Glyph *record = nullptr;
        font->getGlyph(code, nullptr, &record, nullptr);
        EXPECT_EQ(record, &font->glyphs[0]) << code;
    }
    // A low byte of 128 or more keeps its value.
    const Glyph *record = nullptr;
    font->getGlyph(0xE9, nullptr, &record, nullptr);
    EXPECT_EQ(record, &font->glyphs[1]);
}

TEST(MissingGlyph, IsABoxOfColour253SizedFromTheCell) {
    struct Case {
        int32_t cellWidth, cellHeight, width, height;
    } cases[] = {
        {3, 0, 5, 1}, {8, 10, 8, 10}, {0x107, 0x20C, 7, 12}, {-1, -1, 255, 255}, {0x100, 0x100, 5, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cellWidth);
        GFXFont font;
        font.cellWidth = c.cellWidth;
        font.cellHeight = c.cellHeight;
        const Glyph *record = nullptr;
        GFXBitmap *bitmap = nullptr;
        GFXFont::Rect rect{};
        font.getGlyph('?', &bitmap, &record, &rect);
        ASSERT_EQ(record, &GFXFont::missingGlyph());
        EXPECT_EQ(record->bitmapIndex, 0);
        EXPECT_EQ(record->x, 0);
        EXPECT_EQ(record->y, 0);
        EXPECT_EQ(record->width, c.width);
        EXPECT_EQ(record->height, c.height);
        EXPECT_EQ(record->spare[0], 0);
        ASSERT_EQ(bitmap, &GFXFont::missingGlyphBitmap());
        EXPECT_EQ(rect.left, 0);
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right, c.width - 1);
        EXPECT_EQ(rect.bottom, c.height - 1);
        ASSERT_NE(font.blankGlyph, nullptr);
        EXPECT_EQ(bitmap->width, c.width);
        EXPECT_EQ(bitmap->height, c.height);
        EXPECT_EQ(bitmap->pixels, font.blankGlyph->pixels);
        EXPECT_EQ(bitmap->attributes & GFXBitmap::OwnsPixels, 0u);
        for (int32_t i = 0; i < bitmap->stride * bitmap->height; ++i)
            ASSERT_EQ(bitmap->pixels[i], 253) << i;
    }
}

TEST(MissingGlyph, BoxIsMadeOnlyWhenABitmapIsAskedForAndKeptWhileItsSizeHolds) {
    GFXFont font;
    font.cellWidth = 3;
    const Glyph *record = nullptr;
    font.getGlyph('x', nullptr, &record, nullptr);
    EXPECT_EQ(font.blankGlyph, nullptr);

    GFXBitmap *bitmap = nullptr;
    GFXFont::Rect rect;
    font.getGlyph('x', &bitmap, nullptr, &rect);
    GFXBitmap *box = font.blankGlyph;
    ASSERT_NE(box, nullptr);
    int32_t sharedSerial = bitmap->serial;
    font.getGlyph('y', &bitmap, nullptr, &rect);
    EXPECT_EQ(font.blankGlyph, box);

    font.cellHeight = 4;
    font.getGlyph('y', &bitmap, nullptr, &rect);
    EXPECT_NE(font.blankGlyph, nullptr);
    EXPECT_EQ(font.blankGlyph->height, 4);
    EXPECT_EQ(bitmap->pixels, font.blankGlyph->pixels);
    // The shared bitmap is made once and keeps its serial number.
    EXPECT_EQ(bitmap->serial, sharedSerial);
}

TEST(MissingGlyph, SharedBitmapFollowsTheLatestMissAndLetsGoOfADestroyedFont) {
    auto first = std::make_unique<GFXFont>();
    GFXFont second;
    second.cellWidth = 9;
    GFXBitmap *bitmap = nullptr;
    GFXFont::Rect rect;
    first->getGlyph('x', &bitmap, nullptr, &rect);
    second.getGlyph('x', &bitmap, nullptr, &rect);
    EXPECT_EQ(bitmap->pixels, second.blankGlyph->pixels);
    EXPECT_EQ(bitmap->width, 9);
    first.reset(); // not the font the view shows: the view stays
    EXPECT_EQ(bitmap->pixels, second.blankGlyph->pixels);

    first = std::make_unique<GFXFont>();
    first->getGlyph('x', &bitmap, nullptr, &rect);
    first.reset();
    EXPECT_EQ(GFXFont::missingGlyphBitmap().pixels, nullptr);
    EXPECT_EQ(GFXFont::missingGlyphBitmap().dataSize, 0);
}

TEST(Measuring, FixedWidthAdvancesByTheCell) {
    GFXFont font;
    font.flags |= GFXFont::FixedWidth;
    font.cellWidth = 8;
    font.spacing = 1;
    EXPECT_EQ(font.textWidth("abc"), 26);
    EXPECT_EQ(font.textWidth(""), -1);
    EXPECT_EQ(font.textWidth(nullptr), -1);
    font.scaleX = 0x8000;
    EXPECT_EQ(font.textWidth("abc"), 13);
    EXPECT_EQ(font.textWidth(""), -1); // -1 x 0.5, shifted arithmetically
}

TEST(Measuring, ProportionalWidthsAddGlyphsSpacingAndMissingBoxes) {
    auto font = makeFont(); // A 7, B 5, space 3, missing boxes 8 wide; spacing 1
    struct Case {
        const char *text;
        int32_t scale;
        int32_t width;
    } cases[] = {
        {"A", 0x10000, 7},          {"AB", 0x10000, 13}, {"A B", 0x10000, 17}, {"AzB", 0x10000, 22},
        {"AB", 0x18000, 19},        {"AB", 0x20000, 26}, {"", 0x10000, -1},    {"AB", -0x10000, -13},
        {"AB", 0x0A000000, -32256}, // the product wraps at 32 bits before the shift
    };
    for (const Case &c : cases) {
        font->scaleX = c.scale;
        EXPECT_EQ(font->textWidth(c.text), c.width) << c.text << " at " << c.scale;
    }
}

TEST(Measuring, HeightIsTheTallestGlyphScaled) {
    auto font = makeFont();             // A 7 high, B 10, '~' 6, missing boxes 10
    font->flags |= GFXFont::FixedWidth; // height is measured by glyph whatever the width mode
    EXPECT_EQ(font->textHeight("A~"), 7);
    EXPECT_EQ(font->textHeight(""), 0);
    font->scaleY = 0x8000;
    EXPECT_EQ(font->textHeight("AB"), 5);
    EXPECT_EQ(font->textHeight("A?"), 5); // the missing box counts with its height
}

TEST(Measuring, WideTextsAreSixteenBitCodes) {
    auto font = makeFont();
    font->flags |= GFXFont::WideChars;
    // 'A', 'B', then a code whose low byte is 'A' but which has no glyph; misaligned on purpose.
    uint8_t storage[1 + 8];
    const uint16_t codes[] = {'A', 'B', 0x0141, 0};
    std::memcpy(storage + 1, codes, sizeof codes);
    EXPECT_EQ(font->textWidth(storage + 1), 7 + 1 + 5 + 1 + 8);
    EXPECT_EQ(font->textHeight(storage + 1), 10);
}

namespace {
std::vector<uint8_t> pixelsOf(const GFXBitmap *bitmap) {
    return std::vector<uint8_t>(bitmap->pixels, bitmap->pixels + bitmap->dataSize);
}
} // namespace

TEST(Recolouring, BackThenForeColour) {
    auto font = makeFont();
    font->flags |= GFXFont::Recolourable;
    font->setBackColor(5);
    EXPECT_EQ(font->backColor, 5);
    for (int32_t b = 0; b < 2; ++b)
        for (uint8_t p : pixelsOf(font->glyphBitmaps.bitmaps[b]))
            ASSERT_TRUE(p == 5 || p == b + 1);
    font->setForeColor(7);
    EXPECT_EQ(font->foreColor, 7);
    for (int32_t b = 0; b < 2; ++b)
        for (uint8_t p : pixelsOf(font->glyphBitmaps.bitmaps[b]))
            ASSERT_EQ(p, 7);
}

TEST(Recolouring, ForeColourLeavesAZeroBackground) {
    auto font = makeFont();
    font->flags |= GFXFont::Recolourable;
    font->setForeColor(9);
    auto pixels = pixelsOf(font->glyphBitmaps.bitmaps[0]);
    for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(pixels[i], i % 3 == 0 ? 9 : 0);
    font->setBackColor(4);
    font->setBackColor(6); // only pixels holding the current background change
    pixels = pixelsOf(font->glyphBitmaps.bitmaps[0]);
    for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(pixels[i], i % 3 == 0 ? 9 : 6);
}

TEST(Recolouring, NeedsRecolourable) {
    auto font = makeFont();
    auto before = pixelsOf(font->glyphBitmaps.bitmaps[0]);
    font->setBackColor(5);
    font->setForeColor(7);
    EXPECT_EQ(pixelsOf(font->glyphBitmaps.bitmaps[0]), before);
    EXPECT_EQ(font->backColor, 0);
    EXPECT_EQ(font->foreColor, 255);
}

TEST(Recolouring, RemapIgnoresTheFlagAndClearsTheBackground) {
    auto font = makeFont();
    font->backColor = 3;
    GFXBitmap::destroy(font->glyphBitmaps.bitmaps[1]);
    font->glyphBitmaps.bitmaps[1] = nullptr; // null entries are skipped
    uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = uint8_t(255 - i);
    font->remapColors(table);
    EXPECT_EQ(font->backColor, 0);
    auto pixels = pixelsOf(font->glyphBitmaps.bitmaps[0]);
    for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(pixels[i], i % 3 == 0 ? 254 : 255);
    font->flags |= GFXFont::Recolourable;
    font->setForeColor(1);
    font->setBackColor(2); // nothing holds the cleared background colour 0 any more
    EXPECT_EQ(font->glyphBitmaps.bitmaps[0]->pixels[0], 1);
    EXPECT_EQ(font->glyphBitmaps.bitmaps[0]->pixels[1], 1);
}

TEST(Recolouring, ClearBackColourOnlyWithAFlag) {
    GFXFont font;
    for (auto clear : {&GFXFont::clearBackColor, &GFXFont::clearBackColor2}) {
        font.backColor = 8;
        (font.*clear)(0);
        EXPECT_EQ(font.backColor, 8);
        (font.*clear)(2);
        EXPECT_EQ(font.backColor, 0);
    }
}

TEST(FontFormat, ANewEmptyFontRoundTrips) {
    GFXFont font;
    ReadResult result = readBlock(writtenBlock(font));
    ASSERT_NE(asFont(result), nullptr);
    expectSameFont(font, *asFont(result));
    EXPECT_EQ(asFont(result)->scaleX, 0x10000);
    EXPECT_EQ(asFont(result)->foreColor, 255);
}

} // namespace qarvex
