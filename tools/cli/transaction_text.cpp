#include "tools/cli/transaction_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "snmphelper.h"
#include "transact/ascii_rewrite.h"
#include "tools/cli/ipx_hint.h"
#include "tools/cli/result_names.h"
#include "tools/cli/value_text.h"

namespace snmphelper::cli {
namespace {

// A bounded cursor over the value text.
struct TextCursor {
    const char *text;
    std::size_t remaining;

    // The characters up to the next comma or the end; the comma is consumed.
    std::string Field() {
        std::size_t length = 0;
        while (length < remaining && text[length] != ',') ++length;
        std::string field(text, length);
        Skip(length < remaining ? length + 1 : length);
        return field;
    }
    void Skip(std::size_t count) {
        text += count;
        remaining -= count;
    }
};

bool ParseUnsigned(const std::string &text, std::uint64_t limit, std::uint64_t &number) {
    if (text.empty() || text.size() > 20) return false;
    number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
        if (number > limit) return false;
    }
    return true;
}

bool ParseSigned(const std::string &text, std::int32_t &number) {
    const bool negative = !text.empty() && text[0] == '-';
    std::uint64_t magnitude = 0;
    if (!ParseUnsigned(negative ? text.substr(1) : text, negative ? 2147483648ULL : 2147483647ULL, magnitude)) {
        return false;
    }
    number = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                                : static_cast<std::int64_t>(magnitude));
    return true;
}

bool ParseIpAddress(const std::string &text, std::uint8_t (&octets)[4]) {
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t end = i < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos) return false;
        std::uint64_t octet = 0;
        if (!ParseUnsigned(text.substr(start, end - start), 255, octet)) return false;
        octets[i] = static_cast<std::uint8_t>(octet);
        start = end + 1;
    }
    return true;
}

std::vector<std::uint8_t> NumberOctets(std::uint32_t number) {
    std::vector<std::uint8_t> octets(sizeof number);
    std::memcpy(octets.data(), &number, sizeof number);
    return octets;
}

// One item of the reply's value text into its binary value.
bool ParseItem(TextCursor &cursor, ReplyVariable &variable) {
    std::uint64_t type = 0;
    if (!ParseUnsigned(cursor.Field(), 255, type)) return false;
    variable.type = static_cast<std::int32_t>(type);
    if (variable.type == SNMP_VALUE_OCTET_STRING) {
        std::uint64_t length = 0;
        if (!ParseUnsigned(cursor.Field(), cursor.remaining, length)) return false;
        variable.value.assign(cursor.text, cursor.text + length);
        cursor.Skip(static_cast<std::size_t>(length));
        if (cursor.remaining > 0) {
            if (cursor.text[0] != ',') return false;
            cursor.Skip(1);
        }
        return true;
    }
    const std::string text = cursor.Field();
    switch (variable.type) {
        case SNMP_VALUE_INTEGER: {
            std::int32_t number = 0;
            if (!ParseSigned(text, number)) return false;
            variable.value = NumberOctets(static_cast<std::uint32_t>(number));
            return true;
        }
        case SNMP_VALUE_COUNTER:
        case SNMP_VALUE_GAUGE:
        case SNMP_VALUE_TIME_TICKS: {
            std::uint64_t number = 0;
            if (!ParseUnsigned(text, 0xFFFFFFFFULL, number)) return false;
            variable.value = NumberOctets(static_cast<std::uint32_t>(number));
            return true;
        }
        case SNMP_VALUE_IP_ADDRESS: {
            std::uint8_t octets[4];
            if (!ParseIpAddress(text, octets)) return false;
            variable.value.assign(octets, octets + 4);
            return true;
        }
        case SNMP_VALUE_OBJECT_IDENTIFIER:
            variable.value.assign(text.begin(), text.end());
            return true;
        default:
            return false;
    }
}

std::vector<std::string> SplitIdentifiers(const char *text) {
    std::vector<std::string> identifiers;
    std::string current;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c == ',') {
            identifiers.push_back(current);
            current.clear();
        } else {
            current += *c;
        }
    }
    if (!current.empty() || !identifiers.empty()) identifiers.push_back(current);
    return identifiers;
}

std::string HexText(const std::vector<std::uint8_t> &octets) {
    std::string text(2 * octets.size() + 1, '\0');
    HexEncode(text.data(), octets.data(), octets.size());
    text.pop_back();
    return text;
}

// The value for JSON: numbers as numbers, everything else as a string;
// an OCTET STRING as its characters when printable, else as hex.
std::string JsonValue(const ReplyVariable &variable, const ValueDisplay &display) {
    switch (variable.type) {
        case SNMP_VALUE_INTEGER:
        case SNMP_VALUE_COUNTER:
        case SNMP_VALUE_GAUGE:
            return display.text;
        case SNMP_VALUE_TIME_TICKS: {
            std::uint32_t ticks = 0;
            std::memcpy(&ticks, variable.value.data(), sizeof ticks);
            return std::to_string(ticks);
        }
        case SNMP_VALUE_OCTET_STRING:
            if (display.quoted) return JsonString(std::string(variable.value.begin(), variable.value.end()));
            return "{\"hex\":" + JsonString(HexText(variable.value)) + "}";
        default:
            return JsonString(display.text);
    }
}

}  // namespace

TransactionBuffers::TransactionBuffers(const std::string &identifierText, const std::string &valueText)
    : identifiers(std::max<std::size_t>(identifierText.size() + 1, kIdentifierRoom), '\0'),
      values(std::max<std::size_t>(valueText.size() + 1, kValueRoom), '\0'),
      valueSize(static_cast<std::uint32_t>(values.size())) {
    std::copy(identifierText.begin(), identifierText.end(), identifiers.begin());
    std::copy(valueText.begin(), valueText.end(), values.begin());
}

std::optional<std::vector<ReplyVariable>> ParseReply(const char *identifierText, const char *valueText,
                                                     std::uint32_t valueLength) {
    std::vector<ReplyVariable> variables;
    TextCursor cursor{valueText, valueLength};
    while (cursor.remaining > 0) {
        ReplyVariable variable;
        if (!ParseItem(cursor, variable)) return std::nullopt;
        variables.push_back(std::move(variable));
    }
    const std::vector<std::string> identifiers = SplitIdentifiers(identifierText);
    if (identifiers.size() != variables.size()) return std::nullopt;
    for (std::size_t i = 0; i < variables.size(); ++i) variables[i].oid = identifiers[i];
    return variables;
}

std::string ValueItem(const std::string &typeName, const std::string &valueText, std::string &problem) {
    struct TypeCode {
        const char *name;
        std::int32_t code;
    };
    static constexpr TypeCode kTypes[] = {
        {"integer", SNMP_VALUE_INTEGER},  {"string", SNMP_VALUE_OCTET_STRING},
        {"hex", SNMP_VALUE_OCTET_STRING}, {"ipaddress", SNMP_VALUE_IP_ADDRESS},
        {"counter", SNMP_VALUE_COUNTER},  {"gauge", SNMP_VALUE_GAUGE},
        {"timeticks", SNMP_VALUE_TIME_TICKS}, {"oid", SNMP_VALUE_OBJECT_IDENTIFIER},
    };
    const TypeCode *type = nullptr;
    for (const TypeCode &candidate : kTypes) {
        if (typeName == candidate.name) type = &candidate;
    }
    if (type == nullptr) {
        problem = "unknown type '" + typeName + "' (integer, string, hex, ipaddress, counter, gauge, timeticks, oid)";
        return {};
    }
    const std::string code = std::to_string(type->code) + ",";
    std::uint64_t number = 0;
    std::int32_t integer = 0;
    std::uint8_t octets[4];
    switch (type->code) {
        case SNMP_VALUE_INTEGER:
            if (ParseSigned(valueText, integer)) return code + valueText;
            problem = "'" + valueText + "' is not a 32-bit signed decimal number";
            return {};
        case SNMP_VALUE_COUNTER:
        case SNMP_VALUE_GAUGE:
        case SNMP_VALUE_TIME_TICKS:
            if (ParseUnsigned(valueText, 0xFFFFFFFFULL, number)) return code + valueText;
            problem = "'" + valueText + "' is not a 32-bit unsigned decimal number";
            return {};
        case SNMP_VALUE_IP_ADDRESS:
            if (ParseIpAddress(valueText, octets)) return code + valueText;
            problem = "'" + valueText + "' is not a dotted-decimal IPv4 address";
            return {};
        case SNMP_VALUE_OBJECT_IDENTIFIER:
            if (!valueText.empty() && valueText.find(',') == std::string::npos) return code + valueText;
            problem = "'" + valueText + "' is not a dotted-decimal object identifier";
            return {};
        default:
            break;
    }
    std::string bytes = valueText;
    if (typeName == "hex") {
        bytes.clear();
        std::string digits;
        for (char c : valueText) {
            if (c != ' ' && c != ':') digits += c;
        }
        if (digits.size() % 2 != 0) {
            problem = "'" + valueText + "' is not pairs of hexadecimal digits";
            return {};
        }
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            char *end = nullptr;
            const std::string pair = digits.substr(i, 2);
            const unsigned long octet = std::strtoul(pair.c_str(), &end, 16);
            if (*end != '\0' || pair[0] == '-' || pair[0] == '+' || pair[0] == ' ') {
                problem = "'" + valueText + "' is not pairs of hexadecimal digits";
                return {};
            }
            bytes += static_cast<char>(octet);
        }
    }
    return code + std::to_string(bytes.size()) + "," + bytes;
}

void PrintVariables(const std::string &command, const std::string &printer,
                    const std::vector<ReplyVariable> &variables, bool json) {
    if (!json) {
        for (const ReplyVariable &variable : variables) {
            const ValueDisplay display =
                DescribeValue(variable.type, variable.value.data(), static_cast<std::uint32_t>(variable.value.size()));
            std::printf("%s = %s: %s\n", variable.oid.c_str(), display.typeName.c_str(), display.text.c_str());
        }
        return;
    }
    std::string out = "{\"command\":" + JsonString(command) + ",\"printer\":" + JsonString(printer) +
                      ",\"result\":0,\"variables\":[";
    for (std::size_t i = 0; i < variables.size(); ++i) {
        if (i != 0) out += ",";
        out += VariableJson(variables[i]);
    }
    out += "]}";
    std::printf("%s\n", out.c_str());
}

std::string VariableJson(const ReplyVariable &variable) {
    const ValueDisplay display =
        DescribeValue(variable.type, variable.value.data(), static_cast<std::uint32_t>(variable.value.size()));
    return "{\"oid\":" + JsonString(variable.oid) + ",\"type\":" + JsonString(display.typeName) +
           ",\"value\":" + JsonValue(variable, display) + "}";
}

int ReportResult(const std::string &command, const std::string &printer, std::int32_t result, bool json) {
    const ResultName *entry = FindResultName(result);
    if (json) {
        std::printf("{\"command\":%s,\"printer\":%s,\"result\":%d,\"name\":%s,\"meaning\":%s}\n",
                    JsonString(command).c_str(), JsonString(printer).c_str(), result,
                    JsonString(entry == nullptr ? "" : entry->name).c_str(),
                    JsonString(entry == nullptr ? "unknown result code" : entry->meaning).c_str());
    } else {
        std::fprintf(stderr, "%s: printer '%s': %s\n", command.c_str(), printer.c_str(),
                     DescribeResult(result).c_str());
        HintIpxCapability(printer);
    }
    return 1;
}

std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        const auto octet = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (octet < 0x20 || octet >= 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", octet);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

int RunAndPrint(const std::string &command, const std::string &printer, std::int32_t requestType,
                const std::string &identifiers, const std::string &valueText, bool json) {
    TransactionBuffers buffers(identifiers, valueText);
    const std::int32_t result =
        HelperSNMPTransact(printer.c_str(), requestType, buffers.identifiers.data(), buffers.IdentifierRoom(),
                           buffers.values.data(), &buffers.valueSize, IdentifierCount(identifiers));
    if (result != 0) return ReportResult(command, printer, result, json);
    // A complete value text always leaves room for its terminator: an
    // unchanged size means nothing was written, which the library does for
    // error-status genErr, counted as success.
    if (buffers.valueSize == buffers.values.size()) {
        if (json) {
            std::printf("{\"command\":%s,\"printer\":%s,\"result\":0,\"variables\":null}\n",
                        JsonString(command).c_str(), JsonString(printer).c_str());
        } else {
            std::printf("%s: the printer answered genErr; the library counts it as success and returned no values\n",
                        command.c_str());
        }
        return 0;
    }
    if (buffers.valueSize > buffers.values.size()) {
        std::printf("%s: done; the printer's reply (%u characters of values) did not fit the buffer\n",
                    command.c_str(), buffers.valueSize);
        return 0;
    }
    const auto variables = ParseReply(buffers.identifiers.data(), buffers.values.data(), buffers.valueSize);
    if (!variables) {
        std::fprintf(stderr, "%s: printer '%s': the reply's text could not be read back\n", command.c_str(),
                     printer.c_str());
        return 1;
    }
    PrintVariables(command, printer, *variables, json);
    return 0;
}

std::uint32_t IdentifierCount(const std::string &list) {
    return static_cast<std::uint32_t>(std::count(list.begin(), list.end(), ',') + 1);
}

std::string JoinIdentifiers(const std::vector<std::string> &identifiers) {
    std::string joined;
    for (const std::string &identifier : identifiers) {
        if (!joined.empty()) joined += ",";
        joined += identifier;
    }
    return joined;
}

}  // namespace snmphelper::cli
