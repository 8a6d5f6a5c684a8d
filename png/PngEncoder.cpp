// The PNG encoder: a picture written through libpng into memory. libpng reports errors by
// longjmp, so the frames it may leave hold plain data only, and the output grows with malloc.
#include <qarvex/png/Picture.h>

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace qarvex {

namespace png {

namespace {

// The bytes are grown with realloc: libpng leaves this callback by longjmp, never by a C++ throw.
struct FreeBytes {
    void operator()(uint8_t *bytes) const { std::free(bytes); }
};

struct Sink {
    std::unique_ptr<uint8_t, FreeBytes> bytes;
    size_t size = 0;
    size_t capacity = 0;
    char message[160] = "";
};

void writeBytes(png_structp png, png_bytep data, size_t count) {
    auto sink = static_cast<Sink *>(png_get_io_ptr(png));
    if (count > sink->capacity - sink->size) {
        size_t capacity = std::max(sink->capacity * 2, sink->size + count);
        auto grown = static_cast<uint8_t *>(std::realloc(sink->bytes.get(), capacity));
        if (!grown)
            png_error(png, "out of memory");
        sink->bytes.release(); // moved by realloc
        sink->bytes.reset(grown);
        sink->capacity = capacity;
    }
    std::memcpy(sink->bytes.get() + sink->size, data, count);
    sink->size += count;
}

void flushBytes(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto sink = static_cast<Sink *>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

// Warnings concern nothing a caller can act on (and libpng raises none for what we write).
void onWarning(png_structp, png_const_charp) {}

// Runs the whole write; libpng's errors come back here through setjmp.
bool writeImage(png_structp png, png_infop info, const Picture &picture, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    int colourType = picture.format == Picture::Format::Indexed ? PNG_COLOR_TYPE_PALETTE
                     : picture.format == Picture::Format::Rgb   ? PNG_COLOR_TYPE_RGB
                                                                : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (picture.format == Picture::Format::Indexed) {
        png_color colours[256];
        for (int i = 0; i < 256; ++i)
            colours[i] = {picture.palette[i][0], picture.palette[i][1], picture.palette[i][2]};
        png_set_PLTE(png, info, colours, 256);
        int transparent = picture.transparentIndex;
        if (transparent >= 0 && transparent < 256) {
            // Alphas of the indices up to the transparent one; the rest stay opaque.
            png_byte alpha[256];
            std::fill(alpha, alpha + 256, png_byte(255));
            alpha[transparent] = 0;
            png_set_tRNS(png, info, alpha, transparent + 1, nullptr);
        }
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

} // namespace

bool encodePng(const Picture &picture, std::vector<uint8_t> &out, std::string &error) {
    if (!picture.consistent()) {
        error = "empty or inconsistent picture";
        return false;
    }
    size_t rowBytes = size_t(picture.width) * size_t(picture.bytesPerPixel());
    std::vector<png_bytep> rows(size_t(picture.height));
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = const_cast<png_bytep>(picture.pixels.data() + y * rowBytes); // libpng only reads them

    Sink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (info) {
        png_set_write_fn(png, &sink, writeBytes, flushBytes);
        written = writeImage(png, info, picture, rows.data());
    } else {
        std::snprintf(sink.message, sizeof sink.message, "out of memory");
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (written)
        out.assign(sink.bytes.get(), sink.bytes.get() + sink.size);
    else
        error = std::string("PNG library: ") + sink.message;
    return written;
}

} // namespace png

} // namespace qarvex
