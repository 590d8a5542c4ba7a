// SPDX-License-Identifier: Apache-2.0
// Two exporters, each owning one shard of a simulated fleet, scraped by a
// real Prometheus (the Debian package) every second: through Prometheus's
// HTTP API every printer appears exactly once across the shards, with the
// values its printer gives, and the administrator's queries answer.
// Prometheus asks for OpenMetrics first, so its own parser reads that form
// here (promtool reads the plain text form in exporter_netns_test).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
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
using test::HttpGet;

constexpr int kPrometheusPort = 9090;
constexpr int kFleetSize = 12;
const std::vector<int> kExporterPorts = {9161, 9162};

std::string Address(int index) { return "127.0.1." + std::to_string(index + 1); }
std::string Name(int index) { return "floor" + std::to_string(index + 1); }
constexpr int kJammed = 2;
constexpr int kSilent = 5;
constexpr int kTonerEmpty = 7;

std::string UrlEncoded(const std::string &text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '_' || c == '.' || c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// The result vector of an instant query; null when Prometheus did not answer.
Json Query(const std::string &promql) {
    const test::HttpAnswer answer = HttpGet("127.0.0.1", kPrometheusPort, "/api/v1/query?query=" + UrlEncoded(promql));
    if (answer.status != 200) return nullptr;
    const Json parsed = Json::parse(answer.body, nullptr, false);
    if (parsed.is_discarded() || parsed["status"] != "success") return nullptr;
    return parsed["data"]["result"];
}

// Each series' `label` and its value.
std::map<std::string, double> ByLabel(const Json &result, const std::string &label) {
    std::map<std::string, double> values;
    if (!result.is_array()) return values;
    for (const Json &series : result) {
        values[series["metric"].value(label, "")] += std::stod(series["value"][1].get<std::string>());
    }
    return values;
}

TEST(ExporterPrometheusTest, TwoShardsScrapedByPrometheusCoverTheFleetOnce) {
    const std::string prometheus = test::FindProgram("prometheus");
    if (prometheus.empty()) GTEST_SKIP() << "needs Prometheus (Debian package prometheus)";
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < kFleetSize; ++i) {
        hive += test::PrinterKey(Name(i), "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"" +
                                              Address(i) + "\"\n\"MAC Address\"=\"000000000000\"\n");
    }
    test::TempRegistry registry(hive);
    ASSERT_EQ(test::RunSnmphelper({"config", "set", "timeout", "1"}).exitCode, 0);
    ASSERT_EQ(test::RunSnmphelper({"config", "set", "retries", "0"}).exitCode, 0);
    test::PrinterSimulator sim({"--addresses", Address(0) + "-" + Address(kFleetSize - 1), "--fault-at",
                                Address(kJammed) + "=paper-jam", "--fault-at", Address(kSilent) + "=silent",
                                "--fault-at", Address(kTonerEmpty) + "=toner-empty"});
    ASSERT_TRUE(sim.Ready());
    std::vector<std::unique_ptr<test::ExporterProcess>> exporters;
    for (std::size_t shard = 0; shard < kExporterPorts.size(); ++shard) {
        exporters.push_back(std::make_unique<test::ExporterProcess>(
            kExporterPorts[shard],
            std::vector<std::string>{"--shard", std::to_string(shard + 1) + "/" + std::to_string(kExporterPorts.size())}));
        ASSERT_TRUE(exporters.back()->Ready());
    }

    const std::string folder = test::MakeTempFolder("exporter-prometheus");
    std::ofstream(folder + "/prometheus.yml")
        << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
           "scrape_configs:\n  - job_name: printers\n    static_configs:\n      - targets: ['127.0.0.1:9161', "
           "'127.0.0.1:9162']\n";
    test::ChildProcess server({prometheus, "--config.file=" + folder + "/prometheus.yml",
                               "--storage.tsdb.path=" + folder + "/data",
                               "--web.listen-address=127.0.0.1:" + std::to_string(kPrometheusPort)});
    ASSERT_TRUE(server.Started());

    // Until both exporters' first scrapes are in (a few seconds).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::map<std::string, double> seen;
    while (std::chrono::steady_clock::now() < deadline) {
        seen = ByLabel(Query("count by (printer) (printer_up)"), "printer");
        if (seen.size() == static_cast<std::size_t>(kFleetSize) &&
            ByLabel(Query("count by (instance) (printer_up)"), "instance").size() == kExporterPorts.size()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kFleetSize));
    for (const auto &[printer, count] : seen) EXPECT_EQ(count, 1.0) << printer << " is in more than one shard";

    const std::map<std::string, double> byInstance = ByLabel(Query("count by (instance) (printer_up)"), "instance");
    ASSERT_EQ(byInstance.size(), 2u);
    double total = 0;
    for (const auto &[instance, count] : byInstance) {
        EXPECT_GT(count, 0.0) << instance << " owns no printer";
        total += count;
    }
    EXPECT_EQ(total, kFleetSize);

    // The administrator's queries (README).
    EXPECT_EQ(ByLabel(Query("printer_up == 0"), "printer"), (std::map<std::string, double>{{Name(kSilent), 0}}));
    EXPECT_EQ(ByLabel(Query("printer_detected_error{error=\"jammed\"} == 1"), "printer"),
              (std::map<std::string, double>{{Name(kJammed), 1}}));
    const std::map<std::string, double> low =
        ByLabel(Query("printer_supply_level_ratio{class=\"consumed\"} < 0.10"), "printer");
    EXPECT_EQ(low, (std::map<std::string, double>{{Name(kTonerEmpty), 0}}));
    const std::map<std::string, double> pages = ByLabel(Query("sum by (printer) (printer_pages_total)"), "printer");
    EXPECT_EQ(pages.size(), static_cast<std::size_t>(kFleetSize - 1));
    // Pages per day: increase() wants two scrapes of each counter.
    std::map<std::string, double> perDay;
    while (std::chrono::steady_clock::now() < deadline) {
        perDay = ByLabel(Query("sum by (printer) (increase(printer_pages_total[1d]))"), "printer");
        if (perDay.size() == static_cast<std::size_t>(kFleetSize - 1)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_EQ(perDay.size(), static_cast<std::size_t>(kFleetSize - 1));
    for (const auto &[printer, increase] : perDay) EXPECT_EQ(increase, 0.0) << printer << ": the simulator prints nothing";
    std::printf("count by (instance) (printer_up): %s\nprinter_up == 0: %s\nprinter_supply_level_ratio < 0.10: %s\n",
                Query("count by (instance) (printer_up)").dump().c_str(), Query("printer_up == 0").dump().c_str(),
                Query("printer_supply_level_ratio{class=\"consumed\"} < 0.10").dump().c_str());
    for (auto &exporter : exporters) EXPECT_EQ(exporter->Stop(), 0);
}

}  // namespace
}  // namespace snmphelper
