// JsonReport: the one JSON document that --json prints on standard output instead of a command's
// text. Commands record what they did in it as they go (volumes, entries with their outcome, a
// summary); diagnostics stay on standard error. The layout is described by tool/qarvex.schema.json,
// whose version is SchemaVersion.
//
// The volumes and their entries are written out as they are finished, so a listing of a huge
// volume never holds more than one entry in memory: only the current volume's and entry's objects
// are kept, and the top-level fields after "volumes" (files, summary), which are written at the
// end. A report without an output keeps the whole document instead, for a caller that reads it.
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

    // command names the command in the document ("search", "list", "extract", ...); the document
    // goes to out, or is kept (document()) when out is null.
    JsonReport(const char *command, std::FILE *out);
    ~JsonReport();
    JsonReport(const JsonReport &) = delete;
    JsonReport &operator=(const JsonReport &) = delete;

    // A new object at the end of "volumes" for the file at path, holding its path and "entries";
    // the entries added next go into it. The reference is to the fields that follow the entries
    // ("error", "bytes", ...) and holds until the next volume is added.
    Json &addVolume(const std::string &path);
    // A new object in the last volume's "entries" with what every entry shows: id (null for none),
    // name as text, size, stored size (null when the data is not all in the file) and method. The
    // reference holds until the next entry or volume is added.
    Json &addEntry(VolumeRStream &volume, int32_t position);
    // The same fields from their values.
    Json &addEntry(uint32_t id, const std::string &name, int64_t size, int64_t storedSize, uint8_t method);
    // The fields of the volume added last that follow its entries.
    Json &lastVolume() { return volume; }
    // The top-level fields: those set here after "volumes" ("files", "summary") come after it. A
    // kept document holds the volumes too.
    Json &document() { return root; }
    // The document's "summary" object.
    Json &summary() { return root["summary"]; }

    // Ends the document: writes what is still open, the fields after "volumes" and a newline.
    void finish();

private:
    void startVolumes();
    void endEntry();
    void endVolume();
    void write(const Json &value);
    void write(const char *text);
    void flushText();

    std::FILE *out;
    Json root;
    Json volume; // kept: the whole volume; written as it goes: the fields after its entries
    Json entry;  // the entry added last, until it is finished
    bool volumeOpen = false;
    bool entryOpen = false;
    bool headWritten = false; // "{...,"volumes":[" is out
    bool anyVolume = false;   // a volume was written: the next needs a comma
    bool anyEntry = false;    // an entry of the open volume was written
    std::string text;         // written text not yet passed on to out
};

// A path of the file system as JSON text: as UTF-8 where it is, otherwise Windows-1252 like names.
std::string pathText(const std::string &path);

} // namespace tool

} // namespace qarvex
