// SPDX-License-Identifier: Apache-2.0
// IPX sockets through the WinSock layer, against raw frames on a veth pair
// in a private network namespace: the four framings both ways, what is and
// is not taken as ours, socket numbers shared between processes, and
// WinSock's answers for broadcast, size, blocking and select.
#include "wsock32/winsock_internal.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "wsock32/ipx_socket.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"
#include "tests/support/raw_frames.h"
#include "tests/support/udp_peer.h"
#include "tests/support/veth_pair.h"

namespace snmphelper::winsock {
namespace {

using ipx::FrameType;
using test::Hex;
using test::MacAddress;
using test::RawFrames;
using test::ToHex;
using test::VethPair;
using Bytes = std::vector<std::uint8_t>;
using Network = std::array<std::uint8_t, 4>;

constexpr std::uint16_t kVersion11 = MakeVersion(1, 1);
constexpr MacAddress kOurMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr MacAddress kPeerMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
constexpr MacAddress kOtherMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x03};
constexpr MacAddress kBroadcastMac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr MacAddress kZeroMac = {};
constexpr Network kThisNetwork = {};
constexpr std::uint16_t kOurSocket = 0x4444;
constexpr std::uint16_t kAgentSocket = 0x900F;  // RFC 1420
constexpr int kSnmpProtocol = NSPROTO_IPX + 4;  // RFC 1420's packet type

struct IpxEnd {
    Network network;
    MacAddress node;
    std::uint16_t socket;
};

void Put16(Bytes &out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// An IPX datagram as a peer writes it; `ipxLength` overrides the length field.
Bytes IpxPacket(const IpxEnd &to, const IpxEnd &from, const Bytes &data, int ipxLength = -1) {
    Bytes out;
    Put16(out, 0xFFFF);
    Put16(out, ipxLength >= 0 ? static_cast<unsigned>(ipxLength) : 30U + unsigned(data.size()));
    out.push_back(0);
    out.push_back(4);
    for (const IpxEnd *end : {&to, &from}) {
        out.insert(out.end(), end->network.begin(), end->network.end());
        out.insert(out.end(), end->node.begin(), end->node.end());
        Put16(out, end->socket);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The octets that frame a datagram of `ipxSize` octets; `lengthDelta`
// changes the 802.3 length.
Bytes Framing(FrameType type, std::size_t ipxSize, int lengthDelta = 0) {
    Bytes out;
    const auto length = [&](std::size_t header) {
        Put16(out, static_cast<unsigned>(static_cast<int>(header + ipxSize) + lengthDelta));
    };
    switch (type) {
    case FrameType::EthernetII: Put16(out, 0x8137); break;
    case FrameType::Novell8023: length(0); break;
    case FrameType::Llc8022:
        length(3);
        out.insert(out.end(), {0xE0, 0xE0, 0x03});
        break;
    case FrameType::Snap:
        length(8);
        out.insert(out.end(), {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x37});
        break;
    }
    return out;
}

Bytes Frame(FrameType type, const MacAddress &to, const MacAddress &from, const Bytes &ipx,
            std::size_t padTo = 0, int lengthDelta = 0) {
    Bytes out(to.begin(), to.end());
    out.insert(out.end(), from.begin(), from.end());
    const Bytes framing = Framing(type, ipx.size(), lengthDelta);
    out.insert(out.end(), framing.begin(), framing.end());
    out.insert(out.end(), ipx.begin(), ipx.end());
    if (out.size() < padTo) out.resize(padTo, 0);
    return out;
}

constexpr FrameType kAllFrames[] = {FrameType::EthernetII, FrameType::Novell8023,
                                    FrameType::Llc8022, FrameType::Snap};

SOCKADDR_IPX Record(const Network &network, const MacAddress &node, std::uint16_t socketNumber) {
    SOCKADDR_IPX record{};
    record.sa_family = static_cast<std::int16_t>(AF_IPX);
    std::memcpy(record.sa_netnum, network.data(), 4);
    std::memcpy(record.sa_nodenum, node.data(), 6);
    record.sa_socket = htons(socketNumber);
    return record;
}

const sockaddr *Generic(const SOCKADDR_IPX &record) {
    return reinterpret_cast<const sockaddr *>(&record);
}

std::string RecordText(const SOCKADDR_IPX &record) {
    return ToHex(reinterpret_cast<const std::uint8_t *>(&record), sizeof record);
}

// Whether a frame carries IPX at all (the peer also sees IPv6 chatter).
bool IsIpxFrame(const Bytes &frame) {
    if (frame.size() < 16) return false;
    const unsigned type = frame[12] << 8 | frame[13];
    return type == 0x8137 || (type <= 1500 && (frame[14] == 0xFF || frame[14] == 0xE0 ||
                                              frame[14] == 0xAA));
}

class IpxSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        veth_ = std::make_unique<VethPair>("ipxa", "ipxb", kOurMac, kPeerMac);
        ASSERT_TRUE(veth_->Ready()) << veth_->Error();
        ::setenv("SNMPHELPER_IPX_INTERFACE", "ipxa", 1);
        ::unsetenv("SNMPHELPER_IPX_NETWORK");
        ::unsetenv("SNMPHELPER_IPX_FRAME");
        peer_ = std::make_unique<RawFrames>("ipxb");
        ASSERT_TRUE(peer_->Open()) << peer_->Error();
        WSADATA data;
        ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    }
    void TearDown() override {
        while (StartupCount() > 0) WSACleanup();
        EXPECT_EQ(OpenSocketCount(), 0U);
        ::unsetenv("SNMPHELPER_IPX_INTERFACE");
        ::unsetenv("SNMPHELPER_IPX_NETWORK");
        ::unsetenv("SNMPHELPER_IPX_FRAME");
    }

    // A non-blocking IPX socket, bound to `socketNumber` unless it is 0.
    static SOCKET Open(std::uint16_t socketNumber = kOurSocket) {
        const SOCKET s = socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol);
        EXPECT_NE(s, INVALID_SOCKET) << WSAGetLastError();
        std::uint32_t on = 1;
        EXPECT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
        if (socketNumber != 0) {
            const SOCKADDR_IPX local = Record(kThisNetwork, kZeroMac, socketNumber);
            EXPECT_EQ(bind(s, Generic(local), sizeof local), 0) << WSAGetLastError();
        }
        return s;
    }

    static bool WaitReadable(SOCKET s, std::int32_t microseconds = 1'000'000) {
        fd_set readSet;
        FdSetClear(readSet);
        FdSetAdd(s, readSet);
        const timeval timeout{0, microseconds};
        return select(0, &readSet, nullptr, nullptr, &timeout) == 1;
    }

    // The next datagram for `s` within a second; its data, or "none".
    static std::string ReceiveText(SOCKET s, SOCKADDR_IPX *from = nullptr) {
        if (!WaitReadable(s)) return "none";
        char buffer[2048];
        SOCKADDR_IPX sender{};
        int senderLength = sizeof sender;
        const int received = recvfrom(s, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr *>(&sender), &senderLength);
        if (received < 0) return "error " + std::to_string(WSAGetLastError());
        EXPECT_EQ(senderLength, 14);
        if (from != nullptr) *from = sender;
        return ToHex(reinterpret_cast<const std::uint8_t *>(buffer), std::size_t(received));
    }

    // Nothing more is queued for `s` (it is non-blocking).
    static void ExpectNothingQueued(SOCKET s) {
        char buffer[64];
        EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    }

    std::optional<Bytes> PeerReceives() {
        return peer_->ReceiveMatching(IsIpxFrame, 5000);
    }

    // A frame from the peer to our socket and node.
    static Bytes ToUs(FrameType type, const Bytes &data, const Network &network = kThisNetwork,
                      std::uint16_t socketNumber = kOurSocket) {
        return Frame(type, kOurMac, kPeerMac,
                     IpxPacket({network, kOurMac, socketNumber},
                               {{1, 2, 3, 4}, kPeerMac, kAgentSocket}, data));
    }

    std::unique_ptr<VethPair> veth_;
    std::unique_ptr<RawFrames> peer_;
};

struct SendCase {
    const char *frameName;
    const char *network;  // SNMPHELPER_IPX_NETWORK, or null
    const char *expected;
};

// The whole frame, field by field. 802.3 lengths count the LLC or SNAP
// header and the 35-octet datagram.
const SendCase kSendCases[] = {
    {"ethernet_ii", nullptr,
     "02 00 00 00 00 02  02 00 00 00 00 01  81 37"
     "  FF FF 00 23 00 04  01 02 03 04 02 00 00 00 00 02 90 0F"
     "  00 00 00 00 02 00 00 00 00 01 44 44  30 03 02 01 00"},
    {nullptr /* the default */, "0A0B0C0D",
     "02 00 00 00 00 02  02 00 00 00 00 01  81 37"
     "  FF FF 00 23 00 04  01 02 03 04 02 00 00 00 00 02 90 0F"
     "  0A 0B 0C 0D 02 00 00 00 00 01 44 44  30 03 02 01 00"},
    {"802.3", nullptr,
     "02 00 00 00 00 02  02 00 00 00 00 01  00 23"
     "  FF FF 00 23 00 04  01 02 03 04 02 00 00 00 00 02 90 0F"
     "  00 00 00 00 02 00 00 00 00 01 44 44  30 03 02 01 00"},
    {"802.2", "0a0b0c0d",
     "02 00 00 00 00 02  02 00 00 00 00 01  00 26  E0 E0 03"
     "  FF FF 00 23 00 04  01 02 03 04 02 00 00 00 00 02 90 0F"
     "  0A 0B 0C 0D 02 00 00 00 00 01 44 44  30 03 02 01 00"},
    {"snap", nullptr,
     "02 00 00 00 00 02  02 00 00 00 00 01  00 2B  AA AA 03 00 00 00 81 37"
     "  FF FF 00 23 00 04  01 02 03 04 02 00 00 00 00 02 90 0F"
     "  00 00 00 00 02 00 00 00 00 01 44 44  30 03 02 01 00"},
};

TEST_F(IpxSocketTest, SendsEachFrameType) {
    for (const SendCase &c : kSendCases) {
        SCOPED_TRACE(c.frameName != nullptr ? c.frameName : "default");
        if (c.frameName != nullptr) ::setenv("SNMPHELPER_IPX_FRAME", c.frameName, 1);
        if (c.network != nullptr) ::setenv("SNMPHELPER_IPX_NETWORK", c.network, 1);
        const SOCKET s = Open();
        const Bytes data = Hex("30 03 02 01 00");
        const SOCKADDR_IPX to = Record({1, 2, 3, 4}, kPeerMac, kAgentSocket);
        EXPECT_EQ(sendto(s, reinterpret_cast<const char *>(data.data()), int(data.size()), 0,
                         Generic(to), sizeof to),
                  int(data.size()));
        const std::optional<Bytes> frame = PeerReceives();
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(ToHex(*frame), ToHex(Hex(c.expected)));
        EXPECT_EQ(closesocket(s), 0);
        ::unsetenv("SNMPHELPER_IPX_FRAME");
        ::unsetenv("SNMPHELPER_IPX_NETWORK");
    }
}

// Whatever the framing sent, all four are received; a frame padded to
// Ethernet's 60 octets gives only what the IPX length covers.
TEST_F(IpxSocketTest, ReceivesEachFrameTypePaddedOrNot) {
    ::setenv("SNMPHELPER_IPX_FRAME", "802.2", 1);
    const SOCKET s = Open();
    const Bytes data = Hex("30 03 02 01 07");
    for (const FrameType type : kAllFrames) {
        for (const std::size_t padTo : {std::size_t{0}, std::size_t{60}}) {
            SCOPED_TRACE(std::string(ipx::FrameTypeName(type)) + " padded to " +
                         std::to_string(padTo));
            const Bytes frame = Frame(type, kOurMac, kPeerMac,
                                      IpxPacket({kThisNetwork, kOurMac, kOurSocket},
                                                {{1, 2, 3, 4}, kPeerMac, kAgentSocket}, data),
                                      padTo);
            ASSERT_TRUE(peer_->Send(frame));
            SOCKADDR_IPX from{};
            EXPECT_EQ(ReceiveText(s, &from), ToHex(data));
            EXPECT_EQ(RecordText(from), RecordText(Record({1, 2, 3, 4}, kPeerMac, kAgentSocket)));
            ExpectNothingQueued(s);
        }
    }
}

// Frames that are not for this socket or not whole: each is followed by a
// good one, which must be the only datagram taken.
TEST_F(IpxSocketTest, TakesOnlyWholeDatagramsForThisSocket) {
    ::setenv("SNMPHELPER_IPX_NETWORK", "0A0B0C0D", 1);
    const SOCKET s = Open();
    const Network ours = {0x0A, 0x0B, 0x0C, 0x0D};
    const Bytes data = Hex("DE AD BE EF");
    const IpxEnd peer = {{1, 2, 3, 4}, kPeerMac, kAgentSocket};
    std::vector<std::pair<std::string, Bytes>> bad;
    for (const FrameType type : kAllFrames) {
        const std::string name = ipx::FrameTypeName(type);
        bad.push_back({name + " another socket", ToUs(type, data, ours, kOurSocket + 1)});
        bad.push_back({name + " another node",
                       Frame(type, kOurMac, kPeerMac,
                             IpxPacket({ours, kOtherMac, kOurSocket}, peer, data))});
        bad.push_back({name + " another network", ToUs(type, data, {1, 2, 3, 4})});
        bad.push_back({name + " our own node and socket as source",
                       Frame(type, kOurMac, kPeerMac,
                             IpxPacket({ours, kOurMac, kOurSocket}, {ours, kOurMac, kOurSocket},
                                       data))});
        const Bytes good = IpxPacket({ours, kOurMac, kOurSocket}, peer, data);
        bad.push_back({name + " IPX length past the frame",
                       Frame(type, kOurMac, kPeerMac,
                             IpxPacket({ours, kOurMac, kOurSocket}, peer, data, 35))});
        for (const int length : {0, 1, 29}) {
            bad.push_back({name + " IPX length " + std::to_string(length),
                           Frame(type, kOurMac, kPeerMac,
                                 IpxPacket({ours, kOurMac, kOurSocket}, peer, data, length))});
        }
        if (type != FrameType::EthernetII) {
            // Padding cannot lengthen a datagram past the 802.3 length.
            bad.push_back({name + " IPX length past the 802.3 length, padded",
                           Frame(type, kOurMac, kPeerMac,
                                 IpxPacket({ours, kOurMac, kOurSocket}, peer, data, 40), 60)});
            bad.push_back({name + " 802.3 length past the frame",
                           Frame(type, kOurMac, kPeerMac, good, 0, 1)});
            bad.push_back({name + " 802.3 length short of the datagram",
                           Frame(type, kOurMac, kPeerMac, good, 60, -1)});
        }
        // Cut at every octet after the Ethernet header.
        const Bytes whole = Frame(type, kOurMac, kPeerMac, good);
        for (std::size_t cut = 14; cut < whole.size(); ++cut) {
            bad.push_back({name + " cut at " + std::to_string(cut),
                           Bytes(whole.begin(), whole.begin() + long(cut))});
        }
    }
    Bytes otherType = ToUs(FrameType::EthernetII, data, ours);
    otherType[13] = 0x38;  // ethertype 8138
    bad.push_back({"another ethertype", otherType});
    Bytes otherSap = ToUs(FrameType::Llc8022, data, ours);
    otherSap[14] = otherSap[15] = 0xF0;
    bad.push_back({"NetBIOS SAPs", otherSap});

    for (const auto &[what, frame] : bad) ASSERT_TRUE(peer_->Send(frame)) << what;
    const Bytes marker = Hex("60 0D");
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, marker, ours)));
    EXPECT_EQ(ReceiveText(s), ToHex(marker)) << "a frame above was taken";
    ExpectNothingQueued(s);

    // Ours: our network, "this network" and the broadcast node.
    const std::pair<const char *, Bytes> good[] = {
        {"our network", ToUs(FrameType::Snap, Hex("01"), ours)},
        {"this network", ToUs(FrameType::Snap, Hex("02"), kThisNetwork)},
        {"broadcast",
         Frame(FrameType::Novell8023, kBroadcastMac, kPeerMac,
               IpxPacket({kThisNetwork, kBroadcastMac, kOurSocket}, peer, Hex("03")))},
    };
    for (const auto &[what, frame] : good) {
        ASSERT_TRUE(peer_->Send(frame));
        EXPECT_EQ(ReceiveText(s), ToHex(Bytes(frame.end() - 1, frame.end()))) << what;
    }
}

// Until it is told its network number, a host cannot tell its own network
// from another and takes what reaches its node.
TEST_F(IpxSocketTest, AnyNetworkUntilOursIsKnown) {
    const SOCKET s = Open();
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, Hex("0E"), {1, 2, 3, 4})));
    EXPECT_EQ(ReceiveText(s), "0E");
}

// lo hands a socket its own frames back; they are not replies. Another
// socket of this host still hears them.
TEST_F(IpxSocketTest, OwnEchoesOnLoopbackAreNotTaken) {
    ::setenv("SNMPHELPER_IPX_INTERFACE", "lo", 1);
    const SOCKET first = Open(0x4A00);
    const SOCKET second = Open(0x4A01);
    const Bytes data = Hex("EC 40");
    for (const std::uint16_t target : {std::uint16_t{0x4A00}, std::uint16_t{0x4A01}}) {
        const SOCKADDR_IPX to = Record(kThisNetwork, kZeroMac, target);
        EXPECT_EQ(sendto(first, reinterpret_cast<const char *>(data.data()), int(data.size()), 0,
                         Generic(to), sizeof to),
                  int(data.size()));
    }
    SOCKADDR_IPX from{};
    EXPECT_EQ(ReceiveText(second, &from), "EC 40");
    EXPECT_EQ(RecordText(from), RecordText(Record(kThisNetwork, kZeroMac, 0x4A00)));
    EXPECT_FALSE(WaitReadable(first, 200'000));
    ExpectNothingQueued(first);
    ExpectNothingQueued(second);  // the outgoing copy is not taken twice
}

TEST_F(IpxSocketTest, BroadcastNeedsTheOption) {
    const SOCKET s = Open();
    const SOCKADDR_IPX to = Record(kThisNetwork, kBroadcastMac, kAgentSocket);
    const char data[] = "\x30\x00";
    EXPECT_EQ(sendto(s, data, 2, 0, Generic(to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEACCES);
    const int on = 1;
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&on), sizeof on),
              0);
    EXPECT_EQ(sendto(s, data, 2, 0, Generic(to), sizeof to), 2);
    const std::optional<Bytes> frame = PeerReceives();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(ToHex(Bytes(frame->begin(), frame->begin() + 6)), ToHex(Bytes(6, 0xFF)));
    EXPECT_EQ(ToHex(Bytes(frame->begin() + 24, frame->begin() + 30)), ToHex(Bytes(6, 0xFF)));  // IPX node
}

TEST_F(IpxSocketTest, DatagramSizes) {
    ::setenv("SNMPHELPER_IPX_FRAME", "snap", 1);  // the framing with the least room
    const SOCKET s = Open();
    const SOCKADDR_IPX to = Record(kThisNetwork, kPeerMac, kAgentSocket);
    const std::vector<char> data(ipx::kLargestDatagram + 1, 'x');
    EXPECT_EQ(sendto(s, data.data(), int(data.size()), 0, Generic(to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(sendto(s, data.data(), int(data.size() - 1), 0, Generic(to), sizeof to),
              int(data.size() - 1));
    const std::optional<Bytes> frame = PeerReceives();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->size(), 1514U);

    // Longer than the buffer: the first part, WSAEMSGSIZE, and the rest is gone.
    Bytes longer(100);
    for (std::size_t i = 0; i < longer.size(); ++i) longer[i] = std::uint8_t(i);
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, longer)));
    ASSERT_TRUE(WaitReadable(s));
    char buffer[10] = {};
    SOCKADDR_IPX from{};
    int fromLength = sizeof from;
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(ToHex(reinterpret_cast<std::uint8_t *>(buffer), sizeof buffer),
              ToHex(Bytes(longer.begin(), longer.begin() + 10)));
    EXPECT_EQ(RecordText(from), RecordText(Record({1, 2, 3, 4}, kPeerMac, kAgentSocket)));
    ExpectNothingQueued(s);
}

// A frame for another socket wakes the packet socket but must not make the
// IPX socket readable.
TEST_F(IpxSocketTest, SelectOverIpxAndUdp) {
    const SOCKET ipxSocket = Open();
    const SOCKET udpSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = static_cast<std::int16_t>(AF_INET);
    local.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(bind(udpSocket, reinterpret_cast<const sockaddr *>(&local), sizeof local), 0);
    int length = sizeof local;
    ASSERT_EQ(getsockname(udpSocket, reinterpret_cast<sockaddr *>(&local), &length), 0);
    test::UdpPeer udpPeer;
    ASSERT_TRUE(udpPeer.Bound());

    const auto selectBoth = [&](fd_set &readSet) {
        FdSetClear(readSet);
        FdSetAdd(ipxSocket, readSet);
        FdSetAdd(udpSocket, readSet);
        const timeval timeout{0, 300'000};
        return select(0, &readSet, nullptr, nullptr, &timeout);
    };
    fd_set readSet;
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, Hex("01"), kThisNetwork, kOurSocket + 1)));
    EXPECT_EQ(selectBoth(readSet), 0);
    EXPECT_EQ(readSet.fd_count, 0U);

    ASSERT_TRUE(udpPeer.SendTo(Hex("02"), ntohs(local.sin_port)));
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::Snap, Hex("03"), kThisNetwork, kOurSocket + 2)));
    ASSERT_EQ(selectBoth(readSet), 1);
    EXPECT_TRUE(FdSetContains(udpSocket, readSet));

    ASSERT_TRUE(peer_->Send(ToUs(FrameType::Snap, Hex("04"))));
    ASSERT_EQ(selectBoth(readSet), 2);
    EXPECT_TRUE(FdSetContains(ipxSocket, readSet));
    char buffer[8];
    EXPECT_EQ(recvfrom(udpSocket, buffer, sizeof buffer, 0, nullptr, nullptr), 1);
    ASSERT_EQ(selectBoth(readSet), 1);
    EXPECT_TRUE(FdSetContains(ipxSocket, readSet));
    EXPECT_EQ(ReceiveText(ipxSocket), "04");
    EXPECT_EQ(selectBoth(readSet), 0);
}

TEST_F(IpxSocketTest, BlockingAndNonBlockingReceive) {
    const SOCKET s = Open();
    ExpectNothingQueued(s);
    std::uint32_t off = 0;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &off), 0);
    // A frame for another socket first: the blocking receive waits on.
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer_->Send(ToUs(FrameType::Llc8022, Hex("0A"), kThisNetwork, kOurSocket + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer_->Send(ToUs(FrameType::Llc8022, Hex("0B")));
    });
    char buffer[8];
    const int received = recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr);
    sender.join();
    ASSERT_EQ(received, 1);
    EXPECT_EQ(buffer[0], 0x0B);
}

// A closed socket's packet socket serves the next IPX socket: what arrived
// for the old one before the new one existed never reaches the new one.
TEST_F(IpxSocketTest, FramesForAClosedSocketNeverReachTheNextOne) {
    const SOCKET first = Open();
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, Hex("0A"))));
    // Left unread in the first socket's packet socket, not even sorted.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(closesocket(first), 0);
    const SOCKET second = Open();
    EXPECT_FALSE(WaitReadable(second, 200'000));
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, Hex("0B"))));
    EXPECT_EQ(ReceiveText(second), "0B");
    ASSERT_EQ(closesocket(second), 0);
}

struct BindCase {
    const char *what;
    Network network;
    MacAddress node;
    int length;
    std::int16_t family;
    int error;  // 0: bound
};

TEST_F(IpxSocketTest, BindRecordsAndNames) {
    ::setenv("SNMPHELPER_IPX_NETWORK", "0A0B0C0D", 1);
    const Network ours = {0x0A, 0x0B, 0x0C, 0x0D};
    const BindCase cases[] = {
        {"short record", kThisNetwork, kZeroMac, 13, AF_IPX, WSAEFAULT},
        {"Internet family", kThisNetwork, kZeroMac, 14, AF_INET, WSAEAFNOSUPPORT},
        {"another node", kThisNetwork, kOtherMac, 14, AF_IPX, WSAEADDRNOTAVAIL},
        {"another network", {1, 2, 3, 4}, kZeroMac, 14, AF_IPX, WSAEADDRNOTAVAIL},
        {"our network and node", ours, kOurMac, 14, AF_IPX, 0},
        {"zeros, longer record", kThisNetwork, kZeroMac, 16, AF_IPX, 0},
    };
    for (const BindCase &c : cases) {
        SCOPED_TRACE(c.what);
        const SOCKET s = Open(0);
        SOCKADDR_IPX name{};
        int nameLength = sizeof name;
        EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&name), &nameLength), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
        struct {
            SOCKADDR_IPX record;
            char spare[2];
        } local{Record(c.network, c.node, 0x5151), {}};
        local.record.sa_family = c.family;
        const int result = bind(s, reinterpret_cast<const sockaddr *>(&local), c.length);
        if (c.error != 0) {
            EXPECT_EQ(result, SOCKET_ERROR);
            EXPECT_EQ(WSAGetLastError(), c.error);
        } else {
            EXPECT_EQ(result, 0) << WSAGetLastError();
            EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&name), &nameLength), 0);
            EXPECT_EQ(nameLength, 14);
            EXPECT_EQ(RecordText(name), RecordText(Record(ours, kOurMac, 0x5151)));
            nameLength = 13;
            EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&name), &nameLength),
                      SOCKET_ERROR);
            EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
            // Bound once only.
            const SOCKADDR_IPX again = Record(kThisNetwork, kZeroMac, 0x5152);
            EXPECT_EQ(bind(s, Generic(again), sizeof again), SOCKET_ERROR);
            EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
        }
        EXPECT_EQ(closesocket(s), 0);
    }
}

TEST_F(IpxSocketTest, UnboundSocketBindsOnSend) {
    const SOCKET s = Open(0);
    char buffer[8];
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    const SOCKADDR_IPX to = Record(kThisNetwork, kPeerMac, kAgentSocket);
    EXPECT_EQ(sendto(s, "x", 1, 0, Generic(to), sizeof to), 1);
    SOCKADDR_IPX name{};
    int nameLength = sizeof name;
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&name), &nameLength), 0);
    const std::uint16_t number = ntohs(name.sa_socket);
    EXPECT_GE(number, ipx::kFirstDynamicSocket);
    EXPECT_LE(number, ipx::kLastDynamicSocket);
    const std::optional<Bytes> frame = PeerReceives();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ((*frame)[14 + 28] << 8 | (*frame)[14 + 29], number);  // source socket
    // A reply reaches it; a too-short sender record is refused first.
    ASSERT_TRUE(peer_->Send(ToUs(FrameType::EthernetII, Hex("0C"), kThisNetwork, number)));
    ASSERT_TRUE(WaitReadable(s));
    SOCKADDR_IPX from{};
    int fromLength = 13;
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(ReceiveText(s), "0C");
}

TEST_F(IpxSocketTest, SocketArguments) {
    for (const int protocol : {NSPROTO_IPX - 1, NSPROTO_IPX + 256, 0}) {
        EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, protocol), INVALID_SOCKET) << protocol;
        EXPECT_EQ(WSAGetLastError(), WSAEPROTONOSUPPORT);
    }
    EXPECT_EQ(socket(AF_IPX, 1 /* SOCK_STREAM */, NSPROTO_IPX), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
    const SOCKET first = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    const SOCKET last = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX + 255);
    EXPECT_NE(first, INVALID_SOCKET);
    EXPECT_NE(last, INVALID_SOCKET);
    EXPECT_EQ(OpenSocketCount(), 2U);

    // The packet type is the protocol's offset from NSPROTO_IPX.
    const SOCKADDR_IPX to = Record(kThisNetwork, kPeerMac, kAgentSocket);
    EXPECT_EQ(sendto(last, "x", 1, 0, Generic(to), sizeof to), 1);
    const std::optional<Bytes> frame = PeerReceives();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ((*frame)[14 + 5], 0xFF);

    detail::FailSystemCall(SocketCall::Socket, EPERM);
    EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEACCES);

    ::setenv("SNMPHELPER_IPX_INTERFACE", "nosuch0", 1);
    EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    ::setenv("SNMPHELPER_IPX_INTERFACE", "ipxa", 1);
    ::setenv("SNMPHELPER_IPX_FRAME", "token_ring", 1);
    EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(IpxSocketTest, SocketNumbersInOneProcess) {
    const SOCKET holder = Open(0x5555);
    const SOCKET other = Open(0);
    const SOCKADDR_IPX taken = Record(kThisNetwork, kZeroMac, 0x5555);
    EXPECT_EQ(bind(other, Generic(taken), sizeof taken), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
    EXPECT_EQ(closesocket(holder), 0);
    EXPECT_EQ(bind(other, Generic(taken), sizeof taken), 0) << WSAGetLastError();

    // The last cleanup closes IPX sockets too, and frees their numbers.
    EXPECT_EQ(OpenSocketCount(), 1U);
    ASSERT_EQ(WSACleanup(), 0);
    EXPECT_EQ(OpenSocketCount(), 0U);
    WSADATA data;
    ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    const SOCKET again = Open(0);
    EXPECT_EQ(bind(again, Generic(taken), sizeof taken), 0) << WSAGetLastError();
}

// Reads exactly `count` octets from `descriptor`; false at its end.
bool ReadAll(int descriptor, void *into, std::size_t count) {
    auto *at = static_cast<char *>(into);
    while (count > 0) {
        const ::ssize_t got = ::read(descriptor, at, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        count -= std::size_t(got);
    }
    return true;
}

constexpr int kSocketsEach = 48;
constexpr std::uint16_t kHeldByChild = 0x9ABC;  // outside the dynamic range

// The child: binds kSocketsEach dynamic numbers and kHeldByChild, reports
// the numbers (0 for a failure), then holds them until killed.
[[noreturn]] void HoldNumbers(int report, int go) {
    char start = 0;
    (void)ReadAll(go, &start, 1);
    std::uint16_t numbers[kSocketsEach + 1] = {};
    for (int i = 0; i <= kSocketsEach; ++i) {
        const SOCKET s = socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol);
        const SOCKADDR_IPX local =
            Record(kThisNetwork, kZeroMac, i == kSocketsEach ? kHeldByChild : 0);
        SOCKADDR_IPX name{};
        int nameLength = sizeof name;
        if (s != INVALID_SOCKET && bind(s, Generic(local), sizeof local) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr *>(&name), &nameLength) == 0) {
            numbers[i] = ntohs(name.sa_socket);
        }
    }
    (void)!::write(report, numbers, sizeof numbers);
    for (;;) ::pause();
}

TEST_F(IpxSocketTest, DynamicNumbersAreUniqueAcrossProcesses) {
    int report[2];
    int go[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) HoldNumbers(report[1], go[0]);
    ::close(report[1]);
    ::close(go[0]);

    // Both processes take numbers at the same time.
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    std::multiset<std::uint16_t> all;
    for (int i = 0; i < kSocketsEach; ++i) {
        SOCKADDR_IPX name{};
        int nameLength = sizeof name;
        const SOCKET s = Open(0);
        const SOCKADDR_IPX local = Record(kThisNetwork, kZeroMac, 0);
        ASSERT_EQ(bind(s, Generic(local), sizeof local), 0) << WSAGetLastError();
        ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&name), &nameLength), 0);
        all.insert(ntohs(name.sa_socket));
    }
    std::uint16_t theirs[kSocketsEach + 1] = {};
    const bool reported = ReadAll(report[0], theirs, sizeof theirs);
    if (!reported) ::kill(child, SIGKILL);
    ASSERT_TRUE(reported);
    EXPECT_EQ(theirs[kSocketsEach], kHeldByChild);
    all.insert(theirs, theirs + kSocketsEach);
    for (const std::uint16_t number : all) {
        EXPECT_GE(number, ipx::kFirstDynamicSocket);
        EXPECT_LE(number, ipx::kLastDynamicSocket);
        EXPECT_EQ(all.count(number), 1U) << "socket number " << number << " handed out twice";
    }

    const SOCKET s = Open(0);
    const SOCKADDR_IPX held = Record(kThisNetwork, kZeroMac, kHeldByChild);
    EXPECT_EQ(bind(s, Generic(held), sizeof held), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(bind(s, Generic(held), sizeof held), 0) << WSAGetLastError();
    ::close(report[0]);
    ::close(go[1]);
}

// Without CAP_NET_RAW no packet socket: WinSock's "access denied".
TEST_F(IpxSocketTest, WithoutRawCapability) {
    ASSERT_TRUE(ipx::MayOpenPacketSockets());
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2] = {};
        int answer[2] = {-1, -1};
        if (::syscall(SYS_capget, &header, caps) == 0) {
            caps[0].effective &= ~(1U << CAP_NET_RAW);
            if (::syscall(SYS_capset, &header, caps) == 0) {
                answer[0] = ipx::MayOpenPacketSockets() ? 1 : 0;
                answer[1] = socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol) == INVALID_SOCKET
                                ? WSAGetLastError()
                                : 0;
            }
        }
        (void)!::write(report[1], answer, sizeof answer);
        ::_exit(0);
    }
    ::close(report[1]);
    int answer[2] = {};
    EXPECT_TRUE(ReadAll(report[0], answer, sizeof answer));
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(answer[0], 0);
    EXPECT_EQ(answer[1], WSAEACCES);
}

struct SettingsCase {
    const char *interfaceName;  // null: unset
    const char *network;
    const char *frame;
    int result;
    const char *expectedInterface;  // null: either veth end
    Network expectedNetwork;
    FrameType expectedFrame;
};

const SettingsCase kSettingsCases[] = {
    {nullptr, nullptr, nullptr, 0, nullptr, {}, FrameType::EthernetII},
    {"", "", "", 0, nullptr, {}, FrameType::EthernetII},
    {"ipxb", "0a0B0c0D", "802.3", 0, "ipxb", {0x0A, 0x0B, 0x0C, 0x0D}, FrameType::Novell8023},
    {"ipxa", "FFFFFFFE", "802.2", 0, "ipxa", {0xFF, 0xFF, 0xFF, 0xFE}, FrameType::Llc8022},
    {"lo", nullptr, "snap", 0, "lo", {}, FrameType::Snap},
    {"ipxa", nullptr, "ethernet_ii", 0, "ipxa", {}, FrameType::EthernetII},
    {"nosuch0", nullptr, nullptr, ENODEV, nullptr, {}, FrameType::EthernetII},
    {"ipxa", "0A0B0C0", nullptr, EINVAL, nullptr, {}, FrameType::EthernetII},
    {"ipxa", "0A0B0C0D0", nullptr, EINVAL, nullptr, {}, FrameType::EthernetII},
    {"ipxa", "0A0B0C0G", nullptr, EINVAL, nullptr, {}, FrameType::EthernetII},
    {"ipxa", "0x0A0B0C", nullptr, EINVAL, nullptr, {}, FrameType::EthernetII},
    {"ipxa", nullptr, "ethernet", EINVAL, nullptr, {}, FrameType::EthernetII},
    {"ipxa", nullptr, "SNAP", EINVAL, nullptr, {}, FrameType::EthernetII},
};

void SetOrUnset(const char *name, const char *value) {
    if (value == nullptr) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value, 1);
    }
}

TEST_F(IpxSocketTest, ResolveSettingsFromTheEnvironment) {
    for (const SettingsCase &c : kSettingsCases) {
        SCOPED_TRACE(std::string(c.interfaceName ? c.interfaceName : "-") + " " +
                     (c.network ? c.network : "-") + " " + (c.frame ? c.frame : "-"));
        SetOrUnset("SNMPHELPER_IPX_INTERFACE", c.interfaceName);
        SetOrUnset("SNMPHELPER_IPX_NETWORK", c.network);
        SetOrUnset("SNMPHELPER_IPX_FRAME", c.frame);
        ipx::IpxSettings settings;
        std::string problem;
        const int result = ipx::ResolveSettings(settings, problem);
        EXPECT_EQ(result, c.result) << problem;
        if (result != 0) {
            EXPECT_FALSE(problem.empty());
            continue;
        }
        if (c.expectedInterface != nullptr) {
            EXPECT_EQ(settings.interfaceName, c.expectedInterface);
        } else {
            EXPECT_TRUE(settings.interfaceName == "ipxa" || settings.interfaceName == "ipxb")
                << settings.interfaceName;
        }
        const MacAddress expectedNode = settings.interfaceName == "ipxa"   ? kOurMac
                                        : settings.interfaceName == "ipxb" ? kPeerMac
                                                                           : kZeroMac;
        EXPECT_EQ(settings.node, expectedNode);
        EXPECT_GT(settings.interfaceIndex, 0);
        EXPECT_EQ(settings.network, c.expectedNetwork);
        EXPECT_EQ(settings.sendFrame, c.expectedFrame);
    }
}

// With only loopback (and a veth that is down) there is nothing to carry IPX.
TEST(IpxSettingsWithoutInterfaces, NoUsableInterface) {
    ::unsetenv("SNMPHELPER_IPX_INTERFACE");
    VethPair down("ipxc", "ipxd", kOurMac, kPeerMac);
    ASSERT_TRUE(down.Ready()) << down.Error();
    test::RunProgram({"ip", "link", "set", "ipxc", "down"});
    test::RunProgram({"ip", "link", "set", "ipxd", "down"});
    ipx::IpxSettings settings;
    std::string problem;
    EXPECT_EQ(ipx::ResolveSettings(settings, problem), ENODEV);
    EXPECT_FALSE(problem.empty());

    WSADATA data;
    ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, kSnmpProtocol), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_EQ(WSACleanup(), 0);
}

}  // namespace
}  // namespace snmphelper::winsock
