// SPDX-License-Identifier: Apache-2.0
// snmphelper keepalive: sends a printer the trap keep-alive request.
#include <cstdio>
#include <memory>
#include <string>

#include "snmphelper.h"
#include "tools/cli/commands.h"
#include "tools/cli/json_output.h"
#include "tools/cli/library_load.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

struct KeepAliveOptions {
    std::string printer;
    bool json = false;
};

int RunKeepAlive(const KeepAliveOptions &options) {
    EnsureLibraryLoaded();
    int exitCode = 0;
    if (!RequirePrinter("keepalive", options.printer, options.json, exitCode)) return exitCode;
    const std::int32_t result = HelperTrapKeepAlive(options.printer.c_str());
    if (result != 0) return ReportResult("keepalive", options.printer, result, options.json);
    if (options.json) {
        PrintJson(Json{{"command", "keepalive"}, {"printer", JsonText(options.printer)}, {"result", 0}});
    } else {
        std::printf("keepalive: sent to printer '%s' (the reply is not awaited)\n", options.printer.c_str());
    }
    return 0;
}

}  // namespace

void AddKeepAliveCommand(Command &app, int &exitCode) {
    auto options = std::make_shared<KeepAliveOptions>();
    Command *command =
        app.add_subcommand("keepalive", "Send a printer the trap keep-alive request, without waiting for a reply");
    AddPrinterArguments(*command, options->printer, options->json);
    command->callback([options, &exitCode] { exitCode = RunKeepAlive(*options); });
}

}  // namespace snmphelper::cli
