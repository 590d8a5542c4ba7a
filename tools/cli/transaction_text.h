/* SPDX-License-Identifier: Apache-2.0 */
// What the transaction subcommands (get, getnext, set, walk, group) share:
// the per-command settings (timeout, retries, datagram dump, output format),
// running a transaction through HelperSNMPTransactEx, the caller buffers of
// the text exports and the reading of their text back into typed values,
// and the printing of values, error-status replies and failing results,
// readable or as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/reply_format.h"
#include "transact/typed_transaction.h"

namespace snmphelper::cli {

// The options every command that talks to a printer takes (see
// AddPrinterArguments); one command runs per process.
struct TransactionSettings {
    std::int32_t timeoutSeconds = -1;  // --timeout; -1: the configuration's
    std::int32_t retries = -1;         // --retries; -1: the configuration's
    bool dump = false;                 // -v/--dump: each datagram in hex on standard error
    bool progress = true;              // the waiting line on a terminal (WaitProgress)
    std::optional<std::string> community;  // -c/--community; none: the printer's configured one
    std::vector<std::string> outputLetters;  // each -O's letters, see ParseOutputFormat
    OutputFormat format;               // read from outputLetters by CheckTransactionSettings
};
TransactionSettings &CommandSettings();

// Reads the -O letters into the format; false with `problem` set when they
// are unknown.
bool CheckTransactionSettings(std::string &problem);

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

// A decoded record's variable binding as a ReplyVariable (its name read in
// `names` form).
ReplyVariable VariableOf(const SnmpVarBind &binding, NameForm names = NameForm::Text);

// A decoded message's binding as the transaction commands print a variable
// without -O letters: "1.3.6.1.2.1.1.1.0 = STRING: \"abc\"".
std::string BindingLine(const SnmpVarBind &binding);

// A JSON array of the variables, each as VariableJson writes it.
std::string VariablesJson(const std::vector<ReplyVariable> &variables);

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

// The value text of one item for a set request: "1,42", "2,3,abc", "9,", ...
// `typeName` is integer, string, hex, ipaddress, counter, gauge, timeticks or
// oid, or one of net-snmp snmpset's letters with its meaning: i, u
// (Unsigned32, sent as a Gauge), t, a, o, s, x (hex digit pairs, an optional
// 0x, spaces between pairs), d (decimal octets separated by dots or spaces)
// and n (NULL; the value is ignored). Empty with `problem` set when the value
// does not suit the type.
std::string ValueItem(const std::string &typeName, const std::string &valueText, std::string &problem);

// ValueItem's items as one value list.
std::string JoinValueItems(const std::vector<std::string> &items);

// Prints the variables: lines in the settings' OutputFormat (see
// VariableLine), or one JSON object
// {"command":..., "printer":..., "result":0, "variables":[...]}.
void PrintVariables(const std::string &command, const std::string &printer,
                    const std::vector<ReplyVariable> &variables, bool json);

// One variable as PrintVariables writes it in JSON: {"oid":...,"type":...,"value":...}
// with the library's type names ("OCTET STRING", "TimeTicks", ...); numbers
// as numbers, an OCTET STRING as text when it is printable UTF-8, otherwise,
// like Opaque, as {"hex":"..."}.
std::string VariableJson(const ReplyVariable &variable);

// Reports a non-zero result with its name and meaning: to standard error,
// or as a JSON object on standard output. Returns the process exit code
// (ExitCodeForResult).
int ReportResult(const std::string &command, const std::string &printer, std::int32_t result, bool json);

// ReportResult for a command that read some variables before it failed (a
// walk): in text they were printed as they came and only the failure is
// reported; the JSON object carries them as "variables".
int ReportResultWithVariables(const std::string &command, const std::string &printer, std::int32_t result,
                              const std::vector<ReplyVariable> &read, bool json);

// The text as a JSON string literal, quotes included; octets that are not
// UTF-8 are escaped as EscapeInvalidUtf8 does.
std::string JsonString(const std::string &text);

// What one HelperSNMPTransactEx call brought.
struct TransactionOutcome {
    std::int32_t result = 0;
    std::uint32_t errorStatus = 0;
    std::uint32_t errorIndex = 0;
    std::vector<ReplyVariable> variables;  // the reply's, whatever its error-status
};

// Runs one transaction with the command settings' timeout (without one,
// the store's, else the tool's kToolTimeoutSeconds), retries, dump and
// progress line. `identifiers` are comma-joined and already checked; `valueText` is
// the set request's value list ("" otherwise).
TransactionOutcome Transact(const std::string &printer, std::int32_t requestType, const std::string &identifiers,
                            const std::string &valueText);

// Transact for a get or get-next of `identifiers` (already checked), handed
// to the library's typed engine as bindings, without joining them into text
// for the library to split again. The same settings, outcome and results as
// Transact.
TransactionOutcome TransactObjects(const std::string &printer, std::int32_t requestType,
                                   const std::vector<std::string> &identifiers);
// The same for identifiers already made bindings (ObjectBindings), keeping
// the reply as the library decoded it: the result, and `reply` holding its
// record (null when none came), for a caller that reads it where it is.
std::int32_t TransactObjects(const std::string &printer, std::int32_t requestType,
                             std::span<const SnmpVarBind> request, TypedReply &reply);

// TransactObjects in parts, for a caller that hands the transactions to
// the library's multiplexed engine (poll): the bindings of `identifiers`
// (views of the strings, which must outlive them), the command settings'
// timeout, retries and community for a request of `requestType` (no dump
// or progress line), and the outcome of a typed transaction's result and
// reply as TransactObjects reports it.
std::vector<SnmpVarBind> ObjectBindings(const std::vector<std::string> &identifiers);
TransactionOptions ObjectOptions(std::int32_t requestType);
TransactionOutcome OutcomeOf(std::int32_t result, const SnmpReqParam *reply, NameForm names = NameForm::Text);
// The result OutcomeOf reports: a reply with an error-status stands for
// SNMP_RESULT_ERROR_STATUS.
std::int32_t ReplyResultOf(std::int32_t result, const SnmpReqParam *reply);

// Whether the printer is registered and its record readable (LookUpPrinter);
// when not, reports why (text or JSON) and sets `exitCode`: 5 for a printer
// the library does not know, 1 for a store that cannot be read.
bool RequirePrinter(const std::string &command, const std::string &printer, bool json, int &exitCode);

// Checks the typed identifiers (CheckIdentifiers) and that the printer is
// registered (RequirePrinter); on failure reports it (text or JSON) and returns the exit code
// in `exitCode`. On success `joined` holds the identifiers comma-joined.
bool PrepareTransaction(const std::string &command, const std::string &printer,
                        const std::vector<std::string> &typed, bool json, std::string &joined, int &exitCode);

// Reports a reply with a non-zero error-status as net-snmp does ("Error in
// packet", the RFC 1157 status name and reason, the failed object: the one
// of `requested` its error-index names), with `furtherFailed` (objects that
// failed when the request was sent again without the first), then prints
// `read`: the variables read despite it. JSON: one object with the result,
// errorStatus, errorStatusName, errorIndex, failedObject,
// furtherFailedObjects (when any) and the variables. Returns kExitErrorStatus.
int ReportErrorStatus(const std::string &command, const std::string &printer, const TransactionOutcome &outcome,
                      const std::vector<std::string> &requested, const std::vector<ReplyVariable> &read,
                      const std::vector<std::string> &furtherFailed, bool json);

// Runs one transaction (request type of HelperSNMPTransact) for the joined
// identifiers and, for a set, the value text, and prints what came back or
// the failing result. A get or get-next that meets an error-status with an
// error-index is sent again without the failed object, as net-snmp's tools
// do, so that the others are still read. Returns the process exit code.
int RunAndPrint(const std::string &command, const std::string &printer, std::int32_t requestType,
                const std::string &identifiers, const std::string &valueText, bool json);

// Number of comma-separated identifiers in `list`.
std::uint32_t IdentifierCount(const std::string &list);

// The identifiers joined by commas.
std::string JoinIdentifiers(const std::vector<std::string> &identifiers);

}  // namespace snmphelper::cli
