/* SPDX-License-Identifier: Apache-2.0 */
// The tool's exit codes: a small table that scripts can rely on, the same
// for every command.
#pragma once

#include <cstdint>

namespace snmphelper::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,        // anything not below: an unreadable reply, out of memory, ...
    kExitUsage = 2,          // the command line is wrong: unknown option, bad identifier or value
    kExitNoReply = 3,        // the printer cannot be reached or did not answer in time
    kExitErrorStatus = 4,    // the printer answered with an error-status (genErr included)
    kExitConfiguration = 5,  // the printer is not registered, or its record cannot be read
};

// The exit code for a library result code.
int ExitCodeForResult(std::int32_t result);

// The table as the help text shows it, one line per code.
const char *ExitCodeHelp();

}  // namespace snmphelper::cli
