// The simulator's DLC side: one packet socket on an Ethernet interface that
// sees the 802.2 (LLC) length frames arriving there and sends the UI frames
// the simulator builds. Linux's own LLC sockets exist only in the initial
// network namespace, and not in every kernel. Needs CAP_NET_RAW.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/printer-sim/llc_frame.h"

namespace printersim {

class LlcLink {
public:
    LlcLink() = default;
    ~LlcLink();
    LlcLink(const LlcLink &) = delete;
    LlcLink &operator=(const LlcLink &) = delete;

    // Opens the socket on `interfaceName` and reads its hardware address,
    // the simulator's station address. On failure `error` says what failed.
    bool Open(const std::string &interfaceName, std::string &error);

    int Descriptor() const { return descriptor_; }
    const LlcMac &Station() const { return station_; }

    // Reads one waiting frame into `frame`: false when there is none, or
    // when it is one the interface sent or one addressed to another host.
    bool Receive(std::vector<std::uint8_t> &frame);
    // Sends a whole frame (Ethernet header included). On failure `error` says why.
    bool Send(std::span<const std::uint8_t> frame, std::string &error);

private:
    int descriptor_ = -1;
    LlcMac station_{};
};

}  // namespace printersim
