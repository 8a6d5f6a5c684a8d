// Vector: growth in whole steps, reserve keeping the count, append, and release.
#include <qarvex/core/Vector.h>

#include <gtest/gtest.h>

using namespace qarvex;

// Under the address sanitizer an impossible allocation must come back as null, as it does from
// the C library, instead of ending the test program.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}

TEST(Vector, StartsEmptyAndGrowsInWholeSteps) {
    Vector<int> v(5);
    EXPECT_EQ(v.size(), 0);
    EXPECT_EQ(v.getCapacity(), 0);
    EXPECT_EQ(v.data(), nullptr);
    ASSERT_TRUE(v.resize(7));
    EXPECT_EQ(v.size(), 7);
    EXPECT_EQ(v.getCapacity(), 10);
    ASSERT_TRUE(v.resize(10));
    EXPECT_EQ(v.getCapacity(), 10);
    ASSERT_TRUE(v.resize(11));
    EXPECT_EQ(v.getCapacity(), 15);
}

TEST(Vector, ResizeToZeroOrBelowReleasesTheStorage) {
    Vector<int> v(5);
    ASSERT_TRUE(v.resize(3));
    EXPECT_TRUE(v.resize(0));
    EXPECT_EQ(v.data(), nullptr);
    EXPECT_EQ(v.getCapacity(), 0);
    ASSERT_TRUE(v.resize(2));
    EXPECT_TRUE(v.resize(-4));
    EXPECT_EQ(v.size(), 0);
}

TEST(Vector, ReserveKeepsTheCountAndMatchListCapacity) {
    Vector<char *> v(5);
    ASSERT_TRUE(v.reserve(16384));
    EXPECT_EQ(v.size(), 0);
    EXPECT_EQ(v.getCapacity(), 16385);
    ASSERT_TRUE(v.append(nullptr));
    ASSERT_TRUE(v.reserve(10));
    EXPECT_EQ(v.getCapacity(), 16385);
    EXPECT_EQ(v.size(), 1);
}

TEST(Vector, AppendKeepsEarlierElementsAcrossGrowth) {
    Vector<int> v(5);
    for (int i = 0; i < 23; ++i)
        ASSERT_TRUE(v.append(i * 3));
    ASSERT_EQ(v.size(), 23);
    EXPECT_EQ(v.getCapacity(), 25);
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(v[i], i * 3);
}

TEST(Vector, ImpossibleSizeFailsAndLeavesItEmpty) {
    struct Big {
        char bytes[1 << 20];
    };
    Vector<Big> v(5);
    ASSERT_TRUE(v.resize(1));
    EXPECT_FALSE(v.resize(INT32_MAX - 2));
    EXPECT_EQ(v.size(), 0);
    EXPECT_EQ(v.getCapacity(), 0);
    EXPECT_EQ(v.data(), nullptr);
}

TEST(VectorPtr, HoldsPointersWithoutOwningThem) {
    int a = 1, b = 2;
    VectorPtr<int *> v;
    ASSERT_TRUE(v.append(&a));
    ASSERT_TRUE(v.append(&b));
    EXPECT_EQ(v.at(1), &b);
    EXPECT_EQ(*v.at(0), 1);
}

TEST(Vector, ShrinkingGivesBackWholeStepsAndKeepsTheFirstElements) {
    Vector<int> v(5);
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(v.append(i));
    ASSERT_TRUE(v.resize(3));
    EXPECT_EQ(v.size(), 3);
    EXPECT_EQ(v.getCapacity(), 5);
    EXPECT_EQ(v[2], 2);
    ASSERT_TRUE(v.append(7));
    EXPECT_EQ(v[3], 7);
}

TEST(Vector, OtherGrowthStepsRoundTheCapacityToTheirMultiples) {
    Vector<uint8_t> v(16);
    EXPECT_EQ(v.growthStep(), 16);
    ASSERT_TRUE(v.resize(17));
    EXPECT_EQ(v.getCapacity(), 32);
    ASSERT_TRUE(v.reserve(33));
    EXPECT_EQ(v.getCapacity(), 48);
    EXPECT_EQ(v.size(), 17);
}

TEST(Vector, AFailedReserveLeavesItEmptyButUsable) {
    struct Big {
        char bytes[1 << 20];
    };
    Vector<Big> v(5);
    ASSERT_TRUE(v.resize(2));
    EXPECT_FALSE(v.reserve(INT32_MAX - 2));
    EXPECT_EQ(v.size(), 0);
    EXPECT_EQ(v.getCapacity(), 0);
    ASSERT_TRUE(v.resize(1));
    EXPECT_EQ(v.size(), 1);
}

TEST(Vector, PackedElementsAreCopiedBytewise) {
#pragma pack(push, 1)
    struct Item {
        uint32_t id;
        uint8_t flag;
        uint32_t offset, size, name;
    };
#pragma pack(pop)
    static_assert(sizeof(Item) == 17);
    Vector<Item> v(5);
    for (uint32_t i = 0; i < 9; ++i)
        ASSERT_TRUE(v.append(Item{i, uint8_t(i), i * 10, i * 100, i * 1000}));
    const uint32_t size = v[8].size; // packed fields are read by value, never bound by reference
    const uint8_t flag = v[5].flag;
    EXPECT_EQ(size, 800u);
    EXPECT_EQ(flag, 5);
    EXPECT_EQ(v.end() - v.begin(), 9);
}
