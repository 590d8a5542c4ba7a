// A decoded SNMPv1 Trap-PDU as text a person reads or as JSON, shared by
// `decode` and `traps listen`.
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

}  // namespace snmphelper::cli
