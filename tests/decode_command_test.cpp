// SPDX-License-Identifier: Apache-2.0
// The built `snmphelper decode` command: what it prints and its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/hex.h"

namespace {

using snmphelper::test::ProgramRun;
using snmphelper::test::RunSnmphelper;

// `snmphelper decode` with the message given as separate words.
ProgramRun DecodeWords(const std::string &words) {
    std::vector<std::string> arguments = {"decode"};
    std::istringstream split(words);
    for (std::string word; split >> word;) arguments.push_back(word);
    return RunSnmphelper(arguments);
}

// One argument holding the whole message.
const char *const kResponse =
    "30 23 02 01 00 04 00 A2 1C 02 01 01 02 01 00 02 01 00 30 11 30 0F 06 08 2B 06 01 02 01 01"
    " 01 00 04 03 61 62 63";

TEST(DecodeCommand, GetResponseAsJson) {
    const ProgramRun run = RunSnmphelper({"decode", "--json", kResponse});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out,
              "{\"pdu\":\"GetResponse\",\"community\":\"\",\"requestId\":1,\"errorStatus\":0,"
              "\"errorStatusName\":\"noError\",\"errorIndex\":0,\"variables\":[{\"oid\":\"1.3.6.1.2.1.1.1.0\","
              "\"type\":\"OCTET STRING\",\"value\":\"abc\"}]}\n");
}

TEST(DecodeCommand, GetResponse) {
    const ProgramRun run = RunSnmphelper({"decode", kResponse});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("GetResponse-PDU"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("request-id:   1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("error-status: noError (0)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1.3.6.1.2.1.1.1.0 = STRING: \"abc\""), std::string::npos)
        << run.out;
}

TEST(DecodeCommand, TrapWithColonsAndFromAFile) {
    const ProgramRun run = RunSnmphelper(
        {"decode", "30:39:02:01:00:04:06:70:75:62:6c:69:63:A4:2C:06:06:2B:06:01:02:01:2B"
                   ":40:04:C0:A8:01:02:02:01:06:02:03:01:00:01:43:01:64:30:11:30:0F:06:08:2B:06:01"
                   ":02:01:01:01:00:04:03:61:62:63"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("community:     \"public\""), std::string::npos) << run.out;

    const std::string path = ::testing::TempDir() + "/trap.bin";
    const auto trap = snmphelper::test::Hex(
        "30 33 02 01 00 04 00 A4 2C 06 06 2B 06 01 02 01 2B 40 04 C0 A8 01 02 02 01 06"
        " 02 03 01 00 01 43 01 64 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00 04 03 61 62 63");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(trap.data()),
               static_cast<std::streamsize>(trap.size()));
    const ProgramRun fromFile = RunSnmphelper({"decode", "--file", path});
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.out;
    for (const char *line : {"Trap-PDU", "enterprise:    1.3.6.1.2.1.43",
                             "agent-addr:    192.168.1.2", "generic-trap:  enterpriseSpecific (6)",
                             "specific-trap: 1", "time-stamp:    100 (0:00:00:01.00)"}) {
        EXPECT_NE(fromFile.out.find(line), std::string::npos) << line << "\n" << fromFile.out;
    }
    std::remove(path.c_str());
}

TEST(DecodeCommand, ValuesOfEachTypeAndErrorStatusByName) {
    // error-status noSuchName (2), error-index 1, then INTEGER -1, Counter
    // 4294967295, IpAddress, OBJECT IDENTIFIER, NULL, OCTET STRING 00 FF,
    // Gauge 7 and TimeTicks 9000017; each line as the transaction commands
    // print it.
    const ProgramRun run = DecodeWords(
        "30 64 02 01 00 04 06 70 75 62 6C 69 63 A2 57 02 01 07 02 01 02 02 01 01 30 4C"
        " 30 06 06 01 2B 02 01 FF"
        " 30 0A 06 01 2B 41 05 00 FF FF FF FF"
        " 30 09 06 01 2B 40 04 0A 00 00 01"
        " 30 08 06 01 2B 06 03 2B 06 01"
        " 30 05 06 01 2B 05 00"
        " 30 07 06 01 2B 04 02 00 FF"
        " 30 06 06 01 2B 42 01 07"
        " 30 09 06 01 2B 43 04 00 89 54 51");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    for (const char *line :
         {"community:    \"public\"", "request-id:   7", "error-status: noSuchName (2)",
          "error-index:  1", "1.3 = INTEGER: -1\n", "1.3 = Counter32: 4294967295\n",
          "1.3 = IpAddress: 10.0.0.1\n", "1.3 = OID: 1.3.6.1\n", "1.3 = NULL\n",
          "1.3 = Hex-STRING: 00 FF\n", "1.3 = Gauge32: 7\n", "1.3 = Timeticks: (9000017) 1 day, 1:00:00.17\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
}

// What `snmphelper form` prints is read back by `snmphelper decode`.
TEST(DecodeCommand, RequestsThatFormPrints) {
    struct Case {
        std::vector<std::string> form;
        const char *pdu;
        const char *variables;
    };
    const Case cases[] = {
        {{"get", "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0"},
         "GetRequest",
         "    1.3.6.1.2.1.1.5.0 = STRING: \"\"\n    1.3.6.1.2.1.1.6.0 = STRING: \"\"\n"},
        {{"getnext", "1.3.6.1.2.1.1"}, "GetNextRequest", "    1.3.6.1.2.1.1 = STRING: \"\"\n"},
        {{"set", "1.3.6.1.2.1.1.6.0,1.3.6.1.2.1.1.7.0,1.3.6.1.2.1.1.4.0", "2,3,lab,1,72,9,"},
         "SetRequest",
         "    1.3.6.1.2.1.1.6.0 = STRING: \"lab\"\n    1.3.6.1.2.1.1.7.0 = INTEGER: 72\n"
         "    1.3.6.1.2.1.1.4.0 = NULL\n"},
    };
    for (const Case &request : cases) {
        SCOPED_TRACE(request.pdu);
        std::vector<std::string> arguments = {"form"};
        arguments.insert(arguments.end(), request.form.begin(), request.form.end());
        const ProgramRun formed = RunSnmphelper(arguments);
        ASSERT_EQ(formed.exitCode, 0) << formed.out;
        const std::string hex = formed.out.substr(0, formed.out.find('\n'));
        ProgramRun run = RunSnmphelper({"decode", hex});
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_EQ(run.out.rfind(std::string(request.pdu) + "-PDU\n  community:    \"t*o&r^e~l+d\"\n", 0), 0u)
            << run.out;
        EXPECT_NE(run.out.find(request.variables), std::string::npos) << run.out;
        run = RunSnmphelper({"decode", "--json", hex});
        EXPECT_EQ(run.out.rfind(std::string("{\"pdu\":\"") + request.pdu + "\",", 0), 0u) << run.out;
    }
    // A Trap tag (A4) and a GetResponse tag other than A2 (A5) are not requests.
    for (const char *tag : {"A5", "A4"}) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(DecodeWords(std::string("30 0E 02 01 00 04 00 ") + tag + " 07 02 01 01 02 01 00 02 01 00 30 00")
                      .exitCode,
                  1);
    }
}

TEST(DecodeCommand, RefusalAndBadInput) {
    const ProgramRun refused = DecodeWords("30 00");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("neither a valid SNMPv1 GetResponse nor a valid SNMPv1 Trap"),
              std::string::npos)
        << refused.out;
    EXPECT_EQ(DecodeWords("3").exitCode, 2);
    EXPECT_EQ(DecodeWords("3G").exitCode, 2);
    EXPECT_EQ(DecodeWords("").exitCode, 2);
    EXPECT_EQ(RunSnmphelper({"decode", "--file", "/nonexistent/message.bin"}).exitCode, 2);
}

}  // namespace
