/* SPDX-License-Identifier: Apache-2.0 */
// Typed SNMP values as text a person reads, shared by the subcommands that
// print variables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "snmphelper.h"

namespace snmphelper::cli {

// How one value reads in the library's terms (JSON, a trap's fields); the
// lines of variables are VariableLine's, in net-snmp's.
struct ValueDisplay {
    std::string typeName;  // "INTEGER", "OCTET STRING", "IpAddress", ... or "type N"
    std::string text;      // see DescribeValue
};

// The value in the representation of SnmpVarBind.value as text: INTEGER signed
// decimal; Counter and Gauge unsigned decimal; TimeTicks hundredths with
// d:hh:mm:ss.cc after them; IpAddress dotted decimal; OBJECT IDENTIFIER its
// dotted text; NULL the empty text; an OCTET STRING its characters (quoted,
// with \" \\ \t \r \n escaped) when every octet is printable ASCII or one of
// tab, CR, LF, otherwise, like Opaque, hex octets "DE AD BE EF".
ValueDisplay DescribeValue(std::int32_t valueType, const std::uint8_t *value,
                           std::uint32_t valueLength);

// Hundredths of a second split as a clock reads them.
struct TicksClock {
    unsigned long days, hours, minutes, seconds, hundredths;
};
TicksClock SplitTicks(std::uint32_t ticks);

// Octets as text: the quoted characters when printable as above, else hex.
std::string OctetsText(const std::uint8_t *octets, std::size_t length);

// Upper-case hex octets separated by single spaces.
std::string HexOctets(const std::uint8_t *octets, std::size_t length);

// "noError", "tooBig", "noSuchName", "badValue", "readOnly", "genErr"
// (RFC 1157 4.1.1), or the number for anything else.
std::string ErrorStatusName(std::uint32_t errorStatus);

}  // namespace snmphelper::cli
