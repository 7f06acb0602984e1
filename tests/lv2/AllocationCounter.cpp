// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/lv2/AllocationCounter.h"

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEIL_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEIL_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef QUORVEIL_COUNT_ALLOCATIONS
#define QUORVEIL_COUNT_ALLOCATIONS 1
#endif

namespace {

// The interposed allocator below can reach no object: a flag and a count.
std::atomic<bool> counting{false};
std::atomic<uint64_t> counted{0};

[[maybe_unused]] void note() {
    if (counting.load(std::memory_order_relaxed)) counted.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

#if QUORVEIL_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    note();
    return __libc_realloc(pointer, size);
}
void free(void* pointer) {
    if (pointer != nullptr) note();
    __libc_free(pointer);
}
}
#endif

namespace quorveil::testing {

AllocationCounter::AllocationCounter() {
    counted = 0;
    counting = true;
}

AllocationCounter::~AllocationCounter() { counting = false; }

uint64_t AllocationCounter::calls() const { return counted.load(); }

bool allocationCountingAvailable() { return QUORVEIL_COUNT_ALLOCATIONS != 0; }

}  // namespace quorveil::testing
