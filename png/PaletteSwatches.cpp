// The picture of a palette file: each palette of the set as 16 x 16 swatches of 8 x 8 pixels,
// colour index i at column i % 16 of row i / 16, palettes one below the other in set order with
// a transparent band between them. Entries a RIFF palette does not hold are left transparent.
#include "png/PictureParts.h"

#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <memory>

namespace qarvex {

namespace png::parts {

void convertPalette(MemRWStream &stream, Conversion &conversion) {
    GFXPalette::Ptr set(GFXPalette::load(stream, 0));
    if (!set) {
        conversion.error = "not a readable palette";
        return;
    }
    int32_t count = std::min(set->paletteCount, GFXPalette::MaxPalettes);
    if (count < 1) {
        conversion.error = "the palette set holds no palettes";
        return;
    }
    Canvas canvas;
    canvas.allocate(SwatchBlock, count * SwatchBlock + (count - 1) * SwatchBand);
    // A RIFF palette tells how many of its entries it holds; a PL98 set always holds 256.
    int32_t used = std::min<int32_t>(set->entryCount, 256);
    for (int32_t p = 0; p < count; ++p) {
        Colours colours;
        coloursOf(*set, p, colours);
        for (int32_t i = 0; i < used; ++i) {
            uint8_t rgba[4] = {colours.rgb[i][0], colours.rgb[i][1], colours.rgb[i][2], 255};
            canvas.fill(swatchX(i), swatchY(p, i), Swatch, Swatch, rgba);
        }
    }
    addPicture(conversion, ".png", canvas.toPicture());
}

} // namespace png::parts

} // namespace qarvex
