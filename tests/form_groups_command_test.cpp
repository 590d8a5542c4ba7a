// SPDX-License-Identifier: Apache-2.0
// The built `snmphelper form` and `snmphelper groups` commands.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process.h"

namespace {

using snmphelper::test::ProgramRun;
using snmphelper::test::RunSnmphelper;

TEST(FormAndGroupsCommands, FormPrintsTheRequest) {
    const ProgramRun run = RunSnmphelper({"form", "get", "1.3.6.1.2.1.1.1.0"});
    EXPECT_EQ(run.exitCode, 0);
    // Community "t*o&r^e~l+d", request-id 1: the command loads the library first.
    EXPECT_EQ(run.out,
              "30 2B 02 01 00 04 0B 74 2A 6F 26 72 5E 65 7E 6C 2B 64 A0 19 02 01 01 02 01 00 02 01"
              " 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 04 00\n");
}

TEST(FormAndGroupsCommands, FormPrintsTheRequestAsJson) {
    const ProgramRun run = RunSnmphelper({"form", "get", "1.3.6.1.2.1.1.1.0", "--json"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "{\"command\":\"form\",\"type\":\"get\",\"length\":45,\"hex\":\"30 2B 02 01 00 04 0B 74 2A 6F 26 72 5E "
              "65 7E 6C 2B 64 A0 19 02 01 01 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 04 00\"}\n");
}

TEST(FormAndGroupsCommands, FormSetTakesTheValues) {
    const ProgramRun run = RunSnmphelper({"form", "set", "1.3.6.1.2.1.1.5.0", "2,3,abc"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("A3 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("04 03 61 62 63\n"), std::string::npos) << run.out;
}

TEST(FormAndGroupsCommands, FormSaysWhatFailed) {
    const ProgramRun run = RunSnmphelper({"form", "set", "1.3.6.1.2.1.1.5.0", "2,9,abc"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("could not be formed"), std::string::npos) << run.out;
}

TEST(FormAndGroupsCommands, GroupsListsIdentifiers) {
    const ProgramRun run = RunSnmphelper({"groups", "2"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "group 2: 1 object(s)\n  1.3.6.1.2.1.10.7.2.1.2.0\n");

    const ProgramRun joined = RunSnmphelper({"groups", "--joined"});
    EXPECT_EQ(joined.exitCode, 0);
    std::size_t lines = 0;
    for (char c : joined.out) lines += c == '\n' ? 1 : 0;
    EXPECT_EQ(lines, 26u);
}

TEST(FormAndGroupsCommands, GroupsRefusesANumberPastTheTable) {
    const ProgramRun run = RunSnmphelper({"groups", "26"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("no group 26"), std::string::npos) << run.out;
}

}  // namespace
