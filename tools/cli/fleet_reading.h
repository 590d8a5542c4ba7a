/* SPDX-License-Identifier: Apache-2.0 */
// Reading many printers at once: what poll prints and what the exporter
// serves come from the same pass over the fleet.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/cli/status_view.h"

namespace snmphelper::cli {

struct PollRun {
    std::vector<PrinterStatusView> views;  // in the order the printers were named
    // How long each printer's reading took, in seconds, in the same order.
    std::vector<double> seconds;
    // By thread: the most unreached printers it waited out one after another.
    std::vector<std::size_t> unreachedByThread;
};

// Reads every printer named: `threadCount` threads, each driving an engine
// of its own, `window` printers in flight at once (0: all of them); the
// library must be loaded. `progress`: a "polled N of M" line on standard
// error meanwhile.
PollRun PollAll(const std::vector<std::string> &printers, unsigned threadCount, std::size_t window, bool progress);

}  // namespace snmphelper::cli
