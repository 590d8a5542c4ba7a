// On POSIX the global heap is the C heap, so callers may release what the
// library hands them with free().
#include "platform/heap.h"

#include <atomic>
#include <cstdlib>

namespace snmphelper::platform {
namespace {

std::atomic<std::uint64_t> allocationCount{0};
std::atomic<std::uint64_t> failAtCount{0};  // 0: disarmed
std::atomic<bool> failSticky{false};
std::atomic<std::int64_t> liveBlocks{0};

bool ShouldFail(std::uint64_t thisAllocation) {
    const std::uint64_t failAt = failAtCount.load(std::memory_order_relaxed);
    if (failAt == 0) return false;
    if (thisAllocation == failAt) return true;
    return failSticky.load(std::memory_order_relaxed) && thisAllocation > failAt;
}

}  // namespace

void *HeapAllocZero(std::size_t size) {
    const std::uint64_t thisAllocation = allocationCount.fetch_add(1) + 1;
    if (ShouldFail(thisAllocation)) return nullptr;
    void *block = std::calloc(size == 0 ? 1 : size, 1);
    if (block != nullptr) liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void HeapFree(void *block) {
    if (block == nullptr) return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

void HeapFailNthAllocation(std::uint64_t n, bool sticky) {
    failSticky.store(sticky);
    failAtCount.store(n == 0 ? 0 : allocationCount.load() + n);
}

std::uint64_t HeapAllocationCount() { return allocationCount.load(); }

std::int64_t HeapLiveBlocks() { return liveBlocks.load(); }

}  // namespace snmphelper::platform
