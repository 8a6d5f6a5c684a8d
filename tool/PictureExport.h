// PictureExport: what "-x --png" adds to extraction. A graphics entry (by the extension of its
// name) is written as usual and also shown as PNG pictures beside it, or, with --png-only, shown
// as pictures instead. Other entries are extracted as usual.
#pragma once

#include "tool/Console.h"
#include "tool/EntryDecoder.h"
#include "tool/Options.h"
#include "tool/PictureMaker.h"
#include "tool/VolumeWalk.h"
#include <qarvex/platform/Platform.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

class PictureExport {
public:
    // target is the folder extraction writes into; it must outlive this object.
    PictureExport(const Options &options, Console &console, platform::FolderHandle target);

    // False when the picture settings cannot be used (already reported): nothing should be done.
    bool ready() const { return !maker || maker->ready(); }

    // Extracts the entry at position: raw writes its bytes as a file and reports its own failures;
    // pictures are added as asked. shown receives the listing's line for the entry. False when
    // something asked for was not written (reported).
    bool extract(VolumeRStream &volume, const std::string &volumePath, int32_t position, std::string &shown,
                 const std::function<bool()> &raw);

    // An entry decoded ahead on another thread, used when it is the one shown (null: none).
    void useDecodedAhead(const DecodedEntry *entry) { decoder.useDecodedAhead(entry); }

    // The files of pictures the last successful extract wrote for its entry (none without --png).
    const std::vector<std::string> &lastPictures() const;

    // PNG files written so far.
    int64_t pictureCount() const { return maker ? maker->pictures : 0; }

    // What the summary line adds (", 4 pictures written, 1 not converted"); empty without --png.
    std::string summary() const;

private:
    bool showEntry(VolumeRStream &volume, const std::string &volumePath, int32_t position,
                   png::GraphicsKind kind, std::string &shown, const std::function<bool()> &raw);

    platform::FolderHandle target;
    bool only = false;
    bool force = false;
    bool portableNames = false;
    std::unique_ptr<PictureMaker> maker; // null without --png
    EntryDecoder decoder;
};

} // namespace tool

} // namespace qarvex
