// The match list: the wildcard matcher's rules, upper-casing, the limit and long names.
#include "tool/MatchList.h"
#include <qarvex/volume/VolumeNames.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace qarvex {

namespace {

TEST(MatchListTest, WildcardMatcherRules) {
    struct Case {
        const char *pattern;
        const char *name;
        bool matches;
    } cases[] = {
        {"README.TXT", "README.TXT", true},
        {"README.TXT", "README.TX", false},
        {"README.TX", "README.TXT", false},
        {"*", "A", true},
        {"*", "", false}, // a lone star needs one character
        {"AB*", "AB", false},
        {"AB*", "ABC", true},
        {"*.*", "NODOT", false},
        {"*.*", "A.B", true},
        {"*.TXT", ".TXT", true}, // a star before a literal matches an empty run
        {"A?", "A", false},
        {"A?", "AB", true},
        {"A?", "ABC", false},
        {"?", "", false},
        {"*A", "BANANA", true}, // tries each A in turn
        {"*NA", "BANANA", true},
        {"*AN", "BANANA", false},
        {"*NAB", "BANANA", false},
        {"B*N*A", "BANANA", true},
        {"*?", "AB", false}, // the character after a star is searched literally
        {"*?", "A?", true},
        {"**", "AB", false},
        {"**", "A*B", true},
        {"", "", true},
        {"", "A", false},
        {"*.PFT", "FONTS.PFT.BAK", false},
        {"*.PFT", "FONT.PFT", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MatchList::wildcardMatch(c.pattern, c.name, false), c.matches)
            << c.pattern << " vs " << c.name;
}

TEST(MatchListTest, NamesInAStringBlockMatchAsTheyDoAlone) {
    // Names of every length from 0 to 40 laid out as a volume's string block does, each ending in
    // its zero byte, in a block of exactly their size: the lengths found many bytes at a time up to
    // the block's end must be the names' own, for the last name and for names past 16 bytes too
    // (a sanitizer build also sees any read past the block).
    std::vector<std::string> names;
    for (size_t length = 0; length <= 40; ++length) {
        std::string name;
        for (size_t i = 0; i < length; ++i)
            name += "ab0.pft"[(length + i) % 7];
        names.push_back(name);
    }
    std::vector<size_t> offsets;
    std::vector<char> block;
    for (const std::string &name : names) {
        offsets.push_back(block.size());
        block.insert(block.end(), name.begin(), name.end());
        block.push_back('\0');
    }
    const char *blockEnd = block.data() + block.size();
    for (const char *expression : {"*0.pft", "A*0.P?T", "*T", "?*", "*B", "B*"}) {
        MatchList inBlock(expression, 100);
        MatchList alone(expression, 100);
        for (size_t i = 0; i < names.size(); ++i) {
            inBlock.addIfMatch(block.data() + offsets[i], blockEnd, false);
            alone.addIfMatch(names[i].c_str(), false);
            ASSERT_EQ(inBlock.count(), alone.count()) << expression << " vs " << names[i];
        }
        EXPECT_GT(alone.count(), 0) << expression;
    }
}

TEST(MatchListTest, ExactCaseComparesBytes) {
    EXPECT_FALSE(MatchList::wildcardMatch("ab", "AB", true));
    EXPECT_TRUE(MatchList::wildcardMatch("ab", "AB", false));
    EXPECT_TRUE(MatchList::wildcardMatch("a?", "aB", true));
}

TEST(MatchListTest, PatternAndNamesAreUpperCasedStoredNamesKept) {
    MatchList list("readme.*", 10);
    EXPECT_STREQ(list.getPattern(), "README.*");
    const char *name = "ReadMe.TXT";
    EXPECT_TRUE(list.addIfMatch(name, false));
    EXPECT_TRUE(list.addIfMatch("other.txt", false)); // true even without a match
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.at(0), name); // the stored pointer, not a copy
    // Only a to z change: accented bytes are left alone.
    list.setPattern("\xe9t\xe9.txt");
    EXPECT_STREQ(list.getPattern(), "\xe9T\xe9.TXT");
}

TEST(MatchListTest, LimitStopsTheListWithoutLookingAtNames) {
    MatchList list("*", 3);
    EXPECT_GE(list.capacity(), 3);
    for (const char *name : {"a", "b", "c"})
        EXPECT_TRUE(list.addIfMatch(name, false));
    EXPECT_TRUE(list.full());
    EXPECT_FALSE(list.addIfMatch("d", false));
    EXPECT_EQ(list.count(), 3);
    list.clear();
    EXPECT_FALSE(list.full());
    EXPECT_TRUE(list.addIfMatch("e", false));
}

TEST(MatchListTest, ToolLimitIsReservedUpFront) {
    MatchList list("*", 16384);
    EXPECT_EQ(list.capacity(), 16385); // rounded up to the growth step of 5
}

TEST(MatchListTest, NamesLongerThan511AreMatchedWhole) {
    MatchList list("*.TXT", 10);
    std::string longText(600, 'x');
    longText += ".txt";
    std::string longData(600, 'y');
    longData += ".dat";
    std::string exactly511(507, 'z');
    exactly511 += ".txt";
    std::string exactly512(508, 'z');
    exactly512 += ".txt";
    // "*.TXT" takes the quick way for a star and a plain ending; "*.T?T" the general matcher.
    for (const char *expression : {"*.TXT", "*.T?T"}) {
        SCOPED_TRACE(expression);
        MatchList list(expression, 10);
        for (const std::string *name : {&longText, &longData, &exactly511, &exactly512})
            list.addIfMatch(name->c_str(), false);
        ASSERT_EQ(list.count(), 3);
        EXPECT_EQ(list.at(0), longText.c_str());
        EXPECT_EQ(list.at(1), exactly511.c_str());
        EXPECT_EQ(list.at(2), exactly512.c_str());
    }
}

std::string upperCased(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

TEST(MatchListTest, StarThenPlainEndingAgreesWithTheGeneralMatcher) {
    // Every name of up to five characters over a small alphabet (with a byte above 0x7F and the
    // letters in both cases), against expressions of a star and a plain ending.
    const std::string alphabet = "aA.b\xe4";
    std::vector<std::string> names = {""};
    for (size_t start = 0, length = 1; length <= 5; ++length) {
        size_t end = names.size();
        for (size_t i = start; i < end; ++i)
            for (char c : alphabet)
                names.push_back(names[i] + c);
        start = end;
    }
    for (const char *expression : {"*", "*a", "*A", "*.", "*.b", "*aa", "*a.A", "*\xe4", "*bbbbbb"}) {
        SCOPED_TRACE(expression);
        for (const std::string &name : names) {
            MatchList list(expression, 1);
            list.addIfMatch(name.c_str(), false);
            bool general =
                MatchList::wildcardMatch(upperCased(expression).c_str(), upperCased(name).c_str(), false);
            ASSERT_EQ(list.count() == 1, general) << "name '" << name << "'";
        }
    }
}

// The matcher as first built, by backtracking: the character after a star is searched for and each
// of its places tried in turn. It defines the rules; the tool's matcher must agree with it on every
// input while never taking more than the name's length times the expression's.
bool backtrackingMatch(const char *p, const char *s, bool exactCase) {
    bool result = true;
    while (result && *p && *s) {
        if (*p == '*') {
            ++p;
            result = false;
            for (const char *at = std::strchr(s, *p); at && !result; at = std::strchr(at + 1, *p)) {
                result = backtrackingMatch(p, at, exactCase);
                if (*at == '\0')
                    break;
            }
            return result;
        }
        if (*p != '?')
            result = exactCase ? *p == *s : volume::upper(uint8_t(*p)) == volume::upper(uint8_t(*s));
        ++p;
        ++s;
    }
    return result && *p == *s;
}

// Every string of up to maxLength characters over alphabet.
std::vector<std::string> allStrings(const std::string &alphabet, size_t maxLength) {
    std::vector<std::string> strings = {""};
    for (size_t start = 0, length = 1; length <= maxLength; ++length) {
        size_t end = strings.size();
        for (size_t i = start; i < end; ++i)
            for (char c : alphabet)
                strings.push_back(strings[i] + c);
        start = end;
    }
    return strings;
}

// Both ways in: the static matcher with and without exact case, and a match list (which
// upper-cases both sides and takes the quick way for a star and a plain ending).
void expectAgreesWithBacktracking(const std::string &expression, const std::vector<std::string> &names) {
    MatchList list(expression.c_str(), 1);
    const std::string upperExpression = upperCased(expression);
    for (const std::string &name : names) {
        for (bool exactCase : {false, true})
            ASSERT_EQ(MatchList::wildcardMatch(expression.c_str(), name.c_str(), exactCase),
                      backtrackingMatch(expression.c_str(), name.c_str(), exactCase))
                << "'" << expression << "' vs '" << name << "' exact case " << exactCase;
        list.clear();
        list.addIfMatch(name.c_str(), false);
        ASSERT_EQ(list.count() == 1,
                  backtrackingMatch(upperExpression.c_str(), upperCased(name).c_str(), true))
            << "list of '" << expression << "' vs '" << name << "'";
    }
}

TEST(MatchListTest, AgreesWithBacktrackingOnEverySmallCase) {
    // Expressions of up to five characters from stars, question marks and letters in both cases;
    // names of up to four characters that also hold literal stars and question marks.
    const std::vector<std::string> names = allStrings("aAb*?", 4);
    for (const std::string &expression : allStrings("*?aB", 5))
        expectAgreesWithBacktracking(expression, names);
}

TEST(MatchListTest, AgreesWithBacktrackingOnRandomLongerCases) {
    std::mt19937 random(18);
    const std::string expressionAlphabet = "**??abAB.\xe4";
    const std::string nameAlphabet = "abAB.*?\xe4";
    auto randomText = [&](const std::string &alphabet, size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char &c : text)
            c = alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 5000; ++round) {
        std::vector<std::string> names;
        for (int i = 0; i < 20; ++i)
            names.push_back(randomText(nameAlphabet, 14));
        expectAgreesWithBacktracking(randomText(expressionAlphabet, 10), names);
    }
}

TEST(MatchListTest, ManyStarsOnALongNameStayLinear) {
    // Backtracking tries every way of placing the stars here; the tool's matcher walks the name
    // once. A name of 4,000 A's with no B.
    std::string name(4000, 'A');
    std::string expression;
    for (int i = 0; i < 30; ++i)
        expression += "*A";
    EXPECT_FALSE(MatchList::wildcardMatch((expression + "*B").c_str(), name.c_str(), false));
    EXPECT_TRUE(MatchList::wildcardMatch((expression + "*").c_str(), (name + "B").c_str(), false));
    MatchList list((expression + "?B").c_str(), 1);
    list.addIfMatch(name.c_str(), false);
    EXPECT_EQ(list.count(), 0);
}

} // namespace

} // namespace qarvex
