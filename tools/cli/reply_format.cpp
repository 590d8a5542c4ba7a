// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/reply_format.h"

#include <cstdio>
#include <cstring>

#include "snmphelper.h"
#include "tools/cli/transaction_text.h"
#include "tools/cli/utf8_text.h"
#include "tools/cli/value_text.h"

namespace snmphelper::cli {
namespace {

std::uint32_t Number(const ReplyVariable &variable) {
    std::uint32_t number = 0;
    if (variable.value.size() >= sizeof number) std::memcpy(&number, variable.value.data(), sizeof number);
    return number;
}

std::string Octets(const ReplyVariable &variable) {
    return std::string(variable.value.begin(), variable.value.end());
}

// How an OCTET STRING prints under the format: as a quoted STRING or as a
// Hex-STRING. The empty string is a STRING whatever the format.
bool IsStringText(const ReplyVariable &variable, const OutputFormat &format) {
    if (variable.type != SNMP_VALUE_OCTET_STRING) return false;
    if (format.asciiStrings || variable.value.empty()) return true;
    return !format.hexStrings && IsPrintableText(Octets(variable));
}

// net-snmp's -Oa: printable ASCII and white space as they are, any other
// octet as a dot.
std::string AsciiOctets(const std::string &octets) {
    std::string text;
    for (char c : octets) {
        const auto octet = static_cast<unsigned char>(c);
        const bool kept = (octet >= 0x20 && octet < 0x7F) || (octet >= '\t' && octet <= '\r');
        text += kept ? c : '.';
    }
    return text;
}

std::string Quoted(const std::string &text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

bool ParseOutputFormat(const std::string &letters, OutputFormat &format, std::string &problem) {
    for (char letter : letters) {
        switch (letter) {
            case 'n':
            case 'f': format.numeric = true; break;
            case 's': format.numeric = false; break;
            case 'q': format.quick = true; break;
            case 'v': format.valueOnly = true; break;
            case 'e': break;
            case 'a':
                format.asciiStrings = true;
                format.hexStrings = false;
                break;
            case 'x':
                format.hexStrings = true;
                format.asciiStrings = false;
                break;
            case 't': format.numericTicks = true; break;
            default:
                problem = std::string("-O") + letter +
                          ": unknown output option (n, q, v, f, s, e, a, x and t are known)";
                return false;
        }
    }
    return true;
}

bool IsPrintableText(const std::string &octets) {
    if (!IsValidUtf8(octets)) return false;
    for (char c : octets) {
        const auto octet = static_cast<unsigned char>(c);
        if ((octet < 0x20 && c != '\t' && c != '\r' && c != '\n') || octet == 0x7F) return false;
    }
    return true;
}

std::string UptimeText(std::uint32_t ticks, bool quick) {
    const TicksClock parts = SplitTicks(ticks);
    char clock[48];
    if (quick) {
        std::snprintf(clock, sizeof clock, "%lu:%lu:%02lu:%02lu.%02lu", parts.days, parts.hours, parts.minutes,
                      parts.seconds, parts.hundredths);
        return clock;
    }
    std::snprintf(clock, sizeof clock, "%lu:%02lu:%02lu.%02lu", parts.hours, parts.minutes, parts.seconds,
                  parts.hundredths);
    if (parts.days == 0) return clock;
    return std::to_string(parts.days) + (parts.days == 1 ? " day, " : " days, ") + clock;
}

std::string NetSnmpTypeName(const ReplyVariable &variable, const OutputFormat &format) {
    switch (variable.type) {
        case SNMP_VALUE_INTEGER: return "INTEGER";
        case SNMP_VALUE_OCTET_STRING: return IsStringText(variable, format) ? "STRING" : "Hex-STRING";
        case SNMP_VALUE_IP_ADDRESS: return "IpAddress";
        case SNMP_VALUE_OPAQUE: return "Opaque";
        case SNMP_VALUE_COUNTER: return "Counter32";
        case SNMP_VALUE_GAUGE: return "Gauge32";
        case SNMP_VALUE_TIME_TICKS: return "Timeticks";
        case SNMP_VALUE_OBJECT_IDENTIFIER: return "OID";
        case SNMP_VALUE_NULL: return "NULL";
        default: return "type " + std::to_string(variable.type);
    }
}

std::string IdentifierText(const std::string &oid, const OutputFormat &format) {
    return format.numeric ? "." + oid : oid;
}

std::string NetSnmpValueText(const ReplyVariable &variable, const OutputFormat &format) {
    switch (variable.type) {
        case SNMP_VALUE_OCTET_STRING:
            if (IsStringText(variable, format)) {
                return Quoted(format.asciiStrings ? AsciiOctets(Octets(variable)) : Octets(variable));
            }
            // net-snmp's quick print quotes the hex as it quotes text.
            if (format.quick) return Quoted(HexOctets(variable.value.data(), variable.value.size()));
            return HexOctets(variable.value.data(), variable.value.size());
        case SNMP_VALUE_TIME_TICKS: {
            const std::uint32_t ticks = Number(variable);
            if (format.numericTicks) return std::to_string(ticks);
            // net-snmp's quick print drops the parenthesised ticks.
            if (format.quick) return UptimeText(ticks, true);
            std::string text = "(";
            text += std::to_string(ticks);
            text += ") ";
            text += UptimeText(ticks);
            return text;
        }
        case SNMP_VALUE_OBJECT_IDENTIFIER:
            return IdentifierText(Octets(variable), format);
        case SNMP_VALUE_NULL:
            return format.quick ? "NULL" : "";
        default:
            return DescribeValue(variable.type, variable.value.data(),
                                 static_cast<std::uint32_t>(variable.value.size()))
                .text;
    }
}

std::string VariableLine(const ReplyVariable &variable, const OutputFormat &format) {
    const std::string value = NetSnmpValueText(variable, format);
    // net-snmp's -Ot prints TimeTicks as the bare number, type and all.
    const bool bare = variable.type == SNMP_VALUE_TIME_TICKS && format.numericTicks;
    std::string typed = bare ? value : NetSnmpTypeName(variable, format);
    if (variable.type != SNMP_VALUE_NULL && !bare) typed += ": " + value;
    if (format.valueOnly) return format.quick ? value : typed;
    const std::string name = IdentifierText(variable.oid, format);
    if (format.quick) return name + " " + value;
    return name + " = " + typed;
}

}  // namespace snmphelper::cli
