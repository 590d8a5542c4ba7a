// SPDX-License-Identifier: Apache-2.0
// snmphelper status: one printer's status, supplies, trays, output bins and
// alerts (Host Resources and Printer MIB), readable or as JSON.
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <memory>
#include <string>

#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/status_view.h"
#include "tools/cli/terminal.h"

namespace snmphelper::cli {
namespace {

struct StatusOptions {
    std::string printer;
    bool json = false;
    std::string trainingLevel;  // --training-level: keep the alerts for this person
};

// PrtAlertTrainingLevelTC's people, least trained first.
constexpr std::pair<const char *, std::int32_t> kTrainingLevels[] = {
    {"untrained", 3}, {"trained", 4}, {"fieldService", 5}, {"management", 6}};

int RunStatus(const StatusOptions &options) {
    EnsureLibraryLoaded();
    int exitCode = kExitOk;
    if (!RequirePrinter("status", options.printer, options.json, exitCode)) return exitCode;
    PrinterStatusView view = FetchStatus(options.printer);
    for (const auto &[name, level] : kTrainingLevels) {
        if (options.trainingLevel == name) KeepAlertsForTraining(view, level);
    }
    if (options.json) {
        PrintJson(StatusJson(view));
    } else {
        // Level bars for a person at a terminal; colour unless NO_COLOR is set.
        const bool terminal = IsTerminal(stdout);
        const char *noColour = std::getenv("NO_COLOR");
        const TextStyle style{terminal, terminal && (noColour == nullptr || *noColour == '\0')};
        std::fputs(StatusText(view, style).c_str(), view.result == 0 ? stdout : stderr);
    }
    return ExitCodeForResult(view.result);
}

}  // namespace

void AddStatusCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<StatusOptions>();
    Command *command = app.add_subcommand(
        "status", "A printer's status, supplies, trays, output bins and alerts (Host Resources and Printer MIB)");
    AddPrinterArguments(*command, options->printer, options->json);
    AddWaitOptions(*command);
    AddCommunityOption(*command);
    command->add_option("--training-level", options->trainingLevel,
                        "Show only the alerts meant for this person and those below (and those for anyone)")
        ->check_member({"untrained", "trained", "fieldService", "management"});
    command->callback([options, &exitCode] { exitCode = RunStatus(*options); });
}

}  // namespace snmphelper::cli
