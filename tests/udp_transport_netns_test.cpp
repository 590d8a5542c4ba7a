// SPDX-License-Identifier: Apache-2.0
// The UDP transport on real sockets in a private network namespace: an agent
// bound at 127.0.0.1:161, replies, timeouts, failed reads and WinSock's
// connection errors, and set-up failures that stay silent until Bind.
#include "transport/udp_transport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/winsock.h"
#include "tests/support/debug_capture.h"
#include "tests/support/hex.h"
#include "tests/support/udp_peer.h"

namespace snmphelper {
namespace {

using test::DebugOutputCapture;
using test::Hex;
using test::ToHex;
using test::UdpPeer;

const std::vector<std::uint8_t> kRequest = Hex("30 0C 02 01 00 04 06 70 75 62 6C 69 63");
const std::vector<std::uint8_t> kReply = Hex("30 0B 02 01 00 04 06 70 75 62 6C 69 63 A2");
constexpr std::uint8_t kSentinel = 0x5A;

// What Receive wrote, with sentinels that show what it left alone.
struct Received {
    std::int32_t result = -1;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(2048, kSentinel);
    std::uint32_t length = 0xDEAD;
    std::uint8_t sender[kSenderAddressRoom] = {kSentinel, kSentinel, kSentinel, kSentinel};
    std::uint16_t port = 0xBEEF;

    std::string Bytes() const { return ToHex(buffer.data(), length); }
    bool Untouched() const {
        return length == 0xDEAD && port == 0xBEEF && sender[0] == kSentinel;
    }
};

Received ReceiveFrom(DatagramTransport &transport, std::uint32_t room = 2048) {
    Received r;
    r.result = ResultCode(transport.Receive(r.buffer.data(), room, &r.length, r.sender, &r.port));
    return r;
}

// Baselines of the WinSock layer, to show a transport gives back what it took.
class UdpTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        startups_ = winsock::StartupCount();
        sockets_ = winsock::OpenSocketCount();
    }
    void TearDown() override {
        winsock::FailSocketCall(winsock::SocketCall::SendTo, 0, 0);
        winsock::FailSocketCall(winsock::SocketCall::RecvFrom, 0, 0);
        EXPECT_EQ(winsock::StartupCount(), startups_);
        EXPECT_EQ(winsock::OpenSocketCount(), sockets_);
    }

    // Sends the request to the agent and returns the port it came from.
    std::uint16_t SendRequest(UdpTransport &transport, UdpPeer &agent) {
        EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(),
                                                   static_cast<std::uint32_t>(kRequest.size()), "127.0.0.1")),
                  0);
        const auto request = agent.Receive();
        EXPECT_TRUE(request.has_value());
        if (!request) return 0;
        EXPECT_EQ(ToHex(request->bytes), ToHex(kRequest));
        return request->fromPort;
    }

    int startups_ = 0;
    std::size_t sockets_ = 0;
};

TEST_F(UdpTransportTest, RequestToTheAgentAndItsReply) {
    UdpPeer agent(kSnmpAgentPort);
    ASSERT_TRUE(agent.Bound());
    UdpTransport transport(1, 1, 0);
    EXPECT_TRUE(transport.IsOpen());
    EXPECT_EQ(ResultCode(transport.Bind(0)), 0);
    EXPECT_EQ(transport.LocalPort(), 0U);  // the port as requested, not as chosen
    const std::uint16_t clientPort = SendRequest(transport, agent);
    ASSERT_TRUE(agent.SendTo(kReply, clientPort));

    DebugOutputCapture debug;
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.Bytes(), ToHex(kReply));
    EXPECT_EQ(ToHex(r.sender, 4), "7F 00 00 01");
    EXPECT_EQ(r.port, kSnmpAgentPort);
    EXPECT_TRUE(debug.Lines().empty()) << "nothing is logged on success";
}

TEST_F(UdpTransportTest, SendToAnotherPortAndReplyFromAnotherPort) {
    UdpPeer trapPort(162);
    UdpPeer stranger;
    UdpTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    ASSERT_EQ(ResultCode(transport.SendTo(kRequest.data(), static_cast<std::uint32_t>(kRequest.size()),
                                          "127.0.0.1", 162)),
              0);
    const auto request = trapPort.Receive();
    ASSERT_TRUE(request.has_value());
    ASSERT_TRUE(stranger.SendTo(kReply, request->fromPort));
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.port, stranger.Port());
}

TEST_F(UdpTransportTest, BindToAGivenPort) {
    const std::uint16_t port = test::UnusedUdpPort();
    UdpTransport transport(1, 1, 0);
    EXPECT_EQ(ResultCode(transport.Bind(port)), 0);
    EXPECT_EQ(transport.LocalPort(), port);
    UdpPeer peer;
    ASSERT_TRUE(peer.SendTo(kReply, port));
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.port, peer.Port());
}

TEST_F(UdpTransportTest, NothingArrivesWithinTheWaits) {
    // A timeout of 0 seconds: each wait only looks.
    for (const std::uint32_t attempts : {1U, 2U}) {
        UdpTransport transport(attempts, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
        const Received r = ReceiveFrom(transport);
        EXPECT_EQ(r.result, CPH_DATAGRAM_RECV_TIMEOUT);
        EXPECT_TRUE(r.Untouched());
    }
}

// Sends an oversize datagram (and then `followUp`, if any) to the transport.
void SendOversizeTo(UdpTransport &transport, UdpPeer &agent, const std::vector<std::uint8_t> &followUp) {
    ASSERT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), static_cast<std::uint32_t>(kRequest.size()),
                                               "127.0.0.1")),
              0);
    const auto request = agent.Receive();
    ASSERT_TRUE(request.has_value());
    ASSERT_TRUE(agent.SendTo(std::vector<std::uint8_t>(3000, 0x30), request->fromPort));
    if (!followUp.empty()) {
        ASSERT_TRUE(agent.SendTo(followUp, request->fromPort));
    }
}

TEST_F(UdpTransportTest, OversizeDatagramIsAFailedRead) {
    UdpPeer agent(kSnmpAgentPort);
    UdpTransport transport(1, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    SendOversizeTo(transport, agent, {});
    DebugOutputCapture debug;
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, CPH_DATAGRAM_RECV_FAILED);
    EXPECT_TRUE(r.Untouched());
    // The sender's address field printed as a number: 127.0.0.1 in memory
    // order read as a little-endian word on this host.
    const std::vector<std::string> expected = {"socket error", "100007f",
                                               "CPH_DATAGRAM_RECV_FAILED", "ret val = 10040"};
    EXPECT_EQ(debug.Lines(), expected);
}

TEST_F(UdpTransportTest, FailedReadThenTimeoutIsStillAFailedRead) {
    UdpPeer agent(kSnmpAgentPort);
    UdpTransport transport(2, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    SendOversizeTo(transport, agent, {});
    // The first wait reads and fails, the second finds nothing.
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, CPH_DATAGRAM_RECV_FAILED);
    EXPECT_TRUE(r.Untouched());
}

TEST_F(UdpTransportTest, FailedReadThenADatagramSucceeds) {
    UdpPeer agent(kSnmpAgentPort);
    UdpTransport transport(2, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    SendOversizeTo(transport, agent, kReply);
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.Bytes(), ToHex(kReply));
}

TEST_F(UdpTransportTest, PortUnreachableEndsTheReceiveAsClosed) {
    UdpTransport transport(2, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    ASSERT_EQ(ResultCode(transport.SendTo(kRequest.data(), static_cast<std::uint32_t>(kRequest.size()),
                                          "127.0.0.1", test::UnusedUdpPort())),
              0);
    DebugOutputCapture debug;
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, CPH_SOCKET_CLOSED);
    EXPECT_TRUE(r.Untouched());
    ASSERT_EQ(debug.Lines().size(), 2U);
    EXPECT_EQ(debug.Lines()[0], "socket error");
}

TEST_F(UdpTransportTest, ConnectionErrorsOfASendCloseAtOnce) {
    UdpPeer agent(kSnmpAgentPort);
    for (const int error : {winsock::WSAECONNRESET, winsock::WSAECONNABORTED}) {
        UdpTransport transport(3, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
        winsock::FailSocketCall(winsock::SocketCall::SendTo, error, 1);
        EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), 4, "127.0.0.1")), CPH_SOCKET_CLOSED);
        // No further attempt followed.
        EXPECT_FALSE(agent.Receive(0).has_value());
    }
}

TEST_F(UdpTransportTest, OtherSendErrorsAreRetriedUpToTheAttempts) {
    UdpPeer agent(kSnmpAgentPort);
    {
        UdpTransport transport(3, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
        winsock::FailSocketCall(winsock::SocketCall::SendTo, winsock::WSAENOBUFS, 2);
        EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), 4, "127.0.0.1")), 0);
        EXPECT_TRUE(agent.Receive().has_value());
    }
    {
        UdpTransport transport(3, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
        winsock::FailSocketCall(winsock::SocketCall::SendTo, winsock::WSAENOBUFS, 3);
        EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), 4, "127.0.0.1")),
                  CPH_DATAGRAM_SEND_FAILED);
        EXPECT_FALSE(agent.Receive(0).has_value());
    }
}

// Several datagrams at once: in order, and the one that does not go has the
// attempts and the status a send of its own would have, the call that
// carried the rest counting as its first attempt.
TEST_F(UdpTransportTest, SendingSeveralAtOnceKeepsEachOnesAttempts) {
    UdpPeer agent(kSnmpAgentPort);
    const std::uint32_t loopback = winsock::inet_addr("127.0.0.1");
    const std::uint32_t broadcast = winsock::inet_addr("255.255.255.255");
    const std::vector<std::uint8_t> payloads = Hex("01 02 03");
    const auto datagram = [&](std::size_t i, std::uint32_t address) {
        return UdpTransport::AddressedDatagram{&payloads[i], 1, address, kSnmpAgentPort};
    };
    const auto arrivals = [&agent] {
        std::string seen;
        while (const auto arrived = agent.Receive(200)) seen += ToHex(arrived->bytes) + " ";
        return seen;
    };
    struct Case {
        const char *name;
        bool refuseSecond;  // a broadcast, which the socket may not send
        int injected;       // WinSock error of the first sends tried, how many
        int injections;
        std::size_t sent;
        std::int32_t failure;
        const char *arrived;
    };
    const Case cases[] = {
        {"all go", false, 0, 0, 3, 0, "01 02 03 "},
        {"the second refused", true, 0, 0, 1, CPH_DATAGRAM_SEND_FAILED, "01 "},
        {"the first goes at its last attempt", false, winsock::WSAENOBUFS, 2, 3, 0, "01 02 03 "},
        {"the first out of attempts", false, winsock::WSAENOBUFS, 3, 0, CPH_DATAGRAM_SEND_FAILED, ""},
        {"the connection lost", false, winsock::WSAECONNRESET, 1, 0, CPH_SOCKET_CLOSED, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        UdpTransport transport(3, 0, 0);
        ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
        const UdpTransport::AddressedDatagram list[] = {datagram(0, loopback),
                                                        datagram(1, c.refuseSecond ? broadcast : loopback),
                                                        datagram(2, loopback)};
        winsock::FailSocketCall(winsock::SocketCall::SendTo, c.injected, c.injections);
        TransportStatus failure = TransportStatus::Ok;
        EXPECT_EQ(transport.SendToAddresses(list, failure), c.sent);
        EXPECT_EQ(ResultCode(failure), c.failure);
        EXPECT_EQ(arrivals(), c.arrived);
        winsock::FailSocketCall(winsock::SocketCall::SendTo, 0, 0);
    }
    // A transport whose bind failed sends nothing.
    UdpTransport closed(3, 0, 0);
    ASSERT_EQ(ResultCode(closed.Bind(kSnmpAgentPort)), CPH_BIND_FAILED);
    const UdpTransport::AddressedDatagram one[] = {datagram(0, loopback)};
    TransportStatus failure = TransportStatus::Ok;
    EXPECT_EQ(closed.SendToAddresses(one, failure), 0U);
    EXPECT_EQ(ResultCode(failure), CPH_SOCKET_CLOSED);
    EXPECT_EQ(arrivals(), "");
}

TEST_F(UdpTransportTest, ConnectionErrorOfAReadClosesWithoutTheLastLines) {
    UdpPeer agent(kSnmpAgentPort);
    UdpTransport transport(2, 1, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    const std::uint16_t clientPort = SendRequest(transport, agent);
    ASSERT_TRUE(agent.SendTo(kReply, clientPort));
    winsock::FailSocketCall(winsock::SocketCall::RecvFrom, winsock::WSAECONNABORTED, 1);
    DebugOutputCapture debug;
    EXPECT_EQ(ReceiveFrom(transport).result, CPH_SOCKET_CLOSED);
    EXPECT_EQ(debug.Lines().size(), 2U);
}

TEST_F(UdpTransportTest, UnparsableAddressIsARefusedBroadcast) {
    UdpTransport transport(1, 0, 0);
    ASSERT_EQ(ResultCode(transport.Bind(0)), 0);
    EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), 4, "printer-1")), CPH_DATAGRAM_SEND_FAILED);
    EXPECT_EQ(ResultCode(transport.SendBroadcast(kRequest.data(), 4, kSnmpAgentPort)),
              CPH_DATAGRAM_SEND_FAILED);
}

TEST_F(UdpTransportTest, BindFailureClosesTheTransport) {
    UdpPeer agent(kSnmpAgentPort);
    UdpTransport transport(1, 1, 0);
    EXPECT_EQ(ResultCode(transport.Bind(kSnmpAgentPort)), CPH_BIND_FAILED);
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(winsock::OpenSocketCount(), sockets_);  // its socket is closed
    EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), 4, "127.0.0.1")), CPH_SOCKET_CLOSED);
    const Received r = ReceiveFrom(transport);
    EXPECT_EQ(r.result, CPH_SOCKET_CLOSED);
    EXPECT_TRUE(r.Untouched());
    std::uint8_t address[4];
    EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), CPH_SOCKET_CLOSED);
    EXPECT_FALSE(agent.Receive(0).has_value());
    // It cannot be reopened.
    EXPECT_EQ(ResultCode(transport.Bind(0)), CPH_BIND_FAILED);
}

TEST_F(UdpTransportTest, SetUpFailuresShowOnlyAtBind) {
    struct Case {
        winsock::SocketCall call;
        std::uint32_t options;
    };
    const Case cases[] = {
        {winsock::SocketCall::Socket, 0},
        {winsock::SocketCall::NonBlocking, 0},
        {winsock::SocketCall::SetOption, kTransportAllowBroadcast},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.call));
        winsock::FailSocketCall(c.call, winsock::WSAEMFILE, 1);
        UdpTransport transport(1, 1, c.options);
        EXPECT_TRUE(transport.IsOpen());
        EXPECT_EQ(winsock::OpenSocketCount(), sockets_);  // no socket kept
        EXPECT_EQ(ResultCode(transport.Bind(0)), CPH_BIND_FAILED);
        EXPECT_FALSE(transport.IsOpen());
        EXPECT_EQ(ResultCode(transport.SendToAgent(kRequest.data(), 4, "127.0.0.1")), CPH_SOCKET_CLOSED);
        EXPECT_EQ(ReceiveFrom(transport).result, CPH_SOCKET_CLOSED);
    }
}

TEST_F(UdpTransportTest, BroadcastOptionIsAccepted) {
    UdpTransport transport(1, 0, kTransportAllowBroadcast);
    EXPECT_EQ(transport.Options(), kTransportAllowBroadcast);
    EXPECT_EQ(ResultCode(transport.Bind(0)), 0);
    EXPECT_EQ(winsock::OpenSocketCount(), sockets_ + 1);
}

TEST_F(UdpTransportTest, LocalAddressComesFromTheHostName) {
    UdpTransport transport(1, 0, 0);
    std::uint8_t address[4] = {};
    const auto expected = test::FirstIpv4AddressOf(test::HostName().c_str());
    if (expected) {
        EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), 1);  // before any Bind
        EXPECT_EQ(ToHex(address, 4), ToHex(*expected));
    } else {
        EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), 0);
    }
    winsock::FailSocketCall(winsock::SocketCall::HostName, winsock::WSAEFAULT, 1);
    EXPECT_EQ(LocalAddressResult(transport.GetLocalAddress(address)), 0);
}

}  // namespace
}  // namespace snmphelper
