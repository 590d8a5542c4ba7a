/* SPDX-License-Identifier: Apache-2.0 */
// SNMP datagrams over IPX (RFC 1420) through the WinSock IPX family,
// reached through a WinSock library loaded at run time. Address texts are 20
// hexadecimal digits, the 4-byte network number then the 6-byte node number;
// address bytes those 10 bytes as carried on the wire; ports IPX socket
// numbers in host order.
#pragma once

#include "transport/datagram_transport.h"
#include "transport/winsock_binding.h"

namespace snmphelper {

inline constexpr std::uint16_t kIpxAgentSocket = 0x900F;  // RFC 1420
// WinSock's IPX protocol for outgoing packet type 4, as RFC 1420 asks.
inline constexpr int kIpxSnmpProtocol = winsock::NSPROTO_IPX + 4;
// Network 0 ("this network"), node all ones; 20 digits are read.
inline constexpr char kIpxBroadcastAddress[] = "00000000FFFFFFFFFFFFF";

class IpxTransport final : public DatagramTransport {
public:
    // Loads its WinSock binding, starts WinSock and creates a non-blocking
    // IPX datagram socket (allowed to broadcast when `options` asks). A
    // failed step is not reported: Bind then fails and every later operation
    // answers Closed.
    IpxTransport(std::uint32_t attempts, std::int32_t timeoutSeconds, std::uint32_t options);
    ~IpxTransport() override;

    TransportStatus Bind(std::uint16_t port) override;
    TransportStatus SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                  std::uint16_t port) override;
    TransportStatus SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                           std::uint16_t port) override;
    TransportStatus SendToAgent(const std::uint8_t *data, std::uint32_t length, const char *address) override;
    TransportStatus Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                            std::uint8_t *senderAddress, std::uint16_t *senderPort) override;
    // The socket's own network and node numbers; known only after Bind.
    TransportStatus GetLocalAddress(std::uint8_t *address) override;
    // Asks the system to keep `bytes` of datagrams not yet read, so that
    // many replies arriving at once are not dropped: Ok, SendFailed when
    // the system refuses, Closed for a transport that is not open.
    TransportStatus SetReceiveRoom(std::int32_t bytes);

private:
    void CloseSocket();

    WinsockBinding winsock_;
    bool winsockStarted_ = false;  // so the destructor ends only a start that succeeded
};

}  // namespace snmphelper
