// SPDX-License-Identifier: Apache-2.0
// The printer simulator's DLC side (SNMP in IEEE 802.2 UI frames to SAP 0A)
// on one end of a veth pair, driven with raw frames from the other end.
// Frames are built and read here byte by byte, independently of the
// simulator's and the library's LLC code.
#include <gtest/gtest.h>

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

const char *const kSimInterface = "llcsim0";
const char *const kPeerInterface = "llcpeer0";
const MacAddress kSimStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0A};
const MacAddress kPeerStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr std::uint8_t kSnmpSap = 0x0A;
constexpr std::uint8_t kPeerSap = 0x10;
constexpr std::uint8_t kUi = 0x03;

constexpr int kAnswerWaitMs = 2000;
constexpr int kSilenceWaitMs = 300;

MacAddress GetMac(const Bytes &in, std::size_t at) {
    MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = in[at + i];
    return mac;
}

// SNMPv1 GetRequest for sysDescr.0 with the simulator's default community,
// built through the library's encoder.
Bytes GetRequest(std::int32_t requestId) {
    char name[] = "1.3.6.1.2.1.1.1.0";
    char community[] = "t*o&r^e~l+d";
    SnmpVarBind binding{};
    binding.oid = name;
    binding.valueType = SNMP_VALUE_NULL;
    SnmpReqParam request{};
    request.community = community;
    request.communityLength = sizeof community - 1;
    request.pduType = SNMP_PDU_GET_REQUEST;
    request.requestId = requestId;
    request.varBindCount = 1;
    request.varBinds = &binding;
    std::uint8_t buffer[512];
    std::uint16_t length = sizeof buffer;
    if (HelperSnmpEncodePdu(&request, buffer, &length) != 0) return {};
    return Bytes(buffer, buffer + length);
}

// One LLC frame as the peer sends it.
struct Request {
    std::uint8_t dsap = kSnmpSap;
    std::uint8_t ssap = kPeerSap;
    std::uint8_t control = kUi;
    Bytes data;
    Bytes trailer;  // after the 802.3 length's end (an adapter's padding)
};

Bytes Frame(const Request &request) {
    Bytes frame;
    frame.reserve(17 + request.data.size() + request.trailer.size());
    for (std::uint8_t octet : kSimStation) frame.push_back(octet);  // destination
    for (std::uint8_t octet : kPeerStation) frame.push_back(octet);  // source
    const std::size_t length = 3 + request.data.size();
    frame.push_back(static_cast<std::uint8_t>(length >> 8));  // 802.3 length
    frame.push_back(static_cast<std::uint8_t>(length));
    frame.push_back(request.dsap);
    frame.push_back(request.ssap);
    frame.push_back(request.control);
    frame.insert(frame.end(), request.data.begin(), request.data.end());
    frame.insert(frame.end(), request.trailer.begin(), request.trailer.end());
    return frame;
}

Request GoodRequest(std::int32_t requestId) {
    Request request;
    request.data = GetRequest(requestId);
    return request;
}

// A frame from the simulator: an 802.3 length frame from its station.
bool IsLlcFromSim(const Bytes &frame) {
    if (frame.size() < 17 || GetMac(frame, 6) != kSimStation) return false;
    return (frame[12] << 8 | frame[13]) <= 1500;
}

class Simulator {
public:
    explicit Simulator(const std::vector<std::string> &extra = {})
        : folder_(MakeTempFolder("printer-sim-llc")), process_(Arguments(folder_, extra)) {}

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

private:
    static std::vector<std::string> Arguments(const std::string &folder, const std::vector<std::string> &extra) {
        std::vector<std::string> argv = {BuildTreePath("tools/snmphelper-printer-sim"), "--address", "127.0.0.1",
                                         "--port", "0", "--dlc-interface", kSimInterface,
                                         "--log", folder + "/sim.log"};
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
// decodes has exactly the length its 802.3 length says.
std::optional<DecodedReply> DecodeReply(const Bytes &data) {
    SnmpReqParam *record = HelperSnmpDecodePdu(data.data(), static_cast<std::uint32_t>(data.size()));
    if (record == nullptr) return std::nullopt;
    DecodedReply reply{record->requestId, record->errorStatus};
    HelperFreeReqParam(record);
    return reply;
}

// Checks every header field of a reply to the peer and returns its SNMP message.
Bytes CheckReplyFrame(const Bytes &frame, std::uint8_t sourceSap = kSnmpSap, std::uint8_t destinationSap = kPeerSap) {
    if (frame.size() < 17) {
        ADD_FAILURE() << "short reply of " << frame.size() << " octets";
        return {};
    }
    EXPECT_EQ(GetMac(frame, 0), kPeerStation);
    EXPECT_EQ(GetMac(frame, 6), kSimStation);
    EXPECT_GE(frame.size(), 60u) << "padded to the smallest frame";
    const std::size_t length = static_cast<std::size_t>(frame[12] << 8 | frame[13]);
    EXPECT_GE(length, 3u);
    EXPECT_LE(14 + length, frame.size());
    EXPECT_EQ(frame[14], destinationSap) << "DSAP: the request's SSAP";
    EXPECT_EQ(frame[15], sourceSap) << "SSAP";
    EXPECT_EQ(frame[16], kUi) << "control";
    if (length < 3 || 14 + length > frame.size()) return {};
    for (std::size_t i = 14 + length; i < frame.size(); ++i) EXPECT_EQ(frame[i], 0) << "padding at " << i;
    return Bytes(frame.begin() + 17, frame.begin() + static_cast<long>(14 + length));
}

class PrinterSimLlc : public ::testing::Test {
protected:
    PrinterSimLlc() : veth_(kSimInterface, kPeerInterface, kSimStation, kPeerStation), peer_(kPeerInterface) {}
    void SetUp() override {
        if (!veth_.Ready()) GTEST_SKIP() << "needs a veth pair: " << veth_.Error();
        if (!peer_.Open()) GTEST_SKIP() << "needs a packet socket: " << peer_.Error();
    }
    std::optional<Bytes> Exchange(const Bytes &frame, int waitMs = kAnswerWaitMs) {
        if (!peer_.Send(frame)) return std::nullopt;
        return Next(waitMs);
    }
    std::optional<Bytes> Next(int waitMs) { return peer_.ReceiveMatching(IsLlcFromSim, waitMs); }

    VethPair veth_;
    RawFrames peer_;
};

TEST_F(PrinterSimLlc, AnswersAUiRequestFromSap0AToTheSourceSap) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    ASSERT_FALSE(GetRequest(0x01020401).empty());
    const auto reply = Exchange(Frame(GoodRequest(0x01020401)));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020401);
    EXPECT_EQ(decoded->errorStatus, 0);

    // Another source SAP, with the response bit set: the answer goes to the SAP.
    Request other = GoodRequest(0x01020402);
    other.ssap = 0x21;
    const auto second = Exchange(Frame(other));
    ASSERT_TRUE(second);
    const auto decodedSecond = DecodeReply(CheckReplyFrame(*second, kSnmpSap, 0x20));
    ASSERT_TRUE(decodedSecond);
    EXPECT_EQ(decodedSecond->requestId, 0x01020402);

    const auto lines = sim.LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("request=1 from=020000000010:10 frame=llc pdu=get id=16909313 "
                             "oids=1.3.6.1.2.1.1.1.0 outcome=answered",
                             0),
              0u)
        << lines[0];
    EXPECT_EQ(lines[1].rfind("request=2 from=020000000010:20 frame=llc", 0), 0u) << lines[1];
}

TEST_F(PrinterSimLlc, TheLengthFieldNotTheFrameDecidesTheMessage) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    Request padded = GoodRequest(0x01020410);
    padded.trailer = Bytes(20, 0xA5);
    const auto reply = Exchange(Frame(padded));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020410);
}

TEST_F(PrinterSimLlc, IgnoresOtherSapsAndControls) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    std::vector<Request> others;
    for (std::uint8_t dsap : {std::uint8_t{0x10}, std::uint8_t{0x0B}, std::uint8_t{0xE0}, std::uint8_t{0xFF}}) {
        Request request = GoodRequest(0x01020420);
        request.dsap = dsap;
        others.push_back(request);
    }
    for (std::uint8_t control : {std::uint8_t{0x13}, std::uint8_t{0xAF}, std::uint8_t{0xE3}, std::uint8_t{0x00}}) {
        Request request = GoodRequest(0x01020421);
        request.control = control;  // UI with poll, XID, TEST, an I frame
        others.push_back(request);
    }
    for (const Request &request : others) ASSERT_TRUE(peer_.Send(Frame(request)));
    // An Ethernet II frame whose type field would be a length if it were smaller.
    Bytes typed = Frame(GoodRequest(0x01020422));
    typed[12] = 0x08;
    typed[13] = 0x00;
    ASSERT_TRUE(peer_.Send(typed));
    EXPECT_FALSE(Next(kSilenceWaitMs));
    EXPECT_TRUE(sim.LogLines().empty());

    const auto reply = Exchange(Frame(GoodRequest(0x01020423)));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020423);
    EXPECT_EQ(sim.LogLines().size(), 1u);
}

// Every cut of a good frame (with its length as sent, and with a length that
// agrees with the cut) and lengths beyond the frame or below the LLC
// header's: no answer, no log line for a frame without a whole LLC header,
// and the simulator goes on serving.
TEST_F(PrinterSimLlc, IgnoresMalformedFramesAndKeepsServing) {
    Simulator sim;
    ASSERT_TRUE(sim.Ready());
    const Bytes good = Frame(GoodRequest(0x01020430));
    std::vector<Bytes> malformed;
    for (std::size_t cut = 14; cut < good.size(); ++cut) {
        malformed.emplace_back(good.begin(), good.begin() + static_cast<long>(cut));
    }
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{2}, good.size() - 14 + 1,
                               std::size_t{1500}}) {
        Bytes frame = good;
        frame[12] = static_cast<std::uint8_t>(length >> 8);
        frame[13] = static_cast<std::uint8_t>(length);
        malformed.push_back(frame);
    }
    for (const Bytes &frame : malformed) ASSERT_TRUE(peer_.Send(frame)) << frame.size();
    EXPECT_FALSE(Next(kSilenceWaitMs));
    EXPECT_TRUE(sim.LogLines().empty());

    // Cuts whose length agrees: whole LLC frames carrying a cut message,
    // which the agent takes as undecodable and does not answer.
    for (std::size_t cut = 17; cut < good.size(); ++cut) {
        Bytes frame(good.begin(), good.begin() + static_cast<long>(cut));
        frame[12] = static_cast<std::uint8_t>((cut - 14) >> 8);
        frame[13] = static_cast<std::uint8_t>(cut - 14);
        ASSERT_TRUE(peer_.Send(frame));
    }
    EXPECT_FALSE(Next(kSilenceWaitMs));
    for (const std::string &line : sim.LogLines()) {
        EXPECT_NE(line.find("outcome=undecodable"), std::string::npos) << line;
    }

    const auto reply = Exchange(good);
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020430);
}

TEST_F(PrinterSimLlc, FaultsApplyOverLlc) {
    {
        Simulator sim({"--fault", "error-status:5:1"});
        ASSERT_TRUE(sim.Ready());
        const auto reply = Exchange(Frame(GoodRequest(0x01020440)));
        ASSERT_TRUE(reply);
        const auto decoded = DecodeReply(CheckReplyFrame(*reply));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->errorStatus, 5);
    }
    {
        Simulator sim({"--fault", "other-port:32"});
        ASSERT_TRUE(sim.Ready());
        const auto reply = Exchange(Frame(GoodRequest(0x01020441)));
        ASSERT_TRUE(reply);
        const auto decoded = DecodeReply(CheckReplyFrame(*reply, 0x20));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->requestId, 0x01020441);
        const auto lines = sim.LogLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("from-sap=20"), std::string::npos) << lines[0];
    }
    {
        Simulator sim({"--fault", "silent"});
        ASSERT_TRUE(sim.Ready());
        ASSERT_TRUE(peer_.Send(Frame(GoodRequest(0x01020442))));
        EXPECT_FALSE(Next(kSilenceWaitMs));
        const auto lines = sim.LogLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("frame=llc"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("outcome=silent"), std::string::npos) << lines[0];
    }
}

TEST_F(PrinterSimLlc, ServesIpxAndLlcOnOneInterface) {
    Simulator sim({"--ipx-interface", kSimInterface});
    ASSERT_TRUE(sim.Ready());
    const auto reply = Exchange(Frame(GoodRequest(0x01020450)));
    ASSERT_TRUE(reply);
    const auto decoded = DecodeReply(CheckReplyFrame(*reply));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->requestId, 0x01020450);
    EXPECT_EQ(sim.LogLines().size(), 1u);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(PrinterSimLlc, WithoutCapNetRawExitsSayingSo) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv";
    const ProgramRun run = RunProgram({"/usr/bin/setpriv", "--bounding-set", "-net_raw", "--inh-caps", "-net_raw",
                                       BuildTreePath("tools/snmphelper-printer-sim"), "--port", "0",
                                       "--dlc-interface", kSimInterface});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("CAP_NET_RAW"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("ready"), std::string::npos);
}

TEST_F(PrinterSimLlc, AnUnknownInterfaceIsRefused) {
    const ProgramRun run =
        RunProgram({BuildTreePath("tools/snmphelper-printer-sim"), "--port", "0", "--dlc-interface", "nosuch0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("nosuch0"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("ready"), std::string::npos);
}

}  // namespace
