// SPDX-License-Identifier: Apache-2.0
// `snmphelper exporter`: the exporter is its own program (commands.h says
// why); this command runs it in this process's place with the same
// arguments, so a service manager sees one process from start to stop.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/cli/commands.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/platform_path.h"

namespace snmphelper::cli {

void AddExporterForward(Command &app, char **argv, int &exitCode) {
    Command *command = app.add_subcommand(
        "exporter", "Serve the fleet's status to Prometheus (/metrics, /probe) and as a dashboard page (/)");
    command->pass_through();
    command->callback([argv, &exitCode] {
        const std::string program = ExporterProgramPath();
        std::fflush(stdout);
        ::execv(program.c_str(), argv);
        std::fprintf(stderr, "exporter: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        exitCode = kExitFailure;
    });
}

}  // namespace snmphelper::cli
