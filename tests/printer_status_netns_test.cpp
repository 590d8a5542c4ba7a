// SPDX-License-Identifier: Apache-2.0
// snmphelper status end to end: the tool against the printer simulator in
// each of its printer conditions (the decoded error bits, statuses, levels
// and alerts are the ones the condition sets), against a simulator whose
// replies are too small for a whole row (the walk splits its requests),
// against net-snmp's snmpd (no Printer MIB: said so, not a failure), and
// against nobody.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
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

const char *const kCommunity = "t*o&r^e~l+d";

// Printer "lab" at 127.0.0.1 over IP, one-second waits without retries.
std::string LabHive() { return test::LinkPrinterHive("lab", {2, 2, "", "020000000001", "127.0.0.1"}); }

Json StatusJson(const ProgramRun &run) {
    const Json parsed = Json::parse(run.out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << run.out;
    return parsed;
}

std::vector<std::string> Names(const Json &list, const char *field) {
    std::vector<std::string> names;
    for (const Json &entry : list) names.push_back(entry[field]["name"]);
    return names;
}

struct ConditionCase {
    std::vector<std::string> conditions;
    const char *deviceStatus;
    const char *printerStatus;
    std::vector<std::string> errors;
    std::vector<std::string> alertCodes;
    std::vector<std::string> alertSeverities;
    const char *console;          // the first console line
    int blackToner;               // percent
    const char *tray2;            // the reading of Tray 2
};

const ConditionCase kConditionCases[] = {
    {{}, "running", "idle", {}, {}, {}, "READY", 70, "70% (350 of 500 sheets)"},
    {{"toner-low"}, "warning", "idle", {"lowToner"}, {"markerTonerAlmostEmpty"}, {"warning"}, "Black toner low", 5,
     "70% (350 of 500 sheets)"},
    {{"toner-empty"}, "down", "other", {"noToner"}, {"markerTonerEmpty"}, {"critical"}, "Replace black toner", 0,
     "70% (350 of 500 sheets)"},
    {{"paper-jam"}, "down", "other", {"jammed"}, {"jam"}, {"critical"}, "Paper jam in the paper path", 70,
     "70% (350 of 500 sheets)"},
    {{"door-open"}, "down", "other", {"doorOpen"}, {"coverOpen"}, {"critical"}, "Front door open", 70,
     "70% (350 of 500 sheets)"},
    {{"tray-empty"}, "warning", "idle", {"inputTrayEmpty"}, {"inputMediaSupplyEmpty"}, {"warning"}, "Tray 2 empty",
     70, "0% (0 of 500 sheets)"},
    {{"toner-low", "paper-jam"}, "down", "other", {"lowToner", "jammed"}, {"markerTonerAlmostEmpty", "jam"},
     {"warning", "critical"}, "Black toner low", 5, "70% (350 of 500 sheets)"},
};

TEST(PrinterStatusTest, EachConditionDecodesToItsBitsStatusesAndAlerts) {
    test::TempRegistry registry(LabHive());
    for (const ConditionCase &condition : kConditionCases) {
        std::vector<std::string> arguments;
        for (const std::string &word : condition.conditions) arguments.insert(arguments.end(), {"--condition", word});
        PrinterSimulator sim(arguments);
        ASSERT_TRUE(sim.Ready());
        const ProgramRun run = RunSnmphelper({"status", "lab", "--json"});
        SCOPED_TRACE(condition.conditions.empty() ? "no condition" : condition.conditions.front());
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const Json view = StatusJson(run);
        EXPECT_EQ(view["protocol"], "UDP/IP");
        EXPECT_EQ(view["sysName"], "PALIMAR-4100");
        EXPECT_EQ(view["device"]["deviceStatus"]["name"], condition.deviceStatus);
        EXPECT_EQ(view["device"]["printerStatus"]["name"], condition.printerStatus);
        EXPECT_EQ(view["device"]["detectedErrors"].get<std::vector<std::string>>(), condition.errors);
        EXPECT_EQ(Names(view["alerts"], "code"), condition.alertCodes);
        EXPECT_EQ(Names(view["alerts"], "severity"), condition.alertSeverities);
        EXPECT_EQ(view["console"][0], condition.console);
        ASSERT_EQ(view["supplies"].size(), 5u);
        EXPECT_EQ(view["supplies"][0]["percent"], condition.blackToner);
        ASSERT_EQ(view["inputTrays"].size(), 3u);
        EXPECT_EQ(view["inputTrays"][1]["reading"], condition.tray2);
        // One request per row of the longest table, one past it, and one get of the device.
        EXPECT_EQ(view["transactions"], 7);
        EXPECT_EQ(sim.LogLines().size(), 7u);
    }
}

// The special levels read as what they mean, and every table is shown.
TEST(PrinterStatusTest, TextNamesEverySupplyTrayBinAndAlert) {
    test::TempRegistry registry(LabHive());
    PrinterSimulator sim({"--condition", "paper-jam"});
    ASSERT_TRUE(sim.Ready());
    const ProgramRun run = RunSnmphelper({"status", "lab"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const char *expected :
         {"printer 'lab' (PALIMAR-4100), reached over UDP/IP", "device 1:        down", "detected errors: jammed",
          "\"Paper jam in the paper path\" / \"Tray 2: Plain A4\"", "Cyan Toner Cartridge P41C",
          "55% (3300 of 6000 impressions)", "Waste Toner Box", "wasteToner     some remaining",
          "Multi-purpose tray   Plain A4        some remaining (capacity 100 sheets)",
          "Face-down bin        some space remaining (capacity 250 sheets)",
          "critical  mediaPath 1  jam (8): Paper jam in the paper path"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
    }
}

// Replies of at most 484 octets cannot carry a row of every table: the agent
// answers tooBig, the walk splits its request, and the view is the same.
TEST(PrinterStatusTest, SmallAgentGetsSplitRequestsAndGivesTheSameView) {
    test::TempRegistry registry(LabHive());
    Json whole;
    {
        PrinterSimulator sim({"--condition", "door-open"});
        ASSERT_TRUE(sim.Ready());
        whole = StatusJson(RunSnmphelper({"status", "lab", "--json"}));
    }
    PrinterSimulator small({"--condition", "door-open", "--max-message", "484"});
    ASSERT_TRUE(small.Ready());
    Json split = StatusJson(RunSnmphelper({"status", "lab", "--json"}));
    EXPECT_GT(split["transactions"].get<int>(), whole["transactions"].get<int>());
    split.erase("transactions");
    whole.erase("transactions");
    EXPECT_EQ(split, whole);
    EXPECT_NE(small.Log().find("status=1"), std::string::npos) << "no tooBig answer";
}

TEST(PrinterStatusTest, AgentWithoutPrinterMibSaysSoAndSucceeds) {
    test::TempRegistry registry(LabHive());
    test::NetSnmpAgent agent(kCommunity);
    ASSERT_TRUE(agent.Ready());
    const ProgramRun text = RunSnmphelper({"status", "lab"});
    EXPECT_EQ(text.exitCode, 0) << text.out;
    EXPECT_NE(text.out.find("Printer MIB (RFC 3805): this agent has none of its objects"), std::string::npos)
        << text.out;
    const ProgramRun json = RunSnmphelper({"status", "lab", "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.out;
    const Json view = StatusJson(json);
    EXPECT_EQ(view["result"], 0);
    EXPECT_EQ(view["printerMib"], false);
    EXPECT_TRUE(view["supplies"].empty());
    EXPECT_TRUE(view["alerts"].empty());
    EXPECT_FALSE(view["sysName"].is_null());
}

TEST(PrinterStatusTest, SilentPrinterIsNotReachedAndFails) {
    test::TempRegistry registry(LabHive());
    PrinterSimulator sim({"--fault", "silent"});
    ASSERT_TRUE(sim.Ready());
    const ProgramRun text = RunSnmphelper({"status", "lab"});
    EXPECT_EQ(text.exitCode, 3);
    EXPECT_NE(text.out.find("printer 'lab': not reached: "), std::string::npos) << text.out;
    // Nothing more is asked of a printer that did not answer: every datagram
    // is the library's re-send of the first request.
    const std::vector<std::string> lines = sim.LogLines();
    ASSERT_FALSE(lines.empty());
    const std::string id = lines[0].substr(lines[0].find(" id="), lines[0].find(" oids=") - lines[0].find(" id="));
    for (const std::string &line : lines) EXPECT_NE(line.find(id + " "), std::string::npos) << line;
    const Json view = StatusJson(RunSnmphelper({"status", "lab", "--json"}));
    EXPECT_EQ(view["result"], 25010);
    EXPECT_EQ(view["name"], "SNMP_RESULT_NO_REPLY");
}

}  // namespace
}  // namespace snmphelper
