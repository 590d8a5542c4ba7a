// snmphelper-printer-sim: an SNMPv1 agent (RFC 1157) that behaves like a
// network printer, for tests, demonstrations and development without one.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "snmphelper_version.h"
#include "tools/printer-sim/agent.h"
#include "tools/printer-sim/default_printer.h"
#include "tools/printer-sim/discovery_fleet.h"
#include "tools/printer-sim/faults.h"
#include "tools/printer-sim/fleet.h"
#include "tools/printer-sim/ipx_frame.h"
#include "tools/printer-sim/mib_file.h"
#include "tools/printer-sim/printer_mib.h"
#include "tools/printer-sim/server.h"
#include "tools/printer-sim/snmprec_file.h"

namespace {

constexpr const char *kFooter = R"(
Objects file, one object per line (--dump shows the built-in printer in this form):
  OID TYPE VALUE [rw|ro] [range=LO..HI] [size=LO..HI] [fault=FAULT]...
  TYPE: INTEGER STRING HEX IPADDRESS COUNTER GAUGE TIMETICKS OID OPAQUE NULL
  STRING takes a word or "quoted text" (escapes \" \\ \n \t \xHH); HEX and
  OPAQUE take hex digit pairs ("" for none); NULL takes -. TIMETICKS @uptime
  follows the agent's clock, COUNTER @snmp its own snmp group counters.
  Objects are read-only unless marked rw; # starts a comment.

Faults, for --fault (the whole run) or fault= (requests naming the object):
  silent             never answer
  drop:N             ignore the first N requests
  garbage            answer with octets that are no SNMP message
  truncate[:N]       send only the first N octets of the answer (default: half)
  oversize[:N]       pad the answer to at least N octets (default 2100)
  foreign-id[:ID]    answer with another request-id
  error-status:S[:I] answer with error-status S and error-index I
  delay:MS           wait MS milliseconds before answering
  other-port[:P]     answer from local port P (default: any other port)

Printer conditions, for --condition (every printer) or --fault-at ADDRESS=WORD:
  toner-low, toner-empty, paper-jam, door-open, tray-empty: the supply or tray,
  hrDeviceStatus, hrPrinterStatus, hrPrinterDetectedErrorState, the console
  and the alert table change together.

Many printers: --addresses 127.0.1.1-127.0.1.200 serves one printer on each
address (UDP), at most 16384, shared out among --threads threads; log lines
then name the printer (at=ADDRESS).

IPX (--ipx-interface): requests to socket 900F in any of the four frame types
(Ethernet II, raw 802.3, 802.2, SNAP) are answered in the same frame type.

DLC (--dlc-interface): 802.3 frames to SAP 0A with control 03 (UI) are answered
in UI frames from SAP 0A to the sender's station and SAP.

Prints "ready" on standard output once it serves; stops on SIGTERM or SIGINT.
SIGUSR1 sends a status trap to every host registered in the trap destination table.
)";

// Every printer of the fleet starts from its source's objects (sources[i]
// for addresses[i]: the built-in printer or a recording, shared with the
// other printers of that source and never changed), then shows the run's
// conditions and faults and its own.
int ServeFleet(const printersim::ServerSettings &common, const printersim::AgentSettings &agentSettings,
               const std::vector<printersim::MibStore::SharedObjects> &sources,
               const std::vector<printersim::PrinterCondition> &conditions, const std::vector<std::string> &addresses,
               const std::map<std::string, printersim::PrinterFaults> &faultsAt, unsigned threads) {
    for (const auto &[address, faults] : faultsAt) {
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            std::fprintf(stderr, "snmphelper-printer-sim: --fault-at %s: not in --addresses\n", address.c_str());
            return 2;
        }
    }
    std::vector<std::unique_ptr<printersim::MibStore>> stores;
    std::vector<std::unique_ptr<printersim::Agent>> agents;
    std::vector<printersim::ServerSettings> settings;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string &address = addresses[i];
        auto store = std::make_unique<printersim::MibStore>(sources[i]);
        std::vector<printersim::PrinterCondition> shown = conditions;
        printersim::ServerSettings printer = common;
        printer.address = address;
        printer.logTag = true;
        if (auto it = faultsAt.find(address); it != faultsAt.end()) {
            shown.insert(shown.end(), it->second.conditions.begin(), it->second.conditions.end());
            printersim::MergeFaults(printer.faults, it->second.faults);
        }
        printersim::ApplyPrinterConditions(*store, shown);
        agents.push_back(std::make_unique<printersim::Agent>(*store, agentSettings));
        stores.push_back(std::move(store));
        settings.push_back(std::move(printer));
    }
    return printersim::ServeFleet(settings, agents, threads);
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"snmphelper-printer-sim: an SNMPv1 agent that behaves like a network printer"};
    app.footer(kFooter);
    app.set_version_flag("--version", "snmphelper-printer-sim " SNMPHELPER_VERSION_TEXT);
    printersim::ServerSettings server;
    printersim::AgentSettings agentSettings;
    std::string objectsFile;
    std::vector<std::string> faultTexts;
    bool empty = false;
    bool dump = false;
    app.add_option("--address", server.address, "IPv4 address to answer on")->capture_default_str();
    app.add_option("--port", server.port, "UDP port to answer on (0: any free port)")->capture_default_str();
    app.add_option("--community", agentSettings.community, "community a request must carry")
        ->capture_default_str();
    app.add_option("--objects", objectsFile, "objects file, added to the built-in printer")
        ->check(CLI::ExistingFile);
    app.add_flag("--empty", empty, "start without the built-in printer's objects");
    app.add_flag("--dump", dump, "print the objects in the file form and exit");
    app.add_option("--fault", faultTexts, "fault for every request of the run (repeatable)");
    app.add_option("--max-message", agentSettings.maxMessageSize,
                   "largest reply in octets; a larger one is answered with tooBig")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{64}, std::size_t{65507}));
    app.add_flag("--read-only-as-no-such-name", agentSettings.readOnlyAsNoSuchName,
                 "answer a set of a read-only object with noSuchName instead of readOnly");
    app.add_option("--trap-port", server.trapPort, "UDP port of registered hosts' traps")->capture_default_str();
    app.add_option("--ready-file", server.readyFile, "file written with the bound port once serving");
    app.add_option("--log", server.logFile, "append one line per datagram to this file");
    app.add_flag("--verbose", server.verbose, "write the log lines to standard error too");
    std::string ipxNetwork = "00000000";
    app.add_option("--ipx-interface", server.ipxInterface,
                   "serve SNMP over IPX (socket 900F) on this Ethernet interface too; needs CAP_NET_RAW");
    app.add_option("--ipx-network", ipxNetwork, "the simulator's IPX network number, eight hex digits")
        ->capture_default_str();
    app.add_option("--dlc-interface", server.dlcInterface,
                   "serve SNMP in IEEE 802.2 UI frames (SAP 0A) on this Ethernet interface too; needs CAP_NET_RAW");
    std::vector<std::string> conditionTexts;
    app.add_option("--condition", conditionTexts,
                   "printer condition for every printer of the run (repeatable): toner-low, toner-empty, "
                   "paper-jam, door-open, tray-empty");
    std::string addressRange;
    app.add_option("--addresses", addressRange,
                   "serve one printer on each address FIRST-LAST (UDP only), instead of --address");
    std::vector<std::string> faultAtTexts;
    app.add_option("--fault-at", faultAtTexts,
                   "ADDRESS=FAULT: a fault or printer condition for one printer of --addresses (repeatable)");
    unsigned threads = std::max(1U, std::thread::hardware_concurrency());
    app.add_option("--threads", threads, "threads serving --addresses (default: one per processor)")
        ->check(CLI::Range(1U, 256U));
    std::string fleetFile;
    app.add_option("--discovery-fleet", fleetFile,
                   "serve the printers of FILE on one segment, each answering broadcasts from its own addresses "
                   "(one a line: ip=A|- mac=HEX12 answer=ip,ipx,dlc|none [delay=MS] [name=TEXT])")
        ->check(CLI::ExistingFile);
    std::string fleetInterface;
    app.add_option("--fleet-interface", fleetInterface,
                   "the Ethernet interface the --discovery-fleet printers' IPX and DLC frames use; needs CAP_NET_RAW");
    std::vector<std::string> watchTexts;
    app.add_option("--watch", watchTexts,
                   "send registered hosts a trap when a set changes this object or one below it (repeatable)");
    std::string snmprecFile;
    app.add_option("--snmprec", snmprecFile, "serve this device recording (snmprec form) instead of the built-in printer")
        ->check(CLI::ExistingFile);
    std::string snmprecFolder;
    app.add_option("--snmprec-folder", snmprecFolder,
                   "with --addresses: serve the folder's *.snmprec recordings, in name order, one an address")
        ->check(CLI::ExistingDirectory);
    CLI11_PARSE(app, argc, argv);
    for (const std::string &text : watchTexts) {
        printersim::Oid name;
        if (!printersim::ParseOid(text, name)) {
            std::fprintf(stderr, "snmphelper-printer-sim: --watch %s: not an object identifier\n", text.c_str());
            return 2;
        }
        server.watched.push_back(name);
    }

    if (!printersim::ParseIpxNetwork(ipxNetwork, server.ipxNetwork)) {
        std::fprintf(stderr, "snmphelper-printer-sim: --ipx-network %s: not eight hex digits\n", ipxNetwork.c_str());
        return 2;
    }

    for (const std::string &text : faultTexts) {
        std::string error;
        if (!printersim::ParseFault(text, server.faults, error)) {
            std::fprintf(stderr, "snmphelper-printer-sim: --fault %s: %s\n", text.c_str(), error.c_str());
            return 2;
        }
    }
    std::vector<printersim::PrinterCondition> conditions;
    for (const std::string &text : conditionTexts) {
        printersim::PrinterCondition condition{};
        if (!printersim::ParsePrinterCondition(text, condition)) {
            std::fprintf(stderr, "snmphelper-printer-sim: --condition %s: expected one of %s\n", text.c_str(),
                         printersim::PrinterConditionWords());
            return 2;
        }
        conditions.push_back(condition);
    }
    std::string error;
    std::vector<std::string> addresses;
    if (!addressRange.empty() && !printersim::ParseAddressRange(addressRange, addresses, error)) {
        std::fprintf(stderr, "snmphelper-printer-sim: --addresses %s: %s\n", addressRange.c_str(), error.c_str());
        return 2;
    }
    if (!addresses.empty() && (!server.ipxInterface.empty() || !server.dlcInterface.empty())) {
        std::fprintf(stderr, "snmphelper-printer-sim: --addresses serves UDP only\n");
        return 2;
    }
    std::map<std::string, printersim::PrinterFaults> faultsAt;
    for (const std::string &text : faultAtTexts) {
        if (!printersim::ParseFaultAt(text, faultsAt, error)) {
            std::fprintf(stderr, "snmphelper-printer-sim: --fault-at %s: %s\n", text.c_str(), error.c_str());
            return 2;
        }
    }
    printersim::MibStore store;
    std::vector<printersim::MibStore> recordings;
    std::vector<std::string> recordingNames;
    if (!snmprecFolder.empty() &&
        (addresses.empty() || !printersim::LoadSnmprecFolder(snmprecFolder, recordings, recordingNames, error))) {
        std::fprintf(stderr, "snmphelper-printer-sim: --snmprec-folder: %s\n",
                     addresses.empty() ? "needs --addresses" : error.c_str());
        return 2;
    }
    empty = empty || !snmprecFile.empty() || !snmprecFolder.empty();  // a recording is the whole device
    if (!snmprecFile.empty() && !printersim::LoadSnmprecFile(snmprecFile, store, error)) {
        std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
        return 2;
    }
    if (!empty && (!printersim::LoadObjects(printersim::DefaultPrinterObjects(), "built-in", store, error) ||
                   !printersim::LoadObjects(printersim::PrinterMibObjects(), "built-in", store, error))) {
        std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
        return 1;
    }
    if (!objectsFile.empty() && !printersim::LoadObjectsFile(objectsFile, store, error)) {
        std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
        return 2;
    }
    if (!fleetFile.empty() && (!addresses.empty() || server.faults != printersim::FaultPlan{})) {
        std::fprintf(stderr, "snmphelper-printer-sim: --discovery-fleet takes neither --addresses nor --fault "
                             "(its file gives each printer's transports and delay)\n");
        return 2;
    }
    if (!fleetFile.empty()) {
        std::vector<printersim::FleetPrinter> printers;
        if (!printersim::LoadFleetFile(fleetFile, printers, error)) {
            std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
            return 2;
        }
        printersim::ApplyPrinterConditions(store, conditions);
        const printersim::DiscoveryFleetSettings fleet{server.port, fleetInterface, server.ipxNetwork, server.logFile,
                                                       server.readyFile};
        return printersim::ServeDiscoveryFleet(fleet, printers, store, agentSettings);
    }
    if (addresses.empty()) {
        printersim::ApplyPrinterConditions(store, conditions);
        if (dump) {
            std::fputs(printersim::FormatObjects(store).c_str(), stdout);
            return 0;
        }
        // Served as a fleet's printer is: its own changes over objects it shares.
        printersim::MibStore printer(store.Share());
        printersim::Agent agent(printer, agentSettings);
        return printersim::Serve(server, agent);
    }
    // The recordings in turn across the addresses, else the one printer.
    if (recordings.empty()) recordings.push_back(std::move(store));
    // Each recording's objects are shared once, by every printer serving it.
    std::vector<printersim::MibStore::SharedObjects> shared;
    for (const printersim::MibStore &recording : recordings) shared.push_back(recording.Share());
    std::vector<printersim::MibStore::SharedObjects> sources;
    for (std::size_t i = 0; i < addresses.size(); ++i) sources.push_back(shared[i % shared.size()]);
    return ServeFleet(server, agentSettings, sources, conditions, addresses, faultsAt, threads);
}
