// JsonReport: the one JSON document that --json prints on standard output instead of a command's
// text. Commands record what they did in it as they go (volumes, entries with their outcome, a
// summary); diagnostics stay on standard error. The layout is described by tool/qarvex.schema.json,
// whose version is SchemaVersion.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qarvex {

class VolumeRStream;

namespace tool {

using Json = nlohmann::ordered_json;

class JsonReport {
public:
    static constexpr int SchemaVersion = 1;

    // command names the command in the document ("search", "list", "extract", ...).
    explicit JsonReport(const char *command);

    // A new object at the end of "volumes" (or of listName) for the file at path; the entries
    // added next go into it. The reference holds until the next volume is added.
    Json &addVolume(const std::string &path, const char *listName = "volumes");
    // A new object in the last volume's "entries" with what every entry shows: id (null for none),
    // name as text, size, stored size (null when the data is not all in the file) and method.
    Json &addEntry(VolumeRStream &volume, int32_t position);
    // The same fields from their values.
    Json &addEntry(uint32_t id, const std::string &name, int64_t size, int64_t storedSize, uint8_t method);
    // The object of the volume added last.
    Json &lastVolume() { return volumes->back(); }
    // The whole document.
    Json &document() { return root; }
    // The document's "summary" object.
    Json &summary() { return root["summary"]; }

    // Writes the document and a newline to out.
    void print(std::FILE *out) const;

private:
    Json root;
    Json *volumes = nullptr; // the array the last volume went into
};

// A path of the file system as JSON text: as UTF-8 where it is, otherwise Windows-1252 like names.
std::string pathText(const std::string &path);

} // namespace tool

} // namespace qarvex
