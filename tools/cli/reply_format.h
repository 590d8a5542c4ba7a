/* SPDX-License-Identifier: Apache-2.0 */
// The transaction commands' lines in the conventions of net-snmp's tools, so
// that their users read them at once: "OID = TYPE: value" with net-snmp's
// type names and the -O letters that mean something without MIB files.
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::cli {

struct ReplyVariable;

struct OutputFormat {
    // n and f: identifiers with a leading dot (".1.3.6..."); s, like the
    // default, without it. Without MIB files net-snmp's only name is "iso"
    // for 1, so these are its -On, -Of and -Os with that name as its number.
    bool numeric = false;
    bool quick = false;         // q: "OID value", no type
    bool valueOnly = false;     // v: the value alone
    bool hexStrings = false;    // x: every non-empty OCTET STRING as Hex-STRING
    bool asciiStrings = false;  // a: every OCTET STRING as a STRING, unprintable octets as '.'
    bool numericTicks = false;  // t: TimeTicks as the bare number, without type
};

// Reads net-snmp's -O letters n, q, v, f, s, e, a, x and t, in any order and
// combination ("n", "qv", "nqv"). As in net-snmp, of n, f and s and of a and
// x the last given counts; e (enumerations as numbers) is what printing
// without MIB files does anyway. False, with `problem` set, for any other
// letter.
bool ParseOutputFormat(const std::string &letters, OutputFormat &format, std::string &problem);

// net-snmp's name of a value type: INTEGER, STRING (Hex-STRING when the
// octets are not printable text, or under -Ox), IpAddress, Opaque,
// Counter32, Gauge32, Timeticks, OID, NULL.
std::string NetSnmpTypeName(const ReplyVariable &variable, const OutputFormat &format);

// The value as net-snmp prints it: a STRING quoted, a
// Hex-STRING and an Opaque as spaced hex octets (a Hex-STRING quoted under
// -Oq), Timeticks as "(17) 0:00:00.17" (under -Oq as "0:0:00:00.17", under
// -Ot the number alone), an OID with a leading dot under -On, NULL as "NULL"
// under -Oq.
std::string NetSnmpValueText(const ReplyVariable &variable, const OutputFormat &format);

// One output line, without its line feed.
std::string VariableLine(const ReplyVariable &variable, const OutputFormat &format);

// An identifier as the format prints it.
std::string IdentifierText(const std::string &oid, const OutputFormat &format);

// Hundredths of a second as net-snmp writes them after the ticks:
// "0:00:00.17", "1 day, 2:03:04.05", "3 days, 0:00:00.00"; under -Oq
// without the ticks and as days:hours:mm:ss.cc: "0:0:00:00.17",
// "1:2:03:04.05".
std::string UptimeText(std::uint32_t ticks, bool quick = false);

// Whether the octets are UTF-8 text without control characters other than
// tab, CR and LF: shown as a STRING rather than as hex.
bool IsPrintableText(const std::string &octets);

}  // namespace snmphelper::cli
