// CaseClashes: the files one extraction has written, so that an entry whose name differs from an
// earlier one's only in letter case is caught where the file system ignores case (Windows, a FAT
// card), instead of silently replacing the earlier file.
#pragma once

#include "tool/EntryPath.h"

#include <map>
#include <string>
#include <utility>

namespace qarvex {

namespace tool {

class CaseClashes {
public:
    // Records that path was written and is the file the system identifies as identity.
    void written(const EntryPath &path, const std::string &identity);
    // The earlier path, shown with '\' between folders, that writing path would replace: one that
    // differs from it only in letter case and is the very file (identity) the system finds under
    // path now. Null when there is none.
    const std::string *replaced(const EntryPath &path, const std::string &identity) const;

private:
    // Keyed by the path in upper case: the earlier path as written, and its file's identity.
    std::map<std::string, std::pair<std::string, std::string>> files;
};

} // namespace tool

} // namespace qarvex
