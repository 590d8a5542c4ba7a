// SPDX-License-Identifier: Apache-2.0
#include "transact/request_id.h"

#include <atomic>
#include <random>

namespace snmphelper {
namespace {

// Atomic arithmetic wraps on overflow.
std::atomic<std::int32_t> requestIdCounter{0};
std::atomic<bool> startedUnpredictably{false};

// A random 32-bit number; 0 when the system gives none (the counter then
// stays where it is, which is still correct, only guessable).
std::uint32_t RandomOffset() {
    try {
        std::random_device source;
        return static_cast<std::uint32_t>(source());
    } catch (...) {
        return 0;
    }
}

}  // namespace

std::int32_t NextRequestId() {
    // The new value, computed from the old one without a signed overflow.
    const auto previous = static_cast<std::uint32_t>(requestIdCounter.fetch_add(1));
    return static_cast<std::int32_t>(previous + 1u);
}

void ResetRequestIds() {
    requestIdCounter.store(0);
    startedUnpredictably.store(false);
}

bool RequestIdsStartedUnpredictably() { return startedUnpredictably.load(); }

void StartRequestIdsUnpredictably() {
    // Read before the exchange: once started, every transaction asks, and
    // a read leaves the shared line alone where an exchange takes it.
    if (startedUnpredictably.load(std::memory_order_relaxed) || startedUnpredictably.exchange(true)) return;
    // Added rather than stored, so that an id another thread takes meanwhile
    // is not handed out again.
    requestIdCounter.fetch_add(static_cast<std::int32_t>(RandomOffset() & 0x7FFFFFFFu));
}

}  // namespace snmphelper
