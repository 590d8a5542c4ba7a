// SPDX-License-Identifier: Apache-2.0
#include "bench/malloc_counter.h"

#include <atomic>
#include <cstddef>

// glibc's allocator under its own names.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *block, std::size_t size);
void __libc_free(void *block);
}

namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> releases{0};

}  // namespace

extern "C" {

void *malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void *realloc(void *block, std::size_t size) {
    if (block == nullptr) allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}

void free(void *block) {
    if (block != nullptr) releases.fetch_add(1, std::memory_order_relaxed);
    __libc_free(block);
}

}  // extern "C"

namespace snmphelper::bench {

MallocCounts CurrentMallocCounts() {
    return {allocations.load(std::memory_order_relaxed), releases.load(std::memory_order_relaxed)};
}

}  // namespace snmphelper::bench
