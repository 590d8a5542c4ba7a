#include "dlc/dlc_transport.h"

#include <cstring>

namespace snmphelper {
namespace {

// The DLC result for a transport that cannot use the DLC interface.
constexpr std::int32_t kDlcFailed = 1;
constexpr std::size_t kAdapterAddressLength = 6;

}  // namespace

// `open` stays 0: without the DLC interface there is no completion event.
DlcTransport::DlcTransport(std::uint32_t attempts, std::int32_t timeoutSeconds,
                           std::uint32_t options)
    : DatagramTransport(attempts, timeoutSeconds, options) {}

DlcTransport::~DlcTransport() = default;

std::int32_t DlcTransport::Bind(std::uint16_t) { return kDlcFailed; }

std::int32_t DlcTransport::SendBroadcast(const std::uint8_t *, std::uint32_t, std::uint16_t) {
    return kDlcFailed;
}

std::int32_t DlcTransport::SendTo(const std::uint8_t *, std::uint32_t, const char *,
                                  std::uint16_t) {
    return kDlcFailed;
}

std::int32_t DlcTransport::SendToAgent(const std::uint8_t *data, std::uint32_t length,
                                       const char *address) {
    return SendTo(data, length, address, kDlcAgentSap);
}

std::int32_t DlcTransport::Receive(std::uint8_t *, std::uint32_t, std::uint32_t *,
                                   std::uint8_t *, std::uint16_t *) {
    return kDlcFailed;
}

std::int32_t DlcTransport::GetLocalAddress(std::uint8_t *address) {
    if (address != nullptr) std::memset(address, 0, kAdapterAddressLength);
    return 1;
}

}  // namespace snmphelper
