// SPDX-License-Identifier: Apache-2.0
// On Windows the DLC adapter is the system's own, named by its adapter
// number rather than by an interface, and its interface library is the
// system's.
#include "tools/cli/interface_names.h"

namespace snmphelper::cli {

std::string InterfaceWithNode(const std::uint8_t *) { return {}; }

const char *DlcInterfaceFile() { return "DLCAPI.DLL"; }

std::string DlcInterfaceFolder() { return "the system's library search path (no DLC protocol installed)"; }

}  // namespace snmphelper::cli
