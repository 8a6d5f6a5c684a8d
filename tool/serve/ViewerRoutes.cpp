// ViewerRoutes: the page, the JSON documents, entries' bytes and pictures, by path.
#include "tool/serve/ViewerRoutes.h"

#include "tool/PictureMaker.h"
#include "tool/serve/ViewerPage.h"
#include "tool/serve/ViewerReplies.h"

#include <algorithm>
#include <cctype>

namespace qarvex {

namespace tool {

namespace {

ViewerReply send(std::string body, const char *type) {
    return ViewerReply{200, std::move(body), type, ""};
}

// A number of at most nine digits, nothing else; -1 otherwise.
int32_t numberOf(const std::string &text) {
    if (text.empty() || text.size() > 9)
        return -1;
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// A download's file name: the entry's last name step, with only plain characters kept.
std::string downloadName(const std::string &name) {
    std::string file = name.substr(std::min(name.size(), name.find_last_of("\\/") + 1));
    for (char &c : file)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return file.empty() ? "entry" : file;
}

ViewerReply answerPicture(ViewerCatalog &catalog, const CatalogEntry &entry, const ViewerTarget &target) {
    for (const char *name : {"suffix", "sheet", "palette", "sample", "download"})
        if (target.count(name) > 1)
            return failureReply(400, std::string("one ") + name + " expected");
    std::string suffix = target.value("suffix");
    png::Settings settings;
    settings.contactSheet = target.value("sheet") == "1";
    settings.sampleText = target.count("sample") ? target.value("sample") : DefaultSampleText;
    if (settings.sampleText.empty() || settings.sampleText.size() > MaxSampleText)
        return failureReply(400, "the sample text must have 1 to " + std::to_string(MaxSampleText) +
                                     " characters");
    const PaletteChoice *choice = nullptr;
    if (target.count("palette")) {
        int32_t number = numberOf(target.value("palette"));
        if (number < 0)
            return failureReply(400, "a palette is named by its number");
        if (size_t(number) >= catalog.palettes().size())
            return failureReply(404, "no such palette");
        choice = &catalog.palettes()[size_t(number)];
    }
    if (entry.kind == png::GraphicsKind::None)
        return failureReply(404, entry.name + ": not a graphics entry");
    png::Conversion conversion = catalog.pictures(entry, settings, choice);
    if (!conversion.ok())
        return failureReply(422, entry.name + ": no picture: " + conversion.error);
    for (const png::OutputFile &file : conversion.files) {
        if (file.suffix != suffix || suffix.size() < 4 || suffix.compare(suffix.size() - 4, 4, ".png") != 0)
            continue;
        ViewerReply reply = send(std::string(file.bytes.begin(), file.bytes.end()), "image/png");
        if (target.value("download") == "1")
            reply.download = downloadName(entry.name + file.suffix);
        return reply;
    }
    return failureReply(404, entry.name + ": no picture " + suffix);
}

ViewerReply answerEntry(ViewerCatalog &catalog, const CatalogEntry &entry, const std::string &part,
                        const ViewerTarget &target) {
    if (part.empty())
        return send(entryJson(catalog, entry), "application/json");
    if (part == "picture")
        return answerPicture(catalog, entry, target);
    if (part != "raw")
        return failureReply(404, "not found");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!catalog.read(entry, PictureMaker::MaxSourceBytes, bytes, error))
        return failureReply(422, entry.name + ": " + error);
    ViewerReply reply = send(std::string(bytes.begin(), bytes.end()), "application/octet-stream");
    reply.download = downloadName(entry.name);
    return reply;
}

} // namespace

ViewerReply failureReply(int status, const std::string &why) {
    return ViewerReply{status, why + "\n", "text/plain; charset=utf-8", ""};
}

ViewerReply answerRequest(ViewerCatalog &catalog, const std::string &rest, const ViewerTarget &target) {
    if (rest == "/")
        return send(viewerPage(), "text/html; charset=utf-8");
    if (rest == "/app.css")
        return send(viewerStyle(), "text/css; charset=utf-8");
    if (rest == "/app.js")
        return send(viewerScript(), "text/javascript; charset=utf-8");
    if (rest == "/catalog")
        return send(catalogJson(catalog), "application/json");
    if (rest == "/entries") {
        if (target.count("filter") != 1)
            return failureReply(400, "one filter expected");
        return send(entriesJson(catalog.filter(target.value("filter"))), "application/json");
    }
    // entry/V/P[/part]
    if (rest.compare(0, 7, "/entry/") != 0)
        return failureReply(404, "not found");
    std::string steps = rest.substr(7);
    size_t slash = steps.find('/');
    size_t next = slash == std::string::npos ? std::string::npos : steps.find('/', slash + 1);
    int32_t volume = numberOf(steps.substr(0, slash));
    int32_t position = slash == std::string::npos ? -1 : numberOf(steps.substr(slash + 1, next - slash - 1));
    if (volume < 0 || position < 0)
        return failureReply(400, "an entry is named by two numbers");
    const CatalogEntry *entry = catalog.find(volume, position);
    if (!entry)
        return failureReply(404, "no such entry");
    return answerEntry(catalog, *entry, next == std::string::npos ? "" : steps.substr(next + 1), target);
}

} // namespace tool

} // namespace qarvex
