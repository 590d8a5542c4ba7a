// SPDX-License-Identifier: Apache-2.0
// The heap's counting and fault injection, the same on every system; the
// blocks themselves come from the system's heap (platform/<system>/heap.cpp).
#include "platform/heap.h"

#include <atomic>

#include "platform/fault_countdown.h"

namespace snmphelper::platform {
namespace {

std::atomic<std::uint64_t> allocationCount{0};
std::atomic<std::int64_t> liveBlocks{0};
FaultCountdown allocationFaults;

}  // namespace

void *HeapAllocZero(std::size_t size) {
    allocationCount.fetch_add(1);
    if (allocationFaults.NextFails()) return nullptr;
    void *block = detail::SystemAllocZero(size == 0 ? 1 : size);
    if (block != nullptr) liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void HeapFree(void *block) {
    if (block == nullptr) return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    detail::SystemFree(block);
}

void HeapFailNthAllocation(std::uint64_t n, bool sticky) { allocationFaults.Arm(n, sticky); }

std::uint64_t HeapAllocationCount() { return allocationCount.load(); }

std::int64_t HeapLiveBlocks() { return liveBlocks.load(); }

}  // namespace snmphelper::platform
