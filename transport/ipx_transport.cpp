#include "transport/ipx_transport.h"

namespace snmphelper {

IpxTransport::IpxTransport(std::uint32_t attempts, std::int32_t timeoutSeconds,
                           std::uint32_t options)
    : DatagramTransport(attempts, timeoutSeconds, options) {
    open_ = 1;  // set-up failures are not reported; Bind shows them
}

IpxTransport::~IpxTransport() { open_ = 0; }

std::int32_t IpxTransport::Bind(std::uint16_t) {
    open_ = 0;
    return CPH_BIND_FAILED;
}

std::int32_t IpxTransport::SendBroadcast(const std::uint8_t *, std::uint32_t, std::uint16_t) {
    return open_ == 0 ? CPH_SOCKET_CLOSED : CPH_DATAGRAM_SEND_FAILED;
}

std::int32_t IpxTransport::SendTo(const std::uint8_t *, std::uint32_t, const char *,
                                  std::uint16_t) {
    return open_ == 0 ? CPH_SOCKET_CLOSED : CPH_DATAGRAM_SEND_FAILED;
}

std::int32_t IpxTransport::SendToAgent(const std::uint8_t *data, std::uint32_t length,
                                       const char *address) {
    return SendTo(data, length, address, kIpxAgentSocket);
}

std::int32_t IpxTransport::Receive(std::uint8_t *, std::uint32_t, std::uint32_t *,
                                   std::uint8_t *, std::uint16_t *) {
    // Without a socket there is nothing to wait on.
    return open_ == 0 ? CPH_SOCKET_CLOSED : CPH_DATAGRAM_RECV_TIMEOUT;
}

std::int32_t IpxTransport::GetLocalAddress(std::uint8_t *) {
    return open_ == 0 ? CPH_SOCKET_CLOSED : 0;
}

}  // namespace snmphelper
