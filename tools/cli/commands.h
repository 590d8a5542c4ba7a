// Subcommands of the snmphelper command-line tool, one file each.
#pragma once

#include "tools/cli/command_line.h"

#include <string>

namespace snmphelper::cli {

// Each adds its subcommand to the application; the subcommand's callback
// sets the process exit code through `exitCode`.
void AddDecodeCommand(Command &app, int &exitCode);
void AddFormCommand(Command &app, int &exitCode);
void AddGroupsCommand(Command &app, int &exitCode);
void AddPrinterCommand(Command &app, int &exitCode);
void AddConfigCommand(Command &app, int &exitCode);
void AddRegistryCommand(Command &app, int &exitCode);
void AddGetCommand(Command &app, int &exitCode);
void AddGetNextCommand(Command &app, int &exitCode);
void AddSetCommand(Command &app, int &exitCode);
void AddWalkCommand(Command &app, int &exitCode);
void AddGroupCommand(Command &app, int &exitCode);
void AddKeepAliveCommand(Command &app, int &exitCode);
void AddTrapsCommand(Command &app, int &exitCode);
void AddIpxCommand(Command &app, int &exitCode);
void AddDlcCommand(Command &app, int &exitCode);

// The printer name argument and the --json flag of every subcommand that
// talks to a printer; the printer comes before the subcommand's own arguments.
inline void AddPrinterArguments(Command &command, std::string &printer, bool &json) {
    command.add_option("printer", printer, "Printer name, as registered with 'snmphelper printer add'")->required();
    command.add_flag("--json", json, "Print one JSON object");
}

}  // namespace snmphelper::cli
