// The ordered pool: every index worked on once and finished in order with its own result, and no
// worker further ahead of finish than it allows, whether the work is quick (taken several indexes
// at a time) or slow, or turns from one to the other.
#include "tool/OrderedWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace qarvex::tool;

namespace {

struct Case {
    size_t count;
    int threads;
    size_t aheadPerThread;
    size_t slowFrom; // indexes from here on take a while
};

void raiseTo(std::atomic<size_t> &most, size_t value) {
    size_t seen = most.load();
    while (value > seen && !most.compare_exchange_weak(seen, value)) {
    }
}

class OrderedWorkTest : public ::testing::TestWithParam<Case> {};

TEST_P(OrderedWorkTest, EveryIndexIsFinishedInOrderWithItsOwnResultAndWithinItsWindow) {
    const Case c = GetParam();
    std::atomic<size_t> started{0}, done{0}, mostAhead{0};
    std::vector<size_t> finishedOrder;
    std::vector<std::atomic<int>> worked(c.count);
    forEachInOrder<size_t>(
        c.count, c.threads,
        [&](int worker, size_t index) {
            EXPECT_GE(worker, 0);
            EXPECT_LT(worker, c.threads);
            raiseTo(mostAhead, ++started - done.load());
            ++worked[index];
            if (index >= c.slowFrom)
                std::this_thread::sleep_for(std::chrono::microseconds(700));
            return index * 7 + 1;
        },
        [&](size_t index, size_t &result) {
            EXPECT_EQ(result, index * 7 + 1);
            finishedOrder.push_back(index);
            ++done;
        },
        c.aheadPerThread);
    ASSERT_EQ(finishedOrder.size(), c.count);
    for (size_t index = 0; index < c.count; ++index) {
        EXPECT_EQ(finishedOrder[index], index);
        EXPECT_EQ(worked[index].load(), 1) << index;
    }
    // Started but not finished: the window, plus the one finish may be running.
    if (c.threads > 1) {
        EXPECT_LE(mostAhead.load(), size_t(c.threads) * c.aheadPerThread + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, OrderedWorkTest,
                         ::testing::Values(Case{0, 4, 2, 0}, Case{1, 4, 2, 0}, Case{5000, 1, 2, 5000},
                                           Case{5000, 2, 2, 5000}, Case{5000, 3, 64, 5000},
                                           Case{3000, 8, 16, 2900}, Case{200, 2, 2, 0},
                                           Case{100, 16, 1, 50}));

} // namespace
