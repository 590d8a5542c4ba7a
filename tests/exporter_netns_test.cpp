// SPDX-License-Identifier: Apache-2.0
// snmphelper exporter over a simulated fleet (one printer per fault mode,
// one silent) and over the recorded real printers: /metrics as Prometheus's
// own promtool reads it, each printer's series against its `status --json`,
// OpenMetrics on request, /probe, /healthz, many scrapes at once, scrapes
// while the store is rewritten, and a clean end on SIGTERM.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/exporter_peer.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using Json = nlohmann::json;
using test::ExporterProcess;
using test::FindSample;
using test::HttpGet;
using test::PrinterSimulator;
using test::RunSnmphelper;
using Labels = std::map<std::string, std::string>;

constexpr int kPort = 9161;
const std::string kRecordings = std::string(SNMPHELPER_TEST_SOURCE_DIR) + "/tests/data/printers";

// The simulated fleet: a printer per condition, one silent, one as shipped.
const std::vector<std::pair<std::string, std::string>> kFleet = {
    {"ready", ""},          {"jammed", "paper-jam"},     {"tonerlow", "toner-low"}, {"tonerempty", "toner-empty"},
    {"dooropen", "door-open"}, {"trayempty", "tray-empty"}, {"silent", "silent"}};

std::string Address(std::size_t index) { return "127.0.1." + std::to_string(index + 1); }

std::string PrinterLines(const std::string &name, const std::string &address) {
    return test::PrinterKey(name, "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"" +
                                      address + "\"\n\"MAC Address\"=\"000000000000\"\n");
}

std::string FleetHive(const std::vector<std::string> &names) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (std::size_t i = 0; i < names.size(); ++i) hive += PrinterLines(names[i], Address(i));
    return hive;
}

std::vector<std::string> FleetNames() {
    std::vector<std::string> names;
    for (const auto &entry : kFleet) names.push_back(entry.first);
    return names;
}

// Short waits so that the silent printer costs one second.
void ShortWaits() {
    ASSERT_EQ(RunSnmphelper({"config", "set", "timeout", "1"}).exitCode, 0);
    ASSERT_EQ(RunSnmphelper({"config", "set", "retries", "0"}).exitCode, 0);
}

// Every series a reached printer's status --json implies, checked in the samples.
void ExpectMatchesStatus(const std::vector<test::Sample> &samples, const std::string &printer) {
    SCOPED_TRACE(printer);
    const test::ProgramRun run = RunSnmphelper({"status", printer, "--json"});
    const Json status = Json::parse(run.out, nullptr, false);
    ASSERT_FALSE(status.is_discarded()) << run.out;
    EXPECT_EQ(FindSample(samples, "printer_up", {{"printer", printer}}), 1.0);
    for (const Json &device : status["devices"]) {
        const Labels labels{{"printer", printer}, {"device", std::to_string(device["index"].get<int>())}};
        if (!device["deviceStatus"].is_null()) {
            EXPECT_EQ(FindSample(samples, "printer_device_status", labels), device["deviceStatus"]["value"].get<double>());
        }
        if (device["detectedErrors"].is_array()) {
            std::size_t set = 0;
            for (const Json &name : device["detectedErrors"]) {
                Labels bit = labels;
                bit["error"] = name.get<std::string>();
                EXPECT_EQ(FindSample(samples, "printer_detected_error", bit), 1.0) << name;
                ++set;
            }
            std::size_t ones = 0;
            for (const test::Sample &sample : samples) {
                if (sample.name == "printer_detected_error" && sample.labels.at("printer") == printer &&
                    sample.labels.at("device") == labels.at("device") && sample.value == 1.0) {
                    ++ones;
                }
            }
            EXPECT_EQ(ones, set);
        }
    }
    for (const Json &supply : status["supplies"]) {
        const Labels labels{{"printer", printer}, {"index", supply["index"].get<std::string>()}};
        SCOPED_TRACE(supply.dump());
        if (supply["percent"].is_null()) {
            EXPECT_EQ(test::CountSamples(samples, "printer_supply_level_ratio", labels), 0u) << "a made-up level";
        } else {
            EXPECT_EQ(FindSample(samples, "printer_supply_level_ratio", labels), supply["percent"].get<double>() / 100);
        }
        if (supply["level"] == -3) {
            EXPECT_EQ(FindSample(samples, "printer_supply_some_remaining", labels), 1.0);
        }
        const Labels described{{"printer", printer},
                               {"index", supply["index"].get<std::string>()},
                               {"class", supply["receptacle"].get<bool>() ? "receptacle" : "consumed"},
                               {"colour", supply["colorant"].is_null() ? "" : supply["colorant"].get<std::string>()}};
        EXPECT_EQ(test::CountSamples(samples, "printer_supply_some_remaining", described), supply["level"].is_null() ? 0u : 1u);
        Labels info = described;
        info["supply"] = supply["description"].get<std::string>();
        EXPECT_EQ(FindSample(samples, "printer_supply_info", info), 1.0) << "every supply is listed";
    }
    for (const Json &counter : status["markerCounters"]) {
        if (counter["lifeCount"].is_null()) continue;
        EXPECT_EQ(FindSample(samples, "printer_pages_total", {{"printer", printer}, {"marker", counter["index"]}}),
                  counter["lifeCount"].get<double>());
    }
    std::map<std::string, double> severities{{"critical", 0}, {"warning", 0}};
    for (const Json &alert : status["alerts"]) {
        if (alert["severity"].is_object()) severities[alert["severity"]["name"].get<std::string>()] += 1;
        EXPECT_EQ(FindSample(samples, "printer_alert_info", {{"printer", printer}, {"index", alert["index"]}}), 1.0);
    }
    for (const auto &[severity, count] : severities) {
        EXPECT_EQ(FindSample(samples, "printer_alerts", {{"printer", printer}, {"severity", severity}}), count)
            << severity;
    }
}

// promtool check metrics over the text; empty when it passes, else its words.
std::string PromtoolProblems(const std::string &text) {
    const std::string promtool = test::FindProgram("promtool");
    if (promtool.empty()) return {};
    const std::string path = test::MakeTempFolder("exporter-metrics") + "/metrics.txt";
    std::ofstream(path) << text;
    const test::ProgramRun run = test::RunProgram({"sh", "-c", "\"$0\" check metrics < \"$1\"", promtool, path},
                                                  test::ErrorOutput::Merged);
    return run.exitCode == 0 ? std::string() : run.out + " (exit " + std::to_string(run.exitCode) + ")";
}

// /metrics of an exporter started for it, once it has read the store's
// printers, checked by promtool.
std::string ScrapeOnce() {
    ExporterProcess exporter(kPort);
    EXPECT_TRUE(exporter.Ready());
    const test::HttpAnswer answer = HttpGet("127.0.0.1", kPort, "/metrics");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(PromtoolProblems(answer.body), "");
    return answer.body;
}

class ExporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_ = std::make_unique<test::TempRegistry>(FleetHive(FleetNames()));
        ShortWaits();
        std::vector<std::string> arguments{"--addresses", Address(0) + "-" + Address(kFleet.size() - 1)};
        for (std::size_t i = 0; i < kFleet.size(); ++i) {
            if (!kFleet[i].second.empty()) arguments.insert(arguments.end(), {"--fault-at", Address(i) + "=" + kFleet[i].second});
        }
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        ASSERT_TRUE(sim_->Ready());
    }

    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

TEST_F(ExporterTest, MetricsOfEveryFaultModePassPromtoolAndMatchStatus) {
    ExporterProcess exporter(kPort);
    ASSERT_TRUE(exporter.Ready());
    const test::HttpAnswer answer = HttpGet("127.0.0.1", kPort, "/metrics");
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.contentType, "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(PromtoolProblems(answer.body), "");
    const std::vector<test::Sample> samples = test::ParseSamples(answer.body);
    EXPECT_EQ(test::CountSamples(samples, "snmphelper_build_info", {}), 1u);
    for (const auto &[name, fault] : kFleet) {
        EXPECT_EQ(FindSample(samples, "printer_last_reading_timestamp_seconds", {{"printer", name}}).has_value(), true)
            << name;
        EXPECT_EQ(FindSample(samples, "printer_scrape_duration_seconds", {{"printer", name}}).has_value(), true) << name;
        if (fault == "silent") {
            EXPECT_EQ(FindSample(samples, "printer_up", {{"printer", name}}), 0.0);
            EXPECT_EQ(test::CountSamples(samples, "printer_supply_level_ratio", {{"printer", name}}), 0u);
        } else {
            ExpectMatchesStatus(samples, name);
        }
    }
    // What an alerting rule on a jam looks for.
    EXPECT_EQ(FindSample(samples, "printer_detected_error", {{"printer", "jammed"}, {"error", "jammed"}}), 1.0);
    EXPECT_EQ(FindSample(samples, "printer_detected_error", {{"printer", "ready"}, {"error", "jammed"}}), 0.0);
    EXPECT_EQ(FindSample(samples, "printer_device_status", {{"printer", "jammed"}}), 5.0);
    EXPECT_EQ(exporter.Stop(), 0) << "SIGTERM is the ordinary way to stop the service";
}

TEST_F(ExporterTest, OpenMetricsWhenAskedProbeAndHealth) {
    ExporterProcess exporter(kPort);
    ASSERT_TRUE(exporter.Ready());
    const test::HttpAnswer open = HttpGet("127.0.0.1", kPort, "/metrics", "application/openmetrics-text;version=1.0.0");
    ASSERT_EQ(open.status, 200);
    EXPECT_EQ(open.contentType.rfind("application/openmetrics-text; version=1.0.0", 0), 0u) << open.contentType;
    EXPECT_TRUE(open.body.size() > 6 && open.body.substr(open.body.size() - 6) == "# EOF\n");
    EXPECT_NE(open.body.find("# TYPE printer_pages counter\n"), std::string::npos) << "a counter family without _total";
    EXPECT_NE(open.body.find("\nprinter_pages_total{"), std::string::npos);

    const test::HttpAnswer probe = HttpGet("127.0.0.1", kPort, "/probe?target=tonerlow");
    ASSERT_EQ(probe.status, 200);
    const std::vector<test::Sample> samples = test::ParseSamples(probe.body);
    EXPECT_EQ(test::CountSamples(samples, "printer_up", {}), 1u) << "a probe reads its one printer";
    ExpectMatchesStatus(samples, "tonerlow");
    EXPECT_EQ(FindSample(samples, "printer_detected_error", {{"error", "lowToner"}}), 1.0);
    EXPECT_EQ(HttpGet("127.0.0.1", kPort, "/probe?target=nobody").status, 404);
    EXPECT_EQ(HttpGet("127.0.0.1", kPort, "/probe").status, 400);

    const test::HttpAnswer health = HttpGet("127.0.0.1", kPort, "/healthz");
    ASSERT_EQ(health.status, 200);
    const Json parsed = Json::parse(health.body, nullptr, false);
    EXPECT_EQ(parsed["status"], "ok") << health.body;
    EXPECT_EQ(parsed["printers"], kFleet.size());
}

TEST_F(ExporterTest, FiftyScrapesAtOnceWhileTheStoreIsRewritten) {
    ExporterProcess exporter(kPort);
    ASSERT_TRUE(exporter.Ready());
    // Printers come and go in the store (each write replaces the file)
    // while Prometheus scrapes; the fleet's own printers stay.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; !done; ++round) {
            const std::string name = "visitor" + std::to_string(round % 3);
            RunSnmphelper({"printer", "add", name, "--ip", "127.0.1.1"});
            RunSnmphelper({"printer", "remove", name});
        }
    });
    std::vector<std::thread> scrapers;
    std::vector<test::HttpAnswer> answers(50);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        scrapers.emplace_back([&answers, i] { answers[i] = HttpGet("127.0.0.1", kPort, "/metrics"); });
    }
    for (std::thread &scraper : scrapers) scraper.join();
    // One more pass over the rewritten store, then a scrape of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const test::HttpAnswer late = HttpGet("127.0.0.1", kPort, "/metrics");
    done = true;
    writer.join();
    for (const test::HttpAnswer &answer : answers) {
        ASSERT_EQ(answer.status, 200);
        const std::vector<test::Sample> samples = test::ParseSamples(answer.body);
        for (const auto &entry : kFleet) {
            EXPECT_EQ(test::CountSamples(samples, "printer_up", {{"printer", entry.first}}), 1u) << entry.first;
        }
    }
    ASSERT_EQ(late.status, 200);
    const std::vector<test::Sample> samples = test::ParseSamples(late.body);
    EXPECT_EQ(FindSample(samples, "printer_up", {{"printer", "jammed"}}), 1.0);
    EXPECT_EQ(exporter.Stop(), 0);
}

std::vector<std::string> RecordingNames(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".snmprec") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Real printers' recordings, and the hand-made ones of what textbook readers
// get wrong (sparse indices, -2 and -3 levels, percent units, waste boxes
// without a class, two printer devices, texts in other character sets).
TEST(ExporterRecordingsTest, RecordedPrintersMatchTheirStatus) {
    for (const std::string &folder : {kRecordings, kRecordings + "/quirks"}) {
        SCOPED_TRACE(folder);
        const std::vector<std::string> names = RecordingNames(folder);
        ASSERT_FALSE(names.empty());
        test::TempRegistry registry(FleetHive(names));
        ShortWaits();
        PrinterSimulator sim({"--addresses", Address(0) + "-" + Address(names.size() - 1), "--snmprec-folder", folder});
        ASSERT_TRUE(sim.Ready());
        const std::vector<test::Sample> samples = test::ParseSamples(ScrapeOnce());
        for (const std::string &name : names) ExpectMatchesStatus(samples, name);
        // Prometheus refuses a whole scrape that holds one series twice, as
        // two unnamed trays or supplies of one description would make.
        std::set<std::pair<std::string, std::map<std::string, std::string>>> series;
        for (const test::Sample &sample : samples) {
            EXPECT_TRUE(series.emplace(sample.name, sample.labels).second) << "twice: " << sample.name;
        }
    }
}

// A printer that says UTF-8 and sends Latin-1: its label carries the octet
// escaped, and the scrape stays valid for Prometheus; quotes, backslashes
// and line feeds in a model's name are escaped as the format wants.
TEST(ExporterRecordingsTest, TextThatIsNotUtf8KeepsTheScrapeValid) {
    test::TempRegistry registry(FleetHive({"latin"}));
    ShortWaits();
    const std::string objects = registry.Folder() + "/over.txt";
    std::ofstream(objects) << "1.3.6.1.2.1.43.7.1.1.4.1.2 INTEGER 106\n1.3.6.1.2.1.43.11.1.1.6.1.1 HEX 46e46368\n"
                               "1.3.6.1.2.1.25.3.2.1.3.1 STRING \"Model \\\"X\\\" \\\\ 1\\nB\"\n";
    PrinterSimulator sim({"--snmprec", kRecordings + "/quirks/charsets.snmprec", "--objects", objects}, Address(0));
    ASSERT_TRUE(sim.Ready());
    const std::string body = ScrapeOnce();
    EXPECT_NE(body.find("supply=\"F\\\\xE4ch\""), std::string::npos) << body;
    const std::vector<test::Sample> samples = test::ParseSamples(body);
    ExpectMatchesStatus(samples, "latin");
    EXPECT_EQ(FindSample(samples, "printer_info", {{"model", "Model \"X\" \\ 1\nB"}}), 1.0) << body;
}

TEST(ExporterArgumentsTest, RefusesABadShardOrListenAddress) {
    test::TempRegistry registry("");
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"exporter", "--shard", "0/2"}, {"exporter", "--shard", "3/2"},
          {"exporter", "--shard", "1"}, {"exporter", "--listen", "9161"}, {"exporter", "--listen", "host:99999"}}) {
        EXPECT_EQ(RunSnmphelper(arguments).exitCode, 2) << arguments.back();
    }
}

}  // namespace
}  // namespace snmphelper
