// EntryPath: where an entry goes when it is extracted. Entry names separate folders with
// backslashes; a name is taken apart into folders and a file name that stay inside the target
// folder, or refused.
#pragma once

#include <string>
#include <vector>

namespace qarvex {

namespace tool {

struct EntryPath {
    std::vector<std::string> folders; // from the target folder down
    std::string file;
};

// Takes name apart; null on success, otherwise why it is refused (nothing may be written for it).
// Both '\' and '/' separate; empty and "." components are dropped.
const char *splitEntryName(const char *name, EntryPath &path);

// The key that tells entry names apart as the volume's name index does: letters a to z in upper
// case.
std::string nameKey(const std::string &name);

} // namespace tool

} // namespace qarvex
