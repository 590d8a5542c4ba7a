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

// TimeTicks are hundredths of a second (RFC 1155 3.2.3.5).
std::string TimeTicksText(std::uint32_t ticks) {
    char text[64];
    std::snprintf(text, sizeof text, "%lu (%lu:%02lu:%02lu:%02lu.%02lu)",
                  static_cast<unsigned long>(ticks), static_cast<unsigned long>(ticks / 8640000),
                  static_cast<unsigned long>(ticks / 360000 % 24),
                  static_cast<unsigned long>(ticks / 6000 % 60),
                  static_cast<unsigned long>(ticks / 100 % 60),
                  static_cast<unsigned long>(ticks % 100));
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
    case SNMP_VALUE_OCTET_STRING: {
        const bool printable = value == nullptr || AllPrintable(value, valueLength);
        return {"OCTET STRING", OctetsText(value, valueLength), printable};
    }
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

std::string VarBindLine(const SnmpVarBind &entry) {
    const ValueDisplay display = DescribeValue(entry.valueType, entry.value, entry.valueLength);
    std::string line =
        std::string(entry.oid == nullptr ? "" : entry.oid) + " = " + display.typeName;
    if (entry.valueType != SNMP_VALUE_NULL) line += ": " + display.text;
    return line;
}

std::string ErrorStatusName(std::uint32_t errorStatus) {
    static const char *const names[] = {"noError",  "tooBig",   "noSuchName",
                                        "badValue", "readOnly", "genErr"};
    if (errorStatus < sizeof names / sizeof names[0]) return names[errorStatus];
    return std::to_string(errorStatus);
}

}  // namespace snmphelper::cli
