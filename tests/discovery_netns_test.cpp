// SPDX-License-Identifier: Apache-2.0
// snmphelper discover against a fleet of simulated printers on one veth
// segment: the tool on one end, the simulator's printers on the other, each
// with its own IP address and adapter address (its IPX node and DLC
// station). Printers answer on IP, IPX, DLC or all three; each is found once
// with its transports and addresses; 200 answering at once are all counted;
// one that answers after the timeout is not; --add records what status then
// reaches; the broadcasts on the wire, read by tshark.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discover/discovery_targets.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/raw_frames.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"
#include "tests/support/veth_pair.h"

namespace snmphelper {
namespace {

using Json = nlohmann::json;

constexpr char kHostInterface[] = "dschost0";
constexpr char kPrinterInterface[] = "dsprn0";
constexpr test::MacAddress kHostNode = {0x02, 0x00, 0x00, 0x00, 0x07, 0x01};
constexpr test::MacAddress kPrinterEnd = {0x02, 0x00, 0x00, 0x00, 0x07, 0x02};
constexpr char kHostAddress[] = "10.79.0.1/16";
constexpr char kBroadcast[] = "10.79.255.255";

// One simulated printer: what it answers on, and after how long.
struct Printer {
    std::string answer;  // "ip", "ipx", "dlc", comma-joined, or "none"
    int delayMs = 0;
};

bool Answers(const Printer &printer, const std::string &transport) {
    return ("," + printer.answer + ",").find("," + transport + ",") != std::string::npos;
}

// Printer i: IP 10.79.1.i (10.79.2.x past 250), adapter 02000009XXXX.
std::string IpOf(std::size_t i) { return "10.79." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250); }
std::string MacOf(std::size_t i) {
    char text[13];
    std::snprintf(text, sizeof text, "02000009%04X", static_cast<unsigned>(i));
    return text;
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class DiscoveryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        veth_ = new test::VethPair(kHostInterface, kPrinterInterface, kHostNode, kPrinterEnd);
        if (veth_->Ready()) test::RunProgram({"ip", "addr", "add", kHostAddress, "brd", "+", "dev", kHostInterface});
        setenv("SNMPHELPER_IPX_INTERFACE", kHostInterface, 1);
        setenv("SNMPHELPER_DLC_INTERFACE", kHostInterface, 1);
    }
    static void TearDownTestSuite() {
        delete veth_;
        veth_ = nullptr;
        unsetenv("SNMPHELPER_IPX_INTERFACE");
        unsetenv("SNMPHELPER_DLC_INTERFACE");
    }

    void SetUp() override {
        ASSERT_TRUE(veth_->Ready()) << veth_->Error();
        registry_ = std::make_unique<test::TempRegistry>("Windows Registry Editor Version 5.00\n\n");
        ASSERT_EQ(test::RunSnmphelper({"config", "set", "timeout", "1"}).exitCode, 0);
        ASSERT_EQ(test::RunSnmphelper({"config", "set", "retries", "0"}).exitCode, 0);
    }

    void TearDown() override {
        sim_.reset();
        if (!addressBatch_.empty()) {
            std::ofstream(addressBatch_) << std::string(removals_);
            test::RunProgram({"ip", "-batch", addressBatch_});
        }
    }

    // Gives each IP printer its address on the printer's end and starts the
    // simulator with the fleet.
    void StartFleet(const std::vector<Printer> &printers) {
        sim_.reset();
        fleet_ = printers;
        const std::string folder = test::MakeTempFolder("discovery-fleet");
        const std::string fleetFile = folder + "/fleet.txt";
        addressBatch_ = folder + "/addresses.batch";
        std::ofstream file(fleetFile);
        std::string additions;
        for (std::size_t i = 0; i < printers.size(); ++i) {
            const bool ip = Answers(printers[i], "ip");
            file << "ip=" << (ip ? IpOf(i) : "-") << " mac=" << MacOf(i) << " answer=" << printers[i].answer
                 << " delay=" << printers[i].delayMs << " name=sim" << i << "\n";
            if (ip) {
                additions += "addr add " + IpOf(i) + "/16 brd + dev " + kPrinterInterface + "\n";
                removals_ += "addr del " + IpOf(i) + "/16 dev " + kPrinterInterface + "\n";
            }
        }
        file.close();
        std::ofstream(addressBatch_) << additions;
        ASSERT_EQ(test::RunProgram({"ip", "-batch", addressBatch_}).exitCode, 0);
        sim_ = std::make_unique<test::PrinterSimulator>(
            std::vector<std::string>{"--discovery-fleet", fleetFile, "--fleet-interface", kPrinterInterface});
        ASSERT_TRUE(sim_->Ready());
    }

    // discover --json with `extra` arguments: its printers by hardware address.
    std::map<std::string, Json> Discover(const std::vector<std::string> &extra, Json *whole = nullptr) {
        std::vector<std::string> arguments = {"discover", "--json", "--timeout", "1"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const test::ProgramRun run = test::RunSnmphelper(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.out;
        const Json output = Json::parse(run.out, nullptr, false);
        EXPECT_FALSE(output.is_discarded()) << run.out;
        std::map<std::string, Json> found;
        if (output.is_discarded()) return found;
        for (const Json &printer : output["printers"]) {
            const std::string hardware = printer["hardwareAddress"];
            EXPECT_EQ(found.count(hardware), 0u) << "found twice: " << hardware;
            found[hardware] = printer;
        }
        if (whole != nullptr) *whole = output;
        return found;
    }

    // The record discover should give printer i.
    void ExpectFound(const std::map<std::string, Json> &found, std::size_t i) {
        SCOPED_TRACE("printer " + std::to_string(i) + " answering " + fleet_[i].answer);
        const auto entry = found.find(MacOf(i));
        ASSERT_NE(entry, found.end());
        const Json &printer = entry->second;
        Json protocols = Json::array();
        Json addresses = Json::object();
        if (Answers(fleet_[i], "ip")) {
            protocols.push_back("ip");
            addresses["ip"] = IpOf(i);
        }
        if (Answers(fleet_[i], "ipx")) {
            protocols.push_back("ipx");
            addresses["ipx"] = "00000000" + MacOf(i);
        }
        if (Answers(fleet_[i], "dlc")) {
            protocols.push_back("dlc");
            addresses["dlc"] = MacOf(i);
        }
        EXPECT_EQ(printer["protocols"], protocols);
        EXPECT_EQ(printer["addresses"], addresses);
        EXPECT_EQ(printer["name"], "sim" + std::to_string(i));
        EXPECT_EQ(printer["serial"], "SIM" + Lower(MacOf(i)));
        EXPECT_EQ(printer["model"], "Brelvin Palimar 4100 colour laser printer");
        EXPECT_EQ(printer["sysObjectID"], "1.3.6.1.4.1.236.11.5.1");
    }

    static test::VethPair *veth_;
    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<test::PrinterSimulator> sim_;
    std::vector<Printer> fleet_;
    std::string addressBatch_;
    std::string removals_;
};

test::VethPair *DiscoveryTest::veth_ = nullptr;

TEST_F(DiscoveryTest, FindsEachPrinterOnceOverTheTransportsItAnswersOn) {
    // A late printer answers after the timeout; a silent one never.
    StartFleet({{"ip"}, {"ipx"}, {"dlc"}, {"ip,ipx,dlc"}, {"ip"}, {"ipx"}, {"dlc"}, {"ip,ipx,dlc"}, {"ip,dlc"},
                {"ip,ipx,dlc", 2500}, {"none"}});
    Json whole;
    const std::map<std::string, Json> found = Discover({}, &whole);
    EXPECT_EQ(found.size(), 9u) << whole.dump();
    for (std::size_t i = 0; i < 9; ++i) ExpectFound(found, i);
    EXPECT_EQ(found.count(MacOf(9)), 0u) << "answered after the timeout";
    EXPECT_EQ(found.count(MacOf(10)), 0u);
    EXPECT_EQ(whole["sent"], "dlc,ip,ipx");
    // Every printer answered each transport's broadcast once.
    EXPECT_EQ(whole["replies"], 2 + 2 + 2 + 2 * 3 + 2) << whole.dump();
}

TEST_F(DiscoveryTest, OnlyTheTransportsAskedFor) {
    StartFleet({{"ip"}, {"ipx"}, {"ip,ipx,dlc"}});
    const std::map<std::string, Json> found = Discover({"--protocols", "ipx"});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found.at(MacOf(1))["protocols"], Json::array({"ipx"}));
    EXPECT_EQ(found.at(MacOf(2))["protocols"], Json::array({"ipx"}));
    EXPECT_EQ(found.at(MacOf(2))["use"], "ipx");
}

// Over DLC too, where one burst is several times what the DLC interface's
// buffer pool holds.
TEST_F(DiscoveryTest, TwoHundredPrintersAnsweringAtOnceAreAllCounted) {
    const struct {
        const char *transports;
        int replies;
    } cases[] = {{"dlc", 200}, {"ip,ipx,dlc", 600}};
    for (const auto &burst : cases) {
        SCOPED_TRACE(burst.transports);
        std::vector<Printer> printers(200, Printer{burst.transports});
        StartFleet(printers);
        Json whole;
        const std::map<std::string, Json> found = Discover({"--protocols", burst.transports}, &whole);
        EXPECT_EQ(found.size(), 200u);
        EXPECT_EQ(whole["replies"], burst.replies);
        for (std::size_t i = 0; i < printers.size(); i += 37) ExpectFound(found, i);
    }
}

TEST_F(DiscoveryTest, SubnetTargetsAndTheWalk) {
    StartFleet({{"ip"}, {"ip"}, {"ip"}});
    // The directed broadcast of the printers' /16, and a walk of two of their addresses.
    EXPECT_EQ(Discover({"--protocols", "ip", "--subnet", "10.79.0.0/16"}).size(), 3u);
    const std::map<std::string, Json> walked =
        Discover({"--protocols", "ip", "--subnet", IpOf(1) + "-" + IpOf(2), "--rate", "1000"});
    // The interfaces' broadcast finds all three; the walk adds no duplicate.
    EXPECT_EQ(walked.size(), 3u);
    const test::ProgramRun refused = test::RunSnmphelper({"discover", "--subnet", "10.79.0.0/33"});
    EXPECT_EQ(refused.exitCode, 2) << refused.out;
}

TEST_F(DiscoveryTest, AddRecordsWhatStatusReachesAndKeepsARecordedPrinter) {
    StartFleet({{"ip"}, {"ipx"}, {"dlc"}, {"ip,ipx,dlc"}});
    // Printer 0 is recorded already, under a name of its own.
    ASSERT_EQ(test::RunSnmphelper({"printer", "add", "mine", "--ip", IpOf(0)}).exitCode, 0);
    const std::string before = registry_->Contents();
    Json whole;
    Discover({"--add", "--prefix", "lab"}, &whole);
    std::map<std::string, Json> byHardware;
    for (const Json &printer : whole["printers"]) byHardware[printer["hardwareAddress"]] = printer;
    ASSERT_EQ(byHardware.size(), 4u) << whole.dump();
    EXPECT_EQ(byHardware[MacOf(0)]["kept"], "mine");
    const std::string mineAfter = registry_->Contents();
    EXPECT_NE(mineAfter.find("\"IP Address\"=\"" + IpOf(0) + "\""), std::string::npos);

    const struct {
        std::size_t printer;
        const char *protocol;  // as status names the one it used
    } reached[] = {{1, "IPX"}, {2, "DLC"}, {3, "UDP/IP"}};
    for (const auto &expected : reached) {
        const std::string name = "lab-" + MacOf(expected.printer);
        SCOPED_TRACE(name);
        EXPECT_EQ(byHardware[MacOf(expected.printer)]["added"], name);
        const test::ProgramRun status = test::RunSnmphelper({"status", name, "--json"});
        ASSERT_EQ(status.exitCode, 0) << status.out;
        const Json view = Json::parse(status.out, nullptr, false);
        ASSERT_FALSE(view.is_discarded()) << status.out;
        EXPECT_EQ(view["protocol"], expected.protocol);
    }
    // The all-transport printer is recorded with every address.
    const test::ProgramRun show = test::RunSnmphelper({"printer", "show", "lab-" + MacOf(3), "--json"});
    ASSERT_EQ(show.exitCode, 0) << show.out;
    const Json record = Json::parse(show.out, nullptr, false);
    EXPECT_EQ(record["protocols"], "dlc,ip,ipx") << show.out;

    // A second run adds nothing and says which it kept.
    Json again;
    Discover({"--add", "--prefix", "lab"}, &again);
    EXPECT_EQ(again["printers"].size(), 4u) << again.dump();
    for (const Json &printer : again["printers"]) EXPECT_TRUE(printer.contains("kept")) << printer.dump();
}

TEST_F(DiscoveryTest, APrinterWithoutSomeObjectsIsAskedAgainWithoutThem) {
    // A printer with neither a serial number nor the print server's hardware
    // address: RFC 1157 refuses the whole request with noSuchName, naming one.
    const std::string folder = test::MakeTempFolder("discovery-objects");
    const std::string objects = folder + "/objects.txt";
    std::ofstream(objects) << "1.3.6.1.2.1.1.1.0 STRING \"Plain printer\"\n"
                              "1.3.6.1.2.1.1.2.0 OID 1.3.6.1.4.1.99\n"
                              "1.3.6.1.2.1.1.5.0 STRING plain\n"
                              "1.3.6.1.2.1.25.3.2.1.3.1 STRING \"Plain laser\"\n";
    ASSERT_EQ(test::RunProgram({"ip", "addr", "add", "10.79.3.1/16", "brd", "+", "dev", kPrinterInterface}).exitCode,
              0);
    test::PrinterSimulator sim({"--empty", "--objects", objects}, "0.0.0.0");
    ASSERT_TRUE(sim.Ready());
    Json whole;
    const test::ProgramRun run = test::RunSnmphelper({"discover", "--json", "--timeout", "1", "--protocols", "ip"});
    test::RunProgram({"ip", "addr", "del", "10.79.3.1/16", "dev", kPrinterInterface});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    whole = Json::parse(run.out, nullptr, false);
    ASSERT_EQ(whole["printers"].size(), 1u) << run.out;
    const Json &printer = whole["printers"][0];
    EXPECT_EQ(printer["name"], "plain");
    EXPECT_EQ(printer["model"], "Plain laser");
    EXPECT_EQ(printer["sysObjectID"], "1.3.6.1.4.1.99");
    EXPECT_EQ(printer["serial"], "");
    EXPECT_EQ(printer["hardwareAddress"], "");
    // The broadcast, then once without the serial number, then once without
    // the hardware address as well.
    EXPECT_EQ(whole["replies"], 3) << run.out;
    EXPECT_EQ(sim.LogLines().size(), 3u) << sim.Log();
}

// The --subnet forms, as the library reads them.
TEST(DiscoveryTargetsTest, ParsesAddressesSubnetsAndRanges) {
    const struct {
        const char *text;
        bool walk;
        bool accepted;
        std::vector<std::string> immediate;
        std::uint64_t walked;
    } cases[] = {
        {"10.1.2.7", false, true, {"10.1.2.7"}, 0},
        {"10.1.2.0/24", false, true, {"10.1.2.255"}, 0},
        {"10.1.2.9/24", false, true, {"10.1.2.255"}, 0},   // host bits ignored
        {"10.1.2.0/24", true, true, {}, 254},               // hosts only
        {"10.1.2.4/31", true, true, {}, 2},                 // no network or broadcast address
        {"10.1.2.10-10.1.2.50", false, true, {}, 41},
        {"10.1.2.7,10.1.3.0/24", false, true, {"10.1.2.7", "10.1.3.255"}, 0},
        {"10.0.0.0/16", true, true, {}, 65534},
        {"10.0.0.0/15", true, false, {}, 0},                // more than a /16 to walk
        {"10.1.2.50-10.1.2.10", false, false, {}, 0},
        {"10.1.2.0/33", false, false, {}, 0},
        {"10.1.2.0/", false, false, {}, 0},
        {"10.1.2", false, false, {}, 0},
        {"010.1.2.3", false, false, {}, 0},                 // octal to inet_addr
        {"10.1.2.3,", false, false, {}, 0},
        {"printer.example.com", false, false, {}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        DiscoveryTargets targets;
        ASSERT_EQ(ParseDiscoveryTargets(c.text, c.walk, targets), c.accepted);
        if (!c.accepted) continue;
        std::vector<std::string> immediate;
        for (const auto &address : targets.immediate) {
            immediate.push_back(std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
                                std::to_string(address[2]) + "." + std::to_string(address[3]));
        }
        EXPECT_EQ(immediate, c.immediate);
        EXPECT_EQ(targets.WalkedCount(), c.walked);
    }
}

TEST(DiscoveryRecordTest, RefusesWhatItCannotServe) {
    SnmpDiscovery discovery{};
    EXPECT_EQ(HelperSNMPDiscover(nullptr), SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(HelperSNMPDiscover(&discovery), SNMP_RESULT_INVALID_ARGUMENT);  // no recordSize
    discovery.recordSize = sizeof discovery;
    discovery.cProtocols = 8;
    EXPECT_EQ(HelperSNMPDiscover(&discovery), SNMP_RESULT_INVALID_ARGUMENT);
    discovery.cProtocols = SNMP_PROTOCOL_IP;
    discovery.targets = "10.1.2.0/40";
    discovery.printerCount = 7;
    EXPECT_EQ(HelperSNMPDiscover(&discovery), SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(discovery.printerCount, 7u) << "outputs untouched";
    static_assert(sizeof(SnmpDiscoveredPrinter) == 1376);
    static_assert(offsetof(SnmpDiscovery, targets) == 32);
}

// tshark knows no SNMP over LLC: map the SAPs of the exchange to SNMP.
constexpr char kSnmpOverLlcScript[] =
    "local snmp = Dissector.get(\"snmp\")\n"
    "DissectorTable.get(\"llc.dsap\"):add(0x0a, snmp)\n";

TEST_F(DiscoveryTest, TsharkReadsEachBroadcastAsAGetRequestForTheSixObjects) {
    if (test::RunProgram({"tshark", "--version"}).exitCode != 0) GTEST_SKIP() << "tshark is not installed";
    StartFleet({{"none"}});
    test::RawFrames wire(kPrinterInterface);
    ASSERT_TRUE(wire.Open()) << wire.Error();
    const test::ProgramRun run = test::RunSnmphelper({"discover", "--timeout", "0.3"});
    EXPECT_EQ(run.exitCode, 3) << run.out;  // nobody answered
    // The three broadcasts as they arrived at the printers' end.
    std::vector<std::vector<std::uint8_t>> captured;
    while (auto frame = wire.Receive(200)) {
        const bool broadcast = (*frame)[0] == 0xFF && (*frame)[5] == 0xFF;
        if (broadcast && frame->size() > 60) captured.push_back(*frame);
    }
    const std::string folder = test::MakeTempFolder("discovery-wire");
    const std::string pcap = folder + "/broadcasts.pcap";
    const std::string script = folder + "/snmp_over_llc.lua";
    std::ofstream(script) << kSnmpOverLlcScript;
    ASSERT_TRUE(test::WritePcap(pcap, captured));
    const test::ProgramRun read = test::RunProgram(
        {"tshark", "-X", "lua_script:" + script, "-r", pcap, "-Y", "snmp", "-T", "fields", "-E", "separator=;",
         "-E", "occurrence=a", "-E", "aggregator=,", "-e", "ip.dst", "-e", "udp.dstport", "-e", "ipx.dst.net", "-e",
         "ipx.dst.node", "-e", "ipx.dst.socket", "-e", "ipx.packet_type", "-e", "llc.dsap", "-e", "llc.control",
         "-e", "snmp.version", "-e", "snmp.data", "-e", "snmp.name"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const std::string objects =
        "1.3.6.1.2.1.1.1.0,1.3.6.1.2.1.1.2.0,1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.25.3.2.1.3.1,"
        "1.3.6.1.2.1.43.5.1.1.17.1,1.3.6.1.4.1.236.11.5.1.12.3.3.0";
    std::set<std::string> lines;
    for (const std::string &line : test::Lines(read.out)) lines.insert(line);
    // version-1 (0), get-request (0), the six objects; over UDP to the
    // interfaces' broadcast at 161, over IPX to network 0, every node, socket
    // 900F, packet type 4 (RFC 1420), over LLC a UI frame to SAP 0A.
    const std::set<std::string> expected = {
        std::string(kBroadcast) + ";161;;;;;;;0;0;" + objects,
        ";;0x00000000;ff:ff:ff:ff:ff:ff;0x900f;0x04;;;0;0;" + objects,
        ";;;;;;0x0a;0x0003;0;0;" + objects,
    };
    EXPECT_EQ(lines, expected) << read.out;
}

}  // namespace
}  // namespace snmphelper
