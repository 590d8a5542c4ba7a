// The built `snmphelper decode` command: what it prints and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/hex.h"

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

class DecodeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::ifstream(Binary()).good())
            << Binary() << " is missing: build the snmphelper-cli target first";
    }
};

const char *const kResponse =
    "'30 23 02 01 00 04 00 A2 1C 02 01 01 02 01 00 02 01 00 30 11 30 0F 06 08 2B 06 01 02 01 01"
    " 01 00 04 03 61 62 63'";

TEST_F(DecodeCommand, GetResponse) {
    const CommandRun run = Snmphelper("decode " + std::string(kResponse));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("GetResponse-PDU"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("request-id:   1\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("error-status: noError (0)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("1.3.6.1.2.1.1.1.0 = OCTET STRING: \"abc\""), std::string::npos)
        << run.output;
}

TEST_F(DecodeCommand, TrapWithColonsAndFromAFile) {
    const CommandRun run = Snmphelper(
        "decode 30:39:02:01:00:04:06:70:75:62:6c:69:63:A4:2C:06:06:2B:06:01:02:01:2B"
        ":40:04:C0:A8:01:02:02:01:06:02:03:01:00:01:43:01:64:30:11:30:0F:06:08:2B:06:01:02:01"
        ":01:01:00:04:03:61:62:63");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("community:     \"public\""), std::string::npos) << run.output;

    const std::string path = ::testing::TempDir() + "/trap.bin";
    const auto trap = snmphelper::test::Hex(
        "30 33 02 01 00 04 00 A4 2C 06 06 2B 06 01 02 01 2B 40 04 C0 A8 01 02 02 01 06"
        " 02 03 01 00 01 43 01 64 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00 04 03 61 62 63");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(trap.data()),
               static_cast<std::streamsize>(trap.size()));
    const CommandRun fromFile = Snmphelper("decode --file '" + path + "'");
    EXPECT_EQ(fromFile.status, 0) << fromFile.output;
    for (const char *line : {"Trap-PDU", "enterprise:    1.3.6.1.2.1.43",
                             "agent-addr:    192.168.1.2", "generic-trap:  enterpriseSpecific (6)",
                             "specific-trap: 1", "time-stamp:    100 (0:00:00:01.00)"}) {
        EXPECT_NE(fromFile.output.find(line), std::string::npos) << line << "\n" << fromFile.output;
    }
    std::remove(path.c_str());
}

TEST_F(DecodeCommand, ValuesOfEachTypeAndErrorStatusByName) {
    // error-status noSuchName (2), error-index 1, then INTEGER -1, Counter
    // 4294967295, IpAddress, OBJECT IDENTIFIER, NULL, and OCTET STRING 00 FF.
    const CommandRun run = Snmphelper(
        "decode 30 51 02 01 00 04 06 70 75 62 6C 69 63 A2 44 02 01 07 02 01 02 02 01 01 30 39"
        " 30 06 06 01 2B 02 01 FF"
        " 30 0A 06 01 2B 41 05 00 FF FF FF FF"
        " 30 09 06 01 2B 40 04 0A 00 00 01"
        " 30 08 06 01 2B 06 03 2B 06 01"
        " 30 05 06 01 2B 05 00"
        " 30 07 06 01 2B 04 02 00 FF");
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char *line :
         {"community:    \"public\"", "request-id:   7", "error-status: noSuchName (2)",
          "error-index:  1", "1.3 = INTEGER: -1", "1.3 = Counter: 4294967295",
          "1.3 = IpAddress: 10.0.0.1", "1.3 = OBJECT IDENTIFIER: 1.3.6.1", "1.3 = NULL\n",
          "1.3 = OCTET STRING: 00 FF"}) {
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    }
}

TEST_F(DecodeCommand, RefusalAndBadInput) {
    const CommandRun refused = Snmphelper("decode 30 00");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("neither a valid SNMPv1 GetResponse nor a valid SNMPv1 Trap"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(Snmphelper("decode 3").status, 2);
    EXPECT_EQ(Snmphelper("decode 3G").status, 2);
    EXPECT_EQ(Snmphelper("decode").status, 2);
    EXPECT_EQ(Snmphelper("decode --file /nonexistent/message.bin").status, 2);
}

}  // namespace
