// SPDX-License-Identifier: Apache-2.0
// The debugger channel of Windows.
#include <windows.h>

#include "platform/debug_output.h"

namespace snmphelper::platform::detail {

void WriteDebugLine(const char *line) { ::OutputDebugStringA(line); }

}  // namespace snmphelper::platform::detail
