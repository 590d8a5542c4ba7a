// SPDX-License-Identifier: Apache-2.0
// IPv4 address text through WinSock's own inet_addr.
#include <winsock2.h>

#include <cstring>

#include "platform/address_text.h"

namespace snmphelper::platform {

std::array<std::uint8_t, 4> Ipv4AddressFromText(const char *text) {
    // inet_addr's result is already in network order.
    const unsigned long address = ::inet_addr(text);
    std::array<std::uint8_t, 4> octets{};
    std::memcpy(octets.data(), &address, octets.size());
    return octets;
}

}  // namespace snmphelper::platform
