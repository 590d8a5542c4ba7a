/* SPDX-License-Identifier: Apache-2.0 */
// What a printer says about itself: its printer devices and their status
// (Host Resources MIB, RFC 2790), its console, supplies and their colours,
// page counters, trays, output bins and alerts (Printer MIB, RFC 3805), read
// with a few get-next requests that walk the tables' columns in parallel; as
// text, as JSON, and summarised to the one line of a fleet's poll.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/cli/column_walk.h"
#include "tools/cli/printer_mib_names.h"

namespace snmphelper::cli {

struct MarkerSupply {
    RowIndex index;  // the device's hrDeviceIndex first ("1.13": supply 13 of device 1)
    std::string description;  // in UTF-8 (PrinterText)
    std::optional<std::int32_t> colorantIndex, supplyClass, type, unit, maximum, level;
    std::optional<std::string> colorant;  // prtMarkerColorantValue of the colorant index ("cyan")
};

struct MarkerCounter {
    RowIndex index;  // the device's hrDeviceIndex first
    std::optional<std::int32_t> unit;
    std::optional<std::uint64_t> lifeCount, powerOnCount;
};

struct InputTray {
    RowIndex index;  // the device's hrDeviceIndex first
    std::string name, media;
    std::optional<std::int32_t> unit, maximum, level;
};

struct OutputBin {
    std::string name;
    std::optional<std::int32_t> unit, maximum, remaining;
};

struct PrinterAlert {
    RowIndex index;  // the device's hrDeviceIndex first
    std::optional<std::int32_t> severity, training, group, groupIndex, location, code;
    std::optional<std::uint32_t> time;  // prtAlertTime, TimeTicks
    std::string description;
};

// A printer device of the Host Resources MIB: a row of hrDeviceTable whose
// hrDeviceType is hrDevicePrinter, or a row of hrPrinterTable.
struct PrinterDevice {
    std::uint64_t index = 0;
    std::optional<std::string> description;
    std::optional<std::int32_t> deviceStatus, printerStatus;
    std::optional<std::vector<std::uint8_t>> errorState;
    std::optional<std::int32_t> localization;  // prtGeneralCurrentLocalization
    std::optional<std::int32_t> characterSet;  // its prtLocalizationCharacterSet
};

struct PrinterStatusView {
    std::string printer;
    // 0 once the printer answered; else the result of the request that
    // found it unreachable, and nothing below is known.
    std::int32_t result = 0;
    std::optional<std::uint32_t> protocol;  // the protocol in use afterwards (pProtocol)
    std::optional<std::string> name;        // sysName
    std::vector<PrinterDevice> devices;     // in hrDeviceIndex order
    // Printer MIB: false when the agent has none of its objects.
    bool printerMib = false;
    std::vector<std::string> console;
    std::vector<MarkerSupply> supplies;
    std::vector<MarkerCounter> counters;
    std::vector<InputTray> trays;
    std::vector<OutputBin> outputs;
    std::vector<PrinterAlert> alerts;
    std::size_t transactions = 0;
};

// Reads the view of a registered printer; the library must be loaded.
PrinterStatusView FetchStatus(const std::string &printer);

// A table row's index as dotted text ("1.13").
std::string RowText(std::span<const std::uint64_t> row);

// The objects of known rows a status fetch asks by index after its walk
// (a column's position in its list, and a row), and what each brought;
// kept in a few blocks, as a fleet's poll holds thousands of fetches.
class AskedObjects {
public:
    std::size_t Size() const { return objects_.size(); }
    void Add(std::uint8_t column, std::span<const std::uint64_t> row);
    std::uint8_t Column(std::size_t at) const { return objects_[at].column; }
    std::span<const std::uint64_t> Row(std::size_t at) const;
    // The object's value as a reply gave it.
    void Answer(std::size_t at, std::int32_t type, std::span<const std::uint8_t> value);
    // The value of the object of `column` at `row`, seen as a walk's cell
    // is (valid until the next Answer); none when it was not asked or the
    // agent left it out.
    std::optional<WalkCell> Find(std::uint8_t column, std::span<const std::uint64_t> row) const;

private:
    struct Object {
        std::uint8_t column;
        bool answered;
        std::int32_t type;
        std::uint32_t rowAt, rowLength, valueAt, valueLength;
    };
    std::vector<Object> objects_;
    std::vector<std::uint64_t> rows_;
    std::vector<std::uint8_t> values_;
};

// FetchStatus one request at a time, for a caller that sends the requests
// itself (poll: many printers in flight at once): Next names the request to
// send, Take hands over what it brought; once Next names none, View is
// complete.
class StatusFetch {
public:
    // `names`: the form of the requests it names and the replies it takes.
    explicit StatusFetch(const std::string &printer, NameForm names = NameForm::Text);
    struct Request {
        std::int32_t requestType = 0;
        RequestIdentifiers identifiers;
    };
    // Names the next request in `request` (kept by the caller from one to
    // the next); false once the view is complete.
    bool Next(Request &request);
    // The outcome of the request Next named last: its result and the reply
    // (null when none came), read and not kept.
    void Take(std::int32_t result, const SnmpReqParam *reply);
    PrinterStatusView &View() { return view_; }

private:
    void EndWalk();
    void EndGets();
    void TakeGet(std::int32_t result, const SnmpReqParam *reply);

    enum class Phase { Walk, Gets, Done };
    NameForm names_;
    ColumnWalk walk_;
    PrinterStatusView view_;
    Phase phase_ = Phase::Walk;
    AskedObjects objects_;
    // The gets of known rows still to send (positions in objects_), the
    // next one last.
    std::vector<std::vector<std::uint32_t>> gets_;
};

// "UDP/IP", "IPX", "DLC", or "protocol N".
std::string ProtocolLabel(std::uint32_t protocol);

// Whether the supply is a receptacle that fills (its class says so, or,
// without a class, its type is a waste type): its level is the space left.
bool IsReceptacle(const MarkerSupply &supply);

// A supply's level (a receptacle's as the space left) and a tray's, as
// status prints them.
LevelReading SupplyLevel(const MarkerSupply &supply);
LevelReading TrayLevel(const InputTray &tray);

// Keeps the alerts a person of PrtAlertTrainingLevelTC `level` (untrained 3,
// trained 4, fieldService 5, management 6) is meant to act on: those of that
// level or below, and those whose level is not given or not one of these.
void KeepAlertsForTraining(PrinterStatusView &view, std::int32_t level);

// How StatusText draws: a level bar per supply (a terminal), in colour.
struct TextStyle {
    bool bars = false;
    bool colour = false;
};

// The view for a person, several lines; and as one JSON object.
std::string StatusText(const PrinterStatusView &view, TextStyle style = {});
nlohmann::ordered_json StatusJson(const PrinterStatusView &view);

// The lowest consumable's level in percent and its description; nothing
// when no consumable's level is known. Receptacles are not consumables.
struct LowestSupply {
    int percent;
    std::string description;
};
std::optional<LowestSupply> FindLowestSupply(const PrinterStatusView &view);

// The receptacles (waste boxes) with at most 10% of their space left, or full.
std::vector<std::string> NearlyFullReceptacles(const PrinterStatusView &view);

// "down: jammed", "warning: lowToner", "running", ... or "unknown": the
// printer device in the worst state decides.
std::string StatusSummary(const PrinterStatusView &view);

// One poll line: name, reachable or not and how, status, lowest supply and
// the number of alerts; and the same as JSON.
std::string SummaryLine(const PrinterStatusView &view, std::size_t nameWidth);
nlohmann::ordered_json SummaryJson(const PrinterStatusView &view);

}  // namespace snmphelper::cli
