// EntryPath: entry names taken apart into folders and a file name, refusing any that could lead
// outside the target folder.
#include "tool/EntryPath.h"

#include <cctype>
#include <string_view>

namespace qarvex {

namespace tool {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace

const char *splitEntryName(const char *name, EntryPath &path) {
    path.folders.clear();
    path.file.clear();
    std::string_view rest(name);
    if (!rest.empty() && isSeparator(rest.front()))
        return "absolute name"; // also "\\server\share"
    if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':')
        return "drive letter";
    std::vector<std::string> parts;
    std::string_view last; // the name's last component as written
    while (!rest.empty()) {
        size_t cut = 0;
        while (cut < rest.size() && !isSeparator(rest[cut]))
            ++cut;
        std::string_view part = rest.substr(0, cut);
        last = cut < rest.size() ? std::string_view() : part;
        rest = cut < rest.size() ? rest.substr(cut + 1) : std::string_view();
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return "'..' in the name";
        // A colon is never part of a file name where volumes are made; elsewhere it would name a
        // drive or a stream of another file.
        if (part.find(':') != std::string_view::npos)
            return "':' in the name";
        parts.emplace_back(part);
    }
    // "a\" and "a\." name a folder, not a file.
    if (last.empty() || last == ".")
        return "no file name";
    path.file = std::move(parts.back());
    parts.pop_back();
    path.folders = std::move(parts);
    return nullptr;
}

std::string nameKey(const std::string &name) {
    std::string key = name;
    for (char &c : key)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return key;
}

} // namespace tool

} // namespace qarvex
