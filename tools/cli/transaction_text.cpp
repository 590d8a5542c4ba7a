// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/transaction_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codec/ber_decode.h"
#include "snmphelper.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/identifier_check.h"
#include "tools/cli/ipx_hint.h"
#include "tools/cli/json_output.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/result_names.h"
#include "tools/cli/snmp_settings.h"
#include "tools/cli/value_text.h"
#include "tools/cli/wait_progress.h"
#include "transact/printer_config.h"
#include "transact/typed_transaction.h"
#include "transport/datagram_transport.h"

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

std::string Octets(const ReplyVariable &variable) { return std::string(variable.value.begin(), variable.value.end()); }

std::uint32_t Number(const ReplyVariable &variable) {
    std::uint32_t number = 0;
    if (variable.value.size() >= sizeof number) std::memcpy(&number, variable.value.data(), sizeof number);
    return number;
}

// The value for JSON: numbers as numbers, an OCTET STRING as its text when
// printable, else (like Opaque) as hex; the rest as their text.
Json JsonValue(const ReplyVariable &variable) {
    switch (variable.type) {
        case SNMP_VALUE_INTEGER:
            return static_cast<std::int32_t>(Number(variable));
        case SNMP_VALUE_COUNTER:
        case SNMP_VALUE_GAUGE:
        case SNMP_VALUE_TIME_TICKS:
            return Number(variable);
        case SNMP_VALUE_OCTET_STRING:
            if (IsPrintableText(Octets(variable))) return JsonText(Octets(variable));
            return JsonHex(Octets(variable));
        case SNMP_VALUE_OPAQUE:
            return JsonHex(Octets(variable));
        case SNMP_VALUE_NULL:
            return nullptr;
        default:
            return JsonText(
                DescribeValue(variable.type, variable.value.data(), static_cast<std::uint32_t>(variable.value.size()))
                    .text);
    }
}

Json VariableObject(const ReplyVariable &variable) {
    const ValueDisplay display =
        DescribeValue(variable.type, variable.value.data(), static_cast<std::uint32_t>(variable.value.size()));
    return Json{{"oid", JsonText(variable.oid)}, {"type", display.typeName}, {"value", JsonValue(variable)}};
}

Json VariablesArray(const std::vector<ReplyVariable> &variables) {
    Json array = Json::array();
    for (const ReplyVariable &variable : variables) array.push_back(VariableObject(variable));
    return array;
}

Json CommandObject(const std::string &command, const std::string &printer, std::int32_t result) {
    return Json{{"command", JsonText(command)}, {"printer", JsonText(printer)}, {"result", result}};
}

// A failing result's object: the command's fields, the result's name and meaning.
Json ResultObject(const std::string &command, const std::string &printer, std::int32_t result) {
    const ResultName *entry = FindResultName(result);
    Json object = CommandObject(command, printer, result);
    object["name"] = entry == nullptr ? "" : entry->name;
    object["meaning"] = entry == nullptr ? "unknown result code" : entry->meaning;
    return object;
}

// RFC 1157 4.1.1's error-status values, with the reason net-snmp's users
// know them by.
std::string ErrorStatusReason(std::uint32_t errorStatus) {
    switch (errorStatus) {
        case 1: return "the reply would have been too large";
        case 2: return "there is no such variable name in this MIB";
        case 3: return "the value given has the wrong type, length or value";
        case 4: return "the object cannot be written";
        case 5: return "a general failure occurred";
        default: return "an error-status RFC 1157 does not define";
    }
}

std::vector<ReplyVariable> ToVariables(const SnmpReqParam &reply, NameForm names = NameForm::Text) {
    std::vector<ReplyVariable> variables;
    variables.reserve(reply.varBindCount);
    for (std::uint16_t i = 0; i < reply.varBindCount; ++i) variables.push_back(VariableOf(reply.varBinds[i], names));
    return variables;
}

// -v/--dump: each datagram on standard error, with the time since the
// transaction began.
struct DumpState {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

const char *ProtocolName(std::uint32_t protocol) {
    switch (protocol) {
        case 1: return "IPX";
        case 2: return "IP";
        case 4: return "DLC";
        default: return "?";
    }
}

// What the observer of one transaction serves: the dump when asked for,
// and the progress line.
struct Observers {
    bool dump = false;
    DumpState dumpState;
    WaitProgress *progress = nullptr;
};

void Dump(const DumpState &state, std::int32_t direction, std::uint32_t protocol, const std::uint8_t *datagram,
          std::uint32_t length) {
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - state.start).count();
    std::fprintf(stderr, "%s %u octets over %s at +%.3f s:\n", direction == SNMP_DATAGRAM_SENT ? "sent" : "received",
                 length, ProtocolName(protocol), elapsed);
    constexpr std::size_t kOctetsPerLine = 16;
    for (std::size_t at = 0; at < length; at += kOctetsPerLine) {
        const std::size_t count = std::min<std::size_t>(kOctetsPerLine, length - at);
        std::fprintf(stderr, "  %04zX  %s\n", at, HexOctets(datagram + at, count).c_str());
    }
}

void SNMPHELPER_CALL ObserveDatagram(void *context, std::int32_t direction, std::uint32_t protocol,
                                     const std::uint8_t *datagram, std::uint32_t length) {
    // Called from inside the library: nothing may be thrown back into it.
    try {
        const auto &observers = *static_cast<const Observers *>(context);
        if (observers.dump) Dump(observers.dumpState, direction, protocol, datagram, length);
        if (observers.progress != nullptr && direction == SNMP_DATAGRAM_SENT) observers.progress->Sent(protocol);
    } catch (...) {  // a line not shown is no reason to end the transaction
    }
}

// The timeout of one request: the command's, else the store's, else the
// tool's own (a set keeps the library's wait).
std::int32_t TimeoutFor(std::int32_t requestType) {
    const std::int32_t given = CommandSettings().timeoutSeconds;
    if (given != SNMP_TRANSACTION_CONFIGURED || requestType == SNMP_REQUEST_SET) return given;
    static const bool stored = StoreGivesTimeout();
    return stored ? SNMP_TRANSACTION_CONFIGURED : kToolTimeoutSeconds;
}

int ReportUsage(const std::string &command, const std::string &printer, const std::string &problem, bool json) {
    if (json) {
        Json object = CommandObject(command, printer, SNMP_RESULT_INVALID_ARGUMENT);
        object["problem"] = JsonText(problem);
        PrintJson(object);
    } else {
        std::fprintf(stderr, "%s: %s\n", command.c_str(), problem.c_str());
    }
    return kExitUsage;
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

namespace {

// How the words of a set's TYPE read their VALUE.
enum class ValueSyntax { Number, Text, LooseHex, NetSnmpHex, Decimal, Null };

struct SetType {
    const char *name;
    std::int32_t code;
    ValueSyntax syntax;
};

// The tool's own names, then net-snmp snmpset's letters (u is Unsigned32,
// which SNMPv1 carries as a Gauge).
constexpr SetType kSetTypes[] = {
    {"integer", SNMP_VALUE_INTEGER, ValueSyntax::Number},
    {"string", SNMP_VALUE_OCTET_STRING, ValueSyntax::Text},
    {"hex", SNMP_VALUE_OCTET_STRING, ValueSyntax::LooseHex},
    {"ipaddress", SNMP_VALUE_IP_ADDRESS, ValueSyntax::Number},
    {"counter", SNMP_VALUE_COUNTER, ValueSyntax::Number},
    {"gauge", SNMP_VALUE_GAUGE, ValueSyntax::Number},
    {"timeticks", SNMP_VALUE_TIME_TICKS, ValueSyntax::Number},
    {"oid", SNMP_VALUE_OBJECT_IDENTIFIER, ValueSyntax::Number},
    {"i", SNMP_VALUE_INTEGER, ValueSyntax::Number},
    {"u", SNMP_VALUE_GAUGE, ValueSyntax::Number},
    {"t", SNMP_VALUE_TIME_TICKS, ValueSyntax::Number},
    {"a", SNMP_VALUE_IP_ADDRESS, ValueSyntax::Number},
    {"o", SNMP_VALUE_OBJECT_IDENTIFIER, ValueSyntax::Number},
    {"s", SNMP_VALUE_OCTET_STRING, ValueSyntax::Text},
    {"x", SNMP_VALUE_OCTET_STRING, ValueSyntax::NetSnmpHex},
    {"d", SNMP_VALUE_OCTET_STRING, ValueSyntax::Decimal},
    {"n", SNMP_VALUE_NULL, ValueSyntax::Null},
};

// The tool's hex: pairs of digits, spaces and colons anywhere between them.
bool LooseHexOctets(const std::string &text, std::string &bytes) {
    std::string digits;
    for (char c : text) {
        if (c != ' ' && c != ':') digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const std::uint8_t high = HexDigitValue(digits[i]);
        const std::uint8_t low = HexDigitValue(digits[i + 1]);
        if (high > 15 || low > 15) return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

// snmpset's x: an optional 0x, then pairs of hex digits, spaces allowed
// between the pairs but not inside one.
bool NetSnmpHexOctets(const std::string &text, std::string &bytes) {
    std::size_t at = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        if (at + 1 >= text.size()) return false;
        const std::uint8_t high = HexDigitValue(text[at]);
        const std::uint8_t low = HexDigitValue(text[at + 1]);
        if (high > 15 || low > 15) return false;
        bytes += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return true;
}

// snmpset's d: decimal octets 0-255, separated by dots or white space.
bool DecimalOctets(const std::string &text, std::string &bytes) {
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '.' || c == ' ' || (c >= '\t' && c <= '\r')) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        std::uint64_t octet = 0;
        if (!ParseUnsigned(text.substr(at, end - at), 255, octet)) return false;
        bytes += static_cast<char>(octet);
        at = end;
    }
    return true;
}

}  // namespace

std::string ValueItem(const std::string &typeName, const std::string &valueText, std::string &problem) {
    const SetType *type = nullptr;
    for (const SetType &candidate : kSetTypes) {
        if (typeName == candidate.name) type = &candidate;
    }
    if (type == nullptr) {
        problem = "unknown type '" + typeName +
                  "' (integer, string, hex, ipaddress, counter, gauge, timeticks, oid; or net-snmp's i, u, t, a, "
                  "o, s, x, d, n)";
        return {};
    }
    const std::string code = std::to_string(type->code) + ",";
    std::uint64_t number = 0;
    std::int32_t integer = 0;
    std::uint8_t octets[4];
    std::string bytes;
    switch (type->syntax) {
        case ValueSyntax::Number: break;
        case ValueSyntax::Null: return code;  // the item's comma ends it: no value follows
        case ValueSyntax::Text: bytes = valueText; break;
        case ValueSyntax::LooseHex:
        case ValueSyntax::NetSnmpHex:
            if (!(type->syntax == ValueSyntax::LooseHex ? LooseHexOctets(valueText, bytes)
                                                        : NetSnmpHexOctets(valueText, bytes))) {
                problem = "'" + valueText + "' is not pairs of hexadecimal digits";
                return {};
            }
            break;
        case ValueSyntax::Decimal:
            if (!DecimalOctets(valueText, bytes)) {
                problem = "'" + valueText + "' is not decimal octets (0-255) separated by dots or spaces";
                return {};
            }
            break;
    }
    if (type->code == SNMP_VALUE_OCTET_STRING) return code + std::to_string(bytes.size()) + "," + bytes;
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
        default: {
            std::string normalized;
            if (CheckIdentifier(valueText, normalized, problem)) return code + normalized;
            return {};
        }
    }
}

std::string JoinValueItems(const std::vector<std::string> &items) {
    std::string joined;
    bool separate = false;
    for (const std::string &item : items) {
        if (separate) joined += ",";
        joined += item;
        // A NULL item ("9,") is ended by its own comma.
        separate = item != std::to_string(SNMP_VALUE_NULL) + ",";
    }
    return joined;
}

ReplyVariable VariableOf(const SnmpVarBind &binding, NameForm names) {
    ReplyVariable variable;
    if (binding.oid != nullptr && names == NameForm::Encoded) {
        char text[kOidTextBlockSize];
        std::size_t length = 0;
        // The decoder refused the names that do not fit the text.
        if (OidBerToText(text, kOidTextRoom, reinterpret_cast<const std::uint8_t *>(binding.oid), binding.oidLength,
                         length)) {
            variable.oid.assign(text, length);
        }
    } else {
        variable.oid = binding.oid == nullptr ? "" : binding.oid;
    }
    variable.type = binding.valueType;
    if (binding.value != nullptr) variable.value.assign(binding.value, binding.value + binding.valueLength);
    return variable;
}

std::string BindingLine(const SnmpVarBind &binding) { return VariableLine(VariableOf(binding), OutputFormat{}); }

std::string VariablesJson(const std::vector<ReplyVariable> &variables) { return JsonLine(VariablesArray(variables)); }

TransactionSettings &CommandSettings() {
    static TransactionSettings settings;
    return settings;
}

bool CheckTransactionSettings(std::string &problem) {
    TransactionSettings &settings = CommandSettings();
    std::string letters;  // "-On -Ov" as "-Onv", as net-snmp reads them
    for (const std::string &option : settings.outputLetters) letters += option;
    return ParseOutputFormat(letters, settings.format, problem);
}

void PrintVariables(const std::string &command, const std::string &printer,
                    const std::vector<ReplyVariable> &variables, bool json) {
    if (!json) {
        for (const ReplyVariable &variable : variables) {
            std::printf("%s\n", VariableLine(variable, CommandSettings().format).c_str());
        }
        return;
    }
    Json object = CommandObject(command, printer, 0);
    object["variables"] = VariablesArray(variables);
    PrintJson(object);
}

std::string VariableJson(const ReplyVariable &variable) { return JsonLine(VariableObject(variable)); }

int ReportResultWithVariables(const std::string &command, const std::string &printer, std::int32_t result,
                              const std::vector<ReplyVariable> &read, bool json) {
    if (json) {
        Json object = ResultObject(command, printer, result);
        object["variables"] = VariablesArray(read);
        PrintJson(object);
        return ExitCodeForResult(result);
    }
    if (!read.empty()) {
        std::fflush(stdout);  // the objects read come first
        std::fprintf(stderr, "%s: stopped after %zu objects\n", command.c_str(), read.size());
    }
    return ReportResult(command, printer, result, false);
}

int ReportResult(const std::string &command, const std::string &printer, std::int32_t result, bool json) {
    if (json) {
        Json object = ResultObject(command, printer, result);
        PrintJson(object);
    } else {
        std::fflush(stdout);  // what was printed before comes first
        std::fprintf(stderr, "%s: printer '%s': %s\n", command.c_str(), printer.c_str(),
                     DescribeFailure(result).c_str());
        HintIpxCapability(printer);
    }
    return ExitCodeForResult(result);
}

std::string JsonString(const std::string &text) { return JsonLine(JsonText(text)); }

namespace {

// The dump and the progress line of one transaction, as the command settings ask.
class WatchedTransaction {
public:
    WatchedTransaction(const std::string &printer, const TransactionSettings &settings)
        : progress_(printer,
                    settings.retries == SNMP_TRANSACTION_CONFIGURED ? kSilentSendsPerProtocol : settings.retries + 1,
                    // The dump shows each send already.
                    settings.progress && !settings.dump) {
        observers_.dump = settings.dump;
        observers_.progress = &progress_;
    }
    // The settings and the observers into a record with the fields of
    // SnmpTransaction (TransactionOptions has them too).
    template <typename Record>
    void Apply(Record &record, std::int32_t requestType, const TransactionSettings &settings) {
        record.timeoutSeconds = TimeoutFor(requestType);
        record.retries = settings.retries;
        if (settings.community) record.community = settings.community->c_str();
        record.observer = ObserveDatagram;
        record.observerContext = &observers_;
    }

private:
    WaitProgress progress_;
    Observers observers_;
};

}  // namespace

TransactionOutcome Transact(const std::string &printer, std::int32_t requestType, const std::string &identifiers,
                            const std::string &valueText) {
    const TransactionSettings &settings = CommandSettings();
    TransactionBuffers buffers(identifiers, valueText);
    WatchedTransaction watch(printer, settings);
    SnmpTransaction transaction{};
    transaction.recordSize = sizeof transaction;
    watch.Apply(transaction, requestType, settings);
    TransactionOutcome outcome;
    outcome.result = HelperSNMPTransactEx(printer.c_str(), requestType, buffers.identifiers.data(),
                                          buffers.IdentifierRoom(), buffers.values.data(), buffers.valueSize,
                                          IdentifierCount(identifiers), &transaction);
    outcome.errorStatus = transaction.errorStatus;
    outcome.errorIndex = transaction.errorIndex;
    if (transaction.reply != nullptr) {
        outcome.variables = ToVariables(*transaction.reply);
        HelperFreeReqParam(transaction.reply);
    }
    return outcome;
}

TransactionOutcome TransactObjects(const std::string &printer, std::int32_t requestType,
                                   const std::vector<std::string> &identifiers) {
    TypedReply reply;
    const std::int32_t result = TransactObjects(printer, requestType, ObjectBindings(identifiers), reply);
    return OutcomeOf(result, reply.Record());
}

std::int32_t TransactObjects(const std::string &printer, std::int32_t requestType,
                             std::span<const SnmpVarBind> request, TypedReply &reply) {
    const TransactionSettings &settings = CommandSettings();
    // The community HelperSNMPTransactEx would refuse (AddCommunityOption
    // keeps it from the command line).
    if (settings.community && settings.community->size() >= kCommunityFieldSize) {
        return SNMP_RESULT_INVALID_ARGUMENT;
    }
    WatchedTransaction watch(printer, settings);
    TransactionOptions options;
    watch.Apply(options, requestType, settings);
    return RunTypedTransaction(printer.c_str(), requestType, request, reply, options);
}

std::vector<SnmpVarBind> ObjectBindings(const std::vector<std::string> &identifiers) {
    // The identifiers are the bindings; the encoder only reads them.
    std::vector<SnmpVarBind> request(identifiers.size());
    for (std::size_t i = 0; i < identifiers.size(); ++i) {
        request[i].oid = const_cast<char *>(identifiers[i].c_str());
        request[i].oidLength = static_cast<std::uint16_t>(std::min<std::size_t>(identifiers[i].size(), 0xFFFF));
    }
    return request;
}

TransactionOptions ObjectOptions(std::int32_t requestType) {
    const TransactionSettings &settings = CommandSettings();
    TransactionOptions options;
    options.timeoutSeconds = TimeoutFor(requestType);
    options.retries = settings.retries;
    if (settings.community) options.community = settings.community->c_str();
    return options;
}

TransactionOutcome OutcomeOf(std::int32_t result, const SnmpReqParam *reply, NameForm names) {
    TransactionOutcome outcome;
    outcome.result = result;
    if (reply != nullptr) {
        outcome.errorStatus = reply->errorStatus;
        outcome.errorIndex = reply->errorIndex;
        outcome.variables = ToVariables(*reply, names);
        outcome.result = ReplyResultOf(result, reply);
    }
    return outcome;
}

std::int32_t ReplyResultOf(std::int32_t result, const SnmpReqParam *reply) {
    return reply != nullptr && reply->errorStatus != 0 ? SNMP_RESULT_ERROR_STATUS : result;
}

bool RequirePrinter(const std::string &command, const std::string &printer, bool json, int &exitCode) {
    const PrinterLookup lookup = LookUpPrinter(printer);
    if (lookup.state == PrinterState::Usable) return true;
    // A store that cannot be read is no unknown printer: the user's
    // permissions or the file are what to look at.
    const bool store = lookup.state == PrinterState::StoreUnreadable;
    if (json) {
        Json object = store ? CommandObject(command, printer, kPrinterRecordUnreadable)
                            : ResultObject(command, printer, kPrinterRecordUnreadable);
        object["problem"] = JsonText(lookup.problem);
        PrintJson(object);
    } else {
        std::fprintf(stderr, "%s: %s\n", command.c_str(), lookup.problem.c_str());
    }
    exitCode = store ? kExitFailure : kExitConfiguration;
    return false;
}

bool PrepareTransaction(const std::string &command, const std::string &printer,
                        const std::vector<std::string> &typed, bool json, std::string &joined, int &exitCode) {
    std::string problem;
    std::vector<std::string> identifiers;
    if (!CheckTransactionSettings(problem) || !CheckIdentifiers(typed, identifiers, problem)) {
        exitCode = ReportUsage(command, printer, problem, json);
        return false;
    }
    if (!RequirePrinter(command, printer, json, exitCode)) return false;
    joined = JoinIdentifiers(identifiers);
    exitCode = kExitOk;
    return true;
}

int ReportErrorStatus(const std::string &command, const std::string &printer, const TransactionOutcome &outcome,
                      const std::vector<std::string> &requested, const std::vector<ReplyVariable> &read,
                      const std::vector<std::string> &furtherFailed, bool json) {
    const bool indexed = outcome.errorIndex >= 1 && outcome.errorIndex <= requested.size();
    const std::string failed = indexed ? requested[outcome.errorIndex - 1] : "";
    if (json) {
        Json object = CommandObject(command, printer, SNMP_RESULT_ERROR_STATUS);
        object["name"] = "SNMP_RESULT_ERROR_STATUS";
        object["errorStatus"] = outcome.errorStatus;
        object["errorStatusName"] = ErrorStatusName(outcome.errorStatus);
        object["errorIndex"] = outcome.errorIndex;
        object["failedObject"] = indexed ? Json(JsonText(failed)) : Json(nullptr);
        if (!furtherFailed.empty()) {
            Json further = Json::array();
            for (const std::string &oid : furtherFailed) further.push_back(JsonText(oid));
            object["furtherFailedObjects"] = further;
        }
        object["variables"] = VariablesArray(read);
        PrintJson(object);
        return kExitErrorStatus;
    }
    std::fflush(stdout);  // what was printed before comes first
    std::fprintf(stderr, "Error in packet from printer '%s'\nReason: (%s) %s\n", printer.c_str(),
                 ErrorStatusName(outcome.errorStatus).c_str(), ErrorStatusReason(outcome.errorStatus).c_str());
    if (indexed) {
        std::fprintf(stderr, "Failed object: %s (index %u)\n",
                     IdentifierText(failed, CommandSettings().format).c_str(), outcome.errorIndex);
    } else if (outcome.errorIndex != 0) {
        std::fprintf(stderr, "Failed object: index %u, beyond the %zu objects sent\n", outcome.errorIndex,
                     requested.size());
    }
    for (const std::string &oid : furtherFailed) {
        std::fprintf(stderr, "Failed object: %s (when sent again without the one before)\n",
                     IdentifierText(oid, CommandSettings().format).c_str());
    }
    std::fflush(stderr);
    PrintVariables(command, printer, read, false);
    return kExitErrorStatus;
}

int RunAndPrint(const std::string &command, const std::string &printer, std::int32_t requestType,
                const std::string &identifiers, const std::string &valueText, bool json) {
    std::string joined;
    int exitCode = kExitOk;
    std::vector<std::string> typed = SplitIdentifiers(identifiers.c_str());
    if (typed.empty()) typed.emplace_back();  // refused as an empty identifier
    if (!PrepareTransaction(command, printer, typed, json, joined, exitCode)) return exitCode;
    std::vector<std::string> requested = SplitIdentifiers(joined.c_str());
    TransactionOutcome outcome = Transact(printer, requestType, joined, valueText);
    if (outcome.result == SNMP_RESULT_ERROR_STATUS) {
        // net-snmp's tools send a get again without the failed object, so
        // that one missing object does not hide the others.
        const TransactionOutcome first = outcome;
        const std::vector<std::string> sent = requested;
        std::vector<std::string> furtherFailed;
        while (requestType != SNMP_REQUEST_SET && outcome.result == SNMP_RESULT_ERROR_STATUS &&
               outcome.errorIndex >= 1 && outcome.errorIndex <= requested.size() && requested.size() > 1) {
            requested.erase(requested.begin() + (outcome.errorIndex - 1));
            outcome = Transact(printer, requestType, JoinIdentifiers(requested), "");
            if (outcome.result == SNMP_RESULT_ERROR_STATUS && outcome.errorIndex >= 1 &&
                outcome.errorIndex <= requested.size()) {
                furtherFailed.push_back(requested[outcome.errorIndex - 1]);
            }
        }
        const std::vector<ReplyVariable> read = outcome.result == 0 ? outcome.variables : std::vector<ReplyVariable>{};
        return ReportErrorStatus(command, printer, first, sent, read, furtherFailed, json);
    }
    if (outcome.result != 0) return ReportResult(command, printer, outcome.result, json);
    PrintVariables(command, printer, outcome.variables, json);
    return kExitOk;
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
