// SPDX-License-Identifier: Apache-2.0
// The host node made from the machine's identity, the same on every system.
#include "platform/host_node.h"

#include <charconv>
#include <limits>
#include <sstream>
#include <string>

namespace snmphelper::platform::detail {
namespace {

// SipHash-2-4 (Aumasson and Bernstein): a keyed hash, so the node reveals
// nothing of the machine-id and differs from any other program's use of it.
std::uint64_t Rotate(std::uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

std::uint64_t SipHash24(const std::uint8_t key[16], std::string_view data) {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
    for (int i = 7; i >= 0; --i) {
        k0 = (k0 << 8) | key[i];
        k1 = (k1 << 8) | key[8 + i];
    }
    std::uint64_t v0 = k0 ^ 0x736f6d6570736575ULL;
    std::uint64_t v1 = k1 ^ 0x646f72616e646f6dULL;
    std::uint64_t v2 = k0 ^ 0x6c7967656e657261ULL;
    std::uint64_t v3 = k1 ^ 0x7465646279746573ULL;
    auto round = [&] {
        v0 += v1; v1 = Rotate(v1, 13); v1 ^= v0; v0 = Rotate(v0, 32);
        v2 += v3; v3 = Rotate(v3, 16); v3 ^= v2;
        v0 += v3; v3 = Rotate(v3, 21); v3 ^= v0;
        v2 += v1; v1 = Rotate(v1, 17); v1 ^= v2; v2 = Rotate(v2, 32);
    };
    const std::size_t whole = data.size() / 8 * 8;
    auto word = [&](std::size_t at, std::size_t count) {
        std::uint64_t m = 0;
        for (std::size_t i = 0; i < count; ++i)
            m |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(data[at + i])) << (8 * i);
        return m;
    };
    for (std::size_t at = 0; at < whole; at += 8) {
        const std::uint64_t m = word(at, 8);
        v3 ^= m;
        round();
        round();
        v0 ^= m;
    }
    const std::uint64_t last = word(whole, data.size() - whole) | (static_cast<std::uint64_t>(data.size()) << 56);
    v3 ^= last;
    round();
    round();
    v0 ^= last;
    v2 ^= 0xff;
    for (int i = 0; i < 4; ++i) round();
    return v0 ^ v1 ^ v2 ^ v3;
}

// This library's own key: the hash is of use to nothing else.
constexpr std::uint8_t kNodeHashKey[16] = {0x73, 0x6e, 0x6d, 0x70, 0x68, 0x65, 0x6c, 0x70,
                                           0x9e, 0x2b, 0x41, 0xd7, 0x0c, 0x58, 0xa3, 0x16};

std::string_view Trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

constexpr unsigned kRouteUp = 0x0001;  // RTF_UP

}  // namespace

std::optional<std::string> DefaultRouteInterface(std::string_view routeTable) {
    std::optional<std::string> best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    std::istringstream lines{std::string(routeTable)};
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, references, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flags >> references >> use >> metric >> mask)) continue;
        unsigned flagBits = 0;
        unsigned long metricValue = 0;
        if (std::from_chars(flags.data(), flags.data() + flags.size(), flagBits, 16).ec != std::errc{} ||
            std::from_chars(metric.data(), metric.data() + metric.size(), metricValue).ec != std::errc{})
            continue;
        if (destination != "00000000" || mask != "00000000" || (flagBits & kRouteUp) == 0) continue;
        if (!best || metricValue < bestMetric) {
            best = name;
            bestMetric = metricValue;
        }
    }
    return best;
}

std::optional<HostNode> NodeFromMachineIdentity(std::string_view machineId) {
    const std::string_view identity = Trimmed(machineId);
    if (identity.empty()) return std::nullopt;
    const std::uint64_t hash = SipHash24(kNodeHashKey, identity);
    HostNode node{};
    for (std::size_t i = 0; i < node.size(); ++i) node[i] = static_cast<std::uint8_t>(hash >> (8 * i));
    // IEEE 802: bit 1 of the first octet marks a locally administered
    // address, bit 0 a group (multicast) address.
    node[0] = static_cast<std::uint8_t>((node[0] | 0x02) & ~0x01);
    return node;
}

}  // namespace snmphelper::platform::detail
