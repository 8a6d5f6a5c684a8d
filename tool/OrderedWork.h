// OrderedWork: a command's entries worked on by a pool of threads while their results are taken
// on the calling thread in the entries' own order, so that what a command prints, writes and
// returns is the same whatever the number of threads.
#pragma once

#include <qarvex/platform/Platform.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace qarvex {

namespace tool {

// Runs work(worker, index) for every index below count on `threads` threads (worker numbers them
// from 0, so that each can keep state of its own) and finish(index, result) on the calling thread
// for every index in order, each as soon as its result and all earlier ones are there. Workers run
// at most aheadPerThread results per thread ahead of finish, so memory stays bounded; callers whose
// results are small may allow more. With one thread, or one index, everything happens on the
// calling thread, work and finish in turn.
//
// Handing indexes out and results back costs some microseconds each time. A worker whose indexes
// take less than that takes them several at a time (as many as aheadPerThread) and hands their
// results back together; one whose work grows slow goes back to fewer.
template <class Result>
void forEachInOrder(size_t count, int threads, const std::function<Result(int worker, size_t index)> &work,
                    const std::function<void(size_t index, Result &result)> &finish,
                    size_t aheadPerThread = 2) {
    if (threads <= 1 || count <= 1) {
        for (size_t index = 0; index < count; ++index) {
            Result result = work(0, index);
            finish(index, result);
        }
        return;
    }
    if (size_t(threads) > count)
        threads = int(count);
    aheadPerThread = std::max<size_t>(aheadPerThread, 1);
    const size_t ahead = size_t(threads) * aheadPerThread;
    std::vector<std::optional<Result>> slots(ahead); // index % ahead
    std::mutex mutex;
    std::condition_variable resultReady, roomMade;
    size_t taken = 0;    // indexes handed to workers
    size_t finished = 0; // results taken out of their slots
    auto runWorker = [&](int worker) {
        using Clock = std::chrono::steady_clock;
        constexpr auto Quick = std::chrono::microseconds(50), Slow = std::chrono::microseconds(500);
        size_t batch = 1; // indexes taken at a time
        std::vector<Result> results;
        std::unique_lock lock(mutex);
        for (;;) {
            roomMade.wait(lock, [&] { return taken >= count || taken < finished + ahead; });
            if (taken >= count)
                return;
            const size_t first = taken;
            taken += std::min({batch, count - taken, finished + ahead - taken});
            const size_t last = taken;
            lock.unlock();
            const Clock::time_point start = Clock::now();
            for (size_t index = first; index < last; ++index)
                results.push_back(work(worker, index));
            const Clock::duration took = Clock::now() - start;
            if (took < Quick)
                batch = std::min(batch * 2, aheadPerThread);
            else if (took > Slow)
                batch = std::max<size_t>(batch / 2, 1);
            lock.lock();
            for (size_t index = first; index < last; ++index)
                slots[index % ahead] = std::move(results[index - first]);
            results.clear();
            resultReady.notify_one();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(size_t(threads));
    for (int worker = 0; worker < threads; ++worker)
        pool.push_back(platform::startWorkerThread([&runWorker, worker] { runWorker(worker); }));
    for (size_t index = 0; index < count; ++index) {
        std::optional<Result> result;
        {
            std::unique_lock lock(mutex);
            std::optional<Result> &slot = slots[index % ahead];
            resultReady.wait(lock, [&] { return slot.has_value(); });
            result.swap(slot);
            ++finished;
        }
        roomMade.notify_all();
        finish(index, *result);
    }
    for (std::thread &thread : pool)
        thread.join();
}

} // namespace tool

} // namespace qarvex
