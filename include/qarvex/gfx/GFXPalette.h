// GFXPalette: a set of up to 16 colour palettes of 256 entries with their lookup tables (remap,
// colour components, shade blocks or blend tables), an index mask, a change stamp and an optional
// auxiliary table. Read from and written to RIFF "PAL " files and the library's "PL98" sets.
#pragma once

#include <cstdint>
#include <memory>

#include <qarvex/core/Vector.h>

namespace qarvex {

class StreamIO;

// Bumped by every palette construction and every change of colours; callers compare stamps to
// notice that cached colour data is stale. Not locked: the library is single-threaded.
extern int32_t paletteStampCounter;

struct GFXPalette {
    // Flag of write: a RIFF palette instead of a PL98 set.
    static constexpr uint32_t WindowsFormat = 0x80000000u;

    static constexpr int32_t MaxPalettes = 16;
    static constexpr int32_t EntryBytes = 256 * 4;
    // Remap table and four component tables of one palette.
    static constexpr int32_t ColourTableBytes = 256 + 4 * 1024;
    static constexpr int32_t BlendTableBytes = 256 * 256;
    // A RIFF palette's table block: its colour tables plus room to align them to 256 bytes.
    static constexpr int32_t RiffBlockBytes = ColourTableBytes + 256;
    // Shade blocks are 256 << shadeShift bytes; larger shifts than this are refused.
    static constexpr int32_t MaxShadeShift = 16;
    // A set whose table area (with its alignment slack) would exceed this is refused.
    static constexpr int64_t MaxTableArea = int64_t(256) << 20;

    enum Type : int32_t {
        Computed = 0, // tables computed on reading
        Shaded = 1,   // shadeLevels + 1 shade blocks
        Blend2 = 2,   // types 2, 6 and 8 carry a 256 x 256 blend table
        Blend6 = 6,
        Blend8 = 8,
    };

    struct Palette {
        uint8_t entries[EntryBytes]; // red, green, blue, flags
        uint8_t *shadeBlocks;
        uint8_t *finalShadeBlock;
        uint8_t *blendTable;
        uint8_t *remapTable;
        float *componentTables[4]; // red, green, blue, fourth; 256 values each in 0..1
        int32_t index;
        int32_t type;
    };

    uint16_t version = 0x0300;
    uint16_t entryCount = 256;
    Palette palettes[MaxPalettes] = {};
    int32_t paletteCount = 1;
    int32_t shadeShift = 0;
    int32_t shadeLevels = 0;
    int32_t shadeScale = 0;
    uint8_t *tableBase = nullptr;
    uint8_t *tableBlock = nullptr;
    int32_t headerWord = 0;
    Vector<uint32_t> indexMask{5};
    int32_t stamp = 0;
    uint8_t *auxTable = nullptr;
    int32_t auxA = 0;
    int32_t auxB = 0;

    // A new palette in its initial state, or null when memory runs out.
    static GFXPalette *construct();
    // construct and read; null (everything freed) when the read fails.
    static GFXPalette *load(StreamIO &stream, uint32_t flags);
    static void destroy(GFXPalette *palette);
    // Owns a palette from construct or load.
    struct Deleter {
        void operator()(GFXPalette *palette) const { destroy(palette); }
    };
    using Ptr = std::unique_ptr<GFXPalette, Deleter>;

    // A RIFF palette or a PL98 set, chosen by the first word. False for a damaged or truncated file.
    bool read(StreamIO &stream, uint32_t flags);
    // A RIFF palette, from the "RIFF" tag or from just after the RIFF tag and size.
    bool readRiff(StreamIO &stream);
    bool write(StreamIO &stream, uint32_t flags);
    bool writeRiff(StreamIO &stream);

    void takeWindowsColours();
    void touch();
    void setIndexRange(int32_t low, int32_t high);
    bool hasIndex(int32_t index) const;

    // The table bytes a PL98 set carries for one palette of this type (0 for unknown types).
    int64_t tableShare(int32_t type) const;

    GFXPalette(const GFXPalette &) = delete;
    GFXPalette &operator=(const GFXPalette &) = delete;

private:
    GFXPalette() = default;
    ~GFXPalette();

    bool readPl98(StreamIO &stream);
    void dropTables();
    void dropAuxTable();
    void placeColourTables(Palette &palette, uint8_t *at);

    int64_t tableBlockBytes = 0; // size of tableBlock, so the writer never reads past it
};

} // namespace qarvex
