// The PNG decoder: a PNG file in memory read through libpng. libpng reports errors by longjmp, so
// the two steps that call it (the header, then the rows) hold plain data only; the pixel buffer is
// sized between them from the header's checked dimensions.
#include <qarvex/png/Picture.h>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace qarvex {

namespace png {

namespace {

struct Source {
    const uint8_t *bytes = nullptr;
    size_t size = 0;
    size_t at = 0;
    char message[160] = "";
};

void readBytes(png_structp png, png_bytep data, size_t count) {
    auto source = static_cast<Source *>(png_get_io_ptr(png));
    if (count > source->size - source->at)
        png_error(png, "the file ends early");
    std::memcpy(data, source->bytes + source->at, count);
    source->at += count;
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto source = static_cast<Source *>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (damaged ancillary chunks, which are skipped) change nothing that is returned.
void onWarning(png_structp, png_const_charp) {}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    bool indexed = false;
    size_t rowBytes = 0; // after the transformations below
    int paletteSize = 0;
    png_color palette[256] = {};
    int alphaCount = 0;
    png_byte alpha[256] = {};
};

// Reads everything before the pixels and asks libpng for one byte per index, or 8-bit RGBA.
bool readHeader(png_structp png, png_infop info, Header &header) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, Picture::MaxSide, Picture::MaxSide);
    png_read_info(png, info);
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(png, info, &header.width, &header.height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (uint64_t(header.width) * header.height > uint64_t(Picture::MaxPixels))
        png_error(png, "picture too large");
    header.indexed = colourType == PNG_COLOR_TYPE_PALETTE;
    if (header.indexed) {
        png_colorp colours = nullptr;
        png_get_PLTE(png, info, &colours, &header.paletteSize);
        std::memcpy(header.palette, colours, sizeof(png_color) * size_t(header.paletteSize));
        png_bytep alpha = nullptr;
        if (png_get_tRNS(png, info, &alpha, &header.alphaCount, nullptr) & PNG_INFO_tRNS)
            std::memcpy(header.alpha, alpha, size_t(header.alphaCount));
        else
            header.alphaCount = 0;
        png_set_packing(png);
    } else {
        png_set_scale_16(png);
        png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header.rowBytes = png_get_rowbytes(png, info);
    if (header.rowBytes != size_t(header.width) * (header.indexed ? 1 : 4))
        png_error(png, "unexpected row layout");
    return true;
}

bool readRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

} // namespace

bool decodePng(const uint8_t *bytes, size_t size, DecodedPicture &picture, std::string &error) {
    Source source{bytes, size};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    Header header;
    bool read = false;
    if (info) {
        png_set_read_fn(png, &source, readBytes);
        if (readHeader(png, info, header)) {
            picture.width = int32_t(header.width);
            picture.height = int32_t(header.height);
            picture.indexed = header.indexed;
            picture.pixels.assign(header.rowBytes * header.height, 0);
            std::vector<png_bytep> rows(header.height);
            for (size_t y = 0; y < rows.size(); ++y)
                rows[y] = picture.pixels.data() + y * header.rowBytes;
            read = readRows(png, info, rows.data());
        }
    } else {
        std::snprintf(source.message, sizeof source.message, "out of memory");
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!read) {
        error = std::string("PNG library: ") + source.message;
        return false;
    }
    picture.palette.clear();
    for (int i = 0; i < header.paletteSize; ++i)
        picture.palette.push_back({header.palette[i].red, header.palette[i].green, header.palette[i].blue,
                                   i < header.alphaCount ? header.alpha[i] : uint8_t(255)});
    if (!picture.indicesInPalette()) {
        error = "a pixel's index is beyond the palette";
        return false;
    }
    return true;
}

} // namespace png

} // namespace qarvex
