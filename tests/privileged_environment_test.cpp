// SPDX-License-Identifier: Apache-2.0
// A program that holds a file capability (as the README suggests for IPX
// and DLC) runs for secure execution: the library and its platform
// libraries then ignore SNMPHELPER_REGISTRY, SNMPHELPER_PLATFORM_PATH and
// the IPX and DLC settings, so that whoever starts it chooses neither the
// code it loads nor the store it writes. The tool, copied into a folder of
// its own and given cap_net_raw, is that program; an identical copy
// without the capability, run by the same user, shows that the settings are
// otherwise honoured.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

namespace snmphelper {
namespace {

using test::ProgramRun;

class PrivilegedEnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "setcap and setpriv need root";
        if (test::RunProgram({"setpriv", "--version"}).exitCode != 0) GTEST_SKIP() << "setpriv is missing";
        // Everything the user nobody must reach: folders 0755, files 0644,
        // the programs 0755. No platform folder sits where the copies would
        // look by default (bin/../snmphelper).
        folder_ = test::MakeTempFolder("privileged");
        namespace fs = std::filesystem;
        fs::create_directories(folder_ + "/bin");
        fs::create_directories(folder_ + "/elsewhere");
        for (const char *name : {"plain", "capable"}) {
            fs::copy_file(test::BuildTreePath("tools/snmphelper"), folder_ + "/bin/" + name);
        }
        fs::copy_file(test::BuildTreePath("tests/fixtures/fake_dlcapi.so"), folder_ + "/elsewhere/dlcapi.so");
        std::ofstream(folder_ + "/elsewhere/registry.reg")
            << test::PrinterHive("elsewhere", "\"cProtocols\"=dword:00000002\n\"IP Address\"=\"10.1.2.3\"\n"
                                              "\"MAC Address\"=\"\"\n");
        for (const auto &entry : fs::recursive_directory_iterator(folder_)) {
            const bool program = entry.path().parent_path().filename() == "bin";
            ::chmod(entry.path().c_str(), entry.is_directory() || program ? 0755 : 0644);
        }
        ::chmod(folder_.c_str(), 0755);
        const ProgramRun setcap =
            test::RunProgram({"setcap", "cap_net_raw+ep", folder_ + "/bin/capable"}, test::ErrorOutput::Merged);
        // (setcap is libcap2-bin's.)
        if (setcap.exitCode != 0) GTEST_SKIP() << "no setcap, or no file capabilities here: " << setcap.out;
    }

    void TearDown() override {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    // `program` run by nobody with the settings pointing elsewhere.
    ProgramRun RunAsNobody(const std::string &program, const std::vector<std::string> &arguments) const {
        std::vector<std::string> argv = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--",
                                         "env",
                                         "SNMPHELPER_REGISTRY=" + folder_ + "/elsewhere/registry.reg",
                                         "SNMPHELPER_PLATFORM_PATH=" + folder_ + "/elsewhere",
                                         "SNMPHELPER_IPX_NETWORK=12345678",
                                         // A process that gained capabilities cannot be traced
                                         // by the leak checker of a sanitizer build.
                                         "ASAN_OPTIONS=detect_leaks=0",
                                         folder_ + "/bin/" + program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return test::RunProgram(argv, test::ErrorOutput::Merged);
    }

    std::string folder_;
};

TEST_F(PrivilegedEnvironmentTest, ACapableProgramIgnoresTheSettingsThatChooseCodeAndStore) {
    // Without the capability: the store, the DLC interface and the IPX
    // network the settings name.
    const ProgramRun plainList = RunAsNobody("plain", {"printer", "list"});
    EXPECT_NE(plainList.out.find("elsewhere\tip\tunset\t10.1.2.3"), std::string::npos) << plainList.out;
    const ProgramRun plainDlc = RunAsNobody("plain", {"dlc"});
    EXPECT_NE(plainDlc.out.find("available       yes"), std::string::npos) << plainDlc.out;
    EXPECT_NE(plainDlc.out.find("02:00:00:00:00:01"), std::string::npos) << plainDlc.out;  // the stand-in's
    const ProgramRun plainIpx = RunAsNobody("plain", {"ipx"});
    EXPECT_NE(plainIpx.out.find("network         12345678"), std::string::npos) << plainIpx.out;

    // With it: none of them.
    const ProgramRun list = RunAsNobody("capable", {"printer", "list"});
    EXPECT_EQ(list.out.find("elsewhere"), std::string::npos) << list.out;
    const ProgramRun dlc = RunAsNobody("capable", {"dlc"});
    EXPECT_NE(dlc.out.find("available       no"), std::string::npos) << dlc.out;
    EXPECT_EQ(dlc.out.find(folder_), std::string::npos) << dlc.out;
    const ProgramRun ipx = RunAsNobody("capable", {"ipx"});
    EXPECT_NE(ipx.out.find("network         00000000"), std::string::npos) << ipx.out;
}

}  // namespace
}  // namespace snmphelper
