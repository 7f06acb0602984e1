// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/WorkerThread.h"

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

// "Below 0" and "not yet" are one comparison: a difference under half the
// counter's range.
bool ahead(uint32_t count, uint32_t done) { return static_cast<int32_t>(count - done) > 0; }

}  // namespace

WorkerThread::WorkerThread(Work work, uint32_t wakeAfter)
    : work_(std::move(work)), wakeAfter_(wakeAfter), thread_([this] { run(); }) {}

WorkerThread::~WorkerThread() {
    waitForAll();
    stopping_.store(true, std::memory_order_relaxed);
    // The bump wakes the worker; the release makes the stop visible with it.
    handed_.fetch_add(1, std::memory_order_release);
    handed_.notify_one();
    thread_.join();
}

void WorkerThread::hand() {
    const uint32_t handed = handed_.fetch_add(1, std::memory_order_release) + 1;
    if (handed - finished_.load(std::memory_order_relaxed) >= wakeAfter_) handed_.notify_one();
}

void WorkerThread::waitUntilFinished(uint32_t count, uint32_t onceWaiting) {
    uint32_t done = finished_.load(std::memory_order_acquire);
    if (!ahead(count, done)) return;
    handed_.notify_one();  // what waits for the worker must not wait for a wake-up too
    while (ahead(onceWaiting, done)) done = waitWhileEqual(finished_, done);
}

void WorkerThread::run() {
    for (uint32_t next = 0;; ++next) {
        waitWhileEqual(handed_, next);
        if (stopping_.load(std::memory_order_relaxed)) return;
        work_(next);
        finished_.store(next + 1, std::memory_order_release);
        finished_.notify_one();
    }
}

}  // namespace quorveil::spectral
