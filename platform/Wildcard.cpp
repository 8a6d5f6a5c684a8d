// Windows-style name matching and case-insensitive name order, the pure part of the platform
// layer that every system's implementation shares.
#include <qarvex/platform/Wildcard.h>

#include <qarvex/platform/Platform.h>

#include <algorithm>
#include <cctype>

namespace qarvex {

namespace platform {

namespace {

int upper(char c) {
    return std::toupper(static_cast<unsigned char>(c));
}

} // namespace

bool namesMatch(const char *pattern, const char *name) {
    const char *starPattern = nullptr; // just after the last '*' seen
    const char *starName = nullptr;    // where that '*' is trying to end its run
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern && upper(*pattern) == upper(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

int compareNamesIgnoringCase(const std::string &a, const std::string &b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = upper(a[i]);
        int cb = upper(b[i]);
        if (ca != cb)
            return ca - cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b); // a fixed order for names that differ only in case
}

void sortNamesIgnoringCase(std::vector<std::string> &names) {
    std::sort(names.begin(), names.end(),
              [](const std::string &a, const std::string &b) { return compareNamesIgnoringCase(a, b) < 0; });
}

} // namespace platform

} // namespace qarvex
