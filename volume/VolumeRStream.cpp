// VolumeRStream: opening entries by record, name or id, and reading them through the volume.
#include <qarvex/volume/VolumeRStream.h>

#include <qarvex/platform/Platform.h>
#include <qarvex/volume/EntryReader.h>
#include <qarvex/volume/VolumeNames.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace qarvex {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// A path as this system writes it: names in volumes separate directories with backslashes.
std::string systemPath(std::string_view text) {
    std::string path(text);
    for (char &c : path)
        if (isSeparator(c))
            c = platform::PathSeparator;
    return path;
}

// directory and name with one separator between them; an empty directory is the current one.
std::string joined(const std::string &directory, std::string_view name) {
    std::string path = directory;
    bool separated = path.empty() || isSeparator(path.back());
#ifdef _WIN32
    separated = separated || path.back() == ':'; // "C:name" is relative to drive C's directory
#endif
    if (!separated)
        path += platform::PathSeparator;
    path += name;
    return path;
}

// The length of the root that makes name absolute (a leading separator; on Windows also a drive,
// "C:", or a network share, "\\server\share\"), or 0 for a relative name.
size_t rootLength(const char *name) {
#ifdef _WIN32
    if (std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return isSeparator(name[2]) ? 3 : 2;
    if (isSeparator(name[0]) && isSeparator(name[1])) {
        size_t at = 2;
        for (int part = 0; part < 2; ++part) {
            while (name[at] && !isSeparator(name[at]))
                ++at;
            if (name[at])
                ++at;
        }
        return at;
    }
#endif
    return isSeparator(name[0]) ? 1 : 0;
}

// Where a probe of name from the directory base (empty: the current directory) searches: the
// directory, and the last component of name as the pattern. An absolute name ignores base. The
// components in between are found without regard to letter case, as on the system the names come
// from; "." is skipped and ".." takes back the component before it (or climbs above base), the way
// that system reduces a path before looking at the disk. Wildcards work in the last component only.
bool locate(const std::string &base, const char *name, std::string &directory, std::string &pattern) {
    size_t root = rootLength(name);
    std::string_view rest(name + root);
    size_t lastSeparator = rest.find_last_of("\\/");
    std::string_view last = lastSeparator == std::string_view::npos ? rest : rest.substr(lastSeparator + 1);
    if (last.empty())
        return false; // a name that ends in a separator names a directory
    std::string_view inner =
        lastSeparator == std::string_view::npos ? std::string_view() : rest.substr(0, lastSeparator);

    std::vector<std::string_view> parts;
    int climbs = 0;
    while (!inner.empty()) {
        size_t cut = inner.find_first_of("\\/");
        std::string_view part = inner.substr(0, cut);
        inner = cut == std::string_view::npos ? std::string_view() : inner.substr(cut + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            else if (root == 0)
                ++climbs; // above a root there is only the root
            continue;
        }
        if (part.find_first_of("*?") != std::string_view::npos)
            return false;
        parts.push_back(part);
    }

    directory = root ? systemPath(std::string_view(name, root)) : base;
    for (int i = 0; i < climbs; ++i)
        directory = joined(directory, "..");
    for (std::string_view part : parts) {
        platform::FoundFile found;
        if (!platform::findFirst(directory, std::string(part).c_str(), found) || !found.isDirectory)
            return false;
        directory = joined(directory, found.name);
    }
    pattern = std::string(last);
    return true;
}

} // namespace

VolumeRStream::VolumeRStream() {
    writable = 0;
}

VolumeRStream::~VolumeRStream() {
    closeVolume();
}

int32_t VolumeRStream::getPosition() {
    return current ? current->getPosition() : 0;
}

bool VolumeRStream::setPosition(int32_t position) {
    return current ? current->setPosition(position) : false;
}

int32_t VolumeRStream::query(int32_t code) {
    return current ? current->query(code) : 0;
}

bool VolumeRStream::write(int32_t, const void *) {
    return false;
}

bool VolumeRStream::read(int32_t count, void *buffer) {
    // Callers take counts from entry sizes, which come from the file and may be negative; the
    // streams below take a negative count for a programming error.
    if (count < 0)
        return false;
    return current ? current->read(count, buffer) : false;
}

void VolumeRStream::close() {
    entrySize = 0;
    if (current)
        current->close();
}

bool VolumeRStream::openItem(const VolumeItem *item) {
    close();
    if (!item)
        return false;
    const EntryMethod *method = VolumeStream::method(*item);
    if (!method)
        return false; // no other code is defined
    // Checked before memStream is re-attached, so that a refused entry leaves nothing readable.
    uint8_t *stored = nullptr;
    int32_t length = 0;
    if (!storedBytes(*item, stored, length))
        return false; // the data block is not wholly inside the file
    StreamIO *stream = EntryReader::attach(*method, {stored, size_t(length)}, memStream,
                                           method->makeDecoder ? decoderFor(*method) : nullptr);
    if (!stream)
        return false; // its decoder could not be made: memory ran out
    current = stream;
    entrySize = item->size;
    return current->getStatus() == Ok;
}

bool VolumeRStream::openEntry(const char *name, bool preferFiles) {
    if (preferFiles)
        return openFromDirectories(name) || openItem(findByName(name));
    return openItem(findByName(name)) || openFromDirectories(name);
}

bool VolumeRStream::openEntryById(uint32_t id) {
    char fileName[12];
    return openFromDirectories(idFileName(id, fileName)) || openItem(findById(id));
}

StreamIO *VolumeRStream::openEntryStream(const char *name, bool preferFiles) {
    return openEntry(name, preferFiles) ? current : nullptr;
}

StreamIO *VolumeRStream::openEntryStreamById(uint32_t id) {
    return openEntryById(id) ? current : nullptr;
}

int32_t VolumeRStream::entrySizeByName(const char *name) {
    int32_t size = sizeInDirectories(name);
    if (size >= 0)
        return size;
    return VolumeStream::entrySizeByName(name);
}

int32_t VolumeRStream::entrySizeById(uint32_t id) {
    char fileName[12];
    int32_t size = sizeInDirectories(idFileName(id, fileName));
    if (size >= 0)
        return size;
    return VolumeStream::entrySizeById(id);
}

char *VolumeRStream::idFileName(uint32_t id, char *buffer) {
    std::snprintf(buffer, 11, "%08X.*", unsigned(id));
    return buffer;
}

bool VolumeRStream::addSearchPath(const char *extension, const char *directories) {
    if (!directories)
        return false;
    if (extension && *extension == '.')
        ++extension;
    // The record moves into the table without allocating, so running out of memory leaves the
    // table as it was.
    try {
        SearchPathA record{extension ? std::optional<std::string>(extension) : std::nullopt, directories};
        searchPaths.push_back(std::move(record));
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

const char *VolumeRStream::directoriesFor(const char *name) const {
    const char *dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot || dot[1] == '\0')
        return nullptr;
    for (const SearchPathA &record : searchPaths)
        if (!record.extension || volume::compareNames(record.extension->c_str(), dot + 1) == 0)
            return record.directories.c_str();
    return nullptr;
}

bool VolumeRStream::findInDirectories(const char *name, std::string &path, int64_t &size) const {
    const char *list = directoriesFor(name);
    if (!list)
        return false;
    for (const char *element = list;;) {
        const char *end = std::strchr(element, ';');
        if (!end)
            end = element + std::strlen(element);
        std::string base = systemPath(std::string_view(element, size_t(end - element)));
        // A directory that cannot be entered is not reported: the probe looks in the current
        // directory instead.
        if (!base.empty() && !platform::canEnterDirectory(base.c_str()))
            base.clear();
        std::string directory;
        std::string pattern;
        platform::FoundFile found;
        // Only the first object the search reports counts; a directory of that name is passed over.
        if (locate(base, name, directory, pattern) &&
            platform::findFirst(directory, pattern.c_str(), found) && !found.isDirectory) {
            path = joined(directory, found.name);
            size = found.size;
            return true;
        }
        if (*end == '\0')
            return false;
        element = end + 1;
    }
}

bool VolumeRStream::openFromDirectories(const char *name) {
    std::string path;
    int64_t size = 0;
    if (!findInDirectories(name, path, size))
        return false;
    // The previous entry ends here, so that no decompressing stream stays attached behind the file.
    close();
    current = &fileStream;
    if (!fileStream.open(path.c_str()))
        return false; // fileStream reports AccessError; the caller may still try the volume
    entrySize = int32_t(uint32_t(uint64_t(size)));
    return fileStream.getStatus() == Ok;
}

int32_t VolumeRStream::sizeInDirectories(const char *name) const {
    std::string path;
    int64_t size = 0;
    if (!findInDirectories(name, path, size))
        return -1;
    return int32_t(uint32_t(uint64_t(size)));
}

} // namespace qarvex
