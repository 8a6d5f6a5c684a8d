// Sidecar: what turns pictures back into the graphics file they show. Beside the pictures of
// "title.pbm" lies "title.pbm.sidecar":
//   qarvex sidecar 1
//   file title.pbm
//   picture .png 0f1e2d3c4b5a6978
//   data 1234
// then the 1234 bytes of the graphics file itself. Each picture line names a file written beside
// it (by its suffix after the file's name) and the 64-bit FNV-1a checksum of its bytes as written;
// the file's own bytes hold everything a picture cannot (format, depth, palettes, detail levels,
// array records, font metrics), so that untouched pictures give it back byte for byte.
#pragma once

#include <qarvex/png/PictureImport.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qarvex {

namespace tool {

struct Sidecar {
    static constexpr const char *Suffix = ".sidecar";

    std::string file;                                       // the graphics file's name
    std::vector<std::pair<std::string, uint64_t>> pictures; // suffix and checksum of each
    std::vector<uint8_t> original;                          // the graphics file's bytes

    std::vector<uint8_t> bytes() const;
    // False with the reason in error when bytes are not a sidecar.
    bool parse(const std::vector<uint8_t> &bytes, std::string &error);
};

// The pictures beside the sidecar at path (named after its graphics file) that differ from what
// was written: a picture taken away is no edit, the graphics file keeps that part.
struct EditedPictures {
    Sidecar sidecar;
    std::map<std::string, std::vector<uint8_t>> pictures; // by suffix
    int64_t newest = 0; // the latest modification time among them (platform::FileFacts units)
};
// False with the reason in error when the sidecar cannot be read or an edited file cannot be
// turned back (only pictures can).
bool findEditedPictures(const std::string &path, EditedPictures &edited, std::string &error);

// The graphics file rebuilt from the sidecar's bytes with the edited pictures in place. False with
// the reason in error.
bool rebuildFromPictures(const EditedPictures &edited, const png::ImportSettings &settings,
                         std::vector<uint8_t> &out, std::string &error);

} // namespace tool

} // namespace qarvex
