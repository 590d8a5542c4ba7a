/* SPDX-License-Identifier: Apache-2.0 */
// Subcommands of the snmphelper command-line tool, one file each.
#pragma once

#include "tools/cli/command_line.h"

#include <string>

#include "tools/cli/transaction_text.h"
#include "transact/printer_config.h"

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
void AddStatusCommand(Command &app, int &exitCode);
void AddPollCommand(Command &app, int &exitCode);
void AddRecordCommand(Command &app, int &exitCode);
void AddDiscoverCommand(Command &app, int &exitCode);
// Not in the Windows build (no HTTP server library there). The exporter is
// a program of its own, snmphelper-exporter, so that the HTTP server's
// libraries are loaded by it alone: every other command starts without them.
// `snmphelper exporter ...` runs that program with the same arguments.
void AddExporterCommand(Command &app, int &exitCode);
void AddExporterForward(Command &app, char **argv, int &exitCode);

// The printer name argument and the --json flag of every subcommand that
// talks to a printer; the printer comes before the subcommand's own arguments.
inline void AddPrinterArguments(Command &command, std::string &printer, bool &json) {
    command.add_option("printer", printer, "Printer name, as registered with 'snmphelper printer add'")->required();
    command.add_flag("--json", json, "Print one JSON object");
}

// How long the subcommands that talk to a printer wait (CommandSettings).
inline void AddWaitOptions(Command &command) {
    TransactionSettings &settings = CommandSettings();
    command.add_option("-t,--timeout", settings.timeoutSeconds,
                       "Seconds to wait for each reply (0: only look); default: the configuration's timeout, "
                       "or 1 s when it sets none (a set: 10 s)")
        ->check_range(0, 86400);
    command.add_option("-r,--retries", settings.retries,
                       "Re-sends while the printer is silent, and new attempts after a reply that cannot be "
                       "used; default: 3 sends per protocol while silent, and the configuration's retry count "
                       "for unusable replies")
        ->check_range(0, 100);
}

// -c/--community: the community of one command's requests.
inline void AddCommunityOption(Command &command) {
    command.add_option("-c,--community", CommandSettings().community,
                       "Community of this command's requests, as net-snmp's tools take it; default: the "
                       "printer's (its Community, else the configuration's, else the library's own)")
        ->check_length(kCommunityFieldSize - 1, "a community");
}

// The transaction settings (CommandSettings) of the subcommands that run
// their requests through RunAndPrint or Transact.
inline void AddTransactionOptions(Command &command) {
    TransactionSettings &settings = CommandSettings();
    AddWaitOptions(command);
    AddCommunityOption(command);
    command.add_flag("-v,--dump", settings.dump,
                     "Show each datagram sent and received, in hex with its time, on standard error");
    command.add_option("-O", settings.outputLetters,
                       "Output as net-snmp's tools: n (or f) identifiers with a leading dot, s without it, q "
                       "without '= TYPE:' (TimeTicks as d:h:mm:ss.cc), v the values alone, x strings in hex, a "
                       "strings as ASCII, t TimeTicks as a number, e enumerations as numbers; combined as -Oqv or "
                       "-On -Ov")
        ->one_word_each();
}

}  // namespace snmphelper::cli
