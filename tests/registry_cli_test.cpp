// SPDX-License-Identifier: Apache-2.0
// The administration commands of the snmphelper tool (printer, config,
// registry), run as a separate process against a hive in a temporary folder;
// what they store must be what the library reads.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "library/library_entry.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "transact/printer_config.h"

namespace snmphelper {
namespace {

using test::ProgramRun;
using test::RunSnmphelper;
using test::TempRegistry;

class RegistryCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static char moduleToken;
        LibraryEntry(&moduleToken, kProcessAttach);
    }
};

PrinterAddressRecord LibraryRecord(const char *printer, std::int32_t &result) {
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    result = ReadPrinterAddressRecord(printer, &record);
    return record;
}

TEST_F(RegistryCommands, PrinterAddedByIpAloneIsReadableByTheLibrary) {
    TempRegistry registry;
    ProgramRun outcome = RunSnmphelper({"printer", "add", "Front Desk", "--ip", "10.1.2.3"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.out;
    std::int32_t result = -1;
    const PrinterAddressRecord record = LibraryRecord("Front Desk", result);
    ASSERT_EQ(result, 0) << registry.Contents();
    EXPECT_STREQ(record.ipAddress, "10.1.2.3");
    EXPECT_STREQ(record.macAddress, "");  // stored empty, so that the record reads
    EXPECT_EQ(record.cProtocols, kProtocolIp);
    EXPECT_EQ(record.pProtocol, kProtocolIp);

    outcome = RunSnmphelper({"printer", "show", "front desk"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.out.find("IP Address:  10.1.2.3"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("library:     reads this printer"), std::string::npos) << outcome.out;
    outcome = RunSnmphelper({"printer", "list"});
    EXPECT_EQ(outcome.out, "Front Desk\tip\tip\t10.1.2.3\n");
}

TEST_F(RegistryCommands, PrinterAddNormalisesAddressesAndReplaceStartsAfresh) {
    TempRegistry registry;
    ProgramRun outcome = RunSnmphelper({"printer", "add", "Lab", "--ip", "10.0.0.9", "--ipx", "00000001:00a0c9123456", "--mac",
                           "00-00-c0-a1-b2-c3", "--protocols", "ip,ipx,dlc", "--use", "dlc"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.out;
    std::int32_t result = -1;
    PrinterAddressRecord record = LibraryRecord("Lab", result);
    ASSERT_EQ(result, 0);
    EXPECT_STREQ(record.ipxAddress, "0000000100A0C9123456");  // as the IPX transport reads it
    EXPECT_STREQ(record.macAddress, "0000C0A1B2C3");          // as the DLC transport reads it
    EXPECT_EQ(record.cProtocols, 7);
    EXPECT_EQ(record.pProtocol, kProtocolDlc);

    outcome = RunSnmphelper({"printer", "add", "LAB", "--ip", "10.0.0.10"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.out.find("already exists"), std::string::npos) << outcome.out;

    outcome = RunSnmphelper({"printer", "add", "Lab", "--ip", "10.0.0.10", "--replace"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.out;
    record = LibraryRecord("Lab", result);
    ASSERT_EQ(result, 0);
    EXPECT_STREQ(record.ipAddress, "10.0.0.10");
    EXPECT_STREQ(record.ipxAddress, "");  // the old key's values are gone
    EXPECT_EQ(record.cProtocols, kProtocolIp);

    EXPECT_EQ(RunSnmphelper({"printer", "remove", "lab"}).exitCode, 0);
    LibraryRecord("Lab", result);
    EXPECT_EQ(result, kPrinterRecordUnreadable);
    outcome = RunSnmphelper({"printer", "remove", "Lab"});
    EXPECT_EQ(outcome.exitCode, 5);
    EXPECT_NE(outcome.out.find("no printer named \"Lab\""), std::string::npos) << outcome.out;
}

TEST_F(RegistryCommands, PrinterAddSaysWhatIsWrongAndStoresNothing) {
    const struct {
        std::vector<std::string> options;
        const char *message;
    } cases[] = {
        {{"--ip", "256.1.1.1"}, "expected a dotted-decimal IPv4 address"},
        {{"--ip", "010.1.1.1"}, "no leading zeros"},
        {{"--ip", "1.2.3"}, "expected a dotted-decimal IPv4 address"},
        {{"--ip", "1.2.3.4.5"}, "expected a dotted-decimal IPv4 address"},
        {{"--ip", "printer.example"}, "expected a dotted-decimal IPv4 address"},
        {{"--ip", "255.255.255.255"}, "not a printer's address"},
        {{"--ipx", "0000000100A0C912345"}, "8 hexadecimal digits of network and 12 of node"},
        {{"--ipx", "00000001-00A0C9123456"}, "8 hexadecimal digits of network and 12 of node"},
        {{"--mac", "0000C0A1B2CG"}, "expected 12 hexadecimal digits"},
        {{"--mac", "00:00:C0-A1:B2:C3"}, "expected 12 hexadecimal digits"},
        {{}, "give at least one address"},
        {{"--ip", "10.1.2.3", "--protocols", "ip,appletalk"}, "unknown protocol \"appletalk\""},
        {{"--ip", "10.1.2.3", "--protocols", "ip,dlc"}, "--protocols names dlc but no --mac address is given"},
        {{"--ip", "10.1.2.3", "--mac", "0000C0A1B2C3", "--protocols", "dlc", "--use", "ip"},
         "--use ip is not among the printer's protocols (dlc)"},
        {{"--ip", "10.1.2.3", "--use", "token-ring"}, "--use: unknown protocol"},
    };
    TempRegistry registry(test::PrinterHive("Existing", "\"MAC Address\"=\"\"\n"));
    const std::string before = registry.Contents();
    for (const auto &c : cases) {
        std::vector<std::string> arguments = {"printer", "add", "New"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramRun outcome = RunSnmphelper(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << c.message;
        EXPECT_NE(outcome.out.find(c.message), std::string::npos) << outcome.out;
    }
    ProgramRun outcome = RunSnmphelper({"printer", "add", std::string(91, 'n'), "--ip", "10.1.2.3"});
    EXPECT_NE(outcome.out.find("at most 90 fit the library's key path"), std::string::npos) << outcome.out;
    outcome = RunSnmphelper({"printer", "add", "Outer\\Inner", "--ip", "10.1.2.3"});
    EXPECT_NE(outcome.out.find("must not contain '\\'"), std::string::npos) << outcome.out;
    EXPECT_EQ(registry.Contents(), before);

    EXPECT_EQ(RunSnmphelper({"printer", "add", std::string(90, 'n'), "--ip", "10.1.2.3"}).exitCode, 0);
    std::int32_t result = -1;
    LibraryRecord(std::string(90, 'n').c_str(), result);
    EXPECT_EQ(result, 0);
}

// A name that is not UTF-8 was once stored under another name (its octets
// read as Latin-1), taking over the printer of that name.
TEST_F(RegistryCommands, PrinterNameThatIsNotUtf8IsRefusedAndOthersKeepTheirAddresses) {
    TempRegistry registry;
    ProgramRun outcome = RunSnmphelper({"printer", "add", "\xC3\xBF", "--ip", "10.0.0.1"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.out;
    const std::string before = registry.Contents();
    outcome = RunSnmphelper({"printer", "add", "\xFF", "--ip", "10.9.9.9"});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.out.find("printer add: the printer name \"\\xFF\" is not valid UTF-8"), std::string::npos)
        << outcome.out;
    EXPECT_EQ(registry.Contents(), before);
    std::int32_t result = -1;
    const PrinterAddressRecord record = LibraryRecord("\xC3\xBF", result);
    ASSERT_EQ(result, 0);
    EXPECT_STREQ(record.ipAddress, "10.0.0.1");
    outcome = RunSnmphelper({"printer", "show", "\xC3\xBF"});
    EXPECT_NE(outcome.out.find("IP Address:  10.0.0.1"), std::string::npos) << outcome.out;
    outcome = RunSnmphelper({"printer", "list"});
    EXPECT_EQ(outcome.out, "\xC3\xBF\tip\tip\t10.0.0.1\n");
    EXPECT_NE(RunSnmphelper({"printer", "remove", "\xFF"}).out.find("is not valid UTF-8"), std::string::npos);
}

TEST_F(RegistryCommands, ConfigSetIsWhatTheLibraryUses) {
    TempRegistry registry;
    ProgramRun outcome = RunSnmphelper({"config", "show"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.out.find("timeout: 15 seconds (default"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("retries: 5 (default"), std::string::npos) << outcome.out;

    ASSERT_EQ(RunSnmphelper({"config", "set", "timeout", "30"}).exitCode, 0);
    ASSERT_EQ(RunSnmphelper({"config", "set", "retries", "0"}).exitCode, 0);
    std::int32_t timeout = -1;
    std::int32_t retries = -1;
    GetTimeoutAndRetries(&timeout, &retries);
    EXPECT_EQ(timeout, 30);
    EXPECT_EQ(retries, 0);
    outcome = RunSnmphelper({"config", "show"});
    EXPECT_NE(outcome.out.find("timeout: 30 seconds (UdpTimeOutInterval)"), std::string::npos) << outcome.out;

    const std::string before = registry.Contents();
    for (const auto &arguments : std::vector<std::vector<std::string>>{
             {"config", "set", "timeout", "0"}, {"config", "set", "timeout", "-5"}, {"config", "set", "retries", "101"},
             {"config", "set", "retries", "two"}, {"config", "set", "colour", "3"}}) {
        outcome = RunSnmphelper(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments[2] << " " << arguments[3];
        EXPECT_FALSE(outcome.out.empty());
    }
    EXPECT_EQ(registry.Contents(), before);

    // A text value, as an administrator might type it, is reported and not used.
    registry.Write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=\"30\"\n");
    outcome = RunSnmphelper({"config", "show"});
    EXPECT_NE(outcome.out.find("timeout: 15 seconds (default; UdpTimeOutInterval is a 3-byte REG_SZ value"),
              std::string::npos)
        << outcome.out;
}

// The reply checks are shown as the library reads them: the bits in force by
// name, and an absent or unusable value as the default, none.
TEST_F(RegistryCommands, ConfigShowGivesTheReplyChecksTheLibraryUses) {
    const std::string snmpKey = "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n";
    const struct {
        const char *hive;  // the Snmp key's values; null: no Snmp key
        std::uint32_t effective;
        const char *line;
        const char *json;
    } cases[] = {
        {nullptr, 0, "replychecks: 0 (default; the key Software\\Brelvin\\Palimar\\Snmp does not exist): none",
         R"("replychecks":{"value":0,"from":"default","why":"the key Software\\Brelvin\\Palimar\\Snmp does not exist","checks":[]})"},
        {"\"UdpTotalRetries\"=dword:00000002\n", 0, "replychecks: 0 (default; ReplyChecks is not set): none",
         R"("replychecks":{"value":0,"from":"default","why":"ReplyChecks is not set","checks":[]})"},
        {"\"ReplyChecks\"=dword:00000000\n", 0, "replychecks: 0 (ReplyChecks): none",
         R"("replychecks":{"value":0,"from":"ReplyChecks","why":null,"checks":[]})"},
        {"\"ReplyChecks\"=dword:00000001\n", 1, "replychecks: 1 (ReplyChecks): sender",
         R"("checks":["sender"])"},
        {"\"ReplyChecks\"=dword:00000006\n", 6, "replychecks: 6 (ReplyChecks): unpredictable-ids",
         R"("checks":["unpredictable-ids"])"},
        {"\"ReplyChecks\"=dword:00000003\n", 3, "replychecks: 3 (ReplyChecks): sender, unpredictable-ids",
         R"("replychecks":{"value":3,"from":"ReplyChecks","why":null,"checks":["sender","unpredictable-ids"]})"},
        {"\"ReplyChecks\"=hex:01,00,00,00\n", 1, "replychecks: 1 (ReplyChecks): sender", R"("value":1)"},
        {"\"ReplyChecks\"=\"3\"\n", 0,
         "replychecks: 0 (default; ReplyChecks is a 2-byte REG_SZ value, not a REG_DWORD): none",
         R"("from":"default")"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        TempRegistry registry(c.hive == nullptr ? test::PrinterHive("P", "\"MAC Address\"=\"\"\n")
                                                : "Windows Registry Editor Version 5.00\n\n" + snmpKey + c.hive);
        std::uint32_t replyChecks = 0xFFFFFFFF;
        GetTransactionSettings(nullptr, nullptr, &replyChecks);
        EXPECT_EQ(replyChecks, c.effective);
        ProgramRun outcome = RunSnmphelper({"config", "show"});
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_NE(outcome.out.find(std::string("\n") + c.line + "\n"), std::string::npos) << outcome.out;
        outcome = RunSnmphelper({"config", "show", "--json"});
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_NE(outcome.out.find(c.json), std::string::npos) << outcome.out;
    }
}

TEST_F(RegistryCommands, ImportOfAWindowsExportAndExportBack) {
    TempRegistry registry;
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brelvin\\Palimar\\AdapterOnly\\Imported]\r\n"
        "\"cProtocols\"=dword:00000004\r\n\"pProtocol\"=dword:00000004\r\n\"MAC Address\"=\"0000C0A1B2C3\"\r\n";
    std::string utf16("\xFF\xFE", 2);
    for (char c : text) utf16 += std::string{c, '\0'};
    const std::string file = registry.Folder() + "/windows.reg";
    std::ofstream(file, std::ios::binary) << utf16;

    ProgramRun outcome = RunSnmphelper({"registry", "import", file});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.out;
    std::int32_t result = -1;
    const PrinterAddressRecord record = LibraryRecord("Imported", result);
    ASSERT_EQ(result, 0);
    EXPECT_STREQ(record.macAddress, "0000C0A1B2C3");
    EXPECT_EQ(record.pProtocol, kProtocolDlc);

    outcome = RunSnmphelper({"registry", "export", "software\\brelvin\\palimar\\adapteronly\\imported"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brelvin\\Palimar\\AdapterOnly\\Imported]\n"
              "\"cProtocols\"=dword:00000004\n\"pProtocol\"=dword:00000004\n\"MAC Address\"=\"0000C0A1B2C3\"\n\n");
    outcome = RunSnmphelper({"registry", "export", "Software\\Nothing"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.out.find("no key HKEY_LOCAL_MACHINE\\Software\\Nothing"), std::string::npos);

    const std::string before = registry.Contents();
    std::ofstream(registry.Folder() + "/bad.reg") << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"x\"=dword:\n";
    outcome = RunSnmphelper({"registry", "import", registry.Folder() + "/bad.reg"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.out.find("line 4: dword: needs 1 to 8 hexadecimal digits"), std::string::npos)
        << outcome.out;
    EXPECT_EQ(RunSnmphelper({"registry", "import", registry.Folder() + "/missing.reg"}).exitCode, 1);
    EXPECT_EQ(registry.Contents(), before);
}

TEST_F(RegistryCommands, ImportSaysWhatItDidAndAMissingFolderIsNamedAsSuch) {
    TempRegistry registry;
    const std::string file = registry.Folder() + "/one.reg";
    std::ofstream(file) << test::PrinterHive("P", "\"MAC Address\"=\"\"\n");
    ProgramRun outcome = RunSnmphelper({"registry", "import", file});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.out;
    EXPECT_EQ(outcome.out, "registry import: merged " + file + " into the registry " + registry.Path() + "\n");

    // A store in a folder below one that does not exist: not a permission problem.
    const std::string deep = registry.Folder() + "/missing/deeper/registry.reg";
    setenv("SNMPHELPER_REGISTRY", deep.c_str(), 1);
    outcome = RunSnmphelper({"printer", "add", "Q", "--ip", "10.1.2.3"});
    setenv("SNMPHELPER_REGISTRY", registry.Path().c_str(), 1);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.out.find("permission denied"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("the folder of the registry " + deep + " does not exist"), std::string::npos)
        << outcome.out;
}

TEST_F(RegistryCommands, BrokenHiveIsReportedAndLeftAsItWas) {
    const std::string broken = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"x\"=oops\n";
    TempRegistry registry(broken);
    const std::string good = registry.Folder() + "/good.reg";
    std::ofstream(good) << test::PrinterHive("P", "\"MAC Address\"=\"\"\n");
    for (const auto &arguments : std::vector<std::vector<std::string>>{
             {"printer", "add", "P", "--ip", "10.1.2.3"}, {"printer", "list"}, {"printer", "show", "P"},
             {"printer", "remove", "P"}, {"config", "set", "timeout", "9"}, {"config", "show"},
             {"registry", "import", good}, {"registry", "export"}}) {
        const ProgramRun outcome = RunSnmphelper(arguments);
        EXPECT_EQ(outcome.exitCode, 1) << arguments[0] << " " << arguments[1];
        EXPECT_NE(outcome.out.find("cannot be parsed"), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.out.find("line 4"), std::string::npos) << outcome.out;
    }
    EXPECT_EQ(registry.Contents(), broken);
}

}  // namespace
}  // namespace snmphelper
