// SPDX-License-Identifier: Apache-2.0
#include "platform/interface_addresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace snmphelper::platform {

namespace {

std::uint32_t Ipv4Of(const sockaddr *address) {
    if (address == nullptr || address->sa_family != AF_INET) return 0;
    sockaddr_in internet{};
    std::memcpy(&internet, address, sizeof internet);
    return internet.sin_addr.s_addr;
}

// The interface's broadcast address, network order; an address added
// without one ("ip addr add A/N" leaves it 0.0.0.0) has its subnet's.
std::uint32_t BroadcastOf(const ifaddrs &entry) {
    const std::uint32_t given = Ipv4Of(entry.ifa_broadaddr);
    if (given != 0) return given;
    const std::uint32_t mask = Ipv4Of(entry.ifa_netmask);
    if (mask == 0) return 0;
    return Ipv4Of(entry.ifa_addr) | ~mask;
}

}  // namespace

std::vector<Ipv4Address> InterfaceBroadcastAddresses() {
    std::vector<Ipv4Address> addresses;
    ifaddrs *interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return addresses;
    for (const ifaddrs *entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) continue;
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        const std::uint32_t broadcast = BroadcastOf(*entry);
        if (broadcast == 0) continue;
        Ipv4Address address{};
        std::memcpy(address.data(), &broadcast, address.size());
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
    }
    ::freeifaddrs(interfaces);
    return addresses;
}

}  // namespace snmphelper::platform
