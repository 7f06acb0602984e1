#include "host/spectral/HopWorker.h"

#include <utility>

namespace quorveil::spectral {

namespace {

// Returns once `counter` differs from `value`, with what its writer did
// before changing it visible.
uint32_t waitWhileEqual(const std::atomic<uint32_t>& counter, uint32_t value) {
    uint32_t now = counter.load(std::memory_order_acquire);
    while (now == value) {
        counter.wait(value, std::memory_order_acquire);
        now = counter.load(std::memory_order_acquire);
    }
    return now;
}

}  // namespace

HopWorker::HopWorker(Work work) : work_(std::move(work)), thread_([this] { run(); }) {}

HopWorker::~HopWorker() {
    waitForAll();
    stopping_.store(true, std::memory_order_relaxed);
    // The bump wakes the worker; the release makes the stop visible with it.
    handed_.fetch_add(1, std::memory_order_release);
    handed_.notify_one();
    thread_.join();
}

void HopWorker::hand() {
    handed_.fetch_add(1, std::memory_order_release);
    handed_.notify_one();
}

void HopWorker::waitUntilFinished(uint32_t hops) {
    uint32_t done = finished_.load(std::memory_order_acquire);
    // Ahead by less than half the counter's range: not finished yet.
    while (static_cast<int32_t>(hops - done) > 0) done = waitWhileEqual(finished_, done);
}

void HopWorker::run() {
    for (uint32_t next = 0;; ++next) {
        waitWhileEqual(handed_, next);
        if (stopping_.load(std::memory_order_relaxed)) return;
        work_(next);
        finished_.store(next + 1, std::memory_order_release);
        finished_.notify_one();
    }
}

}  // namespace quorveil::spectral
