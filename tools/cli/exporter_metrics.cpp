// SPDX-License-Identifier: Apache-2.0
// Names follow Prometheus's naming practice: base units (seconds, ratios
// from 0 to 1), _total only on counters, enumerations as their MIB numbers
// with the name in a label where a person reads it. Label values pass
// through EscapeInvalidUtf8 so that one printer's Latin-1 description never
// fails a whole scrape.
#include "tools/cli/exporter_metrics.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "snmphelper_version.h"
#include "tools/cli/printer_mib_names.h"
#include "tools/cli/utf8_text.h"

namespace snmphelper::cli {
namespace {

using Labels = std::vector<std::pair<std::string, std::string>>;

constexpr std::int32_t kSomeRemaining = -3;

// A label value as the exposition formats quote it.
std::string LabelValue(const std::string &octets) {
    const std::string text = EscapeInvalidUtf8(octets);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// The shortest text that reads back as the same double.
std::string Number(double value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// The samples of one family, written once every printer has added its own.
class Family {
public:
    Family(std::string name, std::string type, std::string help)
        : name_(std::move(name)), type_(std::move(type)), help_(std::move(help)) {}

    void Add(const Labels &labels, double value) {
        std::string line = name_;
        if (!labels.empty()) {
            line += '{';
            for (std::size_t i = 0; i < labels.size(); ++i) {
                if (i != 0) line += ',';
                line += labels[i].first + "=\"" + LabelValue(labels[i].second) + "\"";
            }
            line += '}';
        }
        samples_ += line + " " + Number(value) + "\n";
    }

    std::string Text(ExpositionFormat format) const {
        if (samples_.empty()) return {};
        // OpenMetrics names a counter's family without its _total.
        const std::string family = format == ExpositionFormat::OpenMetrics && type_ == "counter"
                                       ? name_.substr(0, name_.size() - 6)
                                       : name_;
        return "# HELP " + family + " " + help_ + "\n# TYPE " + family + " " + type_ + "\n" + samples_;
    }

private:
    std::string name_, type_, help_;
    std::string samples_;
};

struct Families {
    Family build{"snmphelper_build_info", "gauge", "The exporter's version, always 1."};
    Family up{"printer_up", "gauge", "1 when the printer answered its last reading, 0 when it was not reached."};
    Family info{"printer_info", "gauge",
                "The printer's model (hrDeviceDescr), sysName and the protocol it was reached over, always 1."};
    Family result{"printer_reading_result", "gauge",
                  "The result code of the last reading: 0 reached, else the library's result (snmphelper(1))."};
    Family duration{"printer_scrape_duration_seconds", "gauge", "How long the last reading of the printer took."};
    Family readAt{"printer_last_reading_timestamp_seconds", "gauge",
                  "When the last reading of the printer ended, in seconds since the Unix epoch."};
    Family deviceStatus{"printer_device_status", "gauge",
                        "hrDeviceStatus: 1 unknown, 2 running, 3 warning, 4 testing, 5 down."};
    Family printerStatus{"printer_status", "gauge",
                         "hrPrinterStatus: 1 other, 2 unknown, 3 idle, 4 printing, 5 warmup."};
    Family detectedError{"printer_detected_error", "gauge",
                         "1 when the error bit of hrPrinterDetectedErrorState is set, else 0."};
    Family supplyInfo{"printer_supply_info", "gauge",
                      "One series per supply of prtMarkerSuppliesTable, whatever its level says, always 1."};
    Family supplyLevel{"printer_supply_level_ratio", "gauge",
                       "A supply's level from 0 to 1 (a receptacle's: the space left); absent when unknown."};
    Family supplySome{"printer_supply_some_remaining", "gauge",
                      "1 when the printer reports only that some of the supply remains (level -3)."};
    Family supplyCapacity{"printer_supply_capacity", "gauge",
                          "prtMarkerSuppliesMaxCapacity in the supply's unit, when the printer gives one."};
    Family pages{"printer_pages_total", "counter", "prtMarkerLifeCount: what the marker has printed in its life."};
    Family alerts{"printer_alerts", "gauge", "The rows of prtAlertTable by severity."};
    Family alertInfo{"printer_alert_info", "gauge", "One series per row of prtAlertTable, always 1."};
    Family trayLevel{"printer_tray_level_ratio", "gauge",
                     "An input tray's level from 0 to 1; absent when the printer does not know it."};
};

// The hrPrinterDetectedErrorState bits that have a name, in bit order.
const std::vector<std::string> &ErrorBitNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (unsigned bit = 0; bit < 16; ++bit) {
            std::vector<std::uint8_t> octets(2, 0);
            octets[bit / 8] = static_cast<std::uint8_t>(0x80u >> (bit % 8));
            const std::vector<std::string> set = ErrorStateNames(octets);
            if (set.size() == 1 && set.front().rfind("bit ", 0) != 0) all.push_back(set.front());
        }
        return all;
    }();
    return names;
}

std::string NameOr(PrinterMibEnum enumeration, const std::optional<std::int32_t> &value) {
    return value ? EnumName(enumeration, *value) : "";
}

std::string Colour(const MarkerSupply &supply) { return supply.colorant.value_or(""); }

void AddReached(const PrinterStatusView &view, Families &out) {
    std::string model;
    for (const PrinterDevice &device : view.devices) {
        if (model.empty() && device.description) model = *device.description;
        const Labels labels{{"printer", view.printer}, {"device", std::to_string(device.index)}};
        if (device.deviceStatus) out.deviceStatus.Add(labels, *device.deviceStatus);
        if (device.printerStatus) out.printerStatus.Add(labels, *device.printerStatus);
        if (device.errorState) {
            const std::vector<std::string> set = ErrorStateNames(*device.errorState);
            for (const std::string &name : ErrorBitNames()) {
                Labels bit = labels;
                bit.emplace_back("error", name);
                bool on = false;
                for (const std::string &s : set) on = on || s == name;
                out.detectedError.Add(bit, on ? 1 : 0);
            }
        }
    }
    out.info.Add({{"printer", view.printer},
                  {"model", model},
                  {"sys_name", view.name.value_or("")},
                  {"protocol", view.protocol ? ProtocolLabel(*view.protocol) : ""}},
                 1);
    for (const MarkerSupply &supply : view.supplies) {
        const Labels labels{{"printer", view.printer},
                            {"supply", supply.description},
                            {"index", RowText(supply.index)},
                            {"type", NameOr(PrinterMibEnum::SupplyType, supply.type)},
                            {"colour", Colour(supply)},
                            {"class", IsReceptacle(supply) ? "receptacle" : "consumed"}};
        out.supplyInfo.Add(labels, 1);
        const LevelReading level = SupplyLevel(supply);
        if (level.percent) out.supplyLevel.Add(labels, *level.percent / 100.0);
        if (supply.level) out.supplySome.Add(labels, *supply.level == kSomeRemaining ? 1 : 0);
        if (supply.maximum && *supply.maximum > 0) {
            Labels capacity = labels;
            capacity.emplace_back("unit", NameOr(PrinterMibEnum::SupplyUnit, supply.unit));
            out.supplyCapacity.Add(capacity, *supply.maximum);
        }
    }
    for (const MarkerCounter &counter : view.counters) {
        if (!counter.lifeCount) continue;
        out.pages.Add({{"printer", view.printer},
                       {"marker", RowText(counter.index)},
                       {"unit", NameOr(PrinterMibEnum::CounterUnit, counter.unit)}},
                      static_cast<double>(*counter.lifeCount));
    }
    std::map<std::string, int> bySeverity{{"critical", 0}, {"warning", 0}, {"other", 0}};
    for (const PrinterAlert &alert : view.alerts) {
        const std::string severity = NameOr(PrinterMibEnum::AlertSeverity, alert.severity);
        ++bySeverity[severity.empty() ? "other" : severity];
        out.alertInfo.Add({{"printer", view.printer},
                           {"index", RowText(alert.index)},
                           {"severity", severity},
                           {"training", NameOr(PrinterMibEnum::AlertTraining, alert.training)},
                           {"group", NameOr(PrinterMibEnum::AlertGroup, alert.group)},
                           {"code", NameOr(PrinterMibEnum::AlertCode, alert.code)},
                           {"description", alert.description}},
                          1);
    }
    for (const auto &[severity, count] : bySeverity) {
        out.alerts.Add({{"printer", view.printer}, {"severity", severity}}, count);
    }
    for (const InputTray &tray : view.trays) {
        const LevelReading level = TrayLevel(tray);
        if (level.percent) {
            out.trayLevel.Add({{"printer", view.printer}, {"tray", tray.name}, {"index", RowText(tray.index)}, {"media", tray.media}},
                              *level.percent / 100.0);
        }
    }
}

}  // namespace

ExpositionFormat FormatForAccept(const std::string &accept) {
    return accept.find("application/openmetrics-text") != std::string::npos ? ExpositionFormat::OpenMetrics
                                                                           : ExpositionFormat::Prometheus;
}

const char *ContentType(ExpositionFormat format) {
    return format == ExpositionFormat::OpenMetrics ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
                                                   : "text/plain; version=0.0.4; charset=utf-8";
}

std::string MetricsText(const std::vector<FleetReading> &readings, ExpositionFormat format) {
    Families out;
    out.build.Add({{"version", SNMPHELPER_VERSION_TEXT}}, 1);
    for (const FleetReading &reading : readings) {
        const PrinterStatusView &view = reading.view;
        const Labels printer{{"printer", view.printer}};
        out.up.Add(printer, view.result == 0 ? 1 : 0);
        out.result.Add(printer, view.result);
        out.duration.Add(printer, reading.seconds);
        out.readAt.Add(printer, reading.readAt);
        if (view.result == 0) AddReached(view, out);
    }
    std::string text;
    for (const Family *family :
         {&out.build, &out.up, &out.info, &out.result, &out.duration, &out.readAt, &out.deviceStatus,
          &out.printerStatus, &out.detectedError, &out.supplyInfo, &out.supplyLevel, &out.supplySome, &out.supplyCapacity, &out.pages,
          &out.alerts, &out.alertInfo, &out.trayLevel}) {
        text += family->Text(format);
    }
    if (format == ExpositionFormat::OpenMetrics) text += "# EOF\n";
    return text;
}

}  // namespace snmphelper::cli
