// SPDX-License-Identifier: Apache-2.0
// Framing and IPX header of the simulator's IPX side.
#include "tools/printer-sim/ipx_frame.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace printersim {

namespace {

constexpr std::array<std::uint8_t, 3> kLlcIpx = {0xE0, 0xE0, 0x03};  // DSAP, SSAP, UI
constexpr std::array<std::uint8_t, 8> kSnapIpx = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x37};
constexpr std::uint16_t kIpxNoChecksum = 0xFFFF;

// Bounded reads over received octets: each checks what remains first.
class FrameReader {
public:
    explicit FrameReader(std::span<const std::uint8_t> data) : rest_(data) {}

    std::size_t Remaining() const { return rest_.size(); }
    std::span<const std::uint8_t> Rest() const { return rest_; }

    bool Take(std::size_t count, std::span<const std::uint8_t> &taken) {
        if (count > rest_.size()) return false;
        taken = rest_.first(count);
        rest_ = rest_.subspan(count);
        return true;
    }
    bool Byte(std::uint8_t &value) {
        std::span<const std::uint8_t> octets;
        if (!Take(1, octets)) return false;
        value = octets[0];
        return true;
    }
    bool U16(std::uint16_t &value) {
        std::span<const std::uint8_t> octets;
        if (!Take(2, octets)) return false;
        value = static_cast<std::uint16_t>(octets[0] << 8 | octets[1]);
        return true;
    }
    bool U32(std::uint32_t &value) {
        std::span<const std::uint8_t> octets;
        if (!Take(4, octets)) return false;
        value = static_cast<std::uint32_t>(octets[0]) << 24 | static_cast<std::uint32_t>(octets[1]) << 16 |
                static_cast<std::uint32_t>(octets[2]) << 8 | octets[3];
        return true;
    }
    bool Mac(MacAddress &mac) {
        std::span<const std::uint8_t> octets;
        if (!Take(mac.size(), octets)) return false;
        std::copy(octets.begin(), octets.end(), mac.begin());
        return true;
    }
    // True, and moves past them, when the next octets are `expected`.
    template <std::size_t N>
    bool Skip(const std::array<std::uint8_t, N> &expected) {
        if (rest_.size() < N || !std::equal(expected.begin(), expected.end(), rest_.begin())) return false;
        rest_ = rest_.subspan(N);
        return true;
    }

private:
    std::span<const std::uint8_t> rest_;
};

bool ReadAddress(FrameReader &reader, IpxAddress &address) {
    return reader.U32(address.network) && reader.Mac(address.node) && reader.U16(address.socket);
}

// The IPX header and the datagram it announces; the length field (header
// included) decides where the datagram ends.
bool ReadIpx(std::span<const std::uint8_t> packet, IpxDatagram &datagram) {
    FrameReader reader(packet);
    std::uint16_t checksum = 0;
    std::uint16_t length = 0;
    if (!reader.U16(checksum) || !reader.U16(length)) return false;
    if (checksum != kIpxNoChecksum || length < kIpxHeaderSize || length > packet.size()) return false;
    if (!reader.Byte(datagram.transportControl) || !reader.Byte(datagram.packetType) ||
        !ReadAddress(reader, datagram.destination) || !ReadAddress(reader, datagram.source))
        return false;
    return reader.Take(length - kIpxHeaderSize, datagram.data);
}

// Inside an 802.3 frame: raw IPX (the header's FFFF where the LLC header
// would be), 802.2 with the IPX SAP, or SNAP with the IPX type.
bool ReadLengthFramed(FrameReader &payload, IpxDatagram &datagram) {
    if (payload.Skip(kLlcIpx)) {
        datagram.framing = IpxFraming::Llc8022;
    } else if (payload.Skip(kSnapIpx)) {
        datagram.framing = IpxFraming::Snap;
    } else {
        datagram.framing = IpxFraming::Raw8023;  // ReadIpx insists on the FFFF
    }
    return ReadIpx(payload.Rest(), datagram);
}

void PutU16(std::vector<std::uint8_t> &out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void PutAddress(std::vector<std::uint8_t> &out, const IpxAddress &address) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(address.network >> shift));
    out.insert(out.end(), address.node.begin(), address.node.end());
    PutU16(out, address.socket);
}

std::size_t LlcSize(IpxFraming framing) {
    switch (framing) {
    case IpxFraming::Llc8022:
        return kLlcIpx.size();
    case IpxFraming::Snap:
        return kSnapIpx.size();
    default:
        return 0;
    }
}

}  // namespace

const char *FramingName(IpxFraming framing) {
    switch (framing) {
    case IpxFraming::EthernetII:
        return "ethernet_ii";
    case IpxFraming::Raw8023:
        return "802.3";
    case IpxFraming::Llc8022:
        return "802.2";
    case IpxFraming::Snap:
        return "snap";
    }
    return "?";
}

std::string FormatIpxAddress(const IpxAddress &address) {
    char text[32];
    std::snprintf(text, sizeof text, "%08x.%02x%02x%02x%02x%02x%02x:%04x", static_cast<unsigned>(address.network),
                  address.node[0], address.node[1], address.node[2], address.node[3], address.node[4],
                  address.node[5], static_cast<unsigned>(address.socket));
    return text;
}

bool ParseIpxNetwork(std::string_view text, std::uint32_t &network) {
    if (text.size() != 8) return false;
    std::uint32_t value = 0;
    for (char digit : text) {
        unsigned nibble = 0;
        if (digit >= '0' && digit <= '9') {
            nibble = static_cast<unsigned>(digit - '0');
        } else if (digit >= 'a' && digit <= 'f') {
            nibble = static_cast<unsigned>(digit - 'a' + 10);
        } else if (digit >= 'A' && digit <= 'F') {
            nibble = static_cast<unsigned>(digit - 'A' + 10);
        } else {
            return false;
        }
        value = value << 4 | nibble;
    }
    network = value;
    return true;
}

bool ParseIpxFrame(std::span<const std::uint8_t> frame, IpxDatagram &datagram) {
    FrameReader reader(frame);
    MacAddress linkDestination{};
    IpxDatagram parsed;
    std::uint16_t typeOrLength = 0;
    if (!reader.Mac(linkDestination) || !reader.Mac(parsed.linkSource) || !reader.U16(typeOrLength)) return false;
    if (typeOrLength == kEthertypeIpx) {
        parsed.framing = IpxFraming::EthernetII;
        if (!ReadIpx(reader.Rest(), parsed)) return false;
    } else if (typeOrLength <= kEthernetMaxPayload) {
        // An 802.3 length: what follows it, padding excluded.
        std::span<const std::uint8_t> payload;
        if (!reader.Take(typeOrLength, payload)) return false;
        FrameReader inner(payload);
        if (!ReadLengthFramed(inner, parsed)) return false;
    } else {
        return false;  // another protocol's ethertype
    }
    datagram = parsed;
    return true;
}

bool BuildIpxFrame(const IpxOutgoing &header, std::span<const std::uint8_t> data,
                   std::vector<std::uint8_t> &frame) {
    const std::size_t ipxLength = kIpxHeaderSize + data.size();
    const std::size_t payloadLength = LlcSize(header.framing) + ipxLength;
    if (payloadLength > kEthernetMaxPayload) return false;
    std::vector<std::uint8_t> out;
    out.reserve(std::max(kEthernetHeaderSize + payloadLength, kEthernetMinFrame));
    out.insert(out.end(), header.linkDestination.begin(), header.linkDestination.end());
    out.insert(out.end(), header.linkSource.begin(), header.linkSource.end());
    PutU16(out, header.framing == IpxFraming::EthernetII ? kEthertypeIpx : payloadLength);
    if (header.framing == IpxFraming::Llc8022) out.insert(out.end(), kLlcIpx.begin(), kLlcIpx.end());
    if (header.framing == IpxFraming::Snap) out.insert(out.end(), kSnapIpx.begin(), kSnapIpx.end());
    PutU16(out, kIpxNoChecksum);
    PutU16(out, ipxLength);
    out.push_back(0);  // transport control: no router has passed it on yet
    out.push_back(header.packetType);
    PutAddress(out, header.destination);
    PutAddress(out, header.source);
    out.insert(out.end(), data.begin(), data.end());
    if (out.size() < kEthernetMinFrame) out.resize(kEthernetMinFrame, 0);  // as an adapter pads
    frame = std::move(out);
    return true;
}

}  // namespace printersim
