// SPDX-License-Identifier: Apache-2.0
// HelperSNMPDiscover: the caller's record checked and read, the discovery
// run, and its records handed over in one global-heap block.
#include <cstring>
#include <new>

#include "discover/discovery.h"
#include "platform/heap.h"
#include "platform/module_handle.h"
#include "transact/packet_forming.h"
#include "transact/printer_config.h"

namespace snmphelper {
namespace {

constexpr std::uint32_t kKnownProtocols = SNMP_PROTOCOL_IP | SNMP_PROTOCOL_IPX | SNMP_PROTOCOL_DLC;
constexpr std::uint32_t kKnownFlags = SNMP_DISCOVER_WALK | SNMP_DISCOVER_TARGETS_ONLY;

// The caller's record as settings; false for one HelperSNMPDiscover refuses.
bool ReadSettings(const SnmpDiscovery &discovery, DiscoverySettings &settings) {
    if (discovery.recordSize != sizeof(SnmpDiscovery) || (discovery.cProtocols & ~kKnownProtocols) != 0 ||
        (discovery.flags & ~kKnownFlags) != 0) {
        return false;
    }
    if (discovery.community != nullptr && std::strlen(discovery.community) >= kCommunityFieldSize) return false;
    if (discovery.cProtocols != 0) settings.protocols = discovery.cProtocols;
    if (discovery.timeoutMilliseconds != 0) settings.timeoutMilliseconds = discovery.timeoutMilliseconds;
    if (discovery.walkRate != 0) settings.walkRate = discovery.walkRate;
    settings.interfaceBroadcasts = (discovery.flags & SNMP_DISCOVER_TARGETS_ONLY) == 0;
    return discovery.targets == nullptr ||
           ParseDiscoveryTargets(discovery.targets, (discovery.flags & SNMP_DISCOVER_WALK) != 0, settings.targets);
}

// The community the requests carry: the caller's, else the Snmp key's, else
// string-table entry 17. False when the configured one is not usable text.
bool ChooseCommunity(const SnmpDiscovery &discovery, std::string &community) {
    if (discovery.community != nullptr) {
        community = discovery.community;
        return true;
    }
    char configured[kCommunityFieldSize];
    bool found = false;
    // No printer is named: only the Snmp key's community can apply.
    if (!ConfiguredCommunity("", configured, found)) return false;
    char loaded[kCommunityTextRoom];
    community = found ? configured : LoadCommunityText(LibraryModuleHandle(), kCommunityEntry, kDefaultCommunity, loaded);
    return true;
}

}  // namespace
}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPDiscover(SnmpDiscovery *discovery) {
    DiscoverySettings settings;
    if (discovery == nullptr || !ReadSettings(*discovery, settings)) return SNMP_RESULT_INVALID_ARGUMENT;
    discovery->protocolsSent = 0;
    discovery->repliesReceived = 0;
    discovery->printerCount = 0;
    discovery->printers = nullptr;
    if (!ChooseCommunity(*discovery, settings.community)) return SNMP_RESULT_COMMUNITY_FAILED;

    DiscoveryOutcome outcome;
    const std::int32_t result = RunDiscovery(settings, outcome);
    discovery->protocolsSent = outcome.protocolsSent;
    discovery->repliesReceived = outcome.repliesReceived;
    if (outcome.printers.empty()) return result;
    const std::size_t bytes = outcome.printers.size() * sizeof(SnmpDiscoveredPrinter);
    auto *records = static_cast<SnmpDiscoveredPrinter *>(platform::HeapAllocZero(bytes));
    if (records == nullptr) return SNMP_RESULT_OUT_OF_MEMORY;
    std::memcpy(records, outcome.printers.data(), bytes);
    discovery->printers = records;
    discovery->printerCount = static_cast<std::uint32_t>(outcome.printers.size());
    return result;
}
