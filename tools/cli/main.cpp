// snmphelper: command-line front end of the library.
#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/platform_path.h"

int main(int argc, char **argv) {
    snmphelper::cli::SetDefaultPlatformPath();
    CLI::App app{"snmphelper: SNMPv1 printer management from the command line"};
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
    CLI11_PARSE(app, argc, argv);
    return exitCode;
}
