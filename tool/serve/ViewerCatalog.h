// ViewerCatalog: what the viewer shows, read from the volumes it was given. Every volume is opened
// once and held open read-only; its entries' table is copied out at the start; an entry's bytes
// and pictures are made on request with the command line's own code. The library's objects are
// not made for several threads at once, so every call that touches them takes one lock: requests
// are answered in parallel, the library's work is done one request at a time.
#pragma once

#include "tool/Console.h"
#include "tool/EntryDecoder.h"
#include "tool/VolumeWalk.h"
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/png/GraphicsPictures.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

struct CatalogEntry {
    int32_t volume = 0;   // index into the catalog's volumes
    int32_t position = 0; // in the volume's entry table
    uint32_t id = 0;
    std::string name;
    int32_t size = 0;
    int32_t stored = -1; // -1: the data block is not wholly inside the file
    std::string method;
    png::GraphicsKind kind = png::GraphicsKind::None;
};

// One palette to try on 8-bit pictures: a palette file's palette number of its set.
struct PaletteChoice {
    std::string label; // "graphics.vol: game.ppl, palette 2"
    const GFXPalette *palette = nullptr;
    int32_t number = 0;
};

class ViewerCatalog {
public:
    ViewerCatalog() = default;
    ~ViewerCatalog();
    ViewerCatalog(const ViewerCatalog &) = delete;
    ViewerCatalog &operator=(const ViewerCatalog &) = delete;

    // Opens what the arguments name: volume files or patterns as on the command line, or folders,
    // searched through for volumes. Problems are reported on console; false when no volume could
    // be opened at all.
    bool open(char *const *arguments, int count, Console &console);

    const std::vector<std::string> &volumeNames() const { return names; }
    const std::vector<CatalogEntry> &entries() const { return table; }
    const std::vector<PaletteChoice> &palettes() const { return choices; }
    // The entry at position of volume; null when there is none.
    const CatalogEntry *find(int32_t volume, int32_t position) const;

    // The entries whose names match expression exactly as the command line matches them, in
    // volume and table order.
    std::vector<const CatalogEntry *> filter(const std::string &expression);

    // The first limit bytes of entry, decoded; false with the reason in error.
    bool read(const CatalogEntry &entry, int64_t limit, std::vector<uint8_t> &bytes, std::string &error);

    // The files --png makes of entry with settings; choice (may be null) colours 8-bit images.
    png::Conversion pictures(const CatalogEntry &entry, png::Settings settings, const PaletteChoice *choice);

private:
    bool readLocked(const CatalogEntry &entry, int64_t limit, std::vector<uint8_t> &bytes,
                    std::string &error);
    void addVolume(const std::string &path);
    void collectPalettes();

    std::mutex lock;
    std::vector<std::unique_ptr<VolumeRStream>> volumes;
    std::vector<std::string> names;
    std::vector<CatalogEntry> table;
    std::vector<size_t> firstOfVolume; // index in table of each volume's first entry
    std::vector<GFXPalette::Ptr> paletteFiles;
    std::vector<PaletteChoice> choices;
    EntryDecoder decoder;
};

} // namespace tool

} // namespace qarvex
