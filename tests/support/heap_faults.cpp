// SPDX-License-Identifier: Apache-2.0
#include "tests/support/heap_faults.h"

#include "platform/heap.h"

namespace snmphelper::test {

HeapFaultGuard::~HeapFaultGuard() { platform::HeapFailNthAllocation(0); }

std::uint64_t ForEachAllocationFailure(const std::function<void()> &operation,
                                       const std::function<void(std::uint64_t)> &check) {
    HeapFaultGuard guard;
    const std::uint64_t before = platform::HeapAllocationCount();
    operation();
    const std::uint64_t allocations = platform::HeapAllocationCount() - before;
    check(0);
    for (std::uint64_t k = 1; k <= allocations; ++k) {
        platform::HeapFailNthAllocation(k);
        operation();
        platform::HeapFailNthAllocation(0);
        check(k);
    }
    return allocations;
}

}  // namespace snmphelper::test
