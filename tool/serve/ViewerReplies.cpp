// ViewerReplies: the page's JSON documents and the text and hexadecimal views.
#include "tool/serve/ViewerReplies.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace qarvex {

namespace tool {

namespace {

using Json = nlohmann::json;

// Names are bytes from the volume: what is not UTF-8 shows as replacement characters.
std::string text(const Json &json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const char *kindName(png::GraphicsKind kind) {
    switch (kind) {
    case png::GraphicsKind::Bitmap:
        return "bitmap";
    case png::GraphicsKind::BitmapArray:
        return "array";
    case png::GraphicsKind::Font:
        return "font";
    case png::GraphicsKind::Palette:
        return "palette";
    case png::GraphicsKind::None:
        break;
    }
    return "data";
}

bool endsWith(const std::string &text, const char *ending) {
    size_t length = std::char_traits<char>::length(ending);
    return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

// The page's words for one picture file of a conversion.
std::string labelOf(png::GraphicsKind kind, const std::string &suffix) {
    if (kind == png::GraphicsKind::BitmapArray)
        return "frame " + suffix.substr(1, suffix.size() - 5);
    if (kind == png::GraphicsKind::Font)
        return suffix == ".png" ? "glyph sheet" : "sample text";
    if (kind == png::GraphicsKind::Palette)
        return "swatches";
    return "picture";
}

} // namespace

std::string catalogJson(const ViewerCatalog &catalog) {
    Json palettes = Json::array();
    for (const PaletteChoice &choice : catalog.palettes())
        palettes.push_back(choice.label);
    return text({{"volumes", catalog.volumeNames()}, {"palettes", palettes}, {"sample", DefaultSampleText}});
}

std::string entriesJson(const std::vector<const CatalogEntry *> &entries) {
    Json rows = Json::array();
    for (const CatalogEntry *entry : entries) {
        char id[9] = "";
        if (entry->id != 0)
            std::snprintf(id, sizeof id, "%08X", unsigned(entry->id));
        rows.push_back({{"volume", entry->volume},
                        {"position", entry->position},
                        {"id", id},
                        {"name", entry->name},
                        {"size", entry->size},
                        {"stored", entry->stored},
                        {"method", entry->method}});
    }
    return text(rows);
}

std::string entryJson(ViewerCatalog &catalog, const CatalogEntry &entry) {
    Json reply = {{"name", entry.name}, {"size", entry.size}, {"kind", kindName(entry.kind)}};
    bool shown = false;
    if (entry.kind != png::GraphicsKind::None) {
        png::Settings settings;
        settings.sampleText = DefaultSampleText;
        png::Conversion conversion = catalog.pictures(entry, settings, nullptr);
        Json pictures = Json::array();
        // A bitmap array is shown first as one contact sheet, then frame by frame.
        if (entry.kind == png::GraphicsKind::BitmapArray && conversion.ok())
            pictures.push_back({{"suffix", ".png"}, {"label", "contact sheet"}, {"sheet", true}});
        for (const png::OutputFile &file : conversion.files) {
            if (endsWith(file.suffix, ".png"))
                pictures.push_back({{"suffix", file.suffix}, {"label", labelOf(entry.kind, file.suffix)}});
            else
                reply["metrics"] = std::string(file.bytes.begin(), file.bytes.end());
        }
        reply["pictures"] = pictures;
        reply["indexed"] = conversion.indexed;
        reply["warnings"] = conversion.warnings;
        if (!conversion.ok())
            reply["error"] = "no picture: " + conversion.error;
        shown = conversion.ok();
    }
    if (!shown) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!catalog.read(entry, TextViewBytes, bytes, error))
            reply["error"] = error;
        else if (entry.kind == png::GraphicsKind::None && looksLikeText(bytes.data(), bytes.size()))
            reply["text"] = std::string(bytes.begin(), bytes.end());
        else
            reply["hex"] = hexView(bytes.data(), std::min(bytes.size(), size_t(HexViewBytes)));
        reply["kind"] = reply.contains("text") ? "text" : reply["kind"];
    }
    return text(reply);
}

bool looksLikeText(const uint8_t *bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if ((bytes[i] < 0x20 && bytes[i] != '\t' && bytes[i] != '\n' && bytes[i] != '\r' &&
             bytes[i] != '\f') ||
            bytes[i] == 0x7F)
            return false;
    return true;
}

std::string hexView(const uint8_t *bytes, size_t size) {
    std::string view;
    char piece[24];
    for (size_t line = 0; line < size; line += 16) {
        std::snprintf(piece, sizeof piece, "%08zX ", line);
        view += piece;
        for (size_t i = line; i < line + 16; ++i) {
            if (i < size)
                std::snprintf(piece, sizeof piece, " %02X", bytes[i]);
            view += i < size ? piece : "   ";
        }
        view += "  ";
        for (size_t i = line; i < line + 16 && i < size; ++i)
            view += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
        view += '\n';
    }
    return view;
}

} // namespace tool

} // namespace qarvex
