// SPDX-License-Identifier: Apache-2.0
#include "tests/support/raw_frames.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace snmphelper::test {

RawFrames::RawFrames(const std::string &interfaceName) {
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0) {
        error_ = "no interface " + interfaceName;
        return;
    }
    descriptor_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (descriptor_ < 0) {
        error_ = std::string("packet socket: ") + std::strerror(errno);
        return;
    }
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(ETH_P_ALL);
    local.sll_ifindex = static_cast<int>(index);
    if (bind(descriptor_, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        error_ = std::string("bind to ") + interfaceName + ": " + std::strerror(errno);
        close(descriptor_);
        descriptor_ = -1;
    }
}

RawFrames::~RawFrames() {
    if (descriptor_ >= 0) close(descriptor_);
}

bool RawFrames::Send(const std::vector<std::uint8_t> &frame) {
    return descriptor_ >= 0 && send(descriptor_, frame.data(), frame.size(), 0) ==
                                   static_cast<ssize_t>(frame.size());
}

std::optional<std::vector<std::uint8_t>> RawFrames::Receive(int timeoutMilliseconds) {
    if (descriptor_ < 0) return std::nullopt;
    pollfd entry{descriptor_, POLLIN, 0};
    for (;;) {
        const int ready = poll(&entry, 1, timeoutMilliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        std::vector<std::uint8_t> frame(65536);
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length = recvfrom(descriptor_, frame.data(), frame.size(), 0,
                                        reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (length < 0) return std::nullopt;
        if (from.sll_pkttype == PACKET_OUTGOING) continue;  // our own
        frame.resize(static_cast<std::size_t>(length));
        return frame;
    }
}

}  // namespace snmphelper::test
