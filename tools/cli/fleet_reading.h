/* SPDX-License-Identifier: Apache-2.0 */
// Reading many printers at once: what poll prints and what the exporter
// serves come from the same pass over the fleet.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tools/cli/status_view.h"

namespace snmphelper::cli {

struct PollRun {
    // In the order the printers were named; empty when each was handed to
    // a ViewDone instead.
    std::vector<PrinterStatusView> views;
    // How long each printer's reading took, in seconds, in the same order.
    std::vector<double> seconds;
    // By thread: the most unreached printers it waited out one after another.
    std::vector<std::size_t> unreachedByThread;
};

// Takes a printer's view (its place in the list, and the view to keep what
// it needs of) as soon as it is read, on the thread that read it: several
// threads call it at once, each for printers of its own.
using ViewDone = std::function<void(std::size_t index, PrinterStatusView &view)>;

// Reads every printer named: `threadCount` threads, each driving an engine
// of its own, `window` printers in flight at once (0: all of them); the
// library must be loaded. `progress`: a "polled N of M" line on standard
// error meanwhile. With `done`, each view goes to it rather than into the
// run, so that a fleet's views need not all be held at once.
PollRun PollAll(const std::vector<std::string> &printers, unsigned threadCount, std::size_t window, bool progress,
                const ViewDone &done = {});

}  // namespace snmphelper::cli
