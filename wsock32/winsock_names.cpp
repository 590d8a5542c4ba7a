// SPDX-License-Identifier: Apache-2.0
// WinSock's address text, byte order and host-name calls over the C
// library's resolver. None of them calls a C library function that WinSock
// also names, so a shim exporting WinSock's names cannot loop back here.
#include "wsock32/winsock_internal.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/utsname.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace snmphelper::winsock {
namespace {

constexpr std::size_t kFirstHostStorage = 1024;
constexpr std::size_t kMostHostStorage = 1024 * 1024;

// gethostbyname's answer lives per thread, as WinSock keeps it.
struct ThreadHostEntry {
    std::vector<char> storage;
    ::hostent systemEntry{};
    hostent entry{};
};
thread_local ThreadHostEntry threadHost;

int WinsockHostError(int hostError) {
    switch (hostError) {
    case HOST_NOT_FOUND: return WSAHOST_NOT_FOUND;
    case TRY_AGAIN: return WSATRY_AGAIN;
    case NO_DATA: return WSANO_DATA;
    default: return WSANO_RECOVERY;
    }
}

std::uint16_t SwapToFromNetwork(std::uint16_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::uint16_t>((value >> 8) | (value << 8));
    } else {
        return value;
    }
}

// Resolves `name` into the thread's storage; the WinSock error, or 0.
int ResolveIntoThreadStorage(const char *name) {
    try {
        if (threadHost.storage.empty()) threadHost.storage.resize(kFirstHostStorage);
        for (;;) {
            ::hostent *result = nullptr;
            int hostError = 0;
            const int status =
                ::gethostbyname_r(name, &threadHost.systemEntry, threadHost.storage.data(),
                                  threadHost.storage.size(), &result, &hostError);
            if (status == ERANGE && threadHost.storage.size() < kMostHostStorage) {
                threadHost.storage.resize(threadHost.storage.size() * 2);
                continue;
            }
            if (result != nullptr) return 0;
            return status == ERANGE ? WSAENOBUFS : WinsockHostError(hostError);
        }
    } catch (const std::bad_alloc &) {
        return WSAENOBUFS;
    }
}

}  // namespace

std::uint32_t inet_addr(const char *text) {
    // inet_aton accepts WinSock 1.1's forms: a.b.c.d, a.b.c, a.b and a, each
    // part decimal, octal (leading 0) or hexadecimal (leading 0x).
    ::in_addr address{};
    if (text == nullptr || ::inet_aton(text, &address) == 0) return detail::kWsInaddrNone;
    return address.s_addr;
}

std::uint16_t(htons)(std::uint16_t hostValue) { return SwapToFromNetwork(hostValue); }

std::uint16_t(ntohs)(std::uint16_t networkValue) { return SwapToFromNetwork(networkValue); }

int gethostname(char *name, int nameLength) {
    if (!detail::RequireStartup()) return SOCKET_ERROR;
    if (name == nullptr || nameLength <= 0) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (detail::TakeInjectedFailure(SocketCall::HostName)) return SOCKET_ERROR;
    ::utsname system{};
    if (::uname(&system) != 0) {
        detail::SetLastErrorFromErrno(errno);
        return SOCKET_ERROR;
    }
    const std::size_t length = std::strlen(system.nodename);
    if (length >= static_cast<std::size_t>(nameLength)) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(name, system.nodename, length + 1);
    return 0;
}

hostent *gethostbyname(const char *name) {
    if (!detail::RequireStartup()) return nullptr;
    // An empty or missing name stands for this host, as in WinSock.
    char localName[256];
    if (name == nullptr || *name == '\0') {
        if (gethostname(localName, sizeof localName) != 0) return nullptr;
        name = localName;
    }
    if (const int error = ResolveIntoThreadStorage(name)) {
        WSASetLastError(error);
        return nullptr;
    }
    const ::hostent &resolved = threadHost.systemEntry;
    threadHost.entry.h_name = resolved.h_name;
    threadHost.entry.h_aliases = resolved.h_aliases;
    threadHost.entry.h_addrtype = static_cast<std::int16_t>(detail::kWsAfInet);
    threadHost.entry.h_length = static_cast<std::int16_t>(resolved.h_length);
    threadHost.entry.h_addr_list = resolved.h_addr_list;
    return &threadHost.entry;
}

}  // namespace snmphelper::winsock
