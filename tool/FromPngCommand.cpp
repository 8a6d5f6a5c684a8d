// The "--from-png PICTURE..." command. A picture's sidecar lies beside it, named after the graphics
// file: "tiles.pba.3.png" is found by "tiles.pba.sidecar", which lists ".3.png" among its pictures.
// The file is rebuilt from the sidecar's bytes with every edited picture beside it in place and
// written whole under a temporary name first, like every file the tool writes.
//   qarvex --from-png out/title.pbm.png
//   out/title.pbm.png -> out/title.pbm
//   1 file written
#include "tool/FromPngCommand.h"

#include "tool/JsonReport.h"
#include "tool/PictureMaker.h"
#include "tool/Sidecar.h"
#include "tool/SourceList.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qarvex {

namespace tool {

namespace {

// The sidecar that stands for the picture at path: beside it, named after a leading part of the
// picture's name, and listing the rest of the name as one of its pictures. Empty when none does.
std::string sidecarOf(const std::string &path) {
    size_t directory = platform::directoryPartLength(path.c_str());
    for (size_t dot = path.rfind('.'); dot != std::string::npos && dot > directory;
         dot = path.rfind('.', dot - 1)) {
        std::string candidate = path.substr(0, dot) + Sidecar::Suffix;
        std::vector<uint8_t> bytes;
        std::string why;
        Sidecar sidecar;
        if (!readSourceFile(candidate, bytes, why) || !sidecar.parse(bytes, why))
            continue;
        for (const auto &picture : sidecar.pictures)
            if (picture.first == path.substr(dot))
                return candidate;
    }
    return "";
}

// A sidecar names a file beside itself: a name with a folder in it is refused, so that a sidecar
// made by hand cannot send the file elsewhere.
bool plainFileName(const std::string &name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos;
}

class PicturesBack {
public:
    PicturesBack(const Options &options, Console &console) : options(options), console(console) {}

    int run();

private:
    // The graphics file of one sidecar, from the pictures named for it.
    void rebuild(const std::string &sidecarPath, const std::vector<std::string> &pictures);
    // Reports why the file of pictures (named by the first) was not written.
    void fail(const std::vector<std::string> &pictures, const std::string &why);
    void record(const std::string &path, const std::vector<std::string> &pictures,
                const std::string *failure);

    const Options &options;
    Console &console;
    GFXPalette::Ptr palette;
    png::ImportSettings settings;
    int64_t written = 0, failed = 0;
};

int PicturesBack::run() {
    std::string why;
    if (options.png.paletteFile && !readPaletteOption(options.png.paletteFile, palette, why)) {
        console.diagnostic("%s: %s", options.png.paletteFile, why.c_str());
        return Failure;
    }
    settings = importSettingsOf(options.png, palette.get());
    if (JsonReport *json = console.json())
        json->document()["files"] = Json::array();
    // Each graphics file once, in the order its first picture was named.
    std::vector<std::pair<std::string, std::vector<std::string>>> files;
    for (int i = 0; i < options.operandCount; ++i) {
        std::string picture = options.operands[i];
        std::string sidecar = sidecarOf(picture);
        if (sidecar.empty()) {
            fail({picture}, "no sidecar beside it lists it (-x --png and --png leave one)");
            continue;
        }
        auto known =
            std::find_if(files.begin(), files.end(), [&](const auto &file) { return file.first == sidecar; });
        if (known == files.end())
            files.push_back({sidecar, {picture}});
        else
            known->second.push_back(picture);
    }
    for (const auto &[sidecar, pictures] : files)
        rebuild(sidecar, pictures);
    if (JsonReport *json = console.json())
        json->summary() = {{"written", written}, {"failed", failed}};
    std::string summary = countOf(written, "file", "files") + " written";
    if (failed)
        summary += ", " + std::to_string(failed) + " failed";
    console.print("%s\n", summary.c_str());
    return failed ? Failure : Success;
}

void PicturesBack::rebuild(const std::string &sidecarPath, const std::vector<std::string> &pictures) {
    EditedPictures edited;
    std::vector<uint8_t> bytes;
    std::string why;
    if (!findEditedPictures(sidecarPath, edited, why) || !rebuildFromPictures(edited, settings, bytes, why))
        return fail(pictures, why);
    const std::string &name = edited.sidecar.file;
    if (!plainFileName(name))
        return fail(pictures, "the sidecar names a file in another folder");
    std::string directory = options.targetFolder
                                ? std::string(options.targetFolder) + platform::PathSeparator
                                : sidecarPath.substr(0, platform::directoryPartLength(sidecarPath.c_str()));
    std::string target = directory + name;
    platform::FolderHandle folder = platform::openFolder(directory.empty() ? "." : directory.c_str());
    if (folder == platform::InvalidFolder)
        return fail(pictures, std::string("cannot write there: ") + systemReason(platform::lastError()));
    bool whole = writeFilesWhole(folder, name, {{"", std::move(bytes)}}, options.force, why);
    platform::closeFolder(folder);
    if (!whole)
        return fail(pictures, why);
    std::string shown;
    for (const std::string &picture : pictures)
        shown += (shown.empty() ? "" : ", ") + picture;
    console.print("%s -> %s\n", shown.c_str(), target.c_str());
    record(target, pictures, nullptr);
    ++written;
}

void PicturesBack::fail(const std::vector<std::string> &pictures, const std::string &why) {
    console.diagnostic("%s: %s", pictures.front().c_str(), why.c_str());
    record(pictures.front(), pictures, &console.lastDiagnostic());
    ++failed;
}

// The file's object in the JSON document: the file written and the pictures named for it, or why
// there is none.
void PicturesBack::record(const std::string &path, const std::vector<std::string> &pictures,
                          const std::string *failure) {
    JsonReport *json = console.json();
    if (!json)
        return;
    Json &file = json->document()["files"].emplace_back(Json::object());
    file["path"] = pathText(path);
    Json &named = file["pictures"] = Json::array();
    for (const std::string &picture : pictures)
        named.push_back(pathText(picture));
    if (failure)
        file["error"] = *failure;
}

} // namespace

int convertPicturesBack(const Options &options, Console &console) {
    PicturesBack back(options, console);
    return back.run();
}

} // namespace tool

} // namespace qarvex
