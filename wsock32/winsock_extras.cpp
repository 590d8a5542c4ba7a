// SPDX-License-Identifier: Apache-2.0
// The WinSock calls that only the exported WinSock library offers. Like the
// rest of this implementation, nothing here calls a C library function that
// WinSock also names: those are looked up with dlsym (see winsock.cpp).
#include "wsock32/winsock_internal.h"
#include "wsock32/winsock_extras.h"

#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "wsock32/read_ahead.h"

namespace snmphelper::winsock {
namespace {

using detail::DescriptorOf;
using detail::Fail;
using detail::FailFromErrno;

struct ConnectionCalls {
    int (*connect)(int, const ::sockaddr *, ::socklen_t);
    int (*getpeername)(int, ::sockaddr *, ::socklen_t *);
    int (*shutdown)(int, int);
};

const ConnectionCalls &Connection() {
    static const ConnectionCalls calls{
        reinterpret_cast<decltype(ConnectionCalls::connect)>(::dlsym(RTLD_DEFAULT, "connect")),
        reinterpret_cast<decltype(ConnectionCalls::getpeername)>(
            ::dlsym(RTLD_DEFAULT, "getpeername")),
        reinterpret_cast<decltype(ConnectionCalls::shutdown)>(::dlsym(RTLD_DEFAULT, "shutdown")),
    };
    return calls;
}

// The descriptor of an Internet socket, or -1 with the last error set; the
// connected calls have no meaning for the other families here.
int InternetDescriptorOf(SOCKET s) {
    const int descriptor = DescriptorOf(s);
    if (descriptor < 0) return -1;
    ::sockaddr_in local{};
    ::socklen_t length = sizeof local;
    if (detail::System().getsockname == nullptr ||
        detail::System().getsockname(descriptor, reinterpret_cast<::sockaddr *>(&local), &length) !=
            0 ||
        local.sin_family != AF_INET) {
        WSASetLastError(WSAEOPNOTSUPP);
        return -1;
    }
    return descriptor;
}

std::uint32_t SwapToFromNetwork(std::uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        return ((value & 0xFFU) << 24) | ((value & 0xFF00U) << 8) | ((value >> 8) & 0xFF00U) |
               (value >> 24);
    } else {
        return value;
    }
}

// Each look-up's answer lives per thread until the thread's next look-up of
// the same kind, as WinSock keeps it.
struct ThreadServiceEntry {
    char storage[4096];
    ::servent systemEntry;
    servent entry;
};
struct ThreadProtocolEntry {
    char storage[4096];
    ::protoent systemEntry;
    protoent entry;
};
struct ThreadHostByAddress {
    char storage[8192];
    ::hostent systemEntry;
    hostent entry;
};
thread_local ThreadServiceEntry threadService;
thread_local ThreadProtocolEntry threadProtocol;
thread_local ThreadHostByAddress threadHostByAddress;

servent *ServiceAnswer(int status, const ::servent *result) {
    if (status != 0 || result == nullptr) {
        WSASetLastError(status == ERANGE ? WSAENOBUFS : WSANO_DATA);
        return nullptr;
    }
    threadService.entry = {result->s_name, result->s_aliases,
                           static_cast<std::int16_t>(result->s_port), result->s_proto};
    return &threadService.entry;
}

protoent *ProtocolAnswer(int status, const ::protoent *result) {
    if (status != 0 || result == nullptr) {
        WSASetLastError(status == ERANGE ? WSAENOBUFS : WSANO_DATA);
        return nullptr;
    }
    threadProtocol.entry = {result->p_name, result->p_aliases,
                            static_cast<std::int16_t>(result->p_proto)};
    return &threadProtocol.entry;
}

AsyncHandle NoAsyncRequest() {
    WSASetLastError(WSAEOPNOTSUPP);
    return nullptr;
}

}  // namespace

SOCKET accept(SOCKET s, sockaddr *, int *) {
    // Only datagram sockets exist here, and they accept no connections.
    if (DescriptorOf(s) < 0) return INVALID_SOCKET;
    WSASetLastError(WSAEOPNOTSUPP);
    return INVALID_SOCKET;
}

int listen(SOCKET s, int) {
    if (DescriptorOf(s) < 0) return SOCKET_ERROR;
    return Fail(WSAEOPNOTSUPP);
}

int connect(SOCKET s, const sockaddr *name, int nameLength) {
    const int descriptor = InternetDescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (name == nullptr || nameLength < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
    sockaddr_in peer;
    std::memcpy(&peer, name, sizeof peer);
    if (peer.sin_family != detail::kWsAfInet) return Fail(WSAEAFNOSUPPORT);
    ::sockaddr_in system{};
    system.sin_family = AF_INET;
    system.sin_port = peer.sin_port;
    system.sin_addr.s_addr = peer.sin_addr.s_addr;
    if (Connection().connect == nullptr) return FailFromErrno(ENOSYS);
    if (Connection().connect(descriptor, reinterpret_cast<const ::sockaddr *>(&system),
                             sizeof system) != 0) {
        return FailFromErrno(errno);
    }
    return 0;
}

int getpeername(SOCKET s, sockaddr *name, int *nameLength) {
    const int descriptor = InternetDescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (name == nullptr || nameLength == nullptr ||
        *nameLength < static_cast<int>(sizeof(sockaddr_in))) {
        return Fail(WSAEFAULT);
    }
    ::sockaddr_in system{};
    ::socklen_t length = sizeof system;
    if (Connection().getpeername == nullptr) return FailFromErrno(ENOSYS);
    if (Connection().getpeername(descriptor, reinterpret_cast<::sockaddr *>(&system), &length) != 0) {
        return FailFromErrno(errno);
    }
    sockaddr_in peer{};
    peer.sin_family = static_cast<std::int16_t>(detail::kWsAfInet);
    peer.sin_port = system.sin_port;
    peer.sin_addr.s_addr = system.sin_addr.s_addr;
    std::memcpy(name, &peer, sizeof peer);
    *nameLength = static_cast<int>(sizeof peer);
    return 0;
}

int getsockopt(SOCKET s, int level, int option, char *value, int *valueLength) {
    if (DescriptorOf(s) < 0) return SOCKET_ERROR;
    // Every socket here is a datagram socket; that is all WinSock 1.1 callers ask.
    constexpr int kSoType = 0x1008;
    if (level != detail::kWsSolSocket || option != kSoType) return Fail(WSAENOPROTOOPT);
    if (value == nullptr || valueLength == nullptr || *valueLength < 4) return Fail(WSAEFAULT);
    const std::int32_t type = detail::kWsSockDgram;
    std::memcpy(value, &type, sizeof type);
    *valueLength = sizeof type;
    return 0;
}

int shutdown(SOCKET s, int how) {
    const int descriptor = InternetDescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (how < 0 || how > 2) return Fail(WSAEINVAL);
    if (Connection().shutdown == nullptr) return FailFromErrno(ENOSYS);
    // WinSock's SD_RECEIVE, SD_SEND and SD_BOTH are the system's 0, 1 and 2.
    if (Connection().shutdown(descriptor, how) != 0) return FailFromErrno(errno);
    return 0;
}

int send(SOCKET s, const char *buffer, int length, int flags) {
    const int descriptor = InternetDescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
    if (flags != 0) return Fail(WSAEOPNOTSUPP);
    ::iovec data{const_cast<char *>(buffer), static_cast<std::size_t>(length)};
    ::msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    ::ssize_t sent = 0;
    do {
        sent = ::sendmsg(descriptor, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return FailFromErrno(errno == EDESTADDRREQ ? ENOTCONN : errno);
    return static_cast<int>(sent);
}

int WSARecvEx(SOCKET s, char *buffer, int length, int *flags) {
    const int descriptor = InternetDescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
    if (flags != nullptr && *flags != 0) return Fail(WSAEOPNOTSUPP);
    // Through the socket's read-ahead: what recvfrom read ahead comes first.
    const std::shared_ptr<detail::ReadAhead> ahead = detail::ReadAheadOf(descriptor);
    if (ahead == nullptr) return Fail(WSAENOBUFS);
    ::sockaddr_in sender{};
    bool cut = false;
    const ::ssize_t received = ahead->Receive(descriptor, buffer, static_cast<std::size_t>(length), sender, cut);
    if (received < 0) return FailFromErrno(errno);
    if (flags != nullptr) {
        // WSARecvEx reports a cut datagram through its flags, not as a failure.
        *flags = cut ? MSG_PARTIAL : 0;
        return static_cast<int>(received);
    }
    if (cut) return Fail(WSAEMSGSIZE);
    return static_cast<int>(received);
}

int recv(SOCKET s, char *buffer, int length, int flags) {
    if (flags != 0) {
        if (DescriptorOf(s) < 0) return SOCKET_ERROR;
        return Fail(WSAEOPNOTSUPP);
    }
    return WSARecvEx(s, buffer, length, nullptr);
}

std::uint32_t(htonl)(std::uint32_t hostValue) { return SwapToFromNetwork(hostValue); }

std::uint32_t(ntohl)(std::uint32_t networkValue) { return SwapToFromNetwork(networkValue); }

char *inet_ntoa(in_addr address) {
    thread_local char text[16];
    unsigned char bytes[4];
    std::memcpy(bytes, &address.s_addr, sizeof bytes);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

hostent *gethostbyaddr(const char *address, int length, int type) {
    if (!detail::RequireStartup()) return nullptr;
    if (address == nullptr || length != 4) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    if (type != detail::kWsAfInet) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return nullptr;
    }
    ThreadHostByAddress &host = threadHostByAddress;
    ::hostent *result = nullptr;
    int hostError = 0;
    const int status = ::gethostbyaddr_r(address, 4, AF_INET, &host.systemEntry, host.storage,
                                         sizeof host.storage, &result, &hostError);
    if (status != 0 || result == nullptr) {
        WSASetLastError(status == ERANGE           ? WSAENOBUFS
                        : hostError == HOST_NOT_FOUND ? WSAHOST_NOT_FOUND
                        : hostError == TRY_AGAIN      ? WSATRY_AGAIN
                                                      : WSANO_DATA);
        return nullptr;
    }
    host.entry = {result->h_name, result->h_aliases, static_cast<std::int16_t>(detail::kWsAfInet),
                  static_cast<std::int16_t>(result->h_length), result->h_addr_list};
    return &host.entry;
}

servent *getservbyport(int port, const char *protocol) {
    if (!detail::RequireStartup()) return nullptr;
    ::servent *result = nullptr;
    const int status = ::getservbyport_r(port, protocol, &threadService.systemEntry,
                                         threadService.storage, sizeof threadService.storage,
                                         &result);
    return ServiceAnswer(status, result);
}

servent *getservbyname(const char *name, const char *protocol) {
    if (!detail::RequireStartup()) return nullptr;
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    ::servent *result = nullptr;
    const int status = ::getservbyname_r(name, protocol, &threadService.systemEntry,
                                         threadService.storage, sizeof threadService.storage,
                                         &result);
    return ServiceAnswer(status, result);
}

protoent *getprotobynumber(int number) {
    if (!detail::RequireStartup()) return nullptr;
    ::protoent *result = nullptr;
    const int status = ::getprotobynumber_r(number, &threadProtocol.systemEntry,
                                            threadProtocol.storage, sizeof threadProtocol.storage,
                                            &result);
    return ProtocolAnswer(status, result);
}

protoent *getprotobyname(const char *name) {
    if (!detail::RequireStartup()) return nullptr;
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    ::protoent *result = nullptr;
    const int status = ::getprotobyname_r(name, &threadProtocol.systemEntry, threadProtocol.storage,
                                          sizeof threadProtocol.storage, &result);
    return ProtocolAnswer(status, result);
}

// Every call here completes before it returns, so nothing ever blocks in
// WinSock's sense and there is nothing to hook or cancel.
int WSAIsBlocking() { return 0; }

int WSAUnhookBlockingHook() { return Fail(WSAEOPNOTSUPP); }

BlockingHook WSASetBlockingHook(BlockingHook) {
    WSASetLastError(WSAEOPNOTSUPP);
    return nullptr;
}

int WSACancelBlockingCall() { return Fail(WSAEINVAL); }

// No window messages exist here to deliver an asynchronous answer.
AsyncHandle WSAAsyncGetServByName(WindowHandle, unsigned, const char *, const char *, char *, int) {
    return NoAsyncRequest();
}

AsyncHandle WSAAsyncGetServByPort(WindowHandle, unsigned, int, const char *, char *, int) {
    return NoAsyncRequest();
}

AsyncHandle WSAAsyncGetProtoByName(WindowHandle, unsigned, const char *, char *, int) {
    return NoAsyncRequest();
}

AsyncHandle WSAAsyncGetProtoByNumber(WindowHandle, unsigned, int, char *, int) {
    return NoAsyncRequest();
}

AsyncHandle WSAAsyncGetHostByName(WindowHandle, unsigned, const char *, char *, int) {
    return NoAsyncRequest();
}

AsyncHandle WSAAsyncGetHostByAddr(WindowHandle, unsigned, const char *, int, int, char *, int) {
    return NoAsyncRequest();
}

int WSACancelAsyncRequest(AsyncHandle) { return Fail(WSAEINVAL); }

int WSAAsyncSelect(SOCKET s, WindowHandle, unsigned, std::int32_t) {
    if (DescriptorOf(s) < 0) return SOCKET_ERROR;
    return Fail(WSAEOPNOTSUPP);
}

}  // namespace snmphelper::winsock
