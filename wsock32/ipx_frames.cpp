// SPDX-License-Identifier: Apache-2.0
#include "wsock32/ipx_frames.h"

#include <cstring>

namespace snmphelper::ipx {
namespace {

constexpr std::uint16_t kIpxEthertype = 0x8137;
constexpr std::uint8_t kIpxSap = 0xE0;
constexpr std::uint8_t kSnapSap = 0xAA;
constexpr std::uint8_t kUiControl = 0x03;
constexpr std::size_t kLlcLength = 3;
constexpr std::size_t kSnapLength = 8;  // LLC, OUI 000000, type

struct FrameName {
    FrameType type;
    const char *name;
};
constexpr FrameName kFrameNames[] = {
    {FrameType::EthernetII, "ethernet_ii"},
    {FrameType::Novell8023, "802.3"},
    {FrameType::Llc8022, "802.2"},
    {FrameType::Snap, "snap"},
};

// A bounded read cursor over one received frame.
class FrameCursor {
public:
    FrameCursor(const std::uint8_t *data, std::size_t size) : at_(data), remaining_(size) {}

    std::size_t Remaining() const { return remaining_; }
    const std::uint8_t *Position() const { return at_; }

    bool Read8(std::uint8_t &value) {
        if (remaining_ < 1) return false;
        value = at_[0];
        Skip(1);
        return true;
    }
    bool Read16(std::uint16_t &value) {
        if (remaining_ < 2) return false;
        value = static_cast<std::uint16_t>((at_[0] << 8) | at_[1]);
        Skip(2);
        return true;
    }
    template <std::size_t N>
    bool ReadBytes(std::array<std::uint8_t, N> &value) {
        if (remaining_ < N) return false;
        std::memcpy(value.data(), at_, N);
        Skip(N);
        return true;
    }
    // Whether the next octets are `expected`, without moving.
    bool LooksAt(const std::uint8_t *expected, std::size_t count) const {
        return remaining_ >= count && std::memcmp(at_, expected, count) == 0;
    }
    // Moves past `count` octets; false (nothing moved) when fewer remain.
    bool Skip(std::size_t count) {
        if (count > remaining_) return false;
        at_ += count;
        remaining_ -= count;
        return true;
    }
    // Keeps only the next `count` octets; false when fewer remain.
    bool Limit(std::size_t count) {
        if (count > remaining_) return false;
        remaining_ = count;
        return true;
    }

private:
    const std::uint8_t *at_;
    std::size_t remaining_;
};

// A write position in a buffer whose room was checked beforehand.
class FrameWriter {
public:
    explicit FrameWriter(std::uint8_t *at) : at_(at) {}
    void Put8(std::uint8_t value) { *at_++ = value; }
    void Put16(std::uint16_t value) {
        Put8(static_cast<std::uint8_t>(value >> 8));
        Put8(static_cast<std::uint8_t>(value));
    }
    void PutBytes(const std::uint8_t *data, std::size_t count) {
        if (count != 0) std::memcpy(at_, data, count);
        at_ += count;
    }
    template <std::size_t N>
    void PutBytes(const std::array<std::uint8_t, N> &value) {
        PutBytes(value.data(), N);
    }

private:
    std::uint8_t *at_;
};

void PutAddress(FrameWriter &writer, const IpxAddress &address) {
    writer.PutBytes(address.network);
    writer.PutBytes(address.node);
    writer.Put16(address.socket);
}

bool ReadAddress(FrameCursor &cursor, IpxAddress &address) {
    return cursor.ReadBytes(address.network) && cursor.ReadBytes(address.node) &&
           cursor.Read16(address.socket);
}

// The 802.3 framings: the payload the length field covers, with the LLC or
// SNAP header that names IPX, or the raw form that starts with FFFF.
bool ReadLengthFraming(FrameCursor &cursor, std::uint16_t length, FrameType &type) {
    if (!cursor.Limit(length)) return false;
    static constexpr std::uint8_t kRaw[] = {0xFF, 0xFF};
    static constexpr std::uint8_t kLlc[] = {kIpxSap, kIpxSap, kUiControl};
    static constexpr std::uint8_t kSnap[] = {kSnapSap, kSnapSap, kUiControl, 0, 0, 0, 0x81, 0x37};
    if (cursor.LooksAt(kRaw, sizeof kRaw)) {
        type = FrameType::Novell8023;
        return true;
    }
    if (cursor.LooksAt(kLlc, sizeof kLlc)) {
        type = FrameType::Llc8022;
        return cursor.Skip(kLlcLength);
    }
    if (cursor.LooksAt(kSnap, sizeof kSnap)) {
        type = FrameType::Snap;
        return cursor.Skip(kSnapLength);
    }
    return false;
}

}  // namespace

const char *FrameTypeName(FrameType type) {
    for (const FrameName &entry : kFrameNames) {
        if (entry.type == type) return entry.name;
    }
    return "unknown";
}

bool FrameTypeFromName(const char *name, FrameType &type) {
    if (name == nullptr) return false;
    for (const FrameName &entry : kFrameNames) {
        if (std::strcmp(entry.name, name) == 0) {
            type = entry.type;
            return true;
        }
    }
    return false;
}

std::size_t FramingLength(FrameType type) {
    switch (type) {
    case FrameType::EthernetII: return 2;
    case FrameType::Novell8023: return 2;
    case FrameType::Llc8022: return 2 + kLlcLength;
    case FrameType::Snap: return 2 + kSnapLength;
    }
    return 2;
}

std::size_t WriteFrame(const OutgoingDatagram &datagram, std::uint8_t *buffer,
                       std::size_t capacity) {
    if (datagram.dataLength > kLargestDatagram || (datagram.data == nullptr && datagram.dataLength != 0)) {
        return 0;
    }
    const std::size_t ipxLength = kIpxHeaderLength + datagram.dataLength;
    const std::size_t framing = FramingLength(datagram.frame);
    const std::size_t frameLength = 12 + framing + ipxLength;
    if (buffer == nullptr || frameLength > capacity) return 0;
    // The 802.3 length counts what follows it: LLC or SNAP header and datagram.
    const auto lengthField = static_cast<std::uint16_t>(framing - 2 + ipxLength);

    FrameWriter writer(buffer);
    writer.PutBytes(datagram.destination.node);
    writer.PutBytes(datagram.sourceMac);
    switch (datagram.frame) {
    case FrameType::EthernetII: writer.Put16(kIpxEthertype); break;
    case FrameType::Novell8023: writer.Put16(lengthField); break;
    case FrameType::Llc8022:
        writer.Put16(lengthField);
        writer.PutBytes(std::array<std::uint8_t, 3>{kIpxSap, kIpxSap, kUiControl});
        break;
    case FrameType::Snap:
        writer.Put16(lengthField);
        writer.PutBytes(
            std::array<std::uint8_t, 8>{kSnapSap, kSnapSap, kUiControl, 0, 0, 0, 0x81, 0x37});
        break;
    }
    writer.Put16(0xFFFF);  // no checksum
    writer.Put16(static_cast<std::uint16_t>(ipxLength));
    writer.Put8(0);  // transport control: routers count hops in it
    writer.Put8(datagram.packetType);
    PutAddress(writer, datagram.destination);
    PutAddress(writer, datagram.source);
    writer.PutBytes(datagram.data, datagram.dataLength);
    return frameLength;
}

bool ParseFrame(const std::uint8_t *frame, std::size_t length, ParsedDatagram &datagram) {
    if (frame == nullptr) return false;
    FrameCursor cursor(frame, length);
    std::uint16_t typeOrLength = 0;
    if (!cursor.Skip(12) || !cursor.Read16(typeOrLength)) return false;
    FrameType type = FrameType::EthernetII;
    if (typeOrLength == kIpxEthertype) {
        type = FrameType::EthernetII;
    } else if (typeOrLength <= kMost8023Length) {
        if (!ReadLengthFraming(cursor, typeOrLength, type)) return false;
    } else {
        return false;
    }

    ParsedDatagram parsed;
    parsed.frame = type;
    std::uint16_t ipxLength = 0;
    if (!cursor.Read16(parsed.checksum) || !cursor.Read16(ipxLength) ||
        !cursor.Read8(parsed.transportControl) || !cursor.Read8(parsed.packetType) ||
        !ReadAddress(cursor, parsed.destination) || !ReadAddress(cursor, parsed.source)) {
        return false;
    }
    if (ipxLength < kIpxHeaderLength) return false;
    const std::size_t dataLength = ipxLength - kIpxHeaderLength;
    if (dataLength > cursor.Remaining()) return false;
    parsed.data = cursor.Position();
    parsed.dataLength = dataLength;
    datagram = parsed;
    return true;
}

}  // namespace snmphelper::ipx
