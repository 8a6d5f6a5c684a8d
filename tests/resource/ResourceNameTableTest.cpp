// The resource name table and its pool: interning with and without case, growth of the
// bucket array, the length limit, and the backslash path helpers.
#include <qarvex/resource/ResourceNameTable.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qarvex {

TEST(ResourceNameTable, InternIgnoringCaseGivesOneCanonicalCopy) {
    ResourceNameTable table;
    char text[] = "Fonts\\Arial.pft";
    const char *first = table.intern(text);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, text);
    EXPECT_STREQ(first, text);
    text[0] = 'X'; // the table keeps its own copy
    EXPECT_STREQ(first, "Fonts\\Arial.pft");

    EXPECT_EQ(table.intern("FONTS\\ARIAL.PFT"), first);
    EXPECT_EQ(table.intern("fonts\\arial.pft", false), first);
    EXPECT_EQ(table.entryCount(), 1);
    EXPECT_NE(table.intern("fonts\\arial.pf"), first);
    EXPECT_EQ(table.entryCount(), 2);
}

TEST(ResourceNameTable, ExactInterningComparesByteForByte) {
    ResourceNameTable table;
    const char *mixed = table.intern("Palette.PAL", true);
    EXPECT_EQ(table.intern("Palette.PAL", true), mixed);
    const char *lower = table.intern("palette.pal", true);
    ASSERT_NE(lower, nullptr);
    EXPECT_NE(lower, mixed);
    EXPECT_STREQ(lower, "palette.pal");
    // Both spellings share a bucket; a case-insensitive lookup takes the first added.
    EXPECT_EQ(table.intern("PALETTE.pal"), mixed);
    EXPECT_EQ(table.entryCount(), 2);
}

TEST(ResourceNameTable, GrowsItsBucketsAfterTwiceTheirCountAndKeepsEveryEntry) {
    ResourceNameTable table;
    EXPECT_EQ(table.bucketCount(), 29);
    std::vector<const char *> copies;
    auto add = [&](int i) {
        std::string text = "entry" + std::to_string(i) + ".dat";
        copies.push_back(table.intern(text.c_str()));
    };
    for (int i = 1; i <= 58; ++i)
        add(i);
    EXPECT_EQ(table.bucketCount(), 29);
    add(59);
    EXPECT_EQ(table.bucketCount(), 115);
    for (int i = 60; i <= 230; ++i)
        add(i);
    EXPECT_EQ(table.bucketCount(), 115);
    add(231);
    EXPECT_EQ(table.bucketCount(), 459);
    EXPECT_EQ(table.entryCount(), 231);
    for (int i = 1; i <= 231; ++i) {
        std::string upper = "ENTRY" + std::to_string(i) + ".DAT";
        EXPECT_EQ(table.intern(upper.c_str()), copies[size_t(i - 1)]) << upper;
    }
    EXPECT_EQ(table.entryCount(), 231);
}

TEST(ResourceNameTable, HashIgnoresLetterCaseOnly) {
    EXPECT_EQ(ResourceNameTable::hash("Art\\Big.PFT", 11), ResourceNameTable::hash("aRT\\bIG.pft", 11));
    EXPECT_NE(ResourceNameTable::hash("ab", 2), ResourceNameTable::hash("ba", 2));
    // Only A to Z fold: bytes above 127 are taken as they are.
    EXPECT_NE(ResourceNameTable::hash("\xC9", 1), ResourceNameTable::hash("\xE9", 1));
}

TEST(ResourceNameTable, TextsLongerThanAChunkAreRefused) {
    ResourceNameTable table;
    std::string longest(ResourceNameTable::MaxTextLength, 'a');
    const char *kept = table.intern(longest.c_str());
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(std::strlen(kept), longest.size());

    std::string tooLong(ResourceNameTable::MaxTextLength + 1, 'b');
    EXPECT_EQ(table.intern(tooLong.c_str()), nullptr);
    EXPECT_EQ(table.intern(std::string(100000, 'c').c_str()), nullptr);
    EXPECT_EQ(table.intern(nullptr), nullptr);
    EXPECT_EQ(table.entryCount(), 1);

    const char *small = table.intern("small");
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(table.intern(longest.c_str()), kept);
    EXPECT_STREQ(small, "small");
}

TEST(ChunkPool, PiecesStayInsideTheirChunkAndAligned) {
    ChunkPool pool(64);
    EXPECT_EQ(pool.chunkCount(), 1);
    EXPECT_EQ(pool.allocate(65), nullptr);
    EXPECT_EQ(pool.allocate(-1), nullptr);

    auto *a = static_cast<uint8_t *>(pool.allocate(3));
    auto *b = static_cast<uint8_t *>(pool.allocate(8));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(void *), 0u);
    EXPECT_GE(b - a, 3);
    EXPECT_EQ(pool.chunkCount(), 1);

    // No room left for 60 bytes: a new chunk takes them whole.
    auto *c = static_cast<uint8_t *>(pool.allocate(60));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(pool.chunkCount(), 2);
    std::memset(c, 0x5A, 60);
    EXPECT_NE(pool.allocate(64), nullptr);
    EXPECT_EQ(pool.chunkCount(), 3);
}

TEST(ResourcePaths, SplitAtTheLastBackslashIntoInternedParts) {
    const char *directory = nullptr;
    const char *name = nullptr;
    ASSERT_TRUE(splitPath("art\\fonts\\Big.pft", directory, name));
    EXPECT_STREQ(directory, "art\\fonts");
    EXPECT_STREQ(name, "Big.pft");
    EXPECT_EQ(directory, resourceNameTable.intern("ART\\FONTS"));
    EXPECT_EQ(name, resourceNameTable.intern("big.PFT"));

    ASSERT_TRUE(splitPath("plain.dat", directory, name));
    EXPECT_EQ(directory, nullptr);
    EXPECT_EQ(name, resourceNameTable.intern("PLAIN.DAT"));

    ASSERT_TRUE(splitPath("\\root.dat", directory, name));
    EXPECT_STREQ(directory, "");
    EXPECT_STREQ(name, "root.dat");

    ASSERT_TRUE(splitPath("dir\\", directory, name));
    EXPECT_STREQ(directory, "dir");
    EXPECT_STREQ(name, "");

    // Forward slashes are part of the name.
    ASSERT_TRUE(splitPath("a/b.dat", directory, name));
    EXPECT_EQ(directory, nullptr);
    EXPECT_STREQ(name, "a/b.dat");

    EXPECT_FALSE(splitPath(nullptr, directory, name));
    std::string huge = std::string(ResourceNameTable::MaxTextLength + 1, 'd') + "\\x";
    EXPECT_FALSE(splitPath(huge.c_str(), directory, name));
    EXPECT_EQ(directory, nullptr);
    EXPECT_EQ(name, nullptr);
}

TEST(ResourcePaths, JoinWithABackslashInABufferOfTheNextCall) {
    const char *joined = joinPath("art\\fonts", "Big.pft");
    ASSERT_NE(joined, nullptr);
    EXPECT_STREQ(joined, "art\\fonts\\Big.pft");
    EXPECT_STREQ(joinPath(nullptr, "alone.dat"), "alone.dat");
    EXPECT_STREQ(joined, "alone.dat"); // overwritten by the later call
    EXPECT_EQ(joinPath("dir", nullptr), nullptr);

    std::string directory(1000, 'd');
    std::string fits(1023 - 1001, 'n');
    const char *longest = joinPath(directory.c_str(), fits.c_str());
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(std::strlen(longest), 1023u);
    std::string oneMore = fits + "n";
    EXPECT_EQ(joinPath(directory.c_str(), oneMore.c_str()), nullptr);
    EXPECT_EQ(joinPath(nullptr, std::string(1024, 'n').c_str()), nullptr);
}

} // namespace qarvex
