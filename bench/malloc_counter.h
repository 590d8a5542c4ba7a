/* SPDX-License-Identifier: Apache-2.0 */
// Counts the C heap's allocations and releases of the whole process (the
// benchmark replaces malloc and friends, forwarding to glibc's own), so that
// allocations nobody routes through the library's heap seam are counted too.
#pragma once

#include <cstdint>

namespace snmphelper::bench {

struct MallocCounts {
    std::uint64_t allocations;
    std::uint64_t releases;
};

MallocCounts CurrentMallocCounts();

}  // namespace snmphelper::bench
