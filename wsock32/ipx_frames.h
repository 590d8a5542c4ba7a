/* SPDX-License-Identifier: Apache-2.0 */
// IPX datagrams in Ethernet frames: the 30-byte IPX header and the four
// framings NetWare used on Ethernet, written into a caller's buffer and read
// back through a cursor that never passes the end of a received frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace snmphelper::ipx {

enum class FrameType { EthernetII, Novell8023, Llc8022, Snap };

// The names SNMPHELPER_IPX_FRAME takes: "ethernet_ii", "802.3", "802.2", "snap".
const char *FrameTypeName(FrameType type);
// The frame type called `name`; false for a name that is none of them.
bool FrameTypeFromName(const char *name, FrameType &type);

using NetworkNumber = std::array<std::uint8_t, 4>;
using NodeNumber = std::array<std::uint8_t, 6>;

// One end of an IPX exchange; `socket` in host order.
struct IpxAddress {
    NetworkNumber network{};
    NodeNumber node{};
    std::uint16_t socket = 0;
};

inline constexpr NodeNumber kBroadcastNode = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::size_t kEthernetHeaderLength = 14;
inline constexpr std::size_t kIpxHeaderLength = 30;
// The most an 802.3 length field may say; larger values are ethertypes.
inline constexpr std::size_t kMost8023Length = 1500;
// The largest datagram sent: what fits an Ethernet payload of 1500 octets in
// every framing, the tightest being SNAP (8 octets of LLC and SNAP header).
inline constexpr std::size_t kLargestDatagram = kMost8023Length - 8 - kIpxHeaderLength;
// Room for any frame that may carry one of our datagrams, and more.
inline constexpr std::size_t kLargestFrame = kEthernetHeaderLength + kMost8023Length;

// The octets between the Ethernet addresses and the IPX header: the type or
// length field and any LLC or SNAP header.
std::size_t FramingLength(FrameType type);

// What goes out: framing, addresses, packet type and data.
struct OutgoingDatagram {
    FrameType frame = FrameType::EthernetII;
    NodeNumber sourceMac{};
    std::uint8_t packetType = 0;
    IpxAddress destination;
    IpxAddress source;
    const std::uint8_t *data = nullptr;
    std::size_t dataLength = 0;
};

// Writes the whole frame for `datagram` into `buffer` (`capacity` octets) and
// returns its length, or 0 when the data exceed kLargestDatagram or the frame
// does not fit. The Ethernet destination is the destination node.
std::size_t WriteFrame(const OutgoingDatagram &datagram, std::uint8_t *buffer,
                       std::size_t capacity);

// A received IPX datagram: its header fields and the data the IPX length
// field covers, pointing into the frame it was parsed from.
struct ParsedDatagram {
    FrameType frame = FrameType::EthernetII;
    std::uint16_t checksum = 0;
    std::uint8_t transportControl = 0;
    std::uint8_t packetType = 0;
    IpxAddress destination;
    IpxAddress source;
    const std::uint8_t *data = nullptr;
    std::size_t dataLength = 0;
};

// Parses one Ethernet frame of `length` octets; false for anything that is
// not a whole IPX datagram in one of the four framings. The IPX length
// field decides where the datagram ends (frames may be padded); in the
// 802.3-length framings the datagram must also lie within the 802.3 length.
bool ParseFrame(const std::uint8_t *frame, std::size_t length, ParsedDatagram &datagram);

}  // namespace snmphelper::ipx
