// SPDX-License-Identifier: Apache-2.0
// snmphelper status: one printer's status, supplies, trays, output bins and
// alerts (Host Resources and Printer MIB), readable or as JSON.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/status_view.h"

namespace snmphelper::cli {
namespace {

struct StatusOptions {
    std::string printer;
    bool json = false;
};

int RunStatus(const StatusOptions &options) {
    EnsureLibraryLoaded();
    int exitCode = kExitOk;
    if (!RequirePrinter("status", options.printer, options.json, exitCode)) return exitCode;
    const PrinterStatusView view = FetchStatus(options.printer);
    if (options.json) {
        PrintJson(StatusJson(view));
    } else {
        std::fputs(StatusText(view).c_str(), view.result == 0 ? stdout : stderr);
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
    command->callback([options, &exitCode] { exitCode = RunStatus(*options); });
}

}  // namespace snmphelper::cli
