// SourceList: the files that become entries, from file and folder arguments: a file is one entry
// under its own name, a folder gives every file below it, named from the folder down with '\\'
// between folders, in name order.
#pragma once

#include "tool/Console.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qarvex {

namespace tool {

// A file to become an entry: where it is and the entry's name.
struct Source {
    std::string path;
    std::string name; // folders joined by '\'
    std::string fileName;
    // Files found in a folder: the size and time of the last change the listing gave (in
    // platform::FileFacts units); size -1 for the others.
    int64_t size = -1;
    int64_t modified = 0;
};

class SourceList {
public:
    explicit SourceList(Console &console) : console(console) {}

    // Adds the sources that argument (a file or a folder) gives.
    void addArgument(const char *argument);
    // Adds every file below folder, named from prefix down ("" at the top).
    void addFolder(const std::string &folder, const std::string &prefix);

    std::vector<Source> sources;
    bool allWell = true;

private:
    void refuse(const std::string &path, const char *why);
    void add(const std::string &path, const std::string &name, const std::string &fileName, int64_t size = -1,
             int64_t modified = 0);

    Console &console;
};

// The whole file at path into bytes; false with the reason in why ("cannot read: ...").
bool readSourceFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &why);

} // namespace tool

} // namespace qarvex
