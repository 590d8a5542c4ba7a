// SPDX-License-Identifier: Apache-2.0
// Transactions over DLC end to end: the library (its DLC transport and the
// DLC interface dlcapi.so it loads, LLC type 1 over a packet socket) on one
// end of a veth pair, the printer simulator answering SNMP in UI frames to
// SAP 0A on the other; the channel's protocol fallback between IP and DLC,
// with the switch read back from the configuration store; several threads
// at once; the library's frames read by tshark as an independent decoder;
// and the tool's "dlc" report.
//
// The library opens its DLC adapter once, when it is attached: the veth
// pair and SNMPHELPER_DLC_INTERFACE are in place before that, for the whole
// suite.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dlc/dlc_access.h"
#include "dlc/dlc_transport.h"
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

constexpr char kHostInterface[] = "dlchost0";
constexpr char kPrinterInterface[] = "dlcprn0";
constexpr MacAddress kHostNode = {0x02, 0x00, 0x00, 0x00, 0x02, 0x01};
constexpr MacAddress kPrinterNode = {0x02, 0x00, 0x00, 0x00, 0x02, 0x02};
// The simulator's end, as a printer's MAC Address holds it.
constexpr char kPrinterMac[] = "020000000202";
// An adapter nobody on the segment has: a printer silent over DLC.
constexpr char kSilentMac[] = "020000000299";
// Where a UDP peer takes requests and never answers.
constexpr char kSilentIp[] = "127.0.0.2";
constexpr char kSysName[] = "1.3.6.1.2.1.1.5.0";
constexpr char kSysLocation[] = "1.3.6.1.2.1.1.6.0";
constexpr std::uint32_t kIp = 2;
constexpr std::uint32_t kDlc = 4;

struct Printer {
    int cProtocols;
    int pProtocol;
    std::string mac = kPrinterMac;
    std::string ip = "127.0.0.1";
};

std::string Hive(const Printer &printer) {
    return test::LinkPrinterHive("prn", {printer.cProtocols, printer.pProtocol, "", printer.mac, printer.ip});
}

std::uint32_t StoredProtocol() { return test::StoredProtocol("prn"); }

std::vector<std::uint32_t> CreatedProtocols() { return test::RecordedTransports(); }

test::TransactOutcome Transact(std::int32_t requestType, const std::string &oids, const std::string &valueText = "") {
    return test::TransactOne("prn", requestType, oids, valueText);
}

// An object of the simulator's that only thread `thread` asks for.
std::string ThreadObject(int thread) { return "1.3.6.1.4.1.99.2." + std::to_string(thread) + ".0"; }
std::string ThreadValue(int thread) { return "dlc-thread-" + std::to_string(thread); }

char moduleToken;

class DlcTransactionTest : public ::testing::Test {
protected:
    // The adapter stays bound to the interface for the life of the process,
    // so the pair is made once and outlives repeated runs of the suite (the
    // private namespace takes it away at the end).
    static void SetUpTestSuite() {
        if (veth_ != nullptr) return;
        veth_ = new test::VethPair(kHostInterface, kPrinterInterface, kHostNode, kPrinterNode);
        setenv("SNMPHELPER_DLC_INTERFACE", kHostInterface, 1);
        LibraryEntry(&moduleToken, kProcessAttach);
    }

    void SetUp() override {
        ASSERT_TRUE(veth_->Ready()) << veth_->Error();
        ASSERT_TRUE(DlcAvailable());
        test::StartRecordingTransports();
    }

    void TearDown() override {
        test::StopRecordingTransports();
        sim_.reset();
    }

    void UsePrinter(const Printer &printer) {
        registry_.reset();
        registry_ = std::make_unique<TempRegistry>(Hive(printer));
    }

    // The simulator: UDP on 127.0.0.1:161, DLC on the printer's end.
    PrinterSimulator &StartSim(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), {"--dlc-interface", kPrinterInterface});
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        EXPECT_TRUE(sim_->Ready());
        return *sim_;
    }

    static test::VethPair *veth_;
    std::unique_ptr<TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

test::VethPair *DlcTransactionTest::veth_ = nullptr;

// The simulator's log lines of requests that came over DLC.
std::vector<std::string> DlcRequests(const PrinterSimulator &sim) {
    std::vector<std::string> lines;
    for (const std::string &line : sim.LogLines()) {
        if (line.find("frame=llc") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

TEST_F(DlcTransactionTest, TheAdapterIsTheHostEnd) {
    const std::uint8_t *node = DlcAdapterNodeAddress();
    EXPECT_EQ(MacAddress({node[0], node[1], node[2], node[3], node[4], node[5]}), kHostNode);
}

TEST_F(DlcTransactionTest, GetGetNextAndSetOverDlc) {
    UsePrinter({kDlc, kDlc});
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome get = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(get.result, 0);
    EXPECT_EQ(get.values, "2,12,PALIMAR-4100");

    const test::TransactOutcome next = Transact(SNMP_REQUEST_GET_NEXT, "1.3.6.1.2.1.1.5");
    ASSERT_EQ(next.result, 0);
    EXPECT_EQ(next.identifiers, kSysName);

    ASSERT_EQ(Transact(SNMP_REQUEST_SET, kSysLocation, "2,9,DLC bench").result, 0);
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysLocation).values, "2,9,DLC bench");

    const std::vector<std::string> requests = DlcRequests(sim);
    ASSERT_EQ(requests.size(), 4u);
    // From the host's adapter and the library's SAP.
    for (const std::string &line : requests) {
        EXPECT_NE(line.find("from=020000000201:10"), std::string::npos) << line;
    }
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{kDlc, kDlc, kDlc, kDlc}));
    EXPECT_EQ(StoredProtocol(), kDlc);
}

TEST_F(DlcTransactionTest, EveryObjectGroupOverDlc) {
    UsePrinter({kDlc, kDlc});
    PrinterSimulator &sim = StartSim();
    for (std::uint32_t group = 0; group < kObjectGroupCount; ++group) {
        char values[4096];
        std::uint32_t valueSize = sizeof values;
        EXPECT_EQ(HelperGetSNMPObjects("prn", group, values, &valueSize), 0) << "group " << group;
    }
    EXPECT_EQ(DlcRequests(sim).size(), sim.LogLines().size());
    for (const std::uint32_t protocol : CreatedProtocols()) EXPECT_EQ(protocol, kDlc);
}

// The UDP send cannot go out: the channel switches to DLC at once.
TEST_F(DlcTransactionTest, FailedSendOverIpSwitchesToDlcAndTheSwitchIsStored) {
    UsePrinter({kIp | kDlc, kIp, kPrinterMac, "not-an-address"});
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome outcome = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.values, "2,12,PALIMAR-4100");
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{kIp, kDlc}));
    EXPECT_EQ(StoredProtocol(), kDlc);
    EXPECT_EQ(DlcRequests(sim).size(), 1u);
}

// A printer silent over IP: two receives and a re-send after each, then the
// channel switches to DLC, sends again and reads the reply; the switch stays.
TEST_F(DlcTransactionTest, SilenceOverIpSwitchesToDlcAndTheSwitchIsStored) {
    UsePrinter({kIp | kDlc, kIp, kPrinterMac, kSilentIp});
    test::UdpPeer silent(161, kSilentIp);
    ASSERT_TRUE(silent.Bound());
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome outcome = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.values, "2,12,PALIMAR-4100");
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{kIp, kIp, kIp, kDlc}));
    EXPECT_EQ(StoredProtocol(), kDlc);
    EXPECT_EQ(DlcRequests(sim).size(), 1u);
    int swallowed = 0;
    while (silent.Receive(100)) ++swallowed;
    EXPECT_EQ(swallowed, 3);
    // The next transaction starts over DLC at once.
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysName).result, 0);
    EXPECT_EQ(CreatedProtocols().back(), kDlc);
}

TEST_F(DlcTransactionTest, SilenceOverDlcSwitchesToIpAndTheSwitchIsStored) {
    UsePrinter({kIp | kDlc, kDlc, kSilentMac});
    PrinterSimulator &sim = StartSim();
    const test::TransactOutcome outcome = Transact(SNMP_REQUEST_GET, kSysName);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.values, "2,12,PALIMAR-4100");
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{kDlc, kDlc, kDlc, kIp}));
    EXPECT_EQ(StoredProtocol(), kIp);
    EXPECT_TRUE(DlcRequests(sim).empty());
    EXPECT_EQ(Transact(SNMP_REQUEST_GET, kSysName).result, 0);
    EXPECT_EQ(CreatedProtocols().back(), kIp);
}

// A MAC Address of fewer than 12 digits names no adapter: nothing goes out
// over DLC, and the channel switches to IP at once, without a receive.
TEST_F(DlcTransactionTest, AShortMacAddressSwitchesToIpAtOnce) {
    for (const char *mac : {"", "0200000002"}) {
        SCOPED_TRACE(mac);
        sim_.reset();  // port 161 free for the next one
        UsePrinter({kIp | kDlc, kDlc, mac});
        PrinterSimulator &sim = StartSim();
        test::StartRecordingTransports();
        const test::TransactOutcome outcome = Transact(SNMP_REQUEST_GET, kSysName);
        ASSERT_EQ(outcome.result, 0);
        EXPECT_EQ(outcome.values, "2,12,PALIMAR-4100");
        EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{kDlc, kIp}));
        EXPECT_EQ(StoredProtocol(), kIp);
        EXPECT_TRUE(DlcRequests(sim).empty());
        EXPECT_EQ(sim.LogLines().size(), 1u);
    }
}

// Four threads ask the same printer at once, each for an object of its own:
// every reply reaches the thread that asked for it.
TEST_F(DlcTransactionTest, ConcurrentTransactionsEachGetTheirOwnReply) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    UsePrinter({kDlc, kDlc});
    const std::string folder = test::MakeTempFolder("dlc-objects");
    const std::string objects = folder + "/objects.txt";
    {
        std::ofstream file(objects);
        for (int t = 0; t < kThreads; ++t) file << ThreadObject(t) << " STRING " << ThreadValue(t) << "\n";
    }
    PrinterSimulator &sim = StartSim({"--objects", objects});
    std::vector<std::vector<test::TransactOutcome>> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &outcomes] {
            for (int round = 0; round < kRounds; ++round) {
                outcomes[t].push_back(Transact(SNMP_REQUEST_GET, ThreadObject(t)));
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        const std::string expected = "2," + std::to_string(ThreadValue(t).size()) + "," + ThreadValue(t);
        for (const test::TransactOutcome &outcome : outcomes[t]) {
            EXPECT_EQ(outcome.result, 0) << "thread " << t;
            EXPECT_EQ(outcome.identifiers, ThreadObject(t)) << "thread " << t;
            EXPECT_EQ(outcome.values, expected) << "thread " << t;
        }
    }
    // Nothing went over IP, and no request needed a second try.
    EXPECT_EQ(DlcRequests(sim).size(), static_cast<std::size_t>(kThreads * kRounds));
    EXPECT_EQ(CreatedProtocols().size(), static_cast<std::size_t>(kThreads * kRounds));
    EXPECT_EQ(StoredProtocol(), kDlc);
    unlink(objects.c_str());
    rmdir(folder.c_str());
}

// A receive bounded in milliseconds (discovery's idle wait) waits for its
// frame: one that arrives during the wait is received, none times out.
TEST_F(DlcTransactionTest, AReceiveWithinABoundGetsTheFrameThatArrivesDuringIt) {
    test::RawFrames printer(kPrinterInterface);
    ASSERT_TRUE(printer.Open()) << printer.Error();
    DlcTransport transport(1, 0, 0);
    ASSERT_EQ(transport.Bind(0), TransportStatus::Ok);
    std::uint8_t received[64] = {};
    std::uint32_t length = 0;
    std::uint8_t sender[dlc::kNodeAddressLength] = {};
    std::uint16_t senderSap = 0;
    EXPECT_EQ(transport.ReceiveWithin(20, received, sizeof received, &length, sender, &senderSap),
              TransportStatus::DlcTimedOut);

    // A UI frame from the printer's end to the transport's SAP 0x10.
    std::vector<std::uint8_t> frame(kHostNode.begin(), kHostNode.end());
    frame.insert(frame.end(), kPrinterNode.begin(), kPrinterNode.end());
    frame.insert(frame.end(), {0x00, 0x06, kDlcDefaultLocalSap, kDlcAgentSap, 0x03, 0x30, 0x01, 0x05});
    frame.resize(60, 0);
    std::thread late([&printer, &frame] {
        // Sent once the receive is (most likely) waiting; early it is the same frame.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(printer.Send(frame));
    });
    const TransportStatus result = transport.ReceiveWithin(5000, received, sizeof received, &length, sender, &senderSap);
    late.join();
    ASSERT_EQ(result, TransportStatus::Ok);
    EXPECT_EQ(std::vector<std::uint8_t>(received, received + length), (std::vector<std::uint8_t>{0x30, 0x01, 0x05}));
    EXPECT_EQ(MacAddress({sender[0], sender[1], sender[2], sender[3], sender[4], sender[5]}), kPrinterNode);
    EXPECT_EQ(senderSap, kDlcAgentSap);
}

// --- The wire, read by tshark ------------------------------------------------


// tshark knows no SNMP over LLC: map both SAPs of the exchange to SNMP.
constexpr char kSnmpOverLlcScript[] =
    "local snmp = Dissector.get(\"snmp\")\n"
    "DissectorTable.get(\"llc.dsap\"):add(0x0a, snmp)\n"
    "DissectorTable.get(\"llc.dsap\"):add(0x10, snmp)\n";


TEST_F(DlcTransactionTest, TsharkReadsTheRequestAsSnmpInAnLlcUiFrame) {
    if (test::RunProgram({"tshark", "--version"}).exitCode != 0) GTEST_SKIP() << "tshark is not installed";
    UsePrinter({kDlc, kDlc});
    test::RawFrames wire(kPrinterInterface);
    ASSERT_TRUE(wire.Open()) << wire.Error();
    StartSim();
    const char *names[] = {kSysName, kSysLocation};
    std::vector<std::vector<std::uint8_t>> captured;
    for (const char *name : names) {
        ASSERT_EQ(Transact(SNMP_REQUEST_GET, name).result, 0) << name;
        // The request, as it arrived at the printer's end (the reply is
        // outgoing there and not seen): an 802.3 length frame from the host,
        // not the IPv6 multicast reports the kernel sends from the same node.
        auto request = wire.ReceiveMatching([](const std::vector<std::uint8_t> &bytes) {
            return bytes.size() > 14 && std::memcmp(bytes.data() + 6, kHostNode.data(), 6) == 0 &&
                   (bytes[12] << 8 | bytes[13]) < 0x0600;
        });
        ASSERT_TRUE(request) << name;
        captured.push_back(*request);
    }
    const std::string folder = test::MakeTempFolder("dlc-wire");
    const std::string pcap = folder + "/requests.pcap";
    const std::string script = folder + "/snmp_over_llc.lua";
    ASSERT_TRUE(test::WritePcap(pcap, captured));
    {
        std::ofstream lua(script);
        lua << kSnmpOverLlcScript;
    }
    // eth.len is present only for an 802.3 (length) frame; the frame type
    // 0x03 with modifier 0x00 is UI.
    const test::ProgramRun run = test::RunProgram(
        {"tshark", "-X", "lua_script:" + script, "-r", pcap, "-T", "fields", "-E", "separator=;", "-e", "eth.dst",
         "-e", "eth.src", "-e", "eth.len", "-e", "llc.dsap", "-e", "llc.ssap", "-e", "llc.control", "-e",
         "llc.control.ftype", "-e", "llc.control.u_modifier_cmd", "-e", "snmp.community", "-e", "snmp.data", "-e",
         "snmp.name"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = test::Lines(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    for (std::size_t i = 0; i < 2; ++i) {
        // 3 LLC octets and the SNMP message, which the OID's length decides.
        const std::size_t llcLength = captured[i][12] << 8 | captured[i][13];
        EXPECT_EQ(lines[i], "02:00:00:00:02:02;02:00:00:00:02:01;" + std::to_string(llcLength) +
                                ";0x0a;0x10;0x0003;0x03;0x00;t*o&r^e~l+d;0;" + names[i])
            << run.out;
    }
    unlink(pcap.c_str());
    unlink(script.c_str());
    rmdir(folder.c_str());
}

// --- The tool's report --------------------------------------------------------

TEST_F(DlcTransactionTest, ToolReportsTheAdapterItOpened) {
    const test::ProgramRun text = test::RunSnmphelper({"dlc"});
    EXPECT_EQ(text.exitCode, 0) << text.out;
    EXPECT_NE(text.out.find("available       yes"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("interface       dlchost0 (from SNMPHELPER_DLC_INTERFACE)"), std::string::npos)
        << text.out;
    // The library's node address, in Ethernet order again.
    EXPECT_NE(text.out.find("node address    02:00:00:00:02:01"), std::string::npos) << text.out;

    const test::ProgramRun json = test::RunSnmphelper({"dlc", "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.out;
    EXPECT_EQ(json.out,
              "{\"available\":true,\"interface\":\"dlchost0\",\"interfaceFrom\":\"SNMPHELPER_DLC_INTERFACE\","
              "\"node\":\"02:00:00:00:02:01\"}\n");
}

TEST_F(DlcTransactionTest, ToolReportsWhyNoAdapterCouldBeOpened) {
    setenv("SNMPHELPER_DLC_INTERFACE", "nosuch0", 1);
    const test::ProgramRun text = test::RunSnmphelper({"dlc"});
    const test::ProgramRun json = test::RunSnmphelper({"dlc", "--json"});
    setenv("SNMPHELPER_DLC_INTERFACE", kHostInterface, 1);
    EXPECT_EQ(text.exitCode, 1) << text.out;
    EXPECT_NE(text.out.find("available       no"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("the DLC interface could not open its adapter"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("nosuch0"), std::string::npos) << text.out;
    EXPECT_EQ(json.exitCode, 1) << json.out;
    EXPECT_NE(json.out.find("{\"available\":false,\"stage\":\"adapter-open\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"status\":\"0x5e\""), std::string::npos) << json.out;
}

// The interface reports another adapter type when told to; the library
// refuses it after reading the node address.
TEST_F(DlcTransactionTest, ToolReportsARefusedAdapterType) {
    setenv("SNMPHELPER_DLC_ADAPTER_TYPE", "0x0010", 1);
    const test::ProgramRun json = test::RunSnmphelper({"dlc", "--json"});
    unsetenv("SNMPHELPER_DLC_ADAPTER_TYPE");
    EXPECT_EQ(json.exitCode, 1) << json.out;
    EXPECT_NE(json.out.find("{\"available\":false,\"stage\":\"wrong-adapter-type\",\"result\":3"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"node\":\"02:00:00:00:02:01\""), std::string::npos) << json.out;
}

TEST_F(DlcTransactionTest, ToolReportsAMissingInterfaceLibrary) {
    const std::string empty = test::MakeTempFolder("dlc-no-platform");
    setenv("SNMPHELPER_PLATFORM_PATH", empty.c_str(), 1);
    const test::ProgramRun json = test::RunSnmphelper({"dlc", "--json"});
    setenv("SNMPHELPER_PLATFORM_PATH", test::BuildTreePath("snmphelper").c_str(), 1);
    rmdir(empty.c_str());
    EXPECT_EQ(json.exitCode, 1) << json.out;
    EXPECT_NE(json.out.find("{\"available\":false,\"stage\":\"no-interface-library\""), std::string::npos)
        << json.out;
}

}  // namespace
}  // namespace snmphelper
