// SPDX-License-Identifier: Apache-2.0
// The printer simulator playing a whole site: 10,000 printers from one
// process on 127.9.0.1-127.9.39.16, served by several threads. Each printer
// answers from its own address with its own objects, counters and faults;
// net-snmp's tools and plain sockets are the managers.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ber_build.h"
#include "tests/support/child_process.h"
#include "tests/support/udp_peer.h"

namespace snmphelper {
namespace {

using test::Bytes;
using test::ProgramRun;
using test::RunProgram;

constexpr int kFleetSize = 10000;
constexpr char kCommunity[] = "t*o&r^e~l+d";
constexpr int kSilent = 7;
constexpr int kJammed = 8;
constexpr int kGenErr = 9;
constexpr int kDelayed = 11;
constexpr int kThreads = 4;  // printer i is served by thread i mod kThreads

std::string Address(int index) {
    in_addr address{};
    inet_pton(AF_INET, "127.9.0.1", &address);
    address.s_addr = htonl(ntohl(address.s_addr) + static_cast<std::uint32_t>(index));
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

const Bytes kSysLocation = {0x2B, 6, 1, 2, 1, 1, 6, 0};

Bytes OctetString(const std::string &text) { return test::Tlv(0x04, Bytes(text.begin(), text.end())); }

// A request of one binding with a 4-octet request-id.
Bytes Request(std::uint8_t pduType, std::uint32_t requestId, const Bytes &name, const Bytes &value) {
    const Bytes id = {static_cast<std::uint8_t>(requestId >> 24), static_cast<std::uint8_t>(requestId >> 16),
                      static_cast<std::uint8_t>(requestId >> 8), static_cast<std::uint8_t>(requestId)};
    const Bytes pdu = test::Tlv(pduType, test::Join({test::Tlv(0x02, id), {0x02, 0x01, 0x00}, {0x02, 0x01, 0x00},
                                                    test::Tlv(0x30, test::VarBind(name, value))}));
    return test::Message(Bytes(kCommunity, kCommunity + sizeof kCommunity - 1), pdu);
}

bool Contains(const Bytes &haystack, const Bytes &needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// net-snmp's tool against one printer; a short timeout where silence is expected.
ProgramRun Tool(const char *tool, int printer, const std::vector<std::string> &arguments, const char *timeout = "5") {
    std::vector<std::string> argv = {tool, "-v1", "-c", kCommunity, "-On", "-Oqv", "-t", timeout, "-r", "0",
                                     Address(printer)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv);
}

std::string Value(const ProgramRun &run) { return run.out.substr(0, run.out.find_last_not_of('\n') + 1); }

class PrinterFleetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("MIBS", "", 1);
        setenv("MIBDIRS", "/nonexistent", 1);
        simulator_ = new test::PrinterSimulator(
            {"--addresses", Address(0) + "-" + Address(kFleetSize - 1), "--threads", std::to_string(kThreads),
             "--fault-at", Address(kSilent) + "=silent", "--fault-at", Address(kJammed) + "=paper-jam", "--fault-at",
             Address(kGenErr) + "=error-status:5", "--fault-at", Address(kDelayed) + "=delay:1500"},
            Address(0));
        ready_ = simulator_->Ready();
    }
    static void TearDownTestSuite() {
        // A clean stop of every thread (under ThreadSanitizer also: no race reported).
        if (ready_) {
            EXPECT_EQ(simulator_->Stop(), 0);
        }
        delete simulator_;
        simulator_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(ready_); }

    // Sends each request to its printer, `window` at a time, and returns the
    // replies by request-id (which is the printer's index + base), each
    // checked to come from that printer's address and port 161.
    static std::map<std::uint32_t, Bytes> Exchange(const std::vector<std::pair<int, Bytes>> &requests,
                                                   std::uint32_t base) {
        test::UdpPeer manager;
        std::map<std::uint32_t, Bytes> replies;
        constexpr std::size_t kWindow = 100;
        for (std::size_t first = 0; first < requests.size(); first += kWindow) {
            const std::size_t last = std::min(requests.size(), first + kWindow);
            for (std::size_t i = first; i < last; ++i) {
                manager.SendTo(requests[i].second, 161, Address(requests[i].first).c_str());
            }
            for (std::size_t i = first; i < last; ++i) {
                const auto reply = manager.Receive(5000);
                if (!reply) break;
                // The request-id (shortest form) follows the community and the PDU's header.
                const std::size_t at = 2 + 3 + 2 + sizeof kCommunity - 1 + 2 + 1;
                if (reply->bytes.size() < at + 1 || reply->bytes[at] > 4 || reply->bytes.size() < at + 1 + reply->bytes[at])
                    continue;
                std::uint32_t id = 0;
                for (std::size_t octet = 0; octet < reply->bytes[at]; ++octet) id = (id << 8) | reply->bytes[at + 1 + octet];
                const int printer = static_cast<int>(id - base);
                EXPECT_EQ(reply->fromAddress, Address(printer)) << "request-id " << id;
                EXPECT_EQ(reply->fromPort, 161);
                replies[id] = reply->bytes;
            }
        }
        return replies;
    }

    static test::PrinterSimulator *simulator_;
    static bool ready_;
};

test::PrinterSimulator *PrinterFleetTest::simulator_ = nullptr;
bool PrinterFleetTest::ready_ = false;

// Printers spread over the whole range (and so over every thread) are set
// and read back at once: each keeps the value it was given, and every reply
// comes from the address asked.
TEST_F(PrinterFleetTest, ManyPrintersAtOnceKeepTheirOwnValues) {
    std::vector<int> printers;
    for (int i = 1000; i < kFleetSize; i += 9) printers.push_back(i);
    std::vector<std::pair<int, Bytes>> sets;
    std::vector<std::pair<int, Bytes>> gets;
    for (int printer : printers) {
        const auto index = static_cast<std::uint32_t>(printer);
        sets.emplace_back(printer, Request(0xA3, 0x100000 + index, kSysLocation,
                                           OctetString("room " + std::to_string(printer))));
        gets.emplace_back(printer, Request(0xA0, 0x200000 + index, kSysLocation, {0x05, 0x00}));
    }
    EXPECT_EQ(Exchange(sets, 0x100000).size(), printers.size());
    const auto replies = Exchange(gets, 0x200000);
    ASSERT_EQ(replies.size(), printers.size());
    for (int printer : printers) {
        const auto reply = replies.find(0x200000 + static_cast<std::uint32_t>(printer));
        ASSERT_NE(reply, replies.end());
        EXPECT_TRUE(Contains(reply->second, OctetString("room " + std::to_string(printer)))) << Address(printer);
    }
}

TEST_F(PrinterFleetTest, ASetOnOnePrinterIsNotSeenOnAnother) {
    ASSERT_EQ(Tool("snmpset", 100, {"1.3.6.1.2.1.1.5.0", "s", "renamed"}).exitCode, 0);
    EXPECT_EQ(Value(Tool("snmpget", 100, {"1.3.6.1.2.1.1.5.0"})), "\"renamed\"");
    EXPECT_EQ(Value(Tool("snmpget", 101, {"1.3.6.1.2.1.1.5.0"})), "\"PALIMAR-4100\"");
    EXPECT_EQ(Value(Tool("snmpget", kFleetSize - 1, {"1.3.6.1.2.1.1.5.0"})), "\"PALIMAR-4100\"");
}

// The silent, jammed and failing printers are that alone: their neighbours,
// served by the same and other threads, answer normally.
TEST_F(PrinterFleetTest, AFaultStaysWithItsPrinter) {
    const std::string errorState = "1.3.6.1.2.1.25.3.5.1.2.1";
    EXPECT_NE(Tool("snmpget", kSilent, {"1.3.6.1.2.1.1.5.0"}, "1").exitCode, 0);
    EXPECT_EQ(Tool("snmpget", kSilent - 1, {"1.3.6.1.2.1.1.5.0"}).exitCode, 0);
    EXPECT_EQ(Value(Tool("snmpget", kJammed, {errorState})), "\"04 00 \"");  // jammed: bit 5
    EXPECT_EQ(Value(Tool("snmpget", kJammed + kFleetSize / 2, {errorState})), "\"00 00 \"");
    const ProgramRun failing = Tool("snmpget", kGenErr, {"1.3.6.1.2.1.1.5.0"});
    EXPECT_NE(failing.exitCode, 0);
    EXPECT_NE((failing.out + failing.err).find("(genError)"), std::string::npos) << failing.out << failing.err;
    EXPECT_EQ(Tool("snmpget", kGenErr + 1, {"1.3.6.1.2.1.1.5.0"}).exitCode, 0);
}

// A delayed printer holds up no other printer, not even one its thread serves.
TEST_F(PrinterFleetTest, ADelayHoldsUpOnlyItsPrinter) {
    test::UdpPeer manager;
    for (const int printer : {kDelayed, kDelayed + kThreads}) {
        ASSERT_TRUE(manager.SendTo(Request(0xA0, 0x300000 + static_cast<std::uint32_t>(printer), kSysLocation,
                                           {0x05, 0x00}),
                                   161, Address(printer).c_str()));
    }
    const auto first = manager.Receive(5000);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->fromAddress, Address(kDelayed + kThreads));
    const auto second = manager.Receive(5000);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->fromAddress, Address(kDelayed));
}

// snmpInGetRequests counts each printer's own requests.
TEST_F(PrinterFleetTest, CountersArePerPrinter) {
    const std::string getRequests = "1.3.6.1.2.1.11.15.0";
    const long before = std::stol(Value(Tool("snmpget", 300, {getRequests})));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Tool("snmpget", 301, {"1.3.6.1.2.1.1.5.0"}).exitCode, 0);
    EXPECT_EQ(std::stol(Value(Tool("snmpget", 300, {getRequests}))), before + 1);
    EXPECT_EQ(std::stol(Value(Tool("snmpget", 301, {getRequests}))), 4);
}

}  // namespace
}  // namespace snmphelper
