/* SPDX-License-Identifier: Apache-2.0 */
#pragma once

#include <string>

namespace snmphelper::cli {

// Names the platform libraries' folder relative to this program as the
// library's platform folder (platform/library_loader.h).
void SetDefaultPlatformPath();

#ifndef _WIN32
// The exporter's program: beside this one (the build tree), else where an
// installed tree keeps it (libexec/snmphelper/snmphelper-exporter).
std::string ExporterProgramPath();
#endif

}  // namespace snmphelper::cli
