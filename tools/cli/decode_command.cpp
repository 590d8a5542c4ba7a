// SPDX-License-Identifier: Apache-2.0
// snmphelper decode: prints an SNMPv1 GetResponse, Trap or request message
// (what 'snmphelper form' prints) given as hex text or read from a file.
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/request_decoder.h"
#include "codec/trap_decoder.h"
#include "snmphelper.h"
#include "transport/datagram_transport.h"
#include "tools/cli/commands.h"
#include "tools/cli/trap_text.h"
#include "tools/cli/transaction_text.h"
#include "tools/cli/value_text.h"

namespace snmphelper::cli {
namespace {

constexpr int kDecoded = 0;
constexpr int kRefused = 1;
constexpr int kBadInput = 2;
// The trap decoder counts only 16 bits of length; a longer input would be
// decoded from its prefix, so it is offered to the trap decoder only when it
// fits.
constexpr std::size_t kMaxTrapMessage = 0xFFFF;

struct DecodeOptions {
    std::vector<std::string> hex;  // the words of the hex text, unquoted or quoted
    std::string file;
    bool json = false;
};

// Hex digit pairs; spaces, tabs, newlines and colons between them are ignored.
std::optional<std::vector<std::uint8_t>> ParseHex(const std::string &text, std::string &error) {
    std::vector<std::uint8_t> octets;
    int high = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':' || c == '\t' || c == '\n' || c == '\r') continue;
        const int digit = HexDigitValue(c);
        if (digit > 15) {
            // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about
            // "literal" + std::string&&.
            error.assign(1, '\'');
            error += c;
            error += "' at position ";
            error += std::to_string(i + 1);
            error += " is not a hex digit";
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            octets.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        error = "odd number of hex digits";
        return std::nullopt;
    }
    return octets;
}

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    std::vector<std::uint8_t> octets((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return octets;
}

void PrintVarBinds(const SnmpVarBind *entries, std::uint16_t count) {
    std::cout << "  variable-bindings: " << count << '\n';
    for (std::uint16_t i = 0; i < count; ++i)
        std::cout << "    " << BindingLine(entries[i]) << '\n';
}

// RFC 1157's names of the PDUs an SnmpReqParam holds.
const char *PduName(std::int32_t pduType) {
    switch (pduType) {
        case SNMP_PDU_GET_REQUEST: return "GetRequest";
        case SNMP_PDU_GET_NEXT_REQUEST: return "GetNextRequest";
        case SNMP_PDU_SET_REQUEST: return "SetRequest";
        default: return "GetResponse";
    }
}

void PrintResponse(const SnmpReqParam &record) {
    std::cout << PduName(record.pduType) << "-PDU\n"
              << "  community:    "
              << OctetsText(reinterpret_cast<const std::uint8_t *>(record.community),
                            record.communityLength)
              << '\n'
              << "  request-id:   " << record.requestId << '\n'
              << "  error-status: " << ErrorStatusName(record.errorStatus) << " ("
              << unsigned{record.errorStatus} << ")\n"
              << "  error-index:  " << record.errorIndex << '\n';
    PrintVarBinds(record.varBinds, record.varBindCount);
}

// The GetResponse or request as one JSON object, its variables as the
// transaction commands write them.
void PrintResponseJson(const SnmpReqParam &record) {
    std::vector<ReplyVariable> variables;
    for (std::uint16_t i = 0; i < record.varBindCount; ++i) variables.push_back(VariableOf(record.varBinds[i]));
    std::cout << "{\"pdu\":\"" << PduName(record.pduType) << "\",\"community\":"
              << JsonString(std::string(record.community, record.communityLength))
              << ",\"requestId\":" << record.requestId << ",\"errorStatus\":" << unsigned{record.errorStatus}
              << ",\"errorStatusName\":" << JsonString(ErrorStatusName(record.errorStatus))
              << ",\"errorIndex\":" << record.errorIndex << ",\"variables\":" << VariablesJson(variables) << "}\n";
}

void PrintTrap(const SnmpTrapParam &trap, bool json) {
    if (json) {
        std::cout << "{\"pdu\":\"Trap\"," << TrapJson(trap).substr(1) << '\n';
    } else {
        std::cout << TrapText(trap);
    }
}

void PrintRecord(SnmpReqParam *record, bool json) {
    if (json) {
        PrintResponseJson(*record);
    } else {
        PrintResponse(*record);
    }
    HelperFreeReqParam(record);
}

int Decode(const std::vector<std::uint8_t> &message, bool json) {
    const auto length = static_cast<std::uint32_t>(message.size());
    if (message.size() == length) {
        if (SnmpReqParam *record = HelperSnmpDecodePdu(message.data(), length)) {
            PrintRecord(record, json);
            return kDecoded;
        }
        if (SnmpReqParam *record = DecodeRequestMessage(message.data(), length)) {
            PrintRecord(record, json);
            return kDecoded;
        }
    }
    if (message.size() <= kMaxTrapMessage) {
        if (SnmpTrapParam *trap = HelperSnmpDecodeTrapPdu(message.data(), length)) {
            PrintTrap(*trap, json);
            FreeTrapParam(trap);
            return kDecoded;
        }
    }
    std::cerr << "snmphelper decode: the " << message.size()
              << " octets are neither a valid SNMPv1 GetResponse nor a valid SNMPv1 Trap message, nor a "
                 "valid request (GetRequest, GetNextRequest, SetRequest)\n";
    return kRefused;
}

int RunDecode(const DecodeOptions &options) {
    if (options.hex.empty() == options.file.empty()) {
        std::cerr << "snmphelper decode: give the message either as HEX or with --file\n";
        return kBadInput;
    }
    std::string error;
    std::string hex;
    for (const std::string &word : options.hex) hex += word + ' ';
    const std::optional<std::vector<std::uint8_t>> message =
        options.file.empty() ? ParseHex(hex, error) : ReadFile(options.file, error);
    if (!message) {
        std::cerr << "snmphelper decode: " << error << '\n';
        return kBadInput;
    }
    return Decode(*message, options.json);
}

}  // namespace

void AddDecodeCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<DecodeOptions>();
    Command *command = app.add_subcommand(
        "decode",
        "Decode an SNMPv1 GetResponse, Trap or request (GetRequest, GetNextRequest, SetRequest) message and "
        "print its fields.\n"
        "Exit status: 0 decoded, 1 none of these, 2 bad input.");
    Option *hex = command->add_option("HEX", options->hex,
                                           "the message as hex digits, in one or more words; "
                                           "spaces and colons between them are ignored");
    Option *file =
        command->add_option("-f,--file", options->file, "read the message octets from this file");
    hex->excludes(file);
    command->add_flag("--json", options->json, "Print one JSON object");
    command->callback([options, &exitCode] { exitCode = RunDecode(*options); });
}

}  // namespace snmphelper::cli
