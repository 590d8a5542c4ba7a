// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/registry_messages.h"

namespace snmphelper::cli {

std::string ForeignStoreHint(const std::string &) { return ""; }

}  // namespace snmphelper::cli
