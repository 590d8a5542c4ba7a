// SPDX-License-Identifier: Apache-2.0
// snmphelper printer: adds, shows, lists and removes the printers' keys that
// the library reads (their protocols and their addresses).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/protocol_names.h"
#include "tools/cli/registry_messages.h"
#include "tools/cli/utf8_text.h"
#include "transact/printer_config.h"
#include "transact/printer_store.h"
#include "transport/udp_transport.h"

namespace snmphelper::cli {
namespace {

using platform::RegistryKey;

std::string PrinterKeyPath(const std::string &name) { return std::string(kAdapterKeyPath) + "\\" + name; }

// A printer name the library can read: it must fit the key path and name
// exactly one key.
std::optional<std::string> CheckPrinterName(const std::string &name) {
    switch (snmphelper::CheckPrinterName(name.c_str())) {
        case NameProblem::None:
            return std::nullopt;
        case NameProblem::Empty:
            return "the printer name is empty";
        case NameProblem::TooLong:
            return "the printer name is " + std::to_string(name.size()) + " characters long; at most " +
                   std::to_string(MaxPrinterNameLength()) + " fit the library's key path";
        case NameProblem::Backslash:
            return "the printer name must not contain '\\'";
        case NameProblem::ControlCharacter:
            return "the printer name must not contain control characters";
        case NameProblem::NotUtf8:
            break;
    }
    return "the printer name \"" + EscapeInvalidUtf8(name) +
           "\" is not valid UTF-8; give it in UTF-8 (check the terminal's or the script's encoding)";
}

const char *AddressOption(std::uint32_t protocol) {
    return protocol == kProtocolIp ? "--ip" : protocol == kProtocolIpx ? "--ipx" : "--mac";
}

struct AddOptions {
    std::string name;
    std::string ip;
    std::string ipx;
    std::string mac;
    std::string protocols;
    std::string use;
    std::string community;
    bool replace = false;
};

template <std::size_t room>
bool PutField(char (&field)[room], const std::string &text) {
    if (text.size() >= room) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// --ip: an address or a host name, either with ":port" (1-65535).
bool SplitIpOption(const std::string &text, SnmpPrinterRecord &record, std::string &problem) {
    std::string host = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        const std::string port = text.substr(colon + 1);
        unsigned long number = 0;
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            (number = std::stoul(port)) == 0 || number > 65535) {
            problem = "--ip " + text + ": the port after ':' must be a number from 1 to 65535";
            return false;
        }
        record.ipPort = static_cast<std::uint32_t>(number);
    }
    // Only digits and dots is an address, never a name.
    if (LooksNumeric(host) ? !PutField(record.ipAddress, host) : !PutField(record.hostName, host)) {
        problem = "--ip " + text + ": too long for an address or a host name";
        return false;
    }
    return true;
}

// The options as a record, protocol names read; false with `problem` set.
bool RecordFromOptions(const AddOptions &options, SnmpPrinterRecord &record, std::string &problem) {
    record.recordSize = sizeof record;
    if (auto nameProblem = CheckPrinterName(options.name)) {
        problem = *nameProblem;
        return false;
    }
    PutField(record.name, options.name);
    if (!options.ip.empty() && !SplitIpOption(options.ip, record, problem)) return false;
    if (!PutField(record.ipxAddress, options.ipx)) record.ipxAddress[0] = '?';
    if (!PutField(record.macAddress, options.mac)) record.macAddress[0] = '?';
    if (!PutField(record.community, options.community)) {
        problem = "--community: at most " + std::to_string(SNMP_PRINTER_TEXT_SIZE - 1) + " octets";
        return false;
    }
    if (!options.protocols.empty() && !ParseProtocolList(options.protocols, record.cProtocols, problem)) {
        problem = "--protocols: " + problem;
        return false;
    }
    if (!options.use.empty()) {
        const auto code = ProtocolCode(options.use);
        if (!code) {
            problem = "--use: unknown protocol \"" + options.use + "\"; the protocols are ip, ipx and dlc";
            return false;
        }
        record.pProtocol = *code;
    }
    return true;
}

// What is wrong with a record, in the options' words.
std::string DescribeProblem(const PrinterCheck &check, const AddOptions &options, const SnmpPrinterRecord &record,
                            const StoredPrinter &stored) {
    switch (check.problem) {
        case RecordProblem::None:
        case RecordProblem::Name:
        case RecordProblem::Unterminated:
            break;
        case RecordProblem::IpNotDottedQuad:
            return "--ip " + options.ip +
                   ": expected a dotted-decimal IPv4 address such as 192.168.1.20 "
                   "(four numbers 0-255, no leading zeros), or a host name";
        case RecordProblem::IpNotAPrinter:
            return "--ip " + options.ip + ": not a printer's address";
        case RecordProblem::IpxMalformed:
            return "--ipx " + options.ipx +
                   ": expected 8 hexadecimal digits of network and 12 of node, such as 0000000100A0C9123456 or "
                   "00000001:00A0C9123456";
        case RecordProblem::MacMalformed:
            return "--mac " + options.mac +
                   ": expected 12 hexadecimal digits, such as 0000C0A1B2C3 or 00:00:C0:A1:B2:C3";
        case RecordProblem::NoAddress:
            return "give at least one address: --ip, --ipx or --mac";
        case RecordProblem::UnknownProtocolBits:
            return "unknown protocol";
        case RecordProblem::ProtocolWithoutAddress:
            return "--protocols names " + ProtocolNameOf(check.protocol) + " but no " +
                   AddressOption(check.protocol) + " address is given";
        case RecordProblem::UseNotAmongProtocols:
            return "--use " + options.use + " is not among the printer's protocols (" +
                   ProtocolList(stored.protocols) + ")";
        case RecordProblem::PortOutOfRange:
        case RecordProblem::PortWithoutIp:
            return "--ip " + options.ip + ": the port must be a number from 1 to 65535";
        case RecordProblem::CommunityNotText:
            return "--community: control characters and text that is not UTF-8 cannot be stored";
        case RecordProblem::HostNameInvalid:
            return "--ip " + options.ip +
                   ": expected a dotted-decimal IPv4 address such as 192.168.1.20, or a host name "
                   "(letters, digits, '-' and '.')";
        case RecordProblem::HostUnresolved:
            return "--ip " + options.ip + ": the host name \"" + std::string(record.hostName) +
                   "\" has no IPv4 address (expected a dotted-decimal IPv4 address, or a host name that resolves)";
    }
    return "the record cannot be stored";
}

// What a failed use of the store says, from the store's own code.
std::string DescribeStoreResult(std::int32_t result, std::int32_t registryCode) {
    if (result == SNMP_RESULT_STORE_DENIED) return DescribeRegistryResult(platform::kRegistryAccessDenied);
    return DescribeRegistryResult(registryCode);
}

int ReportWrite(const char *command, std::int32_t result, std::int32_t registryCode, const std::string &name) {
    if (result == SNMP_RESULT_PRINTER_EXISTS) {
        std::fprintf(stderr, "%s: printer \"%s\" already exists; use --replace to overwrite it\n", command,
                     name.c_str());
    } else if (result == SNMP_RESULT_NO_SUCH_PRINTER) {
        std::fprintf(stderr, "%s: no printer named \"%s\"\n", command, name.c_str());
        return kExitConfiguration;
    } else {
        std::fprintf(stderr, "%s: %s\n", command, DescribeStoreResult(result, registryCode).c_str());
    }
    return kExitFailure;
}

// Checks a record and writes it; the outcome printed as `command`.
int CheckAndWrite(const char *command, const AddOptions &options, const SnmpPrinterRecord &record,
                  PrinterWrite how) {
    StoredPrinter stored;
    const PrinterCheck check = PreparePrinter(record, stored);
    if (check.problem != RecordProblem::None) {
        std::fprintf(stderr, "%s: %s\n", command, DescribeProblem(check, options, record, stored).c_str());
        return kExitUsage;
    }
    std::int32_t registryCode = 0;
    const std::int32_t result = WritePrinter(stored, how, registryCode);
    if (result != 0) return ReportWrite(command, result, registryCode, options.name);
    std::printf("printer \"%s\": protocols %s, using %s", stored.name.c_str(), ProtocolList(stored.protocols).c_str(),
                ProtocolNameOf(stored.use).c_str());
    if (!stored.hostName.empty()) std::printf(", %s is %s", stored.hostName.c_str(), stored.ip.c_str());
    std::printf("\n");
    return kExitOk;
}

int RunAdd(const AddOptions &options) {
    SnmpPrinterRecord record{};
    std::string problem;
    if (!RecordFromOptions(options, record, problem)) {
        std::fprintf(stderr, "printer add: %s\n", problem.c_str());
        return kExitUsage;
    }
    return CheckAndWrite("printer add", options, record,
                         options.replace ? PrinterWrite::Replace : PrinterWrite::Add);
}

// printer refresh: the host name resolved again, everything else kept.
int RunRefresh(const std::string &name) {
    if (auto problem = CheckPrinterName(name)) {
        std::fprintf(stderr, "printer refresh: %s\n", problem->c_str());
        return kExitUsage;
    }
    SnmpPrinterRecord record{};
    record.recordSize = sizeof record;
    std::int32_t registryCode = 0;
    const std::int32_t read = ReadPrinter(name.c_str(), record, registryCode);
    if (read != 0) return ReportWrite("printer refresh", read, registryCode, name);
    if (record.hostName[0] == '\0') {
        std::fprintf(stderr, "printer refresh: printer \"%s\" has no host name to resolve\n", name.c_str());
        return kExitFailure;
    }
    AddOptions options;
    options.name = name;
    options.ip = record.hostName;
    return CheckAndWrite("printer refresh", options, record, PrinterWrite::Update);
}

std::optional<std::uint32_t> QueryNumber(RegistryKey key, const char *name) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    if (platform::QueryRegistryValue(key, name, nullptr, bytes, &size) != platform::kRegistrySuccess) {
        return std::nullopt;
    }
    return platform::RegistryDword(bytes);
}

std::string QueryText(RegistryKey key, const char *name) {
    std::uint32_t size = 0;
    if (platform::QueryRegistryValue(key, name, nullptr, nullptr, &size) != platform::kRegistrySuccess) {
        return "(none)";
    }
    std::string text(size, '\0');
    if (platform::QueryRegistryValue(key, name, nullptr, text.data(), &size) != platform::kRegistrySuccess) {
        return "(unreadable)";
    }
    text.resize(std::strlen(text.c_str()));
    return text.empty() ? "(empty)" : text;
}

// Why the library could not read the printer, for `printer show`.
std::string LibraryView(const std::string &name, RegistryKey key) {
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    if (ReadPrinterAddressRecord(name.c_str(), &record) == 0) return "reads this printer";
    std::uint32_t size = 0;
    if (platform::QueryRegistryValue(key, kMacAddressValue, nullptr, nullptr, &size) != platform::kRegistrySuccess) {
        return "cannot read this printer: its key has no \"MAC Address\" value";
    }
    if (size >= kAddressFieldSize) {
        return "cannot read this printer: its \"MAC Address\" is longer than 21 characters";
    }
    return "cannot read this printer: this process may not write the registry, and the library opens "
           "printer keys for full access";
}

int RunShow(const std::string &name, bool json, bool showSecrets) {
    if (auto problem = CheckPrinterName(name)) {
        std::fprintf(stderr, "printer show: %s\n", problem->c_str());
        return kExitUsage;
    }
    RegistryKey key = nullptr;
    const std::int32_t code = platform::OpenRegistryKey(PrinterKeyPath(name).c_str(), platform::kKeyRead, &key);
    if (code == platform::kRegistryNotFound) {
        std::fprintf(stderr, "printer show: no printer named \"%s\"\n", name.c_str());
        return kExitConfiguration;
    }
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "printer show: %s\n", DescribeRegistryResult(code).c_str());
        return 1;
    }
    const auto protocols = QueryNumber(key, kProtocolSetValue);
    const auto use = QueryNumber(key, kProtocolInUseValue);
    const auto port = QueryNumber(key, kIpPortValue);
    const std::string portText = port ? std::to_string(*port) : "161";
    if (json) {
        Json shown{{"command", "printer show"},
                   {"name", JsonText(name)},
                   {"protocols", protocols ? ProtocolList(*protocols & 0xFF) : "(none)"},
                   {"use", use ? ProtocolNameOf(*use & 0xFF) : "unset"},
                   {"ipAddress", JsonText(QueryText(key, kIpAddressValue))},
                   {"ipPort", port ? *port : kSnmpAgentPort},
                   {"hostName", JsonText(QueryText(key, kHostNameValue))},
                   {"ipxAddress", JsonText(QueryText(key, kIpxAddressValue))},
                   {"macAddress", JsonText(QueryText(key, kMacAddressValue))},
                   {"communitySet", CommunityShown(key, false) != kNoCommunity},
                   {"library", LibraryView(name, key)}};
        if (showSecrets) shown["community"] = JsonText(CommunityShown(key, true));
        PrintJson(shown);
        platform::CloseRegistryKey(key);
        return 0;
    }
    std::printf("printer \"%s\"\n", name.c_str());
    std::printf("  protocols:   %s\n", protocols ? ProtocolList(*protocols & 0xFF).c_str() : "(none)");
    std::printf("  in use:      %s\n", use ? ProtocolNameOf(*use & 0xFF).c_str() : "unset");
    std::printf("  IP Address:  %s\n", QueryText(key, kIpAddressValue).c_str());
    if (port) std::printf("  IP Port:     %s\n", portText.c_str());
    if (QueryText(key, kHostNameValue) != "(none)") {
        std::printf("  Host Name:   %s\n", QueryText(key, kHostNameValue).c_str());
    }
    std::printf("  IPX Address: %s\n", QueryText(key, kIpxAddressValue).c_str());
    std::printf("  MAC Address: %s\n", QueryText(key, kMacAddressValue).c_str());
    std::printf("  Community:   %s\n", CommunityShown(key, showSecrets).c_str());
    std::printf("  library:     %s\n", LibraryView(name, key).c_str());
    platform::CloseRegistryKey(key);
    return 0;
}

// One printer as `printer list` shows it.
struct ListedPrinter {
    std::string name;
    std::string protocols;
    std::string use;
    std::string address;
};

int RunList(bool json) {
    // One reading of the store for the list and every printer's key, so the
    // list is of one moment and its cost does not grow with each key opened.
    platform::RegistryReading reading;
    std::string problem;
    const auto names = RegisteredPrinters(problem);
    if (!names) {
        std::fprintf(stderr, "printer list: %s\n", problem.c_str());
        return kExitFailure;
    }
    std::vector<ListedPrinter> printers;
    for (const std::string &name : *names) {
        RegistryKey key = nullptr;
        if (platform::OpenRegistryKey(PrinterKeyPath(name).c_str(), platform::kKeyRead, &key) !=
            platform::kRegistrySuccess) {
            continue;  // removed meanwhile
        }
        const std::uint32_t use = QueryNumber(key, kProtocolInUseValue).value_or(0) & 0xFF;
        const char *addressValue = use == kProtocolIpx ? kIpxAddressValue
                                   : use == kProtocolDlc ? kMacAddressValue
                                                         : kIpAddressValue;
        printers.push_back({name, ProtocolList(QueryNumber(key, kProtocolSetValue).value_or(0) & 0xFF),
                            ProtocolNameOf(use), QueryText(key, addressValue)});
        platform::CloseRegistryKey(key);
    }
    if (json) {
        Json list = Json::array();
        for (const ListedPrinter &printer : printers) {
            list.push_back(Json{{"name", JsonText(printer.name)},
                                {"protocols", printer.protocols},
                                {"use", printer.use},
                                {"address", JsonText(printer.address)}});
        }
        PrintJson(Json{{"command", "printer list"}, {"printers", list}});
        return kExitOk;
    }
    for (const ListedPrinter &printer : printers) {
        std::printf("%s\t%s\t%s\t%s\n", printer.name.c_str(), printer.protocols.c_str(), printer.use.c_str(),
                    printer.address.c_str());
    }
    return kExitOk;
}

int RunRemove(const std::string &name) {
    if (auto problem = CheckPrinterName(name)) {
        std::fprintf(stderr, "printer remove: %s\n", problem->c_str());
        return kExitUsage;
    }
    std::int32_t registryCode = 0;
    const std::int32_t result = RemovePrinter(name.c_str(), registryCode);
    return result == 0 ? kExitOk : ReportWrite("printer remove", result, registryCode, name);
}

}  // namespace

void AddPrinterCommand(Command &app, int &exitCode) {
    Command *printer = app.add_subcommand("printer", "Add, show, list and remove printers in the registry");
    printer->require_subcommand(1);

    auto add = std::make_shared<AddOptions>();
    Command *addCommand = printer->add_subcommand("add", "Record a printer's protocols and addresses");
    addCommand->add_option("name", add->name, "Printer name, as callers pass it to the library")->required();
    addCommand->add_option("--ip", add->ip,
                           "IPv4 address, dotted decimal, or a host name (resolved now; see 'printer refresh'), "
                           "either with :PORT for an agent on another UDP port than 161");
    addCommand->add_option("--ipx", add->ipx, "IPX address: 8 hex digits of network, 12 of node");
    addCommand->add_option("--mac", add->mac, "Adapter (MAC) address for DLC: 12 hex digits");
    addCommand->add_option("--protocols", add->protocols,
                           "Protocols to reach it by, comma-separated: ip, ipx, dlc (default: those with an address)");
    addCommand->add_option("--use", add->use, "Protocol to use first: ip, ipx or dlc (default: ip if allowed)");
    addCommand->add_option("--community", add->community,
                           "Community its requests carry (default: the configuration's, see 'config set community')");
    addCommand->add_flag("--replace", add->replace, "Overwrite an existing printer of that name");
    addCommand->callback([add, &exitCode] { exitCode = RunAdd(*add); });

    auto name = std::make_shared<std::string>();
    auto showJson = std::make_shared<bool>(false);
    auto showSecrets = std::make_shared<bool>(false);
    Command *show = printer->add_subcommand("show", "Show what the registry holds for a printer");
    show->add_option("name", *name, "Printer name")->required();
    show->add_flag("--json", *showJson, "Print one JSON object");
    show->add_flag("--show-secrets", *showSecrets, "Print the community itself, not only whether one is set");
    show->callback([name, showJson, showSecrets, &exitCode] { exitCode = RunShow(*name, *showJson, *showSecrets); });

    Command *refresh = printer->add_subcommand("refresh", "Resolve a printer's host name again and store its address");
    refresh->add_option("name", *name, "Printer name")->required();
    refresh->callback([name, &exitCode] { exitCode = RunRefresh(*name); });

    auto listJson = std::make_shared<bool>(false);
    Command *list = printer->add_subcommand("list", "List the printers: name, protocols, protocol in use, its address");
    list->add_flag("--json", *listJson, "Print one JSON object");
    list->callback([listJson, &exitCode] { exitCode = RunList(*listJson); });

    Command *remove = printer->add_subcommand("remove", "Remove a printer's key");
    remove->add_option("name", *name, "Printer name")->required();
    remove->callback([name, &exitCode] { exitCode = RunRemove(*name); });
}

}  // namespace snmphelper::cli
