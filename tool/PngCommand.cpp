// The "--png FILE..." command: each graphics file on disk read whole, converted, and its pictures
// written beside it (or into the -C folder), with one line per file and a summary.
#include "tool/PngCommand.h"

#include "tool/PictureMaker.h"

#include <string>
#include <vector>

namespace qarvex {

namespace tool {

int convertFiles(const Options &options, Console &console) {
    PictureMaker maker(options.png, console);
    if (!maker.ready())
        return Failure;
    platform::FolderHandle target = platform::InvalidFolder;
    if (options.targetFolder) {
        target = platform::openFolder(options.targetFolder);
        if (target == platform::InvalidFolder) {
            console.diagnostic("%s: cannot write pictures there: %s", options.targetFolder,
                               systemReason(platform::lastError()));
            return Failure;
        }
    }
    bool allWell = true;
    int64_t converted = 0, failed = 0;
    for (int i = 0; i < options.operandCount; ++i) {
        const char *path = options.operands[i];
        std::string directory(path, platform::directoryPartLength(path));
        std::string base = path + directory.size();
        png::GraphicsKind kind = png::graphicsKindOf(base.c_str());
        std::vector<uint8_t> bytes;
        std::string error;
        if (kind == png::GraphicsKind::None) {
            maker.report("", path, "not a graphics file (.bmp .dib .png .pbm .pba .pft .pal .ppl .dpl)");
            allWell = false;
            ++failed;
            continue;
        }
        if (!readWholeFile(path, bytes, error)) {
            maker.report("", path, error);
            allWell = false;
            ++failed;
            continue;
        }
        if (kind == png::GraphicsKind::Bitmap && png::isPngFile(bytes.data(), bytes.size())) {
            console.print("%s: a PNG picture already\n", path);
            continue;
        }
        platform::FolderHandle folder = target;
        if (!options.targetFolder) {
            folder = platform::openFolder(directory.empty() ? "." : directory.c_str());
            if (folder == platform::InvalidFolder) {
                maker.report("", path,
                             std::string("cannot write beside it: ") + systemReason(platform::lastError()));
                allWell = false;
                ++failed;
                continue;
            }
        }
        std::string written;
        if (maker.make(kind, bytes, "", path, folder, base, options.force, written)) {
            console.print("%s -> %s\n", path, written.c_str());
            ++converted;
        } else {
            allWell = false;
            ++failed;
        }
        if (folder != target)
            platform::closeFolder(folder);
    }
    if (target != platform::InvalidFolder)
        platform::closeFolder(target);
    std::string summary = countOf(converted, "file", "files") + " converted, " +
                          countOf(maker.pictures, "picture", "pictures") + " written";
    if (failed)
        summary += ", " + std::to_string(failed) + " failed";
    console.print("%s\n", summary.c_str());
    return allWell ? Success : Failure;
}

} // namespace tool

} // namespace qarvex
