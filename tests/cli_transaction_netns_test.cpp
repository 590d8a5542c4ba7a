// SPDX-License-Identifier: Apache-2.0
// The snmphelper tool's transaction commands against the printer simulator
// on 127.0.0.1:161 of a private network namespace: net-snmp's output
// conventions, error-status replies naming their object, exit codes, partial
// walks, per-command timing seen in the simulator's log, and JSON for any
// octets; the tool's output beside that of net-snmp's snmpget, snmpset and
// snmpwalk with the same -O letters and type letters. Then every command
// against a printer whose texts are not UTF-8, a silent one and none at all:
// the exit code table, the tool's own wait and its progress line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using test::PrinterSimulator;
using test::ProgramRun;
using test::RunSnmphelper;

constexpr int kExitNoReply = 3;
constexpr int kExitErrorStatus = 4;

constexpr char kSysName[] = "1.3.6.1.2.1.1.5.0";
constexpr char kSysLocation[] = "1.3.6.1.2.1.1.6.0";
constexpr char kMissing[] = "1.3.6.1.2.1.1.99.0";

// Objects of every type, text that is and is not UTF-8, an object that
// fails with genErr and a subtree whose third object never answers.
constexpr char kObjects[] =
    "1.3.6.1.4.1.97.1.0 INTEGER -5\n"
    "1.3.6.1.4.1.97.2.0 COUNTER 4294967295\n"
    "1.3.6.1.4.1.97.3.0 GAUGE 7\n"
    "1.3.6.1.4.1.97.4.0 TIMETICKS 17\n"
    "1.3.6.1.4.1.97.5.0 TIMETICKS 9000017\n"
    "1.3.6.1.4.1.97.6.0 IPADDRESS 192.168.1.20\n"
    "1.3.6.1.4.1.97.7.0 OID 1.3.6.1.4.1.236\n"
    "1.3.6.1.4.1.97.8.0 NULL -\n"
    "1.3.6.1.4.1.97.9.0 HEX 00ff10\n"
    "1.3.6.1.4.1.98.1.0 INTEGER 1\n"
    "1.3.6.1.4.1.98.2.0 INTEGER 2\n"
    "1.3.6.1.4.1.98.3.0 INTEGER 3 fault=silent\n"
    "1.3.6.1.4.1.99.1.0 OPAQUE 9f780442f60000\n"
    "1.3.6.1.4.1.99.2.0 STRING \"caf\\xc3\\xa9\"\n"
    "1.3.6.1.4.1.99.3.0 STRING \"\\xff\\xfe\"\n"
    "1.3.6.1.4.1.99.4.0 INTEGER 7 rw fault=error-status:5\n";

std::string PrinterValues() {
    return "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"127.0.0.1\"\n"
           "\"MAC Address\"=\"\"\n";
}

// Printers "lab" and "café", and a configuration that would wait 30 s five
// times over: every test that waits gives its own timing.
std::string Hive() {
    return test::PrinterHive("lab", PrinterValues()) + test::PrinterKey("café", PrinterValues()) +
           "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=dword:0000001e\n"
           "\"UdpTotalRetries\"=dword:00000005\n\n";
}

class CliTransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_ = std::make_unique<test::TempRegistry>(Hive());
        const std::string objects = registry_->Folder() + "/objects.txt";
        std::ofstream(objects) << kObjects;
        StartSim({"--objects", objects});
    }

    PrinterSimulator &StartSim(const std::vector<std::string> &arguments) {
        sim_.reset();  // port 161 is free again before the next one binds it
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        EXPECT_TRUE(sim_->Ready());
        return *sim_;
    }

    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

ProgramRun Tool(std::vector<std::string> arguments) { return RunSnmphelper(arguments); }

TEST_F(CliTransactionTest, ValuesReadAsNetSnmpPrintsThem) {
    const ProgramRun run = Tool({"get", "lab", "-On", "1.3.6.1.4.1.97.1.0", "1.3.6.1.4.1.97.2.0", "1.3.6.1.4.1.97.3.0",
                                 "1.3.6.1.4.1.97.4.0", "1.3.6.1.4.1.97.5.0", "1.3.6.1.4.1.97.6.0", "1.3.6.1.4.1.97.7.0",
                                 "1.3.6.1.4.1.97.8.0", "1.3.6.1.4.1.97.9.0", "1.3.6.1.4.1.99.1.0", kSysName});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out,
              ".1.3.6.1.4.1.97.1.0 = INTEGER: -5\n"
              ".1.3.6.1.4.1.97.2.0 = Counter32: 4294967295\n"
              ".1.3.6.1.4.1.97.3.0 = Gauge32: 7\n"
              ".1.3.6.1.4.1.97.4.0 = Timeticks: (17) 0:00:00.17\n"
              ".1.3.6.1.4.1.97.5.0 = Timeticks: (9000017) 1 day, 1:00:00.17\n"
              ".1.3.6.1.4.1.97.6.0 = IpAddress: 192.168.1.20\n"
              ".1.3.6.1.4.1.97.7.0 = OID: .1.3.6.1.4.1.236\n"
              ".1.3.6.1.4.1.97.8.0 = NULL\n"
              ".1.3.6.1.4.1.97.9.0 = Hex-STRING: 00 FF 10\n"
              ".1.3.6.1.4.1.99.1.0 = Opaque: 9F 78 04 42 F6 00 00\n"
              ".1.3.6.1.2.1.1.5.0 = STRING: \"PALIMAR-4100\"\n");
    EXPECT_EQ(Tool({"get", "lab", "-Oqv", kSysName, "1.3.6.1.4.1.97.4.0", "1.3.6.1.4.1.97.5.0"}).out,
              "\"PALIMAR-4100\"\n0:0:00:00.17\n1:1:00:00.17\n");
    EXPECT_EQ(Tool({"get", "lab", "-Oq", kSysName}).out, "1.3.6.1.2.1.1.5.0 \"PALIMAR-4100\"\n");
    EXPECT_EQ(Tool({"get", "lab", "-Ov", kSysName}).out, "STRING: \"PALIMAR-4100\"\n");
}

TEST_F(CliTransactionTest, ALeadingDotIsAcceptedAndSentWithoutIt) {
    const ProgramRun run = Tool({"get", "lab", std::string(".") + kSysName});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    ASSERT_EQ(sim_->WaitForLogLines(1), 1u);
    EXPECT_NE(sim_->LogLines()[0].find(std::string(" oids=") + kSysName + " "), std::string::npos)
        << sim_->LogLines()[0];
}

TEST_F(CliTransactionTest, OpaqueComesThroughGetAndWalk) {
    ProgramRun run = Tool({"walk", "lab", "1.3.6.1.4.1.99.1"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, "1.3.6.1.4.1.99.1.0 = Opaque: 9F 78 04 42 F6 00 00\n");
    run = Tool({"get", "lab", "1.3.6.1.4.1.99.1.0", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out,
              "{\"command\":\"get\",\"printer\":\"lab\",\"result\":0,\"variables\":[{\"oid\":\"1.3.6.1.4.1.99.1.0\","
              "\"type\":\"Opaque\",\"value\":{\"hex\":\"9F780442F60000\"}}]}\n");
}

TEST_F(CliTransactionTest, AWalkOfALeafFallsBackToAGet) {
    const ProgramRun run = Tool({"walk", "lab", kSysName});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, std::string(kSysName) + " = STRING: \"PALIMAR-4100\"\n");
    const std::vector<std::string> lines = sim_->LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("pdu=getnext"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("pdu=get "), std::string::npos) << lines[1];
}

TEST_F(CliTransactionTest, AnErrorStatusNamesItsObjectAndTheOthersAreStillRead) {
    ProgramRun run = Tool({"get", "lab", kSysName, kMissing, kSysLocation});
    EXPECT_EQ(run.exitCode, kExitErrorStatus) << run.out;
    EXPECT_NE(run.out.find("Reason: (noSuchName)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(std::string("Failed object: ") + kMissing + " (index 2)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(std::string(kSysName) + " = STRING: \"PALIMAR-4100\"\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(std::string(kSysLocation) + " = STRING: "), std::string::npos) << run.out;

    run = Tool({"get", "lab", kSysName, kMissing, "--json"});
    EXPECT_EQ(run.exitCode, kExitErrorStatus) << run.out;
    EXPECT_EQ(run.out,
              "{\"command\":\"get\",\"printer\":\"lab\",\"result\":25011,\"name\":\"SNMP_RESULT_ERROR_STATUS\","
              "\"errorStatus\":2,\"errorStatusName\":\"noSuchName\",\"errorIndex\":2,\"failedObject\":\"" +
                  std::string(kMissing) +
                  "\",\"variables\":[{\"oid\":\"1.3.6.1.2.1.1.5.0\",\"type\":\"OCTET STRING\",\"value\":"
                  "\"PALIMAR-4100\"}]}\n");
}

TEST_F(CliTransactionTest, AGroupThePrinterLacksAnObjectOfNamesItAndReadsTheRest) {
    // The system group (group 0) without sysContact, 1.3.6.1.2.1.1.4.0.
    const std::string objects = registry_->Folder() + "/system.txt";
    std::ofstream(objects) << "1.3.6.1.2.1.1.1.0 STRING a\n1.3.6.1.2.1.1.2.0 OID 1.3.6.1.4.1.236\n"
                              "1.3.6.1.2.1.1.3.0 TIMETICKS 1\n1.3.6.1.2.1.1.5.0 STRING b\n"
                              "1.3.6.1.2.1.1.6.0 STRING c\n1.3.6.1.2.1.1.7.0 INTEGER 72\n";
    StartSim({"--empty", "--objects", objects});
    const ProgramRun run = Tool({"group", "lab", "0"});
    EXPECT_EQ(run.exitCode, kExitErrorStatus) << run.out;
    EXPECT_NE(run.out.find("Failed object: 1.3.6.1.2.1.1.4.0 (index 4)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1.3.6.1.2.1.1.3.0 = Timeticks: (1) 0:00:00.01\n1.3.6.1.2.1.1.5.0 = STRING: \"b\"\n"),
              std::string::npos)
        << run.out;
}

TEST_F(CliTransactionTest, GenErrIsAFailure) {
    ProgramRun run = Tool({"set", "lab", "1.3.6.1.4.1.99.4.0", "integer", "3"});
    EXPECT_EQ(run.exitCode, kExitErrorStatus) << run.out;
    EXPECT_NE(run.out.find("Reason: (genErr)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Failed object: 1.3.6.1.4.1.99.4.0 (index 1)"), std::string::npos) << run.out;
    run = Tool({"set", "lab", "1.3.6.1.4.1.99.4.0", "integer", "3", "--json"});
    EXPECT_EQ(run.exitCode, kExitErrorStatus) << run.out;
    EXPECT_NE(run.out.find("\"result\":25011"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"errorStatusName\":\"genErr\""), std::string::npos) << run.out;
}

// The silent object costs one wait of a second each time.
TEST_F(CliTransactionTest, AWalkThatEndsEarlyKeepsWhatItRead) {
    ProgramRun run = Tool({"walk", "lab", "1.3.6.1.4.1.98", "--timeout", "1", "--retries", "0", "--json"});
    EXPECT_EQ(run.exitCode, kExitNoReply) << run.out;
    EXPECT_EQ(run.out,
              "{\"command\":\"walk\",\"printer\":\"lab\",\"result\":25010,\"name\":\"SNMP_RESULT_NO_REPLY\","
              "\"meaning\":\"no printer name, no reply, or no reply answered this request\",\"variables\":["
              "{\"oid\":\"1.3.6.1.4.1.98.1.0\",\"type\":\"INTEGER\",\"value\":1},"
              "{\"oid\":\"1.3.6.1.4.1.98.2.0\",\"type\":\"INTEGER\",\"value\":2}]}\n");
    run = Tool({"walk", "lab", "1.3.6.1.4.1.98", "--timeout", "1", "--retries", "0"});
    EXPECT_EQ(run.exitCode, kExitNoReply) << run.out;
    EXPECT_EQ(run.out.find("1.3.6.1.4.1.98.1.0 = INTEGER: 1\n1.3.6.1.4.1.98.2.0 = INTEGER: 2\n"), 0u) << run.out;
    EXPECT_NE(run.out.find("SNMP_RESULT_NO_REPLY"), std::string::npos) << run.out;

    // An error-status midway keeps them too.
    run = Tool({"walk", "lab", "1.3.6.1.4.1.99", "--json"});
    EXPECT_EQ(run.exitCode, kExitErrorStatus) << run.out;
    EXPECT_NE(run.out.find("\"errorStatusName\":\"genErr\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("{\"oid\":\"1.3.6.1.4.1.99.3.0\""), std::string::npos) << run.out;
}

TEST_F(CliTransactionTest, TimeoutAndRetriesOfOneCommandAreSeenInTheLog) {
    for (int retries : {0, 2}) {
        SCOPED_TRACE(retries);
        PrinterSimulator &sim = StartSim({"--fault", "silent"});
        const ProgramRun run =
            Tool({"get", "lab", kSysName, "--timeout", "0", "--retries", std::to_string(retries)});
        EXPECT_EQ(run.exitCode, kExitNoReply) << run.out;
        const auto sends = static_cast<std::size_t>(retries + 1);
        EXPECT_EQ(sim.WaitForLogLines(sends), sends);
        EXPECT_EQ(sim.LogLines().size(), sends);
    }
}

TEST_F(CliTransactionTest, DumpShowsEachDatagramInHexWithItsTime) {
    const ProgramRun run = Tool({"get", "lab", kSysName, "-v"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("sent 45 octets over IP at \\+[0-9]+\\.[0-9]{3} s:\n"
                                                      "  0000  30 2B 02 01 00 04 0B ")))
        << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("received 57 octets over IP at \\+[0-9]+\\.[0-9]{3} s:\n"
                                                      "  0000  30 37 02 01 00 ")))
        << run.out;
}

TEST_F(CliTransactionTest, Utf8NamesAndAnyOctetsThroughJson) {
    ProgramRun run = Tool({"get", "café", "1.3.6.1.4.1.99.2.0", "1.3.6.1.4.1.99.3.0", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out,
              "{\"command\":\"get\",\"printer\":\"café\",\"result\":0,\"variables\":["
              "{\"oid\":\"1.3.6.1.4.1.99.2.0\",\"type\":\"OCTET STRING\",\"value\":\"café\"},"
              "{\"oid\":\"1.3.6.1.4.1.99.3.0\",\"type\":\"OCTET STRING\",\"value\":{\"hex\":\"FFFE\"}}]}\n");
    run = Tool({"get", "café", "1.3.6.1.4.1.99.2.0"});
    EXPECT_EQ(run.out, "1.3.6.1.4.1.99.2.0 = STRING: \"café\"\n");
    run = Tool({"printer", "list", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("{\"name\":\"café\",\"protocols\":\"ip\",\"use\":\"ip\",\"address\":\"127.0.0.1\"}"),
              std::string::npos)
        << run.out;
    run = Tool({"config", "show", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("\"timeout\":{\"value\":30,\"from\":\"UdpTimeOutInterval\",\"why\":null}"),
              std::string::npos)
        << run.out;
}

// --- Every command, whatever the printer sends --------------------------------------

using Json = nlohmann::json;

constexpr char kSysLocation0[] = "1.3.6.1.2.1.1.6.0";
constexpr char kSilentMessage[] = "no reply (check the address, the community and the printer's SNMP settings)";

// Texts in ISO-8859-1 and Shift_JIS, as printers send them: sysName,
// sysLocation (writable, and watched: a set sends a trap carrying it), the
// printer device's description, the black toner (made the lowest supply),
// the first tray's name and the first console line; and this host as a
// complete trap destination row.
constexpr char kForeignTexts[] =
    "1.3.6.1.2.1.1.5.0 STRING \"Drucker-B\\xfcro\"\n"
    "1.3.6.1.2.1.1.6.0 STRING \"Flur \\xb2\" rw\n"
    "1.3.6.1.2.1.25.3.2.1.3.1 STRING \"\\x83v\\x83\\x8a\\x83\\x93\\x83^\"\n"
    "1.3.6.1.2.1.43.11.1.1.6.1.1 STRING \"Toner \\x8d\\x95\"\n"
    "1.3.6.1.2.1.43.11.1.1.9.1.1 INTEGER 120\n"
    "1.3.6.1.2.1.43.8.2.1.13.1.1 STRING \"Fach \\xe4\"\n"
    "1.3.6.1.2.1.43.16.5.1.2.1.1 STRING \"BEREIT \\xff\"\n"
    "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1.2.1.2.3.4.5.6 IPADDRESS 127.0.0.1\n"
    "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1.7.1.2.3.4.5.6 INTEGER 1\n";

constexpr char kTrapPort[] = "1162";

// "lab" answers on 127.0.0.1, "mute" on 127.0.0.2 never does; the store
// has no Snmp key, so the tool's own wait applies.
std::string FleetHive() {
    return test::PrinterHive("lab", PrinterValues()) +
           test::PrinterKey("mute", "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n"
                                    "\"IP Address\"=\"127.0.0.2\"\n\"MAC Address\"=\"\"\n");
}

class CliOutcomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_ = std::make_unique<test::TempRegistry>(FleetHive());
        const std::string objects = registry_->Folder() + "/foreign.txt";
        std::ofstream(objects) << kForeignTexts;
        lab_ = std::make_unique<PrinterSimulator>(
            std::vector<std::string>{"--objects", objects, "--trap-port", kTrapPort, "--watch", kSysLocation0});
        mute_ = std::make_unique<PrinterSimulator>(std::vector<std::string>{"--fault", "silent"}, "127.0.0.2");
        ASSERT_TRUE(lab_->Ready());
        ASSERT_TRUE(mute_->Ready());
    }

    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> lab_;
    std::unique_ptr<PrinterSimulator> mute_;
};

// Every line of the output is one JSON value (which nlohmann's parser takes
// only as valid UTF-8).
void ExpectJsonLines(const ProgramRun &run, const std::string &what) {
    std::istringstream lines(run.out);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_FALSE(Json::parse(line, nullptr, false).is_discarded()) << what << ": " << line;
    }
    EXPECT_GT(count, 0u) << what;
}

TEST_F(CliOutcomeTest, EveryJsonOutputStaysValidWhateverThePrinterSends) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
    } cases[] = {
        {{"get", "lab", kSysName, kSysLocation0, "1.3.6.1.2.1.25.3.2.1.3.1", "--json"}, 0},
        {{"getnext", "lab", "1.3.6.1.2.1.1.4.0", "--json"}, 0},
        {{"walk", "lab", "1.3.6.1.2.1.1", "--json"}, 0},
        {{"group", "lab", "0", "--json"}, 0},
        {{"status", "lab", "--json"}, 0},
        {{"poll", "--json"}, 1},  // mute is not reached
        {{"poll", "lab", "--json"}, 0},
        {{"status", "B\xFCro", "--json"}, 5},
        {{"printer", "list", "--json"}, 0},
        {{"printer", "show", "lab", "--json"}, 0},
        {{"config", "show", "--json"}, 0},
        {{"keepalive", "lab", "--json"}, 0},
    };
    for (const auto &c : cases) {
        const ProgramRun run = Tool(c.arguments);
        const std::string what = c.arguments[0] + " " + c.arguments[1];
        EXPECT_EQ(run.exitCode, c.exitCode) << what << ": " << run.out;
        ExpectJsonLines(run, what);
    }
    // The octets that are not UTF-8 are readable, and so are the texts that are.
    const ProgramRun status = Tool({"status", "lab", "--json"});
    EXPECT_NE(status.out.find("\"sysName\":\"Drucker-B\\\\xFCro\""), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("\"description\":\"\\\\x83v\\\\x83\\\\x8A\\\\x83\\\\x93\\\\x83^\""), std::string::npos)
        << status.out;
    const ProgramRun poll = Tool({"poll", "lab", "--json"});
    EXPECT_NE(poll.out.find("\"lowestSupply\":{\"description\":\"Toner \\\\x8D\\\\x95\",\"percent\":1}"),
              std::string::npos)
        << poll.out;

    // The set changes the watched text, so the printer traps it; until the
    // listener is up a trap may go unheard, so the set is repeated.
    auto traps = std::async(std::launch::async, [] {
        return Tool({"traps", "listen", "--port", kTrapPort, "--json", "--count", "1", "--timeout", "10"});
    });
    for (int i = 0; traps.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready && i < 20; ++i) {
        const ProgramRun set =
            Tool({"set", "lab", kSysLocation0, "string", "Flur \xB3" + std::to_string(i), "--json"});
        EXPECT_EQ(set.exitCode, 0) << set.out;
        ExpectJsonLines(set, "set");
    }
    const ProgramRun heard = traps.get();
    EXPECT_EQ(heard.exitCode, 0) << heard.out;
    ExpectJsonLines(heard, "traps listen");
    EXPECT_NE(heard.out.find("\"oid\":\"1.3.6.1.2.1.1.6.0\""), std::string::npos) << heard.out;
}

// Each command in each situation ends with the code of the table and says
// why. Silent rows wait the tool's own 1 s per send.
TEST_F(CliOutcomeTest, ExitCodesFollowTheTable) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        const char *message;
    } cases[] = {
        // Success.
        {{"get", "lab", kSysName}, 0, "1.3.6.1.2.1.1.5.0 = Hex-STRING: 44 72"},
        {{"status", "lab"}, 0, "reached over UDP/IP"},
        {{"poll", "lab"}, 0, "1 reached"},
        {{"keepalive", "lab"}, 0, "sent to printer 'lab'"},
        {{"printer", "show", "lab"}, 0, "IP Address:  127.0.0.1"},
        {{"config", "show"}, 0, "timeout: 15 seconds"},
        // Usage.
        {{"get", "lab", "1.3.x"}, 2, "'1.3.x': 'x' is not a digit"},
        {{"printer", "add", "new", "--ip", "999.1.1.1"}, 2, "expected a dotted-decimal IPv4 address"},
        {{"config", "set", "timeout", "0"}, 2, "is not a whole number"},
        {{"config", "set", "colour", "3"}, 2, "unknown setting"},
        {{"group", "lab", "26"}, 2, "there are 26 groups"},
        {{"status", "lab", "--timeout", "-1"}, 2, "--timeout"},
        {{"poll", "--retries", "101"}, 2, "--retries"},
        {{"set", "lab", kSysLocation0, "integer", "x"}, 2, "is not a 32-bit signed decimal number"},
        // Silent.
        {{"get", "mute", kSysName}, 3, kSilentMessage},
        {{"getnext", "mute", kSysName}, 3, kSilentMessage},
        {{"walk", "mute", "1.3.6.1.2.1.1"}, 3, kSilentMessage},
        {{"set", "mute", kSysLocation0, "integer", "1", "--timeout", "1"}, 3, kSilentMessage},
        {{"group", "mute", "0"}, 3, kSilentMessage},
        {{"status", "mute"}, 3, kSilentMessage},
        {{"poll", "mute"}, 3, "not reached"},
        // Error-status.
        {{"get", "lab", kMissing}, 4, "Reason: (noSuchName)"},
        {{"set", "lab", kSysName, "integer", "1"}, 4, "Error in packet"},
        // Unknown printer.
        {{"get", "nosuch", kSysName}, 5, "no printer 'nosuch' is registered"},
        {{"getnext", "nosuch", kSysName}, 5, "no printer 'nosuch' is registered"},
        {{"walk", "nosuch", "1.3.6.1.2.1.1"}, 5, "no printer 'nosuch' is registered"},
        {{"set", "nosuch", kSysLocation0, "integer", "1"}, 5, "no printer 'nosuch' is registered"},
        {{"group", "nosuch", "0"}, 5, "no printer 'nosuch' is registered"},
        {{"status", "nosuch"}, 5, "no printer 'nosuch' is registered"},
        {{"keepalive", "nosuch"}, 5, "no printer 'nosuch' is registered"},
        {{"traps", "register", "nosuch"}, 5, "no printer 'nosuch' is registered"},
        {{"traps", "withdraw", "nosuch"}, 5, "no printer 'nosuch' is registered"},
        {{"poll", "nosuch"}, 5, "cannot be read"},
        {{"printer", "show", "nosuch"}, 5, "no printer named \"nosuch\""},
        {{"printer", "remove", "nosuch"}, 5, "no printer named \"nosuch\""},
    };
    for (const auto &c : cases) {
        const ProgramRun run = Tool(c.arguments);
        const std::string what = c.arguments[0] + " " + c.arguments[1];
        EXPECT_EQ(run.exitCode, c.exitCode) << what << ": " << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << what << ": " << run.out;
        EXPECT_EQ(run.out.find("SEND_FAILED"), std::string::npos) << what << ": " << run.out;
    }
}

// A store this user may not read: the commands say so and fail, rather than
// call the printer unknown. Root reads any file, so the tool runs without
// the capabilities that allow it.
TEST_F(CliOutcomeTest, AStoreThatCannotBeReadIsPermissionDenied) {
    ASSERT_EQ(chmod(registry_->Path().c_str(), 0), 0);
    const std::string denied = "permission denied: " + registry_->Path();
    for (const std::vector<std::string> &arguments : std::vector<std::vector<std::string>>{
             {"get", "lab", kSysName}, {"walk", "lab", "1.3.6.1.2.1.1"}, {"status", "lab"}, {"status", "lab", "--json"},
             {"keepalive", "lab"}, {"traps", "register", "lab"}, {"poll"}, {"printer", "show", "lab"},
             {"printer", "remove", "lab"}, {"printer", "list"}, {"config", "show"}, {"registry", "export"}}) {
        std::vector<std::string> argv = {"setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search",
                                         test::BuildTreePath("tools/snmphelper")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const ProgramRun run = test::RunProgram(argv, test::ErrorOutput::Merged);
        const std::string what = arguments[0] + " " + arguments[1 % arguments.size()];
        EXPECT_EQ(run.exitCode, 1) << what << ": " << run.out;
        EXPECT_NE(run.out.find(denied), std::string::npos) << what << ": " << run.out;
        EXPECT_EQ(run.out.find("not registered"), std::string::npos) << what << ": " << run.out;
    }
    EXPECT_EQ(lab_->LogLines().size(), 0u) << "nothing is sent";
}

// With no timeout in the store or on the command line, the tool waits 1 s
// per send: a silent printer gets its three sends and is given up; the
// configuration's explanation says so. status and poll take the options.
TEST_F(CliOutcomeTest, TheToolsOwnWaitAndTheWaitOptionsOfStatusAndPoll) {
    ProgramRun run = Tool({"get", "mute", kSysName});
    EXPECT_EQ(run.exitCode, 3) << run.out;
    EXPECT_EQ(mute_->WaitForLogLines(3), 3u);
    EXPECT_EQ(mute_->LogLines().size(), 3u);

    run = Tool({"config", "show"});
    EXPECT_NE(run.out.find("a reply is awaited 15 s per send (a set: 10 s); a silent printer is sent the request 3 "
                           "times per protocol, the last send not awaited; the snmphelper tool itself awaits 1 s per "
                           "send unless --timeout says otherwise"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("retries counts only replies that cannot be decoded or belong to another request"),
              std::string::npos)
        << run.out;
    run = Tool({"config", "set", "timeout", "20"});
    run = Tool({"config", "show"});
    EXPECT_EQ(run.out.find("the snmphelper tool itself"), std::string::npos) << run.out;

    for (const auto &[arguments, sends] : std::vector<std::pair<std::vector<std::string>, std::size_t>>{
             {{"status", "mute", "--timeout", "0", "--retries", "0"}, 1},
             {{"poll", "mute", "--timeout", "0", "--retries", "2"}, 3}}) {
        mute_.reset();  // its port is free again before the next one binds it
        mute_ = std::make_unique<PrinterSimulator>(std::vector<std::string>{"--fault", "silent"}, "127.0.0.2");
        ASSERT_TRUE(mute_->Ready());
        run = Tool(arguments);
        EXPECT_EQ(run.exitCode, 3) << arguments[0] << ": " << run.out;
        EXPECT_EQ(mute_->WaitForLogLines(sends), sends) << arguments[0];
        EXPECT_EQ(mute_->LogLines().size(), sends) << arguments[0];
    }
}

// The waiting line shows on a terminal (a pseudo-terminal through script)
// once a wait has passed two seconds, and never when standard error is not
// one.
TEST_F(CliOutcomeTest, AWaitShowsItsProgressOnlyOnATerminal) {
    const std::string command =
        test::BuildTreePath("tools/snmphelper") + " get mute " + kSysName + " --timeout 3 --retries 0";
    ProgramRun run = test::RunProgram({"script", "-qec", command, "/dev/null"}, test::ErrorOutput::Merged);
    EXPECT_EQ(run.exitCode, 3) << run.out;
    EXPECT_NE(run.out.find("waiting for mute over UDP/IP: send 1 of 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(kSilentMessage), std::string::npos) << run.out;

    run = Tool({"get", "mute", kSysName, "--timeout", "3", "--retries", "0"});
    EXPECT_EQ(run.exitCode, 3) << run.out;
    EXPECT_EQ(run.out.find("waiting for"), std::string::npos) << run.out;
}

// --- Against net-snmp's own tools on the same simulator ---------------------------

// Objects of every type a printer sends, writable where a set can be compared.
constexpr char kNetSnmpObjects[] =
    "1.3.6.1.4.1.96.1.0 INTEGER -5 rw\n"
    "1.3.6.1.4.1.96.2.0 COUNTER 4294967295\n"
    "1.3.6.1.4.1.96.3.0 GAUGE 7 rw\n"
    "1.3.6.1.4.1.96.4.0 TIMETICKS 9000017 rw\n"
    "1.3.6.1.4.1.96.5.0 IPADDRESS 192.168.1.20 rw\n"
    "1.3.6.1.4.1.96.6.0 OID 1.3.6.1.4.1.236 rw\n"
    "1.3.6.1.4.1.96.7.0 NULL - rw\n"
    "1.3.6.1.4.1.96.8.0 HEX 00ff10 rw\n"
    "1.3.6.1.4.1.96.9.0 STRING \"a\\x01b\" rw\n"
    "1.3.6.1.4.1.96.10.0 STRING \"say \\\"hi\\\" \\\\o/\" rw\n";
constexpr int kNetSnmpObjectCount = 10;

std::string NetSnmpObject(int number) { return "1.3.6.1.4.1.96." + std::to_string(number) + ".0"; }

// net-snmp's output as the tool writes the same: without MIB files
// net-snmp's one name is "iso", the tool's its number; net-snmp ends hex
// octets with a space, the tool does not; net-snmp writes an empty string
// without its type, the tool writes STRING: for every text; and the tool's
// walk says nothing when the printer's objects end inside the subtree,
// where snmpwalk says "End of MIB".
std::string AsToolWrites(const std::string &netSnmp) {
    static const std::regex iso("(^|[ .])iso\\.");
    static const std::regex untypedEmpty(" = \"\"$");
    std::string text;
    std::istringstream lines(netSnmp);
    for (std::string line; std::getline(lines, line);) {
        if (line == "End of MIB") continue;
        line = std::regex_replace(line, iso, "$011.");
        line = std::regex_replace(line, untypedEmpty, " = STRING: \"\"");
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, " \"") == 0) line.erase(line.size() - 2, 1);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
    return text;
}

// net-snmp's tool with the simulator's community, one try of one second.
ProgramRun NetSnmp(const std::string &tool, const std::vector<std::string> &arguments) {
    std::vector<std::string> argv = {tool, "-v1", "-c", "t*o&r^e~l+d", "-t", "1", "-r", "0"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return test::RunProgram(argv);
}

class CliNetSnmpTest : public CliTransactionTest {
protected:
    void SetUp() override {
        setenv("MIBS", "", 1);  // net-snmp reads no MIB files, as the tool has none
        registry_ = std::make_unique<test::TempRegistry>(Hive());
        const std::string objects = registry_->Folder() + "/netsnmp.txt";
        std::ofstream(objects) << kNetSnmpObjects;
        StartSim({"--empty", "--objects", objects});
    }
};

TEST_F(CliNetSnmpTest, GetPrintsWhatSnmpgetPrintsForEveryOutputOption) {
    // Each case's -O options as given, to both tools.
    const std::vector<std::vector<std::string>> cases = {
        {},           {"-On"},        {"-Oq"},  {"-Ov"},  {"-Oqv"},        {"-Of"},  {"-Os"},  {"-Oe"},
        {"-Oa"},      {"-Ox"},        {"-Ot"},  {"-Oqt"}, {"-Onqv"},       {"-Oxq"}, {"-Oaq"}, {"-Ovt"},
        {"-Oqtv"},    {"-On", "-Ov"}, {"-Ofs"}, {"-Osn"}, {"-Oax"},        {"-Oxa"}, {"-Oen"}, {"-Ox", "-Ov"},
        {"-Oqn", "-Ot", "-Oa"},
    };
    for (const std::vector<std::string> &options : cases) {
        std::string letters;
        for (const std::string &option : options) letters += option.substr(2);
        SCOPED_TRACE("-O" + letters);
        std::vector<std::string> objects;
        for (int number = 1; number <= kNetSnmpObjectCount; ++number) objects.push_back(NetSnmpObject(number));
        std::vector<std::string> netSnmpArguments = options;
        netSnmpArguments.push_back("127.0.0.1");
        netSnmpArguments.insert(netSnmpArguments.end(), objects.begin(), objects.end());
        const ProgramRun netSnmp = NetSnmp("snmpget", netSnmpArguments);
        ASSERT_EQ(netSnmp.exitCode, 0) << netSnmp.err;
        std::vector<std::string> toolArguments = {"get", "lab"};
        toolArguments.insert(toolArguments.end(), options.begin(), options.end());
        toolArguments.insert(toolArguments.end(), objects.begin(), objects.end());
        const ProgramRun tool = Tool(toolArguments);
        EXPECT_EQ(tool.exitCode, 0) << tool.out;
        EXPECT_EQ(tool.out, AsToolWrites(netSnmp.out));
    }
}

TEST_F(CliNetSnmpTest, WalkOfEverythingIsWhatSnmpwalkPrints) {
    const ProgramRun netSnmp = NetSnmp("snmpwalk", {"-On", "127.0.0.1", ".1"});
    ASSERT_EQ(netSnmp.exitCode, 0) << netSnmp.err;
    EXPECT_NE(netSnmp.out.find(NetSnmpObject(kNetSnmpObjectCount)), std::string::npos) << netSnmp.out;
    for (const char *root : {".1", "1.3", ".1.3.6.1.4.1.96"}) {
        SCOPED_TRACE(root);
        const ProgramRun tool = Tool({"walk", "lab", "-On", root});
        EXPECT_EQ(tool.exitCode, 0) << tool.out;
        EXPECT_EQ(tool.out, AsToolWrites(netSnmp.out));
    }
    const ProgramRun quick = NetSnmp("snmpwalk", {"-Oqx", "127.0.0.1", "1.3.6.1.4.1.96.8"});
    EXPECT_EQ(Tool({"walk", "lab", "-Oqx", "1.3.6.1.4.1.96.8"}).out, AsToolWrites(quick.out));
}

TEST_F(CliNetSnmpTest, SetTakesSnmpsetsTypeLettersAsSnmpsetDoes) {
    struct SetCase {
        int object;
        const char *type;
        const char *value;
    };
    const SetCase cases[] = {
        {1, "i", "-42"},         {1, "i", "2147483647"}, {3, "u", "4000000000"},   {4, "t", "12345"},
        {5, "a", "10.1.2.3"},    {6, "o", ".1.3.6.1.4.1.9"}, {6, "o", "1.3.6.1.2.1"}, {10, "s", "hello world"},
        {10, "x", "0x4142 43"},  {10, "x", "00ff10"},   {10, "x", "41 42  43"},   {10, "x", ""},
        {10, "d", "65.66 67"},   {10, "d", "0 255"},    {10, "d", ""},            {7, "n", "anything"},
        // Refused by both: a space inside a pair, an odd digit, an octet past
        // 255, a comma, a wrong type for the object.
        {10, "x", "4 142"},      {10, "x", "414"},      {10, "x", "0x"},          {10, "d", "256"},
        {10, "d", "1,2"},        {10, "x", "GG"},       {1, "s", "text"},
    };
    for (const SetCase &set : cases) {
        SCOPED_TRACE(std::string(set.type) + " '" + set.value + "'");
        const ProgramRun netSnmp = NetSnmp("snmpset", {"-On", "127.0.0.1", NetSnmpObject(set.object), set.type, set.value});
        const ProgramRun tool = Tool({"set", "lab", "-On", NetSnmpObject(set.object), set.type, set.value});
        EXPECT_EQ(tool.exitCode == 0, netSnmp.exitCode == 0) << tool.out << "\n" << netSnmp.out << netSnmp.err;
        if (netSnmp.exitCode == 0) {
            EXPECT_EQ(tool.out, AsToolWrites(netSnmp.out));
        }
    }
}

TEST_F(CliNetSnmpTest, SeveralSetsInOneRequestWithNullAmongThem) {
    const ProgramRun tool = Tool({"set", "lab", "-Oq", NetSnmpObject(7), "n", "", NetSnmpObject(10), "d", "79.75",
                                  NetSnmpObject(1), "i", "3"});
    EXPECT_EQ(tool.exitCode, 0) << tool.out;
    EXPECT_EQ(tool.out, NetSnmpObject(7) + " NULL\n" + NetSnmpObject(10) + " \"OK\"\n" + NetSnmpObject(1) + " 3\n");
}

}  // namespace
}  // namespace snmphelper
