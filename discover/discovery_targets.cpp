// SPDX-License-Identifier: Apache-2.0
#include "discover/discovery_targets.h"

#include <utility>

#include "transact/dotted_quad.h"

namespace snmphelper {
namespace {

constexpr std::uint32_t kAddressBits = 32;
// Below a /31 a subnet has a network and a broadcast address that are no host's.
constexpr std::uint32_t kLongestPrefixWithBroadcast = 30;

bool ParsePrefixLength(std::string_view text, std::uint32_t &length) {
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[0] == '0')) return false;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > kAddressBits) return false;
    length = value;
    return true;
}

bool ParseItem(std::string_view item, bool walkSubnets, DiscoveryTargets &targets) {
    platform::Ipv4Address first{};
    if (const std::size_t slash = item.find('/'); slash != std::string_view::npos) {
        std::uint32_t prefix = 0;
        if (!ParseDottedQuad(item.substr(0, slash), first) || !ParsePrefixLength(item.substr(slash + 1), prefix)) {
            return false;
        }
        const std::uint32_t hostMask = prefix == 0 ? 0xFFFFFFFFU : (1U << (kAddressBits - prefix)) - 1U;
        const std::uint32_t network = AddressNumber(first) & ~hostMask;
        if (!walkSubnets) {
            targets.immediate.push_back(AddressFromNumber(network | hostMask));
        } else if (prefix <= kLongestPrefixWithBroadcast) {
            targets.walked.push_back({network + 1, (network | hostMask) - 1});
        } else {
            targets.walked.push_back({network, network | hostMask});
        }
        return true;
    }
    if (const std::size_t dash = item.find('-'); dash != std::string_view::npos) {
        platform::Ipv4Address last{};
        if (!ParseDottedQuad(item.substr(0, dash), first) || !ParseDottedQuad(item.substr(dash + 1), last)) {
            return false;
        }
        if (AddressNumber(last) < AddressNumber(first)) return false;
        targets.walked.push_back({AddressNumber(first), AddressNumber(last)});
        return true;
    }
    if (!ParseDottedQuad(item, first)) return false;
    targets.immediate.push_back(first);
    return true;
}

}  // namespace

std::uint64_t DiscoveryTargets::WalkedCount() const {
    std::uint64_t count = 0;
    for (const Range &range : walked) count += std::uint64_t{range.last} - range.first + 1;
    return count;
}

std::uint32_t AddressNumber(const platform::Ipv4Address &address) {
    return (std::uint32_t{address[0]} << 24) | (std::uint32_t{address[1]} << 16) | (std::uint32_t{address[2]} << 8) |
           address[3];
}

platform::Ipv4Address AddressFromNumber(std::uint32_t number) {
    return {static_cast<std::uint8_t>(number >> 24), static_cast<std::uint8_t>(number >> 16),
            static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
}

bool ParseDiscoveryTargets(std::string_view text, bool walkSubnets, DiscoveryTargets &targets) {
    DiscoveryTargets parsed;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        if (!ParseItem(item, walkSubnets, parsed)) return false;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return false;  // a trailing comma
    }
    if (parsed.WalkedCount() > kMostWalkedAddresses) return false;
    targets = std::move(parsed);
    return true;
}

}  // namespace snmphelper
