/* SPDX-License-Identifier: Apache-2.0 */
// Memory figures of our side: allocations per operation (through the
// library's heap seam and through malloc), peak resident size, and the soak
// that shows nothing grows over many operations.
#pragma once

#include <cstdint>

namespace snmphelper::bench {

// Prints allocations per operation for both sides, and the peak resident size.
void PrintAllocationFigures();

// Runs `codecRounds` encode+decode round trips and `transactions` gets, and
// reports live heap blocks, live malloc blocks and resident size before and
// after. Returns 0 when nothing grew, 1 otherwise.
int RunSoak(std::uint64_t codecRounds, std::uint64_t transactions);

}  // namespace snmphelper::bench
