// Little-endian helpers: byte order at any alignment, and four-character tags as words.
#include <qarvex/core/LittleEndian.h>

#include <gtest/gtest.h>

namespace qarvex {

TEST(LittleEndian, ReadsAndWritesLowByteFirstAtAnyAlignment) {
    uint8_t bytes[11] = {};
    le::write32(bytes + 1, 0x89ABCDEFu);
    le::write16(bytes + 6, 0xFEDC);
    const uint8_t expected[11] = {0, 0xEF, 0xCD, 0xAB, 0x89, 0, 0xDC, 0xFE, 0, 0, 0};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(bytes[i], expected[i]) << i;
    EXPECT_EQ(le::read32(bytes + 1), 0x89ABCDEFu);
    EXPECT_EQ(le::read16(bytes + 6), 0xFEDC);
    EXPECT_EQ(le::read16(bytes + 3), 0x89AB); // high bits never sign-extend
    EXPECT_EQ(le::read16(bytes + 4), 0x0089);
    EXPECT_EQ(le::read32(bytes + 4), 0xFEDC0089u);
}

TEST(LittleEndian, TagsAreTheirBytesInReadingOrder) {
    static_assert(le::tag("PVOL") == 0x4C4F5650u);
    EXPECT_EQ(le::tag("PFON"), 0x4E4F4650u);
    EXPECT_EQ(le::tag("vols"), 0x736C6F76u);
    EXPECT_EQ(le::tag(" VOL"), le::read32(" VOL"));
    EXPECT_EQ(le::tag("\xFF\x80\x01\x00"), 0x000180FFu);
}

} // namespace qarvex
