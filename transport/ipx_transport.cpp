// SPDX-License-Identifier: Apache-2.0
#include "transport/ipx_transport.h"

#include <climits>
#include <cstring>

namespace snmphelper {
namespace {

constexpr std::uint32_t kNetworkBytes = 4;
constexpr std::uint32_t kNodeBytes = 6;
constexpr std::size_t kAddressDigits = 2 * (kNetworkBytes + kNodeBytes);

bool IsConnectionLost(int winsockError) {
    return winsockError == winsock::WSAECONNABORTED || winsockError == winsock::WSAECONNRESET;
}

const winsock::sockaddr *Generic(const winsock::SOCKADDR_IPX &address) {
    return reinterpret_cast<const winsock::sockaddr *>(&address);
}

}  // namespace

// A binding that could not be loaded answers 10050 from every call, which
// is neither SOCKET_ERROR nor INVALID_SOCKET; each step below therefore
// takes only WinSock's own success answer as success.
IpxTransport::IpxTransport(std::uint32_t attempts, std::int32_t timeoutSeconds,
                           std::uint32_t options)
    : DatagramTransport(attempts, timeoutSeconds, options) {
    winsock_.Load();
    open_ = 1;
    winsock::WSADATA startup;
    if (winsock_.WSAStartup(winsock::MakeVersion(1, 1), &startup) != 0) return;
    winsockStarted_ = true;
    if (!winsock_.Provides(WinsockEntry::socket)) return;
    const winsock::SOCKET created =
        winsock_.socket(winsock::AF_IPX, winsock::SOCK_DGRAM, kIpxSnmpProtocol);
    if (created == winsock::INVALID_SOCKET) return;
    socket_ = created;
    // Non-blocking, so that only select waits.
    std::uint32_t nonBlocking = 1;
    if (winsock_.ioctlsocket(socket_, winsock::FIONBIO, &nonBlocking) != 0) {
        CloseSocket();
        return;
    }
    if ((options_ & kTransportAllowBroadcast) != 0) {
        const std::int32_t enable = 1;
        if (winsock_.setsockopt(socket_, winsock::SOL_SOCKET, winsock::SO_BROADCAST,
                                reinterpret_cast<const char *>(&enable), sizeof enable) != 0) {
            CloseSocket();
        }
    }
}

IpxTransport::~IpxTransport() {
    if (open_ == 1) CloseSocket();
    open_ = 0;
    if (winsockStarted_) winsock_.WSACleanup();
    winsock_.Unload();
}

void IpxTransport::CloseSocket() {
    if (socket_ != winsock::INVALID_SOCKET) winsock_.closesocket(socket_);
    socket_ = winsock::INVALID_SOCKET;
}

TransportStatus IpxTransport::Bind(std::uint16_t port) {
    winsock::SOCKADDR_IPX local{};
    local.sa_family = static_cast<std::int16_t>(winsock::AF_IPX);
    local.sa_socket = winsock_.htons(port);
    if (socket_ != winsock::INVALID_SOCKET && winsock_.bind(socket_, Generic(local), sizeof local) == 0) {
        localPort_ = port;
        return TransportStatus::Ok;
    }
    CloseSocket();
    open_ = 0;
    return TransportStatus::BindFailed;
}

TransportStatus IpxTransport::SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                            std::uint16_t port) {
    return SendTo(data, length, kIpxBroadcastAddress, port);
}

TransportStatus IpxTransport::SendToAgent(const std::uint8_t *data, std::uint32_t length,
                                          const char *address) {
    return SendTo(data, length, address, kIpxAgentSocket);
}

TransportStatus IpxTransport::SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                                     std::uint16_t port) {
    if (open_ == 0) return TransportStatus::Closed;
    // A text shorter than the 20 digits names no node: nothing is sent, and
    // nothing past its terminator is read.
    if (address == nullptr || ::strnlen(address, kAddressDigits) < kAddressDigits) {
        return TransportStatus::SendFailed;
    }
    std::uint8_t numbers[kNetworkBytes + kNodeBytes];
    HexToBytes(numbers, address, sizeof numbers);
    winsock::SOCKADDR_IPX peer{};
    peer.sa_family = static_cast<std::int16_t>(winsock::AF_IPX);
    std::memcpy(peer.sa_netnum, numbers, kNetworkBytes);
    std::memcpy(peer.sa_nodenum, numbers + kNetworkBytes, kNodeBytes);
    peer.sa_socket = winsock_.htons(port);
    if (length > static_cast<std::uint32_t>(INT_MAX)) return TransportStatus::SendFailed;
    const int wanted = static_cast<int>(length);
    for (std::uint32_t attempt = 0; attempt < attempts_; ++attempt) {
        const int sent = winsock_.sendto(socket_, reinterpret_cast<const char *>(data), wanted, 0,
                                         Generic(peer), sizeof peer);
        // A datagram goes whole or not at all: any other count is no send.
        if (sent == wanted && winsock_.Provides(WinsockEntry::sendto)) return TransportStatus::Ok;
        if (IsConnectionLost(winsock_.WSAGetLastError())) return TransportStatus::Closed;
    }
    return TransportStatus::SendFailed;
}

TransportStatus IpxTransport::Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                                      std::uint8_t *senderAddress, std::uint16_t *senderPort) {
    if (open_ == 0) return TransportStatus::Closed;
    const int room = size > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    TransportStatus result = TransportStatus::ReceiveTimedOut;
    winsock::SOCKADDR_IPX sender{};
    int received = 0;
    for (std::uint32_t wait = 0; wait < attempts_; ++wait) {
        winsock::fd_set readSet;
        winsock::fd_set exceptSet;
        winsock::FdSetClear(readSet);
        winsock::FdSetClear(exceptSet);
        winsock::FdSetAdd(socket_, readSet);
        winsock::FdSetAdd(socket_, exceptSet);
        const winsock::timeval timeout{timeoutSeconds_, 0};
        if (winsock_.select(0, &readSet, nullptr, &exceptSet, &timeout) != 1) continue;

        sender = {};
        int senderLength = sizeof sender;
        received = winsock_.recvfrom(socket_, reinterpret_cast<char *>(buffer), room, 0,
                                     reinterpret_cast<winsock::sockaddr *>(&sender),
                                     &senderLength);
        if (received >= 0 && received <= room && winsock_.Provides(WinsockEntry::recvfrom)) {
            result = TransportStatus::Ok;
            break;
        }
        if (IsConnectionLost(winsock_.WSAGetLastError())) return TransportStatus::Closed;
        result = TransportStatus::ReceiveFailed;
    }
    if (result == TransportStatus::Ok) {
        if (length != nullptr) *length = static_cast<std::uint32_t>(received);
        if (senderAddress != nullptr) {
            std::memcpy(senderAddress, sender.sa_netnum, kNetworkBytes);
            std::memcpy(senderAddress + kNetworkBytes, sender.sa_nodenum, kNodeBytes);
        }
        if (senderPort != nullptr) *senderPort = winsock_.ntohs(sender.sa_socket);
    }
    return result;
}

TransportStatus IpxTransport::GetLocalAddress(std::uint8_t *address) {
    if (open_ == 0) return TransportStatus::Closed;
    if (address == nullptr) return TransportStatus::NoLocalAddress;
    winsock::SOCKADDR_IPX local{};
    int localLength = sizeof local;
    if (winsock_.getsockname(socket_, reinterpret_cast<winsock::sockaddr *>(&local),
                             &localLength) != 0) {
        return TransportStatus::NoLocalAddress;
    }
    std::memcpy(address, local.sa_netnum, kNetworkBytes);
    std::memcpy(address + kNetworkBytes, local.sa_nodenum, kNodeBytes);
    return TransportStatus::Ok;
}

TransportStatus IpxTransport::SetReceiveRoom(std::int32_t bytes) {
    if (open_ == 0) return TransportStatus::Closed;
    if (winsock_.setsockopt(socket_, winsock::SOL_SOCKET, winsock::SO_RCVBUF, reinterpret_cast<const char *>(&bytes),
                            sizeof bytes) != 0) {
        return TransportStatus::SendFailed;
    }
    return TransportStatus::Ok;
}

}  // namespace snmphelper
