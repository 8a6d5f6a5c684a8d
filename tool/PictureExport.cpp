// PictureExport: graphics entries of a volume shown as pictures during extraction.
#include "tool/PictureExport.h"

#include "tool/EntryPath.h"
#include "tool/PortableName.h"

#include <vector>

namespace qarvex {

namespace tool {

PictureExport::PictureExport(const Options &options, Console &console, platform::FolderHandle target)
    : target(target), only(options.png.only), force(options.force), portableNames(options.portableNames) {
    if (options.png.enabled)
        maker = std::make_unique<PictureMaker>(options.png, console);
}

bool PictureExport::extract(VolumeRStream &volume, const std::string &volumePath, int32_t position,
                            std::string &shown, const std::function<bool()> &raw) {
    const char *name = volume.entry(position).name;
    if (maker)
        maker->lastWritten.clear();
    png::GraphicsKind kind = maker && name ? png::graphicsKindOf(name) : png::GraphicsKind::None;
    if (kind == png::GraphicsKind::None) {
        shown = name ? name : "";
        return raw();
    }
    if (!only && !raw())
        return false;
    return showEntry(volume, volumePath, position, kind, shown, raw);
}

bool PictureExport::showEntry(VolumeRStream &volume, const std::string &volumePath, int32_t position,
                              png::GraphicsKind kind, std::string &shown, const std::function<bool()> &raw) {
    const VolumeItem &item = volume.entry(position);
    const char *name = item.name;
    shown = name;
    auto fail = [&](const std::string &why) {
        maker->report(volumePath, name, why);
        ++maker->failed;
        return false;
    };
    EntryPath where;
    if (const char *why = splitEntryName(name, where))
        return fail(std::string("refused: ") + why);
    // The pictures go beside the entry's file, under the name it was written as.
    if (portableNames)
        makePortable(where);
    if (EntryFault fault = EntryDecoder::checkRecord(volume, item); fault != EntryFault::None)
        return fail(EntryDecoder::describe(fault, item));
    if (item.size > PictureMaker::MaxSourceBytes)
        return fail("no picture: too large to show as pictures");
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(item.size));
    EntryFault fault = decoder.decode(
        volume, position,
        [&](const uint8_t *piece, int32_t count) {
            bytes.insert(bytes.end(), piece, piece + count);
            return true;
        },
        nullptr);
    if (fault != EntryFault::None)
        return fail(EntryDecoder::describe(fault, item));
    // A ".png" entry may be a picture already: then its bytes are what there is to show.
    if (kind == png::GraphicsKind::Bitmap && png::isPngFile(bytes.data(), bytes.size()))
        return only ? raw() : true;

    // The entry's folder below the target, made where missing, as extraction makes it.
    platform::FolderHandle folder = target;
    std::vector<platform::FolderHandle> opened;
    auto leave = [&] {
        for (auto it = opened.rbegin(); it != opened.rend(); ++it)
            platform::closeFolder(*it);
    };
    for (const std::string &step : where.folders) {
        platform::FolderHandle next = platform::openSubfolder(folder, step.c_str());
        if (next == platform::InvalidFolder) {
            std::string why = systemReason(platform::lastError());
            leave();
            return fail("cannot make folder " + step + ": " + why);
        }
        opened.push_back(next);
        folder = next;
    }
    std::string written;
    bool made = maker->make(kind, bytes, volumePath, name, folder, where.file, force, written);
    leave();
    if (made)
        shown = std::string(name) + " -> " + written;
    return made;
}

const std::vector<std::string> &PictureExport::lastPictures() const {
    static const std::vector<std::string> none;
    return maker ? maker->lastWritten : none;
}

std::string PictureExport::summary() const {
    if (!maker)
        return "";
    std::string text = ", " + countOf(maker->pictures, "picture", "pictures") + " written";
    if (maker->failed)
        text += ", " + std::to_string(maker->failed) + " not converted";
    return text;
}

} // namespace tool

} // namespace qarvex
