// SPDX-License-Identifier: Apache-2.0
// On Windows IPX needs no capability of the process: nothing to hint.
#include "tools/cli/ipx_hint.h"

namespace snmphelper::cli {

void HintIpxCapability(const std::string &) {}

}  // namespace snmphelper::cli
