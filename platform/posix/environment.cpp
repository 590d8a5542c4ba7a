// SPDX-License-Identifier: Apache-2.0
// secure_getenv answers null whenever the kernel marked the process for
// secure execution (AT_SECURE: set-user-id, set-group-id, gained
// capabilities), the same test the dynamic loader applies to LD_*.
#include "platform/environment.h"

#include <cstdlib>

namespace snmphelper::platform {

const char *ReadSetting(const char *name) { return name != nullptr ? ::secure_getenv(name) : nullptr; }

}  // namespace snmphelper::platform
