// The font classes' start-up object: the "PFON" and "PFNT" factories and the exit release of the
// shared missing-glyph bitmap. Members are built in declaration order and destroyed in reverse,
// so at exit "PFNT" is unregistered first, then the shared bitmap is released, then "PFON".
// Threads: built and torn down with the process by the start-up unit; no other thread touches it.
#pragma once

#include <qarvex/core/LittleEndian.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXObsoleteFont.h>
#include <qarvex/persist/Persistent.h>

namespace qarvex {

class GFXFontFactories {
public:
    static constexpr uint32_t FontTag = le::tag("PFON");
    static constexpr uint32_t ObsoleteFontTag = le::tag("PFNT");

    GFXFontFactories();
    ~GFXFontFactories();
    GFXFontFactories(const GFXFontFactories &) = delete;
    GFXFontFactories &operator=(const GFXFontFactories &) = delete;

private:
    // The factories the classes answered with before; a second set (in a test) gives them back.
    Persistent::AbstractTaggedClass *previousFont = GFXFont::classFactory;
    Persistent::AbstractTaggedClass *previousObsoleteFont = GFXObsoleteFont::classFactory;

public:
    Persistent::TaggedClass<GFXFont> font{"GFXFont", FontTag};

private:
    // Does nothing when built; when destroyed releases the shared missing-glyph bitmap.
    struct MissingGlyphRelease {
        MissingGlyphRelease() = default;
        ~MissingGlyphRelease() { GFXFont::releaseMissingGlyphBitmap(); }
    } missingGlyph;

public:
    Persistent::TaggedClass<GFXObsoleteFont> obsoleteFont{"GFXObsoleteFont", ObsoleteFontTag};
};

} // namespace qarvex
