// The font classes' start-up object: makes the factories known to the classes' getClass.
#include <qarvex/gfx/GFXFontFactories.h>

namespace qarvex {

GFXFontFactories::GFXFontFactories() {
    GFXFont::classFactory = &font;
    GFXObsoleteFont::classFactory = &obsoleteFont;
}

GFXFontFactories::~GFXFontFactories() {
    if (GFXObsoleteFont::classFactory == &obsoleteFont)
        GFXObsoleteFont::classFactory = previousObsoleteFont;
    if (GFXFont::classFactory == &font)
        GFXFont::classFactory = previousFont;
}

} // namespace qarvex
