// SourceList: walking file and folder arguments, and reading the files.
#include "tool/SourceList.h"

#include <qarvex/platform/Platform.h>

namespace qarvex {

namespace tool {

void SourceList::addArgument(const char *argument) {
    if (platform::canEnterDirectory(argument)) {
        addFolder(argument, "");
        return;
    }
    std::string fileName = argument + platform::directoryPartLength(argument);
    if (fileName.empty() || fileName == "." || fileName == "..")
        return refuse(argument, "names no file");
    add(argument, fileName, fileName);
}

void SourceList::refuse(const std::string &path, const char *why) {
    console.diagnostic("%s: %s", path.c_str(), why);
    allWell = false;
}

void SourceList::add(const std::string &path, const std::string &name, const std::string &fileName,
                     int64_t size, int64_t modified) {
    // A backslash inside a name would read back as a folder separator.
    if (fileName.find('\\') != std::string::npos)
        return refuse(path, "refused: the name holds a backslash");
    sources.push_back({path, name, fileName, size, modified});
}

void SourceList::addFolder(const std::string &folder, const std::string &prefix) {
    std::vector<platform::FoundFile> found;
    if (!platform::listFolder(folder, found)) {
        console.diagnostic("%s: cannot read the folder: %s", folder.c_str(),
                           systemReason(platform::lastError()));
        allWell = false;
        return;
    }
    bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == platform::PathSeparator);
    for (const platform::FoundFile &object : found) {
        std::string path = separated ? folder + object.name : folder + platform::PathSeparator + object.name;
        std::string name = prefix.empty() ? object.name : prefix + '\\' + object.name;
        if (!object.isDirectory)
            add(path, name, object.name, object.size, object.modified);
        else if (object.name.find('\\') != std::string::npos)
            refuse(path, "refused: the name holds a backslash");
        else
            addFolder(path, name);
    }
}

bool readSourceFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &why) {
    platform::FileHandle file = platform::openFile(path.c_str(), platform::OpenMode::ReadShared);
    if (file == platform::InvalidFile) {
        why = std::string("cannot read: ") + systemReason(platform::lastError());
        return false;
    }
    bytes.clear();
    bool ok = true;
    for (;;) {
        // An entry's size is a signed 32-bit number: one byte more than that is already too many.
        if (bytes.size() > size_t(INT32_MAX)) {
            why = "too large for an entry";
            ok = false;
            break;
        }
        size_t at = bytes.size();
        bytes.resize(at + 256 * 1024);
        int32_t got = 0;
        if (!platform::readFile(file, bytes.data() + at, 256 * 1024, got)) {
            why = std::string("cannot read: ") + systemReason(platform::lastError());
            ok = false;
            got = 0;
        }
        bytes.resize(at + size_t(got));
        if (!ok || got == 0)
            break;
    }
    platform::closeFile(file);
    return ok;
}

} // namespace tool

} // namespace qarvex
