// SPDX-License-Identifier: Apache-2.0
// Trap destinations end to end in a private network namespace: the command
// line registers this host in the printer simulator's table, reads the row
// back, receives the simulator's traps with `traps listen`, and withdraws
// the row; and `traps listen` prints net-snmp's snmptrap traps as net-snmp's
// snmptrapd does.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_node.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"
#include "tests/support/udp_peer.h"
#include "tests/support/temp_registry.h"
#include "tests/support/veth_pair.h"
#include "traps/trap_registration.h"

namespace snmphelper {
namespace {

using test::ChildProcess;
using test::PrinterSimulator;
using test::ProgramRun;
using test::RunSnmphelper;

const std::string kEntry = "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1";
constexpr char kSysContact[] = "1.3.6.1.2.1.1.4.0";
constexpr char kTrapPort[] = "16162";

std::string Dword(const char *name, int value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, static_cast<unsigned>(value));
    return line;
}

// Printer "lab" on 127.0.0.1 over IP; short timeouts, no retries.
std::string LabHive(bool withPreferredProtocol = true) {
    std::string values = Dword("cProtocols", 2);
    if (withPreferredProtocol) values += Dword("pProtocol", 2);
    values += "\"IP Address\"=\"127.0.0.1\"\n\"MAC Address\"=\"00C0FFEE0001\"\n";
    return test::PrinterHive("lab", values) + "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n" +
           Dword("UdpTimeOutInterval", 1) + Dword("UdpTotalRetries", 0) + "\n";
}

std::string RowIndex() {
    char index[kTrapRowIndexRoom];
    EXPECT_TRUE(FormatTrapRowIndex(index, sizeof index));
    return index;
}

std::string Cell(unsigned column) { return kEntry + "." + std::to_string(column) + "." + RowIndex(); }

// The tool's exit code for a reply with an error-status.
constexpr int kExitErrorStatus = 4;

ProgramRun GetCell(unsigned column) { return RunSnmphelper({"get", "lab", Cell(column)}); }

std::size_t TrapLogLines(const PrinterSimulator &sim) {
    std::istringstream log(sim.Log());
    std::size_t count = 0;
    for (std::string line; std::getline(log, line);) count += line.rfind("trap to=", 0) == 0 ? 1 : 0;
    return count;
}

class TrapDestinationTest : public ::testing::Test {
protected:
    test::TempRegistry registry_{LabHive()};
};

TEST_F(TrapDestinationTest, RegisterReadBackReceiveTrapsAndWithdraw) {
    PrinterSimulator sim({"--trap-port", kTrapPort, "--watch", kSysContact});
    ASSERT_TRUE(sim.Ready());
    ChildProcess listener({test::BuildTreePath("tools/snmphelper"), "traps", "listen", "--port", kTrapPort});
    ASSERT_TRUE(listener.WaitForOutput("listening for traps on UDP port 16162"));

    const ProgramRun registered = RunSnmphelper({"traps", "register", "lab"});
    ASSERT_EQ(registered.exitCode, 0) << registered.out;
    EXPECT_NE(registered.out.find("row " + RowIndex()), std::string::npos) << registered.out;

    // The row, column by column, as the printer holds it.
    const std::vector<std::pair<unsigned, std::string>> columns = {
        {2, "IpAddress: 127.0.0.1"}, {4, "INTEGER: 2"}, {5, "INTEGER: 2"}, {7, "INTEGER: 1"}};
    for (const auto &[column, value] : columns) {
        const ProgramRun read = GetCell(column);
        EXPECT_EQ(read.exitCode, 0) << read.out;
        EXPECT_EQ(read.out, Cell(column) + " = " + value + "\n");
    }

    // The completed row hears of its registration, then of a watched change.
    EXPECT_TRUE(listener.WaitForOutput("specific-trap: 1\n"));
    const ProgramRun set = RunSnmphelper({"set", "lab", kSysContact, "string", "ops desk"});
    ASSERT_EQ(set.exitCode, 0) << set.out;
    EXPECT_TRUE(listener.WaitForOutput("specific-trap: 3\n"));
    EXPECT_TRUE(listener.WaitForOutput("  enterprise:    1.3.6.1.4.1.236.11.5.1\n"
                                       "  agent-addr:    127.0.0.1\n"
                                       "  generic-trap:  enterpriseSpecific (6)\n"));
    EXPECT_TRUE(listener.WaitForOutput(std::string(kSysContact) + " = STRING: \"ops desk\"\n"));
    // A set that changes nothing is no change.
    const std::size_t trapsBefore = TrapLogLines(sim);
    ASSERT_EQ(RunSnmphelper({"set", "lab", kSysContact, "string", "ops desk"}).exitCode, 0);

    const ProgramRun withdrawn = RunSnmphelper({"traps", "withdraw", "lab"});
    ASSERT_EQ(withdrawn.exitCode, 0) << withdrawn.out;
    for (unsigned column : {2u, 4u, 5u, 7u}) {
        const ProgramRun read = GetCell(column);
        EXPECT_EQ(read.exitCode, kExitErrorStatus) << read.out;
        EXPECT_NE(read.out.find("Reason: (noSuchName)"), std::string::npos) << read.out;
    }
    // Nobody is left to tell.
    ASSERT_EQ(RunSnmphelper({"set", "lab", kSysContact, "string", "front desk"}).exitCode, 0);
    EXPECT_EQ(TrapLogLines(sim), trapsBefore);
    listener.Stop();
}

// Rows the printer starts with (an earlier registration) hear coldStart,
// and a withdrawal reaches them.
TEST_F(TrapDestinationTest, RowsPresentAtTheStartHearColdStartAndCanBeWithdrawn) {
    const std::string folder = test::MakeTempFolder("trap-rows");
    const std::string objects = folder + "/rows.txt";
    {
        std::ofstream file(objects);
        file << Cell(2) << " IPADDRESS 127.0.0.1 rw\n"
             << Cell(3) << " HEX 00000000 rw\n"
             << Cell(4) << " INTEGER 2 rw\n"
             << Cell(5) << " INTEGER 2 rw\n"
             << Cell(7) << " INTEGER 1 rw\n";
    }
    ChildProcess listener({test::BuildTreePath("tools/snmphelper"), "traps", "listen", "--port", kTrapPort});
    ASSERT_TRUE(listener.WaitForOutput("listening for traps on UDP port 16162"));
    PrinterSimulator sim({"--trap-port", kTrapPort, "--objects", objects});
    ASSERT_TRUE(sim.Ready());
    EXPECT_TRUE(listener.WaitForOutput("  generic-trap:  coldStart (0)\n"
                                       "  specific-trap: 0\n"));
    EXPECT_TRUE(listener.WaitForOutput("  variable-bindings: 0\n"));

    ASSERT_EQ(GetCell(7).exitCode, 0);
    const ProgramRun withdrawn = RunSnmphelper({"traps", "withdraw", "lab"});
    ASSERT_EQ(withdrawn.exitCode, 0) << withdrawn.out;
    EXPECT_EQ(GetCell(7).exitCode, kExitErrorStatus);
}

// A printer that refuses the row (here its pProtocol column, for the 0 of a
// key without pProtocol) ends without the row, and the registration says it
// failed.
TEST(TrapDestinationRefusalTest, ARefusedRowIsWithdrawnAndReportedAsAFailure) {
    const test::TempRegistry registry(LabHive(/*withPreferredProtocol=*/false));
    PrinterSimulator sim({"--trap-port", kTrapPort});
    ASSERT_TRUE(sim.Ready());
    const ProgramRun registered = RunSnmphelper({"traps", "register", "lab"});
    EXPECT_EQ(registered.exitCode, kExitErrorStatus) << registered.out;
    EXPECT_NE(registered.out.find("SNMP_RESULT_ERROR_STATUS (25011)"), std::string::npos) << registered.out;
    EXPECT_EQ(GetCell(7).exitCode, kExitErrorStatus);
    EXPECT_NE(sim.Log().find("pdu=set"), std::string::npos);
    EXPECT_EQ(sim.LogLines().size(), 4u);  // state 2, the row, state 4, and the get
}

TEST(TrapDestinationRefusalTest, AnUnknownPrinterIsNamedAsTheFailure) {
    const test::TempRegistry registry(LabHive());
    const ProgramRun registered = RunSnmphelper({"traps", "register", "absent"});
    EXPECT_EQ(registered.exitCode, 5);
    EXPECT_EQ(registered.out, "traps register: no printer 'absent' is registered (see 'snmphelper printer list')\n");
    const ProgramRun json = RunSnmphelper({"traps", "withdraw", "absent", "--json"});
    EXPECT_EQ(json.exitCode, 5);
    EXPECT_EQ(json.out,
              "{\"command\":\"traps withdraw\",\"printer\":\"absent\",\"result\":20041,\"name\":"
              "\"CPH_PRINTER_RECORD_UNREADABLE\",\"meaning\":\"the printer's key or its MAC Address cannot be read\","
              "\"problem\":\"no printer 'absent' is registered (see 'snmphelper printer list')\"}\n");
}

// Debian's /etc/hosts names the host 127.0.1.1. A printer told that address
// would send its traps to itself: it is told the address of the interface
// that reaches it instead, and the tool says which.
TEST(TrapDestinationLoopbackNameTest, APrinterOffLoopbackIsToldTheAddressThatReachesIt) {
    const test::VethPair veth("trapv0", "trapv1", {0x02, 0, 0, 0, 0x7A, 0x01}, {0x02, 0, 0, 0, 0x7A, 0x02});
    ASSERT_TRUE(veth.Ready()) << veth.Error();
    ASSERT_EQ(test::RunProgram({"ip", "addr", "add", "10.9.0.1/24", "dev", "trapv0"}).exitCode, 0);
    const test::TempRegistry registry(
        test::PrinterHive("lab", Dword("cProtocols", 2) + Dword("pProtocol", 2) +
                                     "\"IP Address\"=\"10.9.0.2\"\n\"MAC Address\"=\"00C0FFEE0001\"\n") +
        "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n" + Dword("UdpTimeOutInterval", 1) +
        Dword("UdpTotalRetries", 0) + "\n");

    // The printer on a host of its own: the far end of the pair moves into a
    // network namespace of the simulator's, so this host's address on the
    // link (10.9.0.1) is not the printer's.
    const std::string printerHost = test::MakeTempFolder("trap-printer");
    const std::string pidFile = printerHost + "/pid";
    const std::string printerScript =
        "echo $$ > \"$1.new\" && mv \"$1.new\" \"$1\" && shift && "
        "while ! ip link show trapv1 >/dev/null 2>&1; do sleep 0.02; done && "
        "ip link set lo up && ip addr add 10.9.0.2/24 dev trapv1 && ip link set trapv1 up && exec \"$@\"";
    ChildProcess sim({"unshare", "-n", "sh", "-c", printerScript, "sh", pidFile,
                      test::BuildTreePath("tools/snmphelper-printer-sim"), "--address", "10.9.0.2", "--port", "161",
                      "--log", printerHost + "/log"});
    ASSERT_TRUE(sim.Started());
    std::string pid;
    for (int wait = 0; wait < 500 && pid.empty(); ++wait) {
        std::ifstream(pidFile) >> pid;
        if (pid.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(pid.empty());
    ASSERT_EQ(test::RunProgram({"ip", "link", "set", "trapv1", "netns", pid}).exitCode, 0);
    ASSERT_TRUE(sim.WaitForOutput("ready\n"));

    // The tool in mount and host-name namespaces of its own, where the hosts
    // file is Debian's.
    const std::string folder = test::MakeTempFolder("trap-hosts");
    std::ofstream(folder + "/hosts") << "127.0.0.1 localhost\n127.0.1.1 printhost\n";
    const std::string script = "mount --bind \"$1\" /etc/hosts && hostname printhost && shift && exec \"$@\"";
    const auto inDebianHost = [&](const std::vector<std::string> &arguments) {
        std::vector<std::string> argv = {"unshare", "-m", "-u", "sh", "-c", script, "sh", folder + "/hosts",
                                         test::BuildTreePath("tools/snmphelper")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return test::RunProgram(argv, test::ErrorOutput::Merged);
    };
    const ProgramRun index = inDebianHost({"traps", "index"});
    ASSERT_EQ(index.exitCode, 0) << index.out;
    ASSERT_EQ(index.out, RowIndex() + "\n");

    const ProgramRun registered = inDebianHost({"traps", "register", "lab"});
    ASSERT_EQ(registered.exitCode, 0) << registered.out;
    EXPECT_EQ(registered.out, "traps register: this host is a trap destination of printer 'lab' (row " +
                                  RowIndex() + ", address 10.9.0.1)\n");
    const ProgramRun read = GetCell(2);
    EXPECT_EQ(read.out, Cell(2) + " = IpAddress: 10.9.0.1\n");
    const ProgramRun json = inDebianHost({"traps", "register", "lab", "--json"});
    EXPECT_NE(json.out.find(",\"address\":\"10.9.0.1\"}"), std::string::npos) << json.out;
}

// Only loopback here: no adapter address, so the node is the machine's identity's.
TEST(TrapIndexInNamespaceTest, WithoutAnAdapterTheIndexComesFromTheMachineIdentity) {
    std::ifstream file("/etc/machine-id");
    std::string identity((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (identity.empty()) GTEST_SKIP() << "no /etc/machine-id";
    const auto expected = platform::detail::NodeFromMachineIdentity(identity);
    EXPECT_EQ(platform::detail::FindHostNode(), expected);
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u.%u.%u", (*expected)[0], (*expected)[1], (*expected)[2],
                  (*expected)[3], (*expected)[4], (*expected)[5]);
    EXPECT_EQ(RowIndex(), text);
    EXPECT_EQ(RunSnmphelper({"traps", "index"}).out, std::string(text) + "\n");
}

// --- Datagrams that are no trap -------------------------------------------------

TEST(TrapListenTest, ADatagramThatIsNoTrapIsShownAndSkipped) {
    auto listen = std::async(std::launch::async, [] {
        return RunSnmphelper({"traps", "listen", "--port", "16163", "--count", "1", "--timeout", "10", "--json"});
    });
    // Junk, then a trap (community "", enterprise 1.3.6.1.2.1.43, agent
    // 192.168.1.2, enterpriseSpecific 65537 cut to 1, time-stamp 100, one
    // binding sysDescr.0 = "abc"); sent again until the listener has one.
    const std::vector<std::uint8_t> junk = {'j', 'u', 'n', 'k', 0x01};
    const std::vector<std::uint8_t> trap = test::Hex(
        "30 33 02 01 00 04 00 A4 2C 06 06 2B 06 01 02 01 2B 40 04 C0 A8 01 02 02 01 06 02 03 01 00 01 43 01 64"
        " 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00 04 03 61 62 63");
    test::UdpPeer sender;
    ASSERT_TRUE(sender.Bound());
    while (listen.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        sender.SendTo(junk, 16163);
        sender.SendTo(trap, 16163);
    }
    const ProgramRun run = listen.get();
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const std::string from = "{\"from\":\"127.0.0.1:" + std::to_string(sender.Port()) + "\"";
    EXPECT_NE(run.out.find(from + ",\"length\":5,\"error\":\"not an SNMPv1 Trap message\",\"hex\":\"6A 75 6E 6B 01\"}\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(from + ",\"length\":53,\"community\":\"\",\"enterprise\":\"1.3.6.1.2.1.43\","
                                  "\"agentAddress\":\"192.168.1.2\",\"genericTrap\":6,\"genericTrapName\":"
                                  "\"enterpriseSpecific\",\"specificTrap\":1,\"timeStamp\":100,\"variables\":"
                                  "[{\"oid\":\"1.3.6.1.2.1.1.1.0\",\"type\":\"OCTET STRING\",\"value\":\"abc\"}]}\n"),
              std::string::npos)
        << run.out;
}

// --- net-snmp ---------------------------------------------------------------------

struct Binding {
    std::string oid;
    std::string type;
    std::string value;
    bool operator==(const Binding &) const = default;
};

struct TrapFields {
    std::string enterprise, agent, generic, specific, uptime, community;
    std::vector<Binding> bindings;
    bool operator==(const TrapFields &) const = default;
};

std::ostream &operator<<(std::ostream &out, const TrapFields &trap) {
    out << trap.enterprise << " " << trap.agent << " " << trap.generic << " " << trap.specific << " " << trap.uptime
        << " " << trap.community;
    for (const Binding &binding : trap.bindings) out << " | " << binding.oid << " " << binding.type << " " << binding.value;
    return out;
}

std::string WithoutLeadingDot(std::string text) { return !text.empty() && text[0] == '.' ? text.substr(1) : text; }

std::string Trim(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// One "TRAP ..." line of snmptrapd in the format the test gives it.
TrapFields ParseSnmptrapd(const std::string &line) {
    TrapFields trap;
    auto field = [&](const std::string &name, const std::string &next) {
        const std::size_t start = line.find(name + "=") + name.size() + 1;
        return line.substr(start, line.find(" " + next + "=", start) - start);
    };
    trap.enterprise = WithoutLeadingDot(field("enterprise", "agent"));
    trap.agent = field("agent", "generic");
    trap.generic = field("generic", "specific");
    trap.specific = WithoutLeadingDot(field("specific", "uptime"));
    trap.uptime = field("uptime", "community");
    trap.community = field("community", "vars");
    const std::string communityPrefix = "TRAP, SNMP v1, community ";
    if (trap.community.rfind(communityPrefix, 0) == 0) trap.community = trap.community.substr(communityPrefix.size());
    std::string vars = line.substr(line.find(" vars=") + 6);
    std::istringstream items(vars);
    for (std::string item; std::getline(items, item, '|');) {
        const std::size_t equals = item.find(" = ");
        Binding binding;
        binding.oid = WithoutLeadingDot(item.substr(0, equals));
        const std::string rest = item.substr(equals + 3);
        const std::size_t colon = rest.find(": ");
        binding.type = rest.substr(0, colon);
        // -On gives OID values a leading dot, which listen writes without;
        // net-snmp ends hex octets with a space.
        binding.value = Trim(rest.substr(colon + 2));
        if (binding.type == "OID") binding.value = WithoutLeadingDot(binding.value);
        trap.bindings.push_back(binding);
    }
    return trap;
}

// What `traps listen` printed for one trap.
TrapFields ParseListen(const std::string &out) {
    TrapFields trap;
    std::istringstream lines(out);
    auto after = [](const std::string &line, const std::string &prefix) { return line.substr(prefix.size()); };
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  community:     ", 0) == 0) trap.community = after(line, "  community:     ");
        if (line.rfind("  enterprise:    ", 0) == 0) trap.enterprise = after(line, "  enterprise:    ");
        if (line.rfind("  agent-addr:    ", 0) == 0) trap.agent = after(line, "  agent-addr:    ");
        if (line.rfind("  generic-trap:  ", 0) == 0) {
            const std::string text = after(line, "  generic-trap:  ");
            trap.generic = text.substr(text.find('(') + 1, text.find(')') - text.find('(') - 1);
        }
        if (line.rfind("  specific-trap: ", 0) == 0) trap.specific = after(line, "  specific-trap: ");
        if (line.rfind("  time-stamp:    ", 0) == 0) {
            const std::string text = after(line, "  time-stamp:    ");
            trap.uptime = text.substr(0, text.find(' '));
        }
        if (line.rfind("    ", 0) == 0) {
            const std::size_t equals = line.find(" = ");
            Binding binding;
            binding.oid = line.substr(4, equals - 4);
            const std::string rest = line.substr(equals + 3);
            const std::size_t colon = rest.find(": ");
            binding.type = rest.substr(0, colon);
            binding.value = rest.substr(colon + 2);
            trap.bindings.push_back(binding);
        }
    }
    return trap;
}

class NetSnmpTrapTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::RunProgram({"sh", "-c", "command -v snmptrapd && command -v snmptrap"}).exitCode != 0)
            GTEST_SKIP() << "net-snmp's snmptrap and snmptrapd (Debian packages snmp, snmptrapd) are not installed";
        // No MIB files: numbers only, and no warnings about missing modules.
        setenv("MIBS", "", 1);
        setenv("MIBDIRS", "/nonexistent", 1);
        folder_ = test::MakeTempFolder("snmptrapd");
        std::ofstream(folder_ + "/snmptrapd.conf") << "disableAuthorization yes\n";
    }

    // snmptrapd on 127.0.0.1:16171 writing the "TRAP ..." line of each trap into its log.
    std::unique_ptr<ChildProcess> StartSnmptrapd() {
        return std::make_unique<ChildProcess>(std::vector<std::string>{
            "snmptrapd", "-f", "-n", "-C", "-c", folder_ + "/snmptrapd.conf", "-Lf", folder_ + "/trapd.log",
            "-On", "-Oe", "-OU", "-F",
            "TRAP enterprise=%N agent=%a generic=%w specific=%q uptime=%T community=%P vars=%V|%v\n",
            "udp:127.0.0.1:16171"});
    }

    std::string SnmptrapdLine() const {
        std::ifstream log(folder_ + "/trapd.log");
        for (std::string line; std::getline(log, line);)
            if (line.rfind("TRAP ", 0) == 0) return line;
        return {};
    }

    std::string folder_;
};

struct NetSnmpCase {
    const char *name;
    std::vector<std::string> trap;  // snmptrap's arguments after the address
};

const NetSnmpCase kNetSnmpCases[] = {
    {"EnterpriseSpecificWithEveryType",
     {"1.3.6.1.4.1.236.11.5.1", "10.1.2.3", "6", "17", "12345",
      "1.3.6.1.2.1.1.5.0", "s", "abc def", "1.3.6.1.4.1.99.1", "i", "-5",
      "1.3.6.1.4.1.99.2", "a", "10.9.8.7", "1.3.6.1.4.1.99.3", "o", "1.3.6.1.4.1.236",
      "1.3.6.1.4.1.99.4", "t", "4242", "1.3.6.1.4.1.99.5", "c", "4000000000",
      "1.3.6.1.4.1.99.6", "u", "77", "1.3.6.1.4.1.99.7", "x", "DEAD00", "1.3.6.1.4.1.99.8", "t", "9000017"}},
    {"ColdStartWithoutBindings", {"1.3.6.1.4.1.236", "192.168.1.2", "0", "0", "0"}},
    {"LinkDownWithItsInterface", {"1.3.6.1.4.1.236.11", "172.16.0.9", "2", "0", "4294967295",
                                  "1.3.6.1.2.1.2.2.1.1.2", "i", "2"}},
    {"LargeSpecificAndLongOid", {"1.3.6.1.4.1.236.11.5.1.12.6.2.4.1.7.2.252.0.0.0.1", "0.0.0.0", "6", "32767",
                                 "100", "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1.7.2.252.0.0.0.1", "i", "1"}},
};

class NetSnmpTrapCaseTest : public NetSnmpTrapTest, public ::testing::WithParamInterface<NetSnmpCase> {};

TEST_P(NetSnmpTrapCaseTest, ListenPrintsWhatSnmptrapdPrints) {
    const NetSnmpCase &sent = GetParam();
    auto snmptrap = [&](const char *port) {
        std::vector<std::string> argv = {"snmptrap", "-v", "1", "-c", "public", std::string("127.0.0.1:") + port};
        argv.insert(argv.end(), sent.trap.begin(), sent.trap.end());
        return test::RunProgram(argv);
    };
    const auto snmptrapd = StartSnmptrapd();
    ASSERT_TRUE(snmptrapd->Started());
    // Sent again until each receiver has one: no guess at start-up times.
    for (int tries = 0; SnmptrapdLine().empty() && tries < 100; ++tries) {
        ASSERT_EQ(snmptrap("16171").exitCode, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string reference = SnmptrapdLine();
    ASSERT_FALSE(reference.empty()) << "snmptrapd printed nothing";

    auto listen = std::async(std::launch::async, [] {
        return RunSnmphelper({"traps", "listen", "--port", "16172", "--count", "1", "--timeout", "10"});
    });
    while (listen.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) snmptrap("16172");
    const ProgramRun run = listen.get();
    ASSERT_EQ(run.exitCode, 0) << run.out;

    TrapFields expected = ParseSnmptrapd(reference);
    TrapFields printed = ParseListen(run.out);
    ASSERT_EQ(expected.bindings.size(), (sent.trap.size() - 5) / 3) << reference;
    ASSERT_FALSE(expected.enterprise.empty());
    // snmptrapd shows the community bare, listen quoted.
    EXPECT_EQ(printed.community, "\"" + expected.community + "\"");
    printed.community = expected.community;
    EXPECT_EQ(printed, expected) << reference << "\n" << run.out;
}

INSTANTIATE_TEST_SUITE_P(Traps, NetSnmpTrapCaseTest, ::testing::ValuesIn(kNetSnmpCases),
                         [](const ::testing::TestParamInfo<NetSnmpCase> &param) { return param.param.name; });

}  // namespace
}  // namespace snmphelper
