#include "transact/request_id.h"

#include <atomic>

namespace snmphelper {
namespace {

// Atomic arithmetic wraps on overflow.
std::atomic<std::int32_t> requestIdCounter{0};

}  // namespace

std::int32_t NextRequestId() {
    // The new value, computed from the old one without a signed overflow.
    const auto previous = static_cast<std::uint32_t>(requestIdCounter.fetch_add(1));
    return static_cast<std::int32_t>(previous + 1u);
}

void ResetRequestIds() { requestIdCounter.store(0); }

}  // namespace snmphelper
