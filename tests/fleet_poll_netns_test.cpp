// SPDX-License-Identifier: Apache-2.0
// snmphelper poll over a fleet of 200 simulated printers served by one
// simulator process on 127.0.1.1-127.0.1.200, ten of them silent: every
// printer is reported once, each silent one cost exactly one transaction (the
// library's re-sends of it carry its request-id), and no thread waited on more silent printers than the threads
// share them out (the run's bound: timeout x silent / threads).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using Json = nlohmann::json;
using test::PrinterSimulator;
using test::ProgramRun;
using test::RunSnmphelper;

constexpr int kFleetSize = 200;
constexpr int kThreads = 20;

std::string Address(int index) { return "127.0.1." + std::to_string(index + 1); }
std::string PrinterName(int index) { return "prn" + std::to_string(index + 1); }
// Every twentieth printer is silent; the second is jammed.
bool IsSilent(int index) { return index % 20 == 0; }
constexpr int kJammed = 1;

class FleetPollTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string hive = "Windows Registry Editor Version 5.00\n\n";
        std::vector<std::string> arguments = {"--addresses", Address(0) + "-" + Address(kFleetSize - 1), "--fault-at",
                                              Address(kJammed) + "=paper-jam"};
        for (int i = 0; i < kFleetSize; ++i) {
            hive += test::PrinterKey(PrinterName(i), test::DwordLine("cProtocols", 2) + test::DwordLine("pProtocol", 2) +
                                                         "\"IP Address\"=\"" + Address(i) + "\"\n" +
                                                         "\"MAC Address\"=\"000000000000\"\n");
            if (IsSilent(i)) arguments.insert(arguments.end(), {"--fault-at", Address(i) + "=silent"});
        }
        registry_ = std::make_unique<test::TempRegistry>(hive);
        // The timeout a silent printer costs, once: one second, no retries.
        ASSERT_EQ(RunSnmphelper({"config", "set", "timeout", "1"}).exitCode, 0);
        ASSERT_EQ(RunSnmphelper({"config", "set", "retries", "0"}).exitCode, 0);
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        ASSERT_TRUE(sim_->Ready());
    }

    // Transactions the simulator saw, by the printer's address: the distinct
    // request-ids of its log lines (a re-send repeats its request's id).
    std::map<std::string, std::size_t> TransactionsByPrinter() const {
        std::map<std::string, std::set<std::string>> ids;
        for (const std::string &line : sim_->LogLines()) {
            ids[Field(line, "at")].insert(Field(line, "id"));
        }
        std::map<std::string, std::size_t> counts;
        for (const auto &[address, seen] : ids) counts[address] = seen.size();
        return counts;
    }

    static std::string Field(const std::string &line, const std::string &name) {
        const std::size_t at = line.find(" " + name + "=");
        if (at == std::string::npos) return {};
        const std::size_t start = at + name.size() + 2;
        return line.substr(start, line.find(' ', start) - start);
    }

    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

TEST_F(FleetPollTest, EveryPrinterReportedEachSilentOneAskedOnce) {
    const ProgramRun run = RunSnmphelper({"poll", "--json", "--threads", std::to_string(kThreads)});
    EXPECT_EQ(run.exitCode, 1) << "not every printer was reached";
    const Json result = Json::parse(run.out, nullptr, false);
    ASSERT_FALSE(result.is_discarded()) << run.out;
    ASSERT_EQ(result["printers"].size(), static_cast<std::size_t>(kFleetSize));
    int silent = 0;
    for (int i = 0; i < kFleetSize; ++i) {
        const Json &printer = result["printers"][i];
        SCOPED_TRACE(PrinterName(i));
        EXPECT_EQ(printer["printer"], PrinterName(i));
        EXPECT_EQ(printer["reached"], !IsSilent(i));
        silent += IsSilent(i) ? 1 : 0;
        if (IsSilent(i)) {
            EXPECT_EQ(printer["result"], 25010);
        } else {
            EXPECT_EQ(printer["protocol"], "UDP/IP");
            EXPECT_EQ(printer["lowestSupply"]["percent"], 55);
            EXPECT_EQ(printer["status"], i == kJammed ? "down: jammed" : "running");
            EXPECT_EQ(printer["alerts"], i == kJammed ? 1 : 0);
        }
    }
    const Json &summary = result["summary"];
    EXPECT_EQ(summary["printers"], kFleetSize);
    EXPECT_EQ(summary["notReached"], silent);
    EXPECT_EQ(summary["threads"], kThreads);
    // Each thread waited out at most ceil(silent / threads) timeouts.
    EXPECT_LE(summary["mostUnreachedInOneThread"].get<int>(), (silent + kThreads - 1) / kThreads);

    const std::map<std::string, std::size_t> transactions = TransactionsByPrinter();
    for (int i = 0; i < kFleetSize; ++i) {
        SCOPED_TRACE(Address(i));
        const auto it = transactions.find(Address(i));
        ASSERT_NE(it, transactions.end()) << "never asked";
        if (IsSilent(i)) {
            EXPECT_EQ(it->second, 1u) << "a silent printer cost more than one transaction";
        }
    }
}

TEST_F(FleetPollTest, NamedPrintersOnlyAndNoProgressLineWithoutTerminal) {
    const ProgramRun run = RunSnmphelper({"poll", PrinterName(1), PrinterName(2), PrinterName(3)});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const std::vector<std::string> lines = test::Lines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines[0].rfind("prn2  UDP/IP       down: jammed", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("lowest supply: 55% Cyan Toner Cartridge P41C"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("alerts: 1"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind("prn3  UDP/IP       running", 0), 0u) << lines[1];
    EXPECT_EQ(lines[3], "3 printers: 3 reached, 0 not reached; 3 threads, at most 0 unreached in one thread");
    EXPECT_EQ(run.out.find('\r'), std::string::npos) << "a progress line went to a pipe";
    EXPECT_EQ(TransactionsByPrinter().size(), 3u) << "printers that were not named were asked";
}

// The window bounds the printers in flight: two silent printers through a
// window of one are waited out one after the other, through a window of
// two together.
TEST_F(FleetPollTest, TheWindowSaysHowManySilentPrintersAreWaitedOutTogether) {
    ASSERT_TRUE(IsSilent(0) && IsSilent(20));
    for (const auto &[window, inARow] : std::vector<std::pair<std::string, std::string>>{{"1", "2"}, {"2", "1"}}) {
        SCOPED_TRACE("window " + window);
        const ProgramRun run =
            RunSnmphelper({"poll", "--threads", "1", "--window", window, PrinterName(0), PrinterName(20)});
        EXPECT_EQ(run.exitCode, 3) << run.out;
        const std::vector<std::string> lines = test::Lines(run.out);
        ASSERT_EQ(lines.size(), 3u) << run.out;
        EXPECT_EQ(lines[2], "2 printers: 0 reached, 2 not reached; 1 threads, at most " + inARow +
                                " unreached in one thread");
    }
}

TEST_F(FleetPollTest, ASilentPrintersLineSaysNoReply) {
    ASSERT_TRUE(IsSilent(0));
    const ProgramRun run = RunSnmphelper({"poll", PrinterName(0)});
    EXPECT_EQ(run.exitCode, 3) << run.out;  // every printer silent: the silent printer's code
    const std::vector<std::string> lines = test::Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0], PrinterName(0) + "  not reached  no reply");
}

// Without --window, every printer's first request goes out at once and only
// the printers that answered take turns in the window: more silent printers
// than the window holds are still waited out together, in one timeout.
TEST(FleetPollDefaultWindowTest, MoreSilentPrintersThanTheWindowCostOneTimeout) {
    constexpr int kPrinters = 640;  // every other one silent: more than the 256 of the default window
    const auto address = [](int index) {
        const int host = index + 1;
        return "127.1." + std::to_string(host / 256) + "." + std::to_string(host % 256);
    };
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    std::vector<std::string> arguments = {"--addresses", address(0) + "-" + address(kPrinters - 1)};
    for (int i = 0; i < kPrinters; ++i) {
        hive += test::PrinterKey(PrinterName(i), test::DwordLine("cProtocols", 2) + test::DwordLine("pProtocol", 2) +
                                                     "\"IP Address\"=\"" + address(i) + "\"\n" +
                                                     "\"MAC Address\"=\"000000000000\"\n");
        if (i % 2 == 0) arguments.insert(arguments.end(), {"--fault-at", address(i) + "=silent"});
    }
    test::TempRegistry registry(hive);
    PrinterSimulator sim(arguments);
    ASSERT_TRUE(sim.Ready());
    // A timeout long enough that the answering printers answer in it on a
    // busy machine too: the summary counts waits, not seconds.
    const ProgramRun run = RunSnmphelper({"poll", "--threads", "1", "-t", "3", "-r", "0"});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    const std::vector<std::string> lines = test::Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "640 printers: 320 reached, 320 not reached; 1 threads, at most 1 unreached in one thread");
}

}  // namespace
}  // namespace snmphelper
