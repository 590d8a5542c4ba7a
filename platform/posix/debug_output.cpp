// SPDX-License-Identifier: Apache-2.0
// On POSIX there is no debugger channel: a line reaches standard error only
// when SNMPHELPER_DEBUG asks for it (platform/debug_output.cpp).
#include "platform/debug_output.h"

namespace snmphelper::platform::detail {

void WriteDebugLine(const char *) {}

}  // namespace snmphelper::platform::detail
