// Bitmap, BitmapArray, Palette and Font: the graphics resources read from bytes or from an entry,
// with their fields, pixels and colours through the buffer protocol (numpy.asarray shares them),
// and their pictures as PNG files.
#include "python/Bindings.h"

#include "png/PictureParts.h"
#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/Picture.h>
#include <qarvex/stream/MemRWStream.h>

#include <memory>

namespace qarvex::python {

namespace {

// Where a resource's bytes come from: bytes-like data, or (volume, entry) read through the volume.
std::string sourceBytes(const py::object &data, const py::object &entry) {
    if (!entry.is_none())
        return data.attr("read")(entry).cast<std::string>();
    return bytesOf(data.cast<py::buffer>());
}

// A stream over bytes, for the readers.
struct Reading {
    explicit Reading(std::string &bytes) {
        if (bytes.size() > size_t(INT32_MAX))
            fail("too large to read");
        stream.attach(int32_t(bytes.size()), bytes.data());
    }
    MemRWStream stream;
};

// The files that show the resource, from its bytes.
png::Conversion conversionOf(png::GraphicsKind kind, const std::string &source,
                             const png::Settings &settings) {
    if (source.empty())
        fail("pictures are made of resources read from bytes or entries");
    png::Conversion conversion = png::convertGraphics(kind, reinterpret_cast<const uint8_t *>(source.data()),
                                                      source.size(), "resource", settings);
    if (!conversion.ok())
        fail(conversion.error);
    return conversion;
}

struct PaletteObject {
    GFXPalette *palette = nullptr;
    bool owned = false;
    std::string source; // the file's bytes, when it was read from them
    ~PaletteObject() {
        if (owned)
            GFXPalette::destroy(palette);
    }
};

struct BitmapObject {
    GFXBitmap *bitmap = nullptr;
    bool owned = false;
    ~BitmapObject() {
        if (owned)
            GFXBitmap::destroy(bitmap);
    }

    py::bytes toPng(const PaletteObject *palette, int32_t transparent, int32_t level) const {
        if (const char *why = png::parts::unshowable(*bitmap))
            fail(why);
        if (level < 0 || level >= std::max(bitmap->levelCount, 1))
            throw py::index_error("no such detail level");
        png::Settings settings;
        settings.palette = palette ? palette->palette : nullptr;
        settings.transparent = transparent;
        std::vector<std::string> warnings;
        png::parts::Colours colours =
            png::parts::coloursFor(bitmap->palette, bitmap->paletteIndex, settings, warnings);
        png::Picture picture;
        std::string error;
        std::vector<uint8_t> file;
        if (!png::parts::levelPicture(*bitmap, level, colours, transparent, picture, error) ||
            !png::encodePng(picture, file, error))
            fail(error);
        return py::bytes(reinterpret_cast<const char *>(file.data()), file.size());
    }
};

struct ArrayObject {
    GFXBitmapArray *array = nullptr;
    bool owned = false;
    std::string source;
    ~ArrayObject() {
        if (owned)
            GFXBitmapArray::destroy(array);
    }
};

struct FontObject {
    std::unique_ptr<GFXFont> font;
    std::string source;
};

// The pixels of level 0: rows of bytes, as (height, width) for 8 bits, (height, width, 3 or 4) for
// 24 and 32, and (height, stride) of packed bytes for any other depth.
py::buffer_info pixelsOf(BitmapObject &object) {
    GFXBitmap &bitmap = *object.bitmap;
    if (!bitmap.pixels)
        fail("the bitmap has no pixels");
    ssize_t height = bitmap.height, stride = bitmap.stride;
    if (bitmap.bitDepth == 8)
        return py::buffer_info(bitmap.pixels, 1, "B", 2, {height, ssize_t(bitmap.width)},
                               {stride, ssize_t(1)});
    if (bitmap.bitDepth == 24 || bitmap.bitDepth == 32) {
        ssize_t channels = bitmap.bitDepth / 8;
        return py::buffer_info(bitmap.pixels, 1, "B", 3, {height, ssize_t(bitmap.width), channels},
                               {stride, channels, ssize_t(1)});
    }
    return py::buffer_info(bitmap.pixels, 1, "B", 2, {height, stride}, {stride, ssize_t(1)});
}

std::unique_ptr<BitmapObject> loadBitmap(const py::object &data, const py::object &entry) {
    std::string bytes = sourceBytes(data, entry);
    Reading reading(bytes);
    auto object = std::make_unique<BitmapObject>();
    object->bitmap = GFXBitmap::load(reading.stream, GFXBitmap::IncludePalette);
    if (!object->bitmap)
        fail("not a bitmap, or a damaged one");
    object->owned = true;
    return object;
}

std::unique_ptr<ArrayObject> loadArray(const py::object &data, const py::object &entry) {
    auto object = std::make_unique<ArrayObject>();
    object->source = sourceBytes(data, entry);
    Reading reading(object->source);
    object->array = GFXBitmapArray::load(reading.stream, GFXBitmap::IncludePalette);
    if (!object->array)
        fail("not a bitmap array, or a damaged one");
    object->owned = true;
    return object;
}

std::unique_ptr<PaletteObject> loadPalette(const py::object &data, const py::object &entry) {
    auto object = std::make_unique<PaletteObject>();
    object->source = sourceBytes(data, entry);
    object->palette =
        png::readPaletteFile(reinterpret_cast<const uint8_t *>(object->source.data()), object->source.size())
            .release();
    if (!object->palette)
        fail("not a palette file, or a damaged one");
    object->owned = true;
    return object;
}

std::unique_ptr<FontObject> loadFont(const py::object &data, const py::object &entry) {
    auto object = std::make_unique<FontObject>();
    object->source = sourceBytes(data, entry);
    Reading reading(object->source);
    object->font.reset(GFXFont::load(&reading.stream));
    if (!object->font)
        fail("not a font, or a damaged one");
    return object;
}

// The borrowed view of a palette, bitmap or array that lives inside another object.
template <typename Object, typename Thing> std::unique_ptr<Object> borrowed(Thing *thing) {
    auto object = std::make_unique<Object>();
    if constexpr (std::is_same_v<Object, PaletteObject>)
        object->palette = thing;
    else if constexpr (std::is_same_v<Object, BitmapObject>)
        object->bitmap = thing;
    else
        object->array = thing;
    return object;
}

const char *const SourceHelp = "Reads the resource from bytes, or from an entry: Bitmap(volume, entry).";

} // namespace

void bindGraphics(py::module_ &module) {
    py::class_<PaletteObject>(module, "Palette", py::buffer_protocol(),
                              "A RIFF palette or a PL98 set of palettes. As a buffer: (palettes, 256, 4) "
                              "bytes of red, green, blue and flags.")
        .def(py::init(&loadPalette), py::arg("data"), py::arg("entry") = py::none(), SourceHelp)
        .def_property_readonly("count", [](const PaletteObject &p) { return p.palette->paletteCount; })
        .def_property_readonly("version", [](const PaletteObject &p) { return p.palette->version; })
        .def_property_readonly("numbers",
                               [](const PaletteObject &p) {
                                   std::vector<int32_t> numbers;
                                   for (int32_t i = 0; i < p.palette->paletteCount; ++i)
                                       numbers.push_back(p.palette->palettes[i].index);
                                   return numbers;
                               })
        .def_buffer([](PaletteObject &p) {
            GFXPalette &palette = *p.palette;
            return py::buffer_info(palette.palettes[0].entries, 1, "B", 3,
                                   {ssize_t(palette.paletteCount), ssize_t(256), ssize_t(4)},
                                   {ssize_t(sizeof(GFXPalette::Palette)), ssize_t(4), ssize_t(1)});
        })
        .def(
            "to_png",
            [](const PaletteObject &p) {
                png::Conversion conversion = conversionOf(png::GraphicsKind::Palette, p.source, {});
                const std::vector<uint8_t> &file = conversion.files.front().bytes;
                return py::bytes(reinterpret_cast<const char *>(file.data()), file.size());
            },
            "A PNG file of 16 x 16 swatches per palette.");

    py::class_<BitmapObject>(module, "Bitmap", py::buffer_protocol(),
                             "A bitmap (PBMP or Windows BMP). As a buffer: the pixels of level 0, rows "
                             "first (24-bit pixels as stored: blue, green, red), shared with the bitmap.")
        .def(py::init(&loadBitmap), py::arg("data"), py::arg("entry") = py::none(), SourceHelp)
        .def_property_readonly("width", [](const BitmapObject &b) { return b.bitmap->width; })
        .def_property_readonly("height", [](const BitmapObject &b) { return b.bitmap->height; })
        .def_property_readonly("bit_depth", [](const BitmapObject &b) { return b.bitmap->bitDepth; })
        .def_property_readonly("stride", [](const BitmapObject &b) { return b.bitmap->stride; })
        .def_property_readonly("palette_index", [](const BitmapObject &b) { return b.bitmap->paletteIndex; })
        .def_property_readonly("level_count", [](const BitmapObject &b) { return b.bitmap->levelCount; })
        .def_property_readonly(
            "palette",
            [](const BitmapObject &b) {
                return b.bitmap->palette ? py::cast(borrowed<PaletteObject>(b.bitmap->palette))
                                         : py::object(py::none());
            },
            py::keep_alive<0, 1>(), "The bitmap's own palette, or None.")
        .def_buffer(&pixelsOf)
        .def("to_png", &BitmapObject::toPng, py::arg("palette") = nullptr, py::arg("transparent") = -1,
             py::arg("level") = 0,
             "A PNG file of the bitmap: 8-bit pixels in its own colours, else those of palette (a "
             "Palette), else grey; transparent names a colour index shown transparent.");

    py::class_<ArrayObject>(module, "BitmapArray", "A PBMA bitmap array.")
        .def(py::init(&loadArray), py::arg("data"), py::arg("entry") = py::none(), SourceHelp)
        .def("__len__", [](const ArrayObject &a) { return a.array->count; })
        .def(
            "__getitem__",
            [](const ArrayObject &a, int32_t index) {
                if (index < 0)
                    index += a.array->count;
                if (index < 0 || index >= a.array->count)
                    throw py::index_error();
                if (!a.array->bitmaps[index])
                    fail("bitmap " + std::to_string(index) + " did not load");
                return borrowed<BitmapObject>(a.array->bitmaps[index]);
            },
            py::keep_alive<0, 1>())
        .def(
            "to_png",
            [](const ArrayObject &a, const PaletteObject *palette) {
                png::Settings settings;
                settings.palette = palette ? palette->palette : nullptr;
                settings.contactSheet = true;
                png::Conversion conversion = conversionOf(png::GraphicsKind::BitmapArray, a.source, settings);
                const std::vector<uint8_t> &file = conversion.files.front().bytes;
                return py::bytes(reinterpret_cast<const char *>(file.data()), file.size());
            },
            py::arg("palette") = nullptr, "A PNG contact sheet of every bitmap.");

    py::class_<FontObject>(module, "Font", "A font: glyphs in bitmaps, and a map from character codes.")
        .def(py::init(&loadFont), py::arg("data"), py::arg("entry") = py::none(), SourceHelp)
        .def_property_readonly("glyph_count", [](const FontObject &f) { return f.font->glyphCount; })
        .def_property_readonly("cell_width", [](const FontObject &f) { return f.font->cellWidth; })
        .def_property_readonly("cell_height", [](const FontObject &f) { return f.font->cellHeight; })
        .def_property_readonly("spacing", [](const FontObject &f) { return f.font->spacing; })
        .def_property_readonly("flags", [](const FontObject &f) { return f.font->flags; })
        .def_property_readonly("first_char", [](const FontObject &f) { return f.font->firstChar; })
        .def_property_readonly("map_count", [](const FontObject &f) { return f.font->mapCount; })
        .def_property_readonly(
            "bitmaps", [](const FontObject &f) { return borrowed<ArrayObject>(&f.font->glyphBitmaps); },
            py::keep_alive<0, 1>(), "The bitmaps the glyphs lie in.")
        .def(
            "glyph",
            [](const FontObject &f, int32_t code) -> py::object {
                const GFXFont &font = *f.font;
                int32_t at = code - font.firstChar;
                if (at < 0 || at >= font.mapCount || font.charMap[at] < 0 ||
                    font.charMap[at] >= font.glyphCount)
                    return py::none();
                const GFXFont::Glyph &glyph = font.glyphs[font.charMap[at]];
                py::dict fields;
                fields["bitmap"] = glyph.bitmapIndex;
                fields["x"] = glyph.x;
                fields["y"] = glyph.y;
                fields["width"] = glyph.width;
                fields["height"] = glyph.height;
                return fields;
            },
            py::arg("code"), "Where the character's glyph lies (bitmap, x, y, width, height), or None.")
        .def(
            "to_png",
            [](const FontObject &f) {
                png::Conversion conversion = conversionOf(png::GraphicsKind::Font, f.source, {});
                const std::vector<uint8_t> &file = conversion.files.front().bytes;
                return py::bytes(reinterpret_cast<const char *>(file.data()), file.size());
            },
            "A PNG glyph sheet: every character of the map, 16 to a row.");
}

} // namespace qarvex::python
