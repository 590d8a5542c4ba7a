/* SPDX-License-Identifier: Apache-2.0 */
// The library's `Snmp` settings key as the tool sees it: the names the
// library reads its values under, where each value comes from, and the
// reply timeout the tool waits when the key sets none.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace snmphelper::cli {

// A string of the library's string table (a key or value name), as the
// library itself takes it.
std::string StringEntry(std::uint32_t entry);

// The path of the `Snmp` settings key.
std::string SnmpKeyPath();

// Why the value `valueName` of the settings key (opened with `openCode`)
// is not what the library uses, or "" when it is.
std::string WhyDefault(platform::RegistryKey key, std::int32_t openCode, const std::string &valueName);

// Whether the settings key gives the reply timeout in a form the library
// takes.
bool StoreGivesTimeout();

// The tool's wait for a printer with no timeout in the store or on the
// command line: one second per send, as net-snmp's tools wait, so that a
// silent printer is given up within seconds rather than after the library's
// default of half a minute. A set keeps the library's own wait.
inline constexpr std::int32_t kToolTimeoutSeconds = 1;

// What the library does with the configured timing while a printer is
// silent: it sends the request, waits, sends it again, waits, and sends it a
// third time before it gives up on (or switches away from) that protocol; so
// three sends and two waits per protocol. The retry count is not consulted
// for that.
inline constexpr int kSilentSendsPerProtocol = 3;

// The sentences "config show" explains the timeout and the retry count with.
std::string TimeoutMeaning(std::int32_t timeoutSeconds, bool fromStore);
std::string RetriesMeaning(std::int32_t retries);

}  // namespace snmphelper::cli
