// GraphicsPictures: the kind of a graphics file by its extension, and its conversion into the
// files that show it.
#include <qarvex/png/GraphicsPictures.h>

#include "png/PictureParts.h"
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/stream/MemRWStream.h>

#include <cctype>
#include <cstring>

namespace qarvex {

namespace png {

GraphicsKind graphicsKindOf(const char *name) {
    if (!name)
        return GraphicsKind::None;
    const char *dot = std::strrchr(name, '.');
    if (!dot || std::strchr(dot, '/') || std::strchr(dot, '\\'))
        return GraphicsKind::None;
    std::string extension;
    for (const char *c = dot; *c; ++c)
        extension += char(std::tolower(static_cast<unsigned char>(*c)));
    static const struct {
        const char *extension;
        GraphicsKind kind;
    } kinds[] = {
        {".bmp", GraphicsKind::Bitmap},  {".dib", GraphicsKind::Bitmap},      {".png", GraphicsKind::Bitmap},
        {".pbm", GraphicsKind::Bitmap},  {".pba", GraphicsKind::BitmapArray}, {".pft", GraphicsKind::Font},
        {".pal", GraphicsKind::Palette}, {".ppl", GraphicsKind::Palette},     {".dpl", GraphicsKind::Palette},
    };
    for (const auto &entry : kinds)
        if (extension == entry.extension)
            return entry.kind;
    return GraphicsKind::None;
}

bool isPngFile(const uint8_t *bytes, size_t size) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= 8 && std::memcmp(bytes, signature, 8) == 0;
}

namespace {

// A stream reading bytes; it never writes, so the region may be the caller's constant bytes.
bool attach(MemRWStream &stream, const uint8_t *bytes, size_t size) {
    if (size > size_t(INT32_MAX))
        return false;
    stream.attach(int32_t(size), const_cast<uint8_t *>(bytes));
    return true;
}

} // namespace

Conversion convertGraphics(GraphicsKind kind, const uint8_t *bytes, size_t size, const std::string &name,
                           const Settings &settings) {
    Conversion conversion;
    MemRWStream stream;
    if (!attach(stream, bytes, size)) {
        conversion.error = "too large to read";
        return conversion;
    }
    switch (kind) {
    case GraphicsKind::Bitmap:
        parts::convertBitmap(stream, settings, conversion);
        break;
    case GraphicsKind::BitmapArray:
        parts::convertBitmapArray(stream, settings, conversion);
        break;
    case GraphicsKind::Font:
        parts::convertFont(stream, name, settings, conversion);
        break;
    case GraphicsKind::Palette:
        parts::convertPalette(stream, conversion);
        break;
    case GraphicsKind::None:
        conversion.error = "not a graphics file";
        break;
    }
    // Never some of the files: a failure part way through takes back what was made before it.
    if (!conversion.ok())
        conversion.files.clear();
    return conversion;
}

GFXPalette::Ptr readPaletteFile(const uint8_t *bytes, size_t size) {
    MemRWStream stream;
    if (!attach(stream, bytes, size))
        return nullptr;
    return GFXPalette::Ptr(GFXPalette::load(stream, 0));
}

} // namespace png

} // namespace qarvex
