// Fuzz target for fonts: the input is read as a series of object blocks through the font loader.
// Every font that loads must keep its lookups inside its tables, measure and recolour without
// faults, and come back equal from its writer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/gfx/GfxTestSupport.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/MemRWStream.h>

using namespace qarvex;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Every lookup, found or missing, hands out a record and a rectangle inside the bitmap it gives.
void checkLookups(GFXFont &font) {
    for (int32_t code = -2; code < 0x10102; code += (code > 0x200 ? 0x3F : 1)) {
        GFXBitmap *bitmap = nullptr;
        const GFXFont::Glyph *record = nullptr;
        GFXFont::Rect rect{};
        font.getGlyph(code, &bitmap, &record, &rect);
        require(record != nullptr);
        if (record == &GFXFont::missingGlyph()) {
            require(bitmap == nullptr || bitmap == &GFXFont::missingGlyphBitmap());
            require(!bitmap || (bitmap->width == record->width && bitmap->height == record->height));
            if (bitmap)
                require(bitmap->pixels[bitmap->dataSize - 1] == GFXFont::MissingGlyphColour);
        } else {
            require(record >= font.glyphs && record < font.glyphs + font.glyphCount);
            require(record->bitmapIndex < font.glyphBitmaps.count);
        }
    }
}

// Says it can seek, so that a written block is closed at its end as on a memory stream.
struct SeekableGrowStream : GrowStream {
    int32_t query(int32_t code) override {
        return code == QueryCanSeek || code == QueryCanRead || code == QueryCanWrite ? 1 : 0;
    }
};

void checkRoundTrip(GFXFont &font) {
    bool anyNull = false;
    for (int32_t i = 0; i < font.glyphBitmaps.count; ++i)
        anyNull = anyNull || !font.glyphBitmaps.bitmaps[i];
    SeekableGrowStream out;
    int32_t status = Persistent::writeObject(&out, &font);
    // An array with empty slots cannot be written, and a font is never written in part.
    require(!anyNull || status == Persistent::WriteFailed);
    if (status != Persistent::Ok)
        return;
    MemRWStream in;
    in.attach(int32_t(out.bytes.size()), out.bytes.data());
    GFXFont *back = GFXFont::load(&in);
    require(back != nullptr);
    require(back->glyphCount == font.glyphCount && back->mapCount == font.mapCount);
    require(back->firstChar == font.firstChar && back->flags == font.flags);
    require(std::memcmp(back->charMap, font.charMap, 2 * size_t(font.mapCount)) == 0);
    require(std::memcmp(back->glyphs, font.glyphs, sizeof(GFXFont::Glyph) * size_t(font.glyphCount)) == 0);
    require(back->glyphBitmaps.count == font.glyphBitmaps.count);
    require((back->palette == nullptr) == (font.palette == nullptr));
    delete back;
}

void exercise(GFXFont &font, const uint8_t *text, size_t size) {
    checkLookups(font);
    // A text from the input, ended by 0 in both widths whatever its length.
    std::vector<uint8_t> codes(text, text + std::min<size_t>(size, 64));
    codes.insert(codes.end(), 4, 0);
    font.textWidth(codes.data());
    font.textHeight(codes.data());
    if (font.glyphCount <= 4096 && font.glyphBitmaps.count <= 64)
        checkRoundTrip(font);
    uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = uint8_t(i ^ 0x55);
    font.flags |= GFXFont::Recolourable;
    font.setBackColor(3);
    font.setForeColor(9);
    font.remapColors(table);
    font.clearBackColor(1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    for (int i = 0; i < 16; ++i) {
        int32_t before = stream.getPosition();
        GFXFont *font = GFXFont::load(&stream);
        if (font) {
            exercise(*font, data, size);
            delete font;
        }
        if (stream.getStatus() != StreamIO::Ok || stream.getPosition() <= before)
            break;
    }
    return 0;
}
