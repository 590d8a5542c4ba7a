// SPDX-License-Identifier: Apache-2.0
// snmphelper traps: registers this host as a printer's trap destination,
// withdraws it, shows the row index it is known by, and listens for traps.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/trap_text.h"
#include "tools/cli/transaction_text.h"
#include "tools/cli/value_text.h"
#include "transact/printer_config.h"
#include "traps/trap_registration.h"
#include "transport/udp_transport.h"

namespace snmphelper::cli {
namespace {

constexpr std::uint16_t kTrapPort = 162;  // RFC 1157 4
// The largest UDP payload: no datagram is cut short.
constexpr std::uint32_t kDatagramRoom = 65536;

// --- register, withdraw, index ---------------------------------------------------

struct RegistrationOptions {
    std::string printer;
    bool json = false;
};

std::string RowIndex() {
    char index[kTrapRowIndexRoom];
    return FormatTrapRowIndex(index, sizeof index) ? index : "";
}

// The addresses a registration wrote: "10.0.0.5", "IPX network 00000001", both, or none (DLC).
std::string RegisteredAddresses(const TrapHostAddresses &host) {
    std::string text;
    if ((host.protocols & kProtocolIp) != 0) text = DescribeValue(SNMP_VALUE_IP_ADDRESS, host.ip, 4).text;
    if ((host.protocols & kProtocolIpx) != 0) {
        char network[9];
        std::snprintf(network, sizeof network, "%02X%02X%02X%02X", host.ipx[0], host.ipx[1], host.ipx[2],
                      host.ipx[3]);
        text += (text.empty() ? "IPX network " : ", IPX network ") + std::string(network);
    }
    return text;
}

int RunRegistration(const std::string &command, std::int32_t action, const RegistrationOptions &options) {
    EnsureLibraryLoaded();
    int exitCode = 0;
    if (!RequirePrinter(command, options.printer, options.json, exitCode)) return exitCode;
    // The library's registration itself, so that the addresses it wrote can be told.
    TrapHostAddresses host;
    const std::int32_t result =
        RegisterTrapDestination(action, options.printer.c_str(), DefaultTrapRegistrationServices(), &host);
    if (result != 0) return ReportResult(command, options.printer, result, options.json);
    const std::string index = RowIndex();
    const std::string addresses = action == kTrapActionRegister ? RegisteredAddresses(host) : "";
    if (options.json) {
        Json object{{"command", JsonText(command)},
                    {"printer", JsonText(options.printer)},
                    {"result", 0},
                    {"index", JsonText(index)}};
        if (!addresses.empty()) object["address"] = JsonText(addresses);
        PrintJson(object);
    } else if (action == kTrapActionRegister) {
        std::printf("%s: this host is a trap destination of printer '%s' (row %s%s%s)\n", command.c_str(),
                    options.printer.c_str(), index.c_str(), addresses.empty() ? "" : ", address ",
                    addresses.c_str());
    } else {
        std::printf("%s: row %s of printer '%s' withdrawn\n", command.c_str(), index.c_str(),
                    options.printer.c_str());
    }
    return 0;
}

int RunIndex(bool json) {
    const std::string index = RowIndex();
    if (index.empty()) {
        std::fprintf(stderr, "traps index: this host's row index cannot be made (no GUID)\n");
        return 1;
    }
    if (json) {
        PrintJson(Json{{"command", "traps index"}, {"index", JsonText(index)}, {"entry", kTrapDestinationEntry}});
    } else {
        std::printf("%s\n", index.c_str());
    }
    return 0;
}

// --- listen -------------------------------------------------------------------

struct ListenOptions {
    std::uint16_t port = kTrapPort;
    unsigned count = 0;    // 0: no limit
    unsigned timeout = 0;  // seconds without a datagram before giving up; 0: none
    bool json = false;
};

std::string SenderText(const std::uint8_t *address, std::uint16_t port) {
    return DescribeValue(SNMP_VALUE_IP_ADDRESS, address, 4).text + ":" + std::to_string(port);
}

// Prints one datagram; true when it was a trap.
bool PrintDatagram(const std::uint8_t *data, std::uint32_t length, const std::string &from, bool json) {
    bool isTrap = false;
    const std::string text = DatagramText(data, length, from, json, isTrap);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return isTrap;
}

int RunListen(const ListenOptions &options) {
    EnsureLibraryLoaded();
    UdpTransport transport(1, 1, 0);
    if (transport.Bind(options.port) != TransportStatus::Ok) {
        std::fprintf(stderr, "traps listen: cannot bind UDP port %u (is it in use, or is it below 1024 without "
                             "the right to bind it?)\n",
                     static_cast<unsigned>(options.port));
        return 1;
    }
    if (!options.json) std::printf("listening for traps on UDP port %u\n", static_cast<unsigned>(options.port));
    std::fflush(stdout);
    std::vector<std::uint8_t> buffer(kDatagramRoom);
    unsigned traps = 0;
    auto quietSince = std::chrono::steady_clock::now();
    while (options.count == 0 || traps < options.count) {
        std::uint32_t length = 0;
        std::uint8_t sender[kSenderAddressRoom] = {};
        std::uint16_t senderPort = 0;
        const TransportStatus received =
            transport.Receive(buffer.data(), kDatagramRoom, &length, sender, &senderPort);
        if (received == TransportStatus::Ok) {
            if (PrintDatagram(buffer.data(), length, SenderText(sender, senderPort), options.json)) ++traps;
            quietSince = std::chrono::steady_clock::now();
            continue;
        }
        if (received == TransportStatus::Closed) {
            std::fprintf(stderr, "traps listen: the socket was closed\n");
            return 1;
        }
        if (options.timeout != 0 &&
            std::chrono::steady_clock::now() - quietSince >= std::chrono::seconds(options.timeout)) {
            std::fprintf(stderr, "traps listen: no datagram for %u seconds, %u trap(s) received\n",
                         options.timeout, traps);
            return 1;
        }
    }
    return 0;
}

}  // namespace

void AddTrapsCommand(Command &app, int &exitCode) {
    Command *traps = app.add_subcommand("traps", "Trap destination registration in a printer, and trap reception");
    traps->require_subcommand(1);

    auto registration = std::make_shared<RegistrationOptions>();
    Command *reg = traps->add_subcommand(
        "register", "Register this host in the printer's trap destination table (HelperSNMPRegisterTrapDestination)");
    AddPrinterArguments(*reg, registration->printer, registration->json);
    reg->callback([registration, &exitCode] {
        exitCode = RunRegistration("traps register", kTrapActionRegister, *registration);
    });

    auto withdrawal = std::make_shared<RegistrationOptions>();
    Command *withdraw = traps->add_subcommand("withdraw", "Withdraw this host's row from the printer's table");
    AddPrinterArguments(*withdraw, withdrawal->printer, withdrawal->json);
    withdraw->callback([withdrawal, &exitCode] {
        exitCode = RunRegistration("traps withdraw", SNMP_TRAP_WITHDRAW, *withdrawal);
    });

    auto indexJson = std::make_shared<bool>(false);
    Command *index = traps->add_subcommand(
        "index", "Print the row index this host is registered under (the cells are <entry>.<column>.<index>)");
    index->add_flag("--json", *indexJson, "Print one JSON object");
    index->callback([indexJson, &exitCode] { exitCode = RunIndex(*indexJson); });

    auto listening = std::make_shared<ListenOptions>();
    Command *listen = traps->add_subcommand(
        "listen", "Receive SNMPv1 traps on a UDP port and print each; datagrams that are no trap are shown and skipped");
    listen->add_option("--port", listening->port, "UDP port to listen on")->capture_default_str();
    listen->add_option("--count", listening->count, "stop after this many traps (0: never)")->capture_default_str();
    listen->add_option("--timeout", listening->timeout,
                       "give up (exit 1) after this many seconds without a datagram (0: never)")
        ->capture_default_str();
    listen->add_flag("--json", listening->json, "Print one JSON object per datagram");
    listen->callback([listening, &exitCode] { exitCode = RunListen(*listening); });
}

}  // namespace snmphelper::cli
