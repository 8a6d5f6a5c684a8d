// GFXObsoleteFont: the retired font format, known by its tag and refused.
#include <qarvex/gfx/GFXObsoleteFont.h>

namespace qarvex {

Persistent::AbstractTaggedClass *GFXObsoleteFont::classFactory = nullptr;

int32_t GFXObsoleteFont::read(StreamIO *, int32_t, int32_t) {
    return Persistent::WriteFailed;
}

int32_t GFXObsoleteFont::write(StreamIO *, int32_t, int32_t) {
    return Persistent::WriteFailed;
}

Persistent::AbstractTaggedClass *GFXObsoleteFont::getClass() {
    return classFactory;
}

} // namespace qarvex
