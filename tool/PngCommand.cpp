// The "--png FILE..." command: each graphics file on disk read whole, converted, and its pictures
// written beside it (or into the -C folder), with one line per file and a summary.
#include "tool/PngCommand.h"

#include "tool/JsonReport.h"
#include "tool/PictureMaker.h"
#include "tool/VolumeWalk.h"

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
    std::vector<std::string> paths;
    for (int i = 0; i < options.operandCount; ++i) {
        const char *argument = options.operands[i];
        if (!options.recursive || !platform::canEnterDirectory(argument)) {
            paths.push_back(argument);
            continue;
        }
        // Below a folder, the graphics files are the ones to convert.
        std::vector<std::string> below;
        allWell = filesBelow(argument, below, console) && allWell;
        for (std::string &file : below)
            if (png::graphicsKindOf(file.c_str() + platform::directoryPartLength(file.c_str())) !=
                png::GraphicsKind::None)
                paths.push_back(std::move(file));
    }
    JsonReport *json = console.json();
    if (json)
        json->document()["files"] = Json::array();
    // The file's object in the JSON document: the pictures written for it, or why there are none.
    auto record = [&](const std::string &path, const std::string *failure) {
        if (!json)
            return;
        Json &file = json->document()["files"].emplace_back(Json::object());
        file["path"] = pathText(path);
        Json &pictures = file["pictures"] = Json::array();
        std::string directory = options.targetFolder
                                    ? std::string(options.targetFolder) + platform::PathSeparator
                                    : path.substr(0, platform::directoryPartLength(path.c_str()));
        if (!failure)
            for (const std::string &picture : maker.lastWritten)
                pictures.push_back(pathText(directory + picture));
        else
            file["error"] = *failure;
    };
    for (const std::string &file : paths) {
        const char *path = file.c_str();
        std::string directory(path, platform::directoryPartLength(path));
        std::string base = path + directory.size();
        png::GraphicsKind kind = png::graphicsKindOf(base.c_str());
        std::vector<uint8_t> bytes;
        std::string error;
        if (kind == png::GraphicsKind::None) {
            maker.report("", path, "not a graphics file (.bmp .dib .png .pbm .pba .pft .pal .ppl .dpl)");
            record(file, &console.lastDiagnostic());
            allWell = false;
            ++failed;
            continue;
        }
        if (!readWholeFile(path, bytes, error)) {
            maker.report("", path, error);
            record(file, &console.lastDiagnostic());
            allWell = false;
            ++failed;
            continue;
        }
        if (kind == png::GraphicsKind::Bitmap && png::isPngFile(bytes.data(), bytes.size())) {
            console.print("%s: a PNG picture already\n", path);
            maker.lastWritten.clear();
            record(file, nullptr);
            continue;
        }
        platform::FolderHandle folder = target;
        if (!options.targetFolder) {
            folder = platform::openFolder(directory.empty() ? "." : directory.c_str());
            if (folder == platform::InvalidFolder) {
                maker.report("", path,
                             std::string("cannot write beside it: ") + systemReason(platform::lastError()));
                record(file, &console.lastDiagnostic());
                allWell = false;
                ++failed;
                continue;
            }
        }
        std::string written;
        if (maker.make(kind, bytes, "", path, folder, base, options.force, written)) {
            console.print("%s -> %s\n", path, written.c_str());
            record(file, nullptr);
            ++converted;
        } else {
            record(file, &console.lastDiagnostic());
            allWell = false;
            ++failed;
        }
        if (folder != target)
            platform::closeFolder(folder);
    }
    if (target != platform::InvalidFolder)
        platform::closeFolder(target);
    if (json)
        json->summary() = {{"converted", converted}, {"pictures", maker.pictures}, {"failed", failed}};
    std::string summary = countOf(converted, "file", "files") + " converted, " +
                          countOf(maker.pictures, "picture", "pictures") + " written";
    if (failed)
        summary += ", " + std::to_string(failed) + " failed";
    console.print("%s\n", summary.c_str());
    return allWell ? Success : Failure;
}

} // namespace tool

} // namespace qarvex
