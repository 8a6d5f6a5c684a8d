// Fuzz target for the palette reader: the input is read as a RIFF palette or a PL98 set. A set
// that loads must keep its tables inside its table block, and come back equal from both writers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/gfx/GfxTestSupport.h"
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/stream/MemRWStream.h>

using namespace qarvex;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

GFXPalette *reload(std::vector<uint8_t> &bytes) {
    MemRWStream stream;
    stream.attach(int32_t(bytes.size()), bytes.data());
    return GFXPalette::load(stream, 0);
}

void checkTables(const GFXPalette &set) {
    require(set.paletteCount >= 0 && set.paletteCount <= GFXPalette::MaxPalettes);
    uint8_t sum = 0;
    for (int32_t i = 0; i < set.paletteCount; ++i) {
        const GFXPalette::Palette &p = set.palettes[i];
        if (p.remapTable) {
            for (int32_t c = 0; c < 256; ++c)
                sum = uint8_t(sum + p.remapTable[c] + uint8_t(p.componentTables[3][c] > 0.5f));
        }
        if (p.blendTable)
            sum = uint8_t(sum + p.blendTable[65535]);
        if (p.finalShadeBlock)
            sum = uint8_t(sum + p.finalShadeBlock[(256 << set.shadeShift) - 1]);
    }
    (void)sum;
}

void checkRoundTrips(GFXPalette &set) {
    GrowStream pl98;
    require(set.write(pl98, 0));
    GFXPalette *back = reload(pl98.bytes);
    require(back != nullptr);
    require(back->paletteCount == set.paletteCount && back->shadeShift == set.shadeShift);
    require(back->headerWord == set.headerWord && (back->auxTable != nullptr) == (set.auxTable != nullptr));
    require(std::memcmp(back->indexMask.data(), set.indexMask.data(), 32) == 0);
    for (int32_t i = 0; i < set.paletteCount; ++i) {
        require(back->palettes[i].type == set.palettes[i].type &&
                back->palettes[i].index == set.palettes[i].index);
        require(std::memcmp(back->palettes[i].entries, set.palettes[i].entries, 1024) == 0);
    }
    GFXPalette::destroy(back);

    GrowStream riff;
    require(set.write(riff, GFXPalette::WindowsFormat));
    back = reload(riff.bytes);
    require(back != nullptr && back->entryCount == set.entryCount);
    require(std::memcmp(back->palettes[0].entries, set.palettes[0].entries, 4 * size_t(set.entryCount)) == 0);
    GFXPalette::destroy(back);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    GFXPalette *set = reload(bytes);
    if (!set)
        return 0;
    checkTables(*set);
    checkRoundTrips(*set);
    GFXPalette::destroy(set);
    return 0;
}
