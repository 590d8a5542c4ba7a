/* SPDX-License-Identifier: Apache-2.0 */
// A decoded SNMPv1 Trap-PDU as text a person reads or as JSON, shared by
// `decode` and `traps listen`, and a received datagram as `traps listen`
// shows it.
#pragma once

#include <cstdint>
#include <string>

#include "snmphelper.h"

namespace snmphelper::cli {

// RFC 1157 4.1.6: "coldStart" ... "enterpriseSpecific", or "unknown".
std::string GenericTrapName(std::uint8_t genericTrap);

// "Trap-PDU" and one indented line per field, then the bindings, each line
// ending in a line feed.
std::string TrapText(const SnmpTrapParam &trap);

// The fields as one JSON object without a line feed: community, enterprise,
// agentAddress, genericTrap, genericTrapName, specificTrap, timeStamp (the
// ticks), variables (each as the transaction commands write them).
std::string TrapJson(const SnmpTrapParam &trap);

// What `traps listen` prints for one received datagram from `from`
// ("192.0.2.1:162"): a header line and TrapText, or one JSON line with the
// sender, the length and TrapJson's fields; for anything that is not an
// SNMPv1 Trap message, its octets in hex. `isTrap` says which.
std::string DatagramText(const std::uint8_t *data, std::uint32_t length, const std::string &from, bool json,
                         bool &isTrap);

}  // namespace snmphelper::cli
