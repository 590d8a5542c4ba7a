/* SPDX-License-Identifier: Apache-2.0 */
// The IPv4 targets a caller gives a discovery besides the interfaces'
// broadcast addresses: single addresses, subnets (their directed broadcast,
// or every host address when walked) and ranges walked address by address.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/interface_addresses.h"

namespace snmphelper {

// The most addresses one discovery walks: a /16.
inline constexpr std::uint64_t kMostWalkedAddresses = 65536;

// Addresses sent to at once (broadcast or unicast), and ranges sent to one
// address at a time, first to last, both included (host order).
struct DiscoveryTargets {
    std::vector<platform::Ipv4Address> immediate;
    struct Range {
        std::uint32_t first;
        std::uint32_t last;
    };
    std::vector<Range> walked;

    std::uint64_t WalkedCount() const;
};

// Parses "A.B.C.D", "A.B.C.D/N" (N 0-32) and "A.B.C.D-E.F.G.H" items joined
// by commas into `targets`; a subnet is its directed broadcast, or with
// `walkSubnets` its host addresses (all but the network and broadcast
// addresses, for N up to 30). False, with `targets` unchanged, for anything
// else, a range whose last address is below its first, or more than
// kMostWalkedAddresses to walk.
bool ParseDiscoveryTargets(std::string_view text, bool walkSubnets, DiscoveryTargets &targets);

// Network order to a number and back.
std::uint32_t AddressNumber(const platform::Ipv4Address &address);
platform::Ipv4Address AddressFromNumber(std::uint32_t number);

}  // namespace snmphelper
