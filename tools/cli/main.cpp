// SPDX-License-Identifier: Apache-2.0
// snmphelper: command-line front end of the library.
#include <cstdio>
#include <exception>

#include "snmphelper_version.h"
#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/platform_path.h"

namespace {

int Run(int argc, char **argv) {
    snmphelper::cli::SetDefaultPlatformPath();
    snmphelper::cli::CommandLine line{"snmphelper: SNMPv1 printer management from the command line"};
    line.version("snmphelper " SNMPHELPER_VERSION_TEXT);
    snmphelper::cli::Command &app = line.root();
    app.footer(snmphelper::cli::ExitCodeHelp());
    app.require_subcommand(1);
    int exitCode = 0;
    snmphelper::cli::AddDecodeCommand(app, exitCode);
    snmphelper::cli::AddFormCommand(app, exitCode);
    snmphelper::cli::AddGroupsCommand(app, exitCode);
    snmphelper::cli::AddPrinterCommand(app, exitCode);
    snmphelper::cli::AddConfigCommand(app, exitCode);
    snmphelper::cli::AddRegistryCommand(app, exitCode);
    snmphelper::cli::AddGetCommand(app, exitCode);
    snmphelper::cli::AddGetNextCommand(app, exitCode);
    snmphelper::cli::AddSetCommand(app, exitCode);
    snmphelper::cli::AddWalkCommand(app, exitCode);
    snmphelper::cli::AddGroupCommand(app, exitCode);
    snmphelper::cli::AddKeepAliveCommand(app, exitCode);
    snmphelper::cli::AddTrapsCommand(app, exitCode);
    snmphelper::cli::AddIpxCommand(app, exitCode);
    snmphelper::cli::AddDlcCommand(app, exitCode);
    snmphelper::cli::AddStatusCommand(app, exitCode);
    snmphelper::cli::AddPollCommand(app, exitCode);
    snmphelper::cli::AddRecordCommand(app, exitCode);
    snmphelper::cli::AddDiscoverCommand(app, exitCode);
#if defined(SNMPHELPER_WITH_EXPORTER)
    snmphelper::cli::AddExporterCommand(app, exitCode);
#elif !defined(_WIN32)
    snmphelper::cli::AddExporterForward(app, argv, exitCode);
#endif
    // The parser prints its message (or the help); its own exit codes (105,
    // 106, 109, ...) are not the tool's: a wrong command line is usage.
    if (const auto parserExit = line.Parse(argc, argv)) {
        return *parserExit == 0 ? snmphelper::cli::kExitOk : snmphelper::cli::kExitUsage;
    }
    return exitCode;
}

}  // namespace

int main(int argc, char **argv) {
    // The last resort: whatever a printer or the system hands the tool, it
    // ends with a message and the "other failure" code, never with abort().
    try {
        return Run(argc, argv);
    } catch (const std::exception &error) {
        std::fflush(stdout);
        std::fprintf(stderr, "snmphelper: internal error: %s\n", error.what());
    } catch (...) {
        std::fflush(stdout);
        std::fprintf(stderr, "snmphelper: internal error\n");
    }
    return snmphelper::cli::kExitFailure;
}
