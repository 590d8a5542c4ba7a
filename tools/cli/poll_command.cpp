// SPDX-License-Identifier: Apache-2.0
// snmphelper poll: the status of many printers at once, one line each: every
// printer's walk in flight at once (within a window) on the library's
// multiplexed engine, a few threads each driving an engine of its own; a
// progress line while it runs on a terminal; exit code 0 only when every
// printer was reached.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/fleet_reading.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/printer_records.h"
#include "tools/cli/status_view.h"
#include "tools/cli/terminal.h"

namespace snmphelper::cli {
namespace {

struct PollOptions {
    std::vector<std::string> printers;
    unsigned threads = 8;
    unsigned window = 0;  // 0: every printer at once
    bool json = false;
};

// 0 when every printer answered; when none did, and all for the same
// reason, that reason's code (3 all silent, 5 all unknown); otherwise 1.
int PollExitCode(const std::vector<std::int32_t> &results) {
    std::optional<int> shared;
    bool anyReached = false;
    bool alike = true;
    for (const std::int32_t result : results) {
        if (result == 0) {
            anyReached = true;
            continue;
        }
        const int code = ExitCodeForResult(result);
        if (shared && *shared != code) alike = false;
        shared = code;
    }
    if (!shared) return kExitOk;
    return !anyReached && alike ? *shared : kExitFailure;
}

int RunPoll(const PollOptions &options) {
    std::vector<std::string> printers = options.printers;
    if (printers.empty()) {
        std::string problem;
        const auto registered = RegisteredPrinters(problem);
        if (!registered) {
            std::fprintf(stderr, "poll: %s\n", problem.c_str());
            return kExitFailure;
        }
        printers = *registered;
    }
    if (printers.empty()) {
        std::fprintf(stderr, "poll: no printers registered (snmphelper printer add)\n");
        return 0;
    }
    EnsureLibraryLoaded();
    CommandSettings().progress = false;  // the poll's own line says how far it is
    std::size_t width = 0;
    for (const std::string &name : printers) width = std::max(width, name.size());
    // Each printer's line (or JSON summary) and result, made as soon as it
    // is read: a fleet's views are not all held until the end.
    std::vector<std::string> lines(options.json ? 0 : printers.size());
    std::vector<Json> summaries(options.json ? printers.size() : 0);
    std::vector<std::int32_t> results(printers.size());
    const PollRun run = PollAll(printers, options.threads, options.window, IsTerminal(stderr),
                                [&](std::size_t index, PrinterStatusView &view) {
                                    results[index] = view.result;
                                    if (options.json) {
                                        summaries[index] = SummaryJson(view);
                                    } else {
                                        lines[index] = SummaryLine(view, width);
                                    }
                                });
    std::size_t unreached = 0;
    for (const std::int32_t result : results) unreached += result != 0 ? 1 : 0;
    const std::size_t busiest = *std::max_element(run.unreachedByThread.begin(), run.unreachedByThread.end());
    if (options.json) {
        Json out{{"command", "poll"}, {"printers", Json::array()}};
        for (Json &summary : summaries) out["printers"].push_back(std::move(summary));
        out["summary"] = {{"printers", printers.size()},
                          {"reached", printers.size() - unreached},
                          {"notReached", unreached},
                          {"threads", run.unreachedByThread.size()},
                          {"mostUnreachedInOneThread", busiest}};
        PrintJson(out);
    } else {
        for (const std::string &line : lines) std::printf("%s\n", line.c_str());
        std::printf("%zu printers: %zu reached, %zu not reached; %zu threads, at most %zu unreached in one thread\n",
                    printers.size(), printers.size() - unreached, unreached, run.unreachedByThread.size(), busiest);
    }
    return PollExitCode(results);
}

}  // namespace

void AddPollCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<PollOptions>();
    Command *command = app.add_subcommand(
        "poll", "Status of every registered printer (or those named), one line each, polled in parallel");
    command->add_option("printers", options->printers, "Printer names (default: every registered printer)");
    command->add_option("--threads", options->threads, "Threads that poll, each driving its own engine")
        ->capture_default_str()
        ->check_range(1, 256);
    command->add_option("--window", options->window,
                        "Printers polled at once (default: every printer's first request at once, then the walks of "
                        "those that answer 256 at a time)")
        ->check_range(1u, 1u << 24);
    command->add_flag("--json", options->json, "Print one JSON object");
    AddWaitOptions(*command);
    AddCommunityOption(*command);
    command->callback([options, &exitCode] { exitCode = RunPoll(*options); });
}

}  // namespace snmphelper::cli
