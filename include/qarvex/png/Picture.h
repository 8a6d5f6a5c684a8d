// Picture: an image ready to become a PNG file (palette-indexed, RGB or RGBA rows, packed), the
// encoder that turns it into the bytes of a PNG file, and the decoder that reads a PNG file back.
// Threads: encoding and decoding keep no shared state; any thread may call them, each with pictures of its
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvex {

namespace png {

struct Picture {
    enum class Format {
        Indexed, // one byte per pixel, colours from palette; transparentIndex becomes tRNS
        Rgb,     // red, green, blue
        Rgba,    // red, green, blue, alpha
    };

    // The largest picture made: beyond this a sheet or bitmap is refused rather than encoded.
    static constexpr int64_t MaxPixels = int64_t(1) << 26;
    // libpng's own limit on a side.
    static constexpr int32_t MaxSide = 1000000;

    Format format = Format::Rgb;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;   // height rows of width * bytesPerPixel() bytes
    uint8_t palette[256][3] = {};  // Indexed: red, green, blue of each index
    int32_t transparentIndex = -1; // Indexed: this index is fully transparent; -1 none

    int32_t bytesPerPixel() const { return format == Format::Indexed ? 1 : format == Format::Rgb ? 3 : 4; }
    // Sizes the pixel rows for a picture of this format; false (nothing changed) when the size
    // is empty or beyond MaxPixels or MaxSide.
    bool allocate(Format newFormat, int32_t newWidth, int32_t newHeight);
    // Whether the pixels are height rows of width pixels, of at least one pixel.
    bool consistent() const;
};

// The bytes of a PNG file showing picture; false, with the reason in error, when the PNG library
// refuses it.
bool encodePng(const Picture &picture, std::vector<uint8_t> &out, std::string &error);

// A PNG file read back. A palette picture keeps its indices as stored (one byte per pixel, whatever
// the bit depth) and its palette, each entry with the alpha its tRNS chunk gives (255 past it);
// every other kind (grey, RGB, with alpha or not, any bit depth) becomes 8-bit red, green, blue and
// alpha.
struct DecodedPicture {
    struct Colour {
        uint8_t red = 0;
        uint8_t green = 0;
        uint8_t blue = 0;
        uint8_t alpha = 255;
        bool operator==(const Colour &) const = default;
    };

    int32_t width = 0;
    int32_t height = 0;
    bool indexed = false;
    std::vector<Colour> palette; // indexed: the PLTE entries, in order
    std::vector<uint8_t> pixels; // height rows of width bytes (indexed) or width * 4 (RGBA)

    // False when an index has no palette entry (a damaged file); true for RGBA pictures.
    bool indicesInPalette() const;
};

// Reads the PNG file in bytes[0, size) into picture; false, with the reason in error (picture then
// unspecified), for anything that is not a whole, sound PNG file, a picture larger than
// Picture::MaxPixels or Picture::MaxSide, or a palette index beyond the palette.
bool decodePng(const uint8_t *bytes, size_t size, DecodedPicture &picture, std::string &error);

} // namespace png

} // namespace qarvex
