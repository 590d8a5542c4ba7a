// SPDX-License-Identifier: Apache-2.0
// wsock32.so: the WinSock library of this platform, loaded at run time as
// Windows' wsock32.dll is. It exports WinSock 1.1's 47 names with C linkage
// and WinSock's arguments and records, over the WinSock layer of
// wsock32/ (the Internet family over BSD sockets, IPX over packet
// sockets). No system header is read here: several of them declare these
// very names.
#include "wsock32/winsock_extras.h"
#include "platform/winsock.h"

#pragma push_macro("htons")
#pragma push_macro("ntohs")
#pragma push_macro("htonl")
#pragma push_macro("ntohl")
#undef htons
#undef ntohs
#undef htonl
#undef ntohl

namespace ws = snmphelper::winsock;

#define WINSOCK_EXPORT extern "C" __attribute__((visibility("default")))

WINSOCK_EXPORT ws::SOCKET accept(ws::SOCKET s, ws::sockaddr *address, int *length) {
    return ws::accept(s, address, length);
}
WINSOCK_EXPORT int bind(ws::SOCKET s, const ws::sockaddr *name, int length) {
    return ws::bind(s, name, length);
}
WINSOCK_EXPORT int closesocket(ws::SOCKET s) { return ws::closesocket(s); }
WINSOCK_EXPORT int connect(ws::SOCKET s, const ws::sockaddr *name, int length) {
    return ws::connect(s, name, length);
}
WINSOCK_EXPORT int ioctlsocket(ws::SOCKET s, std::int32_t command, std::uint32_t *argument) {
    return ws::ioctlsocket(s, command, argument);
}
WINSOCK_EXPORT int getpeername(ws::SOCKET s, ws::sockaddr *name, int *length) {
    return ws::getpeername(s, name, length);
}
WINSOCK_EXPORT int getsockname(ws::SOCKET s, ws::sockaddr *name, int *length) {
    return ws::getsockname(s, name, length);
}
WINSOCK_EXPORT int getsockopt(ws::SOCKET s, int level, int option, char *value, int *length) {
    return ws::getsockopt(s, level, option, value, length);
}
WINSOCK_EXPORT std::uint32_t htonl(std::uint32_t value) { return ws::htonl(value); }
WINSOCK_EXPORT std::uint16_t htons(std::uint16_t value) { return ws::htons(value); }
WINSOCK_EXPORT std::uint32_t inet_addr(const char *text) { return ws::inet_addr(text); }
WINSOCK_EXPORT char *inet_ntoa(ws::in_addr address) { return ws::inet_ntoa(address); }
WINSOCK_EXPORT int listen(ws::SOCKET s, int backlog) { return ws::listen(s, backlog); }
WINSOCK_EXPORT std::uint32_t ntohl(std::uint32_t value) { return ws::ntohl(value); }
WINSOCK_EXPORT std::uint16_t ntohs(std::uint16_t value) { return ws::ntohs(value); }
WINSOCK_EXPORT int recv(ws::SOCKET s, char *buffer, int length, int flags) {
    return ws::recv(s, buffer, length, flags);
}
WINSOCK_EXPORT int recvfrom(ws::SOCKET s, char *buffer, int length, int flags, ws::sockaddr *from,
                            int *fromLength) {
    return ws::recvfrom(s, buffer, length, flags, from, fromLength);
}
WINSOCK_EXPORT int select(int ignored, ws::fd_set *readSet, ws::fd_set *writeSet,
                          ws::fd_set *exceptSet, const ws::timeval *timeout) {
    return ws::select(ignored, readSet, writeSet, exceptSet, timeout);
}
WINSOCK_EXPORT int send(ws::SOCKET s, const char *buffer, int length, int flags) {
    return ws::send(s, buffer, length, flags);
}
WINSOCK_EXPORT int sendto(ws::SOCKET s, const char *buffer, int length, int flags,
                          const ws::sockaddr *to, int toLength) {
    return ws::sendto(s, buffer, length, flags, to, toLength);
}
WINSOCK_EXPORT int setsockopt(ws::SOCKET s, int level, int option, const char *value, int length) {
    return ws::setsockopt(s, level, option, value, length);
}
WINSOCK_EXPORT int shutdown(ws::SOCKET s, int how) { return ws::shutdown(s, how); }
WINSOCK_EXPORT ws::SOCKET socket(int af, int type, int protocol) {
    return ws::socket(af, type, protocol);
}
WINSOCK_EXPORT ws::hostent *gethostbyaddr(const char *address, int length, int type) {
    return ws::gethostbyaddr(address, length, type);
}
WINSOCK_EXPORT ws::hostent *gethostbyname(const char *name) { return ws::gethostbyname(name); }
WINSOCK_EXPORT int gethostname(char *name, int length) { return ws::gethostname(name, length); }
WINSOCK_EXPORT ws::servent *getservbyport(int port, const char *protocol) {
    return ws::getservbyport(port, protocol);
}
WINSOCK_EXPORT ws::servent *getservbyname(const char *name, const char *protocol) {
    return ws::getservbyname(name, protocol);
}
WINSOCK_EXPORT ws::protoent *getprotobynumber(int number) { return ws::getprotobynumber(number); }
WINSOCK_EXPORT ws::protoent *getprotobyname(const char *name) { return ws::getprotobyname(name); }
WINSOCK_EXPORT int WSAStartup(std::uint16_t version, ws::WSADATA *data) {
    return ws::WSAStartup(version, data);
}
WINSOCK_EXPORT int WSACleanup() { return ws::WSACleanup(); }
WINSOCK_EXPORT void WSASetLastError(int error) { ws::WSASetLastError(error); }
WINSOCK_EXPORT int WSAGetLastError() { return ws::WSAGetLastError(); }
WINSOCK_EXPORT int WSAIsBlocking() { return ws::WSAIsBlocking(); }
WINSOCK_EXPORT int WSAUnhookBlockingHook() { return ws::WSAUnhookBlockingHook(); }
WINSOCK_EXPORT ws::BlockingHook WSASetBlockingHook(ws::BlockingHook hook) {
    return ws::WSASetBlockingHook(hook);
}
WINSOCK_EXPORT int WSACancelBlockingCall() { return ws::WSACancelBlockingCall(); }
WINSOCK_EXPORT ws::AsyncHandle WSAAsyncGetServByName(ws::WindowHandle window, unsigned message,
                                                     const char *name, const char *protocol,
                                                     char *buffer, int length) {
    return ws::WSAAsyncGetServByName(window, message, name, protocol, buffer, length);
}
WINSOCK_EXPORT ws::AsyncHandle WSAAsyncGetServByPort(ws::WindowHandle window, unsigned message,
                                                     int port, const char *protocol, char *buffer,
                                                     int length) {
    return ws::WSAAsyncGetServByPort(window, message, port, protocol, buffer, length);
}
WINSOCK_EXPORT ws::AsyncHandle WSAAsyncGetProtoByName(ws::WindowHandle window, unsigned message,
                                                      const char *name, char *buffer, int length) {
    return ws::WSAAsyncGetProtoByName(window, message, name, buffer, length);
}
WINSOCK_EXPORT ws::AsyncHandle WSAAsyncGetProtoByNumber(ws::WindowHandle window, unsigned message,
                                                        int number, char *buffer, int length) {
    return ws::WSAAsyncGetProtoByNumber(window, message, number, buffer, length);
}
WINSOCK_EXPORT ws::AsyncHandle WSAAsyncGetHostByName(ws::WindowHandle window, unsigned message,
                                                     const char *name, char *buffer, int length) {
    return ws::WSAAsyncGetHostByName(window, message, name, buffer, length);
}
WINSOCK_EXPORT ws::AsyncHandle WSAAsyncGetHostByAddr(ws::WindowHandle window, unsigned message,
                                                     const char *address, int addressLength,
                                                     int type, char *buffer, int length) {
    return ws::WSAAsyncGetHostByAddr(window, message, address, addressLength, type, buffer, length);
}
WINSOCK_EXPORT int WSACancelAsyncRequest(ws::AsyncHandle request) {
    return ws::WSACancelAsyncRequest(request);
}
WINSOCK_EXPORT int WSAAsyncSelect(ws::SOCKET s, ws::WindowHandle window, unsigned message,
                                  std::int32_t events) {
    return ws::WSAAsyncSelect(s, window, message, events);
}
WINSOCK_EXPORT int WSARecvEx(ws::SOCKET s, char *buffer, int length, int *flags) {
    return ws::WSARecvEx(s, buffer, length, flags);
}

#pragma pop_macro("htons")
#pragma pop_macro("ntohs")
#pragma pop_macro("htonl")
#pragma pop_macro("ntohl")
