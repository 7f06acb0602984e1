// A worker thread that takes hops from one caller thread, in order, one at a
// time: the caller hands hop n (hand()), the worker runs work(n), and the
// caller can wait until the worker has finished up to a given hop.
//
// The hand-off is two counters, hops handed and hops finished, each written
// by one side only, with C++20 atomic wait/notify: no mutex, and a side with
// nothing to do sleeps in the kernel (a futex on Linux) instead of spinning,
// which matters on machines whose cores are shared with other work. What a
// side wrote before bumping its counter is visible to the other once it has
// seen the new count (release/acquire).
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

class HopWorker {
public:
    using Work = std::function<void(uint32_t hop)>;

    explicit HopWorker(Work work);
    ~HopWorker();
    HopWorker(const HopWorker&) = delete;
    HopWorker& operator=(const HopWorker&) = delete;

    // Hops handed so far; the next hand() hands hop number handed().
    uint32_t handed() const { return handed_.load(std::memory_order_relaxed); }
    // [caller] Hop handed() is ready: the worker will run work on it.
    void hand();
    // [caller] Returns once the worker has finished hops 0 to hops - 1 (or
    // at once when `hops` is not ahead of what was finished).
    void waitUntilFinished(uint32_t hops);
    void waitForAll() { waitUntilFinished(handed()); }

private:
    void run();

    Work work_;
    // Counts wrap at 2^32 hops (a year and a half at 44.1 kHz and hop 512):
    // they are compared by their difference, never by their size.
    std::atomic<uint32_t> handed_{0}, finished_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quorveil::spectral
