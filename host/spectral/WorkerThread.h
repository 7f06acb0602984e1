// SPDX-License-Identifier: GPL-3.0-or-later
// A worker thread that takes numbered pieces of work (the upmix's hops, the
// file job's blocks) from one caller thread, in order, one at a time: the
// caller hands piece n (hand()), the worker runs work(n), and the caller can
// wait until the worker has finished up to a given piece.
//
// The hand-off is two counters, pieces handed and pieces finished, each
// written by one side only, with C++20 atomic wait/notify: no mutex, and a
// side with nothing to do sleeps in the kernel (a futex on Linux) instead of
// spinning, which matters on machines whose cores are shared with other
// work. What a side wrote before bumping its counter is visible to the other
// once it has seen the new count (release/acquire).
//
// [set-up] The thread starts in the constructor; the destructor lets it
// finish what was handed, then stops and joins it. Not for the real-time
// path: waiting may block.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace quorveil::spectral {

class WorkerThread {
public:
    using Work = std::function<void(uint32_t piece)>;

    // The worker, once it has caught up and sleeps, is woken when
    // `wakeAfter` pieces wait for it (or when the caller waits): on a
    // machine where both threads share one core, each then runs a few
    // pieces at a stretch instead of trading places at every piece.
    explicit WorkerThread(Work work, uint32_t wakeAfter = 1);
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Pieces handed so far; the next hand() hands piece number handed().
    uint32_t handed() const { return handed_.load(std::memory_order_relaxed); }
    // [caller] Piece handed() is ready: the worker will run work on it.
    void hand();
    // [caller] Returns once the worker has finished pieces 0 to count - 1
    // (at once when `count` is not ahead of what was finished, "below 0"
    // included). If it has to wait at all, it waits on until `onceWaiting`
    // are finished, for the same reason as wakeAfter.
    void waitUntilFinished(uint32_t count, uint32_t onceWaiting);
    void waitUntilFinished(uint32_t count) { waitUntilFinished(count, count); }
    void waitForAll() { waitUntilFinished(handed()); }

private:
    void run();

    Work work_;
    uint32_t wakeAfter_;
    // Counts wrap at 2^32 (a year and a half of hops of 512 at 44.1 kHz):
    // they are compared by their difference, never by their size.
    std::atomic<uint32_t> handed_{0}, finished_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quorveil::spectral
