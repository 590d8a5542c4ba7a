// SPDX-License-Identifier: Apache-2.0
// snmphelper discover: the printers that answer a broadcast over IP, IPX and
// DLC, one line each (or JSON), and with --add each new one recorded.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/protocol_names.h"
#include "tools/cli/transaction_text.h"
#include "tools/cli/utf8_text.h"
#include "discover/discovery_targets.h"
#include "transact/printer_store.h"

namespace snmphelper::cli {
namespace {

constexpr double kMostSeconds = 3600;
constexpr long long kMostWalkRate = 100000;
constexpr const char kDefaultPrefix[] = "printer";

struct DiscoverOptions {
    std::string protocols = "ip,ipx,dlc";
    double timeoutSeconds = 3;
    std::vector<std::string> subnets;
    bool walk = false;
    unsigned rate = 0;
    bool json = false;
    bool add = false;
    std::string prefix = kDefaultPrefix;
};

// What --add did with one printer.
struct Registration {
    std::string name;
    bool added = false;
    std::string kept;  // why not: the printer it already is, or the store's refusal
};

// Addresses compared as the store holds them: hex digits in one case, no separators.
std::string Normalized(const std::string &address) {
    std::string text;
    for (char c : address) {
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == '.') {
            text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return text;
}

bool SameAddress(const char *discovered, const char *recorded) {
    return discovered[0] != '\0' && Normalized(discovered) == Normalized(recorded);
}

// The printers already recorded, read once for the whole run.
std::vector<SnmpPrinterRecord> RecordedPrinters() {
    std::vector<SnmpPrinterRecord> records;
    std::vector<std::string> names;
    std::int32_t registryCode = 0;
    if (ListPrinters(names, registryCode) != 0) return records;
    for (const std::string &name : names) {
        SnmpPrinterRecord record{};
        record.recordSize = sizeof record;
        if (ReadPrinter(name.c_str(), record, registryCode) == 0) records.push_back(record);
    }
    return records;
}

// The name a found printer is recorded under: the prefix and its hardware
// address, else its first address, so that the same printer gets the same
// name on every run.
std::string NameFor(const SnmpDiscoveredPrinter &printer, const std::string &prefix) {
    const char *identity = printer.hardwareAddress[0] != '\0' ? printer.hardwareAddress
                           : printer.ipAddress[0] != '\0'      ? printer.ipAddress
                           : printer.ipxAddress[0] != '\0'     ? printer.ipxAddress
                                                               : printer.macAddress;
    return prefix + "-" + identity;
}

Registration Register(const SnmpDiscoveredPrinter &printer, const std::string &prefix,
                      std::vector<SnmpPrinterRecord> &recorded) {
    Registration registration;
    for (const SnmpPrinterRecord &existing : recorded) {
        if (SameAddress(printer.ipAddress, existing.ipAddress) || SameAddress(printer.ipxAddress, existing.ipxAddress) ||
            SameAddress(printer.macAddress, existing.macAddress)) {
            registration.name = existing.name;
            registration.kept = "already recorded";
            return registration;
        }
    }
    SnmpPrinterRecord record{};
    record.recordSize = sizeof record;
    record.cProtocols = printer.cProtocols;
    record.pProtocol = printer.pProtocol;
    registration.name = NameFor(printer, prefix);
    std::snprintf(record.name, sizeof record.name, "%s", registration.name.c_str());
    std::snprintf(record.ipAddress, sizeof record.ipAddress, "%s", printer.ipAddress);
    std::snprintf(record.ipxAddress, sizeof record.ipxAddress, "%s", printer.ipxAddress);
    std::snprintf(record.macAddress, sizeof record.macAddress, "%s", printer.macAddress);
    const std::int32_t result = HelperPrinterAdd(&record, 0);
    if (result == 0) {
        registration.added = true;
        recorded.push_back(record);
    } else if (result == SNMP_RESULT_PRINTER_EXISTS) {
        registration.kept = "another printer has this name";
    } else {
        registration.kept = HelperResultText(result);
    }
    return registration;
}

// The model a person knows the printer by: its device description, else its
// system description.
std::string ModelOf(const SnmpDiscoveredPrinter &printer) {
    return printer.deviceDescr[0] != '\0' ? printer.deviceDescr : printer.sysDescr;
}

std::string AddressList(const SnmpDiscoveredPrinter &printer) {
    std::string list;
    const auto append = [&list](const char *protocol, const char *address) {
        if (address[0] == '\0') return;
        if (!list.empty()) list += ", ";
        list += std::string(protocol) + " " + address;
    };
    append("ip", printer.ipAddress);
    append("ipx", printer.ipxAddress);
    append("dlc", printer.macAddress);
    return list;
}

Json PrinterJson(const SnmpDiscoveredPrinter &printer, const Registration *registration) {
    Json protocols = Json::array();
    for (std::uint32_t code : {SNMP_PROTOCOL_IP, SNMP_PROTOCOL_IPX, SNMP_PROTOCOL_DLC}) {
        if ((printer.cProtocols & code) != 0) protocols.push_back(ProtocolNameOf(code));
    }
    Json addresses = Json::object();
    if (printer.ipAddress[0] != '\0') addresses["ip"] = printer.ipAddress;
    if (printer.ipxAddress[0] != '\0') addresses["ipx"] = printer.ipxAddress;
    if (printer.macAddress[0] != '\0') addresses["dlc"] = printer.macAddress;
    Json entry = {{"name", JsonText(printer.sysName)},
                  {"model", JsonText(ModelOf(printer))},
                  {"serial", JsonText(printer.serialNumber)},
                  {"sysDescr", JsonText(printer.sysDescr)},
                  {"sysObjectID", printer.sysObjectID},
                  {"hardwareAddress", printer.hardwareAddress},
                  {"protocols", protocols},
                  {"use", ProtocolNameOf(printer.pProtocol)},
                  {"addresses", addresses}};
    if (registration != nullptr) {
        entry[registration->added ? "added" : "kept"] = JsonText(registration->name);
        if (!registration->added) entry["why"] = registration->kept;
    }
    return entry;
}

void PrintLine(const SnmpDiscoveredPrinter &printer, const Registration *registration) {
    const auto shown = [](const std::string &text) { return text.empty() ? std::string("-") : EscapeInvalidUtf8(text); };
    std::printf("%s\t%s\t%s\t%s", shown(printer.sysName).c_str(), shown(ModelOf(printer)).c_str(),
                shown(printer.serialNumber).c_str(), AddressList(printer).c_str());
    if (registration != nullptr) {
        if (registration->added) {
            std::printf("\tadded as \"%s\"", EscapeInvalidUtf8(registration->name).c_str());
        } else {
            std::printf("\tkept \"%s\" (%s)", EscapeInvalidUtf8(registration->name).c_str(), registration->kept.c_str());
        }
    }
    std::printf("\n");
}

int RunDiscover(const DiscoverOptions &options) {
    SnmpDiscovery discovery{};
    discovery.recordSize = sizeof discovery;
    std::string problem;
    if (!ParseProtocolList(options.protocols, discovery.cProtocols, problem)) {
        std::fprintf(stderr, "discover: --protocols: %s\n", problem.c_str());
        return kExitUsage;
    }
    if (options.add) {
        const std::string probe = options.prefix + "-000000000000";
        if (CheckPrinterName(probe.c_str()) != NameProblem::None) {
            std::fprintf(stderr, "discover: --prefix \"%s\" makes no printer name the store can hold\n",
                         EscapeInvalidUtf8(options.prefix).c_str());
            return kExitUsage;
        }
    }
    if (!(options.timeoutSeconds > 0 && options.timeoutSeconds <= kMostSeconds)) {
        std::fprintf(stderr, "discover: --timeout: more than 0 and at most %.0f seconds\n", kMostSeconds);
        return kExitUsage;
    }
    discovery.timeoutMilliseconds = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(options.timeoutSeconds * 1000)));
    discovery.walkRate = options.rate;
    if (options.walk) discovery.flags |= SNMP_DISCOVER_WALK;
    // The targets joined by commas, as the library takes them.
    const std::string targets = JoinIdentifiers(options.subnets);
    if (!targets.empty()) discovery.targets = targets.c_str();
    const std::optional<std::string> &community = CommandSettings().community;
    if (community) discovery.community = community->c_str();

    EnsureLibraryLoaded();
    const std::int32_t result = HelperSNMPDiscover(&discovery);
    if (result == SNMP_RESULT_INVALID_ARGUMENT) {
        std::fprintf(stderr, "discover: --subnet: each is A.B.C.D, A.B.C.D/N or A.B.C.D-E.F.G.H, and at most %llu "
                             "addresses are walked\n", static_cast<unsigned long long>(kMostWalkedAddresses));
        return kExitUsage;
    }
    std::unique_ptr<SnmpDiscoveredPrinter, void (*)(SnmpDiscoveredPrinter *)> printers(
        discovery.printers, [](SnmpDiscoveredPrinter *block) { HelperFreeBlock(block); });
    if (result != 0 && discovery.printerCount == 0) {
        std::fprintf(stderr, "discover: %s (asked over %s)\n", HelperResultText(result),
                     ProtocolList(discovery.cProtocols == 0 ? 7 : discovery.cProtocols).c_str());
        return ExitCodeForResult(result);
    }
    const std::uint32_t asked = discovery.cProtocols;
    const std::uint32_t unsent = asked & ~discovery.protocolsSent;
    if (unsent != 0 && !options.json) {
        std::fprintf(stderr, "discover: nothing could be sent over %s (see 'snmphelper ipx' and 'snmphelper dlc')\n",
                     ProtocolList(unsent).c_str());
    }

    std::vector<SnmpPrinterRecord> recorded;
    if (options.add) recorded = RecordedPrinters();
    Json list = Json::array();
    for (std::uint32_t i = 0; i < discovery.printerCount; ++i) {
        const SnmpDiscoveredPrinter &printer = discovery.printers[i];
        Registration registration;
        if (options.add) registration = Register(printer, options.prefix, recorded);
        const Registration *shown = options.add ? &registration : nullptr;
        if (options.json) {
            list.push_back(PrinterJson(printer, shown));
        } else {
            PrintLine(printer, shown);
        }
    }
    if (options.json) {
        PrintJson({{"printers", list},
                   {"replies", discovery.repliesReceived},
                   {"sent", ProtocolList(discovery.protocolsSent)},
                   {"notSent", ProtocolList(unsent)}});
    } else {
        std::fprintf(stderr, "%u printer%s, %u repl%s\n", discovery.printerCount, discovery.printerCount == 1 ? "" : "s",
                     discovery.repliesReceived, discovery.repliesReceived == 1 ? "y" : "ies");
    }
    return discovery.printerCount > 0 ? kExitOk : kExitNoReply;
}

}  // namespace

void AddDiscoverCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<DiscoverOptions>();
    Command *command = app.add_subcommand(
        "discover", "Find the printers that answer a broadcast over IP, IPX and DLC; --add records the new ones");
    command->add_option("--protocols", options->protocols, "Transports to ask over, comma-separated: ip, ipx, dlc")
        ->capture_default_str();
    command->add_option("-t,--timeout", options->timeoutSeconds, "Seconds to collect replies (fractions allowed)")
        ->capture_default_str();
    command->add_option("--subnet", options->subnets,
                        "Also ask this subnet (A.B.C.D/N: its directed broadcast), address (A.B.C.D) or range "
                        "(A.B.C.D-E.F.G.H, address by address); repeatable");
    command->add_flag("--walk", options->walk, "Ask each --subnet address by address instead of by its broadcast");
    command->add_option("--rate", options->rate, "Addresses asked per second while walking (default 200)")
        ->check_range(1, kMostWalkRate);
    AddCommunityOption(*command);
    command->add_flag("--json", options->json, "Print one JSON object");
    command->add_flag("--add", options->add,
                      "Record each printer found that no recorded printer has an address of, as PREFIX-HARDWARE");
    command->add_option("--prefix", options->prefix, "Name prefix of the printers --add records")
        ->capture_default_str();
    command->callback([options, &exitCode] { exitCode = RunDiscover(*options); });
}

}  // namespace snmphelper::cli
