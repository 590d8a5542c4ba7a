// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/status_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "snmphelper.h"
#include "tools/cli/column_walk.h"
#include "tools/cli/json_output.h"
#include "tools/cli/printer_mib_names.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/result_names.h"

namespace snmphelper::cli {
namespace {

// The columns one walk reads, in request order: a row of every table per
// get-next request.
enum Column : std::size_t {
    kSysName,
    kPrinterStatus,  // hrPrinterTable (RFC 2790 6)
    kErrorState,
    kConsoleText,  // prtConsoleDisplayBufferTable (RFC 3805)
    kSupplyClass,  // prtMarkerSuppliesTable
    kSupplyType,
    kSupplyDescription,
    kSupplyUnit,
    kSupplyMaximum,
    kSupplyLevel,
    kInputUnit,  // prtInputTable
    kInputMaximum,
    kInputLevel,
    kInputMedia,
    kInputName,
    kOutputUnit,  // prtOutputTable
    kOutputMaximum,
    kOutputRemaining,
    kOutputName,
    kAlertSeverity,  // prtAlertTable
    kAlertGroup,
    kAlertGroupIndex,
    kAlertCode,
    kAlertDescription,
    kColumnCount,
};

const std::vector<std::string> &ColumnIdentifiers() {
    static const std::vector<std::string> kColumns = {
        "1.3.6.1.2.1.1.5",
        "1.3.6.1.2.1.25.3.5.1.1",  "1.3.6.1.2.1.25.3.5.1.2",
        "1.3.6.1.2.1.43.16.5.1.2",
        "1.3.6.1.2.1.43.11.1.1.4", "1.3.6.1.2.1.43.11.1.1.5", "1.3.6.1.2.1.43.11.1.1.6",
        "1.3.6.1.2.1.43.11.1.1.7", "1.3.6.1.2.1.43.11.1.1.8", "1.3.6.1.2.1.43.11.1.1.9",
        "1.3.6.1.2.1.43.8.2.1.8",  "1.3.6.1.2.1.43.8.2.1.9",  "1.3.6.1.2.1.43.8.2.1.10",
        "1.3.6.1.2.1.43.8.2.1.12", "1.3.6.1.2.1.43.8.2.1.13",
        "1.3.6.1.2.1.43.9.2.1.3",  "1.3.6.1.2.1.43.9.2.1.4",  "1.3.6.1.2.1.43.9.2.1.5",
        "1.3.6.1.2.1.43.9.2.1.7",
        "1.3.6.1.2.1.43.18.1.1.2", "1.3.6.1.2.1.43.18.1.1.4", "1.3.6.1.2.1.43.18.1.1.5",
        "1.3.6.1.2.1.43.18.1.1.7", "1.3.6.1.2.1.43.18.1.1.8",
    };
    return kColumns;
}

// hrDeviceDescr and hrDeviceStatus of one device (RFC 2790 6).
constexpr char kDeviceDescription[] = "1.3.6.1.2.1.25.3.2.1.3.";
constexpr char kDeviceStatus[] = "1.3.6.1.2.1.25.3.2.1.5.";

std::optional<std::int32_t> IntegerOf(const ReplyVariable *variable) {
    if (variable == nullptr || variable->type != SNMP_VALUE_INTEGER || variable->value.size() != 4) {
        return std::nullopt;
    }
    std::int32_t number = 0;
    std::memcpy(&number, variable->value.data(), sizeof number);
    return number;
}

std::string TextOf(const ReplyVariable *variable) {
    if (variable == nullptr || variable->type != SNMP_VALUE_OCTET_STRING) return {};
    return std::string(variable->value.begin(), variable->value.end());
}

// The rows of one table: the union of its columns' row indices, in order,
// and a look-up of one cell.
class Table {
public:
    Table(const ColumnWalkResult &walk, std::size_t first, std::size_t last) : walk_(walk) {
        for (std::size_t column = first; column <= last; ++column) {
            for (const auto &[index, variable] : walk.columns[column]) rows_.insert(index);
        }
    }
    const std::set<RowIndex> &Rows() const { return rows_; }
    const ReplyVariable *Cell(std::size_t column, const RowIndex &row) const {
        const auto &cells = walk_.columns[column];
        const auto it = cells.find(row);
        return it == cells.end() ? nullptr : &it->second;
    }
    std::optional<std::int32_t> Integer(std::size_t column, const RowIndex &row) const {
        return IntegerOf(Cell(column, row));
    }
    std::string Text(std::size_t column, const RowIndex &row) const { return TextOf(Cell(column, row)); }

private:
    const ColumnWalkResult &walk_;
    std::set<RowIndex> rows_;
};

void ReadHostResources(const ColumnWalkResult &walk, PrinterStatusView &view) {
    const Table printers(walk, kPrinterStatus, kErrorState);
    if (printers.Rows().empty()) return;
    const RowIndex &row = *printers.Rows().begin();
    if (row.size() == 1) view.deviceIndex = row[0];
    view.printerStatus = printers.Integer(kPrinterStatus, row);
    if (const ReplyVariable *bits = printers.Cell(kErrorState, row);
        bits != nullptr && bits->type == SNMP_VALUE_OCTET_STRING) {
        view.errorState = bits->value;
    }
}

void ReadPrinterMib(const ColumnWalkResult &walk, PrinterStatusView &view) {
    for (std::size_t column = kConsoleText; column < kColumnCount; ++column) {
        if (!walk.columns[column].empty()) view.printerMib = true;
    }
    const Table console(walk, kConsoleText, kConsoleText);
    for (const RowIndex &row : console.Rows()) view.console.push_back(console.Text(kConsoleText, row));
    const Table supplies(walk, kSupplyClass, kSupplyLevel);
    for (const RowIndex &row : supplies.Rows()) {
        view.supplies.push_back({supplies.Text(kSupplyDescription, row), supplies.Integer(kSupplyClass, row),
                                 supplies.Integer(kSupplyType, row), supplies.Integer(kSupplyUnit, row),
                                 supplies.Integer(kSupplyMaximum, row), supplies.Integer(kSupplyLevel, row)});
    }
    const Table inputs(walk, kInputUnit, kInputName);
    for (const RowIndex &row : inputs.Rows()) {
        view.trays.push_back({inputs.Text(kInputName, row), inputs.Text(kInputMedia, row),
                              inputs.Integer(kInputUnit, row), inputs.Integer(kInputMaximum, row),
                              inputs.Integer(kInputLevel, row)});
    }
    const Table outputs(walk, kOutputUnit, kOutputName);
    for (const RowIndex &row : outputs.Rows()) {
        view.outputs.push_back({outputs.Text(kOutputName, row), outputs.Integer(kOutputUnit, row),
                                outputs.Integer(kOutputMaximum, row), outputs.Integer(kOutputRemaining, row)});
    }
    const Table alerts(walk, kAlertSeverity, kAlertDescription);
    for (const RowIndex &row : alerts.Rows()) {
        view.alerts.push_back({alerts.Integer(kAlertSeverity, row), alerts.Integer(kAlertGroup, row),
                               alerts.Integer(kAlertGroupIndex, row), alerts.Integer(kAlertCode, row),
                               alerts.Text(kAlertDescription, row)});
    }
}

// The printer device's hrDeviceTable row, in one get.
void ReadDevice(const std::string &printer, PrinterStatusView &view) {
    if (!view.deviceIndex) return;
    const std::string index = std::to_string(*view.deviceIndex);
    std::int32_t result = 0;
    const auto variables = GetObjects(printer, {kDeviceDescription + index, kDeviceStatus + index}, result);
    ++view.transactions;
    if (!variables) return;
    view.deviceDescription = TextOf(&(*variables)[0]);
    view.deviceStatus = IntegerOf(&(*variables)[1]);
}

std::string Named(PrinterMibEnum enumeration, const std::optional<std::int32_t> &value) {
    return value ? EnumName(enumeration, *value) : "absent";
}

Json NamedJson(PrinterMibEnum enumeration, const std::optional<std::int32_t> &value) {
    if (!value) return nullptr;
    return Json{{"value", *value}, {"name", EnumName(enumeration, *value)}};
}

Json OptionalJson(const std::optional<std::int32_t> &value) { return value ? Json(*value) : Json(nullptr); }

std::string UnitName(PrinterMibEnum enumeration, const std::optional<std::int32_t> &unit) {
    return unit ? EnumName(enumeration, *unit) : "units";
}

LevelReading SupplyLevel(const MarkerSupply &supply) {
    return ReadLevel(supply.level, supply.maximum, UnitName(PrinterMibEnum::SupplyUnit, supply.unit));
}

LevelReading TrayLevel(const InputTray &tray) {
    return ReadLevel(tray.level, tray.maximum, UnitName(PrinterMibEnum::CapacityUnit, tray.unit));
}

LevelReading BinSpace(const OutputBin &bin) {
    return ReadLevel(bin.remaining, bin.maximum, UnitName(PrinterMibEnum::CapacityUnit, bin.unit), true);
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

std::string Joined(const std::vector<std::string> &parts, const char *separator) {
    std::string joined;
    for (const std::string &part : parts) joined += (joined.empty() ? "" : separator) + part;
    return joined;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string Reach(const PrinterStatusView &view) {
    if (view.result != 0) return "not reached";
    return view.protocol ? ProtocolLabel(*view.protocol) : "reached";
}

}  // namespace

PrinterStatusView FetchStatus(const std::string &printer) {
    PrinterStatusView view;
    view.printer = printer;
    const ColumnWalkResult walk = WalkColumns(printer, ColumnIdentifiers());
    view.transactions = walk.transactions;
    view.protocol = ProtocolInUse(printer);
    bool answered = false;
    for (const auto &column : walk.columns) answered = answered || !column.empty();
    if (walk.result != 0 && !answered) {
        view.result = walk.result;
        return view;
    }
    const Table system(walk, kSysName, kSysName);
    if (!system.Rows().empty()) view.name = system.Text(kSysName, *system.Rows().begin());
    ReadHostResources(walk, view);
    ReadPrinterMib(walk, view);
    ReadDevice(printer, view);
    return view;
}

std::string ProtocolLabel(std::uint32_t protocol) {
    switch (protocol) {
    case 1: return "IPX";
    case 2: return "UDP/IP";
    case 4: return "DLC";
    default: return "protocol " + std::to_string(protocol);
    }
}

std::string StatusText(const PrinterStatusView &view) {
    std::string out = "printer '" + view.printer + "'";
    if (view.result != 0) return out + ": not reached: " + DescribeFailure(view.result) + "\n";
    out += (view.name ? " (" + *view.name + ")" : std::string()) + ", reached over " + Reach(view) + "\n";
    if (!view.deviceIndex) {
        out += "  Host Resources MIB (RFC 2790): no printer device\n";
    } else {
        out += "  device " + std::to_string(*view.deviceIndex) + ":        " +
               Named(PrinterMibEnum::DeviceStatus, view.deviceStatus) +
               (view.deviceDescription ? "  " + Quoted(*view.deviceDescription) : std::string()) + "\n";
        out += "  printer status:  " + Named(PrinterMibEnum::PrinterStatus, view.printerStatus) + "\n";
        const std::string errors =
            view.errorState ? Joined(ErrorStateNames(*view.errorState), ", ") : std::string("absent");
        out += "  detected errors: " + (errors.empty() ? std::string("none") : errors) + "\n";
    }
    if (!view.printerMib) {
        return out + "  Printer MIB (RFC 3805): this agent has none of its objects; console, supplies, trays, "
                     "output bins and alerts unknown\n";
    }
    std::vector<std::string> lines;
    for (const std::string &line : view.console) lines.push_back(Quoted(line));
    out += "  console:         " + (lines.empty() ? std::string("absent") : Joined(lines, " / ")) + "\n";
    out += "  supplies:" + std::string(view.supplies.empty() ? " absent" : "") + "\n";
    for (const MarkerSupply &supply : view.supplies) {
        out += "    " + Padded(supply.description, 30) + " " + Padded(Named(PrinterMibEnum::SupplyType, supply.type), 15) +
               SupplyLevel(supply).text + "\n";
    }
    out += "  input trays:" + std::string(view.trays.empty() ? " absent" : "") + "\n";
    for (const InputTray &tray : view.trays) {
        out += "    " + Padded(tray.name, 20) + " " + Padded(tray.media, 16) + TrayLevel(tray).text + "\n";
    }
    out += "  output bins:" + std::string(view.outputs.empty() ? " absent" : "") + "\n";
    for (const OutputBin &bin : view.outputs) out += "    " + Padded(bin.name, 20) + " " + BinSpace(bin).text + "\n";
    out += "  alerts:" + std::string(view.alerts.empty() ? " none" : "") + "\n";
    for (const PrinterAlert &alert : view.alerts) {
        out += "    " + Padded(Named(PrinterMibEnum::AlertSeverity, alert.severity), 9) + " " +
               Named(PrinterMibEnum::AlertGroup, alert.group) +
               (alert.groupIndex ? " " + std::to_string(*alert.groupIndex) : std::string()) + "  " +
               Named(PrinterMibEnum::AlertCode, alert.code) +
               (alert.code ? " (" + std::to_string(*alert.code) + ")" : std::string()) + ": " + alert.description +
               "\n";
    }
    return out;
}

Json StatusJson(const PrinterStatusView &view) {
    Json out{{"command", "status"}, {"printer", JsonText(view.printer)}, {"result", view.result}};
    if (view.result != 0) {
        const ResultName *entry = FindResultName(view.result);
        out["name"] = entry == nullptr ? "" : entry->name;
        out["meaning"] = entry == nullptr ? "unknown result code" : entry->meaning;
        return out;
    }
    out["protocol"] = view.protocol ? Json(ProtocolLabel(*view.protocol)) : Json(nullptr);
    out["sysName"] = view.name ? JsonText(*view.name) : Json(nullptr);
    Json device = nullptr;
    if (view.deviceIndex) {
        Json errors = nullptr;
        if (view.errorState) errors = ErrorStateNames(*view.errorState);
        device = Json{{"index", *view.deviceIndex},
                      {"description", view.deviceDescription ? JsonText(*view.deviceDescription) : Json(nullptr)},
                      {"deviceStatus", NamedJson(PrinterMibEnum::DeviceStatus, view.deviceStatus)},
                      {"printerStatus", NamedJson(PrinterMibEnum::PrinterStatus, view.printerStatus)},
                      {"detectedErrors", errors}};
    }
    out["device"] = device;
    out["printerMib"] = view.printerMib;
    Json console = Json::array();
    for (const std::string &line : view.console) console.push_back(JsonText(line));
    out["console"] = console;
    Json supplies = Json::array();
    for (const MarkerSupply &supply : view.supplies) {
        const LevelReading level = SupplyLevel(supply);
        supplies.push_back({{"description", JsonText(supply.description)},
                            {"class", NamedJson(PrinterMibEnum::SupplyClass, supply.supplyClass)},
                            {"type", NamedJson(PrinterMibEnum::SupplyType, supply.type)},
                            {"unit", NamedJson(PrinterMibEnum::SupplyUnit, supply.unit)},
                            {"maxCapacity", OptionalJson(supply.maximum)},
                            {"level", OptionalJson(supply.level)},
                            {"percent", level.percent ? Json(*level.percent) : Json(nullptr)},
                            {"reading", level.text}});
    }
    out["supplies"] = supplies;
    Json trays = Json::array();
    for (const InputTray &tray : view.trays) {
        const LevelReading level = TrayLevel(tray);
        trays.push_back({{"name", JsonText(tray.name)},
                         {"media", JsonText(tray.media)},
                         {"unit", NamedJson(PrinterMibEnum::CapacityUnit, tray.unit)},
                         {"maxCapacity", OptionalJson(tray.maximum)},
                         {"level", OptionalJson(tray.level)},
                         {"percent", level.percent ? Json(*level.percent) : Json(nullptr)},
                         {"reading", level.text}});
    }
    out["inputTrays"] = trays;
    Json bins = Json::array();
    for (const OutputBin &bin : view.outputs) {
        bins.push_back({{"name", JsonText(bin.name)},
                        {"unit", NamedJson(PrinterMibEnum::CapacityUnit, bin.unit)},
                        {"maxCapacity", OptionalJson(bin.maximum)},
                        {"remainingCapacity", OptionalJson(bin.remaining)},
                        {"reading", BinSpace(bin).text}});
    }
    out["outputBins"] = bins;
    Json alerts = Json::array();
    for (const PrinterAlert &alert : view.alerts) {
        alerts.push_back({{"severity", NamedJson(PrinterMibEnum::AlertSeverity, alert.severity)},
                          {"group", NamedJson(PrinterMibEnum::AlertGroup, alert.group)},
                          {"groupIndex", OptionalJson(alert.groupIndex)},
                          {"code", NamedJson(PrinterMibEnum::AlertCode, alert.code)},
                          {"description", JsonText(alert.description)}});
    }
    out["alerts"] = alerts;
    out["transactions"] = view.transactions;
    return out;
}

std::optional<LowestSupply> FindLowestSupply(const PrinterStatusView &view) {
    constexpr std::int32_t kReceptacle = 4;  // a waste box fills up; its level is not what is left
    std::optional<LowestSupply> lowest;
    for (const MarkerSupply &supply : view.supplies) {
        if (supply.supplyClass == kReceptacle) continue;
        const LevelReading level = SupplyLevel(supply);
        if (level.percent && (!lowest || *level.percent < lowest->percent)) {
            lowest = LowestSupply{*level.percent, supply.description};
        }
    }
    return lowest;
}

std::string StatusSummary(const PrinterStatusView &view) {
    if (!view.deviceStatus && !view.printerStatus) return "unknown";
    std::string summary = view.deviceStatus ? EnumName(PrinterMibEnum::DeviceStatus, *view.deviceStatus)
                                            : EnumName(PrinterMibEnum::PrinterStatus, *view.printerStatus);
    const std::vector<std::string> errors =
        view.errorState ? ErrorStateNames(*view.errorState) : std::vector<std::string>{};
    return errors.empty() ? summary : summary + ": " + Joined(errors, ",");
}

std::string SummaryLine(const PrinterStatusView &view, std::size_t nameWidth) {
    std::string line = Padded(view.printer, nameWidth) + "  " + Padded(Reach(view), 11) + "  ";
    if (view.result != 0) {
        if (IsSilence(view.result)) return line + "no reply";
        const ResultName *entry = FindResultName(view.result);
        return line + (entry == nullptr ? "result " + std::to_string(view.result) : std::string(entry->meaning));
    }
    const std::optional<LowestSupply> lowest = FindLowestSupply(view);
    line += Padded(StatusSummary(view), 24) + "  lowest supply: " +
            Padded(lowest ? std::to_string(lowest->percent) + "% " + lowest->description
                          : std::string(view.printerMib ? "unknown" : "no Printer MIB"),
                   34) +
            "  alerts: " + std::to_string(view.alerts.size());
    return line;
}

Json SummaryJson(const PrinterStatusView &view) {
    Json out{{"printer", JsonText(view.printer)}, {"reached", view.result == 0}, {"result", view.result}};
    if (view.result != 0) return out;
    out["protocol"] = view.protocol ? Json(ProtocolLabel(*view.protocol)) : Json(nullptr);
    out["status"] = StatusSummary(view);
    out["deviceStatus"] = NamedJson(PrinterMibEnum::DeviceStatus, view.deviceStatus);
    out["detectedErrors"] = view.errorState ? Json(ErrorStateNames(*view.errorState)) : Json(nullptr);
    const std::optional<LowestSupply> lowest = FindLowestSupply(view);
    out["lowestSupply"] =
        lowest ? Json{{"description", JsonText(lowest->description)}, {"percent", lowest->percent}} : Json(nullptr);
    out["alerts"] = view.alerts.size();
    out["printerMib"] = view.printerMib;
    return out;
}

}  // namespace snmphelper::cli
