// Shared inside the POSIX WinSock implementation. Include it first: the C
// library's socket headers turn several WinSock names into macros, so the
// WinSock values the implementation compares with are captured here, under
// names no macro reaches, before those headers are read.
#pragma once

#include "platform/winsock.h"

#if defined(AF_INET) || defined(SOL_SOCKET) || defined(FIONBIO)
#error "platform/posix/winsock_internal.h must come before the C library's socket headers"
#endif

namespace snmphelper::winsock::detail {

inline constexpr int kWsAfInet = AF_INET;
inline constexpr int kWsAfIpx = AF_IPX;
inline constexpr int kWsSockDgram = SOCK_DGRAM;
inline constexpr int kWsSolSocket = SOL_SOCKET;
inline constexpr int kWsSoBroadcast = SO_BROADCAST;
inline constexpr std::int32_t kWsFionbio = FIONBIO;
inline constexpr std::uint32_t kWsInaddrNone = INADDR_NONE;

// WinSock's number for a C library error number.
int WinsockErrorFor(int errorNumber);

// Records the WinSock error for `errorNumber` as the thread's last error.
void SetLastErrorFromErrno(int errorNumber);

// False, with WSANOTINITIALISED as the last error, when no WSAStartup is in
// force.
bool RequireStartup();

// The error injected for the next use of `call`, or 0 to go ahead.
int TakeInjectedFailure(SocketCall call);

}  // namespace snmphelper::winsock::detail
