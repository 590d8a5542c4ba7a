// What the transaction subcommands (get, getnext, set, walk, group) share:
// the caller buffers a transaction writes into, the reading of the reply's
// text back into typed values, and the printing of those values or of a
// failing result, readable or as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snmphelper::cli {

// Room of the buffers the commands hand to a transaction.
inline constexpr std::uint32_t kIdentifierRoom = 4096;
inline constexpr std::uint32_t kValueRoom = 8192;

// One variable of a reply, its value in the representation of
// SnmpVarBind.value (numbers host order, IpAddress 4 octets, OBJECT
// IDENTIFIER its text).
struct ReplyVariable {
    std::string oid;
    std::int32_t type = 0;
    std::vector<std::uint8_t> value;
};

// The writable identifier and value buffers of one transaction.
struct TransactionBuffers {
    std::vector<char> identifiers;
    std::vector<char> values;
    std::uint32_t valueSize = 0;  // room on the way in, text length on the way out

    // `identifierText` joined by commas, with kIdentifierRoom of room at
    // least; `valueText` (set requests) in kValueRoom of room at least.
    TransactionBuffers(const std::string &identifierText, const std::string &valueText);
    std::uint32_t IdentifierRoom() const { return static_cast<std::uint32_t>(identifiers.size()); }
};

// Reads the reply the transaction left: the comma-joined identifiers and the
// value text of `valueLength` characters. Null when the texts do not parse
// (the library never writes such a text).
std::optional<std::vector<ReplyVariable>> ParseReply(const char *identifierText, const char *valueText,
                                                     std::uint32_t valueLength);

// The value text of one item for a set request: "1,42", "2,3,abc", ...
// `typeName` is integer, string, hex, ipaddress, counter, gauge, timeticks or
// oid; empty with `problem` set when the value does not suit the type.
std::string ValueItem(const std::string &typeName, const std::string &valueText, std::string &problem);

// Prints the variables: "OID = TYPE: value" lines, or one JSON object
// {"command":..., "printer":..., "result":0, "variables":[...]}.
void PrintVariables(const std::string &command, const std::string &printer,
                    const std::vector<ReplyVariable> &variables, bool json);

// One variable as PrintVariables writes it in JSON: {"oid":...,"type":...,"value":...}.
std::string VariableJson(const ReplyVariable &variable);

// Reports a non-zero result with its name and meaning: to standard error,
// or as a JSON object on standard output. Returns the process exit code (1).
int ReportResult(const std::string &command, const std::string &printer, std::int32_t result, bool json);

// The text as a JSON string literal, quotes included.
std::string JsonString(const std::string &text);

// Runs one transaction (request type of HelperSNMPTransact) for the joined
// identifiers and, for a set, the value text, and prints what came back or
// the failing result. Returns the process exit code.
int RunAndPrint(const std::string &command, const std::string &printer, std::int32_t requestType,
                const std::string &identifiers, const std::string &valueText, bool json);

// Number of comma-separated identifiers in `list`.
std::uint32_t IdentifierCount(const std::string &list);

// The identifiers joined by commas.
std::string JoinIdentifiers(const std::vector<std::string> &identifiers);

}  // namespace snmphelper::cli
