// Runs an operation once per allocation it makes, failing that allocation,
// and checks that nothing leaks.
#pragma once

#include <cstdint>
#include <functional>

namespace snmphelper::test {

// Calls `operation` with no fault first and counts its allocations (n); then
// calls it n more times, the k-th time failing the k-th allocation. `check`
// receives k (0 for the unfaulted run). Returns n.
std::uint64_t ForEachAllocationFailure(const std::function<void()> &operation,
                                       const std::function<void(std::uint64_t)> &check);

// Disarms allocation faults when it goes out of scope.
struct HeapFaultGuard {
    HeapFaultGuard() = default;
    HeapFaultGuard(const HeapFaultGuard &) = delete;
    HeapFaultGuard &operator=(const HeapFaultGuard &) = delete;
    ~HeapFaultGuard();
};

}  // namespace snmphelper::test
