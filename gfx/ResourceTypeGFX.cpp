// The graphics resource kinds: each forwards to the load and destroy of one graphics class. The
// size given to load is not needed; every reader finds the end of its data from the data.
#include <qarvex/gfx/ResourceTypeGFX.h>

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXPalette.h>

namespace qarvex {

void *ResourceTypeGFXBitmap::load(StreamIO *stream, int32_t) {
    return stream ? GFXBitmap::load(*stream, GFXBitmap::IncludePalette) : nullptr;
}

void ResourceTypeGFXBitmap::unload(void *object) {
    GFXBitmap::destroy(static_cast<GFXBitmap *>(object));
}

void *ResourceTypeGFXBitmapArray::load(StreamIO *stream, int32_t) {
    return stream ? GFXBitmapArray::load(*stream, 0) : nullptr;
}

void ResourceTypeGFXBitmapArray::unload(void *object) {
    GFXBitmapArray::destroy(static_cast<GFXBitmapArray *>(object));
}

void *ResourceTypeGFXPalette::load(StreamIO *stream, int32_t) {
    return stream ? GFXPalette::load(*stream, 0) : nullptr;
}

void ResourceTypeGFXPalette::unload(void *object) {
    GFXPalette::destroy(static_cast<GFXPalette *>(object));
}

void *ResourceTypeGFXFont::load(StreamIO *stream, int32_t) {
    return GFXFont::load(stream);
}

void ResourceTypeGFXFont::unload(void *object) {
    delete static_cast<GFXFont *>(object);
}

} // namespace qarvex
