// SNMP datagrams over IPX (RFC 1420). Address texts are 20 hexadecimal
// digits, the 4-byte network number then the 6-byte node number; address
// bytes those 10 bytes; ports IPX socket numbers.
//
// This build has no IPX family to reach: every transport behaves as one
// whose set-up found no IPX socket, so a printer reached over IPX takes the
// failure path (Bind fails, and so does everything after it).
#pragma once

#include "transport/datagram_transport.h"

namespace snmphelper {

inline constexpr std::uint16_t kIpxAgentSocket = 0x900F;  // RFC 1420

class IpxTransport final : public DatagramTransport {
public:
    IpxTransport(std::uint32_t attempts, std::int32_t timeoutSeconds, std::uint32_t options);
    ~IpxTransport() override;

    std::int32_t Bind(std::uint16_t port) override;
    std::int32_t SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                               std::uint16_t port) override;
    std::int32_t SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                        std::uint16_t port) override;
    std::int32_t SendToAgent(const std::uint8_t *data, std::uint32_t length,
                             const char *address) override;
    std::int32_t Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                         std::uint8_t *senderAddress, std::uint16_t *senderPort) override;
    std::int32_t GetLocalAddress(std::uint8_t *address) override;
};

}  // namespace snmphelper
