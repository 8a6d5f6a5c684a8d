// MatchList: the wildcard matcher and the walk over a volume's entry table.
#include "tool/MatchList.h"

#include <qarvex/volume/VolumeNames.h>
#include <qarvex/volume/VolumeStream.h>

#include <cstring>
#include <string>

namespace qarvex {

MatchList::MatchList(const char *expression, int32_t limit) : limit(limit) {
    setPattern(expression);
    // Reserved whole, so that no match ever reallocates during a run.
    matches.reserve(limit);
}

MatchList::~MatchList() {
    delete[] pattern;
    matches.setCount(0);
}

void MatchList::setPattern(const char *text) {
    delete[] pattern;
    size_t length = std::strlen(text);
    pattern = new char[length + 1];
    for (size_t i = 0; i <= length; ++i)
        pattern[i] = char(volume::upper(uint8_t(text[i])));
    suffixLength = pattern[0] == '*' && !std::strpbrk(pattern + 1, "*?") ? int32_t(length - 1) : -1;
}

// The general matcher finds "*" followed by plain characters in a name exactly when the name is
// not empty and its upper-cased end is those characters: each place of the first of them is tried,
// and the rest must then equal the name's rest.
bool MatchList::endsWithSuffix(const char *name) const {
    size_t length = std::strlen(name);
    size_t wanted = size_t(suffixLength);
    if (length == 0 || length < wanted)
        return false;
    const auto *end = reinterpret_cast<const uint8_t *>(name + length - wanted);
    const char *suffix = pattern + 1;
    for (size_t i = 0; i < wanted; ++i)
        if (char(volume::upper(end[i])) != suffix[i])
            return false;
    return true;
}

bool MatchList::addIfMatch(const char *name, bool exactCase) {
    if (matches.size() >= limit)
        return false;
    if (isStarThenSuffix()) {
        if (endsWithSuffix(name))
            matches.append(name);
        return true;
    }
    // Names up to 511 characters are upper-cased on the stack; longer ones on a longer copy, so
    // that they are matched whole.
    char local[512];
    size_t length = strnlen(name, sizeof local);
    bool matched;
    if (length < sizeof local) {
        // A counted loop the compiler can vectorise; the walk over every name is the tool's work.
        const auto *from = reinterpret_cast<const uint8_t *>(name);
        for (size_t i = 0; i <= length; ++i)
            local[i] = char(volume::upper(from[i]));
        matched = wildcardMatch(pattern, local, exactCase);
    } else {
        std::string longer(name);
        for (char &c : longer)
            c = char(volume::upper(uint8_t(c)));
        matched = wildcardMatch(pattern, longer.c_str(), exactCase);
    }
    if (matched)
        matches.append(name);
    return true;
}

bool MatchList::addVolume(const VolumeStream &volume, bool exactCase) {
    // The names in table order, read from the records without decoding the whole table.
    for (int32_t i = 0; i < volume.entryCount(); ++i)
        if (const char *name = volume.entryName(i))
            addIfMatch(name, exactCase);
    return matches.size() >= limit;
}

bool MatchList::wildcardMatch(const char *p, const char *s, bool exactCase) {
    bool result = true;
    while (result && *p && *s) {
        if (*p == '*') {
            // The character after the star is searched for literally, and each of its places in
            // the rest of the name is tried in turn; a star at the end finds the terminator.
            ++p;
            result = false;
            for (const char *at = std::strchr(s, *p); at && !result; at = std::strchr(at + 1, *p)) {
                result = wildcardMatch(p, at, exactCase);
                if (*at == '\0')
                    break;
            }
            return result;
        }
        if (*p != '?') {
            result = exactCase ? *p == *s : volume::upper(uint8_t(*p)) == volume::upper(uint8_t(*s));
        }
        ++p;
        ++s;
    }
    return result && *p == *s;
}

} // namespace qarvex
