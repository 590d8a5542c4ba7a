/* SPDX-License-Identifier: Apache-2.0 */
// What handles hardware faults in this process, taken at one moment, so a
// test can check that a guarded call left it as it was. On POSIX the
// handlers of the fault signals; on Windows the guard's vectored handler
// leaves nothing that can be read back, so every snapshot is alike.
#pragma once

#if !defined(_WIN32)
#include <csignal>
#endif

namespace snmphelper::test {

class FaultHandlers {
public:
    FaultHandlers() {
#if !defined(_WIN32)
        for (int i = 0; i < kCount; ++i) sigaction(kSignals[i], nullptr, &actions_[i]);
#endif
    }

    bool operator==(const FaultHandlers &other) const {
#if !defined(_WIN32)
        for (int i = 0; i < kCount; ++i) {
            if (actions_[i].sa_handler != other.actions_[i].sa_handler) return false;
        }
#endif
        static_cast<void>(other);
        return true;
    }

private:
#if !defined(_WIN32)
    static constexpr int kCount = 4;
    static constexpr int kSignals[kCount] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
    struct sigaction actions_[kCount] = {};
#endif
};

}  // namespace snmphelper::test
