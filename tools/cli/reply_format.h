// The transaction commands' lines in the conventions of net-snmp's tools, so
// that their users read them at once: "OID = TYPE: value" with net-snmp's
// type names, -On (numeric identifiers with a leading dot), -Oq (no "= TYPE:")
// and -Ov (the value alone).
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::cli {

struct ReplyVariable;

struct OutputFormat {
    bool numeric = false;     // n: identifiers as ".1.3.6..." (net-snmp -On)
    bool quick = false;       // q: "OID value", no type
    bool valueOnly = false;   // v: the value alone
};

// Reads net-snmp's -O letters: n, q and v, in any order and combination
// ("n", "qv", "nqv"); false, with `problem` set, for any other letter.
bool ParseOutputFormat(const std::string &letters, OutputFormat &format, std::string &problem);

// net-snmp's name of a value type: INTEGER, STRING (Hex-STRING when the
// octets are not printable text), IpAddress, Opaque, Counter32, Gauge32,
// Timeticks, OID, NULL.
std::string NetSnmpTypeName(const ReplyVariable &variable);

// The value as net-snmp prints it: a STRING quoted, a
// Hex-STRING and an Opaque as spaced hex octets, Timeticks as
// "(17) 0:00:00.17", an OID with a leading dot under -On.
std::string NetSnmpValueText(const ReplyVariable &variable, const OutputFormat &format);

// One output line, without its line feed.
std::string VariableLine(const ReplyVariable &variable, const OutputFormat &format);

// An identifier as the format prints it.
std::string IdentifierText(const std::string &oid, const OutputFormat &format);

// Hundredths of a second as net-snmp writes them after the ticks:
// "0:00:00.17", "1 day, 2:03:04.05", "3 days, 0:00:00.00".
std::string UptimeText(std::uint32_t ticks);

// Whether the octets are UTF-8 text without control characters other than
// tab, CR and LF: shown as a STRING rather than as hex.
bool IsPrintableText(const std::string &octets);

}  // namespace snmphelper::cli
