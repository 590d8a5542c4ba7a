// SPDX-License-Identifier: Apache-2.0
#include "transport/winsock_binding.h"

namespace snmphelper {
namespace {

// The entry point `entry` as a function of type `Function`, or null.
template <typename Function>
Function EntryAs(const WinsockBinding &binding, WinsockEntry entry) {
    if (binding.module == nullptr) return nullptr;
    return reinterpret_cast<Function>(binding.entries[static_cast<std::size_t>(entry)]);
}

// Calls `entry` with `arguments`, or answers kWinsockUnavailable (converted
// to the function's result type) when it cannot be called.
template <typename Result, typename... Parameters, typename... Arguments>
Result Forward(const WinsockBinding &binding, WinsockEntry entry, Arguments... arguments) {
    using Function = Result(SNMPHELPER_WSAAPI *)(Parameters...);
    const Function function = EntryAs<Function>(binding, entry);
    if (function == nullptr) return static_cast<Result>(kWinsockUnavailable);
    return function(arguments...);
}

}  // namespace

const std::array<const char *, kWinsockEntryCount> kWinsockEntryNames = {
    "accept", "bind", "closesocket", "connect", "ioctlsocket", "getpeername", "getsockname",
    "getsockopt", "htonl", "htons", "inet_addr", "inet_ntoa", "listen", "ntohl", "ntohs", "recv",
    "recvfrom", "select", "send", "sendto", "setsockopt", "shutdown", "socket", "gethostbyaddr",
    "gethostbyname", "gethostname", "getservbyport", "getservbyname", "getprotobynumber",
    "getprotobyname", "WSAStartup", "WSACleanup", "WSASetLastError", "WSAGetLastError",
    "WSAIsBlocking", "WSAUnhookBlockingHook", "WSASetBlockingHook", "WSACancelBlockingCall",
    "WSAAsyncGetServByName", "WSAAsyncGetServByPort", "WSAAsyncGetProtoByName",
    "WSAAsyncGetProtoByNumber", "WSAAsyncGetHostByName", "WSAAsyncGetHostByAddr",
    "WSACancelAsyncRequest", "WSAAsyncSelect", "WSARecvEx",
};
static_assert(static_cast<std::size_t>(WinsockEntry::WSARecvEx) + 1 == kWinsockEntryCount);

const std::array<const char *, 3> kWinsockLibraryNames = {"wsock32.dll", "ws2_32.dll",
                                                          "winsock.dll"};

void WinsockBinding::Load() {
    module = nullptr;
    entries.fill(nullptr);
    for (const char *name : kWinsockLibraryNames) {
        module = platform::LoadPlatformLibrary(name);
        if (module != nullptr) break;
    }
    if (module == nullptr) return;
    for (std::size_t i = 0; i < kWinsockEntryCount; ++i) {
        entries[i] = platform::FindEntryPoint(module, kWinsockEntryNames[i]);
    }
}

void WinsockBinding::Unload() {
    if (module != nullptr) platform::ReleasePlatformLibrary(module);
}

bool WinsockBinding::Provides(WinsockEntry entry) const {
    return module != nullptr && entries[static_cast<std::size_t>(entry)] != nullptr;
}

using winsock::fd_set;
using winsock::in_addr;
using winsock::SOCKET;
using winsock::sockaddr;
using winsock::timeval;
using winsock::WSADATA;

int WinsockBinding::WSAStartup(std::uint16_t versionRequested, WSADATA *data) const {
    return Forward<int, std::uint16_t, WSADATA *>(*this, WinsockEntry::WSAStartup,
                                                  versionRequested, data);
}

int WinsockBinding::WSACleanup() const {
    return Forward<int>(*this, WinsockEntry::WSACleanup);
}

int WinsockBinding::WSAGetLastError() const {
    return Forward<int>(*this, WinsockEntry::WSAGetLastError);
}

SOCKET WinsockBinding::socket(int af, int type, int protocol) const {
    return Forward<SOCKET, int, int, int>(*this, WinsockEntry::socket, af, type, protocol);
}

int WinsockBinding::closesocket(SOCKET s) const {
    return Forward<int, SOCKET>(*this, WinsockEntry::closesocket, s);
}

int WinsockBinding::ioctlsocket(SOCKET s, std::int32_t command, std::uint32_t *argument) const {
    return Forward<int, SOCKET, std::int32_t, std::uint32_t *>(*this, WinsockEntry::ioctlsocket, s,
                                                               command, argument);
}

int WinsockBinding::setsockopt(SOCKET s, int level, int option, const char *value,
                               int valueLength) const {
    return Forward<int, SOCKET, int, int, const char *, int>(*this, WinsockEntry::setsockopt, s,
                                                             level, option, value, valueLength);
}

int WinsockBinding::bind(SOCKET s, const sockaddr *name, int nameLength) const {
    return Forward<int, SOCKET, const sockaddr *, int>(*this, WinsockEntry::bind, s, name,
                                                       nameLength);
}

int WinsockBinding::getsockname(SOCKET s, sockaddr *name, int *nameLength) const {
    return Forward<int, SOCKET, sockaddr *, int *>(*this, WinsockEntry::getsockname, s, name,
                                                   nameLength);
}

int WinsockBinding::sendto(SOCKET s, const char *buffer, int length, int flags, const sockaddr *to,
                           int toLength) const {
    return Forward<int, SOCKET, const char *, int, int, const sockaddr *, int>(
        *this, WinsockEntry::sendto, s, buffer, length, flags, to, toLength);
}

int WinsockBinding::recvfrom(SOCKET s, char *buffer, int length, int flags, sockaddr *from,
                             int *fromLength) const {
    return Forward<int, SOCKET, char *, int, int, sockaddr *, int *>(
        *this, WinsockEntry::recvfrom, s, buffer, length, flags, from, fromLength);
}

int WinsockBinding::select(int ignored, fd_set *readSet, fd_set *writeSet, fd_set *exceptSet,
                           const timeval *timeout) const {
    return Forward<int, int, fd_set *, fd_set *, fd_set *, const timeval *>(
        *this, WinsockEntry::select, ignored, readSet, writeSet, exceptSet, timeout);
}

std::uint16_t WinsockBinding::htons(std::uint16_t hostValue) const {
    return Forward<std::uint16_t, std::uint16_t>(*this, WinsockEntry::htons, hostValue);
}

std::uint16_t WinsockBinding::ntohs(std::uint16_t networkValue) const {
    return Forward<std::uint16_t, std::uint16_t>(*this, WinsockEntry::ntohs, networkValue);
}

char *WinsockBinding::inet_ntoa(in_addr address) const {
    using Function = char *(SNMPHELPER_WSAAPI *)(in_addr);
    const Function function = EntryAs<Function>(*this, WinsockEntry::inet_ntoa);
    return function == nullptr ? nullptr : function(address);
}

}  // namespace snmphelper
