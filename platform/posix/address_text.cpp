// SPDX-License-Identifier: Apache-2.0
#include "platform/address_text.h"

#include <arpa/inet.h>

#include <cstring>

namespace snmphelper::platform {

std::array<std::uint8_t, 4> Ipv4AddressFromText(const char *text) {
    // inet_addr's result is already in network order.
    const in_addr_t address = inet_addr(text);
    std::array<std::uint8_t, 4> octets{};
    std::memcpy(octets.data(), &address, octets.size());
    return octets;
}

}  // namespace snmphelper::platform
