// SPDX-License-Identifier: Apache-2.0
// Address-text parsing shared by the transports, and the transports that
// this build cannot carry (IPX, DLC) taking their failure paths.
#include "transport/datagram_transport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dlc/dlc_transport.h"
#include "tests/support/hex.h"
#include "transport/ipx_transport.h"

namespace snmphelper {
namespace {

using test::Hex;
using test::ToHex;

TEST(HexDigitValue, DigitsLettersAndEverythingElse) {
    for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(HexDigitValue(c), c - '0');
    for (char c = 'A'; c <= 'F'; ++c) EXPECT_EQ(HexDigitValue(c), c - 'A' + 10);
    for (char c = 'a'; c <= 'f'; ++c) EXPECT_EQ(HexDigitValue(c), c - 'a' + 10);
    for (const char c : {'\0', ' ', '.', ':', '/', '@', 'G', 'g', '`', 'z', '\xFF'}) {
        EXPECT_EQ(HexDigitValue(c), 255) << static_cast<int>(c);
    }
}

struct HexToBytesCase {
    const char *name;
    const char *text;
    std::uint32_t count;
    const char *expected;
};

const HexToBytesCase kHexToBytesCases[] = {
    {"pairs, mixed case", "0A1b", 2, "0A 1B"},
    {"non-digit pair: (255 x 16 + 255) mod 256", "zz", 1, "EF"},
    {"digit then terminating zero: 0 x 16 + 255", "0", 1, "FF"},
    {"empty text", "", 2, "EF EF"},
    // Network 00-00-00-01, node 00-A0-C9-12-34-56 (an IPX address text).
    {"IPX address", "0000000100A0C9123456", 10, "00 00 00 01 00 A0 C9 12 34 56"},
    {"IPX address, lower case", "0000000a00a0c9123456", 10, "00 00 00 0A 00 A0 C9 12 34 56"},
    // A separator is read as a digit of value 255 and shifts the node.
    {"separator not skipped", "00000001:00A0C91234", 10, "00 00 00 01 F0 0A 0C 91 23 3F"},
    {"characters after count pairs ignored", "00000000FFFFFFFFFFFFF", 10,
     "00 00 00 00 FF FF FF FF FF FF"},
    {"DLC adapter address", "020000000001", 6, "02 00 00 00 00 01"},
    // The text ends inside the 3rd byte: nothing after it is read.
    {"short text", "0A1B2", 4, "0A 1B 1F EF"},
    {"count 0 writes nothing", "0A", 0, ""},
};

TEST(HexToBytes, Vectors) {
    for (const HexToBytesCase &c : kHexToBytesCases) {
        SCOPED_TRACE(c.name);
        // Exactly the text and its terminator, so a read past it is caught
        // by the address sanitizer.
        const std::size_t textSize = std::strlen(c.text) + 1;
        const auto text = std::make_unique<char[]>(textSize);
        std::memcpy(text.get(), c.text, textSize);
        std::vector<std::uint8_t> output(c.count + 1, 0x5A);
        HexToBytes(output.data(), text.get(), c.count);
        EXPECT_EQ(ToHex(output.data(), c.count), ToHex(Hex(c.expected)));
        EXPECT_EQ(output[c.count], 0x5A) << "wrote past count";
    }
}

TEST(HexToBytes, NullTextCountsAsEmpty) {
    std::uint8_t output[2] = {};
    HexToBytes(output, nullptr, 2);
    EXPECT_EQ(ToHex(output, 2), "EF EF");
}

const std::uint8_t kRequest[] = {0x30, 0x00};

// An IPX transport on a host where IPX has no interface to run on.
class IpxTransportWithoutInterface : public ::testing::Test {
protected:
    void SetUp() override { setenv("SNMPHELPER_IPX_INTERFACE", "nosuch0", 1); }
    void TearDown() override { unsetenv("SNMPHELPER_IPX_INTERFACE"); }
};

TEST_F(IpxTransportWithoutInterface, BindFailsAndEverythingAfterIsClosed) {
    IpxTransport transport(1, 0, 0);
    EXPECT_TRUE(transport.IsOpen());
    EXPECT_EQ(ResultCode(transport.Bind(0)), CPH_BIND_FAILED);
    EXPECT_FALSE(transport.IsOpen());
    std::uint8_t buffer[16];
    std::uint32_t length = 77;
    std::uint8_t sender[kSenderAddressRoom] = {};
    std::uint16_t port = 77;
    EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest, sizeof kRequest, "0000000100A0C9123456")),
              CPH_SOCKET_CLOSED);
    EXPECT_EQ(ResultCode(transport.SendBroadcast(kRequest, sizeof kRequest, kIpxAgentSocket)),
              CPH_SOCKET_CLOSED);
    EXPECT_EQ(ResultCode(transport.Receive(buffer, sizeof buffer, &length, sender, &port)),
              CPH_SOCKET_CLOSED);
    EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(sender)), CPH_SOCKET_CLOSED);
    EXPECT_EQ(length, 77U);
    EXPECT_EQ(port, 77);
}

TEST_F(IpxTransportWithoutInterface, UnboundTransportFailsEachOperation) {
    IpxTransport transport(1, 0, 0);
    std::uint8_t buffer[16];
    std::uint32_t length = 0;
    std::uint8_t sender[kSenderAddressRoom] = {};
    std::uint16_t port = 0;
    EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest, sizeof kRequest, "0000000100A0C9123456")),
              CPH_DATAGRAM_SEND_FAILED);
    EXPECT_EQ(ResultCode(transport.Receive(buffer, sizeof buffer, &length, sender, &port)),
              CPH_DATAGRAM_RECV_TIMEOUT);
    EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(sender)), 0);
}

// Callers receive each status as the fixed number of its transport: the
// 20001 series of the WinSock transports, the DLC interface's own results.
TEST(TransportStatus, ResultCodesAreTheFixedNumbers) {
    struct Row {
        TransportStatus status;
        std::int32_t code;
        std::int32_t localAddressResult;
    };
    const Row rows[] = {
        {TransportStatus::Ok, 0, 1},
        {TransportStatus::ReceiveFailed, 20001, 0},
        {TransportStatus::ReceiveTimedOut, 20002, 0},
        {TransportStatus::SendFailed, 20004, 0},
        {TransportStatus::BindFailed, 20006, 0},
        {TransportStatus::Closed, 20009, 20009},
        {TransportStatus::DlcFailed, 1, 0},
        {TransportStatus::DlcNoMemory, 2, 0},
        {TransportStatus::DlcWrongAdapter, 3, 0},
        {TransportStatus::DlcTimedOut, 4, 0},
        {TransportStatus::DlcFrameTooLarge, 5, 0},
        {TransportStatus::DlcLinkFailure, 7, 0},
        {TransportStatus::NoLocalAddress, 0, 0},
    };
    for (const Row &row : rows) {
        const int index = static_cast<int>(row.status);
        EXPECT_EQ(ResultCode(row.status), row.code) << index;
        EXPECT_EQ(LocalAddressResult(row.status), row.localAddressResult) << index;
    }
}

TEST(DlcTransport, NoDlcHereSoEveryOperationAnswersOne) {
    std::unique_ptr<DatagramTransport> transport = std::make_unique<DlcTransport>(1, 3, 0);
    EXPECT_EQ(transport->TimeoutSeconds(), 3);
    EXPECT_EQ(ResultCode(transport->Bind(0)), 1);
    EXPECT_EQ(ResultCode(transport->SendToAgent(kRequest, sizeof kRequest, "020000000001")), 1);
    EXPECT_EQ(ResultCode(transport->SendTo(kRequest, sizeof kRequest, "020000000001", 0x0A)), 1);
    EXPECT_EQ(ResultCode(transport->SendBroadcast(kRequest, sizeof kRequest, 0x0A)), 1);
    std::uint8_t buffer[16];
    std::uint32_t length = 77;
    std::uint8_t sender[kSenderAddressRoom];
    std::memset(sender, 0x5A, sizeof sender);
    std::uint16_t port = 77;
    EXPECT_EQ(ResultCode(transport->Receive(buffer, sizeof buffer, &length, sender, &port)), 1);
    EXPECT_EQ(length, 77U);
    EXPECT_EQ(port, 77);
    // The adapter address of a machine without DLC: six zero bytes, result 1.
    EXPECT_EQ(LocalAddressResult(transport->GetLocalAddress(sender)), 1);
    EXPECT_EQ(ToHex(sender, sizeof sender), "00 00 00 00 00 00 5A 5A 5A 5A");
}

}  // namespace
}  // namespace snmphelper
