// SPDX-License-Identifier: Apache-2.0
// snmphelper status and record against device recordings (the snmprec form):
// hand-made recordings of what real printers send and textbook readers get
// wrong, and recordings of real printers, served by the printer simulator
// and by snmpsim; the views compared with each other, with a view reviewed
// by hand and, object by object, with the recording itself.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"

namespace snmphelper {
namespace {

using Json = nlohmann::json;
using test::PrinterSimulator;
using test::ProgramRun;
using test::RunSnmphelper;

const std::string kData = std::string(SNMPHELPER_TEST_SOURCE_DIR) + "/tests/data/printers";

std::string Quirk(const std::string &name) { return kData + "/quirks/" + name + ".snmprec"; }

// Printer "lab" at 127.0.0.1 over IP, one-second waits without retries.
std::string LabHive() { return test::LinkPrinterHive("lab", {2, 2, "", "020000000001", "127.0.0.1"}); }

Json Parsed(const ProgramRun &run) {
    const Json parsed = Json::parse(run.out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << run.out;
    return parsed;
}

// status --json and poll --json of "lab" as the simulator serves `recording`
// (and `objects`, simulator objects-file lines laid over it).
struct Views {
    Json status, poll;
    std::string text;
};

Views Serve(const test::TempRegistry &registry, const std::string &recording, const std::string &objects = "",
            const std::vector<std::string> &statusArguments = {}) {
    std::vector<std::string> arguments{"--snmprec", recording};
    if (!objects.empty()) {
        const std::string path = registry.Folder() + "/over.txt";
        std::ofstream(path) << objects;
        arguments.insert(arguments.end(), {"--objects", path});
    }
    PrinterSimulator sim(arguments);
    EXPECT_TRUE(sim.Ready());
    Views views;
    std::vector<std::string> status{"status", "lab", "--json"};
    status.insert(status.end(), statusArguments.begin(), statusArguments.end());
    const ProgramRun json = RunSnmphelper(status);
    EXPECT_EQ(json.exitCode, 0) << json.out;
    views.status = Parsed(json);
    views.poll = Parsed(RunSnmphelper({"poll", "lab", "--json"}))["printers"][0];
    status.erase(status.begin() + 2);
    views.text = RunSnmphelper(status).out;
    return views;
}

// --- Readings textbook readers get wrong ------------------------------------------

struct Expectation {
    const char *pointer;  // into status --json, or into poll's line with "poll:" first
    Json value;
};

struct QuirkCase {
    const char *recording;
    std::vector<Expectation> expected;
    std::vector<std::string> textLines;  // found in status's text
};

const std::vector<QuirkCase> &QuirkCases() {
    static const std::vector<QuirkCase> kCases = {
        // No hrPrinterTable: the printer is the hrDeviceTable row of type
        // hrDevicePrinter, among sparse devices of other types.
        {"hr-device-only",
         {{"/devices", Json::array({{{"index", 3},
                                     {"description", "Mono laser printer"},
                                     {"deviceStatus", {{"value", 3}, {"name", "warning"}}},
                                     {"printerStatus", nullptr},
                                     {"detectedErrors", nullptr},
                                     {"characterSet", nullptr}}})},
          {"poll:/status", "warning"},
          {"/supplies/0/index", "3.1"},
          {"/supplies/0/percent", 8}},
         {"device 3:        warning  \"Mono laser printer\""}},
        // Two printers on one agent: both shown, the one that is down decides.
        {"two-printers",
         {{"/devices/0/deviceStatus/name", "running"},
          {"/devices/1/deviceStatus/name", "down"},
          {"/devices/1/detectedErrors", {"jammed"}},
          {"poll:/status", "down: jammed"},
          {"/supplies/1/index", "2.1"}},
         {"device 1:        running", "device 2:        down", "    device 2  Toner B"}},
        // Supplies: percent whatever the maximum, the special levels, a
        // maximum of 0, a level above it, sparse indices, colours through the
        // colorant index, receptacles by class and by waste type, a Gauge.
        {"supplies",
         {{"/supplies/0/colorant", "cyan"},
          {"/supplies/0/percent", 40},
          {"/supplies/0/reading", "40%"},
          {"/supplies/1/colorant", "black"},
          {"/supplies/1/percent", nullptr},
          {"/supplies/1/reading", "some remaining (capacity 100 percent)"},
          {"/supplies/2/colorant", "magenta"},
          {"/supplies/2/reading", "5 impressions (capacity unknown)"},
          {"/supplies/3/colorant", nullptr},
          {"/supplies/3/description", "Yellow Cartridge 305A"},
          {"/supplies/3/percent", 100},
          {"/supplies/3/reading", "100% (2400 of 2000 impressions, above the maximum)"},
          {"/supplies/4/index", "1.13"},
          {"/supplies/4/receptacle", true},
          {"/supplies/4/reading", "8% space left"},
          {"/supplies/5/receptacle", true},
          {"/supplies/5/class", nullptr},
          {"/supplies/5/reading", "full"},
          {"/supplies/6/receptacle", false},
          {"/supplies/6/percent", 25},
          {"/supplies/7/reading", "no restriction"},
          {"/supplies/8/reading", "unknown"},
          {"/markerCounters/0/lifeCount", 123456},
          {"/markerCounters/0/powerOnCount", 789},
          {"/markerCounters/0/unit/name", "impressions"},
          {"poll:/lowestSupply", {{"description", "Fuser Kit"}, {"percent", 25}}},
          {"poll:/nearlyFullReceptacles", {"Waste Ink Pad", "Waste Toner Container"}},
          {"poll:/markerCounters/0/lifeCount", 123456}},
         {"123456 impressions in its life, 789 since power-on", "cyan    Cyan Cartridge 305A", "8% space left"}},
        // A table whose columns hold different rows: each row once, in order.
        {"ragged-tables",
         {{"/supplies/0/index", "1.1"},
          {"/supplies/0/percent", 10},
          {"/supplies/0/unit/name", "impressions"},
          {"/supplies/1/index", "1.2"},
          {"/supplies/1/colorantIndex", 0},
          {"/supplies/1/description", "Toner B"},
          {"/supplies/2/index", "1.3"},
          {"/supplies/2/reading", "absent"},
          {"/supplies/3/index", "1.4"},
          {"/supplies/3/description", ""},
          {"/supplies/3/level", 40},
          {"poll:/lowestSupply", {{"description", "Toner A"}, {"percent", 10}}}},
         {}},
        // Texts in the character set of the current localization.
        {"charsets",
         {{"/device/characterSet", {{"value", 17}, {"name", "Shift_JIS"}}},
          {"/supplies/0/description", "\xE9\xBB\x92\xE3\x83\x88\xE3\x83\x8A\xE3\x83\xBC\xE3\x82\xAB\xE3\x83\xBC"
                                      "\xE3\x83\x88\xE3\x83\xAA\xE3\x83\x83\xE3\x82\xB8"},
          {"/console/0", "\xE5\x8D\xB0\xE5\x88\xB7\xE5\x8F\xAF\xE8\x83\xBD"}},
         {}},
        // Texts and colorant names ending in NUL, read without it; a toner
        // collection unit that reads only "some space" is not nearly full.
        {"colour-laser",
         {{"/supplies/0/description", "Black Cartridge 100A"},
          {"/supplies/0/colorant", "black"},
          {"/supplies/2/colorant", "yellow"},
          {"/supplies/4/receptacle", true},
          {"/supplies/4/reading", "some remaining space"},
          {"/console", {"Sleep mode on", "", "Ready", ""}},  // the padding cut
          {"/alerts/0/groupIndex", -1},
          {"poll:/lowestSupply", {{"description", "Magenta Cartridge 100A"}, {"percent", 21}}},
          {"poll:/nearlyFullReceptacles", Json::array()},
          {"poll:/alerts", 2}},
         {}},
        // A console of blank lines (the text says "blank"), an output bin of
        // unknown space.
        {"mono-laser",
         {{"/console", {"", ""}},
          {"/outputBins/0/reading", "100% space left (50 of 50 sheets)"},
          {"/outputBins/1/reading", "unknown"},
          {"/inputTrays/0/reading", "some remaining (capacity 250 sheets)"},
          {"poll:/status", "running"}},
         {}},
        // Alerts: every column, codes by name.
        {"alerts",
         {{"/alerts/0/index", "1.4"},
          {"/alerts/0/trainingLevel/name", "untrained"},
          {"/alerts/0/time", 123456},
          {"/alerts/1/severity/name", "critical"},
          {"/alerts/1/location", 3},
          {"/alerts/1/code", {{"value", 1002}, {"name", "markerFuserOverTemperature"}}},
          {"/alerts/2/code/name", "markerWasteTonerReceptacleAlmostFull"},
          {"/alerts/2/groupIndex", 14},
          {"/alerts/3/severity/name", "warningBinaryChangeEvent"},
          {"/alerts/3/trainingLevel/name", "management"},
          {"/device/detectedErrors", {"lowToner"}},
          {"poll:/status", "warning: lowToner"},
          {"poll:/alerts", 4}},
         {"critical" + std::string(18, ' ') + "marker 1  markerFuserOverTemperature (1002): Fuser over temperature, call "
          "service  [for fieldService, location 3, at 0:00:00:02.00]"}},
    };
    return kCases;
}

TEST(PrinterRecordingsTest, QuirksReadAsTheyMean) {
    test::TempRegistry registry(LabHive());
    for (const QuirkCase &quirk : QuirkCases()) {
        SCOPED_TRACE(quirk.recording);
        const Views views = Serve(registry, Quirk(quirk.recording));
        for (const Expectation &expected : quirk.expected) {
            const std::string pointer = expected.pointer;
            const bool poll = pointer.starts_with("poll:");
            const Json &view = poll ? views.poll : views.status;
            const Json::json_pointer at(poll ? pointer.substr(5) : pointer);
            ASSERT_TRUE(view.contains(at)) << pointer << "\n" << view.dump();
            EXPECT_EQ(view[at], expected.value) << pointer;
        }
        for (const std::string &line : quirk.textLines) EXPECT_NE(views.text.find(line), std::string::npos) << line << "\n" << views.text;
    }
}

// hrPrinterDetectedErrorState: 0, 1 or 2 octets, bit 0 the first octet's
// most significant (RFC 2790); never a number.
TEST(PrinterRecordingsTest, ErrorStateBitsAreNamedMostSignificantFirst) {
    const struct {
        const char *hex;
        std::vector<std::string> names;
    } cases[] = {
        {"\"\"", {}},
        {"20", {"lowToner"}},
        {"04", {"jammed"}},
        {"0100", {"serviceRequested"}},
        {"8000", {"lowPaper"}},
        {"0002", {"overduePreventMaint"}},
        {"0001", {"bit 15"}},
        {"FFFE",
         {"lowPaper", "noPaper", "lowToner", "noToner", "doorOpen", "jammed", "offline", "serviceRequested",
          "inputTrayMissing", "outputTrayMissing", "markerSupplyMissing", "outputNearFull", "outputFull",
          "inputTrayEmpty", "overduePreventMaint"}},
    };
    test::TempRegistry registry(LabHive());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hex);
        const Views views =
            Serve(registry, Quirk("alerts"), std::string("1.3.6.1.2.1.25.3.5.1.2.1 HEX ") + c.hex + "\n");
        EXPECT_EQ(views.status["device"]["detectedErrors"].get<std::vector<std::string>>(), c.names);
    }
}

// Texts in the localization's character set, or guessed when it names
// none; never invalid UTF-8, never dropped.
TEST(PrinterRecordingsTest, TextsAreDecodedByTheLocalizationsCharacterSet) {
    const struct {
        const char *characterSet;  // prtLocalizationCharacterSet of the current localization, or "none"
        const char *hex;           // the supply's description
        const char *expected;
    } cases[] = {
        {"17", "8d95", "\xE9\xBB\x92"},                         // Shift_JIS
        {"4", "46e463682000", "F\xC3\xA4" "ch"},                 // ISO-8859-1, padding cut
        {"5", "b3f3646b61", "\xC5\x82\xC3\xB3" "dka"},           // ISO-8859-2
        {"106", "46c3a46368", "F\xC3\xA4" "ch"},                 // UTF-8
        {"106", "46e46368", "F\\xE4ch"},                         // not UTF-8 although it says so
        {"1015", "feff004600e40063", "F\xC3\xA4" "c"},           // UTF-16 with a byte-order mark
        {"2026", "a6e2", "\xE8\x89\xB2"},                        // Big5
        {"2004", "636166c5", "caf\xC3\xA9"},                      // hp-roman8
        {"2109", "a1", "\xE0\xB8\x81"},                          // windows-874 (Thai)
        {"36", "b0a1", "\xEA\xB0\x80"},                          // KS_C_5601-1987 (Korean)
        {"3", "46e46368", "F\xC3\xA4" "ch"},                     // "ASCII" that is Latin-1
        {"none", "46c3a46368", "F\xC3\xA4" "ch"},                // no set: UTF-8 when valid
        {"none", "46e46368", "F\xC3\xA4" "ch"},                  // else ISO-8859-1
    };
    test::TempRegistry registry(LabHive());
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.characterSet) + " " + c.hex);
        const std::string localization = std::string(c.characterSet) == "none"
                                             ? "1.3.6.1.2.1.43.5.1.1.2.1 INTEGER 9\n"
                                             : std::string("1.3.6.1.2.1.43.7.1.1.4.1.2 INTEGER ") + c.characterSet + "\n";
        const Views views = Serve(registry, Quirk("charsets"),
                                  localization + "1.3.6.1.2.1.43.11.1.1.6.1.1 HEX " + c.hex + "\n");
        EXPECT_EQ(views.status["supplies"][0]["description"], c.expected);
    }
}

// What the text view makes of printers' ways: texts and colorant names
// ending in NUL, console lines left blank between messages or all blank, an
// alert of a group as a whole (group index -1), a waste receptacle at -3.
TEST(PrinterRecordingsTest, RealPrintersTextReadsAsTheyMean) {
    const struct {
        const char *recording;  // under the recordings' folder
        std::vector<std::string> present, absent;
    } cases[] = {
        // Its colorant table names 3 yellow and 4 magenta, and its Magenta
        // cartridge points at 3: the colour is the colorant's, as the printer
        // says. An alert of values outside every enumeration reads "value N".
        {"quirks/colour-laser",
         {"  console:         \"Sleep mode on\" / \"Ready\"\n", "    black   Black Cartridge 100A ",
          "    yellow  Magenta Cartridge 100A         tonerCartridge 21%\n",
          "            Toner Collection Unit          cleanerUnit    some remaining space\n",
          "    other      generalPrinter  subunitPowerSaver (23): Sleep mode on  [for untrained, location 35078, at ",
          "    value 255  value 255 255  value -1: Sleep  [for value 255, location 40000, at "},
         {"generalPrinter -1", "\"\" / \"\"", "(-1)", "Ready \""}},
        // LibreNMS keeps no prtInputName of the Konica's trays: each goes by its row.
        {"konica-minolta-bizhub-c250i",
         {"  device 1:        warning  \"KONICA MINOLTA bizhub C250i\"\n", "  detected errors: serviceRequested\n",
          "    tray 1.1                             100% (500 of 500 units)\n",
          "    tray 1.7                             0% (0 of 150 units)\n",
          "    Waste Toner Box                wasteToner     some remaining space\n"},
         {}},
        {"quirks/mono-laser",
         {"  console:         blank\n", "    Black Toner S/N:0000-1234            toner          82%\n",
          "    Output Tray          100% space left (50 of 50 sheets)\n", "    Face Up Tray         unknown\n",
          "    Tray1                unknown         some remaining (capacity 250 sheets)\n"},
         {"\"\""}},
    };
    test::TempRegistry registry(LabHive());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.recording);
        const Views views = Serve(registry, kData + "/" + c.recording + ".snmprec");
        for (const std::string &line : c.present) {
            EXPECT_NE(views.text.find(line), std::string::npos) << line << "\n" << views.text;
        }
        for (const std::string &text : c.absent) {
            EXPECT_EQ(views.text.find(text), std::string::npos) << text << "\n" << views.text;
        }
    }
}

// prtOutputRemainingCapacity is the space left in a bin: an empty output
// tray (50 of 50 sheets) reads as room, not as a full bin.
TEST(PrinterRecordingsTest, OutputBinCapacityReadsAsSpaceLeft) {
    const struct {
        const char *remaining;
        const char *reading;
    } cases[] = {
        {"50", "100% space left (50 of 50 sheets)"},
        {"5", "10% space left (5 of 50 sheets)"},
        {"0", "full (0 of 50 sheets)"},
        {"-3", "some space remaining (capacity 50 sheets)"},
    };
    test::TempRegistry registry(LabHive());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.remaining);
        const Views views = Serve(registry, Quirk("mono-laser"),
                                  std::string("1.3.6.1.2.1.43.9.2.1.5.1.1 INTEGER ") + c.remaining + "\n");
        EXPECT_EQ(views.status["outputBins"][0]["reading"], c.reading);
        EXPECT_NE(views.text.find(std::string("Output Tray          ") + c.reading), std::string::npos) << views.text;
    }
}

// --training-level keeps the alerts for that person and those below; a
// missing alert table is no alerts.
TEST(PrinterRecordingsTest, TrainingLevelFiltersAlertsAndNoTableIsNoAlerts) {
    const struct {
        const char *level;
        std::vector<int> codes;
    } cases[] = {
        {"", {1104, 1002, 1107, 503}},
        {"untrained", {1104}},
        {"trained", {1104, 1107}},
        {"fieldService", {1104, 1002, 1107}},
        {"management", {1104, 1002, 1107, 503}},
    };
    test::TempRegistry registry(LabHive());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.level);
        const std::string level = c.level;
        const Views views = Serve(registry, Quirk("alerts"), "",
                                  level.empty() ? std::vector<std::string>{}
                                                : std::vector<std::string>{"--training-level", level});
        std::vector<int> codes;
        for (const Json &alert : views.status["alerts"]) codes.push_back(alert["code"]["value"]);
        EXPECT_EQ(codes, c.codes);
    }
    const Views none = Serve(registry, Quirk("supplies"));
    EXPECT_TRUE(none.status["alerts"].empty());
    EXPECT_NE(none.text.find("  alerts: none\n"), std::string::npos) << none.text;
}

// --- Record and replay ------------------------------------------------------------

// A subtree ends where its arcs do, not where its text does: 43.5.1.1.1's
// walk stops before 43.5.1.1.12, and a subtree spelt with a leading zero is
// the same subtree.
TEST(PrinterRecordingsTest, RecordEndsASubtreeAtItsLastArc) {
    test::TempRegistry registry(LabHive());
    const std::string served = registry.Folder() + "/siblings.snmprec";
    std::ofstream(served) << "1.3.6.1.2.1.43.5.1.1.1.1|2|1\n1.3.6.1.2.1.43.5.1.1.1.2|2|2\n"
                             "1.3.6.1.2.1.43.5.1.1.12.1|2|12\n";
    PrinterSimulator sim({"--snmprec", served});
    ASSERT_TRUE(sim.Ready());
    for (const char *subtree : {"1.3.6.1.2.1.43.5.1.1.1", "1.3.6.1.2.1.43.5.1.1.01", "1.3.6.1.2.1.43.5.1.1.12"}) {
        SCOPED_TRACE(subtree);
        const std::string recording = registry.Folder() + "/out.snmprec";
        const ProgramRun record = RunSnmphelper({"record", "lab", subtree, "-o", recording});
        ASSERT_EQ(record.exitCode, 0) << record.out;
        std::stringstream contents;
        contents << std::ifstream(recording).rdbuf();
        EXPECT_EQ(contents.str(), std::string(subtree).ends_with("12")
                                      ? "1.3.6.1.2.1.43.5.1.1.12.1|2|12\n"
                                      : "1.3.6.1.2.1.43.5.1.1.1.1|2|1\n1.3.6.1.2.1.43.5.1.1.1.2|2|2\n");
    }
}

TEST(PrinterRecordingsTest, RecordOfTheSimulatorReplaysToTheSameStatus) {
    test::TempRegistry registry(LabHive());
    const std::string recording = registry.Folder() + "/palimar.snmprec";
    Json original;
    std::string originalText;
    {
        PrinterSimulator sim({"--condition", "toner-low", "--condition", "paper-jam"});
        ASSERT_TRUE(sim.Ready());
        const ProgramRun record = RunSnmphelper({"record", "lab", "-o", recording});
        ASSERT_EQ(record.exitCode, 0) << record.out;
        original = Parsed(RunSnmphelper({"status", "lab", "--json"}));
        originalText = RunSnmphelper({"status", "lab"}).out;
    }
    std::ifstream file(recording);
    std::stringstream contents;
    contents << file.rdbuf();
    // One object a line, in the tags snmpsim uses; texts that are not
    // printable in hex.
    for (const char *line : {"1.3.6.1.2.1.1.5.0|4|PALIMAR-4100\n", "1.3.6.1.2.1.25.3.2.1.2.1|6|1.3.6.1.2.1.25.3.1.5\n",
                             "1.3.6.1.2.1.25.3.5.1.2.1|4x|2400\n", "1.3.6.1.2.1.43.10.2.1.4.1.1|65|48213\n",
                             "1.3.6.1.2.1.43.18.1.1.9.1.1|67|0\n", "1.3.6.1.2.1.43.11.1.1.9.1.5|2|-3\n"}) {
        EXPECT_NE(contents.str().find(line), std::string::npos) << line;
    }
    EXPECT_EQ(contents.str().find("1.3.6.1.2.1.2."), std::string::npos) << "only the default subtrees";
    const Views replayed = Serve(registry, recording);
    Json replayedStatus = replayed.status;
    EXPECT_EQ(replayedStatus, original);
    EXPECT_EQ(replayed.text, originalText);
}

// --- Recordings of real printers ------------------------------------------------------

// The recordings of real printers, by name (the file's stem).
std::vector<std::string> CorpusNames() {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(kData)) {
        if (entry.path().extension() == ".snmprec") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One recording as its lines say: OID -> (tag, value).
std::map<std::string, std::pair<std::string, std::string>> ReadRecording(const std::string &path) {
    std::map<std::string, std::pair<std::string, std::string>> objects;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        const std::size_t first = line.find('|');
        const std::size_t second = line.find('|', first + 1);
        objects[line.substr(0, first)] = {line.substr(first + 1, second - first - 1), line.substr(second + 1)};
    }
    return objects;
}

// The view agrees with the recording object by object: each printer device
// and its status, each supply's description, class, type, maximum and level,
// the trays and alerts, the sysName.
void ExpectViewFollowsRecording(const Json &view, const std::string &path) {
    const auto objects = ReadRecording(path);
    const auto number = [&](const std::string &oid) -> Json {
        const auto it = objects.find(oid);
        return it == objects.end() ? Json(nullptr) : Json(std::stoll(it->second.second));
    };
    const auto count = [&](const std::string &prefix) {
        std::set<std::string> rows;
        for (const auto &[oid, value] : objects) {
            if (oid.starts_with(prefix)) rows.insert(oid.substr(oid.find('.', prefix.size()) + 1));
        }
        return rows.size();
    };
    if (const auto it = objects.find("1.3.6.1.2.1.1.5.0"); it != objects.end()) {
        EXPECT_EQ(view["sysName"], it->second.second);
    }
    // The printers: the rows of hrDeviceTable of type hrDevicePrinter and the
    // rows of hrPrinterTable (the Samsung M4080FX's recording has no types).
    std::set<std::uint64_t> printerRows;
    const std::string type = "1.3.6.1.2.1.25.3.2.1.2.";
    const std::string printerTable = "1.3.6.1.2.1.25.3.5.1.";
    for (const auto &[oid, value] : objects) {
        if (oid.starts_with(type) && value.second == "1.3.6.1.2.1.25.3.1.5") {
            printerRows.insert(std::stoull(oid.substr(type.size())));
        }
        if (oid.starts_with(printerTable)) {
            printerRows.insert(std::stoull(oid.substr(oid.find('.', printerTable.size()) + 1)));
        }
    }
    const std::vector<std::uint64_t> printers(printerRows.begin(), printerRows.end());
    ASSERT_EQ(view["devices"].size(), printers.size()) << view["devices"].dump();
    for (std::size_t i = 0; i < printers.size(); ++i) {
        const std::string index = std::to_string(printers[i]);
        EXPECT_EQ(view["devices"][i]["index"], printers[i]);
        EXPECT_EQ(view["devices"][i]["deviceStatus"].is_null() ? Json(nullptr) : view["devices"][i]["deviceStatus"]["value"],
                  number("1.3.6.1.2.1.25.3.2.1.5." + index));
    }
    EXPECT_EQ(view["supplies"].size(), count("1.3.6.1.2.1.43.11.1.1."));
    for (const Json &supply : view["supplies"]) {
        const std::string row = supply["index"];
        const std::string column = "1.3.6.1.2.1.43.11.1.1.";
        SCOPED_TRACE(row);
        if (const auto it = objects.find(column + "6." + row); it != objects.end() && it->second.first == "4") {
            std::string text = it->second.second;
            while (!text.empty() && text.back() == ' ') text.pop_back();
            EXPECT_EQ(supply["description"], text);
        }
        EXPECT_EQ(supply["class"].is_null() ? Json(nullptr) : supply["class"]["value"], number(column + "4." + row));
        EXPECT_EQ(supply["type"].is_null() ? Json(nullptr) : supply["type"]["value"], number(column + "5." + row));
        EXPECT_EQ(supply["maxCapacity"], number(column + "8." + row));
        EXPECT_EQ(supply["level"], number(column + "9." + row));
    }
    EXPECT_EQ(view["inputTrays"].size(), count("1.3.6.1.2.1.43.8.2.1."));
    EXPECT_EQ(view["alerts"].size(), count("1.3.6.1.2.1.43.18.1.1."));
}

std::string ReadText(const std::string &path) {
    std::ifstream file(path);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

// snmpsim serving a folder of recordings on 127.0.0.1:1161, each under the
// community of its file's name. It will not run as root, so it runs as a
// user of a user namespace of its own, in the test's network namespace.
class Snmpsim {
public:
    static constexpr const char *kAddress = "127.0.0.1:1161";

    explicit Snmpsim(const std::string &folder, const std::vector<std::string> &recordings) {
        const std::filesystem::path data = folder + "/snmpsim-data";
        const std::filesystem::path cache = folder + "/snmpsim-cache";
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(cache);
        for (const std::string &recording : recordings) {
            std::filesystem::copy_file(recording, data / std::filesystem::path(recording).filename(),
                                       std::filesystem::copy_options::overwrite_existing);
        }
        // Its log goes to a file: a line per request would fill a pipe
        // nobody reads and stop it.
        log_ = folder + "/snmpsim.log";
        process_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
            "unshare", "-U", "--map-user=1000", "--map-group=1000", "snmpsimd", "--data-dir=" + data.string(),
            "--cache-dir=" + cache.string(), std::string("--agent-udpv4-endpoint=") + kAddress,
            "--logging-method=file:" + log_});
    }
    // Once it listens (it indexes the recordings first), within 15 seconds.
    bool Ready() const {
        for (int i = 0; i < 300 && process_->Started(); ++i) {
            if (ReadText(log_).find("Listening at") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    std::string log_;
    std::unique_ptr<test::ChildProcess> process_;
};

Json WithoutTransactions(Json view) {
    view.erase("transactions");
    return view;
}

// Each real printer's view: the same from the simulator and from snmpsim
// (so is each hand-made recording's),
// following its recording object by object, and as reviewed by hand
// (expected/NAME.json; SNMPHELPER_WRITE_EXPECTED=1 writes them anew).
TEST(PrinterRecordingsTest, RealPrintersReadTheSameFromBothAgentsAsTheirRecordingsSay) {
    test::TempRegistry registry(LabHive());
    const std::vector<std::string> names = CorpusNames();
    ASSERT_GE(names.size(), 10u);
    std::map<std::string, Json> fromSimulator;
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        const std::string path = kData + "/" + name + ".snmprec";
        const Views views = Serve(registry, path);
        fromSimulator[name] = views.status;
        ExpectViewFollowsRecording(views.status, path);
        const std::string expectedPath = kData + "/expected/" + name + ".json";
        if (std::getenv("SNMPHELPER_WRITE_EXPECTED") != nullptr) {
            std::ofstream(expectedPath) << WithoutTransactions(views.status).dump(2) << "\n";
        }
        const Json expected = Json::parse(ReadText(expectedPath), nullptr, false);
        EXPECT_EQ(WithoutTransactions(views.status), expected) << views.status.dump(2);
    }
    // The hand-made recordings too: snmpsim reads them as the simulator does.
    std::vector<std::string> paths;
    for (const std::string &name : names) paths.push_back(kData + "/" + name + ".snmprec");
    for (const QuirkCase &quirk : QuirkCases()) {
        paths.push_back(Quirk(quirk.recording));
        fromSimulator[quirk.recording] = Serve(registry, paths.back()).status;
    }
    Snmpsim snmpsim(registry.Folder(), paths);
    ASSERT_TRUE(snmpsim.Ready()) << "snmpsimd (Debian package snmpsim) did not start:\n"
                                 << ReadText(registry.Folder() + "/snmpsim.log");
    ASSERT_EQ(RunSnmphelper({"printer", "add", "replay", "--ip", Snmpsim::kAddress}).exitCode, 0);
    for (const auto &[name, view] : fromSimulator) {
        SCOPED_TRACE(name);
        const ProgramRun run = RunSnmphelper({"status", "replay", "--json", "-c", name});
        ASSERT_EQ(run.exitCode, 0) << run.out;
        Json fromSnmpsim = Parsed(run);
        fromSnmpsim["printer"] = "lab";
        EXPECT_EQ(WithoutTransactions(fromSnmpsim), WithoutTransactions(view));
    }
}

// A fleet of recorded printers from one simulator: each address serves the
// folder's recordings in name order, and poll reads each as status does.
TEST(PrinterRecordingsTest, FleetOfRecordingsPollsEachPrinterAsItsRecordingSays) {
    const std::vector<std::string> names = CorpusNames();
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        hive += test::PrinterKey(names[i], test::DwordLine("cProtocols", 2) + test::DwordLine("pProtocol", 2) +
                                               "\"IP Address\"=\"127.0.1." + std::to_string(i + 1) + "\"\n" +
                                               "\"MAC Address\"=\"000000000000\"\n");
    }
    test::TempRegistry registry(hive);
    PrinterSimulator sim({"--addresses", "127.0.1.1-127.0.1." + std::to_string(names.size()), "--snmprec-folder", kData});
    ASSERT_TRUE(sim.Ready());
    const Json poll = Parsed(RunSnmphelper({"poll", "--json"}));
    ASSERT_EQ(poll["printers"].size(), names.size());
    std::map<std::string, std::string> statuses;
    for (const Json &printer : poll["printers"]) statuses[printer["printer"]] = printer["status"];
    const std::map<std::string, std::string> expected = {{"brother-mfc-l2710dw", "running"},
                                                         {"canon-imageprograf-tm-5300", "running"},
                                                         {"canon-lbp6670", "running"},
                                                         {"dell-s5830dn", "running"},
                                                         {"epson-wf-c5790", "warning"},
                                                         {"hp-color-laserjet-m452nw", "running"},
                                                         {"konica-minolta-bizhub-c250i", "warning: serviceRequested"},
                                                         {"samsung-m4080fx", "warning: lowPaper"},
                                                         {"sharp-mx-3570n", "warning: lowToner"},
                                                         {"xerox-altalink-c8045", "unknown"}};
    EXPECT_EQ(statuses, expected);
    for (const Json &printer : poll["printers"]) {
        if (printer["printer"] == "xerox-altalink-c8045") {
            // Its waste container is nearly full; its lowest consumable is the black toner.
            EXPECT_EQ(printer["nearlyFullReceptacles"][0], "Waste Toner Container, PN 008R13061;SNunknown");
            EXPECT_EQ(printer["lowestSupply"]["percent"], 20);
        }
        if (printer["printer"] == "sharp-mx-3570n") {
            EXPECT_EQ(printer["markerCounters"][0]["lifeCount"], 121104);
        }
        if (printer["printer"] == "canon-imageprograf-tm-5300") {
            // A waste ink tank without a class is a receptacle by its type:
            // 6030 of 6700 is the space left, not nearly full.
            EXPECT_TRUE(printer["nearlyFullReceptacles"].empty());
            EXPECT_EQ(printer["lowestSupply"], Json({{"description", "CANON Yellow Ink Tank"}, {"percent", 60}}));
        }
    }
}

// On a terminal each supply has a level bar, in its colorant's colour unless
// NO_COLOR is set; piped, the text has neither.
TEST(PrinterRecordingsTest, LevelBarsOnATerminalColouredUnlessNoColor) {
    test::TempRegistry registry(LabHive());
    PrinterSimulator sim({"--snmprec", Quirk("supplies")});
    ASSERT_TRUE(sim.Ready());
    const std::string tool = test::BuildTreePath("tools/snmphelper");
    const auto onTerminal = [&](const std::string &environment) {
        // script gives the tool a pseudo-terminal for its standard output.
        return test::RunProgram({"script", "-qec", environment + " " + tool + " status lab", "/dev/null"}).out;
    };
    const std::string coloured = onTerminal("env -u NO_COLOR");
    EXPECT_NE(coloured.find("[\033[36m####\033[0m      ] 40%"), std::string::npos) << coloured;  // cyan, 40%
    const std::string plain = onTerminal("env NO_COLOR=1");
    EXPECT_NE(plain.find("[####      ] 40%"), std::string::npos) << plain;
    EXPECT_EQ(plain.find('\033'), std::string::npos) << plain;
    const std::string piped = RunSnmphelper({"status", "lab"}).out;
    EXPECT_EQ(piped.find("[#"), std::string::npos) << piped;
    EXPECT_NE(piped.find("tonerCartridge 40%"), std::string::npos) << piped;
}

// The simulator refuses a recording it cannot read and names the line.
TEST(PrinterRecordingsTest, SimulatorNamesTheLineOfABadRecording) {
    test::TempRegistry registry(LabHive());
    const std::string path = registry.Folder() + "/bad.snmprec";
    std::ofstream(path) << "1.3.6.1.2.1.1.5.0|4|fine\n1.3.6.1.2.1.1.6.0|2x|zz\n";
    const ProgramRun run = test::RunProgram({test::BuildTreePath("tools/snmphelper-printer-sim"), "--snmprec", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find(path + ":2: "), std::string::npos) << run.err;
}

// Recording a replayed recording gives it back line for line: what the
// simulator serves and what record writes are the same objects, tags and
// values (the corpus holds only the subtrees record takes by default).
TEST(PrinterRecordingsTest, RecordOfAReplayedRecordingGivesItBack) {
    test::TempRegistry registry(LabHive());
    for (const std::string &name : CorpusNames()) {
        SCOPED_TRACE(name);
        const std::string path = kData + "/" + name + ".snmprec";
        PrinterSimulator sim({"--snmprec", path});
        ASSERT_TRUE(sim.Ready());
        const ProgramRun record = RunSnmphelper({"record", "lab"});
        ASSERT_EQ(record.exitCode, 0) << record.out;
        EXPECT_EQ(record.out, ReadText(path));
    }
}

// An agent that takes no reply over 484 octets (the least RFC 1157 allows)
// answers tooBig to the walk and to the get of the rows' objects; both are
// split and the view is the same.
TEST(PrinterRecordingsTest, SmallAgentGivesTheSameViewThroughSplitRequests) {
    test::TempRegistry registry(LabHive());
    const std::string longDescription = "1.3.6.1.2.1.25.3.2.1.3.1 STRING \"" + std::string(200, 'x') + "\"\n";
    const Views whole = Serve(registry, Quirk("alerts"), longDescription);
    const std::string objects = registry.Folder() + "/long.txt";
    std::ofstream(objects) << longDescription;
    PrinterSimulator small({"--snmprec", Quirk("alerts"), "--objects", objects, "--max-message", "484"});
    ASSERT_TRUE(small.Ready());
    const Json split = Parsed(RunSnmphelper({"status", "lab", "--json"}));
    EXPECT_GT(split["transactions"].get<int>(), whole.status["transactions"].get<int>());
    EXPECT_EQ(split["device"]["description"], std::string(200, 'x'));
    EXPECT_EQ(WithoutTransactions(split), WithoutTransactions(whole.status));
}

}  // namespace
}  // namespace snmphelper
