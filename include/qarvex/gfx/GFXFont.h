// GFXFont: a bitmap font whose glyph images live in an embedded bitmap array. It measures text,
// hands out a glyph's bitmap and rectangle for drawing (with a placeholder box for characters it
// lacks) and recolours its glyphs. Stored as one persistent "PFON" object block.
// Threads: one thread at a time per font. Fonts are built through the process-wide factory list and share the
// missing-glyph bitmap, so fonts are loaded and drawn by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/persist/Persistent.h>

namespace qarvex {

class StreamIO;
struct GFXBitmap;
struct GFXPalette;

class GFXFont : public Persistent::VersionedBase {
public:
    // Bits of flags.
    static constexpr uint32_t NewFontFlags = 0x1; // set in a new font, not interpreted
    static constexpr uint32_t FixedWidth = 0x2;   // every character advances by cellWidth
    static constexpr uint32_t Recolourable = 0x4; // setForeColor and setBackColor act
    static constexpr uint32_t WideChars = 0x200;  // texts are 16-bit codes, else 8-bit
    static constexpr uint32_t FoldCase = 0x400;   // characters are upper-cased before lookup

    static constexpr int32_t CurrentVersion = 2;
    static constexpr int32_t HeaderBytes = 44;
    static constexpr int32_t GlyphBytes = 8;
    // The colour of the placeholder box drawn for missing glyphs.
    static constexpr uint8_t MissingGlyphColour = 253;

    // One glyph: where its image lies in which bitmap of glyphBitmaps. Width is also its advance.
    struct Glyph {
        uint8_t bitmapIndex;
        uint8_t x;
        uint8_t y;
        uint8_t width;
        uint8_t height;
        uint8_t spare[3]; // stored, not interpreted
    };

    // Inclusive pixel rectangle of a glyph in its bitmap.
    struct Rect {
        int32_t left;
        int32_t top;
        int32_t right;
        int32_t bottom;
    };

    GFXFont() = default;
    ~GFXFont() override;
    GFXFont(const GFXFont &) = delete;
    GFXFont &operator=(const GFXFont &) = delete;

    // Reads one persistent object and returns it when it is a font; anything else read is
    // deleted and null returned.
    static GFXFont *load(StreamIO *stream);
    // Owns a font from load (fonts are deleted, like every persistent object).
    using Ptr = std::unique_ptr<GFXFont>;

    // The font body (after the block's version). Status 3 for a short or damaged body, or one
    // whose maps would send a lookup outside its tables.
    int32_t read(StreamIO *stream, int32_t version, int32_t extra) override;
    // Status 4 when a part could not be written in full.
    int32_t write(StreamIO *stream, int32_t unused1, int32_t unused2) override;
    int32_t version() override { return CurrentVersion; }
    Persistent::AbstractTaggedClass *getClass() override;

    // Texts are code sequences ended by 0: bytes, or 16-bit values with WideChars. Null reads
    // as an empty text.
    virtual int32_t textHeight(const void *text);
    virtual int32_t textWidth(const void *text);
    // Any output may be null. A missing glyph gives the shared placeholder record and, when a
    // bitmap is asked for, the shared placeholder bitmap; both stay valid until the next miss in
    // any font or until this font goes. A found glyph whose bitmap failed to load gives a null
    // bitmap.
    virtual void getGlyph(int32_t code, GFXBitmap **bitmapOut, const Glyph **recordOut, Rect *rectOut);
    virtual void setBackColor(int32_t colour);
    virtual void setForeColor(int32_t colour);
    // Runs every glyph pixel through the 256-byte table; null changes nothing but backColor.
    virtual void remapColors(const uint8_t *table);
    virtual void clearBackColor(int32_t flag);
    virtual void clearBackColor2(int32_t flag);

    // The process-wide placeholder record and bitmap of missing glyphs.
    static const Glyph &missingGlyph();
    static GFXBitmap &missingGlyphBitmap();
    // Whether the shared bitmap has been made; at exit it is released (never its pixels, which
    // belong to a font's blankGlyph).
    static bool missingGlyphBitmapCreated();
    static void releaseMissingGlyphBitmap();

    // The "PFON" factory, installed by the start-up unit.
    static Persistent::AbstractTaggedClass *classFactory;

    GFXBitmapArray glyphBitmaps;
    uint32_t flags = NewFontFlags;
    uint32_t reserved1 = 0;
    int32_t glyphCount = 0;
    int32_t cellHeight = 0;
    int32_t cellWidth = 0;
    int32_t foreColor = 255;
    int32_t backColor = 0;
    uint32_t reserved7 = 0;
    int32_t scaleX = 0x10000; // 16.16
    int32_t scaleY = 0x10000; // 16.16
    int32_t spacing = 0;
    GFXPalette *palette = nullptr;
    GFXBitmap *blankGlyph = nullptr;
    Glyph *glyphs = nullptr;    // glyphCount records, from malloc
    int16_t *charMap = nullptr; // mapCount entries (-1: no glyph), from malloc
    int16_t firstChar = 0;
    int16_t mapCount = 0;

private:
    void freeTables();
    bool mapsAreSound() const;
    void recolour(int32_t match, bool matchEqual, int32_t colour);
};

} // namespace qarvex
