// SPDX-License-Identifier: Apache-2.0
// WinSock 2's interface list: each entry's address and mask give its
// broadcast address (iiBroadcastAddress is 255.255.255.255 on every system).
#include "platform/interface_addresses.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

namespace snmphelper::platform {
namespace {

// Interfaces asked for at most; a host with more is not one discovery serves.
constexpr int kInterfaceRoom = 64;

}  // namespace

std::vector<Ipv4Address> InterfaceBroadcastAddresses() {
    std::vector<Ipv4Address> addresses;
    WSADATA startup;
    if (::WSAStartup(MAKEWORD(2, 2), &startup) != 0) return addresses;
    const SOCKET probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (probe != INVALID_SOCKET) {
        INTERFACE_INFO interfaces[kInterfaceRoom];
        DWORD written = 0;
        if (::WSAIoctl(probe, SIO_GET_INTERFACE_LIST, nullptr, 0, interfaces, sizeof interfaces, &written, nullptr,
                       nullptr) == 0) {
            const std::size_t count = written / sizeof(INTERFACE_INFO);
            for (std::size_t i = 0; i < count; ++i) {
                const INTERFACE_INFO &entry = interfaces[i];
                const ULONG flags = entry.iiFlags;
                if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) continue;
                const std::uint32_t address = entry.iiAddress.AddressIn.sin_addr.s_addr;
                const std::uint32_t mask = entry.iiNetmask.AddressIn.sin_addr.s_addr;
                const std::uint32_t broadcast = address | ~mask;
                Ipv4Address bytes{};
                std::memcpy(bytes.data(), &broadcast, bytes.size());
                if (std::find(addresses.begin(), addresses.end(), bytes) == addresses.end()) addresses.push_back(bytes);
            }
        }
        ::closesocket(probe);
    }
    ::WSACleanup();
    return addresses;
}

}  // namespace snmphelper::platform
