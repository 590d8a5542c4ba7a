// snmphelper: command-line front end of the library.
#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"

int main(int argc, char **argv) {
    CLI::App app{"snmphelper: SNMPv1 printer management from the command line"};
    app.require_subcommand(1);
    int exitCode = 0;
    snmphelper::cli::AddDecodeCommand(app, exitCode);
    CLI11_PARSE(app, argc, argv);
    return exitCode;
}
