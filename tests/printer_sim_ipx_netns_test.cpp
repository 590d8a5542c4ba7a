// SPDX-License-Identifier: Apache-2.0
// The printer simulator's IPX side (RFC 1420) on one end of a veth pair,
// driven with raw frames from the other end in each of the four framings.
// Frames are built and read here byte by byte, independently of the
// simulator's and the library's IPX code.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/raw_frames.h"
#include "tests/support/veth_pair.h"

namespace {

using snmphelper::test::BuildTreePath;
using snmphelper::test::ChildProcess;
using snmphelper::test::MacAddress;
using snmphelper::test::MakeTempFolder;
using snmphelper::test::ProgramRun;
using snmphelper::test::RawFrames;
using snmphelper::test::RunProgram;
using snmphelper::test::VethPair;
using Bytes = std::vector<std::uint8_t>;

const char *const kSimInterface = "ipxsim0";
const char *const kPeerInterface = "ipxpeer0";
const MacAddress kSimNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const MacAddress kPeerNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const MacAddress kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint32_t kSimNetwork = 0x0000ABCD;
constexpr std::uint32_t kPeerNetwork = 0x00001234;
constexpr std::uint16_t kPeerSocket = 0x4005;
constexpr std::uint16_t kSnmpSocket = 0x900F;

// An answer is expected at once on an idle veth pair; the limit only bounds
// a failure. Silence is judged over a shorter wait.
constexpr int kAnswerWaitMs = 2000;
constexpr int kSilenceWaitMs = 300;

enum class Framing { EthernetII, Raw8023, Llc8022, Snap };

const char *FramingName(Framing framing) {
    switch (framing) {
    case Framing::EthernetII:
        return "ethernet_ii";
    case Framing::Raw8023:
        return "802.3";
    case Framing::Llc8022:
        return "802.2";
    case Framing::Snap:
        return "snap";
    }
    return "?";
}

// The octets between the Ethernet header and the IPX header.
Bytes LlcHeader(Framing framing) {
    switch (framing) {
    case Framing::Llc8022:
        return {0xE0, 0xE0, 0x03};  // DSAP, SSAP, UI
    case Framing::Snap:
        return {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x37};  // SNAP, OUI 0, type IPX
    default:
        return {};
    }
}

void Put16(Bytes &out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Put32(Bytes &out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint16_t Get16(const Bytes &in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] << 8 | in[at + 1]);
}

std::uint32_t Get32(const Bytes &in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) << 24 | static_cast<std::uint32_t>(in[at + 1]) << 16 |
           static_cast<std::uint32_t>(in[at + 2]) << 8 | in[at + 3];
}

MacAddress GetMac(const Bytes &in, std::size_t at) {
    MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = in[at + i];
    return mac;
}

// SNMPv1 GetRequest for sysDescr.0 with the simulator's default community;
// the request-id's first octet stays between 01 and 7F so it is always four octets.
Bytes GetRequest(std::int32_t requestId) {
    Bytes message = {
        0x30, 0x2E,                                                        // Message, 46 octets
        0x02, 0x01, 0x00,                                                  // version 0 (SNMPv1)
        0x04, 0x0B, 't', '*', 'o', '&', 'r', '^', 'e', '~', 'l', '+', 'd',  // community
        0xA0, 0x1C,                                                        // GetRequest-PDU, 28 octets
        0x02, 0x04};                                                       // request-id, 4 octets
    Put32(message, static_cast<std::uint32_t>(requestId));
    const Bytes rest = {
        0x02, 0x01, 0x00,                                                  // error-status
        0x02, 0x01, 0x00,                                                  // error-index
        0x30, 0x0E, 0x30, 0x0C,                                            // bindings, one binding
        0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00,        // 1.3.6.1.2.1.1.1.0
        0x05, 0x00};                                                       // NULL
    message.insert(message.end(), rest.begin(), rest.end());
    return message;
}

// One IPX request as the peer sends it.
struct Request {
    Framing framing = Framing::EthernetII;
    MacAddress linkDestination = kSimNode;
    std::uint32_t destinationNetwork = 0;
    MacAddress destinationNode = kSimNode;
    std::uint16_t destinationSocket = kSnmpSocket;
    std::uint8_t packetType = 4;
    Bytes data;
    Bytes trailer;  // after the IPX datagram, outside every length (an adapter's padding)
};

Bytes IpxPacket(const Request &request) {
    Bytes ipx;
    Put16(ipx, 0xFFFF);                          // checksum: none
    Put16(ipx, 30 + request.data.size());        // length, header included
    ipx.push_back(0);                            // transport control
    ipx.push_back(request.packetType);
    Put32(ipx, request.destinationNetwork);
    ipx.insert(ipx.end(), request.destinationNode.begin(), request.destinationNode.end());
    Put16(ipx, request.destinationSocket);
    Put32(ipx, kPeerNetwork);
    ipx.insert(ipx.end(), kPeerNode.begin(), kPeerNode.end());
    Put16(ipx, kPeerSocket);
    ipx.insert(ipx.end(), request.data.begin(), request.data.end());
    return ipx;
}

Bytes Frame(const Request &request) {
    Bytes frame(request.linkDestination.begin(), request.linkDestination.end());
    frame.insert(frame.end(), kPeerNode.begin(), kPeerNode.end());
    const Bytes llc = LlcHeader(request.framing);
    const Bytes ipx = IpxPacket(request);
    Put16(frame, request.framing == Framing::EthernetII ? 0x8137 : llc.size() + ipx.size());
    frame.insert(frame.end(), llc.begin(), llc.end());
    frame.insert(frame.end(), ipx.begin(), ipx.end());
    frame.insert(frame.end(), request.trailer.begin(), request.trailer.end());
    return frame;
}

Request GoodRequest(Framing framing, std::int32_t requestId) {
    Request request;
    request.framing = framing;
    request.data = GetRequest(requestId);
    return request;
}

// Offset of the IPX header in a frame of this framing.
std::size_t IpxOffset(Framing framing) { return 14 + LlcHeader(framing).size(); }

// Whether a frame carries IPX in any of the four framings.
bool IsIpx(const Bytes &frame) {
    if (frame.size() < 17) return false;
    const std::uint16_t type = Get16(frame, 12);
    if (type == 0x8137) return true;
    if (type > 1500) return false;
    return (frame[14] == 0xFF && frame[15] == 0xFF) || (frame[14] == 0xE0 && frame[15] == 0xE0) ||
           (frame[14] == 0xAA && frame[15] == 0xAA);
}

// The simulator on one veth end, logging, UDP on a free loopback port.
class Simulator {
public:
    explicit Simulator(const std::vector<std::string> &extra = {})
        : folder_(MakeTempFolder("printer-sim-ipx")), process_(Arguments(folder_, extra)) {}

    bool Ready() { return process_.Started() && process_.WaitForOutput("ready\n"); }
    int Stop() { return process_.Stop(); }
    std::vector<std::string> LogLines() const {
        std::ifstream file(folder_ + "/sim.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            if (line.rfind("request=", 0) == 0) lines.push_back(line);
        }
        return lines;
    }
    std::uint16_t UdpPort() const {
        std::ifstream file(folder_ + "/ready");
        unsigned port = 0;
        file >> port;
        return static_cast<std::uint16_t>(port);
    }

private:
    static std::vector<std::string> Arguments(const std::string &folder, const std::vector<std::string> &extra) {
        std::vector<std::string> argv = {BuildTreePath("tools/snmphelper-printer-sim"),
                                         "--address", "127.0.0.1", "--port", "0",
                                         "--ipx-interface", kSimInterface, "--ipx-network", "0000abcd",
                                         "--log", folder + "/sim.log", "--ready-file", folder + "/ready"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }

    std::string folder_;
    ChildProcess process_;
};

struct DecodedReply {
    std::int32_t requestId = 0;
    int errorStatus = -1;
};

// The library's decoder takes only an exact message, so a reply that
// decodes has exactly the length its IPX header says.
std::optional<DecodedReply> DecodeReply(const Bytes &data) {
    SnmpReqParam *record = HelperSnmpDecodePdu(data.data(), static_cast<std::uint32_t>(data.size()));
    if (record == nullptr) return std::nullopt;
    DecodedReply reply{record->requestId, record->errorStatus};
    HelperFreeReqParam(record);
    return reply;
}

class IpxFixture {
public:
    IpxFixture() : veth_(kSimInterface, kPeerInterface, kSimNode, kPeerNode), peer_(kPeerInterface) {}

    bool Ready(std::string &why) const {
        if (!veth_.Ready()) why = veth_.Error();
        else if (!peer_.Open()) why = peer_.Error();
        return veth_.Ready() && peer_.Open();
    }

    std::optional<Bytes> Exchange(const Bytes &frame, int waitMs = kAnswerWaitMs) {
        if (!peer_.Send(frame)) return std::nullopt;
        return NextIpx(waitMs);
    }
    bool Send(const Bytes &frame) { return peer_.Send(frame); }
    std::optional<Bytes> NextIpx(int waitMs) { return peer_.ReceiveMatching(IsIpx, waitMs); }

private:
    VethPair veth_;
    RawFrames peer_;
};

// Checks every header field of a reply to the peer and returns its SNMP message.
Bytes CheckReplyFrame(const Bytes &frame, Framing framing, std::uint16_t sourceSocket = kSnmpSocket) {
    const std::size_t ipx = IpxOffset(framing);
    if (frame.size() < ipx + 30) {
        ADD_FAILURE() << "short reply of " << frame.size() << " octets";
        return {};
    }
    EXPECT_EQ(GetMac(frame, 0), kPeerNode);
    EXPECT_EQ(GetMac(frame, 6), kSimNode);
    const std::uint16_t ipxLength = Get16(frame, ipx + 2);
    if (framing == Framing::EthernetII) {
        EXPECT_EQ(Get16(frame, 12), 0x8137);
    } else {
        EXPECT_EQ(Get16(frame, 12), LlcHeader(framing).size() + ipxLength);  // the 802.3 length
        const Bytes llc = LlcHeader(framing);
        EXPECT_EQ(Bytes(frame.begin() + 14, frame.begin() + static_cast<long>(ipx)), llc);
    }
    EXPECT_EQ(Get16(frame, ipx + 0), 0xFFFF) << "checksum";
    EXPECT_GE(ipxLength, 30);
    EXPECT_LE(ipx + ipxLength, frame.size());
    EXPECT_EQ(frame[ipx + 4], 0) << "transport control";
    EXPECT_EQ(frame[ipx + 5], 4) << "packet type";
    EXPECT_EQ(Get32(frame, ipx + 6), kPeerNetwork) << "destination network";
    EXPECT_EQ(GetMac(frame, ipx + 10), kPeerNode) << "destination node";
    EXPECT_EQ(Get16(frame, ipx + 16), kPeerSocket) << "destination socket";
    EXPECT_EQ(Get32(frame, ipx + 18), kSimNetwork) << "source network";
    EXPECT_EQ(GetMac(frame, ipx + 22), kSimNode) << "source node";
    EXPECT_EQ(Get16(frame, ipx + 28), sourceSocket) << "source socket";
    if (ipxLength < 30 || ipx + ipxLength > frame.size()) return {};
    return Bytes(frame.begin() + static_cast<long>(ipx + 30), frame.begin() + static_cast<long>(ipx + ipxLength));
}

class IpxFramingTest : public ::testing::TestWithParam<Framing> {
protected:
    void SetUp() override {
        std::string why;
        if (!fixture_.Ready(why)) GTEST_SKIP() << "needs a veth pair and a packet socket: " << why;
    }
    IpxFixture fixture_;
};

TEST_P(IpxFramingTest, AnswersInTheRequestsFramingToItsSource) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    // Network 0 ("this network") and the simulator's own number both reach it.
    std::int32_t requestId = 0x01020301;
    for (std::uint32_t network : {0u, kSimNetwork}) {
        Request request = GoodRequest(GetParam(), requestId);
        request.destinationNetwork = network;
        const auto reply = fixture_.Exchange(Frame(request));
        ASSERT_TRUE(reply) << "no answer to network " << network;
        const auto decoded = DecodeReply(CheckReplyFrame(*reply, GetParam()));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->requestId, requestId);
        EXPECT_EQ(decoded->errorStatus, 0);
        ++requestId;
    }
    const auto lines = sim.LogLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string prefix = std::string("request=1 from=00001234.020000000002:4005 frame=") +
                               FramingName(GetParam()) + " pdu=get id=16909057 oids=1.3.6.1.2.1.1.1.0 outcome=answered";
    EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
}

TEST_P(IpxFramingTest, TheLengthFieldsNotTheFrameDecideTheDatagram) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    // Junk after the datagram, outside every length, as an adapter pads.
    Request request = GoodRequest(GetParam(), 0x01020310);
    request.trailer = Bytes(18, 0xA5);
    auto reply = fixture_.Exchange(Frame(request));
    ASSERT_TRUE(reply);
    auto decoded = DecodeReply(CheckReplyFrame(*reply, GetParam()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020310);

    if (GetParam() != Framing::EthernetII) {
        // Junk inside the 802.3 length but past the IPX length.
        Request inner = GoodRequest(GetParam(), 0x01020311);
        inner.data.insert(inner.data.end(), 6, 0x5A);
        Bytes frame = Frame(inner);
        const std::size_t ipx = IpxOffset(GetParam());
        const std::size_t ipxLength = Get16(frame, ipx + 2) - 6;
        frame[ipx + 2] = static_cast<std::uint8_t>(ipxLength >> 8);
        frame[ipx + 3] = static_cast<std::uint8_t>(ipxLength);
        reply = fixture_.Exchange(frame);
        ASSERT_TRUE(reply);
        decoded = DecodeReply(CheckReplyFrame(*reply, GetParam()));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->requestId, 0x01020311);
    }
    for (const std::string &line : sim.LogLines()) EXPECT_NE(line.find("outcome=answered"), std::string::npos) << line;
}

TEST_P(IpxFramingTest, AnswersTheBroadcastNode) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    Request request = GoodRequest(GetParam(), 0x01020320);
    request.linkDestination = kBroadcast;
    request.destinationNode = kBroadcast;
    const auto reply = fixture_.Exchange(Frame(request));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply, GetParam()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020320);
}

TEST_P(IpxFramingTest, IgnoresWhatIsForAnotherSocketNodeOrNetwork) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    Request otherSocket = GoodRequest(GetParam(), 0x01020330);
    otherSocket.destinationSocket = 0x9010;  // the trap socket
    Request otherNode = GoodRequest(GetParam(), 0x01020331);
    otherNode.linkDestination = kBroadcast;  // reaches the simulator's interface all the same
    otherNode.destinationNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    Request otherNetwork = GoodRequest(GetParam(), 0x01020332);
    otherNetwork.destinationNetwork = 0x00005555;
    for (const Request &request : {otherSocket, otherNode, otherNetwork}) ASSERT_TRUE(fixture_.Send(Frame(request)));
    EXPECT_FALSE(fixture_.NextIpx(kSilenceWaitMs));

    const auto reply = fixture_.Exchange(Frame(GoodRequest(GetParam(), 0x01020333)));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply, GetParam()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020333);
    EXPECT_EQ(sim.LogLines().size(), 1u);  // none of the others reached the agent
}

// Every cut of a good frame, IPX lengths beyond the frame or below the
// header's, and an 802.3 length beyond the frame: no answer, no log line,
// and the simulator goes on serving.
TEST_P(IpxFramingTest, IgnoresMalformedFramesAndKeepsServing) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    const Framing framing = GetParam();
    const std::size_t ipx = IpxOffset(framing);
    const Bytes good = Frame(GoodRequest(framing, 0x01020340));
    std::vector<Bytes> malformed;
    for (std::size_t cut = 14; cut < good.size(); ++cut) {
        malformed.emplace_back(good.begin(), good.begin() + static_cast<long>(cut));
        if (framing != Framing::EthernetII && cut > ipx) {
            Bytes consistent = malformed.back();  // the 802.3 length agrees, the IPX length does not
            consistent[12] = static_cast<std::uint8_t>((cut - 14) >> 8);
            consistent[13] = static_cast<std::uint8_t>(cut - 14);
            malformed.push_back(consistent);
        }
    }
    for (std::size_t ipxLength : {std::size_t{0}, std::size_t{29}, good.size() - ipx + 1, std::size_t{0xFFFF}}) {
        Bytes frame = good;
        frame[ipx + 2] = static_cast<std::uint8_t>(ipxLength >> 8);
        frame[ipx + 3] = static_cast<std::uint8_t>(ipxLength);
        malformed.push_back(frame);
    }
    if (framing != Framing::EthernetII) {
        Bytes frame = good;
        const std::size_t beyond = good.size() - 14 + 1;
        frame[12] = static_cast<std::uint8_t>(beyond >> 8);
        frame[13] = static_cast<std::uint8_t>(beyond);
        malformed.push_back(frame);
    }
    Bytes checksummed = good;
    checksummed[ipx] = 0x12;  // a checksum the simulator does not verify
    malformed.push_back(checksummed);
    for (const Bytes &frame : malformed) ASSERT_TRUE(fixture_.Send(frame)) << frame.size();
    EXPECT_FALSE(fixture_.NextIpx(kSilenceWaitMs));
    EXPECT_TRUE(sim.LogLines().empty());

    const auto reply = fixture_.Exchange(good);
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply, framing));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020340);
}

TEST_P(IpxFramingTest, SilentFaultAppliesOverIpx) {
    Simulator sim({"--fault", "silent"});
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(fixture_.Send(Frame(GoodRequest(GetParam(), 0x01020350))));
    EXPECT_FALSE(fixture_.NextIpx(kSilenceWaitMs));
    const auto lines = sim.LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(std::string("frame=") + FramingName(GetParam())), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("outcome=silent"), std::string::npos) << lines[0];
}

TEST_P(IpxFramingTest, ErrorStatusFaultAppliesOverIpx) {
    Simulator sim({"--fault", "error-status:5:1"});
    ASSERT_TRUE(sim.Ready());
    const auto reply = fixture_.Exchange(Frame(GoodRequest(GetParam(), 0x01020360)));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply, GetParam()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020360);
    EXPECT_EQ(decoded->errorStatus, 5);
}

TEST_P(IpxFramingTest, OtherPortFaultAnswersFromAnotherIpxSocket) {
    Simulator sim({"--fault", "other-port:16400"});
    ASSERT_TRUE(sim.Ready());
    const auto reply = fixture_.Exchange(Frame(GoodRequest(GetParam(), 0x01020370)));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply, GetParam(), 16400));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020370);
}

INSTANTIATE_TEST_SUITE_P(AllFramings, IpxFramingTest,
                         ::testing::Values(Framing::EthernetII, Framing::Raw8023, Framing::Llc8022, Framing::Snap),
                         [](const ::testing::TestParamInfo<Framing> &param) {
                             switch (param.param) {
                             case Framing::EthernetII:
                                 return std::string("EthernetII");
                             case Framing::Raw8023:
                                 return std::string("Raw8023");
                             case Framing::Llc8022:
                                 return std::string("Llc8022");
                             default:
                                 return std::string("Snap");
                             }
                         });

TEST(PrinterSimIpx, UdpServesBesideIpx) {
    IpxFixture fixture;
    std::string why;
    if (!fixture.Ready(why)) GTEST_SKIP() << why;
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(udp, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sim.UdpPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const Bytes request = GetRequest(0x01020380);
    ASSERT_EQ(sendto(udp, request.data(), request.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to),
              static_cast<ssize_t>(request.size()));
    pollfd entry{udp, POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, kAnswerWaitMs), 1);
    Bytes reply(2048);
    const ssize_t received = recv(udp, reply.data(), reply.size(), 0);
    close(udp);
    ASSERT_GT(received, 0);
    reply.resize(static_cast<std::size_t>(received));
    const auto decoded = DecodeReply(reply);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020380);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(PrinterSimIpx, WithoutCapNetRawExitsSayingSo) {
    IpxFixture fixture;
    std::string why;
    if (!fixture.Ready(why)) GTEST_SKIP() << why;
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv";
    // Without CAP_NET_RAW in the bounding set, the simulator starts without it.
    const ProgramRun run = RunProgram({"/usr/bin/setpriv", "--bounding-set", "-net_raw", "--inh-caps", "-net_raw",
                                       BuildTreePath("tools/snmphelper-printer-sim"), "--port", "0",
                                       "--ipx-interface", kSimInterface});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("CAP_NET_RAW"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("ready"), std::string::npos);
}

TEST(PrinterSimIpx, RefusesAMalformedNetworkNumber) {
    for (const char *network : {"1234", "0000abcdx", "0000abcg"}) {
        const ProgramRun run = RunProgram({BuildTreePath("tools/snmphelper-printer-sim"), "--port", "0",
                                           "--ipx-interface", "lo", "--ipx-network", network});
        EXPECT_EQ(run.exitCode, 2) << network;
        EXPECT_NE(run.err.find("--ipx-network"), std::string::npos) << run.err;
    }
}

}  // namespace
