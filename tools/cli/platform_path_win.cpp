// SPDX-License-Identifier: Apache-2.0
// On Windows the platform libraries are the system's, found by the loader.
#include "tools/cli/platform_path.h"

namespace snmphelper::cli {

void SetDefaultPlatformPath() {}

}  // namespace snmphelper::cli
