// SPDX-License-Identifier: Apache-2.0
// Packet socket and UI framing of dlcapi.so's adapter.
#include "dlcapi/llc_link.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace snmphelper::dlcapi {
namespace {

// The frames the adapter holds beyond its applications' pools: a burst of
// replies waits here while a pool is full (some 4,000 short frames).
constexpr int kReceiveRoom = 4 * 1024 * 1024;

struct InterfaceInfo {
    unsigned index = 0;
    unsigned short flags = 0;
    Mac address{};
};

// Flags and hardware address of `name` through `socketFd`; none when the
// interface is missing or has no Ethernet address.
std::optional<InterfaceInfo> ReadInterface(int socketFd, const char *name) {
    ifreq request{};
    if (std::strlen(name) >= IFNAMSIZ) return std::nullopt;
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    InterfaceInfo info;
    info.index = if_nametoindex(name);
    if (info.index == 0 || ioctl(socketFd, SIOCGIFFLAGS, &request) != 0) return std::nullopt;
    info.flags = static_cast<unsigned short>(request.ifr_flags);
    if (ioctl(socketFd, SIOCGIFHWADDR, &request) != 0) return std::nullopt;
    const auto hardware = request.ifr_hwaddr.sa_family;
    if (hardware != ARPHRD_ETHER && hardware != ARPHRD_LOOPBACK) return std::nullopt;
    std::memcpy(info.address.data(), request.ifr_hwaddr.sa_data, info.address.size());
    return info;
}

// The first interface that is up, not loopback, with an Ethernet address.
std::optional<InterfaceInfo> FirstUsableInterface(int socketFd) {
    struct if_nameindex *names = if_nameindex();
    if (names == nullptr) return std::nullopt;
    std::optional<InterfaceInfo> found;
    for (const struct if_nameindex *entry = names; entry->if_index != 0 && entry->if_name != nullptr; ++entry) {
        const std::optional<InterfaceInfo> info = ReadInterface(socketFd, entry->if_name);
        if (info && (info->flags & IFF_UP) != 0 && (info->flags & IFF_LOOPBACK) == 0) {
            found = info;
            break;
        }
    }
    if_freenameindex(names);
    return found;
}

}  // namespace

bool ParseUiFrame(std::span<const std::uint8_t> frame, UiFrame &parsed) {
    if (frame.size() < kEthernetHeaderSize) return false;
    const std::size_t length = static_cast<std::size_t>(frame[12] << 8 | frame[13]);
    const std::span<const std::uint8_t> payload = frame.subspan(kEthernetHeaderSize);
    if (length > kMaxLengthField || length < kLlcHeaderSize || length > payload.size()) return false;
    if (payload[2] != kUiControl) return false;
    UiFrame read;
    std::copy_n(frame.begin(), read.destination.size(), read.destination.begin());
    std::copy_n(frame.begin() + 6, read.source.size(), read.source.begin());
    read.dsap = payload[0];
    read.ssap = payload[1];
    read.data = payload.subspan(kLlcHeaderSize, length - kLlcHeaderSize);
    parsed = read;
    return true;
}

bool BuildUiFrame(const Mac &destination, const Mac &source, std::uint8_t dsap, std::uint8_t ssap,
                  std::span<const std::uint8_t> data, std::vector<std::uint8_t> &frame) {
    if (data.size() > kMaxUiData) return false;
    const std::size_t length = kLlcHeaderSize + data.size();
    frame.clear();
    frame.reserve(std::max(kEthernetHeaderSize + length, kMinFrame));
    frame.insert(frame.end(), destination.begin(), destination.end());
    frame.insert(frame.end(), source.begin(), source.end());
    frame.push_back(static_cast<std::uint8_t>(length >> 8));
    frame.push_back(static_cast<std::uint8_t>(length));
    frame.push_back(dsap);
    frame.push_back(ssap);
    frame.push_back(kUiControl);
    frame.insert(frame.end(), data.begin(), data.end());
    // Veth and lo send short frames as they stand; an adapter pads them.
    if (frame.size() < kMinFrame) frame.resize(kMinFrame, 0);
    return true;
}

LlcLink::~LlcLink() { Close(); }

void LlcLink::Close() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
}

OpenFailure LlcLink::Open(const std::string &interfaceName) {
    Close();
    // ETH_P_802_2: every length frame with an LLC header (raw 802.3 IPX goes
    // elsewhere); the kernel does not sort by SAP, the stations do.
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_802_2));
    if (fd < 0) return errno == EPERM || errno == EACCES ? OpenFailure::kNotPermitted : OpenFailure::kSystem;
    const std::optional<InterfaceInfo> info =
        interfaceName.empty() ? FirstUsableInterface(fd) : ReadInterface(fd, interfaceName.c_str());
    if (!info) {
        close(fd);
        return OpenFailure::kNoInterface;
    }
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(ETH_P_802_2);
    local.sll_ifindex = static_cast<int>(info->index);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        close(fd);
        return OpenFailure::kSystem;
    }
    // Beyond the system's limit for others where the process may; else as
    // much of it as the limit allows.
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveRoom, sizeof kReceiveRoom) != 0) {
        static_cast<void>(setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveRoom, sizeof kReceiveRoom));
    }
    descriptor_ = fd;
    address_ = info->address;
    return OpenFailure::kNone;
}

bool LlcLink::Receive(std::vector<std::uint8_t> &frame) {
    frame.resize(65536);
    for (;;) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = recvfrom(descriptor_, frame.data(), frame.size(), 0,
                                          reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (received < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (from.sll_pkttype == PACKET_OUTGOING || from.sll_pkttype == PACKET_OTHERHOST) continue;
        frame.resize(static_cast<std::size_t>(received));
        return true;
    }
}

bool LlcLink::Send(std::span<const std::uint8_t> frame) {
    return send(descriptor_, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
}

}  // namespace snmphelper::dlcapi
