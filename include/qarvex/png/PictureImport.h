// PictureImport: the way back from pictures to graphics files. A graphics file shown as pictures is
// rebuilt from its own bytes (kept beside the pictures) with the images of the pictures that were
// edited put in place; untouched pictures give the file back byte for byte.
// Threads: rebuilding loads and makes graphics, which use the process-wide counters and factories: one thread
// at a time.
#pragma once

#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/Picture.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qarvex {

struct GFXBitmap;
struct GFXPalette;

namespace png {

struct ImportSettings {
    // Colours for 8-bit bitmaps without their own: of a PL98 set, the palette whose number is the
    // bitmap's palette index. As the pictures were made with, else the same grey ramp.
    const GFXPalette *palette = nullptr;
    int32_t transparent = -1; // colour index that fully transparent pixels become; never chosen else
    enum class Mapping {
        Exact,   // colours not in the palette are refused, with the first of them listed
        Nearest, // each becomes the nearest palette colour
        Dither,  // Floyd-Steinberg error diffusion onto the palette
    } mapping = Mapping::Exact;
};

// Puts the pixels of picture at (left, top) into detail level level of bitmap (8-bit: as colour
// indices by the rules of settings; 24-bit: as they are). False with the reason in error.
bool picturePixelsInto(GFXBitmap &bitmap, int32_t level, const DecodedPicture &picture, int32_t left,
                       int32_t top, const ImportSettings &settings, std::string &error);

// Whether an edit of the picture with suffix (".png", ".3.png", ".level1.png") of a graphics file
// of kind kind is read back (a font's glyph sheet and metrics too); edits of the other files (a
// font's sample line) are not.
bool readsBack(GraphicsKind kind, const std::string &suffix);

// The graphics file original (of kind kind) with the pictures in edited, by the suffix its picture
// files have (".png", ".3.png"), put in place. False with the reason in error.
bool rebuildGraphics(GraphicsKind kind, const std::vector<uint8_t> &original,
                     const std::map<std::string, std::vector<uint8_t>> &edited,
                     const ImportSettings &settings, std::vector<uint8_t> &out, std::string &error);

} // namespace png

} // namespace qarvex
