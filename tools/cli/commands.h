// Subcommands of the snmphelper command-line tool, one file each.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace snmphelper::cli {

// Each adds its subcommand to the application; the subcommand's callback
// sets the process exit code through `exitCode`.
void AddDecodeCommand(CLI::App &app, int &exitCode);
void AddFormCommand(CLI::App &app, int &exitCode);
void AddGroupsCommand(CLI::App &app, int &exitCode);
void AddPrinterCommand(CLI::App &app, int &exitCode);
void AddConfigCommand(CLI::App &app, int &exitCode);
void AddRegistryCommand(CLI::App &app, int &exitCode);
void AddGetCommand(CLI::App &app, int &exitCode);
void AddGetNextCommand(CLI::App &app, int &exitCode);
void AddSetCommand(CLI::App &app, int &exitCode);
void AddWalkCommand(CLI::App &app, int &exitCode);
void AddGroupCommand(CLI::App &app, int &exitCode);
void AddKeepAliveCommand(CLI::App &app, int &exitCode);
void AddTrapsCommand(CLI::App &app, int &exitCode);
void AddIpxCommand(CLI::App &app, int &exitCode);
void AddDlcCommand(CLI::App &app, int &exitCode);
void AddStatusCommand(CLI::App &app, int &exitCode);
void AddPollCommand(CLI::App &app, int &exitCode);

// The printer name argument and the --json flag of every subcommand that
// talks to a printer; the printer comes before the subcommand's own arguments.
inline void AddPrinterArguments(CLI::App &command, std::string &printer, bool &json) {
    command.add_option("printer", printer, "Printer name, as registered with 'snmphelper printer add'")->required();
    command.add_flag("--json", json, "Print one JSON object");
}

}  // namespace snmphelper::cli
