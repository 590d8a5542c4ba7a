/* SPDX-License-Identifier: Apache-2.0 */
// Strict dotted-decimal IPv4 text, as printers' addresses are recorded and
// discovery targets given.
#pragma once

#include <string>
#include <string_view>

#include "platform/interface_addresses.h"

namespace snmphelper {

// "a.b.c.d", each part 0-255 without leading zeros (the platform's address
// parser would read those as octal). `address` (network order) is set only
// when the whole text is one.
bool ParseDottedQuad(std::string_view text, platform::Ipv4Address &address);

// "a.b.c.d" for an address in network order.
std::string DottedQuadText(const platform::Ipv4Address &address);

}  // namespace snmphelper
