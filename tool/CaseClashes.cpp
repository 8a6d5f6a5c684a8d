// CaseClashes: earlier files found again under names that differ only in letter case.
#include "tool/CaseClashes.h"

namespace qarvex {

namespace tool {

namespace {

std::string shown(const EntryPath &path) {
    std::string text;
    for (const std::string &folder : path.folders)
        text += folder + '\\';
    return text + path.file;
}

} // namespace

void CaseClashes::written(const EntryPath &path, const std::string &identity) {
    std::string name = shown(path);
    files[nameKey(name)] = {name, identity};
}

const std::string *CaseClashes::replaced(const EntryPath &path, const std::string &identity) const {
    std::string name = shown(path);
    auto found = files.find(nameKey(name));
    // The same name again is a duplicate entry, which -f decides about; another file under a
    // name of the same letters is a file system that tells case apart.
    if (found == files.end() || found->second.first == name || found->second.second != identity)
        return nullptr;
    return &found->second.first;
}

} // namespace tool

} // namespace qarvex
