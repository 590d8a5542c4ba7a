// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/value_text.h"

#include <cstdio>
#include <cstring>

namespace snmphelper::cli {
namespace {

bool IsPrintable(std::uint8_t octet) {
    return (octet >= 0x20 && octet < 0x7F) || octet == '\t' || octet == '\r' || octet == '\n';
}

bool AllPrintable(const std::uint8_t *octets, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (!IsPrintable(octets[i])) return false;
    }
    return true;
}

std::string Quote(const std::uint8_t *octets, std::size_t length) {
    std::string text = "\"";
    for (std::size_t i = 0; i < length; ++i) {
        switch (octets[i]) {
        case '"': text += "\\\""; break;
        case '\\': text += "\\\\"; break;
        case '\t': text += "\\t"; break;
        case '\r': text += "\\r"; break;
        case '\n': text += "\\n"; break;
        default: text += static_cast<char>(octets[i]); break;
        }
    }
    return text + "\"";
}

std::uint32_t ReadNumber(const std::uint8_t *value, std::uint32_t valueLength) {
    std::uint32_t number = 0;
    if (value != nullptr && valueLength >= sizeof number)
        std::memcpy(&number, value, sizeof number);
    return number;
}

std::string TimeTicksText(std::uint32_t ticks) {
    const TicksClock clock = SplitTicks(ticks);
    char text[64];
    std::snprintf(text, sizeof text, "%lu (%lu:%02lu:%02lu:%02lu.%02lu)", static_cast<unsigned long>(ticks),
                  clock.days, clock.hours, clock.minutes, clock.seconds, clock.hundredths);
    return text;
}

std::string IpAddressText(const std::uint8_t *value, std::uint32_t valueLength) {
    if (value == nullptr || valueLength < 4)
        return HexOctets(value, value == nullptr ? 0 : valueLength);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", value[0], value[1], value[2], value[3]);
    return text;
}

}  // namespace

// TimeTicks are hundredths of a second (RFC 1155 3.2.3.5).
TicksClock SplitTicks(std::uint32_t ticks) {
    return {ticks / 8640000UL, ticks / 360000UL % 24, ticks / 6000UL % 60, ticks / 100UL % 60, ticks % 100UL};
}

std::string HexOctets(const std::uint8_t *octets, std::size_t length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i != 0) text += ' ';
        text += digits[octets[i] >> 4];
        text += digits[octets[i] & 15];
    }
    return text;
}

std::string OctetsText(const std::uint8_t *octets, std::size_t length) {
    if (octets == nullptr) return "\"\"";
    return AllPrintable(octets, length) ? Quote(octets, length) : HexOctets(octets, length);
}

ValueDisplay DescribeValue(std::int32_t valueType, const std::uint8_t *value,
                           std::uint32_t valueLength) {
    const std::uint32_t number = ReadNumber(value, valueLength);
    switch (valueType) {
    case SNMP_VALUE_INTEGER: return {"INTEGER", std::to_string(static_cast<std::int32_t>(number))};
    case SNMP_VALUE_OCTET_STRING: return {"OCTET STRING", OctetsText(value, valueLength)};
    case SNMP_VALUE_IP_ADDRESS: return {"IpAddress", IpAddressText(value, valueLength)};
    case SNMP_VALUE_OPAQUE:
        return {"Opaque", value == nullptr ? "" : HexOctets(value, valueLength)};
    case SNMP_VALUE_COUNTER: return {"Counter", std::to_string(number)};
    case SNMP_VALUE_GAUGE: return {"Gauge", std::to_string(number)};
    case SNMP_VALUE_TIME_TICKS: return {"TimeTicks", TimeTicksText(number)};
    case SNMP_VALUE_OBJECT_IDENTIFIER:
        return {"OBJECT IDENTIFIER",
                value == nullptr ? ""
                                 : std::string(reinterpret_cast<const char *>(value), valueLength)};
    case SNMP_VALUE_NULL: return {"NULL", ""};
    default:
        return {"type " + std::to_string(valueType),
                value == nullptr ? "" : HexOctets(value, valueLength)};
    }
}

std::string ErrorStatusName(std::uint32_t errorStatus) {
    static const char *const names[] = {"noError",  "tooBig",   "noSuchName",
                                        "badValue", "readOnly", "genErr"};
    if (errorStatus < sizeof names / sizeof names[0]) return names[errorStatus];
    return std::to_string(errorStatus);
}

}  // namespace snmphelper::cli
