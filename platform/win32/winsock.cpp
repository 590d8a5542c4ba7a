// SPDX-License-Identifier: Apache-2.0
// The WinSock layer on Windows: the system's own WinSock (WS2_32), called
// through the seam's declarations. The seam's records have WinSock's 32-bit
// layouts, checked below, so they pass to the system unchanged. What is
// added is only what the tests use: failure injection and the counts of
// start-ups and open sockets.
#include "platform/winsock.h"

// After the seam's header: from here on WinSock's names are the system's
// macros, which have the seam's values.
#include <winsock2.h>

#include <array>
#include <cstddef>
#include <mutex>
#include <set>
#include <type_traits>

namespace snmphelper::winsock {

static_assert(sizeof(SOCKET) == sizeof(::SOCKET));
static_assert(sizeof(sockaddr) == sizeof(::sockaddr) && sizeof(sockaddr_in) == sizeof(::sockaddr_in));
static_assert(sizeof(fd_set) == sizeof(::fd_set) && offsetof(fd_set, fd_array) == offsetof(::fd_set, fd_array));
static_assert(sizeof(timeval) == sizeof(::timeval));
static_assert(sizeof(hostent) == sizeof(::hostent) && offsetof(hostent, h_addr_list) == offsetof(::hostent, h_addr_list));
static_assert(sizeof(WSADATA) == sizeof(::WSADATA) && offsetof(WSADATA, lpVendorInfo) == offsetof(::WSADATA, lpVendorInfo));

namespace {

struct InjectedFailure {
    int winsockError = 0;
    int remaining = 0;
};

constexpr std::size_t kSocketCallCount = static_cast<std::size_t>(SocketCall::HostName) + 1;

std::mutex stateMutex;
std::array<InjectedFailure, kSocketCallCount> injected{};
int startupCount = 0;
std::set<SOCKET> openSockets;

// True, with the last error set, when a failure is injected for this use of `call`.
bool Injected(SocketCall call) {
    int error = 0;
    {
        const std::lock_guard lock(stateMutex);
        InjectedFailure &armed = injected[static_cast<std::size_t>(call)];
        if (armed.remaining == 0) return false;
        --armed.remaining;
        error = armed.winsockError;
    }
    ::WSASetLastError(error);
    return true;
}

template <typename Record>
auto *System(Record *record) {
    if constexpr (std::is_const_v<Record>) {
        return reinterpret_cast<const ::sockaddr *>(record);
    } else {
        return reinterpret_cast<::sockaddr *>(record);
    }
}

}  // namespace

int WSAStartup(std::uint16_t versionRequested, WSADATA *data) {
    const int result = ::WSAStartup(versionRequested, reinterpret_cast<::WSADATA *>(data));
    if (result == 0) {
        const std::lock_guard lock(stateMutex);
        ++startupCount;
    }
    return result;
}

int WSACleanup() {
    const int result = ::WSACleanup();
    if (result == 0) {
        const std::lock_guard lock(stateMutex);
        // The last clean-up closes the sockets still open.
        if (--startupCount == 0) openSockets.clear();
    }
    return result;
}

int WSAGetLastError() { return ::WSAGetLastError(); }

void WSASetLastError(int error) { ::WSASetLastError(error); }

SOCKET socket(int af, int type, int protocol) {
    if (Injected(SocketCall::Socket)) return INVALID_SOCKET;
    const SOCKET created = ::socket(af, type, protocol);
    if (created != INVALID_SOCKET) {
        const std::lock_guard lock(stateMutex);
        openSockets.insert(created);
    }
    return created;
}

int closesocket(SOCKET s) {
    const int result = ::closesocket(s);
    if (result == 0) {
        const std::lock_guard lock(stateMutex);
        openSockets.erase(s);
    }
    return result;
}

int ioctlsocket(SOCKET s, std::int32_t command, std::uint32_t *argument) {
    if (command == static_cast<std::int32_t>(FIONBIO) && Injected(SocketCall::NonBlocking)) return SOCKET_ERROR;
    // WinSock's ioctl commands are 32-bit codes in a long.
    return ::ioctlsocket(s, command, reinterpret_cast<u_long *>(argument));
}

int setsockopt(SOCKET s, int level, int option, const char *value, int valueLength) {
    if (Injected(SocketCall::SetOption)) return SOCKET_ERROR;
    return ::setsockopt(s, level, option, value, valueLength);
}

int bind(SOCKET s, const sockaddr *name, int nameLength) {
    if (Injected(SocketCall::Bind)) return SOCKET_ERROR;
    return ::bind(s, System(name), nameLength);
}

int getsockname(SOCKET s, sockaddr *name, int *nameLength) { return ::getsockname(s, System(name), nameLength); }

int connect(SOCKET s, const sockaddr *name, int nameLength) { return ::connect(s, System(name), nameLength); }

int sendto(SOCKET s, const char *buffer, int length, int flags, const sockaddr *to, int toLength) {
    if (Injected(SocketCall::SendTo)) return SOCKET_ERROR;
    return ::sendto(s, buffer, length, flags, System(to), toLength);
}

// Windows has no call that sends to many peers at once (Registered I/O
// needs buffers registered in advance): one sendto each.
int SendToMany(SOCKET s, const OutgoingDatagram *datagrams, int count) {
    if (count < 0 || (datagrams == nullptr && count > 0)) {
        ::WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    for (int sent = 0; sent < count; ++sent) {
        const OutgoingDatagram &datagram = datagrams[sent];
        if (sendto(s, datagram.buffer, datagram.length, 0, datagram.to, datagram.toLength) == SOCKET_ERROR) {
            return sent == 0 ? SOCKET_ERROR : sent;
        }
    }
    return count;
}

int recvfrom(SOCKET s, char *buffer, int length, int flags, sockaddr *from, int *fromLength) {
    if (Injected(SocketCall::RecvFrom)) return SOCKET_ERROR;
    return ::recvfrom(s, buffer, length, flags, System(from), fromLength);
}

int select(int ignored, fd_set *readSet, fd_set *writeSet, fd_set *exceptSet, const timeval *timeout) {
    if (Injected(SocketCall::Select)) return SOCKET_ERROR;
    return ::select(ignored, reinterpret_cast<::fd_set *>(readSet), reinterpret_cast<::fd_set *>(writeSet),
                    reinterpret_cast<::fd_set *>(exceptSet), const_cast<::timeval *>(reinterpret_cast<const ::timeval *>(timeout)));
}

std::uint32_t inet_addr(const char *text) { return text == nullptr ? INADDR_NONE : ::inet_addr(text); }

std::uint16_t htons(std::uint16_t hostValue) { return ::htons(hostValue); }

std::uint16_t ntohs(std::uint16_t networkValue) { return ::ntohs(networkValue); }

int gethostname(char *name, int nameLength) {
    if (Injected(SocketCall::HostName)) return SOCKET_ERROR;
    return ::gethostname(name, nameLength);
}

hostent *gethostbyname(const char *name) { return reinterpret_cast<hostent *>(::gethostbyname(name)); }

void FailSocketCall(SocketCall call, int winsockError, int count) {
    const std::lock_guard lock(stateMutex);
    injected[static_cast<std::size_t>(call)] = {winsockError, count < 0 ? 0 : count};
}

std::size_t OpenSocketCount() {
    const std::lock_guard lock(stateMutex);
    return openSockets.size();
}

int StartupCount() {
    const std::lock_guard lock(stateMutex);
    return startupCount;
}

}  // namespace snmphelper::winsock
