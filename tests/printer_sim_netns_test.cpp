// SPDX-License-Identifier: Apache-2.0
// The printer simulator against net-snmp's command-line tools, an
// independent SNMPv1 manager, on 127.0.0.1:161 of a private network namespace.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace {

const char *const kCommunity = "t*o&r^e~l+d";

using snmphelper::test::BuildTreePath;
using snmphelper::test::ProgramRun;
using snmphelper::test::RunProgram;
using snmphelper::test::PrinterSimulator;

std::string SimulatorPath() { return BuildTreePath("tools/snmphelper-printer-sim"); }

// Where an answer is expected the timeout only bounds a failure, so it is
// generous: a loaded machine (sanitizers, parallel tests) must not turn a late
// answer into a failed test. Tests that expect silence pass a short one.
std::vector<std::string> Tool(const char *tool, const std::string &community = kCommunity,
                              const char *timeout = "5", const char *retries = "1") {
    return {tool, "-v1", "-c", community, "-On", "-t", timeout, "-r", retries, "127.0.0.1"};
}

ProgramRun Get(const std::vector<std::string> &oids, const std::string &community = kCommunity) {
    auto args = Tool("snmpget", community);
    args.insert(args.end(), oids.begin(), oids.end());
    return RunProgram(args);
}

ProgramRun Set(const std::vector<std::string> &assignments) {
    auto args = Tool("snmpset");
    args.insert(args.end(), assignments.begin(), assignments.end());
    return RunProgram(args);
}

// The names at the start of each output line ".1.3.6... = TYPE: value".
std::vector<std::string> Names(const std::string &output) {
    std::vector<std::string> names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find(" = ");
        if (!line.empty() && line[0] == '.' && equals != std::string::npos)
            names.push_back(line.substr(1, equals - 1));
    }
    return names;
}

std::vector<unsigned long> Arcs(const std::string &name) {
    std::vector<unsigned long> arcs;
    std::istringstream parts(name);
    for (std::string arc; std::getline(parts, arc, '.');) arcs.push_back(std::stoul(arc));
    return arcs;
}

// prefix + each arc + suffix, the way the object groups are written down.
std::vector<std::string> Expand(const std::string &prefix, std::initializer_list<int> arcs,
                                const std::string &suffix) {
    std::vector<std::string> names;
    for (int arc : arcs) names.push_back(prefix + std::to_string(arc) + suffix);
    return names;
}

std::vector<std::vector<std::string>> ObjectGroups() {
    const std::string mib2 = "1.3.6.1.2.1.";
    const std::string at = "1.3.6.1.2.1.13.";
    const std::string printer = "1.3.6.1.4.1.236.11.5.1.1.";
    const std::string server = "1.3.6.1.4.1.236.11.5.1.12.";
    auto join = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (auto &part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    return {
        Expand(mib2 + "1.", {1, 2, 3, 4, 5, 6, 7}, ".0"),
        Expand(mib2 + "2.2.1.", {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, ".2"),
        {mib2 + "10.7.2.1.2.0"},
        Expand(mib2 + "4.", {3, 4, 5, 7, 8, 9, 10, 11, 12}, ".0"),
        Expand(mib2 + "5.", {1, 2, 8, 14, 15, 22}, ".0"),
        Expand(mib2 + "7.", {1, 2, 3, 4}, ".0"),
        Expand(mib2 + "6.", {10, 11}, ".0"),
        Expand("1.3.6.1.4.1.23.2.5.1.1.1.", {6, 7, 8, 9, 10, 11, 12, 16}, ".1"),
        Expand(at + "2.", {2, 3}, ".0"),
        Expand(at + "3.1.1.", {14, 15}, ".1"),
        Expand(at + "4.", {1, 4, 7, 9, 10, 14}, ".0"),
        Expand(at + "16.", {1, 2, 3}, ".0"),
        join({Expand(at + "17.1.1.", {1, 2, 3}, ".1"), {at + "17.2.0"}}),
        Expand(at + "8.", {2, 3, 4, 5, 6, 7, 8}, ".0"),
        Expand(at + "10.", {3, 4, 5, 6, 1, 2}, ".0"),
        Expand(at + "9.", {1, 2, 3, 4}, ".0"),
        join({Expand(at + "11.", {1, 3, 5, 7}, ".0"), Expand(at + "11.8.1.", {3, 4}, ".1")}),
        Expand(mib2 + "11.", {1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17, 20, 21, 22, 24, 28, 29}, ".0"),
        join({Expand(printer + "2.", {2, 4, 7, 9, 13}, ".0"), Expand(printer + "3.", {2, 4, 6, 8, 10, 12, 14, 16}, ".0"),
              Expand(printer + "4.", {2, 4, 6, 8}, ".0"), {printer + "5.2.0"}, Expand(printer + "6.", {2, 5}, ".0"),
              Expand(printer + "7.", {2, 5, 7, 9, 11, 13}, ".0"), Expand(printer + "8.", {2, 5, 7, 9, 11}, ".0")}),
        join({Expand(printer + "2.", {1, 3, 6, 8, 12}, ".0"), Expand(printer + "3.", {1, 3, 5, 7, 9, 11, 13, 15}, ".0"),
              Expand(printer + "4.", {1, 3, 5, 7}, ".0"), {printer + "5.1.0"}, Expand(printer + "6.", {1, 4}, ".0"),
              Expand(printer + "7.", {1, 4, 6, 8, 10, 12}, ".0"), Expand(printer + "8.", {1, 4, 6, 8, 10}, ".0")}),
        {server + "5.1.0", server + "5.5.0", server + "5.2.0", at + "3.1.1.17.1", server + "5.4.0", server + "5.5.0",
         server + "5.6.0"},
        join({{server + "3.1.0", server + "3.2.0", server + "6.1.1.0"},
              Expand(server + "2.", {1, 2, 3, 7, 8, 5, 6, 9}, ".0")}),
        {mib2 + "1.5.0", mib2 + "1.6.0", printer + "9.1.0", server + "4.2.0"},
        Expand(server + "8.1.", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, ".0"),
        join({{server + "7.1.1.2.1"}, Expand(server + "7.", {9, 3, 10, 11, 5, 6, 7, 8, 2, 4}, ".0")}),
        join({{server + "3.3.0"}, Expand(server + "2.", {10, 11, 12, 13, 14}, ".0")}),
    };
}

class PrinterSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No MIB files: numeric names only, and no warnings about missing modules.
        setenv("MIBS", "", 1);
        setenv("MIBDIRS", "/nonexistent", 1);
    }
};

TEST_F(PrinterSimTest, EveryObjectOfEveryGroupAnswers) {
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Ready());
    const auto groups = ObjectGroups();
    ASSERT_EQ(groups.size(), 26u);
    for (std::size_t group = 0; group < groups.size(); ++group) {
        const ProgramRun result = Get(groups[group]);
        EXPECT_EQ(result.exitCode, 0) << "group " << group << ": " << result.err;
        EXPECT_EQ(Names(result.out), groups[group]) << "group " << group;
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(PrinterSimTest, WalkIsStrictlyIncreasingAndReachesEveryObject) {
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Ready());
    auto args = Tool("snmpwalk");
    args.push_back(".1");
    const ProgramRun walk = RunProgram(args);
    ASSERT_EQ(walk.exitCode, 0) << walk.err;
    const auto names = Names(walk.out);
    for (std::size_t i = 1; i < names.size(); ++i)
        EXPECT_LT(Arcs(names[i - 1]), Arcs(names[i])) << names[i - 1] << " then " << names[i];
    // The walk meets exactly the objects the simulator lists.
    const ProgramRun dump = RunProgram({SimulatorPath(), "--dump"});
    std::vector<std::string> listed;
    std::istringstream lines(dump.out);
    for (std::string line; std::getline(lines, line);) listed.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(names, listed);
    // The values come in the types the objects are declared with.
    EXPECT_NE(walk.out.find(".1.3.6.1.2.1.1.2.0 = OID: .1.3.6.1.4.1.236.11.5.1"), std::string::npos);
    EXPECT_NE(walk.out.find(".1.3.6.1.2.1.1.3.0 = Timeticks:"), std::string::npos);
    EXPECT_NE(walk.out.find(".1.3.6.1.4.1.236.11.5.1.12.2.1.0 = IpAddress: 127.0.0.1"), std::string::npos);
    EXPECT_NE(walk.out.find(".1.3.6.1.2.1.2.2.1.5.2 = Gauge32: 100000000"), std::string::npos);
}

TEST_F(PrinterSimTest, SetThenGetAndAtomicity) {
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Ready());
    ProgramRun set = Set({"1.3.6.1.2.1.1.5.0", "s", "front-desk", "1.3.6.1.4.1.236.11.5.1.1.9.1.0", "i", "300"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    ProgramRun get = Get({"1.3.6.1.2.1.1.5.0", "1.3.6.1.4.1.236.11.5.1.1.9.1.0"});
    EXPECT_NE(get.out.find("= STRING: \"front-desk\""), std::string::npos) << get.out;
    EXPECT_NE(get.out.find("= INTEGER: 300"), std::string::npos) << get.out;

    // The second binding fails, so the first is not applied either.
    set = Set({"1.3.6.1.2.1.1.5.0", "s", "changed", "1.3.6.1.2.1.1.1.0", "s", "x"});
    EXPECT_NE(set.err.find("(readOnly)"), std::string::npos) << set.err;
    EXPECT_NE(set.err.find("Failed object: .1.3.6.1.2.1.1.1.0"), std::string::npos) << set.err;
    get = Get({"1.3.6.1.2.1.1.5.0"});
    EXPECT_NE(get.out.find("\"front-desk\""), std::string::npos) << get.out;
}

TEST_F(PrinterSimTest, ErrorStatusesNameTheFailingBinding) {
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Ready());
    ProgramRun result = Get({"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.99.0"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Failed object: .1.3.6.1.2.1.1.99.0"), std::string::npos) << result.err;

    result = Set({"1.3.6.1.2.1.1.5.0", "i", "5"});  // INTEGER into a text
    EXPECT_NE(result.err.find("(badValue)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.2.2.1.7.2", "i", "7"});  // ifAdminStatus is 1 to 3
    EXPECT_NE(result.err.find("(badValue)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.1.5.0", "s", std::string(256, 'n')});  // DisplayString is at most 255
    EXPECT_NE(result.err.find("(badValue)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.1.7.0", "i", "72"});
    EXPECT_NE(result.err.find("(readOnly)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.1.99.0", "i", "1"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;

    auto next = Tool("snmpgetnext");
    next.push_back("1.3.6.1.4.1.236.11.5.1.12.8.1.11.0");  // the last object
    result = RunProgram(next);
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.out << result.err;
}

TEST_F(PrinterSimTest, ReadOnlyCanBeAnsweredAsNoSuchName) {
    PrinterSimulator sim({"--read-only-as-no-such-name"});
    ASSERT_TRUE(sim.Ready());
    const ProgramRun result = Set({"1.3.6.1.2.1.1.7.0", "i", "72"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;
}

TEST_F(PrinterSimTest, WrongCommunityGetsNoAnswer) {
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Ready());
    auto args = Tool("snmpget", "public", "0.5", "0");
    args.push_back("1.3.6.1.2.1.1.5.0");
    const ProgramRun result = RunProgram(args);
    EXPECT_NE(result.err.find("Timeout"), std::string::npos) << result.out << result.err;
    EXPECT_NE(sim.Log().find("outcome=bad-community"), std::string::npos);
    // The agent counted it in snmpInBadCommunityNames.
    EXPECT_NE(Get({"1.3.6.1.2.1.11.4.0"}).out.find("Counter32: 1"), std::string::npos);
}

TEST_F(PrinterSimTest, TooBigWhenTheReplyExceedsTheLimit) {
    PrinterSimulator sim({"--max-message", "100"});
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(Get({"1.3.6.1.2.1.1.5.0"}).exitCode, 0);
    const ProgramRun result = Get({"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.4.0"});
    EXPECT_NE(result.err.find("(tooBig)"), std::string::npos) << result.err;
}

TEST_F(PrinterSimTest, TrapDestinationRowLifecycle) {
    // A host listening for traps, on a port the simulator is told.
    const int trapSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(trapSocket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(trapSocket, reinterpret_cast<sockaddr *>(&address), &length);
    PrinterSimulator sim({"--trap-port", std::to_string(ntohs(address.sin_port))});
    ASSERT_TRUE(sim.Ready());

    const std::string column = "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1.";
    const std::string index = ".0.0.76.16.32.255";
    // Columns of a row that does not exist cannot be set.
    EXPECT_NE(Set({column + "2" + index, "a", "127.0.0.1"}).err.find("(noSuchName)"), std::string::npos);
    ASSERT_EQ(Set({column + "7" + index, "i", "2"}).exitCode, 0);
    const ProgramRun row = Set({column + "2" + index, "a", "127.0.0.1", column + "3" + index, "x", "00002C00",
                                column + "5" + index, "i", "3", column + "4" + index, "i", "2"});
    ASSERT_EQ(row.exitCode, 0) << row.err;
    EXPECT_NE(Set({column + "7" + index, "i", "3"}).err.find("(badValue)"), std::string::npos);
    EXPECT_NE(Set({column + "3" + index, "x", "0000"}).err.find("(badValue)"), std::string::npos);
    ASSERT_EQ(Set({column + "7" + index, "i", "1"}).exitCode, 0);

    auto walk = Tool("snmpwalk");
    walk.push_back(column.substr(0, column.size() - 1));
    const ProgramRun table = RunProgram(walk);
    EXPECT_EQ(Names(table.out), (std::vector<std::string>{column + "2" + index, column + "3" + index,
                                                          column + "4" + index, column + "5" + index,
                                                          column + "7" + index}));
    EXPECT_NE(table.out.find("IpAddress: 127.0.0.1"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("00 00 2C 00"), std::string::npos) << table.out;

    // Completing the row sent the host a Trap-PDU.
    pollfd fd{trapSocket, POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 5000), 1);
    unsigned char trap[512];
    const ssize_t received = recv(trapSocket, trap, sizeof trap, 0);
    ASSERT_GT(received, 10);
    EXPECT_EQ(trap[0], 0x30);
    EXPECT_NE(std::find(trap, trap + received, 0xA4), trap + received);
    close(trapSocket);

    // Withdrawal removes the row, and withdrawing again is accepted.
    ASSERT_EQ(Set({column + "7" + index, "i", "4"}).exitCode, 0);
    EXPECT_NE(Get({column + "7" + index}).err.find("(noSuchName)"), std::string::npos);
    EXPECT_EQ(Set({column + "7" + index, "i", "4"}).exitCode, 0);
}

TEST_F(PrinterSimTest, FaultsSeenFromTheManager) {
    {
        // The first request is dropped; one of net-snmp's retries is answered.
        PrinterSimulator sim({"--fault", "drop:1"});
        ASSERT_TRUE(sim.Ready());
        auto args = Tool("snmpget", kCommunity, "0.5", "5");
        args.push_back("1.3.6.1.2.1.1.5.0");
        EXPECT_EQ(RunProgram(args).exitCode, 0);
        const std::string log = sim.Log();
        EXPECT_NE(log.find("outcome=dropped"), std::string::npos) << log;
        EXPECT_NE(log.find("outcome=answered"), std::string::npos) << log;
    }
    {
        PrinterSimulator sim({"--fault", "error-status:5"});
        ASSERT_TRUE(sim.Ready());
        EXPECT_NE(Get({"1.3.6.1.2.1.1.5.0"}).err.find("(genError)"), std::string::npos);
    }
    for (const char *fault : {"foreign-id", "garbage", "silent", "truncate"}) {
        // The manager discards what it cannot match or read, and times out.
        PrinterSimulator sim({"--fault", fault});
        ASSERT_TRUE(sim.Ready());
        auto args = Tool("snmpget", kCommunity, "0.5", "0");
        args.push_back("1.3.6.1.2.1.1.5.0");
        const ProgramRun result = RunProgram(args);
        EXPECT_NE(result.err.find("Timeout"), std::string::npos) << fault << ": " << result.out << result.err;
    }
}

TEST_F(PrinterSimTest, ObjectsFileWithAPerObjectFault) {
    const std::string path = snmphelper::test::MakeTempFolder("printer-sim-test") + "/objects.txt";
    std::ofstream(path) << "# a test printer\n"
                           "1.3.6.1.4.1.99.1.0 STRING \"plain \\\"quoted\\\"\" rw\n"
                           "1.3.6.1.4.1.99.2.0 INTEGER 7 fault=error-status:2\n";
    PrinterSimulator sim({"--empty", "--objects", path});
    ASSERT_TRUE(sim.Ready());
    ProgramRun result = Get({"1.3.6.1.4.1.99.1.0"});
    EXPECT_NE(result.out.find("STRING: \"plain \\\"quoted\\\"\""), std::string::npos) << result.out;
    result = Get({"1.3.6.1.4.1.99.2.0"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;
    EXPECT_NE(Get({"1.3.6.1.2.1.1.5.0"}).err.find("(noSuchName)"), std::string::npos);  // --empty

    std::ofstream(path) << "1.3.6.1.4.1.99.1.0 STRING ok\n1.3.6.1.4.1.99.2.0 INTEGER seven\n";
    const ProgramRun refused = RunProgram({SimulatorPath(), "--objects", path, "--dump"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find(path + ":2: INTEGER"), std::string::npos) << refused.err;
}

}  // namespace
