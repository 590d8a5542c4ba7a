#pragma once

namespace snmphelper::cli {

// Sets SNMPHELPER_PLATFORM_PATH, when it is not set, to the platform
// libraries' folder relative to this program.
void SetDefaultPlatformPath();

}  // namespace snmphelper::cli
