// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/status_view.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "snmphelper.h"
#include "tools/cli/column_walk.h"
#include "tools/cli/json_output.h"
#include "tools/cli/oid_arcs.h"
#include "tools/cli/printer_mib_names.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/printer_text.h"
#include "tools/cli/result_names.h"
#include "tools/cli/value_text.h"

namespace snmphelper::cli {
namespace {

// The columns one walk reads, in request order: a row of every table per
// get-next request.
enum Column : std::size_t {
    kSysName,
    kDeviceType,     // hrDeviceTable (RFC 2790 6)
    kPrinterStatus,  // hrPrinterTable
    kErrorState,
    kCharacterSet,  // prtLocalizationTable (RFC 3805)
    kConsoleText,   // prtConsoleDisplayBufferTable
    kSupplyColorant,  // prtMarkerSuppliesTable
    kSupplyClass,
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

// 27 columns: a get-next of them, and the tooBig reply that echoes it,
// stay within the 484 octets every agent takes (RFC 1157 4.1). The objects
// of known rows that the view needs besides are asked in one get after it.
const std::vector<std::string> &ColumnIdentifiers() {
    static const std::vector<std::string> kColumns = {
        "1.3.6.1.2.1.1.5",
        "1.3.6.1.2.1.25.3.2.1.2",
        "1.3.6.1.2.1.25.3.5.1.1",  "1.3.6.1.2.1.25.3.5.1.2",
        "1.3.6.1.2.1.43.7.1.1.4",
        "1.3.6.1.2.1.43.16.5.1.2",
        "1.3.6.1.2.1.43.11.1.1.3", "1.3.6.1.2.1.43.11.1.1.4", "1.3.6.1.2.1.43.11.1.1.5",
        "1.3.6.1.2.1.43.11.1.1.6", "1.3.6.1.2.1.43.11.1.1.7", "1.3.6.1.2.1.43.11.1.1.8",
        "1.3.6.1.2.1.43.11.1.1.9",
        "1.3.6.1.2.1.43.8.2.1.8",  "1.3.6.1.2.1.43.8.2.1.9",  "1.3.6.1.2.1.43.8.2.1.10",
        "1.3.6.1.2.1.43.8.2.1.12", "1.3.6.1.2.1.43.8.2.1.13",
        "1.3.6.1.2.1.43.9.2.1.3",  "1.3.6.1.2.1.43.9.2.1.4",  "1.3.6.1.2.1.43.9.2.1.5",
        "1.3.6.1.2.1.43.9.2.1.7",
        "1.3.6.1.2.1.43.18.1.1.2", "1.3.6.1.2.1.43.18.1.1.4", "1.3.6.1.2.1.43.18.1.1.5",
        "1.3.6.1.2.1.43.18.1.1.7", "1.3.6.1.2.1.43.18.1.1.8",
    };
    return kColumns;
}

// The columns read once for every printer's walk; the view reads the
// walk's variables by row, not by name.
const std::shared_ptr<const ColumnWalk::Columns> &PreparedColumns() {
    static const std::shared_ptr<const ColumnWalk::Columns> kPrepared = ColumnWalk::Prepare(ColumnIdentifiers());
    return kPrepared;
}

// hrDevicePrinter (RFC 2790 hrDeviceTypes 5).
constexpr char kPrinterDeviceType[] = "1.3.6.1.2.1.25.3.1.5";

// Objects of known rows, asked by index after the walk: hrDeviceDescr and
// hrDeviceStatus of a printer device (RFC 2790 6); its
// prtGeneralCurrentLocalization; the colorant a supply names; an alert's
// training level, location and time; the first marker's counter unit, life
// and power-on counts (RFC 3805). Their columns, by position in
// ObjectColumns.
enum ObjectColumn : std::uint8_t {
    kDeviceDescription,
    kDeviceStatus,
    kCurrentLocalization,
    kColorantValue,
    kAlertTraining,
    kAlertLocation,
    kAlertTime,
    kCounterUnit,
    kLifeCount,
    kPowerOnCount,
};

const std::shared_ptr<const ColumnWalk::Columns> &ObjectColumns() {
    static const std::shared_ptr<const ColumnWalk::Columns> kPrepared = ColumnWalk::Prepare({
        "1.3.6.1.2.1.25.3.2.1.3",
        "1.3.6.1.2.1.25.3.2.1.5",
        "1.3.6.1.2.1.43.5.1.1.2",
        "1.3.6.1.2.1.43.12.1.1.4",
        "1.3.6.1.2.1.43.18.1.1.3",
        "1.3.6.1.2.1.43.18.1.1.6",
        "1.3.6.1.2.1.43.18.1.1.9",
        "1.3.6.1.2.1.43.10.2.1.3",
        "1.3.6.1.2.1.43.10.2.1.4",
        "1.3.6.1.2.1.43.10.2.1.5",
    });
    return kPrepared;
}

// The number a variable holds, whatever the integer type the agent chose:
// agents send counters as INTEGER, Counter or Gauge interchangeably.
std::optional<std::int64_t> NumberOf(const WalkCell *variable) {
    if (variable == nullptr || variable->value.size() != 4) return std::nullopt;
    if (variable->type == SNMP_VALUE_INTEGER) {
        std::int32_t number = 0;
        std::memcpy(&number, variable->value.data(), sizeof number);
        return number;
    }
    if (variable->type == SNMP_VALUE_COUNTER || variable->type == SNMP_VALUE_GAUGE ||
        variable->type == SNMP_VALUE_TIME_TICKS) {
        std::uint32_t number = 0;
        std::memcpy(&number, variable->value.data(), sizeof number);
        return number;
    }
    return std::nullopt;
}

std::optional<std::int32_t> IntegerOf(const WalkCell *variable) {
    const std::optional<std::int64_t> number = NumberOf(variable);
    if (!number || *number > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(*number);
}

std::optional<std::uint64_t> CountOf(const WalkCell *variable) {
    const std::optional<std::int64_t> number = NumberOf(variable);
    if (!number || *number < 0) return std::nullopt;
    return static_cast<std::uint64_t>(*number);
}

std::string OidText(const WalkCell &variable) {
    std::string text(variable.value.begin(), variable.value.end());
    return text.substr(0, text.find('\0'));
}

std::string OctetsOf(const WalkCell *variable) {
    if (variable == nullptr || variable->type != SNMP_VALUE_OCTET_STRING) return {};
    return std::string(variable->value.begin(), variable->value.end());
}

// A row index as the walk keeps it.
using Row = std::span<const std::uint64_t>;

bool RowBefore(Row a, Row b) { return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()); }
bool SameRow(Row a, Row b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

// The rows of one table: the union of its columns' row indices, in order,
// and a look-up of one cell.
class Table {
public:
    Table(const ColumnWalkResult &walk, std::size_t first, std::size_t last)
        : walk_(walk), first_(first), last_(last) {
        // Each column's cells are in row order, and a table's columns mostly
        // have the same rows: merged one column at a time, a column that
        // adds no row costs one comparison per row.
        std::vector<Row> merged;
        for (std::size_t column = first; column <= last; ++column) {
            const std::span<const WalkCell> cells = walk.Cells(column);
            const bool same = cells.size() == rows_.size() &&
                              std::equal(cells.begin(), cells.end(), rows_.begin(),
                                         [](const WalkCell &cell, Row row) { return SameRow(cell.index, row); });
            if (same) continue;
            merged.clear();
            merged.reserve(rows_.size() + cells.size());
            std::size_t at = 0;
            for (const WalkCell &cell : cells) {
                while (at < rows_.size() && RowBefore(rows_[at], cell.index)) merged.push_back(rows_[at++]);
                if (at < rows_.size() && SameRow(rows_[at], cell.index)) ++at;
                merged.push_back(cell.index);
            }
            merged.insert(merged.end(), rows_.begin() + static_cast<std::ptrdiff_t>(at), rows_.end());
            rows_.swap(merged);
        }
    }
    const std::vector<Row> &Rows() const { return rows_; }
    // Rows are mostly read in order: each column's next cell is looked at
    // before the column is searched.
    const WalkCell *Cell(std::size_t column, Row row) const {
        if (column < first_ || column > last_) return walk_.Find(column, row);
        const std::span<const WalkCell> cells = walk_.Cells(column);
        std::size_t &next = next_[column];
        if (next < cells.size() && SameRow(cells[next].index, row)) return &cells[next++];
        const WalkCell *cell = walk_.Find(column, row);
        if (cell != nullptr) next = static_cast<std::size_t>(cell - cells.data()) + 1;
        return cell;
    }
    std::optional<std::int32_t> Integer(std::size_t column, Row row) const {
        return IntegerOf(Cell(column, row));
    }

private:
    const ColumnWalkResult &walk_;
    std::size_t first_, last_;
    mutable std::array<std::size_t, kColumnCount> next_{};  // by column: where its next cell is likely
    std::vector<Row> rows_;
};

// Printer MIB texts of one device's rows, decoded in its character set.
class TextReader {
public:
    explicit TextReader(const PrinterStatusView &view) {
        for (const PrinterDevice &device : view.devices) sets_[device.index] = device.characterSet;
    }
    std::string Text(const Table &table, std::size_t column, Row row) const {
        return Decode(OctetsOf(table.Cell(column, row)), row.empty() ? 0 : row[0]);
    }
    std::string Decode(const std::string &octets, std::uint64_t device) const {
        const auto it = sets_.find(device);
        return PrinterText(octets, it == sets_.end() ? std::nullopt : it->second);
    }

private:
    std::map<std::uint64_t, std::optional<std::int32_t>> sets_;
};

std::optional<std::int32_t> IntegerOf(const std::optional<WalkCell> &variable) {
    return IntegerOf(variable ? &*variable : nullptr);
}

std::optional<std::uint64_t> CountOf(const std::optional<WalkCell> &variable) {
    return CountOf(variable ? &*variable : nullptr);
}

// The printer devices: hrDeviceTable rows of type hrDevicePrinter, and the
// rows of hrPrinterTable, which many printers leave out or fill in part.
void ReadHostResources(const ColumnWalkResult &walk, PrinterStatusView &view) {
    std::map<std::uint64_t, PrinterDevice> devices;
    for (const WalkCell &cell : walk.Cells(kDeviceType)) {
        if (cell.index.size() == 1 && cell.type == SNMP_VALUE_OBJECT_IDENTIFIER &&
            Arcs(OidText(cell)) == Arcs(kPrinterDeviceType)) {
            devices[cell.index[0]].index = cell.index[0];
        }
    }
    const Table printers(walk, kPrinterStatus, kErrorState);
    for (const Row row : printers.Rows()) {
        if (row.size() != 1) continue;
        PrinterDevice &device = devices[row[0]];
        device.index = row[0];
        device.printerStatus = printers.Integer(kPrinterStatus, row);
        if (const WalkCell *bits = printers.Cell(kErrorState, row);
            bits != nullptr && bits->type == SNMP_VALUE_OCTET_STRING) {
            device.errorState.emplace(bits->value.begin(), bits->value.end());
        }
    }
    for (auto &[index, device] : devices) view.devices.push_back(std::move(device));
}

// Whether the agent answered any Printer MIB column.
bool HasPrinterMib(const ColumnWalkResult &walk) {
    for (std::size_t column = kCharacterSet; column < kColumnCount; ++column) {
        if (!walk.Cells(column).empty()) return true;
    }
    return false;
}

// The objects of known rows that the walk did not read: each printer
// device's row, the colorants the supplies name, the alerts' further
// columns and the first marker's counters.
void AskIndexedObjects(const ColumnWalkResult &walk, const PrinterStatusView &view, AskedObjects &objects) {
    // An agent without the Printer MIB (a host listing its print queues) is
    // not asked for its objects.
    const bool printerMib = HasPrinterMib(walk);
    for (const PrinterDevice &device : view.devices) {
        const std::uint64_t index[] = {device.index, 1};
        objects.Add(kDeviceDescription, {index, 1});
        objects.Add(kDeviceStatus, {index, 1});
        if (!printerMib) continue;
        objects.Add(kCurrentLocalization, {index, 1});
        for (const ObjectColumn column : {kCounterUnit, kLifeCount, kPowerOnCount}) objects.Add(column, index);
    }
    // Each colorant once, in the order of their identifiers' text.
    struct Colorant {
        std::string text;
        std::uint64_t row[2];
    };
    std::vector<Colorant> colorants;
    for (const WalkCell &cell : walk.Cells(kSupplyColorant)) {
        const std::optional<std::int32_t> colorant = IntegerOf(&cell);
        if (colorant && *colorant > 0 && !cell.index.empty()) {
            Colorant named{{}, {cell.index[0], static_cast<std::uint64_t>(*colorant)}};
            named.text = RowText(named.row);
            colorants.push_back(std::move(named));
        }
    }
    std::sort(colorants.begin(), colorants.end(), [](const Colorant &a, const Colorant &b) { return a.text < b.text; });
    const auto last = std::unique(colorants.begin(), colorants.end(),
                                  [](const Colorant &a, const Colorant &b) { return a.text == b.text; });
    for (auto colorant = colorants.begin(); colorant != last; ++colorant) objects.Add(kColorantValue, colorant->row);
    const Table alerts(walk, kAlertSeverity, kAlertDescription);
    for (const Row row : alerts.Rows()) {
        for (const ObjectColumn column : {kAlertTraining, kAlertLocation, kAlertTime}) objects.Add(column, row);
    }
}

// The devices' rows, and the character set of each one's current localization.
void ReadDevices(const ColumnWalkResult &walk, const AskedObjects &values, PrinterStatusView &view) {
    for (PrinterDevice &device : view.devices) {
        const Row index(&device.index, 1);
        if (const std::optional<WalkCell> description = values.Find(kDeviceDescription, index);
            description && description->type == SNMP_VALUE_OCTET_STRING) {
            device.description = OctetsOf(&*description);
        }
        device.deviceStatus = IntegerOf(values.Find(kDeviceStatus, index));
        device.localization = IntegerOf(values.Find(kCurrentLocalization, index));
        if (device.localization && *device.localization >= 0) {
            const RowIndex row{device.index, static_cast<std::uint64_t>(*device.localization)};
            if (const WalkCell *set = walk.Find(kCharacterSet, row)) {
                device.characterSet = IntegerOf(set);
            }
        }
    }
}

void ReadPrinterMib(const ColumnWalkResult &walk, const AskedObjects &values, PrinterStatusView &view) {
    view.printerMib = HasPrinterMib(walk);
    const TextReader reader(view);
    const Table console(walk, kConsoleText, kConsoleText);
    for (const Row row : console.Rows()) view.console.push_back(reader.Text(console, kConsoleText, row));
    // A supply's colour is the colorant its colorant index names, not its
    // place in the table.
    const Table supplies(walk, kSupplyColorant, kSupplyLevel);
    view.supplies.reserve(supplies.Rows().size());
    for (const Row row : supplies.Rows()) {
        MarkerSupply supply{RowIndex(row.begin(), row.end()),
                            reader.Text(supplies, kSupplyDescription, row),
                            supplies.Integer(kSupplyColorant, row),
                            supplies.Integer(kSupplyClass, row),
                            supplies.Integer(kSupplyType, row),
                            supplies.Integer(kSupplyUnit, row),
                            supplies.Integer(kSupplyMaximum, row),
                            supplies.Integer(kSupplyLevel, row),
                            std::nullopt};
        if (supply.colorantIndex && *supply.colorantIndex > 0 && !row.empty()) {
            const std::uint64_t colorantRow[] = {row[0], static_cast<std::uint64_t>(*supply.colorantIndex)};
            const std::optional<WalkCell> colorant = values.Find(kColorantValue, colorantRow);
            if (colorant && colorant->type == SNMP_VALUE_OCTET_STRING) {
                supply.colorant = reader.Decode(OctetsOf(&*colorant), row[0]);
            }
        }
        view.supplies.push_back(std::move(supply));
    }
    for (const PrinterDevice &device : view.devices) {
        const std::uint64_t row[] = {device.index, 1};
        MarkerCounter counter{{device.index, 1}, IntegerOf(values.Find(kCounterUnit, row)),
                              CountOf(values.Find(kLifeCount, row)), CountOf(values.Find(kPowerOnCount, row))};
        if (counter.lifeCount || counter.powerOnCount) view.counters.push_back(counter);
    }
    const Table inputs(walk, kInputUnit, kInputName);
    for (const Row row : inputs.Rows()) {
        view.trays.push_back({RowIndex(row.begin(), row.end()), reader.Text(inputs, kInputName, row),
                              reader.Text(inputs, kInputMedia, row),
                              inputs.Integer(kInputUnit, row), inputs.Integer(kInputMaximum, row),
                              inputs.Integer(kInputLevel, row)});
    }
    const Table outputs(walk, kOutputUnit, kOutputName);
    for (const Row row : outputs.Rows()) {
        view.outputs.push_back({reader.Text(outputs, kOutputName, row), outputs.Integer(kOutputUnit, row),
                                outputs.Integer(kOutputMaximum, row), outputs.Integer(kOutputRemaining, row)});
    }
    const Table alerts(walk, kAlertSeverity, kAlertDescription);
    for (const Row row : alerts.Rows()) {
        std::optional<std::uint32_t> time;
        if (const std::optional<std::uint64_t> ticks = CountOf(values.Find(kAlertTime, row))) {
            time = static_cast<std::uint32_t>(*ticks);
        }
        view.alerts.push_back({RowIndex(row.begin(), row.end()), alerts.Integer(kAlertSeverity, row),
                               IntegerOf(values.Find(kAlertTraining, row)), alerts.Integer(kAlertGroup, row),
                               alerts.Integer(kAlertGroupIndex, row), IntegerOf(values.Find(kAlertLocation, row)),
                               alerts.Integer(kAlertCode, row), time, reader.Text(alerts, kAlertDescription, row)});
    }
}

std::string Named(PrinterMibEnum enumeration, const std::optional<std::int32_t> &value) {
    return value ? EnumName(enumeration, *value) : "absent";
}

Json NamedJson(PrinterMibEnum enumeration, const std::optional<std::int32_t> &value) {
    if (!value) return nullptr;
    return Json{{"value", *value}, {"name", EnumName(enumeration, *value)}};
}

template <typename Number>
Json OptionalJson(const std::optional<Number> &value) {
    return value ? Json(*value) : Json(nullptr);
}

// SupplyLevel's percentage alone, for the summaries of many printers.
std::optional<int> SupplyPercent(const MarkerSupply &supply) {
    constexpr std::int32_t kPercent = 19;  // PrtMarkerSuppliesSupplyUnitTC
    return LevelPercent(supply.level, supply.maximum, supply.unit == kPercent);
}

std::string UnitName(PrinterMibEnum enumeration, const std::optional<std::int32_t> &unit) {
    return unit ? EnumName(enumeration, *unit) : "units";
}

LevelReading BinSpace(const OutputBin &bin) {
    return ReadLevel(bin.remaining, bin.maximum, UnitName(PrinterMibEnum::CapacityUnit, bin.unit),
                     LevelMeaning::OutputSpace);
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

std::string Joined(const std::vector<std::string> &parts, const char *separator) {
    std::string joined;
    for (const std::string &part : parts) joined += (joined.empty() ? "" : separator) + part;
    return joined;
}

// The text in a column of `width` display columns: padded, or cut with "..."
// when longer (the whole text is in the JSON).
std::string Padded(std::string text, std::size_t width) {
    const std::size_t shown = DisplayWidth(text);
    if (shown > width && width > 3) text = CutToWidth(text, width - 4) + "... ";
    const std::size_t now = DisplayWidth(text);
    if (now < width) text.append(width - now, ' ');
    return text;
}

// A column's width: its widest text and a space, within [least, most].
template <typename Item, typename Get>
std::size_t ColumnWidth(const std::vector<Item> &items, Get get, std::size_t least, std::size_t most) {
    std::size_t width = least;
    for (const Item &item : items) {
        const std::size_t text = DisplayWidth(get(item));
        if (text > 0) width = std::max(width, text + 1);
    }
    return std::min(width, most);
}

std::string Reach(const PrinterStatusView &view) {
    if (view.result != 0) return "not reached";
    return view.protocol ? ProtocolLabel(*view.protocol) : "reached";
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return text;
}

// The ANSI colour of a colorant name, for the level bar on a terminal.
const char *AnsiColour(const std::optional<std::string> &colorant) {
    if (!colorant) return nullptr;
    const std::string name = LowerCase(*colorant);
    if (name.find("cyan") != std::string::npos) return "\033[36m";
    if (name.find("magenta") != std::string::npos) return "\033[35m";
    if (name.find("yellow") != std::string::npos) return "\033[33m";
    if (name.find("black") != std::string::npos) return "\033[90m";
    return nullptr;
}

// "[#######   ] " for 70%; blanks when the level is not a percentage.
std::string LevelBar(const LevelReading &level, const std::optional<std::string> &colorant, bool colour) {
    constexpr int kCells = 10;
    if (!level.percent) return std::string(kCells + 3, ' ');
    const int filled = (*level.percent * kCells + 50) / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    const char *ansi = colour ? AnsiColour(colorant) : nullptr;
    if (ansi != nullptr) bar = ansi + bar + "\033[0m";
    return "[" + bar + std::string(static_cast<std::size_t>(kCells - filled), ' ') + "] ";
}

std::string ClockText(std::uint32_t ticks) {
    const TicksClock clock = SplitTicks(ticks);
    char text[48];
    std::snprintf(text, sizeof text, "%lu:%02lu:%02lu:%02lu.%02lu", clock.days, clock.hours, clock.minutes,
                  clock.seconds, clock.hundredths);
    return text;
}

// The worst hrDeviceStatus first: down, warning, testing, running, unknown.
int Severity(const std::optional<std::int32_t> &status) {
    if (!status) return 0;
    switch (*status) {
    case 5: return 5;
    case 3: return 4;
    case 4: return 3;
    case 2: return 2;
    default: return 1;
    }
}

Json DeviceJson(const PrinterDevice &device) {
    Json errors = nullptr;
    if (device.errorState) errors = ErrorStateNames(*device.errorState);
    return Json{{"index", device.index},
                {"description", device.description ? JsonText(*device.description) : Json(nullptr)},
                {"deviceStatus", NamedJson(PrinterMibEnum::DeviceStatus, device.deviceStatus)},
                {"printerStatus", NamedJson(PrinterMibEnum::PrinterStatus, device.printerStatus)},
                {"detectedErrors", errors},
                {"characterSet", device.characterSet ? Json{{"value", *device.characterSet},
                                                            {"name", CharacterSetName(*device.characterSet)}}
                                                     : Json(nullptr)}};
}

Json CountersJson(const std::vector<MarkerCounter> &counters) {
    Json list = Json::array();
    for (const MarkerCounter &counter : counters) {
        list.push_back({{"index", RowText(counter.index)},
                        {"unit", NamedJson(PrinterMibEnum::CounterUnit, counter.unit)},
                        {"lifeCount", OptionalJson(counter.lifeCount)},
                        {"powerOnCount", OptionalJson(counter.powerOnCount)}});
    }
    return list;
}

}  // namespace

void AskedObjects::Add(std::uint8_t column, std::span<const std::uint64_t> row) {
    objects_.push_back(
        {column, false, 0, static_cast<std::uint32_t>(rows_.size()), static_cast<std::uint32_t>(row.size()), 0, 0});
    rows_.insert(rows_.end(), row.begin(), row.end());
}

std::span<const std::uint64_t> AskedObjects::Row(std::size_t at) const {
    return {rows_.data() + objects_[at].rowAt, objects_[at].rowLength};
}

void AskedObjects::Answer(std::size_t at, std::int32_t type, std::span<const std::uint8_t> value) {
    Object &object = objects_[at];
    object.answered = true;
    object.type = type;
    object.valueAt = static_cast<std::uint32_t>(values_.size());
    object.valueLength = static_cast<std::uint32_t>(value.size());
    values_.insert(values_.end(), value.begin(), value.end());
}

std::optional<WalkCell> AskedObjects::Find(std::uint8_t column, std::span<const std::uint64_t> row) const {
    for (std::size_t at = 0; at < objects_.size(); ++at) {
        const Object &object = objects_[at];
        if (object.column != column || !SameRow(Row(at), row)) continue;
        if (!object.answered) return std::nullopt;
        return WalkCell{{}, object.type, {values_.data() + object.valueAt, object.valueLength}};
    }
    return std::nullopt;
}

std::string RowText(std::span<const std::uint64_t> row) {
    std::string text;
    AppendArcs(row, text);
    return text;
}

PrinterStatusView FetchStatus(const std::string &printer) {
    StatusFetch fetch(printer);
    StatusFetch::Request request;
    while (fetch.Next(request)) {
        TypedReply reply;
        const std::int32_t result =
            TransactObjects(printer, request.requestType, request.identifiers.Bindings(), reply);
        fetch.Take(result, reply.Record());
    }
    return std::move(fetch.View());
}

StatusFetch::StatusFetch(const std::string &printer, NameForm names)
    : names_(names), walk_(PreparedColumns(), names) {
    view_.printer = printer;
}

bool StatusFetch::Next(Request &request) {
    if (phase_ == Phase::Walk) {
        if (walk_.Next(request.identifiers)) {
            request.requestType = SNMP_REQUEST_GET_NEXT;
            return true;
        }
        EndWalk();
    }
    if (phase_ != Phase::Gets) return false;
    while (!gets_.empty() && gets_.back().empty()) gets_.pop_back();
    if (gets_.empty()) {
        EndGets();
        return false;
    }
    request.requestType = SNMP_REQUEST_GET;
    request.identifiers.Clear(names_);
    const ColumnWalk::Columns &columns = *ObjectColumns();
    const std::vector<std::string> &prefixes = names_ == NameForm::Encoded ? columns.encoded : columns.identifiers;
    for (const std::uint32_t at : gets_.back()) {
        request.identifiers.Add(prefixes[objects_.Column(at)], objects_.Row(at));
    }
    return true;
}

void StatusFetch::EndWalk() {
    const ColumnWalkResult &walk = walk_.Result();
    view_.transactions = walk.transactions;
    view_.protocol = ProtocolInUse(view_.printer);
    phase_ = Phase::Done;
    if (walk.result != 0 && !walk.AnyRead()) {
        view_.result = walk.result;
        return;
    }
    const Table system(walk, kSysName, kSysName);
    if (!system.Rows().empty()) {
        view_.name = OctetsOf(system.Cell(kSysName, *system.Rows().begin()));
    }
    ReadHostResources(walk, view_);
    // The objects of known rows, a few dozen to a request, the first asked first.
    constexpr std::size_t kPerRequest = 20;
    AskIndexedObjects(walk, view_, objects_);
    const auto count = static_cast<std::uint32_t>(objects_.Size());
    for (std::uint32_t start = 0; start < count; start += kPerRequest) {
        std::vector<std::uint32_t> &get = *gets_.emplace(gets_.begin());
        for (std::uint32_t at = start; at < std::min<std::uint32_t>(start + kPerRequest, count); ++at) {
            get.push_back(at);
        }
    }
    phase_ = Phase::Gets;
}

void StatusFetch::EndGets() {
    ReadDevices(walk_.Result(), objects_, view_);
    ReadPrinterMib(walk_.Result(), objects_, view_);
    phase_ = Phase::Done;
}

void StatusFetch::Take(std::int32_t result, const SnmpReqParam *reply) {
    if (phase_ == Phase::Walk) {
        walk_.Take(result, reply);
    } else {
        TakeGet(result, reply);
    }
}

// A get's outcome: an object the agent says it does not have (an
// error-status naming it, noSuchName in RFC 1157 4.1.2) is left out and the
// rest asked again; a request whose reply would be too big is split.
void StatusFetch::TakeGet(std::int32_t result, const SnmpReqParam *reply) {
    if (phase_ != Phase::Gets || gets_.empty()) return;
    constexpr std::uint32_t kTooBig = 1;
    ++view_.transactions;
    result = ReplyResultOf(result, reply);
    const std::uint32_t errorStatus = reply != nullptr ? reply->errorStatus : 0;
    const std::uint32_t errorIndex = reply != nullptr ? reply->errorIndex : 0;
    std::vector<std::uint32_t> &asked = gets_.back();
    const bool tooBig = (result == SNMP_RESULT_ERROR_STATUS && errorStatus == kTooBig) ||
                        result == SNMP_RESULT_DOES_NOT_FIT;
    if (tooBig && asked.size() > 1) {
        std::vector<std::uint32_t> whole = std::move(asked);
        gets_.pop_back();
        const auto half = whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2);
        gets_.emplace_back(half, whole.end());
        gets_.emplace_back(whole.begin(), half);
        return;
    }
    if (result == SNMP_RESULT_ERROR_STATUS && errorIndex >= 1 && errorIndex <= asked.size()) {
        asked.erase(asked.begin() + static_cast<std::ptrdiff_t>(errorIndex - 1));
        return;
    }
    if (result == 0 && reply != nullptr && reply->varBindCount == asked.size()) {
        for (std::size_t i = 0; i < asked.size(); ++i) {
            const SnmpVarBind &binding = reply->varBinds[i];
            const std::size_t length = binding.value != nullptr ? binding.valueLength : 0;
            objects_.Answer(asked[i], binding.valueType, {binding.value, length});
        }
    }
    gets_.pop_back();
}

std::string ProtocolLabel(std::uint32_t protocol) {
    switch (protocol) {
    case 1: return "IPX";
    case 2: return "UDP/IP";
    case 4: return "DLC";
    default: return "protocol " + std::to_string(protocol);
    }
}

bool IsReceptacle(const MarkerSupply &supply) {
    constexpr std::int32_t kReceptacleThatIsFilled = 4;
    if (supply.supplyClass) return *supply.supplyClass == kReceptacleThatIsFilled;
    // wasteToner, wasteInk, wasteWax, wasteWater, wastePaper (PrtMarkerSuppliesTypeTC)
    if (supply.type) {
        return supply.type == 4 || supply.type == 8 || supply.type == 14 || supply.type == 24 || supply.type == 26;
    }
    // Neither class nor type (some printers send descriptions and levels
    // only): a waste box says so in its description.
    return LowerCase(supply.description).find("waste") != std::string::npos;
}

LevelReading SupplyLevel(const MarkerSupply &supply) {
    return ReadLevel(supply.level, supply.maximum, UnitName(PrinterMibEnum::SupplyUnit, supply.unit),
                     IsReceptacle(supply) ? LevelMeaning::ReceptacleSpace : LevelMeaning::Remaining);
}

LevelReading TrayLevel(const InputTray &tray) {
    return ReadLevel(tray.level, tray.maximum, UnitName(PrinterMibEnum::CapacityUnit, tray.unit));
}

void KeepAlertsForTraining(PrinterStatusView &view, std::int32_t level) {
    std::erase_if(view.alerts, [level](const PrinterAlert &alert) {
        // untrained 3 ... management 6; other, unknown and
        // noInterventionRequired say nothing about who acts.
        return alert.training && *alert.training >= 3 && *alert.training <= 6 && *alert.training > level;
    });
}

std::string StatusText(const PrinterStatusView &view, TextStyle style) {
    std::string out = "printer '" + view.printer + "'";
    if (view.result != 0) return out + ": not reached: " + DescribeFailure(view.result) + "\n";
    out += (view.name ? " (" + *view.name + ")" : std::string()) + ", reached over " + Reach(view) + "\n";
    if (view.devices.empty()) out += "  Host Resources MIB (RFC 2790): no printer device\n";
    for (const PrinterDevice &device : view.devices) {
        out += "  device " + std::to_string(device.index) + ":        " +
               Named(PrinterMibEnum::DeviceStatus, device.deviceStatus) +
               (device.description ? "  " + Quoted(*device.description) : std::string()) + "\n";
        out += "  printer status:  " + Named(PrinterMibEnum::PrinterStatus, device.printerStatus) + "\n";
        const std::string errors =
            device.errorState ? Joined(ErrorStateNames(*device.errorState), ", ") : std::string("absent");
        out += "  detected errors: " + (errors.empty() ? std::string("none") : errors) + "\n";
    }
    if (!view.printerMib) {
        return out + "  Printer MIB (RFC 3805): this agent has none of its objects; console, supplies, trays, "
                     "output bins and alerts unknown\n";
    }
    std::vector<std::string> lines;
    // Panels keep blank lines between their messages (HP: "Sleep mode on" and
    // "Ready" among six empty ones); the text shows the messages, the JSON
    // every line.
    for (const std::string &line : view.console) {
        if (!line.empty()) lines.push_back(Quoted(line));
    }
    const std::string console = !lines.empty()           ? Joined(lines, " / ")
                                : view.console.empty()   ? std::string("absent")
                                                         : std::string("blank");
    out += "  console:         " + console + "\n";
    for (const MarkerCounter &counter : view.counters) {
        const std::string unit = UnitName(PrinterMibEnum::CounterUnit, counter.unit);
        out += "  marker " + RowText(counter.index) + " count:  " +
               (counter.lifeCount ? std::to_string(*counter.lifeCount) + " " + unit + " in its life" : "life absent") +
               (counter.powerOnCount ? ", " + std::to_string(*counter.powerOnCount) + " since power-on" : "") + "\n";
    }
    out += "  supplies:" + std::string(view.supplies.empty() ? " absent" : "") + "\n";
    const auto colourOf = [](const MarkerSupply &supply) { return supply.colorant.value_or(""); };
    const std::size_t colourWidth = ColumnWidth(view.supplies, colourOf, 0, 14);
    const std::size_t descriptionWidth =
        ColumnWidth(view.supplies, [](const MarkerSupply &supply) { return supply.description; }, 30, 40);
    const std::size_t typeWidth = ColumnWidth(
        view.supplies, [](const MarkerSupply &supply) { return Named(PrinterMibEnum::SupplyType, supply.type); }, 15,
        24);
    for (const MarkerSupply &supply : view.supplies) {
        const LevelReading level = SupplyLevel(supply);
        // With several printers on the agent, each supply names its device.
        const std::string device = view.devices.size() > 1 && !supply.index.empty()
                                       ? "device " + std::to_string(supply.index[0]) + "  "
                                       : std::string();
        out += "    " + device + (colourWidth == 0 ? std::string() : Padded(colourOf(supply), colourWidth)) +
               Padded(supply.description, descriptionWidth) + " " +
               Padded(Named(PrinterMibEnum::SupplyType, supply.type), typeWidth) +
               (style.bars ? LevelBar(level, supply.colorant, style.colour) : std::string()) + level.text + "\n";
    }
    out += "  input trays:" + std::string(view.trays.empty() ? " absent" : "") + "\n";
    // A tray without a name (prtInputName absent or empty) goes by its row.
    const auto trayName = [](const InputTray &tray) {
        return tray.name.empty() ? "tray " + RowText(tray.index) : tray.name;
    };
    const std::size_t trayWidth = ColumnWidth(view.trays, trayName, 20, 32);
    const std::size_t mediaWidth = ColumnWidth(view.trays, [](const InputTray &tray) { return tray.media; }, 16, 32);
    for (const InputTray &tray : view.trays) {
        out += "    " + Padded(trayName(tray), trayWidth) + " " + Padded(tray.media, mediaWidth) +
               TrayLevel(tray).text + "\n";
    }
    out += "  output bins:" + std::string(view.outputs.empty() ? " absent" : "") + "\n";
    const std::size_t binWidth = ColumnWidth(view.outputs, [](const OutputBin &bin) { return bin.name; }, 20, 32);
    for (const OutputBin &bin : view.outputs) {
        out += "    " + Padded(bin.name, binWidth) + " " + BinSpace(bin).text + "\n";
    }
    out += "  alerts:" + std::string(view.alerts.empty() ? " none" : "") + "\n";
    const std::size_t severityWidth = ColumnWidth(
        view.alerts, [](const PrinterAlert &alert) { return Named(PrinterMibEnum::AlertSeverity, alert.severity); },
        9, 26);
    for (const PrinterAlert &alert : view.alerts) {
        std::vector<std::string> details;
        if (alert.training) details.push_back("for " + EnumName(PrinterMibEnum::AlertTraining, *alert.training));
        if (alert.location && *alert.location > 0) details.push_back("location " + std::to_string(*alert.location));
        if (alert.time) details.push_back("at " + ClockText(*alert.time));
        // A group index of -1 is no row: the alert is of the group as a whole
        // (RFC 3805 prtAlertGroupIndex; HP's "Sleep mode on").
        std::string group = Named(PrinterMibEnum::AlertGroup, alert.group);
        if (alert.groupIndex && *alert.groupIndex >= 0) group += " " + std::to_string(*alert.groupIndex);
        // A code with a name shows its number too; one without is "value N" once.
        std::string code = Named(PrinterMibEnum::AlertCode, alert.code);
        if (alert.code && code != "value " + std::to_string(*alert.code)) {
            code += " (" + std::to_string(*alert.code) + ")";
        }
        out += "    " + Padded(Named(PrinterMibEnum::AlertSeverity, alert.severity), severityWidth) + " " + group +
               "  " + code + ": " + alert.description +
               (details.empty() ? std::string() : "  [" + Joined(details, ", ") + "]") + "\n";
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
    Json devices = Json::array();
    for (const PrinterDevice &device : view.devices) devices.push_back(DeviceJson(device));
    out["device"] = devices.empty() ? Json(nullptr) : devices.front();
    out["devices"] = devices;
    out["printerMib"] = view.printerMib;
    Json console = Json::array();
    for (const std::string &line : view.console) console.push_back(JsonText(line));
    out["console"] = console;
    Json supplies = Json::array();
    for (const MarkerSupply &supply : view.supplies) {
        const LevelReading level = SupplyLevel(supply);
        supplies.push_back({{"index", RowText(supply.index)},
                            {"description", JsonText(supply.description)},
                            {"colorantIndex", OptionalJson(supply.colorantIndex)},
                            {"colorant", supply.colorant ? JsonText(*supply.colorant) : Json(nullptr)},
                            {"class", NamedJson(PrinterMibEnum::SupplyClass, supply.supplyClass)},
                            {"type", NamedJson(PrinterMibEnum::SupplyType, supply.type)},
                            {"receptacle", IsReceptacle(supply)},
                            {"unit", NamedJson(PrinterMibEnum::SupplyUnit, supply.unit)},
                            {"maxCapacity", OptionalJson(supply.maximum)},
                            {"level", OptionalJson(supply.level)},
                            {"percent", OptionalJson(level.percent)},
                            {"reading", level.text}});
    }
    out["supplies"] = supplies;
    out["markerCounters"] = CountersJson(view.counters);
    Json trays = Json::array();
    for (const InputTray &tray : view.trays) {
        const LevelReading level = TrayLevel(tray);
        trays.push_back({{"name", JsonText(tray.name)},
                         {"media", JsonText(tray.media)},
                         {"unit", NamedJson(PrinterMibEnum::CapacityUnit, tray.unit)},
                         {"maxCapacity", OptionalJson(tray.maximum)},
                         {"level", OptionalJson(tray.level)},
                         {"percent", OptionalJson(level.percent)},
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
        alerts.push_back({{"index", RowText(alert.index)},
                          {"severity", NamedJson(PrinterMibEnum::AlertSeverity, alert.severity)},
                          {"trainingLevel", NamedJson(PrinterMibEnum::AlertTraining, alert.training)},
                          {"group", NamedJson(PrinterMibEnum::AlertGroup, alert.group)},
                          {"groupIndex", OptionalJson(alert.groupIndex)},
                          {"location", OptionalJson(alert.location)},
                          {"code", NamedJson(PrinterMibEnum::AlertCode, alert.code)},
                          {"description", JsonText(alert.description)},
                          {"time", OptionalJson(alert.time)}});
    }
    out["alerts"] = alerts;
    out["transactions"] = view.transactions;
    return out;
}

std::optional<LowestSupply> FindLowestSupply(const PrinterStatusView &view) {
    std::optional<LowestSupply> lowest;
    for (const MarkerSupply &supply : view.supplies) {
        if (IsReceptacle(supply)) continue;  // a waste box fills up; its level is not what is left
        const std::optional<int> percent = SupplyPercent(supply);
        if (percent && (!lowest || *percent < lowest->percent)) lowest = LowestSupply{*percent, supply.description};
    }
    return lowest;
}

std::vector<std::string> NearlyFullReceptacles(const PrinterStatusView &view) {
    constexpr int kNearlyFullSpace = 10;  // percent of space left
    std::vector<std::string> full;
    for (const MarkerSupply &supply : view.supplies) {
        if (!IsReceptacle(supply)) continue;
        const std::optional<int> percent = SupplyPercent(supply);
        if ((percent && *percent <= kNearlyFullSpace) || supply.level == 0) {
            full.push_back(supply.description);
        }
    }
    return full;
}

std::string StatusSummary(const PrinterStatusView &view) {
    const PrinterDevice *worst = nullptr;
    for (const PrinterDevice &device : view.devices) {
        if (!device.deviceStatus && !device.printerStatus) continue;
        if (worst == nullptr || Severity(device.deviceStatus) > Severity(worst->deviceStatus)) worst = &device;
    }
    if (worst == nullptr) return "unknown";
    std::string summary = worst->deviceStatus ? EnumName(PrinterMibEnum::DeviceStatus, *worst->deviceStatus)
                                              : EnumName(PrinterMibEnum::PrinterStatus, *worst->printerStatus);
    const std::vector<std::string> errors =
        worst->errorState ? ErrorStateNames(*worst->errorState) : std::vector<std::string>{};
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
    const std::vector<std::string> full = NearlyFullReceptacles(view);
    if (!full.empty()) line += "  nearly full: " + Joined(full, ", ");
    return line;
}

Json SummaryJson(const PrinterStatusView &view) {
    Json out{{"printer", JsonText(view.printer)}, {"reached", view.result == 0}, {"result", view.result}};
    if (view.result != 0) return out;
    out["protocol"] = view.protocol ? Json(ProtocolLabel(*view.protocol)) : Json(nullptr);
    out["status"] = StatusSummary(view);
    const PrinterDevice *first = view.devices.empty() ? nullptr : &view.devices.front();
    out["deviceStatus"] = first ? NamedJson(PrinterMibEnum::DeviceStatus, first->deviceStatus) : Json(nullptr);
    out["detectedErrors"] =
        first && first->errorState ? Json(ErrorStateNames(*first->errorState)) : Json(nullptr);
    const std::optional<LowestSupply> lowest = FindLowestSupply(view);
    out["lowestSupply"] =
        lowest ? Json{{"description", JsonText(lowest->description)}, {"percent", lowest->percent}} : Json(nullptr);
    Json full = Json::array();
    for (const std::string &description : NearlyFullReceptacles(view)) full.push_back(JsonText(description));
    out["nearlyFullReceptacles"] = full;
    out["markerCounters"] = CountersJson(view.counters);
    out["alerts"] = view.alerts.size();
    out["printerMib"] = view.printerMib;
    return out;
}

}  // namespace snmphelper::cli
