/* SPDX-License-Identifier: Apache-2.0 */
// The rest of WinSock 1.1, which the library itself never calls but a
// WinSock library exports: connected datagram calls (connect, which the
// library uses, is in the seam), byte order and address
// text, service and protocol look-ups, and the asynchronous and
// blocking-hook calls, which have no meaning here and fail cleanly. Only the
// exported WinSock library (wsock32.so) uses these.
#pragma once

#include "platform/winsock.h"

#pragma push_macro("htonl")
#pragma push_macro("ntohl")
#undef htonl
#undef ntohl

namespace snmphelper::winsock {

// WinSock's service and protocol entries (winsock.h's 32-bit order).
struct servent {
    char *s_name;
    char **s_aliases;
    std::int16_t s_port;  // network order
    char *s_proto;
};

struct protoent {
    char *p_name;
    char **p_aliases;
    std::int16_t p_proto;
};

using BlockingHook = int(SNMPHELPER_WSAAPI *)();  // FARPROC
using WindowHandle = void *;                       // HWND
using AsyncHandle = void *;                        // HANDLE of an asynchronous request

SOCKET accept(SOCKET s, sockaddr *address, int *addressLength);
int getpeername(SOCKET s, sockaddr *name, int *nameLength);
int getsockopt(SOCKET s, int level, int option, char *value, int *valueLength);
int listen(SOCKET s, int backlog);
int recv(SOCKET s, char *buffer, int length, int flags);
int send(SOCKET s, const char *buffer, int length, int flags);
int shutdown(SOCKET s, int how);
// recv that also tells, through `flags`, whether the datagram was cut.
int WSARecvEx(SOCKET s, char *buffer, int length, int *flags);
inline constexpr int MSG_PARTIAL = 0x8000;

std::uint32_t htonl(std::uint32_t hostValue);
std::uint32_t ntohl(std::uint32_t networkValue);
// Dotted-decimal text of `address`, in storage of the calling thread.
char *inet_ntoa(in_addr address);

hostent *gethostbyaddr(const char *address, int length, int type);
servent *getservbyport(int port, const char *protocol);
servent *getservbyname(const char *name, const char *protocol);
protoent *getprotobynumber(int number);
protoent *getprotobyname(const char *name);

int WSAIsBlocking();
int WSAUnhookBlockingHook();
BlockingHook WSASetBlockingHook(BlockingHook hook);
int WSACancelBlockingCall();
AsyncHandle WSAAsyncGetServByName(WindowHandle window, unsigned message, const char *name,
                                  const char *protocol, char *buffer, int length);
AsyncHandle WSAAsyncGetServByPort(WindowHandle window, unsigned message, int port,
                                  const char *protocol, char *buffer, int length);
AsyncHandle WSAAsyncGetProtoByName(WindowHandle window, unsigned message, const char *name,
                                   char *buffer, int length);
AsyncHandle WSAAsyncGetProtoByNumber(WindowHandle window, unsigned message, int number,
                                     char *buffer, int length);
AsyncHandle WSAAsyncGetHostByName(WindowHandle window, unsigned message, const char *name,
                                  char *buffer, int length);
AsyncHandle WSAAsyncGetHostByAddr(WindowHandle window, unsigned message, const char *address,
                                  int addressLength, int type, char *buffer, int length);
int WSACancelAsyncRequest(AsyncHandle request);
int WSAAsyncSelect(SOCKET s, WindowHandle window, unsigned message, std::int32_t events);

}  // namespace snmphelper::winsock

#pragma pop_macro("htonl")
#pragma pop_macro("ntohl")
