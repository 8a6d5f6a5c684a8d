// Graphics resource kinds: their place in the registry after start-up, and every kind loading
// and unloading its class from a file stream and from an entry of a volume.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FontTestSupport.h"
#include "core/ScratchDirectory.h"
#include <qarvex/gfx/ResourceTypeGFX.h>
#include <qarvex/resource/RawData.h>
#include <qarvex/stream/FileRStream.h>
#include <qarvex/volume/VolumeBuilder.h>
#include <qarvex/volume/VolumeRStream.h>

namespace qarvex {

using namespace fonttest;

namespace {

ResourceType *kindFor(const char *extension) {
    for (ResourceType *kind = ResourceType::registryHead(); kind; kind = kind->next)
        if (kind->key == extensionCode(extension))
            return kind;
    return nullptr;
}

// A 4 x 3 image of 8 bits whose pixel i is 10 + i, with a palette whose entry i is (i, 2i, 3i).
GFXBitmap::Ptr sampleBitmap(bool withPalette) {
    GFXBitmap::Ptr bitmap(GFXBitmap::create(4, 3, 8));
    for (int32_t i = 0; i < bitmap->dataSize; ++i)
        bitmap->pixels[i] = uint8_t(10 + i);
    if (withPalette) {
        bitmap->palette = GFXPalette::construct();
        for (int i = 0; i < 256; ++i) {
            uint8_t *entry = bitmap->palette->palettes[0].entries + 4 * i;
            entry[0] = uint8_t(i);
            entry[1] = uint8_t(2 * i);
            entry[2] = uint8_t(3 * i);
        }
    }
    return bitmap;
}

std::vector<uint8_t> bitmapFile(uint32_t flags) {
    GFXBitmap::Ptr bitmap = sampleBitmap(true);
    GrowStream out;
    EXPECT_TRUE(bitmap->write(out, flags));
    return out.bytes;
}

std::vector<uint8_t> paletteFile(uint32_t flags) {
    GFXPalette::Ptr palette(GFXPalette::construct());
    for (int i = 0; i < GFXPalette::EntryBytes; ++i)
        palette->palettes[0].entries[i] = uint8_t(i * 5 + 1);
    GrowStream out;
    EXPECT_TRUE(palette->write(out, flags));
    return out.bytes;
}

// Two bitmaps stored with their palettes.
std::vector<uint8_t> arrayFile() {
    GFXBitmapArray array;
    setBitmaps(array, {sampleBitmap(true).release(), sampleBitmap(true).release()});
    GrowStream out;
    EXPECT_TRUE(array.write(out, GFXBitmap::IncludePalette));
    return out.bytes;
}

void checkBitmap(void *object, bool paletteFromColourTable) {
    auto bitmap = static_cast<GFXBitmap *>(object);
    ASSERT_EQ(bitmap->width, 4);
    ASSERT_EQ(bitmap->height, 3);
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t x = 0; x < 4; ++x)
            ASSERT_EQ(bitmap->pixels[row * bitmap->stride + x], 10 + row * 4 + x);
    // The kind builds the palette the file carries, and the bitmap owns it.
    ASSERT_NE(bitmap->palette, nullptr);
    const uint8_t *entry = bitmap->palette->palettes[0].entries + 4 * 7;
    EXPECT_EQ(entry[0], 7);
    EXPECT_EQ(entry[1], 14);
    EXPECT_EQ(entry[2], 21);
    if (paletteFromColourTable) {
        EXPECT_EQ(entry[3], 4);
    }
}

void checkPalette(void *object) {
    auto palette = static_cast<GFXPalette *>(object);
    for (int i = 0; i < GFXPalette::EntryBytes; ++i)
        ASSERT_EQ(palette->palettes[0].entries[i], uint8_t(i * 5 + 1)) << i;
}

void checkArray(void *object) {
    auto array = static_cast<GFXBitmapArray *>(object);
    ASSERT_EQ(array->count, 2);
    for (int32_t i = 0; i < 2; ++i) {
        ASSERT_NE(array->bitmaps[i], nullptr);
        EXPECT_EQ(array->bitmaps[i]->width, 4);
        EXPECT_EQ(array->bitmaps[i]->palette, nullptr); // arrays are loaded without palettes
    }
}

struct KindCase {
    const char *extension;
    std::vector<uint8_t> bytes;
    std::function<void(void *)> check;
};

std::vector<KindCase> kindCases() {
    auto font = makeFont(true);
    auto fontBytes = writtenBlock(*font);
    std::shared_ptr<GFXFont> expected(font.release());
    auto pbmp = bitmapFile(GFXBitmap::IncludePalette);
    auto bmp = bitmapFile(GFXBitmap::WindowsFormat);
    return {
        // Bitmap kinds read either format, whatever the extension says.
        {".dib", bmp, [](void *o) { checkBitmap(o, true); }},
        {".bmp", pbmp, [](void *o) { checkBitmap(o, false); }},
        {".png", pbmp, [](void *o) { checkBitmap(o, false); }},
        {".pbm", bmp, [](void *o) { checkBitmap(o, true); }},
        // Palette kinds take RIFF by its first word and anything else as PL98.
        {".pal", paletteFile(GFXPalette::WindowsFormat), checkPalette},
        {".ppl", paletteFile(0), checkPalette},
        {".dpl", paletteFile(GFXPalette::WindowsFormat), checkPalette},
        {".pba", arrayFile(), checkArray},
        {".pft", fontBytes, [expected](void *o) { expectSameFont(*expected, *static_cast<GFXFont *>(o)); }},
    };
}

} // namespace

TEST(GraphicsKinds, RegistryReadsGraphicsKindsThenRawDataAfterStartUp) {
    struct Expected {
        const char *extension;
        uint32_t key;
        const char *kind;
    } order[] = {
        {".pft", 0xFF746670, "font"},   {".dpl", 0xFF6C7064, "palette"}, {".ppl", 0xFF6C7070, "palette"},
        {".pba", 0xFF616270, "array"},  {".pbm", 0xFF6D6270, "bitmap"},  {".pal", 0xFF6C6170, "palette"},
        {".png", 0xFF676E70, "bitmap"}, {".bmp", 0xFF706D62, "bitmap"},  {".dib", 0xFF626964, "bitmap"},
        {".sdt", 0xFF746473, "static"}, {".dat", 0xFF746164, "raw"},
    };
    const ResourceType *kind = ResourceType::registryHead();
    for (const Expected &e : order) {
        SCOPED_TRACE(e.extension);
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(kind->key, e.key);
        EXPECT_EQ(kind->key, extensionCode(e.extension));
        EXPECT_EQ(kind->param, 300000);
        std::string actual = dynamic_cast<const ResourceTypeGFXFont *>(kind)          ? "font"
                             : dynamic_cast<const ResourceTypeGFXPalette *>(kind)     ? "palette"
                             : dynamic_cast<const ResourceTypeGFXBitmapArray *>(kind) ? "array"
                             : dynamic_cast<const ResourceTypeGFXBitmap *>(kind)      ? "bitmap"
                             : dynamic_cast<const ResourceTypeStaticRawData *>(kind)  ? "static"
                             : dynamic_cast<const ResourceTypeRawData *>(kind)        ? "raw"
                                                                                      : "?";
        EXPECT_EQ(actual, e.kind);
        kind = kind->next;
    }
    EXPECT_EQ(kind, nullptr);
}

TEST(GraphicsKinds, ExtensionsInCapitalsFindTheSameKind) {
    EXPECT_EQ(kindFor("TITLE.PFT"), kindFor(".pft"));
    EXPECT_EQ(kindFor("Sky.Pbm"), kindFor(".pbm"));
    EXPECT_NE(kindFor(".pft"), nullptr);
}

TEST(GraphicsKinds, EveryKindLoadsAndUnloadsFromAFile) {
    ScratchDirectory scratch;
    for (const KindCase &c : kindCases()) {
        SCOPED_TRACE(c.extension);
        ResourceType *kind = kindFor(c.extension);
        ASSERT_NE(kind, nullptr);
        std::string path =
            scratch.write(std::string("sample") + c.extension, std::string(c.bytes.begin(), c.bytes.end()));
        FileRStream stream;
        ASSERT_TRUE(stream.open(path.c_str()));
        void *object = kind->load(&stream, int32_t(c.bytes.size()));
        ASSERT_NE(object, nullptr);
        c.check(object);
        kind->unload(object);
        kind->unload(nullptr);
    }
}

TEST(GraphicsKinds, EveryKindLoadsAndUnloadsFromAVolumeEntry) {
    ScratchDirectory scratch;
    auto cases = kindCases();
    VolumeBuilder builder;
    uint32_t id = 1;
    for (const KindCase &c : cases) {
        std::string name = std::string("entry") + c.extension;
        builder.add(id++, name.c_str(),
                    std::string_view(reinterpret_cast<const char *>(c.bytes.data()), c.bytes.size()));
    }
    auto image = builder.build(VolumeBuilder::Variant::PVOL);
    std::string path = scratch.write("graphics.vol", std::string(image.begin(), image.end()));
    VolumeRStream volume;
    ASSERT_TRUE(volume.open(path.c_str()));
    for (const KindCase &c : cases) {
        SCOPED_TRACE(c.extension);
        std::string name = std::string("ENTRY") + c.extension;
        ResourceType *kind = kindFor(name.c_str());
        ASSERT_NE(kind, nullptr);
        ASSERT_TRUE(volume.openEntry(name.c_str(), false));
        void *object = kind->load(&volume, volume.entrySizeByName(name.c_str()));
        ASSERT_NE(object, nullptr);
        c.check(object);
        kind->unload(object);
    }
}

TEST(GraphicsKinds, DataOfAnotherFormatGivesNull) {
    struct Case {
        const char *extension;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {".png", Bytes().u8(0x89).raw("PNG\r\n\x1a\n", 7).u32(13).tag("IHDR").fill(13, 0).data},
        {".pal", Bytes().tag("RIFF").u32(4).tag("WAVE").data},
        {".pba", Bytes().tag("PBMP").u32(0).data},
        {".pft", block(le::tag("PFNT"), {0, 0, 0, 0})},
        {".pft", bitmapFile(0)},
        {".pft", {}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.extension);
        Reader reader(c.bytes);
        EXPECT_EQ(kindFor(c.extension)->load(&reader.stream, int32_t(c.bytes.size())), nullptr);
    }
}

} // namespace qarvex
