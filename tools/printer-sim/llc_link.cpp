// Packet socket of the simulator's DLC side.
#include "tools/printer-sim/llc_link.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace printersim {

LlcLink::~LlcLink() {
    if (descriptor_ >= 0) close(descriptor_);
}

bool LlcLink::Open(const std::string &interfaceName, std::string &error) {
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0) {
        error = "DLC: no interface " + interfaceName;
        return false;
    }
    // ETH_P_802_2: the kernel hands such a socket every length frame that
    // carries an LLC header (not raw 802.3 IPX); the SAPs are sorted here.
    descriptor_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_802_2));
    if (descriptor_ < 0) {
        const int code = errno;
        error = "cannot open a packet socket on " + interfaceName + ": " + std::strerror(code);
        if (code == EPERM || code == EACCES) error += " (DLC needs CAP_NET_RAW)";
        return false;
    }
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(ETH_P_802_2);
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
    const auto hardware = request.ifr_hwaddr.sa_family;
    if (hardware != ARPHRD_ETHER && hardware != ARPHRD_LOOPBACK) {
        error = "DLC: " + interfaceName + " is not an Ethernet interface";
        return false;
    }
    std::memcpy(station_.data(), request.ifr_hwaddr.sa_data, station_.size());
    return true;
}

bool LlcLink::Receive(std::vector<std::uint8_t> &frame) {
    frame.resize(65536);
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        recvfrom(descriptor_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
    if (received < 0) return false;
    if (from.sll_pkttype == PACKET_OUTGOING || from.sll_pkttype == PACKET_OTHERHOST) return false;
    frame.resize(static_cast<std::size_t>(received));
    return true;
}

bool LlcLink::Send(std::span<const std::uint8_t> frame, std::string &error) {
    if (send(descriptor_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size())) return true;
    error = std::strerror(errno);
    return false;
}

}  // namespace printersim
