// The entries of the graphics example volume, drawn by program and written by the graphics
// classes' own writers.
#include "tool/GraphicsExample.h"

#include <qarvex/gfx/GFXBitmap.h>
#include <qarvex/gfx/GFXBitmapArray.h>
#include <qarvex/gfx/GFXFont.h>
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/StreamIO.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qarvex {

namespace examples {

namespace {

// A stream into a growing byte vector, seekable so that object blocks are closed in place.
class ByteWriter : public StreamIO {
public:
    std::vector<uint8_t> bytes;

    int32_t getPosition() override { return position; }
    bool setPosition(int32_t to) override {
        if (to < 0)
            return false;
        position = to;
        return true;
    }
    int32_t query(int32_t code) override {
        return code == QueryCanSeek || code == QueryCanRead || code == QueryCanWrite ? 1 : 0;
    }
    bool write(int32_t count, const void *from) override {
        if (bytes.size() < size_t(position) + size_t(count))
            bytes.resize(size_t(position) + size_t(count));
        std::memcpy(bytes.data() + position, from, size_t(count));
        position += count;
        return true;
    }
    bool read(int32_t count, void *into) override {
        if (size_t(position) + size_t(count) > bytes.size())
            return false;
        std::memcpy(into, bytes.data() + position, size_t(count));
        position += count;
        return true;
    }
    std::string text() const { return std::string(bytes.begin(), bytes.end()); }

private:
    int32_t position = 0;
};

void setColour(GFXPalette &palette, int32_t set, int32_t index, int r, int g, int b) {
    uint8_t *entry = palette.palettes[set].entries + 4 * index;
    entry[0] = uint8_t(r);
    entry[1] = uint8_t(g);
    entry[2] = uint8_t(b);
    entry[3] = 0;
}

int mix(int from, int to, int step, int steps) {
    return from + (to - from) * step / steps;
}

// title.pbm: a 64 x 32 sunset over the sea in its own palette, with a half-size detail level.
std::string titleBitmap() {
    constexpr int W = 64, H = 32, Horizon = 20;
    // Room for level 1 (a quarter of level 0) after the image.
    GFXBitmap::Ptr bitmap(GFXBitmap::create(W, H + H / 4, 8));
    bitmap->height = H;
    bitmap->levelCount = 2;
    bitmap->palette = GFXPalette::construct();
    GFXPalette &palette = *bitmap->palette;
    for (int i = 0; i < 128; ++i)
        setColour(palette, 0, i, mix(20, 250, i, 127), mix(24, 140, i, 127), mix(80, 60, i, 127));
    for (int i = 0; i < 64; ++i)
        setColour(palette, 0, 128 + i, mix(10, 40, i, 63), mix(40, 110, i, 63), mix(90, 170, i, 63));
    setColour(palette, 0, 200, 255, 230, 120);
    setColour(palette, 0, 201, 255, 180, 90);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int dx = x - 44, dy = y - 17;
            uint8_t index;
            if (y < Horizon)
                index = dx * dx + dy * dy <= 49 ? 200 : uint8_t(y * 127 / (Horizon - 1));
            else if ((x + 3 * y) % 16 < 2 || (std::abs(dx) < 6 && (x + y) % 3 == 0))
                index = 201; // glitter on the waves
            else
                index = uint8_t(128 + (y - Horizon) * 5);
            bitmap->pixels[y * W + x] = index;
        }
    uint8_t *level1 = bitmap->pixels + W * H;
    for (int y = 0; y < H / 2; ++y)
        for (int x = 0; x < W / 2; ++x)
            level1[y * (W / 2) + x] = bitmap->pixels[2 * y * W + 2 * x];
    ByteWriter out;
    bitmap->write(out, GFXBitmap::IncludePalette);
    return out.text();
}

// logo.bmp: a 32 x 24 colour field with a white diamond, as a 24-bit Windows bitmap.
std::string logoBitmap() {
    constexpr int W = 32, H = 24;
    GFXBitmap::Ptr bitmap(GFXBitmap::create(W, H, 24));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t *pixel = bitmap->pixels + y * bitmap->stride + 3 * x;
            bool diamond = std::abs(x - 15) + std::abs(y - 11) <= 6;
            pixel[2] = diamond ? 255 : uint8_t(x * 8);       // red
            pixel[1] = diamond ? 255 : uint8_t(y * 10);      // green
            pixel[0] = diamond ? 255 : uint8_t(255 - x * 6); // blue
        }
    ByteWriter out;
    bitmap->write(out, GFXBitmap::WindowsFormat);
    return out.text();
}

// game.ppl: two palettes, numbered 0 (night) and 1 (day), whose first 16 colours the tiles use.
std::string gamePalettes() {
    GFXPalette::Ptr set(GFXPalette::construct());
    set->paletteCount = 2;
    static const uint8_t day[16][3] = {
        {34, 32, 52},    {69, 40, 60},   {102, 57, 49},  {143, 86, 59},  {223, 113, 38}, {217, 160, 102},
        {238, 195, 154}, {251, 242, 54}, {153, 229, 80}, {106, 190, 48}, {55, 148, 110}, {75, 105, 47},
        {82, 75, 36},    {50, 60, 57},   {63, 63, 116},  {48, 96, 130},
    };
    for (int p = 0; p < 2; ++p) {
        set->palettes[p].index = p;
        set->palettes[p].type = GFXPalette::Computed;
        for (int i = 0; i < 256; ++i) {
            const uint8_t *c = day[i % 16];
            if (p == 1)
                setColour(*set, p, i, c[0], c[1], c[2]);
            else // the same colours by night: darker and bluer
                setColour(*set, p, i, c[0] / 3, c[1] / 3, c[2] / 2 + 40);
        }
    }
    ByteWriter out;
    set->write(out, 0);
    return out.text();
}

// tiles.pba: four 16 x 16 tiles (bricks, grass, water, a chequer) in colours 0 to 15, drawn for
// palette 1 of game.ppl and carrying no palette of their own.
std::string tileArray() {
    GFXBitmapArray array;
    array.count = 4;
    array.bitmaps = static_cast<GFXBitmap **>(std::calloc(4, sizeof(GFXBitmap *)));
    for (int t = 0; t < 4; ++t) {
        GFXBitmap *tile = GFXBitmap::create(16, 16, 8);
        tile->paletteIndex = 1;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                uint8_t c = 0;
                if (t == 0) // bricks with mortar
                    c = (y % 4 == 3 || (x + (y / 4 % 2) * 4) % 8 == 7) ? 6 : (x * y % 5 == 0 ? 3 : 2);
                else if (t == 1) // grass
                    c = (x * 7 + y * 3) % 5 == 0 ? 8 : ((x + y) % 3 == 0 ? 11 : 9);
                else if (t == 2) // water
                    c = (x + 2 * (y % 4)) % 8 < 2 ? 6 : (y < 8 ? 15 : 14);
                else // chequer
                    c = ((x / 4 + y / 4) % 2) ? 7 : 4;
                tile->pixels[y * tile->stride + x] = c;
            }
        array.bitmaps[t] = tile;
    }
    ByteWriter out;
    array.write(out, 0);
    return out.text();
}

// The glyphs of small.pft, 5 x 7 dots each, drawn twice their size with a shadow.
struct Dots {
    char code;
    const char *rows[7];
};
const Dots glyphDots[] = {
    {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    {'!', {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."}},
    {'\'', {"..#..", "..#..", ".#...", ".....", ".....", ".....", "....."}},
    {',', {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'?', {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
};

// small.pft: the glyphs above, 12 x 16 pixels each, 16 to a row of one bitmap; ink 255 with a
// shadow of colour 1 on a background of 0, in the font's own palette. Codes 32 to 95 are mapped;
// lower-case letters fold to capitals.
std::string smallFont() {
    constexpr int GlyphW = 12, GlyphH = 16, PerRow = 16;
    constexpr int Count = int(sizeof glyphDots / sizeof glyphDots[0]);
    constexpr int Rows = (Count + PerRow - 1) / PerRow;
    GFXFont font;
    GFXBitmap *atlas = GFXBitmap::create(PerRow * GlyphW, Rows * GlyphH, 8);
    std::fill(atlas->pixels, atlas->pixels + atlas->dataSize, uint8_t(0));
    font.glyphCount = Count;
    font.glyphs = static_cast<GFXFont::Glyph *>(std::calloc(Count, sizeof(GFXFont::Glyph)));
    font.firstChar = 32;
    font.mapCount = 64;
    font.charMap = static_cast<int16_t *>(std::malloc(64 * sizeof(int16_t)));
    std::fill(font.charMap, font.charMap + 64, int16_t(-1));
    for (int g = 0; g < Count; ++g) {
        int left = g % PerRow * GlyphW, top = g / PerRow * GlyphH;
        font.glyphs[g] = {0, uint8_t(left), uint8_t(top), GlyphW, GlyphH, {0, 0, 0}};
        font.charMap[glyphDots[g].code - 32] = int16_t(g);
        for (int pass = 0; pass < 2; ++pass) // the shadow first, the ink over it
            for (int y = 0; y < 14; ++y)
                for (int x = 0; x < 10; ++x)
                    if (glyphDots[g].rows[y / 2][x / 2] == '#') {
                        int at = (top + y + 1 - pass) * atlas->stride + left + x + 1 - pass;
                        atlas->pixels[at] = pass == 0 ? 1 : 255;
                    }
    }
    font.glyphBitmaps.count = 1;
    font.glyphBitmaps.bitmaps = static_cast<GFXBitmap **>(std::calloc(1, sizeof(GFXBitmap *)));
    font.glyphBitmaps.bitmaps[0] = atlas;
    font.flags = GFXFont::NewFontFlags | GFXFont::FoldCase;
    font.cellWidth = GlyphW;
    font.cellHeight = GlyphH;
    font.spacing = 1;
    font.palette = GFXPalette::construct();
    setColour(*font.palette, 0, 0, 16, 24, 64);
    setColour(*font.palette, 0, 1, 110, 50, 30);
    setColour(*font.palette, 0, 255, 255, 208, 64);
    ByteWriter out;
    Persistent::writeObject(&out, &font);
    return out.text();
}

} // namespace

VolumeBuilder graphicsVolume() {
    VolumeBuilder volume;
    volume.add(1, "ReadMe.txt",
               "The graphics example volume of qarvex. Try:\n"
               "  qarvex -x --png -C pictures '*' examples/graphics.vol\n");
    volume.add(2, "title.pbm", titleBitmap());
    volume.add(3, "logo.bmp", logoBitmap());
    volume.add(4, "game.ppl", gamePalettes());
    volume.add(5, "tiles.pba", tileArray());
    volume.add(6, "small.pft", smallFont());
    return volume;
}

} // namespace examples

} // namespace qarvex
