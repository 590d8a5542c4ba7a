// SPDX-License-Identifier: Apache-2.0
#include "tools/printer-sim/packet_link.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace printersim {

PacketLink::~PacketLink() {
    if (descriptor_ >= 0) close(descriptor_);
}

bool PacketLink::Open(const std::string &interfaceName, std::uint16_t protocol, const char *purpose,
                      std::string &error) {
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0) {
        error = std::string(purpose) + ": no interface " + interfaceName;
        return false;
    }
    descriptor_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(protocol));
    if (descriptor_ < 0) {
        const int code = errno;
        error = "cannot open a packet socket on " + interfaceName + ": " + std::strerror(code);
        if (code == EPERM || code == EACCES) error += std::string(" (") + purpose + " needs CAP_NET_RAW)";
        return false;
    }
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(protocol);
    local.sll_ifindex = static_cast<int>(index);
    if (bind(descriptor_, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        error = "cannot bind a packet socket to " + interfaceName + ": " + std::strerror(errno);
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
    if (ioctl(descriptor_, SIOCGIFHWADDR, &request) != 0) {
        error = "cannot read the hardware address of " + interfaceName + ": " + std::strerror(errno);
        return false;
    }
    // The frames need Ethernet's header; lo has it too (with address zero).
    const auto hardware = request.ifr_hwaddr.sa_family;
    if (hardware != ARPHRD_ETHER && hardware != ARPHRD_LOOPBACK) {
        error = std::string(purpose) + ": " + interfaceName + " is not an Ethernet interface";
        return false;
    }
    std::memcpy(address_.data(), request.ifr_hwaddr.sa_data, address_.size());
    return true;
}

bool PacketLink::Receive(std::vector<std::uint8_t> &frame) {
    frame.resize(65536);
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        recvfrom(descriptor_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
    if (received < 0) return false;
    if (from.sll_pkttype == PACKET_OUTGOING) return false;
    if (from.sll_pkttype == PACKET_OTHERHOST && !acceptOtherHosts_) return false;
    frame.resize(static_cast<std::size_t>(received));
    return true;
}

bool PacketLink::Send(std::span<const std::uint8_t> frame, std::string &error) {
    if (send(descriptor_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size())) return true;
    error = std::strerror(errno);
    return false;
}

}  // namespace printersim
