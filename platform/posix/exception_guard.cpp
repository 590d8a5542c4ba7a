// SPDX-License-Identifier: Apache-2.0
// The fault guard over POSIX signals: handlers for the fault signals are
// installed for the duration of the guarded call and jump back to the guard
// when the fault happened on the guarding thread. No alternate signal stack:
// the guard is for a component that faults on its first command, not for a
// stack overflow, and the host's own signal stack setup stays untouched.
#include "platform/exception_guard.h"

#include <pthread.h>

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <mutex>

namespace snmphelper::platform {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr std::size_t kFaultSignalCount = sizeof(kFaultSignals) / sizeof(kFaultSignals[0]);

// Handlers are process-wide: guarded calls run one at a time, so one guard
// and the thread running it are all a handler needs to know. Not thread
// storage: a library loaded with dlopen cannot have static thread storage,
// and other thread storage may be allocated on first use, which a signal
// handler must not do.
std::mutex guardMutex;
sigjmp_buf *activeGuard = nullptr;
std::atomic<bool> guardActive{false};
pthread_t guardingThread;

// What handled the fault signals before the guard, for faults elsewhere.
struct sigaction previousActions[kFaultSignalCount];

std::size_t SignalIndex(int signal) {
    for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
        if (kFaultSignals[i] == signal) return i;
    }
    return 0;
}

// A fault on another thread: hand it to the previous handler, or let the
// faulting instruction run again under the default action.
void ForwardFault(int signal, siginfo_t *info, void *context) {
    const struct sigaction &previous = previousActions[SignalIndex(signal)];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
        previous.sa_handler != nullptr) {
        previous.sa_handler(signal);
        return;
    }
    std::signal(signal, SIG_DFL);
}

void OnFault(int signal, siginfo_t *info, void *context) {
    if (!guardActive.load() || pthread_equal(pthread_self(), guardingThread) == 0) {
        ForwardFault(signal, info, context);
        return;
    }
    guardActive.store(false);
    siglongjmp(*activeGuard, signal);
}

void InstallHandlers() {
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
        sigaction(kFaultSignals[i], &action, &previousActions[i]);
    }
}

void RestoreHandlers() {
    for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
        sigaction(kFaultSignals[i], &previousActions[i], nullptr);
    }
}

}  // namespace

bool RunGuarded(GuardedCall call, void *context) {
    if (call == nullptr) return false;
    const std::lock_guard<std::mutex> lock(guardMutex);
    sigjmp_buf guard;
    volatile bool returned = false;
    InstallHandlers();
    // The signal mask is saved with the jump point, so a fault's signal is
    // unblocked again after the jump back.
    if (sigsetjmp(guard, 1) == 0) {
        activeGuard = &guard;
        guardingThread = pthread_self();
        guardActive.store(true);
        returned = detail::CallCatchingExceptions(call, context);
    }
    guardActive.store(false);
    activeGuard = nullptr;
    RestoreHandlers();
    return returned;
}

}  // namespace snmphelper::platform
