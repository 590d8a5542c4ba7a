// SPDX-License-Identifier: Apache-2.0
#include <io.h>

#include "tools/cli/terminal.h"

namespace snmphelper::cli {

bool IsTerminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace snmphelper::cli
