// ViewerCatalog: the volumes, their entries and palettes, and entries read and shown on request.
#include "tool/serve/ViewerCatalog.h"

#include "tool/PictureMaker.h"
#include <qarvex/gfx/GFXPalette.h>
#include <qarvex/platform/Platform.h>

#include <algorithm>

namespace qarvex {

namespace tool {

ViewerCatalog::~ViewerCatalog() = default;

bool ViewerCatalog::open(char *const *arguments, int count, Console &console) {
    // The command line's walk: patterns expanded, folders searched for volumes as -r searches
    // them, volumes that open only in part reported, and each volume then held open here with
    // what it has.
    forEachVolume("*", arguments, count, true, EntrySelector::NoLimit, console,
                  [&](VolumeRStream &, const std::string &path, EntrySelector &) {
                      addVolume(path);
                      return true;
                  });
    collectPalettes();
    return !volumes.empty();
}

void ViewerCatalog::addVolume(const std::string &path) {
    auto volume = std::make_unique<VolumeRStream>();
    volume->open(path.c_str());
    if (volume->entryCount() == 0 && volume->lastOpenError() != VolumeStream::OpenError::None)
        return;
    int32_t index = int32_t(volumes.size());
    firstOfVolume.push_back(table.size());
    for (int32_t position = 0; position < volume->entryCount(); ++position) {
        const VolumeItem &item = volume->entry(position);
        CatalogEntry entry;
        entry.volume = index;
        entry.position = position;
        entry.id = item.id;
        entry.name = item.name ? item.name : "";
        entry.size = item.size;
        entry.stored = volume->storedLength(item);
        entry.method = methodName(item.compression);
        entry.kind = png::graphicsKindOf(entry.name.c_str());
        table.push_back(std::move(entry));
    }
    volumes.push_back(std::move(volume));
    names.push_back(path);
}

void ViewerCatalog::collectPalettes() {
    for (const CatalogEntry &entry : table) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (entry.kind != png::GraphicsKind::Palette ||
            !readLocked(entry, PictureMaker::MaxSourceBytes, bytes, error))
            continue;
        GFXPalette::Ptr read = png::readPaletteFile(bytes.data(), bytes.size());
        if (!read)
            continue;
        const GFXPalette *palette = read.get();
        paletteFiles.push_back(std::move(read));
        std::string file = names[size_t(entry.volume)] + ": " + entry.name;
        int32_t count = std::min(palette->paletteCount, GFXPalette::MaxPalettes);
        for (int32_t number = 0; number < count; ++number)
            choices.push_back(
                {count == 1 ? file : file + ", palette " + std::to_string(palette->palettes[number].index),
                 palette, number});
    }
}

const CatalogEntry *ViewerCatalog::find(int32_t volume, int32_t position) const {
    if (volume < 0 || size_t(volume) >= volumes.size() || position < 0 ||
        position >= volumes[size_t(volume)]->entryCount())
        return nullptr;
    return &table[firstOfVolume[size_t(volume)] + size_t(position)];
}

std::vector<const CatalogEntry *> ViewerCatalog::filter(const std::string &expression) {
    std::lock_guard<std::mutex> held(lock);
    std::vector<const CatalogEntry *> found;
    EntrySelector selector(expression.c_str(), EntrySelector::NoLimit);
    for (size_t volume = 0; volume < volumes.size(); ++volume)
        for (int32_t position : selector.select(*volumes[volume]))
            found.push_back(&table[firstOfVolume[volume] + size_t(position)]);
    return found;
}

bool ViewerCatalog::read(const CatalogEntry &entry, int64_t limit, std::vector<uint8_t> &bytes,
                         std::string &error) {
    std::lock_guard<std::mutex> held(lock);
    return readLocked(entry, limit, bytes, error);
}

bool ViewerCatalog::readLocked(const CatalogEntry &entry, int64_t limit, std::vector<uint8_t> &bytes,
                               std::string &error) {
    VolumeRStream &volume = *volumes[size_t(entry.volume)];
    const VolumeItem &item = volume.entry(entry.position);
    if (EntryFault fault = EntryDecoder::checkRecord(volume, item); fault != EntryFault::None) {
        error = EntryDecoder::describe(fault, item);
        return false;
    }
    if (item.size > PictureMaker::MaxSourceBytes) {
        error = "too large to show";
        return false;
    }
    bytes.clear();
    bytes.reserve(size_t(std::min<int64_t>(item.size, limit)));
    // Decoding stops once limit bytes are there: the sink's refusal ends it early on purpose.
    EntryFault fault = decoder.decode(
        volume, entry.position,
        [&](const uint8_t *piece, int32_t count) {
            size_t take = size_t(std::min<int64_t>(count, limit - int64_t(bytes.size())));
            bytes.insert(bytes.end(), piece, piece + take);
            return int64_t(bytes.size()) < limit;
        },
        nullptr);
    if (fault == EntryFault::SinkFailed && int64_t(bytes.size()) == limit)
        return true;
    if (fault != EntryFault::None) {
        error = EntryDecoder::describe(fault, item);
        return false;
    }
    return true;
}

png::Conversion ViewerCatalog::pictures(const CatalogEntry &entry, png::Settings settings,
                                        const PaletteChoice *choice) {
    std::lock_guard<std::mutex> held(lock);
    std::vector<uint8_t> bytes;
    png::Conversion conversion;
    if (!readLocked(entry, PictureMaker::MaxSourceBytes, bytes, conversion.error))
        return conversion;
    if (choice) {
        settings.palette = choice->palette;
        settings.paletteNumber = choice->number;
    }
    std::string base = entry.name.substr(std::min(entry.name.size(), entry.name.find_last_of("\\/") + 1));
    return png::convertGraphics(entry.kind, bytes.data(), bytes.size(), base, settings);
}

} // namespace tool

} // namespace qarvex
