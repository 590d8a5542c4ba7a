// The simulator's IPX side on Linux, which has no IPX sockets: one packet
// socket on an Ethernet interface that sees frames of every framing and
// sends the frames the simulator builds. Needs CAP_NET_RAW.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/printer-sim/ipx_frame.h"

namespace printersim {

class IpxLink {
public:
    IpxLink() = default;
    ~IpxLink();
    IpxLink(const IpxLink &) = delete;
    IpxLink &operator=(const IpxLink &) = delete;

    // Opens the socket on `interfaceName` and reads its hardware address,
    // the simulator's node number. On failure `error` says what failed.
    bool Open(const std::string &interfaceName, std::string &error);

    int Descriptor() const { return descriptor_; }
    const MacAddress &Node() const { return node_; }

    // Reads one waiting frame into `frame`: false when there is none, or
    // when it is one the interface sent or one addressed to another host.
    bool Receive(std::vector<std::uint8_t> &frame);
    // Sends a whole frame (Ethernet header included). On failure `error` says why.
    bool Send(std::span<const std::uint8_t> frame, std::string &error);

private:
    int descriptor_ = -1;
    MacAddress node_{};
};

}  // namespace printersim
