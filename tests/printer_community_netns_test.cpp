// SPDX-License-Identifier: Apache-2.0
// The community a printer's requests carry (its own, the Snmp key's, the
// caller's, else the string table's), agents on other ports than 161, and
// printers recorded by host name, against the printer simulator refusing
// every other community as printers do: silently.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "library/library_entry.h"
#include "snmphelper.h"
#include "tests/support/ber_build.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"
#include "tests/support/test_module.h"
#include "tests/support/udp_peer.h"

namespace snmphelper {
namespace {

using test::Bytes;
using test::ChildProcess;
using test::PrinterSimulator;
using test::ProgramRun;
using test::RunSnmphelper;
using test::TempRegistry;
using test::Tlv;

constexpr char kSysName[] = "1.3.6.1.2.1.1.5.0";
constexpr char kSimulatorsName[] = "2,12,PALIMAR-4100";
// The string table's entry 17: what every request carries unless configured.
constexpr char kLibraryCommunity[] = "t*o&r^e~l+d";
constexpr std::uint16_t kOtherPort = 1161;

std::string PrinterValues(const std::string &extraLines = "") {
    return "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"127.0.0.1\"\n"
           "\"MAC Address\"=\"\"\n" +
           extraLines;
}

// Waits of one second, no further attempts: a silent printer costs two.
std::string SnmpKey(const std::string &extraLines = "") {
    return "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=dword:00000001\n"
           "\"UdpTotalRetries\"=dword:00000000\n" +
           extraLines + "\n";
}

std::string Hive(const std::string &printerLines, const std::string &snmpLines = "") {
    return test::PrinterHive("lab", PrinterValues(printerLines)) + SnmpKey(snmpLines);
}

struct Outcome {
    std::int32_t result = -1;
    std::string values;
};

Outcome GetSysName(const char *printer = "lab") {
    char oids[64];
    std::strcpy(oids, kSysName);
    char values[256] = {};
    std::uint32_t valueSize = sizeof values;
    Outcome outcome;
    outcome.result = HelperSNMPTransact(printer, SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 1);
    if (outcome.result == 0) outcome.values.assign(values, valueSize);
    return outcome;
}

class PrinterCommunity : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LibraryEntry(test::TestModule(), kProcessAttach); }

    PrinterSimulator &StartSim(const std::vector<std::string> &arguments = {"--community", "public"}) {
        sim_.reset();
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        EXPECT_TRUE(sim_->Ready());
        return *sim_;
    }

    void UseHive(const std::string &hive) {
        registry_.reset();
        registry_ = std::make_unique<TempRegistry>(hive);
    }

    std::unique_ptr<TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

TEST_F(PrinterCommunity, ThePrintersOwnComesFirstThenTheSnmpKeysThenTheLibrarysOwn) {
    const struct {
        const char *what;
        std::string printerLines;
        std::string snmpLines;
        bool answered;
    } cases[] = {
        {"the printer's", "\"Community\"=\"public\"\n", "", true},
        {"the Snmp key's", "", "\"Community\"=\"public\"\n", true},
        {"the printer's over the Snmp key's", "\"Community\"=\"public\"\n", "\"Community\"=\"private\"\n", true},
        {"a wrong one of the printer's", "\"Community\"=\"private\"\n", "\"Community\"=\"public\"\n", false},
        {"none: the library's own", "", "", false},
    };
    StartSim();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        UseHive(Hive(c.printerLines, c.snmpLines));
        const Outcome outcome = GetSysName();
        if (c.answered) {
            EXPECT_EQ(outcome.result, 0);
            EXPECT_EQ(outcome.values, kSimulatorsName);
        } else {
            EXPECT_EQ(outcome.result, SNMP_RESULT_NO_REPLY);
        }
    }
    // A community that is not text is refused before anything is sent.
    UseHive(Hive("\"Community\"=dword:00000001\n"));
    EXPECT_EQ(GetSysName().result, SNMP_RESULT_COMMUNITY_FAILED);
}

TEST_F(PrinterCommunity, WithoutOneTheRequestIsByteForByteTheLibrarysOwn) {
    UseHive(Hive(""));
    test::UdpPeer agent(161);
    ASSERT_TRUE(agent.Bound());
    std::thread transaction([] { GetSysName(); });
    const auto received = agent.Receive();
    transaction.join();
    ASSERT_TRUE(received.has_value());
    const Bytes &bytes = received->bytes;
    // 30 L 02 01 00 04 0B <community> A0 L 02 n <request-id> ...: the id is
    // the library's count, taken from what came. A get's values are empty
    // OCTET STRINGs, as the library has always sent them.
    ASSERT_GT(bytes.size(), 22u);
    ASSERT_EQ(bytes[20], 0x02);
    const Bytes requestId(bytes.begin() + 22, bytes.begin() + 22 + bytes[21]);
    const Bytes sysName = {0x2B, 6, 1, 2, 1, 1, 5, 0};
    const Bytes expected = test::Message(
        Bytes(kLibraryCommunity, kLibraryCommunity + std::strlen(kLibraryCommunity)),
        Tlv(0xA0, test::Join({Tlv(0x02, requestId), {0x02, 0x01, 0x00}, {0x02, 0x01, 0x00},
                              Tlv(0x30, test::VarBind(sysName, {0x04, 0x00}))})));
    EXPECT_EQ(test::ToHex(bytes.data(), bytes.size()), test::ToHex(expected.data(), expected.size()));
}

TEST_F(PrinterCommunity, TheCallersCommunityGoesFirstAndOlderRecordsAreServedAsBefore) {
    UseHive(Hive(""));
    StartSim();
    SnmpTransaction transaction{};
    transaction.recordSize = sizeof transaction;
    transaction.timeoutSeconds = 1;
    transaction.retries = 0;
    transaction.community = "public";
    char oids[64];
    std::strcpy(oids, kSysName);
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &transaction), 0);
    ASSERT_NE(transaction.reply, nullptr);
    EXPECT_EQ(std::string(transaction.reply->community, transaction.reply->communityLength), "public");
    HelperFreeReqParam(transaction.reply);

    // A program built before the field: its record ends before it, and
    // whatever lies there is not read.
    transaction.recordSize = SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY;
    std::strcpy(oids, kSysName);
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &transaction),
              SNMP_RESULT_NO_REPLY);

    const std::string tooLong(256, 'c');
    transaction.recordSize = sizeof transaction;
    transaction.community = tooLong.c_str();
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &transaction),
              SNMP_RESULT_INVALID_ARGUMENT);
}

TEST_F(PrinterCommunity, KeepAliveAndTrapRegistrationCarryThePrintersCommunity) {
    UseHive(Hive("\"Community\"=\"public\"\n"));
    {
        test::UdpPeer agent(161);
        ASSERT_TRUE(agent.Bound());
        EXPECT_EQ(HelperTrapKeepAlive("lab"), 0);
        const auto received = agent.Receive();
        ASSERT_TRUE(received.has_value());
        ASSERT_GT(received->bytes.size(), 13u);
        EXPECT_EQ(received->bytes[6], 6);  // the community's length
        EXPECT_EQ(std::string(received->bytes.begin() + 7, received->bytes.begin() + 13), "public");
    }
    PrinterSimulator &sim = StartSim();
    EXPECT_EQ(HelperSNMPRegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", 0, 0), 0);
    EXPECT_EQ(sim.Log().find("bad-community"), std::string::npos) << sim.Log();
}

TEST_F(PrinterCommunity, AnAgentOnAnotherPortIsReachedThroughItsIpPort) {
    const std::string port = "\"IP Port\"=dword:" + std::string("00000489") + "\n";
    ChildProcess sim({test::BuildTreePath("tools/snmphelper-printer-sim"), "--address", "127.0.0.1", "--port",
                      std::to_string(kOtherPort)});
    ASSERT_TRUE(sim.WaitForOutput("ready\n"));
    UseHive(Hive(""));
    EXPECT_EQ(GetSysName().result, SNMP_RESULT_NO_REPLY);  // nobody on 161
    // With the sender check too: the reply comes from the port asked.
    for (const char *checks : {"0", "1"}) {
        SCOPED_TRACE(checks);
        UseHive(Hive(port, std::string("\"ReplyChecks\"=dword:0000000") + checks + "\n"));
        const Outcome outcome = GetSysName();
        EXPECT_EQ(outcome.result, 0);
        EXPECT_EQ(outcome.values, kSimulatorsName);
    }
}

// The tool: -c for one command, --community and host:port when adding, and
// whether a community is set shown without its text.
TEST_F(PrinterCommunity, TheToolTakesACommunityPerCommandAndPerPrinter) {
    UseHive("Windows Registry Editor Version 5.00\n\n" + SnmpKey());
    StartSim();
    ASSERT_EQ(RunSnmphelper({"printer", "add", "lab", "--ip", "127.0.0.1"}).exitCode, 0);
    EXPECT_EQ(RunSnmphelper({"get", "lab", kSysName}).exitCode, 3);
    ProgramRun run = RunSnmphelper({"get", "lab", kSysName, "-c", "public", "-Oqv"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, "\"PALIMAR-4100\"\n");

    ASSERT_EQ(RunSnmphelper({"printer", "add", "lab", "--ip", "127.0.0.1", "--community", "public", "--replace"})
                  .exitCode,
              0);
    EXPECT_EQ(RunSnmphelper({"get", "lab", kSysName}).exitCode, 0);
    run = RunSnmphelper({"printer", "show", "lab"});
    EXPECT_NE(run.out.find("Community:   set"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("public"), std::string::npos) << run.out;
    run = RunSnmphelper({"printer", "show", "lab", "--show-secrets"});
    EXPECT_NE(run.out.find("Community:   public"), std::string::npos) << run.out;

    ASSERT_EQ(RunSnmphelper({"printer", "add", "lab", "--ip", "127.0.0.1", "--replace"}).exitCode, 0);
    ASSERT_EQ(RunSnmphelper({"config", "set", "community", "public"}).exitCode, 0);
    EXPECT_EQ(RunSnmphelper({"get", "lab", kSysName}).exitCode, 0);
    run = RunSnmphelper({"config", "show"});
    EXPECT_NE(run.out.find("community: set"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("public"), std::string::npos) << run.out;
    ASSERT_EQ(RunSnmphelper({"config", "set", "community", ""}).exitCode, 0);
    EXPECT_EQ(RunSnmphelper({"get", "lab", kSysName}).exitCode, 3);
}

// status and poll take -c as the transaction commands do; a community the
// library cannot carry is a usage error of every command, sent or not.
TEST_F(PrinterCommunity, StatusAndPollTakeTheCommandsCommunityAndEveryCommandRefusesOneTooLong) {
    UseHive("Windows Registry Editor Version 5.00\n\n" + SnmpKey());
    StartSim();
    ASSERT_EQ(RunSnmphelper({"printer", "add", "lab", "--ip", "127.0.0.1"}).exitCode, 0);
    EXPECT_EQ(RunSnmphelper({"status", "lab", "-r", "0"}).exitCode, 3);
    ProgramRun run = RunSnmphelper({"status", "lab", "-c", "public"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("PALIMAR-4100"), std::string::npos) << run.out;
    run = RunSnmphelper({"poll", "-c", "public"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("1 printers: 1 reached"), std::string::npos) << run.out;

    const std::string longest(255, 'c');
    const std::string tooLong(256, 'c');
    for (const std::vector<std::string> &command :
         std::vector<std::vector<std::string>>{{"get", "lab", kSysName}, {"status", "lab"}, {"poll"}}) {
        std::vector<std::string> arguments = command;
        arguments.insert(arguments.end(), {"-c", tooLong});
        run = RunSnmphelper(arguments);
        EXPECT_EQ(run.exitCode, 2) << command[0];
        EXPECT_NE((run.out + run.err).find("a community has at most 255 octets"), std::string::npos) << run.out;
        arguments = command;
        arguments.insert(arguments.end(), {"-c", longest, "-t", "0", "-r", "0"});
        EXPECT_EQ(RunSnmphelper(arguments).exitCode, 3) << command[0];
    }
}

// Host names resolve through a hosts file of the test's own, bound over
// /etc/hosts in a mount namespace of the commands' own.
TEST_F(PrinterCommunity, AHostNameIsResolvedWhenWrittenAndAgainOnRefresh) {
    UseHive("Windows Registry Editor Version 5.00\n\n" + SnmpKey());
    ChildProcess sim({test::BuildTreePath("tools/snmphelper-printer-sim"), "--address", "127.0.0.1", "--port",
                      std::to_string(kOtherPort)});
    ASSERT_TRUE(sim.WaitForOutput("ready\n"));
    const std::string hosts = registry_->Folder() + "/hosts";
    std::ofstream(hosts) << "127.0.0.3 printer-one\n";
    const std::string tool = test::BuildTreePath("tools/snmphelper");
    const std::string script =
        "mount --bind " + hosts + " /etc/hosts && " + tool + " printer add lab --ip printer-one:1161 && " + tool +
        " printer show lab && echo '127.0.0.1 printer-one' > " + hosts + " && " + tool + " printer refresh lab && " +
        tool + " printer show lab --json && " + tool + " get lab -Oqv " + kSysName + " && " + tool +
        " printer add other --ip no-such-printer";
    const ProgramRun run = test::RunProgram({"unshare", "-m", "sh", "-c", script}, test::ErrorOutput::Merged);
    EXPECT_EQ(run.exitCode, 2) << run.out;  // the last add: the name does not resolve, a usage error
    EXPECT_NE(run.out.find("printer \"lab\": protocols ip, using ip, printer-one is 127.0.0.3"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  IP Address:  127.0.0.3\n  IP Port:     1161\n  Host Name:   printer-one\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"ipAddress\":\"127.0.0.1\",\"ipPort\":1161,\"hostName\":\"printer-one\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"PALIMAR-4100\"\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--ip no-such-printer: the host name \"no-such-printer\" has no IPv4 address"),
              std::string::npos)
        << run.out;
}

// examples/register_and_status.c, built against the shared library: it
// records a printer with a community and reads groups through it.
TEST_F(PrinterCommunity, TheExampleRegistersAPrinterWithItsCommunityAndReadsItsStatus) {
    UseHive("Windows Registry Editor Version 5.00\n\n" + SnmpKey());
    StartSim();
    const ProgramRun run =
        test::RunProgram({test::BuildTreePath("tests/register_and_status"), "lab", "127.0.0.1", "public"},
                         test::ErrorOutput::Merged);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("printer lab at 127.0.0.1, community set\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("group 0: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("PALIMAR-4100"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("group 22: "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("result"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace snmphelper
