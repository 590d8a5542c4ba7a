// SNMP messages as IEEE 802.2 LLC UI frames between a local service access
// point and a printer's adapter. Address texts are 12 hexadecimal digits (the
// adapter address); address bytes those 6 bytes; ports SAP values in the low
// byte.
//
// This build has no DLC interface to reach: every transport behaves as one
// on a machine without DLC, so a printer reached over DLC takes the failure
// path.
#pragma once

#include "transport/datagram_transport.h"

namespace snmphelper {

inline constexpr std::uint8_t kDlcAgentSap = 0x0A;
inline constexpr std::uint8_t kDlcDefaultLocalSap = 0x10;

class DlcTransport final : public DatagramTransport {
public:
    DlcTransport(std::uint32_t attempts, std::int32_t timeoutSeconds, std::uint32_t options);
    ~DlcTransport() override;

    std::int32_t Bind(std::uint16_t port) override;
    std::int32_t SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                               std::uint16_t port) override;
    std::int32_t SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                        std::uint16_t port) override;
    std::int32_t SendToAgent(const std::uint8_t *data, std::uint32_t length,
                             const char *address) override;
    std::int32_t Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                         std::uint8_t *senderAddress, std::uint16_t *senderPort) override;
    // The adapter's node address; all zero without DLC. Always 1.
    std::int32_t GetLocalAddress(std::uint8_t *address) override;
};

}  // namespace snmphelper
