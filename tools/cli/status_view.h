/* SPDX-License-Identifier: Apache-2.0 */
// What a printer says about itself: its device and printer status (Host
// Resources MIB, RFC 2790), its console, supplies, trays, output bins and
// alerts (Printer MIB, RFC 3805), read with a few get-next requests that walk
// the tables' columns in parallel; as text, as JSON, and summarised to the
// one line of a fleet's poll.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snmphelper::cli {

struct MarkerSupply {
    std::string description;
    std::optional<std::int32_t> supplyClass, type, unit, maximum, level;
};

struct InputTray {
    std::string name, media;
    std::optional<std::int32_t> unit, maximum, level;
};

struct OutputBin {
    std::string name;
    std::optional<std::int32_t> unit, maximum, remaining;
};

struct PrinterAlert {
    std::optional<std::int32_t> severity, group, groupIndex, code;
    std::string description;
};

struct PrinterStatusView {
    std::string printer;
    // 0 once the printer answered; else the result of the request that
    // found it unreachable, and nothing below is known.
    std::int32_t result = 0;
    std::optional<std::uint32_t> protocol;  // the protocol in use afterwards (pProtocol)
    std::optional<std::string> name;        // sysName
    // Host Resources: the first printer device, when there is one.
    std::optional<std::uint64_t> deviceIndex;
    std::optional<std::string> deviceDescription;
    std::optional<std::int32_t> deviceStatus, printerStatus;
    std::optional<std::vector<std::uint8_t>> errorState;
    // Printer MIB: false when the agent has none of its objects.
    bool printerMib = false;
    std::vector<std::string> console;
    std::vector<MarkerSupply> supplies;
    std::vector<InputTray> trays;
    std::vector<OutputBin> outputs;
    std::vector<PrinterAlert> alerts;
    std::size_t transactions = 0;
};

// Reads the view of a registered printer; the library must be loaded.
PrinterStatusView FetchStatus(const std::string &printer);

// "UDP/IP", "IPX", "DLC", or "protocol N".
std::string ProtocolLabel(std::uint32_t protocol);

// The view for a person, several lines; and as one JSON object.
std::string StatusText(const PrinterStatusView &view);
nlohmann::ordered_json StatusJson(const PrinterStatusView &view);

// The lowest consumable's level in percent and its description; nothing
// when no consumable's level is known.
struct LowestSupply {
    int percent;
    std::string description;
};
std::optional<LowestSupply> FindLowestSupply(const PrinterStatusView &view);

// "down: jammed", "warning: lowToner", "running", ... or "unknown".
std::string StatusSummary(const PrinterStatusView &view);

// One poll line: name, reachable or not and how, status, lowest supply and
// the number of alerts; and the same as JSON.
std::string SummaryLine(const PrinterStatusView &view, std::size_t nameWidth);
nlohmann::ordered_json SummaryJson(const PrinterStatusView &view);

}  // namespace snmphelper::cli
