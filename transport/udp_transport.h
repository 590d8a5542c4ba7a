/* SPDX-License-Identifier: Apache-2.0 */
// SNMP datagrams over UDP/IP through WinSock 1.1. Address texts are
// dotted-decimal IPv4 addresses; address bytes the 4 bytes of an IPv4
// address in network order; ports UDP ports in host order.
#pragma once

#include <cstddef>
#include <span>

#include "transport/datagram_transport.h"

namespace snmphelper {

inline constexpr std::uint16_t kSnmpAgentPort = 161;  // RFC 1157 4

// Room of a dotted-decimal IPv4 address text and its terminator.
inline constexpr std::size_t kDottedAddressSize = 16;

// The first IPv4 address the system's name resolution gives `hostName`, as
// dotted-decimal text. False when it gives none (or WinSock cannot start).
bool ResolveHostAddress(const char *hostName, char (&dotted)[kDottedAddressSize]);

class UdpTransport final : public DatagramTransport {
public:
    // Starts WinSock and creates a non-blocking datagram socket (allowed to
    // broadcast when `options` asks). A failed step is not reported: Bind
    // then fails and every later operation answers Closed.
    UdpTransport(std::uint32_t attempts, std::int32_t timeoutSeconds, std::uint32_t options);
    ~UdpTransport() override;

    TransportStatus Bind(std::uint16_t port) override;
    TransportStatus SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                  std::uint16_t port) override;
    TransportStatus SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                           std::uint16_t port) override;
    // The same, to an address already in network order (as inet_addr gives
    // it): a fleet sends to each printer many times.
    TransportStatus SendToAddress(const std::uint8_t *data, std::uint32_t length, std::uint32_t networkAddress,
                                  std::uint16_t port);
    // Several at once, in order, in as few system calls as the system
    // allows: how many were sent, from the first. When fewer than all,
    // `failure` is how SendToAddress ended for the one after them.
    struct AddressedDatagram {
        const std::uint8_t *data;
        std::uint32_t length;
        std::uint32_t networkAddress;
        std::uint16_t port;
    };
    std::size_t SendToAddresses(std::span<const AddressedDatagram> datagrams, TransportStatus &failure);
    TransportStatus SendToAgent(const std::uint8_t *data, std::uint32_t length, const char *address) override;
    TransportStatus Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                            std::uint8_t *senderAddress, std::uint16_t *senderPort) override;
    // For a caller that serves many peers on one socket: waits up to
    // `milliseconds` until a datagram can be read, without reading it (Ok,
    // ReceiveTimedOut, or Closed); then reads one that is already there,
    // without waiting (Ok; ReceiveTimedOut when none is; Closed when the
    // socket is not open; ReceiveFailed for a read that failed, such as a
    // peer's ICMP error, after which the socket stays usable).
    TransportStatus WaitReadable(std::uint32_t milliseconds);
    TransportStatus ReceiveWaiting(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                                   std::uint8_t *senderAddress, std::uint16_t *senderPort);
    // The first IPv4 address the host's name resolves to; works before Bind.
    TransportStatus GetLocalAddress(std::uint8_t *address) override;
    // Asks the system to keep `bytes` of datagrams not yet read, so that
    // many replies arriving at once are not dropped: Ok, SendFailed when
    // the system refuses, Closed for a transport that is not open.
    TransportStatus SetReceiveRoom(std::int32_t bytes);
    // The address this host sends from to reach `peerAddress` (dotted
    // decimal), as the system's routing picks it: Ok, NoLocalAddress, or
    // Closed for a transport that is not open. Nothing
    // is sent, but the socket keeps `peerAddress` as its peer: a probe's.
    TransportStatus GetRouteAddress(const char *peerAddress, std::uint8_t *address);

private:
    void CloseSocket();
    TransportStatus SendOne(const std::uint8_t *data, std::uint32_t length, std::uint32_t networkAddress,
                            std::uint16_t port, std::uint32_t tries);

    bool winsockStarted_ = false;  // so the destructor ends only a start that succeeded
};

}  // namespace snmphelper
