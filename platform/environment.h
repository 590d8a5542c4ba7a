/* SPDX-License-Identifier: Apache-2.0 */
// The process's settings from its environment (SNMPHELPER_REGISTRY,
// SNMPHELPER_PLATFORM_PATH, the IPX and DLC settings, SNMPHELPER_DEBUG). A
// program that runs with privileges its user does not have (set-user-id,
// set-group-id, file capabilities such as cap_net_raw) ignores them and
// keeps the installed defaults: otherwise whoever starts it would choose
// the code it loads and the configuration it writes.
#pragma once

namespace snmphelper::platform {

// The value of environment variable `name`, or null when it is unset or the
// process is privileged as above. The text belongs to the environment.
const char *ReadSetting(const char *name);

}  // namespace snmphelper::platform
