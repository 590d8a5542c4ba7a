// SPDX-License-Identifier: Apache-2.0
// WinSock's last error: kept per thread, as WinSock keeps it, in WinSock's
// numbers; and the failure injection that tests use to reach it.
#include "wsock32/winsock_internal.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace snmphelper::winsock {
namespace {

thread_local int lastError = 0;

// A failure injected for tests: a WinSock error (FailSocketCall) or a C
// library error that takes the mapping a real one would (FailSystemCall).
struct InjectedFailure {
    int winsockError = 0;
    int errorNumber = 0;
    int remaining = 0;
};

constexpr std::size_t kSocketCallCount = static_cast<std::size_t>(SocketCall::HostName) + 1;
std::mutex injectionMutex;
std::array<InjectedFailure, kSocketCallCount> injected{};
// Set once anything has been armed: until then every call, on every thread,
// knows without the mutex that nothing is to fail.
std::atomic<bool> everArmed{false};

void Arm(SocketCall call, const InjectedFailure &failure) {
    const std::lock_guard lock(injectionMutex);
    injected[static_cast<std::size_t>(call)] = failure;
    everArmed.store(true, std::memory_order_release);
}

struct ErrorPair {
    int errorNumber;
    int winsockError;
};

// C library errors and the WinSock errors that stand for them. EPERM is what
// a packet filter answers for a refused datagram, which WinSock reports as
// WSAEACCES; ENOMEM is WinSock's "no buffer space".
constexpr ErrorPair kErrorPairs[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAENOTSOCK},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EWOULDBLOCK, WSAEWOULDBLOCK},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEINPROGRESS},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
};

}  // namespace

int WSAGetLastError() { return lastError; }

void WSASetLastError(int error) { lastError = error; }

void FailSocketCall(SocketCall call, int winsockError, int count) {
    Arm(call, {winsockError, 0, count < 0 ? 0 : count});
}

namespace detail {

int WinsockErrorFor(int errorNumber) {
    for (const ErrorPair &pair : kErrorPairs) {
        if (pair.errorNumber == errorNumber) return pair.winsockError;
    }
    // WinSock 1.1's answer for a failure of the network subsystem itself.
    return WSAENETDOWN;
}

void SetLastErrorFromErrno(int errorNumber) { lastError = WinsockErrorFor(errorNumber); }

void FailSystemCall(SocketCall call, int errorNumber, int count) {
    Arm(call, {0, errorNumber, count < 0 ? 0 : count});
}

bool TakeInjectedFailure(SocketCall call) {
    if (!everArmed.load(std::memory_order_acquire)) return false;
    InjectedFailure failure;
    {
        const std::lock_guard lock(injectionMutex);
        InjectedFailure &armed = injected[static_cast<std::size_t>(call)];
        if (armed.remaining == 0) return false;
        --armed.remaining;
        failure = armed;
    }
    const bool transfer = call == SocketCall::SendTo || call == SocketCall::RecvFrom;
    if (failure.winsockError != 0) {
        lastError = failure.winsockError;
    } else if (transfer && failure.errorNumber == ECONNREFUSED) {
        lastError = WSAECONNRESET;  // a port unreachable report, as for a real one
    } else {
        SetLastErrorFromErrno(failure.errorNumber);
    }
    return true;
}

}  // namespace detail
}  // namespace snmphelper::winsock
