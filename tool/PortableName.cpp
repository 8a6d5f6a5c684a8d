// PortableName: Windows' rules for names, checked the same way on every system.
#include "tool/PortableName.h"

#include <array>
#include <cstddef>

namespace qarvex {

namespace tool {

namespace {

bool isReservedCharacter(char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("<>\"|?*").find(c) != std::string_view::npos;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// The length of the part of component that names a device (its text before the first dot, spaces
// at its end included, as Windows reads it), or 0 when it names none.
size_t deviceNameLength(std::string_view component) {
    size_t base = component.find('.');
    if (base == std::string_view::npos)
        base = component.size();
    size_t length = base;
    while (length > 0 && component[length - 1] == ' ')
        --length;
    std::string name;
    for (size_t i = 0; i < length; ++i)
        name += upper(component[i]);
    static const std::array<const char *, 4> devices{"CON", "PRN", "AUX", "NUL"};
    for (const char *device : devices)
        if (name == device)
            return base;
    bool numbered = name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
                    name[3] >= '1' && name[3] <= '9';
    return numbered ? base : 0;
}

} // namespace

const char *windowsNameTrouble(std::string_view component) {
    for (char c : component)
        if (isReservedCharacter(c))
            return "a character Windows does not allow in a name";
    if (!component.empty() && (component.back() == '.' || component.back() == ' '))
        return "a name ending in a dot or a space, which Windows drops";
    if (deviceNameLength(component) > 0)
        return "a device name on Windows";
    return nullptr;
}

std::string portableName(std::string_view component) {
    std::string name(component);
    for (char &c : name)
        if (isReservedCharacter(c))
            c = '_';
    for (size_t i = name.size(); i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i)
        name[i - 1] = '_';
    if (size_t device = deviceNameLength(name))
        name.insert(name.begin() + std::ptrdiff_t(device), '_');
    return name;
}

const char *windowsPathTrouble(const EntryPath &where) {
    const char *trouble = windowsNameTrouble(where.file);
    for (const std::string &folder : where.folders)
        trouble = trouble ? trouble : windowsNameTrouble(folder);
    return trouble;
}

std::string makePortable(EntryPath &where) {
    if (!windowsPathTrouble(where))
        return "";
    std::string renamed;
    for (std::string &folder : where.folders) {
        folder = portableName(folder);
        renamed += folder + '\\';
    }
    where.file = portableName(where.file);
    return renamed + where.file;
}

} // namespace tool

} // namespace qarvex
