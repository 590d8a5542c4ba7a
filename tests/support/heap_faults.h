/* SPDX-License-Identifier: Apache-2.0 */
// Runs an operation once per allocation it makes, failing that allocation,
// and checks that nothing leaks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "platform/heap.h"

namespace snmphelper::test {

// Calls `operation` with no fault first and counts its allocations (n); then
// calls it n more times, the k-th time failing the k-th allocation. `check`
// receives k (0 for the unfaulted run). Returns n.
std::uint64_t ForEachAllocationFailure(const std::function<void()> &operation,
                                       const std::function<void(std::uint64_t)> &check);

// For an operation that builds one block or record out of several
// allocations: checks that `make` returns it when nothing fails and null when
// any one of its allocations fails, and that after `release` no block stays
// live either way. Returns the number of allocations.
template <typename Make, typename Release>
std::uint64_t ExpectNullOnEachAllocationFailure(Make make, Release release) {
    const std::int64_t liveBefore = platform::HeapLiveBlocks();
    decltype(make()) made = nullptr;
    return ForEachAllocationFailure([&] { made = make(); },
                                    [&](std::uint64_t k) {
                                        if (k == 0) {
                                            EXPECT_NE(made, nullptr);
                                        } else {
                                            EXPECT_EQ(made, nullptr) << "allocation " << k;
                                        }
                                        release(made);
                                        EXPECT_EQ(platform::HeapLiveBlocks(), liveBefore)
                                            << "allocation " << k;
                                    });
}

// Disarms allocation faults when it goes out of scope.
struct HeapFaultGuard {
    HeapFaultGuard() = default;
    HeapFaultGuard(const HeapFaultGuard &) = delete;
    HeapFaultGuard &operator=(const HeapFaultGuard &) = delete;
    ~HeapFaultGuard();
};

}  // namespace snmphelper::test
