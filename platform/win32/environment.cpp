// SPDX-License-Identifier: Apache-2.0
// Windows starts no program with more rights than its user's through the
// file it runs from: the environment is always the user's own choice.
#include "platform/environment.h"

#include <cstdlib>

namespace snmphelper::platform {

const char *ReadSetting(const char *name) { return name != nullptr ? std::getenv(name) : nullptr; }

}  // namespace snmphelper::platform
