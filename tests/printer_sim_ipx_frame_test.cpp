// SPDX-License-Identifier: Apache-2.0
// The simulator's IPX framing code against annotated golden frames: each of
// the four framings read and written, every cut and every length change
// refused without reading past the frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/hex.h"
#include "tools/printer-sim/ipx_frame.h"

namespace {

using printersim::BuildIpxFrame;
using printersim::IpxDatagram;
using printersim::IpxFraming;
using printersim::IpxOutgoing;
using printersim::ParseIpxFrame;
using snmphelper::test::Hex;
using snmphelper::test::ToHex;
using Bytes = std::vector<std::uint8_t>;

const char *const kEthernet = "02 00 00 00 00 01  02 00 00 00 00 02";  // destination, source
const char *const kIpx =
    "FF FF  00 22  00 04"       // checksum none, length 34, transport control 0, packet type 4
    " 00 00 AB CD  02 00 00 00 00 01  90 0F"  // destination network, node, socket
    " 00 00 12 34  02 00 00 00 00 02  40 05"  // source network, node, socket
    " DE AD BE EF";              // four octets of data

struct Golden {
    IpxFraming framing;
    std::string typeAndLlc;  // ethertype or 802.3 length, then the LLC header
};

const Golden kGolden[] = {
    {IpxFraming::EthernetII, "81 37"},
    {IpxFraming::Raw8023, "00 22"},
    {IpxFraming::Llc8022, "00 25  E0 E0 03"},
    {IpxFraming::Snap, "00 2A  AA AA 03 00 00 00 81 37"},
};

Bytes GoldenFrame(const Golden &golden) {
    return Hex(std::string(kEthernet) + " " + golden.typeAndLlc + " " + kIpx);
}

std::size_t IpxOffset(const Golden &golden) { return GoldenFrame(golden).size() - 34; }

TEST(PrinterSimIpxFrame, ReadsEachFraming) {
    for (const Golden &golden : kGolden) {
        const Bytes frame = GoldenFrame(golden);  // the datagram points into it
        IpxDatagram datagram;
        ASSERT_TRUE(ParseIpxFrame(frame, datagram)) << printersim::FramingName(golden.framing);
        EXPECT_EQ(datagram.framing, golden.framing);
        EXPECT_EQ(datagram.linkSource, (printersim::MacAddress{2, 0, 0, 0, 0, 2}));
        EXPECT_EQ(datagram.packetType, 4);
        EXPECT_EQ(printersim::FormatIpxAddress(datagram.destination), "0000abcd.020000000001:900f");
        EXPECT_EQ(printersim::FormatIpxAddress(datagram.source), "00001234.020000000002:4005");
        EXPECT_EQ(ToHex(Bytes(datagram.data.begin(), datagram.data.end())), "DE AD BE EF");
    }
}

TEST(PrinterSimIpxFrame, WritesTheGoldenFrames) {
    IpxOutgoing header;
    header.linkDestination = {2, 0, 0, 0, 0, 1};
    header.linkSource = {2, 0, 0, 0, 0, 2};
    header.destination = {0x0000ABCD, {2, 0, 0, 0, 0, 1}, 0x900F};
    header.source = {0x00001234, {2, 0, 0, 0, 0, 2}, 0x4005};
    for (const Golden &golden : kGolden) {
        header.framing = golden.framing;
        Bytes frame;
        ASSERT_TRUE(BuildIpxFrame(header, Hex("DE AD BE EF"), frame));
        Bytes expected = GoldenFrame(golden);
        if (expected.size() < 60) expected.resize(60, 0);  // padded as an adapter would
        EXPECT_EQ(ToHex(frame), ToHex(expected)) << printersim::FramingName(golden.framing);
    }
}

TEST(PrinterSimIpxFrame, PaddingPastTheLengthsIsIgnored) {
    for (const Golden &golden : kGolden) {
        Bytes frame = GoldenFrame(golden);
        frame.insert(frame.end(), 20, 0xA5);
        IpxDatagram datagram;
        ASSERT_TRUE(ParseIpxFrame(frame, datagram));
        EXPECT_EQ(datagram.data.size(), 4u);
    }
}

TEST(PrinterSimIpxFrame, RefusesEveryCut) {
    for (const Golden &golden : kGolden) {
        const Bytes good = GoldenFrame(golden);
        for (std::size_t cut = 0; cut < good.size(); ++cut) {
            // A copy of exactly the cut size, so a read past it would be caught by sanitizers.
            const Bytes frame(good.begin(), good.begin() + static_cast<long>(cut));
            IpxDatagram datagram;
            EXPECT_FALSE(ParseIpxFrame(frame, datagram)) << printersim::FramingName(golden.framing) << " cut " << cut;
        }
    }
}

// Whatever one changed octet makes of a frame, the datagram stays inside it.
TEST(PrinterSimIpxFrame, EverySingleOctetChangeStaysInsideTheFrame) {
    for (const Golden &golden : kGolden) {
        const Bytes good = GoldenFrame(golden);
        for (std::size_t at = 0; at < good.size(); ++at) {
            for (unsigned value : {0x00u, 0x01u, 0x1Du, 0x1Eu, 0x7Fu, 0x80u, 0xFEu, 0xFFu}) {
                Bytes frame = good;
                frame[at] = static_cast<std::uint8_t>(value);
                IpxDatagram datagram;
                if (!ParseIpxFrame(frame, datagram)) continue;
                EXPECT_GE(datagram.data.data(), frame.data() + 14);
                EXPECT_LE(datagram.data.data() + datagram.data.size(), frame.data() + frame.size());
            }
        }
    }
}

TEST(PrinterSimIpxFrame, RefusesBadLengthsChecksumsAndFramings) {
    for (const Golden &golden : kGolden) {
        const std::size_t ipx = IpxOffset(golden);
        for (unsigned length : {0u, 29u, 35u, 0xFFFFu}) {
            Bytes frame = GoldenFrame(golden);
            frame[ipx + 2] = static_cast<std::uint8_t>(length >> 8);
            frame[ipx + 3] = static_cast<std::uint8_t>(length);
            IpxDatagram datagram;
            EXPECT_FALSE(ParseIpxFrame(frame, datagram)) << printersim::FramingName(golden.framing) << " " << length;
        }
        Bytes checksummed = GoldenFrame(golden);
        checksummed[ipx + 1] = 0x00;
        IpxDatagram datagram;
        EXPECT_FALSE(ParseIpxFrame(checksummed, datagram));
        if (golden.framing != IpxFraming::EthernetII) {
            Bytes longer = GoldenFrame(golden);
            ++longer[13];  // the 802.3 length one beyond the frame
            EXPECT_FALSE(ParseIpxFrame(longer, datagram));
        }
    }
    IpxDatagram datagram;
    Bytes otherType = GoldenFrame(kGolden[0]);
    otherType[12] = 0x08;  // 0x0837: neither IPX nor an 802.3 length
    EXPECT_FALSE(ParseIpxFrame(otherType, datagram));
    Bytes otherSap = GoldenFrame(kGolden[2]);
    otherSap[14] = 0x42;  // another DSAP: what follows is no IPX header
    EXPECT_FALSE(ParseIpxFrame(otherSap, datagram));
}

TEST(PrinterSimIpxFrame, RefusesToWriteMoreThanAnEthernetFrame) {
    IpxOutgoing header;
    Bytes frame;
    header.framing = IpxFraming::EthernetII;
    EXPECT_TRUE(BuildIpxFrame(header, Bytes(1470), frame));
    EXPECT_EQ(frame.size(), 1514u);
    EXPECT_FALSE(BuildIpxFrame(header, Bytes(1471), frame));
    header.framing = IpxFraming::Snap;
    EXPECT_TRUE(BuildIpxFrame(header, Bytes(1462), frame));
    EXPECT_FALSE(BuildIpxFrame(header, Bytes(1463), frame));
}

TEST(PrinterSimIpxFrame, NetworkNumbers) {
    std::uint32_t network = 7;
    EXPECT_TRUE(printersim::ParseIpxNetwork("0000abCD", network));
    EXPECT_EQ(network, 0x0000ABCDu);
    for (const char *bad : {"", "1234567", "123456789", "0000abcg", "-0000abc"}) {
        network = 7;
        EXPECT_FALSE(printersim::ParseIpxNetwork(bad, network)) << bad;
        EXPECT_EQ(network, 7u);
    }
}

}  // namespace
