/* SPDX-License-Identifier: Apache-2.0 */
// The simulator's link to an Ethernet interface for the protocols Linux has
// no sockets for here (IPX, and LLC outside the initial network namespace):
// one packet socket that sees the frames arriving there and sends the whole
// frames the simulator builds. Needs CAP_NET_RAW.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace printersim {

class PacketLink {
public:
    PacketLink() = default;
    ~PacketLink();
    PacketLink(const PacketLink &) = delete;
    PacketLink &operator=(const PacketLink &) = delete;

    // Opens the socket on `interfaceName` for the frames of `protocol` (an
    // ETH_P_* value) and reads the interface's hardware address. `purpose`
    // ("IPX", "DLC") names the side in messages. On failure `error` says
    // what failed.
    bool Open(const std::string &interfaceName, std::uint16_t protocol, const char *purpose,
              std::string &error);

    int Descriptor() const { return descriptor_; }
    // The interface's hardware address: the simulator's IPX node, its LLC station.
    const std::array<std::uint8_t, 6> &Address() const { return address_; }

    // Also takes frames addressed to other hosts' unicast addresses: a
    // link that stands for many stations.
    void AcceptOtherHosts() { acceptOtherHosts_ = true; }
    // Reads one waiting frame into `frame`: false when there is none, or
    // when it is one the interface sent or (unless accepted) one addressed
    // to another host.
    bool Receive(std::vector<std::uint8_t> &frame);
    // Sends a whole frame (Ethernet header included). On failure `error` says why.
    bool Send(std::span<const std::uint8_t> frame, std::string &error);

private:
    int descriptor_ = -1;
    std::array<std::uint8_t, 6> address_{};
    bool acceptOtherHosts_ = false;
};

}  // namespace printersim
