/* SPDX-License-Identifier: Apache-2.0 */
// Shared inside the POSIX WinSock implementation. Include it first: the C
// library's socket headers turn several WinSock names into macros, so the
// WinSock values the implementation compares with are captured here, under
// names no macro reaches, before those headers are read.
#pragma once

#include "platform/winsock.h"

#include <memory>
#include <vector>

#if defined(AF_INET) || defined(SOL_SOCKET) || defined(FIONBIO)
#error "wsock32/winsock_internal.h must come before the C library's socket headers"
#endif

// The system's socket address and poll entry, named without their headers.
struct sockaddr;
struct pollfd;

namespace snmphelper::winsock::detail {
class ReadAhead;
}
namespace snmphelper::ipx {
class IpxSocket;
struct IpxAddress;
}

namespace snmphelper::winsock::detail {

using SystemAddressLength = unsigned int;  // the system's socklen_t

inline constexpr int kWsAfInet = AF_INET;
inline constexpr int kWsAfIpx = AF_IPX;
inline constexpr int kWsSockDgram = SOCK_DGRAM;
inline constexpr int kWsSolSocket = SOL_SOCKET;
inline constexpr int kWsSoBroadcast = SO_BROADCAST;
inline constexpr int kWsSoRcvbuf = SO_RCVBUF;
inline constexpr std::int32_t kWsFionbio = FIONBIO;
inline constexpr std::uint32_t kWsInaddrNone = INADDR_NONE;

// WinSock's number for a C library error number.
int WinsockErrorFor(int errorNumber);

// Records the WinSock error for `errorNumber` as the thread's last error.
void SetLastErrorFromErrno(int errorNumber);

// Failure answers that leave the reason as the thread's last error.
inline int Fail(int winsockError) {
    WSASetLastError(winsockError);
    return SOCKET_ERROR;
}
inline int FailFromErrno(int errorNumber) {
    SetLastErrorFromErrno(errorNumber);
    return SOCKET_ERROR;
}

// False, with WSANOTINITIALISED as the last error, when no WSAStartup is in
// force.
bool RequireStartup();

// The C library's calls that WinSock also names, reached without linking
// them by name (see winsock.cpp); a null entry means the system lacks it.
// sendto, recvfrom and select are used as sendmsg, recvmsg and ppoll, which
// WinSock does not name.
struct SystemCalls {
    int (*socket)(int, int, int);
    int (*bind)(int, const ::sockaddr *, SystemAddressLength);
    int (*setsockopt)(int, int, int, const void *, SystemAddressLength);
    int (*getsockname)(int, ::sockaddr *, SystemAddressLength *);
};
const SystemCalls &System();

// The descriptor behind socket `s`, or -1 with the last error set when
// WinSock is not started or `s` is no socket of ours.
int DescriptorOf(SOCKET s);

// The IPX sockets behind the poll entries, in their order (null for an
// Internet socket), found in one holding of the sockets' lock.
std::vector<std::shared_ptr<ipx::IpxSocket>> IpxSocketsIn(const std::vector<::pollfd> &polls);

// Datagrams an Internet socket reads one at a time before it reads ahead (a
// transaction's own socket reads one or two and never takes the room), and
// how many it then takes from the system at once (read_ahead.h).
inline constexpr std::uint32_t kReadsBeforeReadingAhead = 8;
inline constexpr std::size_t kReadAheadSlots = 32;
// The read-ahead of an open Internet socket, made at its first use; null when
// the descriptor is not open or there is no memory for it.
std::shared_ptr<ReadAhead> ReadAheadOf(int descriptor);
// The read-aheads behind the poll entries, in their order (null where none
// was made), found in one holding of the sockets' lock.
std::vector<std::shared_ptr<ReadAhead>> ReadAheadsIn(const std::vector<::pollfd> &polls);
// An IPX socket's calls (winsock_ipx.cpp). FromIpxRecord reads WinSock's
// IPX address record; false, with the last error set, when `name` is not one.
bool FromIpxRecord(const sockaddr *name, int nameLength, ipx::IpxAddress &address);
void ToIpxRecord(const ipx::IpxAddress &address, sockaddr *name, int *nameLength);
// Binding an IPX socket: the record's network and node may be 0 or ours;
// they choose no interface, there being one.
int BindIpx(ipx::IpxSocket &socket, const sockaddr *name, int nameLength);
int SendIpx(ipx::IpxSocket &socket, const char *buffer, int length, const sockaddr *to, int toLength);
int ReceiveIpx(ipx::IpxSocket &socket, char *buffer, int length, int flags, sockaddr *from, int *fromLength);

// Tests: the next `count` uses of `call` fail with the C library error
// `errorNumber`, mapped to WinSock's number as the system's own would be.
void FailSystemCall(SocketCall call, int errorNumber, int count = 1);

// True, with the last error set, when a failure is injected for this use
// of `call` (FailSocketCall or FailSystemCall); false to go ahead.
bool TakeInjectedFailure(SocketCall call);

}  // namespace snmphelper::winsock::detail
