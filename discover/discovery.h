/* SPDX-License-Identifier: Apache-2.0 */
// Discovery: one GetRequest for the identifying objects broadcast over each
// transport asked for, every reply collected until the timeout, and one
// record per printer. HelperSNMPDiscover is its exported edge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "discover/discovery_targets.h"
#include "snmphelper.h"

namespace snmphelper {

// The receive room asked of the system for each transport: 200 replies of
// a full Ethernet frame each, with the system's bookkeeping, arrive at once
// without loss.
inline constexpr std::int32_t kDiscoveryReceiveRoom = 4 * 1024 * 1024;
inline constexpr std::uint32_t kDefaultDiscoveryMilliseconds = 3000;
inline constexpr std::uint32_t kDefaultWalkRate = 200;

struct DiscoverySettings {
    std::uint32_t protocols = SNMP_PROTOCOL_IP | SNMP_PROTOCOL_IPX | SNMP_PROTOCOL_DLC;
    std::uint32_t timeoutMilliseconds = kDefaultDiscoveryMilliseconds;
    std::uint32_t walkRate = kDefaultWalkRate;
    bool interfaceBroadcasts = true;  // besides the targets
    DiscoveryTargets targets;
    std::string community;
};

struct DiscoveryOutcome {
    std::uint32_t protocolsSent = 0;
    std::uint32_t repliesReceived = 0;
    std::vector<SnmpDiscoveredPrinter> printers;
};

// Runs one discovery. Returns 0 when at least one transport sent its
// request, else SNMP_RESULT_SEND_FAILED.
std::int32_t RunDiscovery(const DiscoverySettings &settings, DiscoveryOutcome &outcome);

}  // namespace snmphelper
