/* SPDX-License-Identifier: Apache-2.0 */
// Fault injection for tests, one home for every platform service that can
// be made to fail: "the n-th use from now fails (and every later one, when
// sticky)". Indivisible, so uses on many threads each count once.
#pragma once

#include <atomic>
#include <cstdint>

namespace snmphelper::platform {

class FaultCountdown {
public:
    // The `n`-th use from now (1 = the next) fails; 0 disarms.
    void Arm(std::uint64_t n, bool sticky) {
        sticky_.store(sticky);
        left_.store(n);
    }

    // Counts one use: true when it is to fail.
    bool NextFails() {
        std::uint64_t left = left_.load();
        while (left != 0) {
            if (left == 1) {
                if (sticky_.load()) return true;
                if (left_.compare_exchange_weak(left, 0)) return true;
            } else if (left_.compare_exchange_weak(left, left - 1)) {
                return false;
            }
        }
        return false;
    }

private:
    std::atomic<std::uint64_t> left_{0};
    std::atomic<bool> sticky_{false};
};

}  // namespace snmphelper::platform
