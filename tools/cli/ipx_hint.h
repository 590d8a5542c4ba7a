/* SPDX-License-Identifier: Apache-2.0 */
// The plain word the tool gives when IPX cannot work in this process.
#pragma once

#include <string>

namespace snmphelper::cli {

inline constexpr char kIpxCapabilityHint[] =
    "IPX needs packet sockets, which need the CAP_NET_RAW capability: run as root, or grant it "
    "(setcap cap_net_raw+ep).";

// Writes the hint to standard error when `printer` may be reached over IPX
// and this process may not open packet sockets (on Linux; Windows needs
// no such capability).
void HintIpxCapability(const std::string &printer);

}  // namespace snmphelper::cli
