// SPDX-License-Identifier: Apache-2.0
// The exporter's dashboard in a real browser: headless Chromium (the Debian
// package) loads / against a simulated fleet with faults; the page as the
// browser built it holds a card per printer, supply bars of the colorant's
// colour and the level's width with a text alternative, and the "needs
// attention" filter hides the printers that need nothing. A screenshot is
// kept in the build tree (tests/artifacts/).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/exporter_peer.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"

namespace snmphelper {
namespace {

constexpr int kPort = 9161;
const std::vector<std::pair<std::string, std::string>> kFleet = {
    {"ready", ""}, {"jammed", "paper-jam"}, {"silent", "silent"}, {"tonerempty", "toner-empty"}};

std::string Address(std::size_t index) { return "127.0.1." + std::to_string(index + 1); }

class ExporterBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        chromium_ = test::FindProgram("chromium");
        if (chromium_.empty()) GTEST_SKIP() << "needs Chromium (Debian package chromium)";
        std::string hive = "Windows Registry Editor Version 5.00\n\n";
        std::vector<std::string> arguments{"--addresses", Address(0) + "-" + Address(kFleet.size() - 1)};
        for (std::size_t i = 0; i < kFleet.size(); ++i) {
            hive += test::PrinterKey(kFleet[i].first,
                                     "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"" +
                                         Address(i) + "\"\n\"MAC Address\"=\"000000000000\"\n");
            if (!kFleet[i].second.empty()) {
                arguments.insert(arguments.end(), {"--fault-at", Address(i) + "=" + kFleet[i].second});
            }
        }
        registry_ = std::make_unique<test::TempRegistry>(hive);
        ASSERT_EQ(test::RunSnmphelper({"config", "set", "timeout", "1"}).exitCode, 0);
        ASSERT_EQ(test::RunSnmphelper({"config", "set", "retries", "0"}).exitCode, 0);
        sim_ = std::make_unique<test::PrinterSimulator>(arguments);
        ASSERT_TRUE(sim_->Ready());
        exporter_ = std::make_unique<test::ExporterProcess>(kPort);
        ASSERT_TRUE(exporter_->Ready());
        profile_ = test::MakeTempFolder("exporter-chromium");
    }

    std::vector<std::string> Browser(const std::vector<std::string> &arguments) const {
        std::vector<std::string> argv{chromium_, "--headless", "--no-sandbox", "--disable-gpu",
                                      "--user-data-dir=" + profile_};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return argv;
    }

    // The page's DOM once its script has run.
    std::string Dom(const std::string &path) const {
        const test::ProgramRun run = test::RunProgram(
            Browser({"--virtual-time-budget=2000", "--dump-dom", "http://127.0.0.1:" + std::to_string(kPort) + path}));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run.out;
    }

    std::string chromium_, profile_;
    std::unique_ptr<test::TempRegistry> registry_;
    std::unique_ptr<test::PrinterSimulator> sim_;
    std::unique_ptr<test::ExporterProcess> exporter_;
};

// The opening tag of the printer's card.
std::string CardTag(const std::string &dom, const std::string &printer) {
    const std::regex card("<article[^>]*data-printer=\"" + printer + "\"[^>]*>");
    std::smatch match;
    return std::regex_search(dom, match, card) ? match.str() : std::string();
}

TEST_F(ExporterBrowserTest, CardsBarsAndTheAttentionFilter) {
    const std::string dom = Dom("/");
    for (const auto &[name, fault] : kFleet) {
        const std::string tag = CardTag(dom, name);
        ASSERT_FALSE(tag.empty()) << name << " has no card";
        const bool attention = !fault.empty();
        EXPECT_NE(tag.find(std::string("data-attention=\"") + (attention ? "true" : "false")), std::string::npos)
            << tag;
        EXPECT_EQ(tag.find("hidden"), std::string::npos) << "the filter is off by default: " << tag;
    }
    // The cyan toner of the simulated printer is at 55%: a bar 55% wide in
    // cyan, and the same in words for a screen reader.
    EXPECT_NE(dom.find("aria-label=\"Cyan Toner Cartridge P41C: 55%\""), std::string::npos);
    EXPECT_TRUE(std::regex_search(
        dom, std::regex("<span class=\"fill\" data-colour=\"cyan\" style=\"width: 55%; background: rgb\\(0, 147, 201\\);\">")))
        << "no cyan bar of 55%";
    EXPECT_TRUE(std::regex_search(
        dom, std::regex("data-colour=\"black\" style=\"width: 0%; background: rgb\\(17, 17, 17\\);\">")))
        << "the empty black toner's bar";
    EXPECT_NE(dom.find("Black Toner Cartridge P41K: 0%"), std::string::npos);
    EXPECT_NE(dom.find("Errors: jammed"), std::string::npos);
    EXPECT_NE(dom.find("Needs attention: not reached"), std::string::npos);
    EXPECT_NE(dom.find("Needs attention: down, errors, supply low"), std::string::npos) << "the empty toner's printer";
    EXPECT_NE(dom.find("4 printers, 3 need attention"), std::string::npos);

    const std::string filtered = Dom("/?attention=1");
    EXPECT_NE(CardTag(filtered, "ready").find("hidden"), std::string::npos) << "a printer needing nothing shown";
    EXPECT_EQ(CardTag(filtered, "jammed").find("hidden"), std::string::npos);

    // Nothing of the page comes from elsewhere: it works offline.
    const test::HttpAnswer page = test::HttpGet("127.0.0.1", kPort, "/");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.body.find(" src="), std::string::npos);
    EXPECT_EQ(page.body.find("<link"), std::string::npos);
    EXPECT_EQ(page.body.find("@import"), std::string::npos);

    const std::string folder = test::BuildTreePath("tests/artifacts");
    std::filesystem::create_directories(folder);
    const std::string shot = folder + "/exporter-dashboard.png";
    std::filesystem::remove(shot);
    const test::ProgramRun run = test::RunProgram(
        Browser({"--window-size=1280,1000", "--screenshot=" + shot, "http://127.0.0.1:" + std::to_string(kPort) + "/"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(shot) && std::filesystem::file_size(shot) > 1000) << shot;
}

}  // namespace
}  // namespace snmphelper
