// OrderedWork: a command's entries worked on by a pool of threads while their results are taken
// on the calling thread in the entries' own order, so that what a command prints, writes and
// returns is the same whatever the number of threads.
#pragma once

#include <qarvex/platform/Platform.h>

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
// at most two results per thread ahead of finish, so memory stays bounded. With one thread, or
// one index, everything happens on the calling thread, work and finish in turn.
template <class Result>
void forEachInOrder(size_t count, int threads, const std::function<Result(int worker, size_t index)> &work,
                    const std::function<void(size_t index, Result &result)> &finish) {
    if (threads <= 1 || count <= 1) {
        for (size_t index = 0; index < count; ++index) {
            Result result = work(0, index);
            finish(index, result);
        }
        return;
    }
    if (size_t(threads) > count)
        threads = int(count);
    const size_t ahead = size_t(threads) * 2;
    std::vector<std::optional<Result>> slots(ahead); // index % ahead
    std::mutex mutex;
    std::condition_variable resultReady, roomMade;
    size_t taken = 0;    // indexes handed to workers
    size_t finished = 0; // results taken out of their slots
    auto runWorker = [&](int worker) {
        std::unique_lock lock(mutex);
        for (;;) {
            roomMade.wait(lock, [&] { return taken >= count || taken < finished + ahead; });
            if (taken >= count)
                return;
            size_t index = taken++;
            lock.unlock();
            Result result = work(worker, index);
            lock.lock();
            slots[index % ahead] = std::move(result);
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
