// SPDX-License-Identifier: Apache-2.0
// snmphelper dlc: whether DLC is available in this process, as the library
// found it while loading (interface library, AcsLan, adapter open, status,
// buffer pool), the adapter's node address, and why not when it is not.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "dlc/dlc_access.h"
#include "platform/dlc_interface.h"
#include "platform/environment.h"
#include "tools/cli/commands.h"
#include "tools/cli/interface_names.h"
#include "tools/cli/library_load.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

constexpr char kInterfaceVariable[] = "SNMPHELPER_DLC_INTERFACE";

using Node = std::uint8_t[dlc::kNodeAddressLength];

std::string NodeText(const std::uint8_t *node) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", node[0], node[1], node[2], node[3],
                  node[4], node[5]);
    return text;
}

bool IsZero(const std::uint8_t *node) {
    for (std::size_t i = 0; i < dlc::kNodeAddressLength; ++i) {
        if (node[i] != 0) return false;
    }
    return true;
}

const char *StageName(DlcInitStage stage) {
    switch (stage) {
    case DlcInitStage::kNotRun: return "not-run";
    case DlcInitStage::kNoInterfaceLibrary: return "no-interface-library";
    case DlcInitStage::kNoAcsLan: return "no-acslan";
    case DlcInitStage::kInterfaceFaulted: return "interface-faulted";
    case DlcInitStage::kAdapterOpen: return "adapter-open";
    case DlcInitStage::kAdapterStatus: return "adapter-status";
    case DlcInitStage::kWrongAdapterType: return "wrong-adapter-type";
    case DlcInitStage::kBufferPool: return "buffer-pool";
    case DlcInitStage::kReady: return "ready";
    }
    return "unknown";
}

// What a failed DIR.OPEN.ADAPTER's status means on this system's interface.
std::string OpenStatusMeaning(std::uint8_t status) {
    switch (status) {
    case dlc::kStatusAccessDenied:
        return "access denied: its packet socket needs the CAP_NET_RAW capability (run as root, or "
               "setcap cap_net_raw+ep)";
    case dlc::kStatusAdapterNotInstalled:
        return "adapter not installed: no such interface, or none up, not loopback, with an Ethernet address";
    case dlc::kStatusAdapterNotInitialized:
        return "adapter not initialized: the system refused its packet socket";
    case dlc::kStatusPending:
        return "the open never completed";
    default:
        return "";
    }
}

std::string Problem(const DlcInitReport &report) {
    char status[8];
    std::snprintf(status, sizeof status, "0x%02x", report.openStatus);
    switch (report.stage) {
    case DlcInitStage::kNotRun:
        return "the library's load steps did not run";
    case DlcInitStage::kNoInterfaceLibrary:
        return std::string("no DLC interface library: ") + DlcInterfaceFile() + " could not be loaded from " +
               DlcInterfaceFolder();
    case DlcInitStage::kNoAcsLan:
        return std::string(DlcInterfaceFile()) + " has no AcsLan entry point";
    case DlcInitStage::kInterfaceFaulted:
        return "the DLC interface faulted while opening its adapter";
    case DlcInitStage::kAdapterOpen: {
        const std::string meaning = OpenStatusMeaning(report.openStatus);
        return std::string("the DLC interface could not open its adapter (status ") + status + ")" +
               (meaning.empty() ? "" : ": " + meaning);
    }
    case DlcInitStage::kAdapterStatus:
        return "the adapter's status could not be read";
    case DlcInitStage::kWrongAdapterType:
        return "the adapter type was refused: the library works only with type 0x0100";
    case DlcInitStage::kBufferPool:
        return "the adapter's buffer pool could not be created";
    case DlcInitStage::kReady:
        return "";
    }
    return "";
}

struct AdapterName {
    std::string name;  // empty when not known
    std::string from;  // what named it
};

AdapterName NameAdapter(const std::uint8_t *node) {
    const char *chosen = platform::ReadSetting(kInterfaceVariable);
    if (chosen != nullptr && *chosen != '\0') return {chosen, kInterfaceVariable};
    if (!IsZero(node)) {
        std::string name = InterfaceWithNode(node);
        if (!name.empty()) return {name, "node address"};
    }
    return {};
}

int PrintJson(const DlcInitReport &report, const AdapterName &adapter, const std::uint8_t *node) {
    const bool available = report.stage == DlcInitStage::kReady;
    std::printf("{\"available\":%s", available ? "true" : "false");
    if (!available) {
        char status[8];
        std::snprintf(status, sizeof status, "0x%02x", report.openStatus);
        std::printf(",\"stage\":%s,\"result\":%d", JsonString(StageName(report.stage)).c_str(), report.result);
        if (report.stage == DlcInitStage::kAdapterOpen) std::printf(",\"status\":\"%s\"", status);
        std::printf(",\"problem\":%s", JsonString(Problem(report)).c_str());
    }
    if (!adapter.name.empty()) {
        std::printf(",\"interface\":%s,\"interfaceFrom\":%s", JsonString(adapter.name).c_str(),
                    JsonString(adapter.from).c_str());
    }
    if (available || !IsZero(node)) std::printf(",\"node\":%s", JsonString(NodeText(node)).c_str());
    std::printf("}\n");
    return available ? 0 : 1;
}

int PrintText(const DlcInitReport &report, const AdapterName &adapter, const std::uint8_t *node) {
    const bool available = report.stage == DlcInitStage::kReady;
    std::printf("available       %s\n", available ? "yes" : "no");
    if (!available) std::printf("problem         %s\n", Problem(report).c_str());
    if (!adapter.name.empty()) {
        std::printf("interface       %s (from %s)\n", adapter.name.c_str(), adapter.from.c_str());
    } else {
        std::printf("interface       not known here; %s names it, else the DLC interface takes the first one\n"
                    "                that is up, not loopback, with an Ethernet address\n",
                    kInterfaceVariable);
    }
    if (available || !IsZero(node)) std::printf("node address    %s\n", NodeText(node).c_str());
    return available ? 0 : 1;
}

int RunDlc(bool json) {
    EnsureLibraryLoaded();
    const DlcInitReport report = DlcInitOutcome();
    Node node;
    std::memcpy(node, DlcAdapterNodeAddress(), sizeof node);
    const AdapterName adapter = NameAdapter(node);
    return json ? PrintJson(report, adapter, node) : PrintText(report, adapter, node);
}

}  // namespace

void AddDlcCommand(Command &app, int &exitCode) {
    auto json = std::make_shared<bool>(false);
    Command *command = app.add_subcommand(
        "dlc", "Show whether DLC is available in this process, its adapter and node address, or why not");
    command->add_flag("--json", *json, "Print one JSON object");
    command->footer(
        "Settings: SNMPHELPER_DLC_INTERFACE names the adapter's interface (default: the first one that is\n"
        "up, not loopback, with an Ethernet address). Exit status 0 when DLC is available, 1 otherwise.");
    command->callback([json, &exitCode] { exitCode = RunDlc(*json); });
}

}  // namespace snmphelper::cli
