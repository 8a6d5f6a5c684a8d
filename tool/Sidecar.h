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

// The graphics file that the sidecar at path stands for, rebuilt from the pictures beside it;
// edited tells whether any picture differs from what was written. False with the reason in error.
bool rebuildFromSidecar(const std::string &path, const png::ImportSettings &settings,
                        std::vector<uint8_t> &out, bool &edited, std::string &error);

} // namespace tool

} // namespace qarvex
