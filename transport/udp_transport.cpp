// SPDX-License-Identifier: Apache-2.0
#include "transport/udp_transport.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/debug_output.h"

namespace snmphelper {
namespace {

constexpr char kBroadcastAddress[] = "255.255.255.255";
constexpr int kHostNameRoom = 1024;

// WinSock's word that the peer aborted or reset: the operation ends at once.
bool IsConnectionLost(int winsockError) {
    return winsockError == winsock::WSAECONNABORTED || winsockError == winsock::WSAECONNRESET;
}

winsock::sockaddr_in InternetAddress(std::uint32_t networkAddress, std::uint16_t port) {
    winsock::sockaddr_in address{};
    address.sin_family = static_cast<std::int16_t>(winsock::AF_INET);
    address.sin_port = winsock::htons(port);
    address.sin_addr.s_addr = networkAddress;
    return address;
}

// The debug lines of a failed read: the sender record's address field as a
// number, then, when the wait goes on, the WinSock error.
void ReportFailedRead(const winsock::sockaddr_in &sender) {
    std::uint32_t addressField = 0;
    std::memcpy(&addressField, &sender.sin_addr, sizeof addressField);
    char line[32];
    platform::OutputDebugText("socket error");
    std::snprintf(line, sizeof line, "%x", static_cast<unsigned>(addressField));
    platform::OutputDebugText(line);
}

void ReportReadFailure(int winsockError) {
    char line[32];
    platform::OutputDebugText("CPH_DATAGRAM_RECV_FAILED");
    std::snprintf(line, sizeof line, "ret val = %d", winsockError);
    platform::OutputDebugText(line);
}

// A received datagram's length and sender, into whichever of the caller's
// outputs it asked for.
void HandOver(int received, const winsock::sockaddr_in &sender, std::uint32_t *length, std::uint8_t *senderAddress,
              std::uint16_t *senderPort) {
    if (length != nullptr) *length = static_cast<std::uint32_t>(received);
    if (senderAddress != nullptr) std::memcpy(senderAddress, &sender.sin_addr, 4);
    if (senderPort != nullptr) *senderPort = winsock::ntohs(sender.sin_port);
}

}  // namespace

UdpTransport::UdpTransport(std::uint32_t attempts, std::int32_t timeoutSeconds,
                           std::uint32_t options)
    : DatagramTransport(attempts, timeoutSeconds, options) {
    open_ = 1;
    winsock::WSADATA startup;
    if (winsock::WSAStartup(winsock::MakeVersion(1, 1), &startup) != 0) return;
    winsockStarted_ = true;
    const winsock::SOCKET created = winsock::socket(winsock::AF_INET, winsock::SOCK_DGRAM, 0);
    if (created == winsock::INVALID_SOCKET) return;
    socket_ = created;
    // Non-blocking, so that only select waits.
    std::uint32_t nonBlocking = 1;
    if (winsock::ioctlsocket(socket_, winsock::FIONBIO, &nonBlocking) == winsock::SOCKET_ERROR) {
        CloseSocket();
        return;
    }
    if ((options_ & kTransportAllowBroadcast) != 0) {
        const std::int32_t enable = 1;
        if (winsock::setsockopt(socket_, winsock::SOL_SOCKET, winsock::SO_BROADCAST,
                                reinterpret_cast<const char *>(&enable),
                                sizeof enable) == winsock::SOCKET_ERROR) {
            CloseSocket();
        }
    }
}

UdpTransport::~UdpTransport() {
    if (open_ == 1) CloseSocket();
    open_ = 0;
    if (winsockStarted_) winsock::WSACleanup();
}

void UdpTransport::CloseSocket() {
    if (socket_ != winsock::INVALID_SOCKET) winsock::closesocket(socket_);
    socket_ = winsock::INVALID_SOCKET;
}

TransportStatus UdpTransport::Bind(std::uint16_t port) {
    const winsock::sockaddr_in local = InternetAddress(winsock::INADDR_ANY, port);
    if (winsock::bind(socket_, reinterpret_cast<const winsock::sockaddr *>(&local),
                      sizeof local) != winsock::SOCKET_ERROR) {
        localPort_ = port;
        open_ = 1;
        return TransportStatus::Ok;
    }
    CloseSocket();
    open_ = 0;
    return TransportStatus::BindFailed;
}

TransportStatus UdpTransport::SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                            std::uint16_t port) {
    return SendTo(data, length, kBroadcastAddress, port);
}

TransportStatus UdpTransport::SendToAgent(const std::uint8_t *data, std::uint32_t length,
                                          const char *address) {
    return SendTo(data, length, address, kSnmpAgentPort);
}

TransportStatus UdpTransport::SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                                     std::uint16_t port) {
    // A text inet_addr refuses gives the all-ones address: a broadcast,
    // which the platform refuses unless the broadcast option is set.
    return SendToAddress(data, length, winsock::inet_addr(address), port);
}

TransportStatus UdpTransport::SendToAddress(const std::uint8_t *data, std::uint32_t length,
                                            std::uint32_t networkAddress, std::uint16_t port) {
    return SendOne(data, length, networkAddress, port, attempts_);
}

TransportStatus UdpTransport::SendOne(const std::uint8_t *data, std::uint32_t length, std::uint32_t networkAddress,
                                      std::uint16_t port, std::uint32_t tries) {
    if (open_ == 0) return TransportStatus::Closed;
    const winsock::sockaddr_in peer = InternetAddress(networkAddress, port);
    if (length > static_cast<std::uint32_t>(INT_MAX)) return TransportStatus::SendFailed;
    for (std::uint32_t attempt = 0; attempt < tries; ++attempt) {
        if (winsock::sendto(socket_, reinterpret_cast<const char *>(data),
                            static_cast<int>(length), 0,
                            reinterpret_cast<const winsock::sockaddr *>(&peer),
                            sizeof peer) != winsock::SOCKET_ERROR) {
            return TransportStatus::Ok;
        }
        if (IsConnectionLost(winsock::WSAGetLastError())) return TransportStatus::Closed;
    }
    return TransportStatus::SendFailed;
}

std::size_t UdpTransport::SendToAddresses(std::span<const AddressedDatagram> datagrams, TransportStatus &failure) {
    constexpr std::size_t kPerCall = 64;
    std::size_t sent = 0;
    while (sent < datagrams.size()) {
        const std::size_t count = std::min(kPerCall, datagrams.size() - sent);
        winsock::sockaddr_in peers[kPerCall];
        winsock::OutgoingDatagram outgoing[kPerCall];
        std::size_t ready = 0;
        for (; ready < count; ++ready) {
            const AddressedDatagram &datagram = datagrams[sent + ready];
            if (datagram.length > static_cast<std::uint32_t>(INT_MAX)) break;
            peers[ready] = InternetAddress(datagram.networkAddress, datagram.port);
            outgoing[ready] = {reinterpret_cast<const char *>(datagram.data), static_cast<int>(datagram.length),
                               reinterpret_cast<const winsock::sockaddr *>(&peers[ready]), sizeof peers[ready]};
        }
        const bool sending = open_ != 0 && attempts_ != 0 && ready != 0;
        const int done = sending ? winsock::SendToMany(socket_, outgoing, static_cast<int>(ready)) : 0;
        if (done == static_cast<int>(count)) {
            sent += count;
            continue;
        }
        // The one that did not go, alone: its retries, and why it failed. A
        // first one refused has had its first try.
        std::uint32_t tries = attempts_;
        if (done == winsock::SOCKET_ERROR) {
            if (IsConnectionLost(winsock::WSAGetLastError())) {
                failure = TransportStatus::Closed;
                return sent;
            }
            --tries;
        } else {
            sent += static_cast<std::size_t>(done);
        }
        const AddressedDatagram &stopped = datagrams[sent];
        failure = SendOne(stopped.data, stopped.length, stopped.networkAddress, stopped.port, tries);
        if (failure != TransportStatus::Ok) return sent;
        ++sent;
    }
    return sent;
}

TransportStatus UdpTransport::Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                                      std::uint8_t *senderAddress, std::uint16_t *senderPort) {
    if (open_ == 0) return TransportStatus::Closed;
    const int room = size > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    TransportStatus result = TransportStatus::ReceiveTimedOut;
    winsock::sockaddr_in sender{};
    int received = 0;
    for (std::uint32_t wait = 0; wait < attempts_; ++wait) {
        winsock::fd_set readSet;
        winsock::fd_set exceptSet;
        winsock::FdSetClear(readSet);
        winsock::FdSetClear(exceptSet);
        winsock::FdSetAdd(socket_, readSet);
        winsock::FdSetAdd(socket_, exceptSet);
        const winsock::timeval timeout{timeoutSeconds_, 0};
        if (winsock::select(0, &readSet, nullptr, &exceptSet, &timeout) != 1) continue;

        sender = {};
        int senderLength = sizeof sender;
        received = winsock::recvfrom(socket_, reinterpret_cast<char *>(buffer), room, 0,
                                     reinterpret_cast<winsock::sockaddr *>(&sender),
                                     &senderLength);
        if (received != winsock::SOCKET_ERROR) {
            result = TransportStatus::Ok;
            break;
        }
        const int error = winsock::WSAGetLastError();
        ReportFailedRead(sender);
        if (IsConnectionLost(error)) return TransportStatus::Closed;
        ReportReadFailure(error);
        result = TransportStatus::ReceiveFailed;
    }
    if (result == TransportStatus::Ok) HandOver(received, sender, length, senderAddress, senderPort);
    return result;
}

TransportStatus UdpTransport::WaitReadable(std::uint32_t milliseconds) {
    if (open_ == 0) return TransportStatus::Closed;
    winsock::fd_set readSet;
    winsock::FdSetClear(readSet);
    winsock::FdSetAdd(socket_, readSet);
    const winsock::timeval timeout{static_cast<std::int32_t>(milliseconds / 1000),
                                   static_cast<std::int32_t>(milliseconds % 1000 * 1000)};
    return winsock::select(0, &readSet, nullptr, nullptr, &timeout) == 1 ? TransportStatus::Ok
                                                                         : TransportStatus::ReceiveTimedOut;
}

TransportStatus UdpTransport::ReceiveWaiting(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                                             std::uint8_t *senderAddress, std::uint16_t *senderPort) {
    if (open_ == 0) return TransportStatus::Closed;
    const int room = size > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    winsock::sockaddr_in sender{};
    int senderLength = sizeof sender;
    const int received = winsock::recvfrom(socket_, reinterpret_cast<char *>(buffer), room, 0,
                                           reinterpret_cast<winsock::sockaddr *>(&sender), &senderLength);
    if (received == winsock::SOCKET_ERROR) {
        return winsock::WSAGetLastError() == winsock::WSAEWOULDBLOCK ? TransportStatus::ReceiveTimedOut
                                                                     : TransportStatus::ReceiveFailed;
    }
    HandOver(received, sender, length, senderAddress, senderPort);
    return TransportStatus::Ok;
}

TransportStatus UdpTransport::GetLocalAddress(std::uint8_t *address) {
    if (open_ == 0) return TransportStatus::Closed;
    if (address == nullptr) return TransportStatus::NoLocalAddress;
    char hostName[kHostNameRoom];
    if (winsock::gethostname(hostName, kHostNameRoom) == winsock::SOCKET_ERROR)
        return TransportStatus::NoLocalAddress;
    const winsock::hostent *host = winsock::gethostbyname(hostName);
    if (host == nullptr || host->h_length < 4 || host->h_addr_list == nullptr ||
        host->h_addr_list[0] == nullptr) {
        return TransportStatus::NoLocalAddress;
    }
    std::memcpy(address, host->h_addr_list[0], 4);
    return TransportStatus::Ok;
}

bool ResolveHostAddress(const char *hostName, char (&dotted)[kDottedAddressSize]) {
    dotted[0] = '\0';
    if (hostName == nullptr || hostName[0] == '\0') return false;
    winsock::WSADATA startup;
    if (winsock::WSAStartup(winsock::MakeVersion(1, 1), &startup) != 0) return false;
    const winsock::hostent *host = winsock::gethostbyname(hostName);
    const bool found = host != nullptr && host->h_length >= 4 && host->h_addr_list != nullptr &&
                       host->h_addr_list[0] != nullptr;
    if (found) {
        const auto *bytes = reinterpret_cast<const unsigned char *>(host->h_addr_list[0]);
        std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    }
    winsock::WSACleanup();
    return found;
}

TransportStatus UdpTransport::GetRouteAddress(const char *peerAddress, std::uint8_t *address) {
    if (open_ == 0) return TransportStatus::Closed;
    if (peerAddress == nullptr || address == nullptr) return TransportStatus::NoLocalAddress;
    const std::uint32_t peer = winsock::inet_addr(peerAddress);
    if (peer == winsock::INADDR_NONE || peer == winsock::INADDR_ANY) return TransportStatus::NoLocalAddress;
    const winsock::sockaddr_in remote = InternetAddress(peer, kSnmpAgentPort);
    if (winsock::connect(socket_, reinterpret_cast<const winsock::sockaddr *>(&remote), sizeof remote) ==
        winsock::SOCKET_ERROR) {
        return TransportStatus::NoLocalAddress;
    }
    winsock::sockaddr_in local{};
    int localLength = sizeof local;
    if (winsock::getsockname(socket_, reinterpret_cast<winsock::sockaddr *>(&local), &localLength) ==
            winsock::SOCKET_ERROR ||
        local.sin_addr.s_addr == winsock::INADDR_ANY) {
        return TransportStatus::NoLocalAddress;
    }
    std::memcpy(address, &local.sin_addr, 4);
    return TransportStatus::Ok;
}

TransportStatus UdpTransport::SetReceiveRoom(std::int32_t bytes) {
    if (open_ == 0) return TransportStatus::Closed;
    if (winsock::setsockopt(socket_, winsock::SOL_SOCKET, winsock::SO_RCVBUF, reinterpret_cast<const char *>(&bytes),
                            sizeof bytes) == winsock::SOCKET_ERROR) {
        return TransportStatus::SendFailed;
    }
    return TransportStatus::Ok;
}

}  // namespace snmphelper
