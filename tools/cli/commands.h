// Subcommands of the snmphelper command-line tool, one file each.
#pragma once

#include <CLI/CLI.hpp>

namespace snmphelper::cli {

// Each adds its subcommand to the application; the subcommand's callback
// sets the process exit code through `exitCode`.
void AddDecodeCommand(CLI::App &app, int &exitCode);

}  // namespace snmphelper::cli
