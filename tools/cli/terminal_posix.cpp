// SPDX-License-Identifier: Apache-2.0
#include <unistd.h>

#include "tools/cli/terminal.h"

namespace snmphelper::cli {

bool IsTerminal(std::FILE *stream) { return isatty(fileno(stream)) == 1; }

}  // namespace snmphelper::cli
