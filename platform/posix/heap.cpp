// SPDX-License-Identifier: Apache-2.0
// On POSIX the global heap is the C heap, so callers may release what the
// library hands them with free().
#include <cstdlib>

#include "platform/heap.h"

namespace snmphelper::platform::detail {

void *SystemAllocZero(std::size_t size) { return std::calloc(size, 1); }

void SystemFree(void *block) { std::free(block); }

}  // namespace snmphelper::platform::detail
