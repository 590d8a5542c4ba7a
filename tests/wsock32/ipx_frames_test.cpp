// SPDX-License-Identifier: Apache-2.0
// IPX framing without a network: golden frames in the four framings, and
// every cut and every bad length of them refused by the parser.
#include "wsock32/ipx_frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/hex.h"

namespace snmphelper::ipx {
namespace {

using test::Hex;
using test::ToHex;

const std::vector<std::uint8_t> kData = Hex("30 03 02 01 00");

struct GoldenFrame {
    FrameType type;
    const char *name;
    const char *framing;  // between the source MAC and the IPX header
};

// 802.3 lengths count LLC/SNAP header plus the 35-octet datagram.
const GoldenFrame kGolden[] = {
    {FrameType::EthernetII, "ethernet_ii", "81 37"},
    {FrameType::Novell8023, "802.3", "00 23"},
    {FrameType::Llc8022, "802.2", "00 26  E0 E0 03"},
    {FrameType::Snap, "snap", "00 2B  AA AA 03 00 00 00 81 37"},
};

std::vector<std::uint8_t> GoldenBytes(const GoldenFrame &golden) {
    return Hex(std::string("02 00 00 00 00 02  02 00 00 00 00 01 ") + golden.framing +
               " FF FF  00 23  00  04"         // checksum, length, transport control, type
               " 00 00 00 00  02 00 00 00 00 02  90 0F"  // destination
               " 0A 0B 0C 0D  02 00 00 00 00 01  40 01"  // source
               " 30 03 02 01 00");
}

OutgoingDatagram GoldenDatagram(FrameType type) {
    OutgoingDatagram datagram;
    datagram.frame = type;
    datagram.sourceMac = {2, 0, 0, 0, 0, 1};
    datagram.packetType = 4;
    datagram.destination = {{0, 0, 0, 0}, {2, 0, 0, 0, 0, 2}, 0x900F};
    datagram.source = {{0x0A, 0x0B, 0x0C, 0x0D}, {2, 0, 0, 0, 0, 1}, 0x4001};
    datagram.data = kData.data();
    datagram.dataLength = kData.size();
    return datagram;
}

TEST(IpxFrames, NamesRoundTrip) {
    for (const GoldenFrame &golden : kGolden) {
        EXPECT_STREQ(FrameTypeName(golden.type), golden.name);
        FrameType type = FrameType::EthernetII;
        ASSERT_TRUE(FrameTypeFromName(golden.name, type));
        EXPECT_EQ(type, golden.type);
    }
    FrameType type = FrameType::Snap;
    for (const char *bad : {"", "ethernet", "802.3 ", "SNAP", "8022"}) {
        EXPECT_FALSE(FrameTypeFromName(bad, type)) << bad;
    }
    EXPECT_FALSE(FrameTypeFromName(nullptr, type));
}

TEST(IpxFrames, WritesGoldenFramesAndReadsThemBack) {
    for (const GoldenFrame &golden : kGolden) {
        SCOPED_TRACE(golden.name);
        const std::vector<std::uint8_t> expected = GoldenBytes(golden);
        std::vector<std::uint8_t> frame(kLargestFrame);
        const std::size_t length = WriteFrame(GoldenDatagram(golden.type), frame.data(), frame.size());
        frame.resize(length);
        EXPECT_EQ(ToHex(frame), ToHex(expected));

        // Too little room by one octet: nothing written, nothing claimed.
        std::vector<std::uint8_t> small(expected.size() - 1, 0xEE);
        EXPECT_EQ(WriteFrame(GoldenDatagram(golden.type), small.data(), small.size()), 0U);
        EXPECT_EQ(small, std::vector<std::uint8_t>(expected.size() - 1, 0xEE));

        ParsedDatagram parsed;
        ASSERT_TRUE(ParseFrame(expected.data(), expected.size(), parsed));
        EXPECT_EQ(parsed.frame, golden.type);
        EXPECT_EQ(parsed.checksum, 0xFFFF);
        EXPECT_EQ(parsed.packetType, 4);
        EXPECT_EQ(parsed.destination.socket, 0x900F);
        EXPECT_EQ(parsed.source.socket, 0x4001);
        EXPECT_EQ(parsed.source.network, (NetworkNumber{0x0A, 0x0B, 0x0C, 0x0D}));
        EXPECT_EQ(parsed.destination.node, (NodeNumber{2, 0, 0, 0, 0, 2}));
        ASSERT_EQ(parsed.dataLength, kData.size());
        EXPECT_EQ(std::memcmp(parsed.data, kData.data(), kData.size()), 0);
    }
}

TEST(IpxFrames, LargestDatagramFitsEveryFraming) {
    const std::vector<std::uint8_t> data(kLargestDatagram + 1, 0x5A);
    for (const GoldenFrame &golden : kGolden) {
        OutgoingDatagram datagram = GoldenDatagram(golden.type);
        datagram.data = data.data();
        datagram.dataLength = kLargestDatagram;
        std::vector<std::uint8_t> frame(kLargestFrame);
        const std::size_t length = WriteFrame(datagram, frame.data(), frame.size());
        ASSERT_NE(length, 0U) << golden.name;
        EXPECT_LE(length, kEthernetHeaderLength + kMost8023Length);
        ParsedDatagram parsed;
        ASSERT_TRUE(ParseFrame(frame.data(), length, parsed));
        EXPECT_EQ(parsed.dataLength, kLargestDatagram);
        datagram.dataLength = kLargestDatagram + 1;
        EXPECT_EQ(WriteFrame(datagram, frame.data(), frame.size()), 0U) << golden.name;
    }
}

// Every prefix of a good frame is refused; each is copied into a buffer of
// its own size so that a read past it is caught under AddressSanitizer.
TEST(IpxFrames, EveryCutIsRefused) {
    for (const GoldenFrame &golden : kGolden) {
        const std::vector<std::uint8_t> frame = GoldenBytes(golden);
        for (std::size_t cut = 0; cut < frame.size(); ++cut) {
            const std::vector<std::uint8_t> prefix(frame.begin(), frame.begin() + cut);
            ParsedDatagram parsed;
            EXPECT_FALSE(ParseFrame(prefix.data(), prefix.size(), parsed))
                << golden.name << " cut at " << cut;
        }
    }
}

// Offsets inside the golden frames, counted from the end of the framing.
constexpr std::size_t kIpxLengthOffset = 2;

struct LengthCase {
    const char *what;
    std::uint16_t ipxLength;
    int lengthDelta;  // change to the 802.3 length field, where there is one
    std::size_t padding;
    bool accepted;
};

const LengthCase kLengthCases[] = {
    {"as sent", 35, 0, 0, true},
    {"padded to 60 octets", 35, 0, 60, true},
    {"IPX length one past the frame", 36, 0, 0, false},
    {"IPX length below the header", 29, 0, 0, false},
    {"IPX length 0", 0, 0, 0, false},
    {"IPX length exactly the header", 30, 0, 0, true},
    {"802.3 length one past the frame", 35, 1, 0, false},
    {"802.3 length short of the datagram", 35, -1, 0, false},
    {"802.3 length short, padding behind it", 35, -1, 60, false},
};

TEST(IpxFrames, LengthFieldsDecide) {
    for (const GoldenFrame &golden : kGolden) {
        for (const LengthCase &c : kLengthCases) {
            std::vector<std::uint8_t> frame = GoldenBytes(golden);
            const std::size_t framing = FramingLength(golden.type);
            const std::size_t ipx = 12 + framing;
            frame[ipx + kIpxLengthOffset] = static_cast<std::uint8_t>(c.ipxLength >> 8);
            frame[ipx + kIpxLengthOffset + 1] = static_cast<std::uint8_t>(c.ipxLength);
            const bool has8023Length = golden.type != FrameType::EthernetII;
            if (c.lengthDelta != 0 && !has8023Length) continue;
            if (has8023Length) {
                const int field = (frame[12] << 8 | frame[13]) + c.lengthDelta;
                frame[12] = static_cast<std::uint8_t>(field >> 8);
                frame[13] = static_cast<std::uint8_t>(field);
            }
            if (frame.size() < c.padding) frame.resize(c.padding, 0);
            ParsedDatagram parsed;
            EXPECT_EQ(ParseFrame(frame.data(), frame.size(), parsed), c.accepted)
                << golden.name << ": " << c.what;
            if (c.accepted) {
                EXPECT_EQ(parsed.dataLength, c.ipxLength - kIpxHeaderLength);
            }
        }
    }
}

TEST(IpxFrames, OtherFramesAreRefused) {
    const std::vector<std::uint8_t> good = GoldenBytes(kGolden[3]);  // SNAP
    struct Change {
        const char *what;
        std::size_t offset;
        std::uint8_t value;
    };
    const Change changes[] = {
        {"another ethertype", 12, 0x08},   // 08 2B
        {"DSAP not AA", 14, 0xAB},
        {"control not UI", 16, 0x13},
        {"an OUI", 19, 0x01},
        {"another SNAP type", 21, 0x38},
    };
    for (const Change &change : changes) {
        std::vector<std::uint8_t> frame = good;
        frame[change.offset] = change.value;
        ParsedDatagram parsed;
        EXPECT_FALSE(ParseFrame(frame.data(), frame.size(), parsed)) << change.what;
    }
    std::vector<std::uint8_t> llc = GoldenBytes(kGolden[2]);
    llc[14] = 0xF0;  // NetBIOS, not IPX
    ParsedDatagram parsed;
    EXPECT_FALSE(ParseFrame(llc.data(), llc.size(), parsed));
    EXPECT_FALSE(ParseFrame(nullptr, 0, parsed));
}

}  // namespace
}  // namespace snmphelper::ipx
