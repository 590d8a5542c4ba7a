// The built `snmphelper form` and `snmphelper groups` commands.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

struct CommandRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

std::string Binary() {
    const char *dir = std::getenv("SNMPHELPER_BINARY_DIR");
    return std::string(dir == nullptr ? "." : dir) + "/tools/snmphelper";
}

CommandRun Snmphelper(const std::string &arguments) {
    CommandRun run;
    const std::string command = "'" + Binary() + "' " + arguments + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class FormAndGroupsCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::ifstream(Binary()).good())
            << Binary() << " is missing: build the snmphelper-cli target first";
    }
};

TEST_F(FormAndGroupsCommands, FormPrintsTheRequest) {
    const CommandRun run = Snmphelper("form get 1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(run.status, 0);
    // Community "t*o&r^e~l+d", request-id 1: the command loads the library first.
    EXPECT_EQ(run.output,
              "30 2B 02 01 00 04 0B 74 2A 6F 26 72 5E 65 7E 6C 2B 64 A0 19 02 01 01 02 01 00 02 01"
              " 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 04 00\n");
}

TEST_F(FormAndGroupsCommands, FormSetTakesTheValues) {
    const CommandRun run = Snmphelper("form set 1.3.6.1.2.1.1.5.0 '2,3,abc'");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("A3 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("04 03 61 62 63\n"), std::string::npos) << run.output;
}

TEST_F(FormAndGroupsCommands, FormSaysWhatFailed) {
    const CommandRun run = Snmphelper("form set 1.3.6.1.2.1.1.5.0 '2,9,abc'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("could not be formed"), std::string::npos) << run.output;
}

TEST_F(FormAndGroupsCommands, GroupsListsIdentifiers) {
    const CommandRun run = Snmphelper("groups 2");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "group 2: 1 object(s)\n  1.3.6.1.2.1.10.7.2.1.2.0\n");

    const CommandRun joined = Snmphelper("groups --joined");
    EXPECT_EQ(joined.status, 0);
    std::size_t lines = 0;
    for (char c : joined.output) lines += c == '\n' ? 1 : 0;
    EXPECT_EQ(lines, 26u);
}

TEST_F(FormAndGroupsCommands, GroupsRefusesANumberPastTheTable) {
    const CommandRun run = Snmphelper("groups 26");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("no group 26"), std::string::npos) << run.output;
}

}  // namespace
