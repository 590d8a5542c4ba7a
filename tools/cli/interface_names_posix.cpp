// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/interface_names.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>

#include <cstdlib>
#include <cstring>

#include "platform/dlc_interface.h"
#include "platform/environment.h"

namespace snmphelper::cli {

std::string InterfaceWithNode(const std::uint8_t *node) {
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return "";
    std::string name;
    for (const ifaddrs *entry = list; entry != nullptr && name.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        const auto *link = reinterpret_cast<const sockaddr_ll *>(entry->ifa_addr);
        if (link->sll_hatype == ARPHRD_ETHER && link->sll_halen == dlc::kNodeAddressLength &&
            std::memcmp(link->sll_addr, node, dlc::kNodeAddressLength) == 0) {
            name = entry->ifa_name;
        }
    }
    freeifaddrs(list);
    return name;
}

const char *DlcInterfaceFile() { return "dlcapi.so"; }

std::string DlcInterfaceFolder() {
    const char *path = platform::ReadSetting("SNMPHELPER_PLATFORM_PATH");
    return path != nullptr ? path : "the platform folder";
}

}  // namespace snmphelper::cli
