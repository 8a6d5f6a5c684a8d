// TemporaryFile: random hidden names, created with the platform's exclusive create.
#include <qarvex/platform/TemporaryFile.h>

#include <cstdio>
#include <random>

namespace qarvex {

namespace platform {

FileHandle createTemporaryIn(FolderHandle folder, std::string &name) {
    thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char text[32];
        std::snprintf(text, sizeof text, ".qarvex-%08x.part", unsigned(random()));
        name = text;
        FileHandle file = createFileIn(folder, name.c_str());
        if (file != InvalidFile || lastError() != error::AlreadyExists)
            return file;
    }
    return InvalidFile;
}

} // namespace platform

} // namespace qarvex
