// SPDX-License-Identifier: Apache-2.0
// snmphelper status over IPX and over DLC: the tool on one end of a veth
// pair, the printer simulator answering on the other, the printer reachable
// by that protocol alone.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/temp_registry.h"
#include "tests/support/veth_pair.h"

namespace snmphelper {
namespace {

using Json = nlohmann::json;

constexpr char kHostInterface[] = "sthost0";
constexpr char kPrinterInterface[] = "stprn0";
constexpr test::MacAddress kHostNode = {0x02, 0x00, 0x00, 0x00, 0x03, 0x01};
constexpr test::MacAddress kPrinterNode = {0x02, 0x00, 0x00, 0x00, 0x03, 0x02};

struct LinkCase {
    const char *protocol;       // as the view names it
    int code;                   // cProtocols and pProtocol
    const char *simulatorFlag;  // serves that protocol on the printer's end
    const char *hostSetting;    // names the host's end for the library
    const char *frame;          // in the simulator's log lines
};

const LinkCase kLinkCases[] = {
    {"IPX", 1, "--ipx-interface", "SNMPHELPER_IPX_INTERFACE", "frame=ethernet_ii"},
    {"DLC", 4, "--dlc-interface", "SNMPHELPER_DLC_INTERFACE", "frame=llc"},
};

TEST(PrinterStatusLinkTest, StatusOverIpxAndOverDlc) {
    test::VethPair veth(kHostInterface, kPrinterInterface, kHostNode, kPrinterNode);
    ASSERT_TRUE(veth.Ready()) << veth.Error();
    for (const LinkCase &link : kLinkCases) {
        SCOPED_TRACE(link.protocol);
        // No IP address the simulator answers on: only the link reaches it.
        test::TempRegistry registry(test::LinkPrinterHive(
            "prn", {link.code, link.code, "00000000020000000302", "020000000302", "127.0.0.9"}));
        setenv(link.hostSetting, kHostInterface, 1);
        test::PrinterSimulator sim({link.simulatorFlag, kPrinterInterface, "--condition", "tray-empty"});
        ASSERT_TRUE(sim.Ready());
        const test::ProgramRun run = test::RunSnmphelper({"status", "prn", "--json"});
        unsetenv(link.hostSetting);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const Json view = Json::parse(run.out, nullptr, false);
        ASSERT_FALSE(view.is_discarded()) << run.out;
        EXPECT_EQ(view["protocol"], link.protocol);
        EXPECT_EQ(view["device"]["detectedErrors"], Json::array({"inputTrayEmpty"}));
        EXPECT_EQ(view["alerts"][0]["code"]["name"], "inputMediaSupplyEmpty");
        const std::vector<std::string> lines = sim.LogLines();
        ASSERT_FALSE(lines.empty());
        for (const std::string &line : lines) EXPECT_NE(line.find(link.frame), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace snmphelper
