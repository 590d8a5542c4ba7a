// SPDX-License-Identifier: Apache-2.0
// On Windows the global heap is GlobalAlloc's, so callers release what the
// library hands them with GlobalFree.
#include <windows.h>

#include "platform/heap.h"

namespace snmphelper::platform::detail {

void *SystemAllocZero(std::size_t size) { return ::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size); }

void SystemFree(void *block) { ::GlobalFree(block); }

}  // namespace snmphelper::platform::detail
