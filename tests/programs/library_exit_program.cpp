// SPDX-License-Identifier: Apache-2.0
// Run by library_entry_test, linked to the shared library as programs are:
// threads fetch object groups (of a printer the store does not hold)
// without pause while the main thread returns from main, so that the
// process exits, and the library's unload steps run, while they are inside
// HelperGetSNMPObjects. A thread whose result differs from the one before
// the exit ends the process with status 3; a released list does that (and,
// under AddressSanitizer, a read of one is reported).
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "snmphelper.h"

namespace {

constexpr int kThreads = 4;
constexpr std::uint32_t kGroups = 26;
constexpr long kCallsBeforeExit = 200;  // per thread: every thread is well under way

std::int32_t Fetch(std::uint32_t group) {
    char values[4096];
    std::uint32_t length = sizeof values;
    return HelperGetSNMPObjects("absent", group, values, &length);
}

// Outside main's frame, which the exit reuses while the threads still run.
std::int32_t expected[kGroups];
std::atomic<long> calls{0};

int ExitWhileFetching() {
    for (std::uint32_t g = 0; g < kGroups; ++g) expected[g] = Fetch(g);
    for (int t = 0; t < kThreads; ++t) {
        std::thread([t] {
            for (std::uint32_t g = static_cast<std::uint32_t>(t);; g = (g + 1) % kGroups) {
                if (Fetch(g) != expected[g]) _exit(3);
                calls.fetch_add(1);
            }
        }).detach();
    }
    while (calls.load() < kThreads * kCallsBeforeExit) std::this_thread::yield();
    std::printf("exiting after %ld calls\n", calls.load());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main() { return ExitWhileFetching(); }
