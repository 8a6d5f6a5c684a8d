// Picture: an image ready to become a PNG file (palette-indexed, RGB or RGBA rows, packed), and
// the encoder that turns it into the bytes of a PNG file with libpng.
#pragma once

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
};

// The bytes of a PNG file showing picture; false, with the reason in error, when libpng refuses it
// or the build has no PNG library.
bool encodePng(const Picture &picture, std::vector<uint8_t> &out, std::string &error);

} // namespace png

} // namespace qarvex
