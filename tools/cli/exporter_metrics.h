/* SPDX-License-Identifier: Apache-2.0 */
// The fleet's last readings in the Prometheus text exposition format (0.0.4)
// or in OpenMetrics 1.0, one family of series per kind of reading, every
// series labelled with the printer's registered name.
#pragma once

#include <string>
#include <vector>

#include "tools/cli/status_view.h"

namespace snmphelper::cli {

// One printer's last reading, and when and how quickly it was read.
struct FleetReading {
    PrinterStatusView view;
    double readAt = 0;   // seconds since the Unix epoch
    double seconds = 0;  // how long the reading took
};

enum class ExpositionFormat { Prometheus, OpenMetrics };

// The format an Accept header asks for: OpenMetrics only when named.
ExpositionFormat FormatForAccept(const std::string &accept);
// The Content-Type of a format.
const char *ContentType(ExpositionFormat format);

// Every family, readings in the order given. Printers not reached have
// printer_up 0 and their timing series only; a level the printer does not
// know has no ratio series (a -3 level has printer_supply_some_remaining).
std::string MetricsText(const std::vector<FleetReading> &readings, ExpositionFormat format);

}  // namespace snmphelper::cli
