/* SPDX-License-Identifier: Apache-2.0 */
// The host's IPv4 interfaces as a broadcast needs them: 255.255.255.255
// leaves by one interface only, so reaching every attached network means
// sending to each interface's own broadcast address.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace snmphelper::platform {

// An IPv4 address in network order.
using Ipv4Address = std::array<std::uint8_t, 4>;

// The broadcast address of every interface that is up, is not a loopback
// and has one, each distinct address once, in the order the system lists
// the interfaces. Empty when there is none or the system cannot be asked.
std::vector<Ipv4Address> InterfaceBroadcastAddresses();

}  // namespace snmphelper::platform
