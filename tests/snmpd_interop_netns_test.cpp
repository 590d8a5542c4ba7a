// SPDX-License-Identifier: Apache-2.0
// The library against an independent agent: net-snmp's snmpd on
// 127.0.0.1:161 of a private network namespace, with the library's community.
// What the library reads must be what net-snmp's own snmpget and snmpwalk
// report, identifier for identifier and value for value.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "library/library_entry.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using test::ProgramRun;
using test::RunProgram;

const char *const kCommunity = "t*o&r^e~l+d";
const std::string kSystemGroup = "1.3.6.1.2.1.1";
const std::string kSysUpTime = "1.3.6.1.2.1.1.3.0";
const std::string kSysLocation = "1.3.6.1.2.1.1.6.0";

// Printer "agent" at 127.0.0.1 over IP only; a one-second timeout, no retries.
const char *const kHive =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\agent]\n"
    "\"cProtocols\"=dword:00000002\n"
    "\"pProtocol\"=dword:00000002\n"
    "\"IP Address\"=\"127.0.0.1\"\n"
    "\"IPX Address\"=\"0000000100C0FFEE0001\"\n"
    "\"MAC Address\"=\"00C0FFEE0001\"\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n"
    "\"UdpTimeOutInterval\"=dword:00000001\n"
    "\"UdpTotalRetries\"=dword:00000000\n\n";

// One object as a reader saw it: its identifier (without a leading dot) and
// its value in the library's item form ("2,3,abc", "8,1.3.6.1", ...).
struct Variable {
    std::string identifier;
    std::string value;
    bool operator==(const Variable &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Variable &variable) {
    return out << variable.identifier << " = " << variable.value;
}

// --- The library ---------------------------------------------------------------

struct LibraryReply {
    std::int32_t result = -1;
    Variable variable;
};

// One variable through HelperSNMPTransact; `valueText` is the value list of a set.
LibraryReply Transact(std::int32_t requestType, const std::string &identifier, const std::string &valueText = "") {
    std::string oids = identifier;
    oids.resize(512, '\0');
    std::string values = valueText;
    values.resize(1024, '\0');
    std::uint32_t valueSize = static_cast<std::uint32_t>(values.size());
    LibraryReply reply;
    reply.result = HelperSNMPTransact("agent", requestType, oids.data(), static_cast<std::uint32_t>(oids.size()),
                                      values.data(), &valueSize, 1);
    if (reply.result == 0) reply.variable = {oids.c_str(), values.substr(0, valueSize)};
    return reply;
}

// get-next from the group's own identifier until the reply leaves the group.
std::vector<Variable> LibraryWalk(const std::string &group) {
    std::vector<Variable> walked;
    std::string cursor = group;
    for (int step = 0; step < 500; ++step) {
        const LibraryReply reply = Transact(SNMP_REQUEST_GET_NEXT, cursor);
        EXPECT_EQ(reply.result, 0) << "get-next after " << cursor;
        if (reply.result != 0 || reply.variable.identifier.rfind(group + ".", 0) != 0) break;
        walked.push_back(reply.variable);
        cursor = reply.variable.identifier;
    }
    return walked;
}

// --- net-snmp's tools --------------------------------------------------------------

// Numeric identifiers (-On) and every string in hex (-Ox), so that a value
// compares byte for byte; no MIB files are read (MIBS is empty).
std::vector<std::string> Tool(const char *tool) {
    return {tool, "-v1", "-c", kCommunity, "-On", "-Ox", "-t", "1", "-r", "0", "127.0.0.1"};
}

// "4C 69 6E" (and continuation lines) as "2,3,Lin".
std::string OctetStringItem(const std::string &hex) {
    std::string bytes;
    std::istringstream octets(hex);
    for (std::string octet; octets >> octet;) bytes += static_cast<char>(std::stoi(octet, nullptr, 16));
    return "2," + std::to_string(bytes.size()) + "," + bytes;
}

// A net-snmp value ("Hex-STRING: 41 42", "OID: .1.3.6", "Timeticks: (104) 0:00:01.04", ...)
// in the library's item form; what has no such form is kept, marked, so that it never compares equal.
std::string LibraryForm(const std::string &typed) {
    const auto rest = [&typed](const std::string &prefix) { return typed.substr(prefix.size()); };
    const auto is = [&typed](const std::string &prefix) { return typed.rfind(prefix, 0) == 0; };
    if (is("Hex-STRING: ")) return OctetStringItem(rest("Hex-STRING: "));
    if (typed == "\"\"" || typed == "STRING: \"\"" || typed == "Hex-STRING:") return "2,0,";
    if (is("OID: .")) return "8," + rest("OID: .");
    if (is("INTEGER: ")) return "1," + rest("INTEGER: ");
    if (is("Counter32: ")) return "5," + rest("Counter32: ");
    if (is("Gauge32: ")) return "6," + rest("Gauge32: ");
    if (is("IpAddress: ")) return "3," + rest("IpAddress: ");
    if (is("Timeticks: (")) return "7," + typed.substr(12, typed.find(')') - 12);
    return "net-snmp form: " + typed;
}

// The variables of snmpget/snmpwalk output: ".1.3.6... = TYPE: value" lines,
// a long hex string continued on the lines that follow.
std::vector<Variable> ToolVariables(const std::string &output) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream text(output);
    for (std::string line; std::getline(text, line);) {
        const auto equals = line.find(" = ");
        if (!line.empty() && line[0] == '.' && equals != std::string::npos) {
            lines.emplace_back(line.substr(1, equals - 1), line.substr(equals + 3));
        } else if (!lines.empty()) {
            lines.back().second += " " + line;
        }
    }
    std::vector<Variable> variables;
    for (auto &[identifier, typed] : lines) {
        while (!typed.empty() && typed.back() == ' ') typed.pop_back();
        variables.push_back({identifier, LibraryForm(typed)});
    }
    return variables;
}

std::vector<Variable> SnmpWalk(const std::string &group) {
    std::vector<std::string> argv = Tool("snmpwalk");
    argv.push_back(group);
    const ProgramRun walk = RunProgram(argv);
    EXPECT_EQ(walk.exitCode, 0) << walk.err;
    return ToolVariables(walk.out);
}

Variable SnmpGet(const std::string &identifier) {
    std::vector<std::string> argv = Tool("snmpget");
    argv.push_back(identifier);
    const ProgramRun get = RunProgram(argv);
    EXPECT_EQ(get.exitCode, 0) << identifier << ": " << get.err;
    const std::vector<Variable> variables = ToolVariables(get.out);
    return variables.size() == 1 ? variables[0] : Variable{identifier, "no single variable: " + get.out};
}

// sysUpTime moves on between two reads; the later read must not be behind.
void ExpectSameOrLaterUpTime(const Variable &earlier, const Variable &later) {
    ASSERT_EQ(earlier.value.rfind("7,", 0), 0u) << earlier;
    ASSERT_EQ(later.value.rfind("7,", 0), 0u) << later;
    EXPECT_LE(std::stoul(earlier.value.substr(2)), std::stoul(later.value.substr(2)));
}

char moduleToken;

class SnmpdInterop : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LibraryEntry(&moduleToken, kProcessAttach); }

    void SetUp() override {
        // net-snmp's tools, like the agent, read no MIB files: numeric names only.
        setenv("MIBS", "", 1);
        registry_ = std::make_unique<test::TempRegistry>(kHive);
        agent_ = std::make_unique<test::NetSnmpAgent>(kCommunity);
        ASSERT_TRUE(agent_->Ready()) << "snmpd (Debian package snmpd) must be installed";
        // The agent announces itself before it has bound its port on a slow machine.
        LibraryReply first;
        for (int tries = 0; tries < 20 && first.result != 0; ++tries) {
            if (tries != 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            first = Transact(SNMP_REQUEST_GET, kSysUpTime);
        }
        ASSERT_EQ(first.result, 0) << "snmpd does not answer the library";
    }

    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<test::NetSnmpAgent> agent_;
};

TEST_F(SnmpdInterop, WalkOfTheSystemGroupIsWhatSnmpwalkReports) {
    const std::vector<Variable> library = LibraryWalk(kSystemGroup);
    const std::vector<Variable> netSnmp = SnmpWalk(kSystemGroup);
    ASSERT_FALSE(library.empty());
    ASSERT_EQ(library.size(), netSnmp.size());
    for (std::size_t i = 0; i < library.size(); ++i) {
        ASSERT_EQ(library[i].identifier, netSnmp[i].identifier) << "variable " << i;
        if (library[i].identifier == kSysUpTime) {
            ExpectSameOrLaterUpTime(library[i], netSnmp[i]);
        } else {
            EXPECT_EQ(library[i], netSnmp[i]);
        }
    }
    // The walk met the strings, identifiers and time values of the group.
    EXPECT_EQ(library[0].identifier, kSystemGroup + ".1.0");
    EXPECT_EQ(library[0].value.rfind("2,", 0), 0u) << library[0];
    EXPECT_EQ(library[1].value.rfind("8,1.3.6.1.4.1.", 0), 0u) << library[1];
}

TEST_F(SnmpdInterop, GetOfEverySystemObjectIsWhatSnmpgetReports) {
    const std::vector<Variable> objects = SnmpWalk(kSystemGroup);
    ASSERT_GE(objects.size(), 6u);
    for (const Variable &object : objects) {
        const Variable netSnmp = SnmpGet(object.identifier);
        const LibraryReply library = Transact(SNMP_REQUEST_GET, object.identifier);
        ASSERT_EQ(library.result, 0) << object.identifier;
        if (object.identifier == kSysUpTime) {
            ExpectSameOrLaterUpTime(netSnmp, library.variable);
        } else {
            EXPECT_EQ(library.variable, netSnmp);
        }
    }
}

TEST_F(SnmpdInterop, SetOfAWritableObjectIsReadBack) {
    // A value holding the list's own separator: the item's length keeps it whole.
    const std::string location = "Rack 7, shelf 2";
    const std::string item = "2," + std::to_string(location.size()) + "," + location;
    ASSERT_EQ(Transact(SNMP_REQUEST_SET, kSysLocation, item).result, 0);
    const LibraryReply readBack = Transact(SNMP_REQUEST_GET, kSysLocation);
    ASSERT_EQ(readBack.result, 0);
    EXPECT_EQ(readBack.variable, (Variable{kSysLocation, item}));
    EXPECT_EQ(SnmpGet(kSysLocation), (Variable{kSysLocation, item}));
}

// net-snmp's agent serves its load averages (UCD-SNMP-MIB laLoadFloat) as
// Opaque floats: the tool's walk reads them all, as hex.
TEST_F(SnmpdInterop, TheToolWalksOpaqueValuesToTheEnd) {
    const ProgramRun run = test::RunSnmphelper({"walk", "agent", "1.3.6.1.4.1.2021.10.1.6", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::size_t opaque = 0;
    for (std::size_t at = run.out.find("\"type\":\"Opaque\",\"value\":{\"hex\":\"9F7804"); at != std::string::npos;
         at = run.out.find("\"type\":\"Opaque\",\"value\":{\"hex\":\"9F7804", at + 1)) {
        ++opaque;
    }
    EXPECT_EQ(opaque, 3u) << run.out;  // the 1, 5 and 15 minute averages
    const ProgramRun text = test::RunSnmphelper({"get", "agent", "1.3.6.1.4.1.2021.10.1.6.1"});
    EXPECT_EQ(text.out.rfind("1.3.6.1.4.1.2021.10.1.6.1 = Opaque: 9F 78 04 ", 0), 0u) << text.out;
}

}  // namespace
}  // namespace snmphelper
