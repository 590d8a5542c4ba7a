/* SPDX-License-Identifier: Apache-2.0 */
// What the round-trip cases did, for the summary's request-id check, and
// the get they share with the system-call count.
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::bench {

struct RoundTripCounts {
    std::uint64_t transactions;  // exchanges attempted, both sides
    std::uint64_t wrongReplies;  // failed, or answered with another thread's value
};

RoundTripCounts CurrentRoundTripCounts();

// One get through HelperSNMPTransact, counted in the round trips; true when
// it succeeded and, when `expected` is given, the value text is exactly it.
bool TransactOurs(const std::string &printer, const std::string &oidList, int count, const char *expected);

}  // namespace snmphelper::bench
