// Shared helpers of the picture tests: graphics files made in memory by the graphics classes'
// own writers, and PNG files decoded by an independent reader (ImageMagick's convert, on Linux
// also for the Windows build under Wine) into pixels, so that a test states the colours a viewer
// would show.
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
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

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

#ifdef _WIN32
// The Windows tests reach the Linux ImageMagick through Wine, which names files by their Linux
// paths and starts a Linux program (waiting for it) with its own spawn function. Elsewhere these
// functions are missing and there is no ImageMagick to reach.
template <typename Function> Function wineFunction(const char *library, const char *name) {
    FARPROC function = GetProcAddress(GetModuleHandleA(library), name);
    return reinterpret_cast<Function>(reinterpret_cast<void *>(function));
}

inline std::string imageMagickPath(const std::string &path) {
    using UnixName = char *(CDECL *)(const WCHAR *);
    auto unixName = wineFunction<UnixName>("kernel32", "wine_get_unix_file_name");
    std::wstring wide(path.begin(), path.end()); // the scratch folders' names are ASCII
    char *name = unixName ? unixName(wide.c_str()) : nullptr;
    std::string out = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

using WineSpawn = LONG(CDECL *)(char *const *argv, int wait);
inline WineSpawn wineSpawn() {
    return wineFunction<WineSpawn>("ntdll", "__wine_unix_spawnvp");
}
inline bool imageMagickReachable() {
    return wineSpawn() != nullptr;
}

inline std::string shellQuoted(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs ImageMagick's convert with arguments (files named through imageMagickPath): a shell sends
// its output to files, since the spawned program writes to Wine's own standard output.
inline toolrun::ToolRun runConvert(const std::vector<std::string> &arguments) {
    Scratch outputs;
    std::string command = "exec /usr/bin/convert";
    for (const std::string &argument : arguments)
        command += ' ' + shellQuoted(argument);
    command += " >" + shellQuoted(imageMagickPath(outputs.path("out"))) + " 2>" +
               shellQuoted(imageMagickPath(outputs.path("err")));
    std::string shell = "/bin/sh", option = "-c";
    char *argv[] = {shell.data(), option.data(), command.data(), nullptr};
    toolrun::ToolRun run;
    run.exitCode = int(wineSpawn()(argv, 1));
    run.out = toolrun::slurp(outputs.path("out"));
    run.err = toolrun::slurp(outputs.path("err"));
    return run;
}
#else
inline std::string imageMagickPath(const std::string &path) {
    return path;
}

inline bool imageMagickReachable() {
    return true;
}

// Runs the Debian ImageMagick's convert (not any wrapper earlier in PATH) with arguments.
inline toolrun::ToolRun runConvert(const std::vector<std::string> &arguments) {
    return toolrun::runProgram("/usr/bin/convert", arguments, std::filesystem::current_path().string());
}
#endif

#define REQUIRE_IMAGEMAGICK()                                                                                \
    do {                                                                                                     \
        if (!picturetest::imageMagickReachable())                                                            \
            GTEST_SKIP() << "ImageMagick is reached through Wine";                                           \
        ASSERT_EQ(picturetest::runConvert({"-version"}).exitCode, 0) << "install imagemagick";               \
    } while (false)

// The pixels of the PNG file at path as convert enumerates them ("x,y: (...)  #RRGGBB[AA] ...").
inline Decoded decodeFile(const std::string &path) {
    Decoded decoded;
    std::istringstream lines(runConvert({imageMagickPath(path), "-depth", "8", "txt:-"}).out);
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
inline GFXBitmap::Ptr indexedBitmap(int32_t width, int32_t height,
                                    const std::function<uint8_t(int, int)> &index) {
    GFXBitmap::Ptr bitmap(GFXBitmap::create(width, height, 8));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < bitmap->stride; ++x)
            bitmap->pixels[y * bitmap->stride + x] = x < width ? index(x, y) : 0xEE;
    return bitmap;
}

// A palette whose colour i is colour(i) in palette p of a set of count palettes numbered numbers.
inline GFXPalette::Ptr paletteSet(std::vector<int32_t> numbers,
                                  const std::function<uint32_t(int, int)> &colour) {
    GFXPalette::Ptr set(GFXPalette::construct());
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

inline std::vector<uint8_t> bitmapFile(const GFXBitmap::Ptr &bitmap, uint32_t flags) {
    GrowStream out;
    EXPECT_TRUE(bitmap->write(out, flags));
    return out.bytes;
}

inline std::vector<uint8_t> paletteFile(const GFXPalette::Ptr &palette, uint32_t flags) {
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
