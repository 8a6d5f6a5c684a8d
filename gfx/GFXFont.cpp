// GFXFont: the font body reader and writer, glyph lookup with the shared missing-glyph box,
// measuring in 16.16 fixed point, and recolouring of the glyph images.
#include <qarvex/gfx/GFXFont.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include <qarvex/core/LittleEndian.h>
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/StreamIO.h>

namespace qarvex {

Persistent::AbstractTaggedClass *GFXFont::classFactory = nullptr;

namespace {

// Records per step when glyphs are read or written: a file that announces more records than it
// holds fails before much memory is spent on them.
constexpr int32_t GlyphStep = 1024;
// Glyph records must fit one signed 32-bit byte count.
constexpr int32_t MaxGlyphCount = INT32_MAX / GFXFont::GlyphBytes;
constexpr int32_t NoGlyph = -1;

// Shared by all fonts: rebuilt on every miss, and the bitmap a view of the asking font's box.
constinit GFXFont::Glyph sharedRecord = {};
constinit GFXBitmap sharedBitmap;
bool sharedBitmapCreated = false;

// Empties the shared bitmap when it shows the pixels of the given box, which is about to go, so
// that it is never left pointing at freed pixels.
void detachSharedViewOf(const GFXBitmap *box) {
    if (!box || !sharedBitmap.pixels || sharedBitmap.pixels != box->pixels)
        return;
    sharedBitmap.release();
    sharedBitmap.width = sharedBitmap.height = sharedBitmap.stride = 0;
}

// A product with a 16.16 scale: taken modulo 2^32 as a signed value, then shifted arithmetically.
int32_t scaled(int32_t value, int32_t scale) {
    return int32_t(uint32_t(value) * uint32_t(scale)) >> 16;
}

// Calls visit with every code of a text ended by 0.
template <typename Visit> void forEachCode(const void *text, bool wide, Visit visit) {
    if (!text)
        return;
    auto bytes = static_cast<const uint8_t *>(text);
    for (;; bytes += wide ? 2 : 1) {
        int32_t code;
        if (wide) {
            uint16_t unit;
            std::memcpy(&unit, bytes, 2); // texts in memory need not be aligned
            code = unit;
        } else {
            code = *bytes;
        }
        if (code == 0)
            return;
        visit(code);
    }
}

// Upper case of the code's low byte. Low bytes of 128 and up are kept as they are (not made
// negative), so that a case-folding font still reaches its glyphs for those characters.
int32_t foldCase(int32_t code) {
    uint8_t low = uint8_t(code);
    return (low >= 'a' && low <= 'z') ? low - ('a' - 'A') : low;
}

void decodeGlyph(const uint8_t *from, GFXFont::Glyph &glyph) {
    glyph.bitmapIndex = from[0];
    glyph.x = from[1];
    glyph.y = from[2];
    glyph.width = from[3];
    glyph.height = from[4];
    std::copy(from + 5, from + 8, glyph.spare);
}

void encodeGlyph(const GFXFont::Glyph &glyph, uint8_t *to) {
    to[0] = glyph.bitmapIndex;
    to[1] = glyph.x;
    to[2] = glyph.y;
    to[3] = glyph.width;
    to[4] = glyph.height;
    std::copy(std::begin(glyph.spare), std::end(glyph.spare), to + 5);
}

// Reads count glyph records, growing the table as they arrive; null when the stream runs short
// or memory runs out.
GFXFont::Glyph *readGlyphs(StreamIO *stream, int32_t count) {
    GFXFont::Glyph *table = nullptr;
    int32_t capacity = 0;
    uint8_t bytes[GlyphStep * GFXFont::GlyphBytes];
    for (int32_t done = 0; done < count || !table;) {
        int32_t step = std::min(GlyphStep, count - done);
        if (done + step > capacity || !table) {
            int32_t wanted = std::max(done + step, std::min(count, std::max(GlyphStep, capacity * 2)));
            auto grown = static_cast<GFXFont::Glyph *>(
                std::realloc(table, size_t(std::max(wanted, 1)) * sizeof(GFXFont::Glyph)));
            if (!grown) {
                std::free(table);
                return nullptr;
            }
            table = grown;
            capacity = wanted;
        }
        if (!Persistent::readFully(stream, step * GFXFont::GlyphBytes, bytes)) {
            std::free(table);
            return nullptr;
        }
        for (int32_t i = 0; i < step; ++i)
            decodeGlyph(bytes + i * GFXFont::GlyphBytes, table[done + i]);
        done += step;
    }
    return table;
}

} // namespace

GFXFont::~GFXFont() {
    freeTables();
    detachSharedViewOf(blankGlyph);
    GFXBitmap::destroy(blankGlyph);
    blankGlyph = nullptr;
    // glyphBitmaps releases its bitmaps as the member goes.
}

void GFXFont::freeTables() {
    std::free(glyphs);
    std::free(charMap);
    GFXPalette::destroy(palette);
    glyphs = nullptr;
    charMap = nullptr;
    palette = nullptr;
}

Persistent::AbstractTaggedClass *GFXFont::getClass() {
    return classFactory;
}

GFXFont *GFXFont::load(StreamIO *stream) {
    if (!stream)
        return nullptr;
    Vector<void *> *table = Persistent::referenceTable();
    int32_t entriesBefore = table ? table->size() : 0;
    int32_t status = Persistent::Ok;
    Persistent::Base *object = Persistent::readObject(stream, status);
    if (auto font = dynamic_cast<GFXFont *>(object))
        return font;
    if (object && table) {
        // An object reached through a reference belongs to the table's owner; one read here is
        // also in the table and must not be left there once deleted.
        if (table->size() != entriesBefore + 1 || (*table)[table->size() - 1] != object)
            return nullptr;
        (*table)[table->size() - 1] = nullptr;
    }
    delete object;
    return nullptr;
}

// Every charMap entry is -1 or a glyph record, and every record names a slot of glyphBitmaps.
bool GFXFont::mapsAreSound() const {
    if (mapCount < 0 || glyphCount < 0 || glyphCount > MaxGlyphCount)
        return false;
    if ((mapCount > 0 && !charMap) || (glyphCount > 0 && !glyphs))
        return false;
    for (int32_t i = 0; i < mapCount; ++i)
        if (charMap[i] != NoGlyph && (charMap[i] < 0 || charMap[i] >= glyphCount))
            return false;
    int32_t bitmapSlots = glyphBitmaps.bitmaps ? glyphBitmaps.count : 0;
    for (int32_t i = 0; i < glyphCount; ++i)
        if (glyphs[i].bitmapIndex >= bitmapSlots)
            return false;
    return true;
}

int32_t GFXFont::read(StreamIO *stream, int32_t, int32_t) {
    freeTables();
    // A failure leaves an empty font behind whose counts describe no tables.
    auto fail = [this] {
        freeTables();
        glyphCount = 0;
        mapCount = 0;
        return int32_t(Persistent::ReadFailed);
    };
    if (!stream)
        return fail();

    uint8_t header[HeaderBytes];
    if (!Persistent::readFully(stream, HeaderBytes, header))
        return fail();
    uint32_t words[HeaderBytes / 4];
    for (int32_t i = 0; i < HeaderBytes / 4; ++i)
        words[i] = le::read32(header + 4 * i);
    flags = words[0];
    reserved1 = words[1];
    glyphCount = int32_t(words[2]);
    cellHeight = int32_t(words[3]);
    cellWidth = int32_t(words[4]);
    foreColor = int32_t(words[5]);
    backColor = int32_t(words[6]);
    reserved7 = words[7];
    scaleX = int32_t(words[8]);
    scaleY = int32_t(words[9]);
    spacing = int32_t(words[10]);

    uint8_t counts[4];
    if (!Persistent::readFully(stream, 4, counts))
        return fail();
    mapCount = int16_t(le::read16(counts)); // the count comes first in the file
    firstChar = int16_t(le::read16(counts + 2));
    if (mapCount < 0 || glyphCount < 0 || glyphCount > MaxGlyphCount)
        return fail();

    std::unique_ptr<uint8_t[]> mapBytes(new (std::nothrow) uint8_t[size_t(std::max(2 * mapCount, 1))]);
    charMap = static_cast<int16_t *>(std::malloc(size_t(std::max(2 * mapCount, 1))));
    bool mapRead = mapBytes && charMap && Persistent::readFully(stream, 2 * mapCount, mapBytes.get());
    for (int32_t i = 0; mapRead && i < mapCount; ++i)
        charMap[i] = int16_t(le::read16(mapBytes.get() + 2 * i));
    if (!mapRead)
        return fail();
    for (int32_t i = 0; i < mapCount; ++i)
        if (charMap[i] != NoGlyph && (charMap[i] < 0 || charMap[i] >= glyphCount))
            return fail();

    glyphs = readGlyphs(stream, glyphCount);
    if (!glyphs)
        return fail();

    // A damaged array does not fail the font by itself; a glyph that names a bitmap the array
    // does not have does.
    glyphBitmaps.read(*stream, 0);
    if (!mapsAreSound())
        return fail();

    uint8_t paletteFlag[4];
    if (!Persistent::readFully(stream, 4, paletteFlag))
        return fail();
    if (le::read32(paletteFlag) != 0)
        palette = GFXPalette::load(*stream, 0);
    return Persistent::Ok;
}

int32_t GFXFont::write(StreamIO *stream, int32_t, int32_t) {
    // A font that its own reader would refuse is not written at all.
    if (!stream || !mapsAreSound())
        return Persistent::WriteFailed;
    bool wrote = true;

    uint8_t header[HeaderBytes + 4];
    const uint32_t words[HeaderBytes / 4] = {
        flags,
        reserved1,
        uint32_t(glyphCount),
        uint32_t(cellHeight),
        uint32_t(cellWidth),
        uint32_t(foreColor),
        uint32_t(backColor),
        reserved7,
        uint32_t(scaleX),
        uint32_t(scaleY),
        uint32_t(spacing),
    };
    for (int32_t i = 0; i < HeaderBytes / 4; ++i)
        le::write32(header + 4 * i, words[i]);
    le::write16(header + HeaderBytes, uint16_t(mapCount));
    le::write16(header + HeaderBytes + 2, uint16_t(firstChar));
    wrote = stream->write(HeaderBytes + 4, header) && wrote;

    uint8_t bytes[GlyphStep * GlyphBytes];
    for (int32_t done = 0; done < mapCount;) {
        int32_t step = std::min<int32_t>(int32_t(sizeof bytes) / 2, mapCount - done);
        for (int32_t i = 0; i < step; ++i)
            le::write16(bytes + 2 * i, uint16_t(charMap[done + i]));
        wrote = stream->write(2 * step, bytes) && wrote;
        done += step;
    }
    for (int32_t done = 0; done < glyphCount;) {
        int32_t step = std::min(GlyphStep, glyphCount - done);
        for (int32_t i = 0; i < step; ++i)
            encodeGlyph(glyphs[done + i], bytes + i * GlyphBytes);
        wrote = stream->write(step * GlyphBytes, bytes) && wrote;
        done += step;
    }

    wrote = glyphBitmaps.write(*stream, 0) && wrote;

    uint8_t paletteFlag[4];
    le::write32(paletteFlag, palette ? 1 : 0);
    wrote = stream->write(4, paletteFlag) && wrote;
    if (palette)
        wrote = palette->write(*stream, 0) && wrote;
    return wrote && stream->getStatus() == StreamIO::Ok ? Persistent::Ok : Persistent::WriteFailed;
}

const GFXFont::Glyph &GFXFont::missingGlyph() {
    return sharedRecord;
}

GFXBitmap &GFXFont::missingGlyphBitmap() {
    return sharedBitmap;
}

bool GFXFont::missingGlyphBitmapCreated() {
    return sharedBitmapCreated;
}

void GFXFont::releaseMissingGlyphBitmap() {
    if (!sharedBitmapCreated)
        return;
    // A view: release frees its palette, never the pixels, which it does not own.
    sharedBitmap.release();
    sharedBitmap.width = sharedBitmap.height = sharedBitmap.stride = 0;
    sharedBitmapCreated = false;
}

void GFXFont::getGlyph(int32_t code, GFXBitmap **bitmapOut, const Glyph **recordOut, Rect *rectOut) {
    if (flags & FoldCase)
        code = foldCase(code);
    int64_t i = int64_t(code) - firstChar;
    int32_t record = (i >= 0 && i < mapCount && charMap) ? charMap[i] : NoGlyph;
    // The tables are checked when read; a font filled in by hand is held to the same bounds.
    if (record < 0 || record >= glyphCount || !glyphs)
        record = NoGlyph;

    if (record != NoGlyph) {
        const Glyph &glyph = glyphs[record];
        if (recordOut)
            *recordOut = &glyph;
        if (bitmapOut) {
            if (rectOut)
                *rectOut = {glyph.x, glyph.y, glyph.x + glyph.width - 1, glyph.y + glyph.height - 1};
            bool inArray = glyphBitmaps.bitmaps && glyph.bitmapIndex < glyphBitmaps.count;
            *bitmapOut = inArray ? glyphBitmaps.bitmaps[glyph.bitmapIndex] : nullptr;
        }
        return;
    }

    sharedRecord = {};
    sharedRecord.width = uint8_t(std::max(cellWidth & 0xFF, 5));
    sharedRecord.height = uint8_t(std::max(cellHeight & 0xFF, 1));
    if (bitmapOut) {
        int32_t width = sharedRecord.width, height = sharedRecord.height;
        if (!blankGlyph || blankGlyph->width != width || blankGlyph->height != height) {
            detachSharedViewOf(blankGlyph);
            GFXBitmap::destroy(blankGlyph);
            blankGlyph = GFXBitmap::create(width, height, 8);
            if (blankGlyph)
                std::memset(blankGlyph->pixels, MissingGlyphColour,
                            size_t(blankGlyph->stride) * size_t(blankGlyph->height));
        }
        if (!sharedBitmapCreated) {
            sharedBitmap.serial = bitmapSerialCounter++;
            sharedBitmapCreated = true;
        }
        sharedBitmap.release();
        if (blankGlyph) {
            sharedBitmap.width = blankGlyph->width;
            sharedBitmap.height = blankGlyph->height;
            sharedBitmap.stride = blankGlyph->stride;
            sharedBitmap.dataSize = blankGlyph->dataSize;
            sharedBitmap.bitDepth = blankGlyph->bitDepth;
            sharedBitmap.pixels = blankGlyph->pixels;
            sharedBitmap.attributes = blankGlyph->attributes & ~GFXBitmap::OwnsPixels;
            sharedBitmap.levelCount = 1;
            sharedBitmap.levels[0] = sharedBitmap.pixels;
        } else {
            sharedBitmap.width = sharedBitmap.height = sharedBitmap.stride = 0;
        }
        if (rectOut)
            *rectOut = {0, 0, width - 1, height - 1};
        // Without memory for the box there is nothing to draw.
        *bitmapOut = blankGlyph ? &sharedBitmap : nullptr;
    }
    if (recordOut)
        *recordOut = &sharedRecord;
}

int32_t GFXFont::textWidth(const void *text) {
    uint32_t sum = 0; // wraps like the stored 32-bit arithmetic instead of overflowing
    forEachCode(text, flags & WideChars, [&](int32_t code) {
        if (flags & FixedWidth) {
            sum += uint32_t(cellWidth) + uint32_t(spacing);
            return;
        }
        const Glyph *glyph = nullptr;
        getGlyph(code, nullptr, &glyph, nullptr);
        sum += uint32_t(glyph->width) + uint32_t(spacing);
    });
    return scaled(int32_t(sum - uint32_t(spacing)), scaleX);
}

int32_t GFXFont::textHeight(const void *text) {
    int32_t tallest = 0;
    forEachCode(text, flags & WideChars, [&](int32_t code) {
        const Glyph *glyph = nullptr;
        getGlyph(code, nullptr, &glyph, nullptr);
        tallest = std::max<int32_t>(tallest, glyph->height);
    });
    return scaled(scaleY, tallest);
}

// One pass over the pixel bytes of every glyph bitmap: in match mode the bytes equal to match
// take the colour, otherwise the bytes that differ from it do.
void GFXFont::recolour(int32_t match, bool matchEqual, int32_t colour) {
    if (!glyphBitmaps.bitmaps)
        return;
    for (int32_t b = 0; b < glyphBitmaps.count; ++b) {
        GFXBitmap *bitmap = glyphBitmaps.bitmaps[b];
        if (!bitmap || !bitmap->pixels)
            continue;
        for (int32_t i = 0; i < bitmap->dataSize; ++i)
            if ((bitmap->pixels[i] == match) == matchEqual)
                bitmap->pixels[i] = uint8_t(colour);
    }
}

void GFXFont::setBackColor(int32_t colour) {
    if (!(flags & Recolourable))
        return;
    recolour(backColor, true, colour);
    backColor = colour;
}

void GFXFont::setForeColor(int32_t colour) {
    if (!(flags & Recolourable))
        return;
    recolour(0, false, colour);
    foreColor = colour;
}

void GFXFont::remapColors(const uint8_t *table) {
    backColor = 0;
    if (!table || !glyphBitmaps.bitmaps)
        return;
    for (int32_t b = 0; b < glyphBitmaps.count; ++b)
        if (GFXBitmap *bitmap = glyphBitmaps.bitmaps[b])
            bitmap->remapPixels(table);
}

void GFXFont::clearBackColor(int32_t flag) {
    if (flag)
        backColor = 0;
}

void GFXFont::clearBackColor2(int32_t flag) {
    if (flag)
        backColor = 0;
}

} // namespace qarvex
