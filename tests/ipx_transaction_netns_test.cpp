// SPDX-License-Identifier: Apache-2.0
// Transactions over IPX end to end: the library (its IPX transport, the
// WinSock library it loads, IPX over packet sockets) on one end of a veth
// pair, the printer simulator answering RFC 1420 SNMP on the other; and the
// channel's protocol fallback between IP and IPX, with the switch read back
// from the configuration store. The library's frames are also read by
// tshark, as an independent decoder.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/library_entry.h"
#include "groups/object_groups.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/raw_frames.h"
#include "tests/support/temp_registry.h"
#include "tests/support/udp_peer.h"
#include "tests/support/veth_pair.h"
#include "transport/datagram_transport.h"

namespace snmphelper {
namespace {

using test::MacAddress;
using test::PrinterSimulator;
using test::TempRegistry;

constexpr char kHostInterface[] = "ipxhost0";
constexpr char kPrinterInterface[] = "ipxprn0";
constexpr MacAddress kHostNode = {0x02, 0x00, 0x00, 0x00, 0x01, 0x01};
constexpr MacAddress kPrinterNode = {0x02, 0x00, 0x00, 0x00, 0x01, 0x02};
// The simulator's node on network 0, as a printer's IPX Address holds it.
constexpr char kPrinterIpx[] = "00000000020000000102";
// A node nobody on the segment has: a printer that stays silent over IPX.
constexpr char kSilentIpx[] = "00000000020000000199";
// Where a UDP peer takes requests and never answers.
constexpr char kSilentIp[] = "127.0.0.2";
constexpr char kSysName[] = "1.3.6.1.2.1.1.5.0";
constexpr char kSysLocation[] = "1.3.6.1.2.1.1.6.0";

struct Printer {
    int cProtocols;
    int pProtocol;
    std::string ipx = kPrinterIpx;
    std::string ip = "127.0.0.1";
};

std::string Hive(const Printer &printer) {
    return test::LinkPrinterHive("prn", {printer.cProtocols, printer.pProtocol, printer.ipx, "020000000102", printer.ip});
}

std::uint32_t StoredProtocol() { return test::StoredProtocol("prn"); }

std::vector<std::uint32_t> CreatedProtocols() { return test::RecordedTransports(); }

test::TransactOutcome Transact(std::int32_t requestType, const std::string &oids, const std::string &valueText = "") {
    return test::TransactOne("prn", requestType, oids, valueText);
}

char moduleToken;

class IpxTransactionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LibraryEntry(&moduleToken, kProcessAttach); }

    void SetUp() override {
        veth_ = std::make_unique<test::VethPair>(kHostInterface, kPrinterInterface, kHostNode, kPrinterNode);
        ASSERT_TRUE(veth_->Ready()) << veth_->Error();
        setenv("SNMPHELPER_IPX_INTERFACE", kHostInterface, 1);
        unsetenv("SNMPHELPER_IPX_FRAME");
        unsetenv("SNMPHELPER_IPX_NETWORK");
        test::StartRecordingTransports();
    }

    void TearDown() override {
        test::StopRecordingTransports();
        sim_.reset();
        unsetenv("SNMPHELPER_IPX_INTERFACE");
        unsetenv("SNMPHELPER_IPX_FRAME");
    }

    void UsePrinter(const Printer &printer) {
        registry_.reset();
        registry_ = std::make_unique<TempRegistry>(Hive(printer));
    }

    // The simulator: UDP on 127.0.0.1:161, IPX on the printer's end.
    PrinterSimulator &StartSim(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), {"--ipx-interface", kPrinterInterface});
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        EXPECT_TRUE(sim_->Ready());
        return *sim_;
    }

    std::unique_ptr<test::VethPair> veth_;
    std::unique_ptr<TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

// The simulator's log lines of requests that came over IPX.
std::vector<std::string> IpxRequests(const PrinterSimulator &sim) {
    std::vector<std::string> lines;
    for (const std::string &line : sim.LogLines()) {
        if (line.find("frame=") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

TEST_F(IpxTransactionTest, GetGetNextAndSetOverIpx) {
    UsePrinter({1, 1});
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome get = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(get.result, 0);
    EXPECT_EQ(get.values, "2,12,PALIMAR-4100");

    const test::TransactOutcome next = Transact(SNMP_REQUEST_GET_NEXT, "1.3.6.1.2.1.1.5");
    ASSERT_EQ(next.result, 0);
    EXPECT_EQ(next.identifiers, kSysName);

    ASSERT_EQ(Transact(SNMP_REQUEST_SET, kSysLocation, "2,9,IPX bench").result, 0);
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysLocation).values, "2,9,IPX bench");

    const std::vector<std::string> requests = IpxRequests(sim);
    ASSERT_EQ(requests.size(), 4u);
    // From the host's node on network 0, in the default framing.
    EXPECT_NE(requests[0].find("from=00000000.020000000101:"), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("frame=ethernet_ii"), std::string::npos) << requests[0];
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{1, 1, 1, 1}));
}

TEST_F(IpxTransactionTest, EveryFrameTypeCarriesTheTransaction) {
    UsePrinter({1, 1});
    PrinterSimulator &sim = StartSim();
    const char *frames[] = {"ethernet_ii", "802.3", "802.2", "snap"};
    for (const char *frame : frames) {
        setenv("SNMPHELPER_IPX_FRAME", frame, 1);
        EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysName).values, "2,12,PALIMAR-4100") << frame;
    }
    const std::vector<std::string> requests = IpxRequests(sim);
    ASSERT_EQ(requests.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NE(requests[i].find(std::string("frame=") + frames[i]), std::string::npos) << requests[i];
    }
}

TEST_F(IpxTransactionTest, EveryObjectGroupOverIpx) {
    UsePrinter({1, 1});
    StartSim();
    for (std::uint32_t group = 0; group < kObjectGroupCount; ++group) {
        char values[4096];
        std::uint32_t valueSize = sizeof values;
        EXPECT_EQ(HelperGetSNMPObjects("prn", group, values, &valueSize), 0) << "group " << group;
    }
}

// A printer silent over IP: two receives and a re-send after each, then the
// channel switches to IPX, sends again and reads the reply; the switch stays.
TEST_F(IpxTransactionTest, SilenceOverIpSwitchesToIpxAndTheSwitchIsStored) {
    UsePrinter({3, 2, kPrinterIpx, kSilentIp});
    test::UdpPeer silent(161, kSilentIp);
    ASSERT_TRUE(silent.Bound());
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome outcome = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.values, "2,12,PALIMAR-4100");
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{2, 2, 2, 1}));
    EXPECT_EQ(StoredProtocol(), 1u);
    EXPECT_EQ(IpxRequests(sim).size(), 1u);
    int swallowed = 0;
    while (silent.Receive(100)) ++swallowed;
    EXPECT_EQ(swallowed, 3);
}

TEST_F(IpxTransactionTest, SilenceOverIpxSwitchesToIpAndTheSwitchIsStored) {
    UsePrinter({3, 1, kSilentIpx});
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome outcome = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{1, 1, 1, 2}));
    EXPECT_EQ(StoredProtocol(), 2u);
    EXPECT_TRUE(IpxRequests(sim).empty());
    // The next transaction starts over IP at once.
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysName).result, 0);
    EXPECT_EQ(CreatedProtocols().back(), 2u);
}

// With no interface to carry IPX the transport's set-up fails, its send
// fails, and the channel moves on to IP at once.
TEST_F(IpxTransactionTest, IpxThatCannotSendFallsBackToIpAtOnce) {
    UsePrinter({3, 1});
    StartSim();
    setenv("SNMPHELPER_IPX_INTERFACE", "nosuch0", 1);
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysName).result, 0);
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(StoredProtocol(), 2u);
}

// The transport whose set-up failed answers its send as closed, and with no
// other protocol that answer is the transaction's.
TEST_F(IpxTransactionTest, IpxOnlyPrinterThatCannotBeReachedReportsTheSendFailure) {
    UsePrinter({1, 1});
    setenv("SNMPHELPER_IPX_INTERFACE", "nosuch0", 1);
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysName).result, CPH_SOCKET_CLOSED);
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{1}));
}

// --- The wire, read by tshark ------------------------------------------------


TEST_F(IpxTransactionTest, TsharkReadsTheRequestAsSnmpOverIpx) {
    if (test::RunProgram({"tshark", "--version"}).exitCode != 0) GTEST_SKIP() << "tshark is not installed";
    UsePrinter({1, 1});
    test::RawFrames wire(kPrinterInterface);
    ASSERT_TRUE(wire.Open()) << wire.Error();
    StartSim();
    const char *frames[] = {"ethernet_ii", "802.3", "802.2", "snap"};
    std::vector<std::vector<std::uint8_t>> captured;
    for (const char *frame : frames) {
        setenv("SNMPHELPER_IPX_FRAME", frame, 1);
        ASSERT_EQ(Transact(SNMP_REQUEST_GET, kSysName).result, 0) << frame;
        // The request, as it arrived at the printer's end (its own reply is
        // outgoing there and not seen).
        // Only IPX: a new link also carries the host's IPv6 neighbour discovery.
        auto request = wire.ReceiveMatching([](const std::vector<std::uint8_t> &bytes) {
            if (bytes.size() < 14 || std::memcmp(bytes.data() + 6, kHostNode.data(), 6) != 0) return false;
            const unsigned typeOrLength = (bytes[12] << 8) | bytes[13];
            return typeOrLength == 0x8137 || typeOrLength <= 1500;
        });
        ASSERT_TRUE(request) << frame;
        captured.push_back(*request);
    }
    const std::string folder = test::MakeTempFolder("ipx-wire");
    const std::string pcap = folder + "/requests.pcap";
    ASSERT_TRUE(test::WritePcap(pcap, captured));
    const test::ProgramRun run = test::RunProgram(
        {"tshark", "-r", pcap, "-T", "fields", "-E", "separator=;", "-e", "ipx.packet_type", "-e",
         "ipx.dst.net", "-e", "ipx.dst.node", "-e", "ipx.dst.socket", "-e", "ipx.src.node", "-e", "snmp.community",
         "-e", "snmp.name"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = test::Lines(run.out);
    ASSERT_GE(lines.size(), 4u) << run.out;
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i], "0x04;0x00000000;02:00:00:00:01:02;0x900f;02:00:00:00:01:01;t*o&r^e~l+d;1.3.6.1.2.1.1.5.0")
            << frames[i];
    }
    unlink(pcap.c_str());
    rmdir(folder.c_str());
}

}  // namespace
}  // namespace snmphelper
