// GraphicsPictures: the files that show a graphics resource as pictures. A bitmap becomes one PNG
// (and one per detail level on request), a bitmap array one PNG per bitmap or one contact sheet,
// a font a glyph sheet and a text of its metrics, a palette file a sheet of colour swatches.
// Threads: converting loads bitmaps, arrays, palettes and fonts, which use the process-wide counters and
// factories: one thread at a time.
#pragma once

#include <qarvex/gfx/GFXPalette.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvex {

namespace png {

enum class GraphicsKind {
    None,        // not a graphics file
    Bitmap,      // ".bmp", ".dib", ".png", ".pbm": a PBMP chunk or a Windows bitmap
    BitmapArray, // ".pba"
    Font,        // ".pft"
    Palette,     // ".pal", ".ppl", ".dpl": a RIFF palette or a PL98 set
};

// The kind of a file or entry by the extension of its name, letters in any case.
GraphicsKind graphicsKindOf(const char *name);
// True when bytes begin with the PNG signature: a ".png" that is a picture already.
bool isPngFile(const uint8_t *bytes, size_t size);

struct Settings {
    // Colours for 8-bit images that carry none. Of a PL98 set, the palette whose number is the
    // bitmap's palette index, else palette 0. Without any, a grey ramp (with a warning).
    const GFXPalette *palette = nullptr;
    // With palette: this palette of the file colours every 8-bit image, in place of the image's own
    // colours and of its palette index, so that any palette can be tried on it. -1: as above.
    int32_t paletteNumber = -1;
    int32_t transparent = -1;  // colour index of 8-bit images shown transparent; -1 none
    bool detailLevels = false; // bitmaps: levels 1 and up as well, each its own picture
    bool contactSheet = false; // arrays: one picture with every bitmap instead of one each
    std::string sampleText;    // fonts: also this line drawn with the font, as ".sample.png"
};

struct OutputFile {
    std::string suffix; // appended to the source's name: ".png", ".3.png", ".level1.png", ".txt"
    std::vector<uint8_t> bytes;
};

struct Conversion {
    std::vector<OutputFile> files;     // all of them, or none when the conversion failed
    std::vector<std::string> warnings; // what the pictures had to make up (a grey ramp, ...)
    std::string error;                 // why nothing came out; empty on success
    bool indexed = false;              // some picture has 8-bit colour indices: palettes apply
    bool ok() const { return error.empty(); }
};

// The files showing the graphics resource held in bytes. name is the source's own file name, used
// in the texts written (the font metrics).
Conversion convertGraphics(GraphicsKind kind, const uint8_t *bytes, size_t size, const std::string &name,
                           const Settings &settings);

// A palette file (RIFF or PL98) read from bytes; null when it cannot be read.
GFXPalette::Ptr readPaletteFile(const uint8_t *bytes, size_t size);

} // namespace png

} // namespace qarvex
