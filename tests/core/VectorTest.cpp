// Vector: growth in whole steps, reserve keeping the count, append, and release.
#include "core/Vector.h"

#include <gtest/gtest.h>

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
