#include "platform/interface_addresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace snmphelper::platform {

std::vector<Ipv4Address> InterfaceBroadcastAddresses() {
    std::vector<Ipv4Address> addresses;
    ifaddrs *interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return addresses;
    for (const ifaddrs *entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) continue;
        if (entry->ifa_broadaddr == nullptr || entry->ifa_broadaddr->sa_family != AF_INET) continue;
        sockaddr_in broadcast{};
        std::memcpy(&broadcast, entry->ifa_broadaddr, sizeof broadcast);
        Ipv4Address address{};
        std::memcpy(address.data(), &broadcast.sin_addr, address.size());
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
    }
    ::freeifaddrs(interfaces);
    return addresses;
}

}  // namespace snmphelper::platform
