// JsonReport: building and printing the --json document.
#include "tool/JsonReport.h"

#include "tool/NameText.h"
#include "tool/VolumeWalk.h"

namespace qarvex {

namespace tool {

JsonReport::JsonReport(const char *command) {
    root["schema"] = SchemaVersion;
    root["command"] = command;
    root["volumes"] = Json::array();
}

Json &JsonReport::addVolume(const std::string &path, const char *listName) {
    volumes = &root[listName];
    Json &volume = volumes->emplace_back(Json::object());
    volume["path"] = pathText(path);
    volume["entries"] = Json::array();
    return volume;
}

Json &JsonReport::addEntry(VolumeRStream &volume, int32_t position) {
    const VolumeItem &item = volume.entry(position);
    return addEntry(item.id, item.name ? item.name : "", item.size, volume.storedLength(item),
                    item.compression);
}

Json &JsonReport::addEntry(uint32_t id, const std::string &name, int64_t size, int64_t storedSize,
                           uint8_t method) {
    if (!volumes)
        addVolume("");
    Json &entry = volumes->back()["entries"].emplace_back(Json::object());
    entry["id"] = id != 0 ? Json(id) : Json(nullptr);
    entry["name"] = nameToText(name);
    entry["size"] = size;
    entry["stored_size"] = storedSize >= 0 ? Json(storedSize) : Json(nullptr);
    entry["method"] = methodName(method);
    return entry;
}

void JsonReport::print(std::FILE *out) const {
    // Every string in the document is valid UTF-8 (names and paths are decoded into it), so the
    // replacing handler never acts; it only keeps dump from ever throwing.
    std::string text = root.dump(-1, ' ', false, Json::error_handler_t::replace);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), out);
}

std::string pathText(const std::string &path) {
    return isUtf8(path) ? path : nameToText(path);
}

} // namespace tool

} // namespace qarvex
