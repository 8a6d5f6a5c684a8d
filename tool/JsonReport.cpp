// JsonReport: building the --json document and writing it out as its volumes and entries finish.
#include "tool/JsonReport.h"

#include "tool/NameText.h"
#include "tool/VolumeWalk.h"

namespace qarvex {

namespace tool {

namespace {

// Written text is passed on in pieces of about this size.
constexpr size_t WriteChunk = 1 << 16;

// The compact text of a value. Every string in the document is valid UTF-8 (names and paths are
// decoded into it), so the replacing handler never acts; it only keeps dump from ever throwing.
std::string textOf(const Json &value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The text of an object whose last field is an empty array, without the closing "]}": the
// beginning of the object, to which the array's items and the rest are written as they come.
std::string openingOf(const Json &object) {
    std::string text = textOf(object);
    return text.substr(0, text.size() - 2);
}

} // namespace

JsonReport::JsonReport(const char *command, std::FILE *out) : out(out) {
    root["schema"] = SchemaVersion;
    root["command"] = command;
    root["volumes"] = Json::array();
}

JsonReport::~JsonReport() = default;

Json &JsonReport::addVolume(const std::string &path) {
    endVolume();
    volumeOpen = true;
    Json opening = {{"path", pathText(path)}, {"entries", Json::array()}};
    if (!out) {
        volume = std::move(opening);
        return volume;
    }
    startVolumes();
    if (anyVolume)
        write(",");
    write(openingOf(opening).c_str());
    anyVolume = true;
    anyEntry = false;
    volume = Json::object();
    return volume;
}

Json &JsonReport::addEntry(VolumeRStream &volume, int32_t position) {
    const VolumeItem &item = volume.entry(position);
    return addEntry(item.id, item.name ? item.name : "", item.size, volume.storedLength(item),
                    item.compression);
}

Json &JsonReport::addEntry(uint32_t id, const std::string &name, int64_t size, int64_t storedSize,
                           uint8_t method) {
    if (!volumeOpen)
        addVolume("");
    endEntry();
    entryOpen = true;
    // Emptied rather than made anew: the object keeps its room for the fields from one entry to
    // the next.
    if (entry.is_object())
        entry.clear();
    else
        entry = Json::object();
    entry["id"] = id != 0 ? Json(id) : Json(nullptr);
    entry["name"] = nameToText(name);
    entry["size"] = size;
    entry["stored_size"] = storedSize >= 0 ? Json(storedSize) : Json(nullptr);
    entry["method"] = methodName(method);
    return entry;
}

void JsonReport::endEntry() {
    if (!entryOpen)
        return;
    entryOpen = false;
    if (!out) {
        volume["entries"].push_back(std::move(entry));
        return;
    }
    if (anyEntry)
        write(",");
    write(entry);
    anyEntry = true;
}

void JsonReport::endVolume() {
    endEntry();
    if (!volumeOpen)
        return;
    volumeOpen = false;
    if (!out) {
        root["volumes"].push_back(std::move(volume));
        return;
    }
    write("]");
    for (const auto &[key, value] : volume.items()) {
        write(",");
        write(Json(key));
        write(":");
        write(value);
    }
    write("}");
}

void JsonReport::startVolumes() {
    if (headWritten)
        return;
    headWritten = true;
    // Nothing follows "volumes" yet: the fields set after it are written at the end.
    Json head = {{"schema", root["schema"]}, {"command", root["command"]}, {"volumes", Json::array()}};
    write(openingOf(head).c_str());
}

void JsonReport::finish() {
    endVolume();
    if (!out)
        return;
    startVolumes();
    write("]");
    bool afterVolumes = false;
    for (const auto &[key, value] : root.items()) {
        if (afterVolumes) {
            write(",");
            write(Json(key));
            write(":");
            write(value);
        }
        afterVolumes = afterVolumes || key == "volumes";
    }
    write("}\n");
    flushText();
}

void JsonReport::write(const Json &value) {
    text += textOf(value);
    if (text.size() >= WriteChunk)
        flushText();
}

void JsonReport::write(const char *piece) {
    text += piece;
}

void JsonReport::flushText() {
    std::fwrite(text.data(), 1, text.size(), out);
    text.clear();
}

std::string pathText(const std::string &path) {
    return isUtf8(path) ? path : nameToText(path);
}

} // namespace tool

} // namespace qarvex
