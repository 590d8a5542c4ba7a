// SPDX-License-Identifier: Apache-2.0
// WinSock's calls on an IPX socket: its address record, bind, send and
// receive over the IPX socket of ipx_socket.h.
#include "wsock32/winsock_internal.h"

#include <fcntl.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include "wsock32/ipx_socket.h"

namespace snmphelper::winsock::detail {

bool FromIpxRecord(const sockaddr *name, int nameLength, ipx::IpxAddress &address) {
    if (name == nullptr || nameLength < static_cast<int>(sizeof(SOCKADDR_IPX))) {
        WSASetLastError(WSAEFAULT);
        return false;
    }
    SOCKADDR_IPX record;
    std::memcpy(&record, name, sizeof record);
    if (record.sa_family != detail::kWsAfIpx) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return false;
    }
    std::memcpy(address.network.data(), record.sa_netnum, address.network.size());
    std::memcpy(address.node.data(), record.sa_nodenum, address.node.size());
    address.socket = ntohs(record.sa_socket);
    return true;
}

void ToIpxRecord(const ipx::IpxAddress &address, sockaddr *name, int *nameLength) {
    SOCKADDR_IPX record{};
    record.sa_family = static_cast<std::int16_t>(detail::kWsAfIpx);
    std::memcpy(record.sa_netnum, address.network.data(), address.network.size());
    std::memcpy(record.sa_nodenum, address.node.data(), address.node.size());
    record.sa_socket = htons(address.socket);
    std::memcpy(name, &record, sizeof record);
    *nameLength = static_cast<int>(sizeof record);
}

// Binding an IPX socket: the record's network and node may be 0 or ours;
// they choose no interface, there being one.
int BindIpx(ipx::IpxSocket &socket, const sockaddr *name, int nameLength) {
    ipx::IpxAddress wanted;
    if (!FromIpxRecord(name, nameLength, wanted)) return SOCKET_ERROR;
    const ipx::IpxAddress ours = socket.LocalAddress();
    if ((wanted.network != ipx::NetworkNumber{} && wanted.network != ours.network) ||
        (wanted.node != ipx::NodeNumber{} && wanted.node != ours.node)) {
        return Fail(WSAEADDRNOTAVAIL);
    }
    if (TakeInjectedFailure(SocketCall::Bind)) return SOCKET_ERROR;
    if (const int error = socket.Bind(wanted.socket)) return FailFromErrno(error);
    return 0;
}

int SendIpx(ipx::IpxSocket &socket, const char *buffer, int length, const sockaddr *to,
            int toLength) {
    ipx::IpxAddress destination;
    if (!FromIpxRecord(to, toLength, destination)) return SOCKET_ERROR;
    if (TakeInjectedFailure(SocketCall::SendTo)) return SOCKET_ERROR;
    if (const int error = socket.SendTo(reinterpret_cast<const std::uint8_t *>(buffer),
                                        static_cast<std::size_t>(length), destination)) {
        return FailFromErrno(error);
    }
    return length;
}

int ReceiveIpx(ipx::IpxSocket &socket, char *buffer, int length, int flags, sockaddr *from,
               int *fromLength) {
    if (from != nullptr &&
        (fromLength == nullptr || *fromLength < static_cast<int>(sizeof(SOCKADDR_IPX)))) {
        return Fail(WSAEFAULT);
    }
    if (flags != 0) return Fail(WSAEOPNOTSUPP);
    if (!socket.IsBound()) return Fail(WSAEINVAL);
    if (TakeInjectedFailure(SocketCall::RecvFrom)) return SOCKET_ERROR;
    const int fileFlags = ::fcntl(socket.Descriptor(), F_GETFL);
    if (fileFlags < 0) return FailFromErrno(errno);
    ipx::Received received;
    if (const int error = socket.ReceiveFrom(reinterpret_cast<std::uint8_t *>(buffer),
                                             static_cast<std::size_t>(length),
                                             (fileFlags & O_NONBLOCK) == 0, received)) {
        return FailFromErrno(error);
    }
    if (from != nullptr) ToIpxRecord(received.source, from, fromLength);
    // As on the Internet path: the buffer holds the first part, the rest is lost.
    if (received.truncated) return Fail(WSAEMSGSIZE);
    return static_cast<int>(received.length);
}

}  // namespace snmphelper::winsock::detail
