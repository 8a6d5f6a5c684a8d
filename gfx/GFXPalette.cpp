// GFXPalette: construction, the RIFF "PAL " and "PL98" readers and writers, the table area and
// the index mask.
#include <qarvex/gfx/GFXPalette.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gfx/GFXChunk.h"
#include <qarvex/core/LittleEndian.h>
#include <qarvex/stream/StreamIO.h>

namespace qarvex {

int32_t paletteStampCounter = 0;

namespace {

constexpr uint32_t TagRiff = le::tag("RIFF");
constexpr uint32_t TagPal = le::tag("PAL ");
constexpr uint32_t TagData = le::tag("data");
constexpr uint32_t TagPl98 = le::tag("PL98");

constexpr int32_t HeaderBytes = 16 + 32; // four words and the index mask
constexpr int32_t RecordTailBytes = 8;   // index and type after the entries

// Component values are stored as single-precision floats; the scale is held in extended precision
// so that entry / 255 rounds once, to the nearest float.
float component(uint8_t value) {
    return float((long double)value * (1.0L / 255.0L));
}

// The file holds little-endian floats; on a big-endian host they are turned around in place.
void fixFloatOrder(float *values, int32_t count) {
    if constexpr (std::endian::native != std::endian::little) {
        for (int32_t i = 0; i < count; ++i) {
            uint32_t bits;
            std::memcpy(&bits, values + i, 4);
            bits = le::read32(&bits);
            std::memcpy(values + i, &bits, 4);
        }
    } else {
        (void)values;
        (void)count;
    }
}

void writeFloats(StreamIO &stream, const float *values, int32_t count) {
    uint8_t bytes[1024];
    while (count > 0) {
        int32_t n = count < 256 ? count : 256;
        for (int32_t i = 0; i < n; ++i) {
            uint32_t bits;
            std::memcpy(&bits, values + i, 4);
            le::write32(bytes + 4 * i, bits);
        }
        stream.write(4 * n, bytes);
        values += n;
        count -= n;
    }
}

void writeZeros(StreamIO &stream, int64_t count) {
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        int32_t n = count < int64_t(sizeof zeros) ? int32_t(count) : int32_t(sizeof zeros);
        stream.write(n, zeros);
        count -= n;
    }
}

bool hasBlendTable(int32_t type) {
    return type == GFXPalette::Blend2 || type == GFXPalette::Blend6 || type == GFXPalette::Blend8;
}

bool hasStoredTables(int32_t type) {
    return type == GFXPalette::Shaded || hasBlendTable(type);
}

} // namespace

GFXPalette::~GFXPalette() {
    std::free(tableBlock);
    std::free(auxTable);
}

GFXPalette *GFXPalette::construct() {
    auto palette = new (std::nothrow) GFXPalette;
    if (!palette)
        return nullptr;
    if (!palette->indexMask.resize(8)) {
        delete palette;
        return nullptr;
    }
    for (uint32_t &word : palette->indexMask)
        word = 0;
    palette->setIndexRange(10, 245);
    palette->stamp = paletteStampCounter++;
    return palette;
}

GFXPalette *GFXPalette::load(StreamIO &stream, uint32_t flags) {
    GFXPalette *palette = construct();
    if (palette && !palette->read(stream, flags)) {
        destroy(palette);
        return nullptr;
    }
    return palette;
}

void GFXPalette::destroy(GFXPalette *palette) {
    delete palette;
}

void GFXPalette::touch() {
    ++stamp;
    ++paletteStampCounter;
}

// Every table pointer points into tableBlock, so they all go with it.
void GFXPalette::dropTables() {
    std::free(tableBlock);
    tableBlock = nullptr;
    tableBase = nullptr;
    tableBlockBytes = 0;
    for (Palette &palette : palettes) {
        palette.shadeBlocks = palette.finalShadeBlock = palette.blendTable = palette.remapTable = nullptr;
        for (float *&table : palette.componentTables)
            table = nullptr;
    }
}

void GFXPalette::dropAuxTable() {
    std::free(auxTable);
    auxTable = nullptr;
    auxA = auxB = 0;
}

void GFXPalette::placeColourTables(Palette &palette, uint8_t *at) {
    palette.remapTable = at;
    for (int32_t j = 0; j < 4; ++j)
        palette.componentTables[j] = reinterpret_cast<float *>(at + 256 + 1024 * j);
}

int64_t GFXPalette::tableShare(int32_t type) const {
    if (type == Shaded)
        return shadeLevels < 0 ? -1
                               : (int64_t(256) << shadeShift) * (int64_t(shadeLevels) + 1) + ColourTableBytes;
    if (hasBlendTable(type))
        return BlendTableBytes + ColourTableBytes;
    if (type == Computed)
        return ColourTableBytes;
    return 0;
}

bool GFXPalette::read(StreamIO &stream, uint32_t) {
    uint32_t tag;
    if (!gfxchunk::readWord(stream, tag))
        return false;
    if (tag == TagRiff) {
        uint32_t riffSize;
        if (!gfxchunk::readWord(stream, riffSize))
            return false;
        return readRiff(stream);
    }
    // Anything else is taken as a PL98 set without looking at its tag.
    return readPl98(stream);
}

bool GFXPalette::readRiff(StreamIO &stream) {
    uint8_t head[12];
    if (!stream.read(8, head))
        return false;
    if (le::read32(head) == TagRiff && !stream.read(8, head))
        return false;
    // head: form type, then the data chunk's tag, which is not examined.
    if (le::read32(head) != TagPal)
        return false;
    uint32_t dataSize;
    if (!gfxchunk::readWord(stream, dataSize))
        return false;
    // Version and count words, then the entries: more than 256 do not fit palette 0.
    if (dataSize < 4 || dataSize > 4 + EntryBytes)
        return false;
    int32_t count = int32_t(dataSize / 4) - 1;
    uint8_t versionAndCount[4];
    uint8_t colours[EntryBytes];
    stream.read(4, versionAndCount);
    stream.read(4 * count, colours);
    // A data size that is not a multiple of 4 leaves a tail that belongs to the chunk.
    gfxchunk::skip(stream, dataSize % 4);
    if (stream.getStatus() != StreamIO::Ok)
        return false;
    auto block = static_cast<uint8_t *>(std::malloc(RiffBlockBytes));
    if (!block)
        return false;

    dropTables();
    tableBlock = block;
    tableBlockBytes = RiffBlockBytes;
    tableBase = block + (256 - (reinterpret_cast<uintptr_t>(block) & 255));
    entryCount = uint16_t(count);
    version = 0x0300;
    Palette &first = palettes[0];
    std::memcpy(first.entries, colours, size_t(4 * count));
    shadeShift = shadeLevels = shadeScale = 0;
    paletteCount = 1;
    first.type = Computed;
    first.index = -1;
    placeColourTables(first, tableBase);
    for (int32_t i = 0; i < 256; ++i) {
        first.remapTable[i] = uint8_t(i);
        for (int32_t j = 0; j < 4; ++j)
            first.componentTables[j][i] = component(first.entries[4 * i + j]);
    }
    touch();
    return true;
}

bool GFXPalette::readPl98(StreamIO &stream) {
    uint8_t header[HeaderBytes];
    if (!stream.read(HeaderBytes, header))
        return false;
    int32_t count = int32_t(le::read32(header));
    int32_t shift = int32_t(le::read32(header + 4));
    // More palettes than the set holds, or shade blocks no allocation could hold: not a set.
    if (count < 0 || count > MaxPalettes || shift < 0 || shift > MaxShadeShift)
        return false;

    dropTables();
    dropAuxTable();
    paletteCount = count;
    shadeShift = shift;
    shadeLevels = int32_t(le::read32(header + 8));
    headerWord = int32_t(le::read32(header + 12));
    shadeScale = 1 << shift;
    if (indexMask.size() != 8 && !indexMask.resize(8))
        return false;
    for (int32_t w = 0; w < 8; ++w)
        indexMask[w] = le::read32(header + 16 + 4 * w);
    const int64_t blockAlign = int64_t(256) << shift;

    int64_t total = 0;
    for (int32_t i = 0; i < count; ++i) {
        Palette &palette = palettes[i];
        uint8_t tail[RecordTailBytes];
        stream.read(EntryBytes, palette.entries);
        if (!stream.read(RecordTailBytes, tail))
            return false;
        palette.index = int32_t(le::read32(tail));
        palette.type = int32_t(le::read32(tail + 4));
        int64_t share = tableShare(palette.type);
        if (share < 0)
            return false;
        total += share;
    }
    if (total + blockAlign > MaxTableArea)
        return false;

    if (total != 0) {
        auto block = static_cast<uint8_t *>(std::malloc(size_t(total + blockAlign)));
        if (!block)
            return false;
        tableBlock = block;
        tableBlockBytes = total + blockAlign;
        tableBase =
            block + (blockAlign - int64_t(reinterpret_cast<uintptr_t>(block) & uintptr_t(blockAlign - 1)));
        if (!stream.read(int32_t(total), tableBase)) {
            dropTables();
            return false;
        }
        uint8_t *cursor = tableBase;
        const int64_t shadeBlock = blockAlign;
        for (int32_t i = 0; i < count; ++i) {
            Palette &palette = palettes[i];
            if (palette.type == Shaded) {
                palette.shadeBlocks = cursor;
                palette.finalShadeBlock = cursor + shadeBlock * shadeLevels;
                cursor += shadeBlock * (int64_t(shadeLevels) + 1);
            } else if (hasBlendTable(palette.type)) {
                palette.blendTable = cursor;
                cursor += BlendTableBytes;
            }
        }
        for (int32_t i = 0; i < count; ++i) {
            if (hasStoredTables(palettes[i].type)) {
                placeColourTables(palettes[i], cursor);
                for (float *table : palettes[i].componentTables)
                    fixFloatOrder(table, 256);
                cursor += ColourTableBytes;
            }
        }
        // Type-0 tables are computed from the entries; the stored bytes are only placeholders.
        for (int32_t i = 0; i < count; ++i) {
            Palette &palette = palettes[i];
            if (palette.type != Computed)
                continue;
            placeColourTables(palette, cursor);
            for (int32_t c = 0; c < 256; ++c) {
                palette.remapTable[c] = uint8_t(c);
                for (int32_t j = 0; j < 3; ++j)
                    palette.componentTables[j][c] = component(palette.entries[4 * c + j]);
                palette.componentTables[3][c] = 1.0f;
            }
            cursor += ColourTableBytes;
        }
    }

    uint8_t hasAux = 0;
    if (!stream.read(1, &hasAux)) {
        dropTables();
        return false;
    }
    if (hasAux) {
        auxTable = static_cast<uint8_t *>(std::malloc(1024));
        uint8_t values[8] = {};
        if (!auxTable || !stream.read(1024, auxTable) || !stream.read(8, values)) {
            dropTables();
            dropAuxTable();
            return false;
        }
        auxA = int32_t(le::read32(values));
        auxB = int32_t(le::read32(values + 4));
    }
    uint32_t trailer;
    if (!gfxchunk::readWord(stream, trailer)) {
        dropTables();
        dropAuxTable();
        return false;
    }
    touch();
    return true;
}

bool GFXPalette::writeRiff(StreamIO &stream) {
    if (entryCount > 256)
        return false;
    uint32_t n = entryCount;
    uint8_t head[24];
    le::write32(head, TagRiff);
    le::write32(head + 4, 16 + 4 * n);
    le::write32(head + 8, TagPal);
    le::write32(head + 12, TagData);
    le::write32(head + 16, 4 + 4 * n);
    le::write16(head + 20, 0x0300);
    le::write16(head + 22, uint16_t(n));
    stream.write(24, head);
    stream.write(int32_t(4 * n), palettes[0].entries);
    return stream.getStatus() == StreamIO::Ok;
}

bool GFXPalette::write(StreamIO &stream, uint32_t flags) {
    if (flags & WindowsFormat)
        return writeRiff(stream);
    // Refuse what the reader would refuse, so that a set we write always reads back.
    if (paletteCount < 0 || paletteCount > MaxPalettes || shadeShift < 0 || shadeShift > MaxShadeShift)
        return false;
    int64_t total = 0;
    for (int32_t i = 0; i < paletteCount; ++i) {
        int64_t share = tableShare(palettes[i].type);
        if (share < 0)
            return false;
        total += share;
    }
    if (total + (int64_t(256) << shadeShift) > MaxTableArea)
        return false;

    uint8_t header[4 + HeaderBytes];
    le::write32(header, TagPl98);
    le::write32(header + 4, uint32_t(paletteCount));
    le::write32(header + 8, uint32_t(shadeShift));
    le::write32(header + 12, uint32_t(shadeLevels));
    le::write32(header + 16, uint32_t(headerWord));
    for (int32_t w = 0; w < 8; ++w)
        le::write32(header + 20 + 4 * w, w < indexMask.size() ? indexMask[w] : 0);
    stream.write(int32_t(sizeof header), header);
    for (int32_t i = 0; i < paletteCount; ++i) {
        uint8_t tail[RecordTailBytes];
        le::write32(tail, uint32_t(palettes[i].index));
        le::write32(tail + 4, uint32_t(palettes[i].type));
        stream.write(EntryBytes, palettes[i].entries);
        stream.write(RecordTailBytes, tail);
    }

    // The table area in the reader's layout. Tables a palette lacks (a set built in memory, a
    // pointer that no longer fits the block) are written as zeros or, for type 0, computed.
    auto inBlock = [&](const void *at, int64_t bytes) {
        auto p = static_cast<const uint8_t *>(at);
        return p && tableBlock && p >= tableBlock && p + bytes <= tableBlock + tableBlockBytes;
    };
    auto writeTable = [&](const uint8_t *at, int64_t bytes) {
        if (inBlock(at, bytes))
            stream.write(int32_t(bytes), at);
        else
            writeZeros(stream, bytes);
    };
    auto writeColourTables = [&](const Palette &palette) {
        bool present = inBlock(palette.remapTable, 256);
        for (const float *table : palette.componentTables)
            present = present && inBlock(table, 1024);
        if (present) {
            stream.write(256, palette.remapTable);
            for (const float *table : palette.componentTables)
                writeFloats(stream, table, 256);
            return;
        }
        uint8_t remap[256];
        float computed[4][256];
        for (int32_t c = 0; c < 256; ++c) {
            remap[c] = uint8_t(c);
            for (int32_t j = 0; j < 3; ++j)
                computed[j][c] = component(palette.entries[4 * c + j]);
            computed[3][c] = 1.0f;
        }
        stream.write(256, remap);
        for (const float *table : computed)
            writeFloats(stream, table, 256);
    };
    const int64_t shadeBlock = int64_t(256) << shadeShift;
    for (int32_t i = 0; i < paletteCount; ++i) {
        const Palette &palette = palettes[i];
        if (palette.type == Shaded)
            writeTable(palette.shadeBlocks, shadeBlock * (int64_t(shadeLevels) + 1));
        else if (hasBlendTable(palette.type))
            writeTable(palette.blendTable, BlendTableBytes);
    }
    for (int32_t i = 0; i < paletteCount; ++i)
        if (hasStoredTables(palettes[i].type))
            writeColourTables(palettes[i]);
    for (int32_t i = 0; i < paletteCount; ++i)
        if (palettes[i].type == Computed)
            writeColourTables(palettes[i]);

    if (auxTable) {
        uint8_t values[9];
        values[0] = 1;
        stream.write(1, values);
        stream.write(1024, auxTable);
        le::write32(values, uint32_t(auxA));
        le::write32(values + 4, uint32_t(auxB));
        stream.write(8, values);
    } else {
        uint8_t none = 0;
        stream.write(1, &none);
    }
    gfxchunk::writeWord(stream, 0);
    return stream.getStatus() == StreamIO::Ok;
}

void GFXPalette::takeWindowsColours() {
    uint8_t *entry = palettes[0].entries;
    for (int32_t i = 0; i < 256; ++i, entry += 4) {
        uint8_t blue = entry[0];
        entry[0] = entry[2];
        entry[2] = blue;
        entry[3] = 4;
    }
    touch();
}

void GFXPalette::setIndexRange(int32_t low, int32_t high) {
    if (low > high) {
        int32_t swap = low;
        low = high;
        high = swap;
    }
    // Indices outside 0..255 have no bit; the part of the range inside is set.
    if (high < 0 || low > 255 || indexMask.size() < 8)
        return;
    low = low < 0 ? 0 : low;
    high = high > 255 ? 255 : high;
    int32_t lowWord = low / 32, highWord = high / 32;
    uint32_t fromLow = 0xFFFFFFFFu >> (low % 32);      // low to the end of its word
    uint32_t toHigh = 0xFFFFFFFFu << (31 - high % 32); // start of the word to high
    if (lowWord == highWord) {
        indexMask[lowWord] |= fromLow & toHigh;
        return;
    }
    for (int32_t w = lowWord + 1; w < highWord; ++w)
        indexMask[w] = 0xFFFFFFFFu;
    indexMask[lowWord] |= fromLow;
    indexMask[highWord] |= toHigh;
}

bool GFXPalette::hasIndex(int32_t index) const {
    if (index < 0 || index > 255 || indexMask.size() < 8)
        return false;
    return (indexMask[index / 32] >> (31 - index % 32)) & 1;
}

} // namespace qarvex
