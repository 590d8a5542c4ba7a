/* SPDX-License-Identifier: Apache-2.0 */
// The network interfaces of this host and its DLC interface library, as the
// tool names them.
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::cli {

// The interface whose hardware address is the 6-byte `node`: how the DLC
// adapter is named when no variable chose it. Empty when none has it.
std::string InterfaceWithNode(const std::uint8_t *node);

// The DLC interface library's file as this system names it, and where the
// library looks for it.
const char *DlcInterfaceFile();
std::string DlcInterfaceFolder();

}  // namespace snmphelper::cli
