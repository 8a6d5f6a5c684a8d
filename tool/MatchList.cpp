// MatchList: the wildcard matcher and the walk over a volume's entry table.
#include "tool/MatchList.h"

#include <qarvex/volume/VolumeNames.h>
#include <qarvex/volume/VolumeStream.h>

#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qarvex {

namespace {

// The length of a name that lies in memory readable up to blockEnd (null: unknown). Searching a
// large volume, finding the ends of its names is most of the work; volume names are short, so 16
// bytes at a time usually find it at once, without a call.
size_t lengthInBlock(const char *name, const char *blockEnd) {
#if defined(__SSE2__)
    if (blockEnd) {
        const char *p = name;
        for (; blockEnd - p >= 16; p += 16) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            auto zeros = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
            if (zeros)
                return size_t(p - name) + size_t(std::countr_zero(zeros));
        }
        return size_t(p - name) + std::strlen(p);
    }
#else
    (void)blockEnd;
#endif
    return std::strlen(name);
}

// The characters before the expression's first star.
size_t plainPrefixLength(const char *pattern) {
    const char *star = std::strchr(pattern, '*');
    return star ? size_t(star - pattern) : std::strlen(pattern);
}

// The characters after the expression's last star (0 without a star).
size_t lengthAfterLastStar(const char *pattern) {
    const char *star = std::strrchr(pattern, '*');
    return star ? std::strlen(star + 1) : 0;
}

// The rules, read from the expression at pattern position i and the name at position j:
//   - at the end of either, a match exactly when both end together;
//   - '?' takes any one character;
//   - another character takes an equal one (letter case folded with foldCase);
//   - '*' followed by a character c takes a run of the name up to a place where c stands (compared
//     byte for byte, even when c is '?' or '*'), and matching goes on from c at that place; a star
//     at the end takes the whole rest, which must not be empty.
// match(i, j) then depends only on match(i + 1, j + 1), match(i + 2, j + 1), match(i + 1, j) and,
// for a star, match(i, j + 1) (the same run made one character shorter). The name is walked once
// from its end to its start, keeping one column of answers per position, so the cost is at most
// the name's length times the expression's, however many stars there are.
bool matchesFrom(const char *pattern, size_t patternLength, const uint8_t *name, size_t nameLength,
                 bool upperName, bool foldCase, uint8_t *next, uint8_t *current) {
    const size_t last = patternLength;
    // Past the name's end only the expression's end matches.
    std::memset(next, 0, last + 1);
    next[last] = 1;
    for (size_t j = nameLength; j-- > 0;) {
        uint8_t c = upperName ? volume::upper(name[j]) : name[j];
        uint8_t folded = volume::upper(c);
        current[last] = 0;
        for (size_t i = last; i-- > 0;) {
            auto p = uint8_t(pattern[i]);
            if (p == '*') {
                auto literal = uint8_t(pattern[i + 1]);
                if (literal == 0)
                    current[i] = 1;
                else
                    current[i] = next[i] | (c == literal && (literal == '*' ? current[i + 1] : next[i + 2]));
            } else if (p == '?') {
                current[i] = next[i + 1];
            } else {
                bool same = foldCase ? volume::upper(p) == folded : p == c;
                current[i] = same && next[i + 1];
            }
        }
        std::swap(next, current);
    }
    return next[0] != 0;
}

bool sameCharacter(uint8_t p, uint8_t c, bool foldCase) {
    return foldCase ? volume::upper(p) == volume::upper(c) : p == c;
}

// Two necessary conditions come before the general matcher: the expression's start up to its first
// star must match the name's start, and its ending after the last star (the star's literal, then
// plain characters) must match the name's end. Most names fail one of them at the cost of a
// comparison or two; the general matcher then sees only the few that pass.
bool matchesExpression(const char *pattern, size_t prefixLength, size_t ending, const char *text,
                       const char *blockEnd, bool upperName, bool foldCase, uint8_t *columns) {
    const auto *name = reinterpret_cast<const uint8_t *>(text);
    auto read = [upperName](uint8_t c) { return upperName ? volume::upper(c) : c; };
    for (size_t i = 0; i < prefixLength; ++i) {
        if (name[i] == 0)
            return false;
        if (pattern[i] != '?' && !sameCharacter(uint8_t(pattern[i]), read(name[i]), foldCase))
            return false;
    }
    const char *rest = pattern + prefixLength;
    if (*rest == 0)
        return name[prefixLength] == 0;
    size_t length = lengthInBlock(text, blockEnd);
    if (ending > 0) {
        if (length < prefixLength + ending)
            return false;
        const char *expected = pattern + std::strlen(pattern) - ending;
        const uint8_t *last = name + length - ending;
        if (read(last[0]) != uint8_t(expected[0]))
            return false;
        for (size_t i = 1; i < ending; ++i)
            if (expected[i] != '?' && !sameCharacter(uint8_t(expected[i]), read(last[i]), foldCase))
                return false;
    }
    size_t restLength = std::strlen(rest);
    return matchesFrom(rest, restLength, name + prefixLength, length - prefixLength, upperName, foldCase,
                       columns, columns + restLength + 1);
}

} // namespace

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
    prefixLength = plainPrefixLength(pattern);
    endingLength = lengthAfterLastStar(pattern);
    firstCharacter = prefixLength > 0 && pattern[0] != '?' ? uint8_t(pattern[0]) : 0;
    columns.assign(2 * (length + 1), 0);
}

// The general matcher finds "*" followed by plain characters in a name exactly when the name is
// not empty and its upper-cased end is those characters: each place of the first of them is tried,
// and the rest must then equal the name's rest.
bool MatchList::endsWithSuffix(const char *name, const char *blockEnd) const {
    size_t length = lengthInBlock(name, blockEnd);
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

bool MatchList::addIfMatch(const char *name, const char *blockEnd, bool exactCase) {
    (void)exactCase; // pattern and names are compared upper-cased, so case never decides
    if (matches.size() >= limit)
        return false;
    // Most names of a volume differ from an expression's plain start in their first character.
    if (firstCharacter && volume::upper(uint8_t(*name)) != firstCharacter)
        return true;
    bool matched = isStarThenSuffix()
                       ? endsWithSuffix(name, blockEnd)
                       : matchesExpression(pattern, prefixLength, endingLength, name, blockEnd,
                                           /*upperName=*/true, /*foldCase=*/false, columns.data());
    if (matched)
        matches.append(name);
    return true;
}

bool MatchList::addVolume(const VolumeStream &volume, bool exactCase) {
    // The names in table order, read from the records without decoding the whole table.
    const char *blockEnd = volume.getStringBlock() + volume.getStringBlockSize();
    for (int32_t i = 0; i < volume.entryCount(); ++i)
        if (const char *name = volume.entryName(i))
            addIfMatch(name, blockEnd, exactCase);
    return matches.size() >= limit;
}

bool MatchList::wildcardMatch(const char *pattern, const char *name, bool exactCase) {
    size_t length = std::strlen(pattern);
    std::vector<uint8_t> columns(2 * (length + 1));
    return matchesExpression(pattern, plainPrefixLength(pattern), lengthAfterLastStar(pattern), name, nullptr,
                             /*upperName=*/false, !exactCase, columns.data());
}

} // namespace qarvex
