// What the round-trip cases did, for the summary's request-id check.
#pragma once

#include <cstdint>

namespace snmphelper::bench {

struct RoundTripCounts {
    std::uint64_t transactions;  // exchanges attempted, both sides
    std::uint64_t wrongReplies;  // failed, or answered with another thread's value
};

RoundTripCounts CurrentRoundTripCounts();

}  // namespace snmphelper::bench
