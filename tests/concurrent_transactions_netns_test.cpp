// SPDX-License-Identifier: Apache-2.0
// Many threads at once doing transactions over every transport: UDP against
// the printer simulator on 127.0.0.1:161, IPX and DLC against the same
// simulator on the far ends of two veth pairs, and printers whose IP address
// cannot be sent to, so that every transaction to them switches protocol and
// stores the switch. Meanwhile another process, the command-line tool run in
// a shell loop, rewrites the hive: it puts those printers back on IP and adds
// and removes a printer of its own. Every transaction must still end with
// its own thread's reply.
//
// make test-tsan runs it under ThreadSanitizer with the other threaded
// tests; in the plain suite it checks the same outcomes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dlc/dlc_access.h"
#include "library/library_entry.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"
#include "tests/support/veth_pair.h"

namespace snmphelper {
namespace {

using test::MacAddress;

constexpr char kIpxHost[] = "thripxh0";
constexpr char kIpxPrinter[] = "thripxp0";
constexpr char kDlcHost[] = "thrdlch0";
constexpr char kDlcPrinter[] = "thrdlcp0";
constexpr MacAddress kIpxHostNode = {0x02, 0x00, 0x00, 0x00, 0x03, 0x01};
constexpr MacAddress kIpxPrinterNode = {0x02, 0x00, 0x00, 0x00, 0x03, 0x02};
constexpr MacAddress kDlcHostNode = {0x02, 0x00, 0x00, 0x00, 0x04, 0x01};
constexpr MacAddress kDlcPrinterNode = {0x02, 0x00, 0x00, 0x00, 0x04, 0x02};
constexpr char kPrinterIpx[] = "00000000020000000302";
constexpr char kPrinterMac[] = "020000000402";
// No route leads there in the private namespace: the send fails at once and
// the channel moves on to the printer's other protocol.
constexpr char kUnroutableIp[] = "10.9.9.9";

constexpr std::uint32_t kIpx = 1;
constexpr std::uint32_t kIp = 2;
constexpr std::uint32_t kDlc = 4;

constexpr int kThreadsPerPrinter = 8;
// Each thread does at least kRounds transactions, and goes on until the
// hive has been rewritten kRewrites times more since the first, or until
// kMostRounds.
constexpr int kRounds = 12;
constexpr int kMostRounds = 250;
constexpr int kRewrites = 4;

struct Printer {
    const char *name;
    std::uint32_t protocols;
    std::uint32_t use;
    const char *ip;
};

// Thread t asks printer kPrinters[t % 5].
constexpr Printer kPrinters[] = {
    {"udp", kIp, kIp, "127.0.0.1"},
    {"ipx", kIpx, kIpx, "127.0.0.1"},
    {"dlc", kDlc, kDlc, "127.0.0.1"},
    {"ipx-switch", kIp | kIpx, kIp, kUnroutableIp},
    {"dlc-switch", kIp | kDlc, kIp, kUnroutableIp},
};
constexpr int kPrinterCount = sizeof kPrinters / sizeof kPrinters[0];
constexpr int kThreads = kThreadsPerPrinter * kPrinterCount;

std::string Hive() {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (const Printer &printer : kPrinters) {
        hive += test::PrinterKey(printer.name, test::DwordLine("cProtocols", static_cast<int>(printer.protocols)) +
                                                   test::DwordLine("pProtocol", static_cast<int>(printer.use)) +
                                                   "\"IP Address\"=\"" + printer.ip + "\"\n" +
                                                   "\"IPX Address\"=\"" + kPrinterIpx + "\"\n" +
                                                   "\"MAC Address\"=\"" + kPrinterMac + "\"\n");
    }
    // Every printer answers, and the unroutable sends fail at once: the
    // wait is long only so that a loaded machine (or a sanitizer) cannot
    // make a reply late.
    return hive + "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n" + test::DwordLine("UdpTimeOutInterval", 10) +
           test::DwordLine("UdpTotalRetries", 0) + "\n";
}

// The tool in a loop: each round puts both switching printers back on IP
// (each as one atomic change of its key) and adds and removes a printer of
// its own; one line a round in `log`, "ok" or what failed. SIGTERM ends it
// between two runs of the tool.
std::vector<std::string> RewriterArguments(const std::string &log) {
    const std::string tool = test::BuildTreePath("tools/snmphelper");
    const std::string script =
        "trap 'exit 0' TERM\n"
        "run() { \"$TOOL\" \"$@\" >/dev/null 2>&1 || status=\"failed: $*\"; }\n"
        "round=0\n"
        "while :; do\n"
        "  status=ok\n"
        "  run printer add ipx-switch --ip " + std::string(kUnroutableIp) + " --ipx " + kPrinterIpx +
        " --protocols ip,ipx --use ip --replace\n"
        "  run printer add dlc-switch --ip " + kUnroutableIp + " --mac " + kPrinterMac +
        " --protocols ip,dlc --use ip --replace\n"
        "  run printer add rewriter --ip 127.0.0.9\n"
        "  run printer remove rewriter\n"
        "  echo \"$status\" >>\"$LOG\"\n"
        "  round=$((round + 1))\n"
        "  echo \"round $round\"\n"
        "done\n";
    return {"/usr/bin/env", "TOOL=" + tool, "LOG=" + log, "/bin/sh", "-c", script};
}

std::vector<std::string> FileLines(const std::string &path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

std::string ThreadObject(int thread) { return "1.3.6.1.4.1.99.3." + std::to_string(thread) + ".0"; }
std::string ThreadValue(int thread) { return "thread-" + std::to_string(thread); }

struct ThreadTally {
    int transactions = 0;
    int good = 0;
    std::string firstFault;
};

char moduleToken;

class ConcurrentTransactionsTest : public ::testing::Test {
protected:
    // The DLC adapter is opened when the library is attached, once per
    // process: the pairs and the interfaces are in place before that.
    static void SetUpTestSuite() {
        if (ipxPair_ != nullptr) return;
        ipxPair_ = new test::VethPair(kIpxHost, kIpxPrinter, kIpxHostNode, kIpxPrinterNode);
        dlcPair_ = new test::VethPair(kDlcHost, kDlcPrinter, kDlcHostNode, kDlcPrinterNode);
        setenv("SNMPHELPER_IPX_INTERFACE", kIpxHost, 1);
        setenv("SNMPHELPER_DLC_INTERFACE", kDlcHost, 1);
        LibraryEntry(&moduleToken, kProcessAttach);
    }

    void SetUp() override {
        ASSERT_TRUE(ipxPair_->Ready()) << ipxPair_->Error();
        ASSERT_TRUE(dlcPair_->Ready()) << dlcPair_->Error();
        ASSERT_TRUE(DlcAvailable());
    }

    static test::VethPair *ipxPair_;
    static test::VethPair *dlcPair_;
};

test::VethPair *ConcurrentTransactionsTest::ipxPair_ = nullptr;
test::VethPair *ConcurrentTransactionsTest::dlcPair_ = nullptr;

TEST_F(ConcurrentTransactionsTest, EveryThreadGetsItsOwnReplyOverEveryTransportWhileTheHiveIsRewritten) {
    test::TempRegistry registry(Hive());
    const std::string folder = test::MakeTempFolder("concurrent-transactions");
    const std::string objects = folder + "/objects.txt";
    const std::string rewrites = folder + "/rewrites.log";
    {
        std::ofstream file(objects);
        for (int t = 0; t < kThreads; ++t) file << ThreadObject(t) << " STRING " << ThreadValue(t) << "\n";
    }
    test::PrinterSimulator sim({"--ipx-interface", kIpxPrinter, "--dlc-interface", kDlcPrinter, "--objects", objects});
    ASSERT_TRUE(sim.Ready());
    test::ChildProcess rewriter(RewriterArguments(rewrites));
    // The hive has been rewritten once before the first transaction.
    ASSERT_TRUE(rewriter.WaitForOutput("round 1\n"));
    test::StartRecordingTransports();

    std::vector<ThreadTally> tallies(kThreads);
    std::atomic<int> ready{0};
    std::atomic<bool> rewritten{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &tallies, &ready, &rewritten] {
            // All threads start their first transaction together.
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            const std::string printer = kPrinters[t % kPrinterCount].name;
            const std::string expected = "2," + std::to_string(ThreadValue(t).size()) + "," + ThreadValue(t);
            ThreadTally &tally = tallies[t];
            for (int round = 0; round < kRounds || (round < kMostRounds && !rewritten.load()); ++round) {
                const test::TransactOutcome outcome = test::TransactOne(printer, SNMP_REQUEST_GET, ThreadObject(t));
                ++tally.transactions;
                if (outcome.result == 0 && outcome.identifiers == ThreadObject(t) && outcome.values == expected) {
                    ++tally.good;
                } else if (tally.firstFault.empty()) {
                    tally.firstFault = printer + " round " + std::to_string(round) + ": result " +
                                       std::to_string(outcome.result) + ", " + outcome.identifiers + " = " +
                                       outcome.values;
                }
            }
        });
    }
    const bool rewrote = rewriter.WaitForOutput("round " + std::to_string(1 + kRewrites) + "\n");
    rewritten.store(true);
    for (std::thread &thread : threads) thread.join();
    EXPECT_TRUE(rewrote);
    const std::vector<std::uint32_t> created = test::RecordedTransports();
    test::StopRecordingTransports();
    EXPECT_EQ(rewriter.Stop(), 0);

    std::size_t transactions = 0;
    std::size_t good = 0;
    std::size_t perPrinter[kPrinterCount] = {};
    for (int t = 0; t < kThreads; ++t) {
        transactions += tallies[t].transactions;
        good += tallies[t].good;
        perPrinter[t % kPrinterCount] += tallies[t].transactions;
        EXPECT_GE(tallies[t].transactions, kRounds);
        EXPECT_EQ(tallies[t].good, tallies[t].transactions) << "thread " << t << ": " << tallies[t].firstFault;
    }
    const std::vector<std::string> rounds = FileLines(rewrites);
    for (const std::string &round : rounds) EXPECT_EQ(round, "ok");

    // The simulator saw exactly the transactions that went over UDP, IPX
    // and DLC: none was sent twice, and none of the unroutable sends
    // reached it.
    std::size_t overIpx = 0;
    std::size_t overDlc = 0;
    std::size_t overUdp = 0;
    for (const std::string &line : sim.LogLines()) {
        if (line.find("frame=llc") != std::string::npos) {
            ++overDlc;
        } else if (line.find("frame=") != std::string::npos) {
            ++overIpx;
        } else {
            ++overUdp;
        }
    }
    EXPECT_EQ(overUdp, perPrinter[0]);
    EXPECT_EQ(overIpx, perPrinter[1] + perPrinter[3]);
    EXPECT_EQ(overDlc, perPrinter[2] + perPrinter[4]);
    // One transport per transaction, plus one IP transport for each switch
    // away from IP; the first transaction to each switching printer switched.
    std::size_t ipTransports = 0;
    for (const std::uint32_t protocol : created) ipTransports += protocol == kIp ? 1 : 0;
    const std::size_t switches = ipTransports - perPrinter[0];
    EXPECT_EQ(created.size(), transactions + switches);
    EXPECT_GE(switches, 2u);

    std::printf("%d threads, %zu transactions (%zu with their own reply), %zu protocol switches, "
                "%zu rounds of hive rewrites\n",
                kThreads, transactions, good, switches, rounds.size());
    unlink(objects.c_str());
    unlink(rewrites.c_str());
    rmdir(folder.c_str());
}

}  // namespace
}  // namespace snmphelper
