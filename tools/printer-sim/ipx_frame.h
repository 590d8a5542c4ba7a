/* SPDX-License-Identifier: Apache-2.0 */
// IPX datagrams in Ethernet frames, as the simulator reads and writes them:
// the four framings NetWare used (Ethernet II, Novell raw 802.3, 802.2 and
// SNAP) and the 30-octet IPX header, all big-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace printersim {

using MacAddress = std::array<std::uint8_t, 6>;

constexpr std::size_t kEthernetHeaderSize = 14;
constexpr std::size_t kIpxHeaderSize = 30;
constexpr std::size_t kEthernetMaxPayload = 1500;
constexpr std::size_t kEthernetMinFrame = 60;  // without the frame check sequence
constexpr std::uint16_t kEthertypeIpx = 0x8137;
constexpr std::uint16_t kIpxSocketSnmp = 0x900F;  // RFC 1420
constexpr std::uint8_t kIpxPacketTypeSnmp = 4;     // RFC 1420: packet exchange
constexpr MacAddress kBroadcastNode = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

enum class IpxFraming { EthernetII, Raw8023, Llc8022, Snap };

// "ethernet_ii", "802.3", "802.2" or "snap", as the log writes it.
const char *FramingName(IpxFraming framing);

struct IpxAddress {
    std::uint32_t network = 0;
    MacAddress node{};
    std::uint16_t socket = 0;
};

// "NNNNNNNN.XXXXXXXXXXXX:SSSS", network.node:socket in hex.
std::string FormatIpxAddress(const IpxAddress &address);
// Exactly eight hex digits; `network` is set only then.
bool ParseIpxNetwork(std::string_view text, std::uint32_t &network);

// One IPX datagram as received; `data` points into the frame it was read from.
struct IpxDatagram {
    IpxFraming framing = IpxFraming::EthernetII;
    MacAddress linkSource{};  // the Ethernet sender: where an answer goes next
    std::uint8_t transportControl = 0;
    std::uint8_t packetType = 0;
    IpxAddress destination;
    IpxAddress source;
    std::span<const std::uint8_t> data;  // after the IPX header, as long as its length field says
};

// Reads one Ethernet frame, from its destination address on. False for a
// frame that is not IPX or is malformed: cut short, an 802.3 length or IPX
// length beyond what arrived, an IPX length below the header's, or a
// checksum other than FFFF (none is verified). Octets past the lengths
// (an adapter's padding) are ignored.
bool ParseIpxFrame(std::span<const std::uint8_t> frame, IpxDatagram &datagram);

// What an IPX frame carries besides its framing.
struct IpxOutgoing {
    IpxFraming framing = IpxFraming::EthernetII;
    MacAddress linkDestination{};
    MacAddress linkSource{};
    std::uint8_t packetType = kIpxPacketTypeSnmp;
    IpxAddress destination;
    IpxAddress source;
};

// Writes the frame into `frame`: checksum FFFF, transport control 0, padded
// with zeros to the 60 octets of the smallest Ethernet frame. False (and
// `frame` untouched) when the framing and datagram exceed an Ethernet
// frame's 1500 octets of payload.
bool BuildIpxFrame(const IpxOutgoing &header, std::span<const std::uint8_t> data,
                   std::vector<std::uint8_t> &frame);

}  // namespace printersim
