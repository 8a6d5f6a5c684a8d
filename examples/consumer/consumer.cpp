// The consumer example: a program outside the project, built against the installed library. It
// searches the demo volume, reads its LZH-coded change log and loads the example font through the
// resource kinds. Usage: consumer <examples folder>
#include <qarvex/qarvex.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using qarvex::ResourceType;
using qarvex::VolumeRStream;

int fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "consumer: %s: %s\n", detail.c_str(), what);
    return 1;
}

// The kind registered for the name's extension, or null.
ResourceType *kindFor(const char *name) {
    uint32_t key = qarvex::extensionCode(name);
    for (ResourceType *kind = ResourceType::registryHead(); kind; kind = kind->next)
        if (kind->key == key)
            return kind;
    return nullptr;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer <examples folder>\n");
        return 2;
    }
    std::string folder = std::string(argv[1]) + "/";

    // Search: the entries of the demo volume whose names match "*.txt", letter case ignored.
    std::string demoPath = folder + "demo.vol";
    VolumeRStream demo;
    if (!demo.open(demoPath.c_str()))
        return fail("not a readable volume", demoPath);
    std::printf("%s\n", demoPath.c_str());
    for (int32_t index = 0; index < demo.entryCount(); ++index) {
        const char *name = demo.entryName(index);
        if (name && qarvex::platform::namesMatch("*.txt", name))
            std::printf("  %s\n", name);
    }

    // An LZH entry, decoded through the entry stream.
    const char *logName = "changes.log";
    const qarvex::VolumeItem *log = demo.findByName(logName);
    if (!log || log->compression != VolumeRStream::LZH)
        return fail("no LZH entry of that name", logName);
    qarvex::StreamIO *entry = demo.openEntryStream(logName, false);
    std::vector<char> text(size_t(log->size));
    if (!entry || !entry->read(log->size, text.data()))
        return fail("does not decode", logName);
    std::printf("%s: %d bytes decoded, first line: %.*s", logName, int(text.size()),
                int(std::string(text.begin(), text.end()).find('\n') + 1), text.data());

    // A font, loaded by the resource kind registered for ".pft".
    std::string graphicsPath = folder + "graphics.vol";
    VolumeRStream graphics;
    if (!graphics.open(graphicsPath.c_str()))
        return fail("not a readable volume", graphicsPath);
    const char *fontName = "small.pft";
    ResourceType *kind = kindFor(fontName);
    qarvex::StreamIO *fontStream = graphics.openEntryStream(fontName, false);
    if (!kind || !fontStream)
        return fail("no font kind or no such entry", fontName);
    auto *font = static_cast<qarvex::GFXFont *>(kind->load(fontStream, graphics.entrySizeByName(fontName)));
    if (!font)
        return fail("does not load as a font", fontName);
    std::printf("%s: %d glyphs from code %d, cells of %d x %d, \"QARVEX\" is %d pixels wide\n", fontName,
                int(font->glyphCount), int(font->firstChar), int(font->cellWidth), int(font->cellHeight),
                int(font->textWidth("QARVEX")));
    kind->unload(font);
    return 0;
}
