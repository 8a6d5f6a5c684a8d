// Shared helpers of the picture tests: graphics files made in memory by the graphics classes'
// own writers, and PNG files decoded by an independent reader (ImageMagick's convert) into
// pixels, so that a test states the colours a viewer would show.
#pragma once

#include "../gfx/GfxTestSupport.h"
#include "../tool/ToolRunner.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/png/GraphicsPictures.h>
#include <qarvex/png/Picture.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qarvex {

namespace picturetest {

using toolrun::Scratch;

// 0xRRGGBBAA
inline constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r << 24 | g << 16 | b << 8 | 0xFF;
}
inline constexpr uint32_t Clear = 0; // what a fully transparent pixel decodes to here

struct Decoded {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels; // row by row; fully transparent pixels as Clear
    uint32_t at(int32_t x, int32_t y) const { return pixels.at(size_t(y) * size_t(width) + size_t(x)); }
};

// The Debian ImageMagick, not any wrapper earlier in PATH.
inline constexpr const char *Convert = "/usr/bin/convert";

#ifdef _WIN32
#define REQUIRE_IMAGEMAGICK() GTEST_SKIP() << "ImageMagick is checked on Linux"
#else
#define REQUIRE_IMAGEMAGICK() ASSERT_EQ(::access(picturetest::Convert, X_OK), 0) << "install imagemagick"
#endif

// False in a build whose encoder reports that it has no PNG library (a cross build without one).
inline bool encoderPresent() {
    png::Picture picture;
    picture.allocate(png::Picture::Format::Rgb, 1, 1);
    std::vector<uint8_t> out;
    std::string error;
    return png::encodePng(picture, out, error);
}
#define REQUIRE_ENCODER()                                                                                    \
    if (!picturetest::encoderPresent())                                                                      \
    GTEST_SKIP() << "this build has no PNG library"

// The pixels of the PNG file at path as convert enumerates them ("x,y: (...)  #RRGGBB[AA] ...").
inline Decoded decodeFile(const std::string &path) {
    Decoded decoded;
#ifndef _WIN32
    std::string command = std::string(Convert) + " '" + path + "' -depth 8 txt:- 2>/dev/null";
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return decoded;
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    ::pclose(pipe);
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || std::sscanf(line.c_str(), "# ImageMagick pixel enumeration: %d,%d",
                                                  &decoded.width, &decoded.height) != 2)
        return Decoded{};
    decoded.pixels.assign(size_t(decoded.width) * size_t(decoded.height), 0xDEADBEEF);
    while (std::getline(lines, line)) {
        int x = 0, y = 0;
        size_t hash = line.find('#');
        if (std::sscanf(line.c_str(), "%d,%d:", &x, &y) != 2 || hash == std::string::npos ||
            x >= decoded.width || y >= decoded.height)
            continue;
        std::string hex = line.substr(hash + 1, line.find(' ', hash) - hash - 1);
        uint32_t value = uint32_t(std::strtoul(hex.c_str(), nullptr, 16));
        if (hex.size() == 6)
            value = value << 8 | 0xFF;
        if ((value & 0xFF) == 0)
            value = Clear;
        decoded.pixels[size_t(y) * size_t(decoded.width) + size_t(x)] = value;
    }
#else
    (void)path;
#endif
    return decoded;
}

inline Decoded decode(const std::vector<uint8_t> &png) {
    Scratch scratch;
    return decodeFile(scratch.write("picture.png", png));
}

// The chunk types of a PNG file in order, and its colour type (byte 25, in IHDR).
inline std::vector<std::string> chunksOf(const std::vector<uint8_t> &png) {
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t length =
            uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 | png[at + 3];
        chunks.emplace_back(reinterpret_cast<const char *>(&png[at + 4]), 4);
        at += 12 + size_t(length);
    }
    return chunks;
}
inline int colourTypeOf(const std::vector<uint8_t> &png) {
    return png.size() > 25 ? png[25] : -1;
}
inline bool hasChunk(const std::vector<uint8_t> &png, const std::string &type) {
    auto chunks = chunksOf(png);
    return std::find(chunks.begin(), chunks.end(), type) != chunks.end();
}

// An 8-bit bitmap whose pixel at (x, y) is index(x, y).
inline GFXBitmap *indexedBitmap(int32_t width, int32_t height,
                                const std::function<uint8_t(int, int)> &index) {
    GFXBitmap *bitmap = GFXBitmap::create(width, height, 8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < bitmap->stride; ++x)
            bitmap->pixels[y * bitmap->stride + x] = x < width ? index(x, y) : 0xEE;
    return bitmap;
}

// A palette whose colour i is colour(i) in palette p of a set of count palettes numbered numbers.
inline GFXPalette *paletteSet(std::vector<int32_t> numbers, const std::function<uint32_t(int, int)> &colour) {
    GFXPalette *set = GFXPalette::construct();
    set->paletteCount = int32_t(numbers.size());
    for (int p = 0; p < set->paletteCount; ++p) {
        set->palettes[p].index = numbers[size_t(p)];
        set->palettes[p].type = GFXPalette::Computed;
        for (int i = 0; i < 256; ++i) {
            uint32_t c = colour(p, i);
            uint8_t *entry = set->palettes[p].entries + 4 * i;
            entry[0] = uint8_t(c >> 24);
            entry[1] = uint8_t(c >> 16);
            entry[2] = uint8_t(c >> 8);
            entry[3] = 0;
        }
    }
    return set;
}

inline std::vector<uint8_t> bitmapFile(GFXBitmap *bitmap, uint32_t flags) {
    GrowStream out;
    EXPECT_TRUE(bitmap->write(out, flags));
    return out.bytes;
}

inline std::vector<uint8_t> paletteFile(GFXPalette *palette, uint32_t flags) {
    GrowStream out;
    EXPECT_TRUE(palette->write(out, flags));
    return out.bytes;
}

// The array of bitmaps (taken over) as a PBMA file.
inline std::vector<uint8_t> arrayFile(std::vector<GFXBitmap *> bitmaps) {
    GFXBitmapArray array;
    array.count = int32_t(bitmaps.size());
    array.bitmaps = static_cast<GFXBitmap **>(std::calloc(bitmaps.size() + 1, sizeof(GFXBitmap *)));
    for (size_t i = 0; i < bitmaps.size(); ++i)
        array.bitmaps[i] = bitmaps[i];
    GrowStream out;
    EXPECT_TRUE(array.write(out, GFXBitmap::IncludePalette));
    return out.bytes;
}

inline png::Conversion convert(png::GraphicsKind kind, const std::vector<uint8_t> &bytes,
                               const png::Settings &settings = {}, const std::string &name = "x") {
    return png::convertGraphics(kind, bytes.data(), bytes.size(), name, settings);
}

// The suffixes of a conversion's files, in order.
inline std::vector<std::string> suffixes(const png::Conversion &conversion) {
    std::vector<std::string> out;
    for (const png::OutputFile &file : conversion.files)
        out.push_back(file.suffix);
    return out;
}

} // namespace picturetest

} // namespace qarvex
