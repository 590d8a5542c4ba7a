/* SPDX-License-Identifier: Apache-2.0 */
// WinSock reached through a library loaded at run time rather than through
// the library's own link-time imports: the first of wsock32, ws2_32 and
// winsock that loads, 47 entry points looked up by name, and one forwarding
// function per entry point the library calls. A forwarding function whose
// library or entry point is missing answers WSAENETDOWN (10050) in place of
// the function's own result, without setting the last error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/handles.h"
#include "platform/library_loader.h"
#include "platform/winsock.h"

#pragma push_macro("htons")
#pragma push_macro("ntohs")
#undef htons
#undef ntohs

namespace snmphelper {

// The entry points, in the order they are looked up and kept.
enum class WinsockEntry : std::size_t {
    accept, bind, closesocket, connect, ioctlsocket, getpeername, getsockname, getsockopt,
    htonl, htons, inet_addr, inet_ntoa, listen, ntohl, ntohs, recv, recvfrom, select, send,
    sendto, setsockopt, shutdown, socket, gethostbyaddr, gethostbyname, gethostname,
    getservbyport, getservbyname, getprotobynumber, getprotobyname, WSAStartup, WSACleanup,
    WSASetLastError, WSAGetLastError, WSAIsBlocking, WSAUnhookBlockingHook, WSASetBlockingHook,
    WSACancelBlockingCall, WSAAsyncGetServByName, WSAAsyncGetServByPort, WSAAsyncGetProtoByName,
    WSAAsyncGetProtoByNumber, WSAAsyncGetHostByName, WSAAsyncGetHostByAddr, WSACancelAsyncRequest,
    WSAAsyncSelect, WSARecvEx,
};
inline constexpr std::size_t kWinsockEntryCount = 47;

// The names looked up, indexed by WinsockEntry.
extern const std::array<const char *, kWinsockEntryCount> kWinsockEntryNames;
// The libraries tried, in order.
extern const std::array<const char *, 3> kWinsockLibraryNames;

// What a forwarding function answers when its entry point is missing.
inline constexpr int kWinsockUnavailable = winsock::WSAENETDOWN;

// A plain record, embedded by value in its owner; Load before use, Unload
// once when done.
struct WinsockBinding {
    platform::LibraryHandle module;
    std::array<platform::EntryPoint, kWinsockEntryCount> entries;

    // Loads the first library of kWinsockLibraryNames that loads and looks
    // up every name; reports nothing (a failure shows through the
    // forwarding functions).
    void Load();
    // Releases the library, if one was loaded. The record is not cleared.
    void Unload();

    // Whether `entry` can be called: the library is loaded and exports it.
    bool Provides(WinsockEntry entry) const;

    // The forwarding functions.
    int WSAStartup(std::uint16_t versionRequested, winsock::WSADATA *data) const;
    int WSACleanup() const;
    int WSAGetLastError() const;
    winsock::SOCKET socket(int af, int type, int protocol) const;
    int closesocket(winsock::SOCKET s) const;
    int ioctlsocket(winsock::SOCKET s, std::int32_t command, std::uint32_t *argument) const;
    int setsockopt(winsock::SOCKET s, int level, int option, const char *value,
                   int valueLength) const;
    int bind(winsock::SOCKET s, const winsock::sockaddr *name, int nameLength) const;
    int getsockname(winsock::SOCKET s, winsock::sockaddr *name, int *nameLength) const;
    int sendto(winsock::SOCKET s, const char *buffer, int length, int flags,
               const winsock::sockaddr *to, int toLength) const;
    int recvfrom(winsock::SOCKET s, char *buffer, int length, int flags, winsock::sockaddr *from,
                 int *fromLength) const;
    int select(int ignored, winsock::fd_set *readSet, winsock::fd_set *writeSet,
               winsock::fd_set *exceptSet, const winsock::timeval *timeout) const;
    std::uint16_t htons(std::uint16_t hostValue) const;
    std::uint16_t ntohs(std::uint16_t networkValue) const;
    // The dotted-decimal text of `address`, in storage of the WinSock
    // library's; null when the entry point is missing, as for an address
    // WinSock cannot convert.
    char *inet_ntoa(winsock::in_addr address) const;
};

}  // namespace snmphelper

#pragma pop_macro("htons")
#pragma pop_macro("ntohs")
