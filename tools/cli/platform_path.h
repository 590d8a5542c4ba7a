/* SPDX-License-Identifier: Apache-2.0 */
#pragma once

namespace snmphelper::cli {

// Names the platform libraries' folder relative to this program as the
// library's platform folder (platform/library_loader.h).
void SetDefaultPlatformPath();

}  // namespace snmphelper::cli
