/* SPDX-License-Identifier: Apache-2.0 */
// WinSock 1.1 as the library uses it: the calls, records and constants of the
// Windows socket interface, in a namespace of their own so that they never
// meet the C library's functions of the same spelling. The POSIX build
// provides them over BSD sockets with WinSock's semantics: start-up counting,
// a per-thread last error with WinSock's error numbers, and WinSock's answers
// for datagrams that do not fit and for ICMP errors. Every function takes
// exactly WinSock's arguments, so a thin shim can export the same
// implementation under WinSock's own names.
#pragma once

#include <cstddef>
#include <cstdint>

// The C library's socket headers (htons, ntohs and the socket constants)
// and Windows' own WinSock headers (every constant and error number below,
// and in_addr's s_addr) define many of these names as macros. Keep them out
// of the declarations below, whatever was included before, and give them
// back afterwards: a file that includes both this header and the system's
// then reaches the system's macros by the plain names, and this header's
// declarations only through code compiled without them.
#pragma push_macro("INVALID_SOCKET")
#pragma push_macro("SOCKET_ERROR")
#pragma push_macro("AF_INET")
#pragma push_macro("AF_IPX")
#pragma push_macro("SOCK_DGRAM")
#pragma push_macro("NSPROTO_IPX")
#pragma push_macro("SOL_SOCKET")
#pragma push_macro("SO_BROADCAST")
#pragma push_macro("SO_RCVBUF")
#pragma push_macro("FIONBIO")
#pragma push_macro("INADDR_ANY")
#pragma push_macro("INADDR_NONE")
#pragma push_macro("WSAEINTR")
#pragma push_macro("WSAEBADF")
#pragma push_macro("WSAEACCES")
#pragma push_macro("WSAEFAULT")
#pragma push_macro("WSAEINVAL")
#pragma push_macro("WSAEMFILE")
#pragma push_macro("WSAEWOULDBLOCK")
#pragma push_macro("WSAEINPROGRESS")
#pragma push_macro("WSAEALREADY")
#pragma push_macro("WSAENOTSOCK")
#pragma push_macro("WSAEDESTADDRREQ")
#pragma push_macro("WSAEMSGSIZE")
#pragma push_macro("WSAEPROTOTYPE")
#pragma push_macro("WSAENOPROTOOPT")
#pragma push_macro("WSAEPROTONOSUPPORT")
#pragma push_macro("WSAESOCKTNOSUPPORT")
#pragma push_macro("WSAEOPNOTSUPP")
#pragma push_macro("WSAEPFNOSUPPORT")
#pragma push_macro("WSAEAFNOSUPPORT")
#pragma push_macro("WSAEADDRINUSE")
#pragma push_macro("WSAEADDRNOTAVAIL")
#pragma push_macro("WSAENETDOWN")
#pragma push_macro("WSAENETUNREACH")
#pragma push_macro("WSAENETRESET")
#pragma push_macro("WSAECONNABORTED")
#pragma push_macro("WSAECONNRESET")
#pragma push_macro("WSAENOBUFS")
#pragma push_macro("WSAEISCONN")
#pragma push_macro("WSAENOTCONN")
#pragma push_macro("WSAESHUTDOWN")
#pragma push_macro("WSAETIMEDOUT")
#pragma push_macro("WSAECONNREFUSED")
#pragma push_macro("WSAENAMETOOLONG")
#pragma push_macro("WSAEHOSTDOWN")
#pragma push_macro("WSAEHOSTUNREACH")
#pragma push_macro("WSASYSNOTREADY")
#pragma push_macro("WSAVERNOTSUPPORTED")
#pragma push_macro("WSANOTINITIALISED")
#pragma push_macro("WSAHOST_NOT_FOUND")
#pragma push_macro("WSATRY_AGAIN")
#pragma push_macro("WSANO_RECOVERY")
#pragma push_macro("WSANO_DATA")
#pragma push_macro("s_addr")
#pragma push_macro("htons")
#pragma push_macro("ntohs")
#undef INVALID_SOCKET
#undef SOCKET_ERROR
#undef AF_INET
#undef AF_IPX
#undef SOCK_DGRAM
#undef NSPROTO_IPX
#undef SOL_SOCKET
#undef SO_BROADCAST
#undef SO_RCVBUF
#undef FIONBIO
#undef INADDR_ANY
#undef INADDR_NONE
#undef WSAEINTR
#undef WSAEBADF
#undef WSAEACCES
#undef WSAEFAULT
#undef WSAEINVAL
#undef WSAEMFILE
#undef WSAEWOULDBLOCK
#undef WSAEINPROGRESS
#undef WSAEALREADY
#undef WSAENOTSOCK
#undef WSAEDESTADDRREQ
#undef WSAEMSGSIZE
#undef WSAEPROTOTYPE
#undef WSAENOPROTOOPT
#undef WSAEPROTONOSUPPORT
#undef WSAESOCKTNOSUPPORT
#undef WSAEOPNOTSUPP
#undef WSAEPFNOSUPPORT
#undef WSAEAFNOSUPPORT
#undef WSAEADDRINUSE
#undef WSAEADDRNOTAVAIL
#undef WSAENETDOWN
#undef WSAENETUNREACH
#undef WSAENETRESET
#undef WSAECONNABORTED
#undef WSAECONNRESET
#undef WSAENOBUFS
#undef WSAEISCONN
#undef WSAENOTCONN
#undef WSAESHUTDOWN
#undef WSAETIMEDOUT
#undef WSAECONNREFUSED
#undef WSAENAMETOOLONG
#undef WSAEHOSTDOWN
#undef WSAEHOSTUNREACH
#undef WSASYSNOTREADY
#undef WSAVERNOTSUPPORTED
#undef WSANOTINITIALISED
#undef WSAHOST_NOT_FOUND
#undef WSATRY_AGAIN
#undef WSANO_RECOVERY
#undef WSANO_DATA
#undef s_addr
#undef htons
#undef ntohs

// WinSock's calling convention, for entry points reached through a pointer.
#if defined(_WIN32)
#define SNMPHELPER_WSAAPI __stdcall
#else
#define SNMPHELPER_WSAAPI
#endif

namespace snmphelper::winsock {

// A socket handle; INVALID_SOCKET is never one that exists.
using SOCKET = std::uintptr_t;
inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET = 2;
inline constexpr int AF_IPX = 6;
inline constexpr int SOCK_DGRAM = 2;
inline constexpr int NSPROTO_IPX = 1000;
inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_BROADCAST = 0x0020;
// The room the system keeps for datagrams not yet read: a 4-byte integer.
inline constexpr int SO_RCVBUF = 0x1002;
inline constexpr std::int32_t FIONBIO = static_cast<std::int32_t>(0x8004667EU);
inline constexpr std::uint32_t INADDR_ANY = 0x00000000U;
inline constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFFU;

// WinSock's version word: major version in the low byte.
constexpr std::uint16_t MakeVersion(std::uint8_t major, std::uint8_t minor) {
    return static_cast<std::uint16_t>(major | (minor << 8));
}

// Last-error numbers (WSAGetLastError) and WSAStartup's answers.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

struct WSADATA {
    std::uint16_t wVersion;
    std::uint16_t wHighVersion;
#ifdef _WIN64
    // 64-bit Windows moved the fixed-size fields ahead of the texts.
    std::uint16_t iMaxSockets;
    std::uint16_t iMaxUdpDg;
    char *lpVendorInfo;
    char szDescription[257];
    char szSystemStatus[129];
#else
    char szDescription[257];
    char szSystemStatus[129];
    std::uint16_t iMaxSockets;
    std::uint16_t iMaxUdpDg;
    char *lpVendorInfo;
#endif
};

// Generic socket address, 16 bytes; the family is in host order.
struct sockaddr {
    std::uint16_t sa_family;
    char sa_data[14];
};

struct in_addr {
    std::uint32_t s_addr;  // network order
};

// The Internet socket address, 16 bytes.
struct sockaddr_in {
    std::int16_t sin_family;  // AF_INET, host order
    std::uint16_t sin_port;   // network order
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16 && sizeof(sockaddr) == 16);

// The IPX socket address (wsipx.h), 14 bytes: network and node numbers as
// carried on the wire, the socket number in network order.
struct SOCKADDR_IPX {
    std::int16_t sa_family;  // AF_IPX, host order
    char sa_netnum[4];
    char sa_nodenum[6];
    std::uint16_t sa_socket;
};
static_assert(sizeof(SOCKADDR_IPX) == 14);

// WinSock's socket set: a count and an array of handles (not a bit mask).
inline constexpr std::uint32_t kFdSetCapacity = 64;  // WinSock's FD_SETSIZE
struct fd_set {
    std::uint32_t fd_count;
    SOCKET fd_array[kFdSetCapacity];
};

// WinSock's FD_ZERO, FD_SET and FD_ISSET.
inline void FdSetClear(fd_set &set) { set.fd_count = 0; }
inline void FdSetAdd(SOCKET socket, fd_set &set) {
    for (std::uint32_t i = 0; i < set.fd_count; ++i) {
        if (set.fd_array[i] == socket) return;
    }
    if (set.fd_count < kFdSetCapacity) set.fd_array[set.fd_count++] = socket;
}
inline bool FdSetContains(SOCKET socket, const fd_set &set) {
    for (std::uint32_t i = 0; i < set.fd_count && i < kFdSetCapacity; ++i) {
        if (set.fd_array[i] == socket) return true;
    }
    return false;
}

struct timeval {
    std::int32_t tv_sec;
    std::int32_t tv_usec;
};

// A host entry. The storage belongs to the calling thread and is reused by
// its next gethostbyname.
struct hostent {
    char *h_name;
    char **h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char **h_addr_list;  // null-terminated; each entry h_length bytes, network order
};

// Start-up and last error. Every call below except inet_addr, htons and
// ntohs needs a WSAStartup that has not been ended by its WSACleanup; the
// last WSACleanup closes the sockets still open.
int WSAStartup(std::uint16_t versionRequested, WSADATA *data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

// Sockets. Failures answer SOCKET_ERROR (INVALID_SOCKET, null) and leave the
// reason in WSAGetLastError.
SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int ioctlsocket(SOCKET s, std::int32_t command, std::uint32_t *argument);
int setsockopt(SOCKET s, int level, int option, const char *value, int valueLength);
int bind(SOCKET s, const sockaddr *name, int nameLength);
int getsockname(SOCKET s, sockaddr *name, int *nameLength);
// A datagram socket's default peer; nothing is sent, but the system picks
// the route, and so the local address getsockname then reports.
int connect(SOCKET s, const sockaddr *name, int nameLength);
int sendto(SOCKET s, const char *buffer, int length, int flags, const sockaddr *to, int toLength);
int recvfrom(SOCKET s, char *buffer, int length, int flags, sockaddr *from, int *fromLength);

// Beyond WinSock 1.1, for a socket that serves many peers: datagrams sent in
// order, as one sendto each would send them, in one system call where the
// system has one for it (Linux's sendmmsg). Not exported under WinSock's
// names. The number sent, from the first; fewer than `count` when the one
// after them could not be sent (sending it alone tells why); SOCKET_ERROR,
// with the reason in WSAGetLastError, when the first could not.
struct OutgoingDatagram {
    const char *buffer;
    int length;
    const sockaddr *to;
    int toLength;
};
int SendToMany(SOCKET s, const OutgoingDatagram *datagrams, int count);
// The count of sockets ready in all three sets, each set reduced to its
// ready sockets; 0 when the timeout (null: none) passed first.
int select(int ignored, fd_set *readSet, fd_set *writeSet, fd_set *exceptSet,
           const timeval *timeout);

// Names and byte order.
std::uint32_t inet_addr(const char *text);
std::uint16_t htons(std::uint16_t hostValue);
std::uint16_t ntohs(std::uint16_t networkValue);
int gethostname(char *name, int nameLength);
hostent *gethostbyname(const char *name);

// Tests: the points at which a system failure can be injected.
enum class SocketCall { Socket, NonBlocking, SetOption, Bind, SendTo, Select, RecvFrom, HostName };

// Tests: the next `count` uses of `call` fail with the WinSock error
// `winsockError` before reaching the system, so that failures a loopback
// network never produces reach the callers. A count of 0 disarms.
void FailSocketCall(SocketCall call, int winsockError, int count = 1);

// Tests: sockets open now, and the WSAStartup calls not yet ended.
std::size_t OpenSocketCount();
int StartupCount();

}  // namespace snmphelper::winsock

#pragma pop_macro("INVALID_SOCKET")
#pragma pop_macro("SOCKET_ERROR")
#pragma pop_macro("AF_INET")
#pragma pop_macro("AF_IPX")
#pragma pop_macro("SOCK_DGRAM")
#pragma pop_macro("NSPROTO_IPX")
#pragma pop_macro("SOL_SOCKET")
#pragma pop_macro("SO_BROADCAST")
#pragma pop_macro("SO_RCVBUF")
#pragma pop_macro("FIONBIO")
#pragma pop_macro("INADDR_ANY")
#pragma pop_macro("INADDR_NONE")
#pragma pop_macro("WSAEINTR")
#pragma pop_macro("WSAEBADF")
#pragma pop_macro("WSAEACCES")
#pragma pop_macro("WSAEFAULT")
#pragma pop_macro("WSAEINVAL")
#pragma pop_macro("WSAEMFILE")
#pragma pop_macro("WSAEWOULDBLOCK")
#pragma pop_macro("WSAEINPROGRESS")
#pragma pop_macro("WSAEALREADY")
#pragma pop_macro("WSAENOTSOCK")
#pragma pop_macro("WSAEDESTADDRREQ")
#pragma pop_macro("WSAEMSGSIZE")
#pragma pop_macro("WSAEPROTOTYPE")
#pragma pop_macro("WSAENOPROTOOPT")
#pragma pop_macro("WSAEPROTONOSUPPORT")
#pragma pop_macro("WSAESOCKTNOSUPPORT")
#pragma pop_macro("WSAEOPNOTSUPP")
#pragma pop_macro("WSAEPFNOSUPPORT")
#pragma pop_macro("WSAEAFNOSUPPORT")
#pragma pop_macro("WSAEADDRINUSE")
#pragma pop_macro("WSAEADDRNOTAVAIL")
#pragma pop_macro("WSAENETDOWN")
#pragma pop_macro("WSAENETUNREACH")
#pragma pop_macro("WSAENETRESET")
#pragma pop_macro("WSAECONNABORTED")
#pragma pop_macro("WSAECONNRESET")
#pragma pop_macro("WSAENOBUFS")
#pragma pop_macro("WSAEISCONN")
#pragma pop_macro("WSAENOTCONN")
#pragma pop_macro("WSAESHUTDOWN")
#pragma pop_macro("WSAETIMEDOUT")
#pragma pop_macro("WSAECONNREFUSED")
#pragma pop_macro("WSAENAMETOOLONG")
#pragma pop_macro("WSAEHOSTDOWN")
#pragma pop_macro("WSAEHOSTUNREACH")
#pragma pop_macro("WSASYSNOTREADY")
#pragma pop_macro("WSAVERNOTSUPPORTED")
#pragma pop_macro("WSANOTINITIALISED")
#pragma pop_macro("WSAHOST_NOT_FOUND")
#pragma pop_macro("WSATRY_AGAIN")
#pragma pop_macro("WSANO_RECOVERY")
#pragma pop_macro("WSANO_DATA")
#pragma pop_macro("s_addr")
#pragma pop_macro("htons")
#pragma pop_macro("ntohs")
