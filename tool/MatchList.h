// MatchList: the entries of one volume whose names match a wildcard expression, kept as pointers
// into the volume's string block, up to a fixed limit.
#pragma once

#include <qarvex/core/Vector.h>

#include <cstdint>
#include <vector>

namespace qarvex {

class VolumeStream;

class MatchList {
public:
    MatchList(const char *expression, int32_t limit);
    ~MatchList();
    MatchList(const MatchList &) = delete;
    MatchList &operator=(const MatchList &) = delete;

    // Keeps an upper-cased copy of text (C locale: only a to z change).
    void setPattern(const char *text);
    // False at once when the list is full; otherwise matches the name and appends it on a match.
    // A name inside a volume's string block comes with the block's end (readable up to there),
    // which lets its length be found many bytes at a time.
    bool addIfMatch(const char *name, bool exactCase) { return addIfMatch(name, nullptr, exactCase); }
    bool addIfMatch(const char *name, const char *blockEnd, bool exactCase);
    // Offers every named entry of the volume in table order; true when the list is full afterwards.
    bool addVolume(const VolumeStream &volume, bool exactCase);
    // '*' and '?' wildcards; both strings are taken as they are (callers upper-case them). The
    // cost is at most the name's length times the expression's.
    static bool wildcardMatch(const char *pattern, const char *name, bool exactCase);

    void clear() { matches.setCount(0); }
    int32_t count() const { return matches.size(); }
    const char *at(int32_t index) const { return matches[index]; }
    bool full() const { return matches.size() >= limit; }
    const char *getPattern() const { return pattern; }
    int32_t getLimit() const { return limit; }
    int32_t capacity() const { return matches.getCapacity(); }

private:
    // True for a star followed by plain characters only ("*.ext"), the commonest expression: a
    // name matches it exactly when it ends in those characters, which is checked without the
    // general matcher (same result, far less work per name).
    bool isStarThenSuffix() const { return suffixLength >= 0; }
    bool endsWithSuffix(const char *name, const char *blockEnd) const;

    char *pattern = nullptr;
    int32_t suffixLength = -1;    // characters after the star, or -1 for any other expression
    size_t prefixLength = 0;      // characters before the first star
    uint8_t firstCharacter = 0;   // the plain character every match starts with, or 0
    size_t endingLength = 0;      // characters after the last star
    std::vector<uint8_t> columns; // the general matcher's two columns, made once per expression
    int32_t limit;
    Vector<const char *> matches{5};
};

} // namespace qarvex
