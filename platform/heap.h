/* SPDX-License-Identifier: Apache-2.0 */
// The global heap: zero-initialised blocks that may cross the exported
// boundary. Every block the library hands to a caller comes from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snmphelper::platform {

// A zero-filled block of `size` bytes (at least one byte is reserved for a
// size of 0), or null when the heap refuses.
void *HeapAllocZero(std::size_t size);

// Releases a block from HeapAllocZero. Null does nothing.
void HeapFree(void *block);

// Fault injection for tests: the `n`-th allocation from now (1 = the next one)
// fails, and so does every later one when `sticky` is set. 0 disarms.
void HeapFailNthAllocation(std::uint64_t n, bool sticky = false);

// Allocations attempted so far (successful or not), for tests that count them.
std::uint64_t HeapAllocationCount();

// Blocks allocated and not yet released through HeapFree, for leak checks.
std::int64_t HeapLiveBlocks();

// Each system's heap, beneath the counting and fault injection above
// (platform/heap.cpp): a zero-filled block of at least one byte, and its
// release.
namespace detail {
void *SystemAllocZero(std::size_t size);
void SystemFree(void *block);
}  // namespace detail

}  // namespace snmphelper::platform
