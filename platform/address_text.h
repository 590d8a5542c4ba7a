/* SPDX-License-Identifier: Apache-2.0 */
// The platform's conversion of IPv4 address text.
#pragma once

#include <array>
#include <cstdint>

namespace snmphelper::platform {

// The address that zero-terminated `text` names, in network order, as the
// platform's inet_addr reads it; text that names no address gives
// 255.255.255.255, inet_addr's INADDR_NONE.
std::array<std::uint8_t, 4> Ipv4AddressFromText(const char *text);

}  // namespace snmphelper::platform
