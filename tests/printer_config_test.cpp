// SPDX-License-Identifier: Apache-2.0
// Printer address records, protocol switching and the SNMP settings,
// against a real hive file; several processes switching and editing at once.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "library/library_entry.h"
#include "platform/registry.h"
#include "platform/string_table.h"
#include "tests/support/hex.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_module.h"
#include "transact/printer_config.h"

namespace snmphelper {
namespace {

using test::PrinterHive;
using test::PrinterKey;
using test::TempRegistry;

constexpr const char kSnmpKey[] = "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n";
constexpr const char kHeader[] = "Windows Registry Editor Version 5.00\n\n";

class PrinterConfig : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        LibraryEntry(test::TestModule(), kProcessAttach);
    }
};

PrinterAddressRecord ReadRecord(const char *printer, std::int32_t &result) {
    PrinterAddressRecord record;
    std::memset(&record, 0xCC, sizeof record);
    InitPrinterAddressRecord(&record);
    result = ReadPrinterAddressRecord(printer, &record);
    return record;
}

struct StoredValue {
    std::int32_t code = -1;
    std::uint32_t type = 0;
    std::string hex;
};

StoredValue QueryPrinterValue(const std::string &printer, const char *name) {
    StoredValue value;
    platform::RegistryKey key = nullptr;
    value.code = platform::OpenRegistryKey((std::string(kAdapterKeyPath) + "\\" + printer).c_str(),
                                           platform::kKeyRead, &key);
    if (value.code != 0) return value;
    std::uint8_t data[64];
    std::uint32_t size = sizeof data;
    value.code = platform::QueryRegistryValue(key, name, &value.type, data, &size);
    if (value.code == 0) value.hex = test::ToHex(data, size);
    platform::CloseRegistryKey(key);
    return value;
}

TEST_F(PrinterConfig, InitClearsEveryField) {
    PrinterAddressRecord record;
    std::memset(&record, 0xCC, sizeof record);
    InitPrinterAddressRecord(&record);
    const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST_F(PrinterConfig, RecordNeedsOnlyTheMacAddress) {
    TempRegistry registry(PrinterHive("Mac Only", "\"MAC Address\"=\"0000C0A1B2C3\"\n\"pProtocol\"=dword:00000002\n") +
                          PrinterKey("No Mac", "\"cProtocols\"=dword:00000006\n\"pProtocol\"=dword:00000002\n"
                                                "\"IP Address\"=\"10.1.2.3\"\n\"IPX Address\"=\"0000000100A0C9123456\"\n"));
    std::int32_t result = -1;
    PrinterAddressRecord record = ReadRecord("Mac Only", result);
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(record.macAddress, "0000C0A1B2C3");
    EXPECT_STREQ(record.ipAddress, "");
    EXPECT_EQ(record.pProtocol, kProtocolIp);
    EXPECT_EQ(record.cProtocols, 0);

    ReadRecord("No Mac", result);
    EXPECT_EQ(result, kPrinterRecordUnreadable);
    ReadRecord("Nobody", result);
    EXPECT_EQ(result, kPrinterRecordUnreadable);
    ReadRecord("mac only", result);  // key names ignore case
    EXPECT_EQ(result, 0);
}

TEST_F(PrinterConfig, RecordTakesTheLowByteOfEachNumberAndEveryAddress) {
    TempRegistry registry(PrinterHive("P", "\"cProtocols\"=dword:00000107\n\"pProtocol\"=dword:00000102\n"
                                           "\"MAC Address\"=\"0000C0A1B2C3\"\n\"IP Address\"=\"192.168.100.200\"\n"
                                           "\"IPX Address\"=\"0000000100A0C9123456\"\n"));
    std::int32_t result = -1;
    const PrinterAddressRecord record = ReadRecord("P", result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(record.cProtocols, 7);
    EXPECT_EQ(record.pProtocol, 2);
    EXPECT_STREQ(record.ipAddress, "192.168.100.200");
    EXPECT_STREQ(record.ipxAddress, "0000000100A0C9123456");
    // The fields this library does not fill stay cleared.
    EXPECT_EQ(record.reservedText1[0] | record.reservedText4[256] | record.reservedAddress[0], 0);
    EXPECT_EQ(record.reservedNumber, 0);
    EXPECT_EQ(record.reservedByte, 0);
}

// Each address field holds 21 characters and a terminating zero: a longer
// value, or one that fills the field without a zero, is not taken, and only
// for `MAC Address` does that fail the read.
TEST_F(PrinterConfig, AddressTooLongForItsFieldIsNotTaken) {
    const std::string chars21(21, '1');
    const std::string chars22(22, '2');
    const std::string elevenUnterminated = "hex(1):" + [] {
        std::string list;
        for (int i = 0; i < 11; ++i) list += std::string(i ? "," : "") + "41,00";
        return list;
    }();  // 11 UTF-16 characters, no terminating zero
    TempRegistry registry(
        PrinterHive("Fits", "\"MAC Address\"=\"" + chars21 + "\"\n\"IP Address\"=\"" + chars21 + "\"\n") +
        PrinterKey("Ip Too Long", "\"MAC Address\"=\"1\"\n\"IP Address\"=\"" + chars22 + "\"\n") +
        PrinterKey("Mac Too Long", "\"MAC Address\"=\"" + chars22 + "\"\n") +
        PrinterKey("Mac Unterminated", "\"MAC Address\"=hex(3):" + [] {
            std::string list;
            for (int i = 0; i < 22; ++i) list += std::string(i ? "," : "") + "41";
            return list;
        }() + "\n") +
        PrinterKey("Mac Short Unterminated", "\"MAC Address\"=" + elevenUnterminated + "\n"));
    std::int32_t result = -1;
    PrinterAddressRecord record = ReadRecord("Fits", result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(record.macAddress, chars21);
    EXPECT_EQ(record.ipAddress, chars21);

    record = ReadRecord("Ip Too Long", result);
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(record.ipAddress, "");

    record = ReadRecord("Mac Too Long", result);
    EXPECT_EQ(result, kPrinterRecordUnreadable);
    EXPECT_STREQ(record.macAddress, "");

    record = ReadRecord("Mac Unterminated", result);  // 22 bytes, no zero among them
    EXPECT_EQ(result, kPrinterRecordUnreadable);
    EXPECT_STREQ(record.macAddress, "");

    record = ReadRecord("Mac Short Unterminated", result);  // 11 bytes without zero: the field's zeros end it
    EXPECT_EQ(result, 0);
    EXPECT_EQ(record.macAddress, std::string(11, 'A'));
}

// The key path "<adapter key>\<name>" must fit 128 characters: the longest
// name is 90 characters. Longer names are refused even when such a key
// exists; names with '\' would reach into another key.
TEST_F(PrinterConfig, NamesThatDoNotNameOnePrinterKeyAreRefused) {
    const std::string longest(90, 'n');
    const std::string tooLong(91, 'n');
    const std::string values = "\"cProtocols\"=dword:00000007\n\"MAC Address\"=\"0000C0A1B2C3\"\n";
    TempRegistry registry(PrinterHive(longest, values) + PrinterKey(tooLong, values) +
                          PrinterKey("Outer\\Inner", values));
    std::int32_t result = -1;
    ReadRecord(longest.c_str(), result);
    EXPECT_EQ(result, 0);
    for (const std::string &name : {tooLong, std::string(5000, 'x'), std::string("Outer\\Inner"), std::string()}) {
        ReadRecord(name.c_str(), result);
        EXPECT_EQ(result, kPrinterRecordUnreadable) << name.size();
        EXPECT_EQ(SwitchProtocol(name.c_str(), kProtocolIp), 1) << name.size();
    }
    ReadRecord(nullptr, result);
    EXPECT_EQ(result, kPrinterRecordUnreadable);
    EXPECT_EQ(SwitchProtocol(nullptr, kProtocolIp), 1);
    EXPECT_EQ(QueryPrinterValue(tooLong, kProtocolInUseValue).code, platform::kRegistryNotFound);
    EXPECT_EQ(SwitchProtocol(longest.c_str(), kProtocolIp), 0);
}

// The opt-in values beside the record: a port only as a REG_DWORD of 1 to
// 65535, a community only as REG_SZ text that fits, the printer's before the
// Snmp key's.
TEST_F(PrinterConfig, PortAndCommunityAreReadOnlyInTheirOwnForm) {
    const struct {
        const char *what;
        std::string printerLines;
        std::string snmpLines;
        std::uint16_t port;
        bool usable;
        bool found;
        std::string community;
    } cases[] = {
        {"nothing", "", "", 0, true, false, ""},
        {"port 1161", "\"IP Port\"=dword:00000489\n", "", 1161, true, false, ""},
        {"port past 65535", "\"IP Port\"=dword:00010000\n", "", 0, true, false, ""},
        {"port as text", "\"IP Port\"=\"1161\"\n", "", 0, true, false, ""},
        {"the printer's", "\"Community\"=\"public\"\n", "\"Community\"=\"other\"\n", 0, true, true, "public"},
        {"the Snmp key's", "", "\"Community\"=\"other\"\n", 0, true, true, "other"},
        {"empty", "\"Community\"=\"\"\n", "\"Community\"=\"other\"\n", 0, true, true, ""},
        {"255 octets", "\"Community\"=\"" + std::string(255, 'c') + "\"\n", "", 0, true, true, std::string(255, 'c')},
        {"256 octets", "\"Community\"=\"" + std::string(256, 'c') + "\"\n", "", 0, false, true, ""},
        {"not text", "\"Community\"=hex:70,75,62\n", "", 0, false, true, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempRegistry registry(PrinterHive("lab", "\"MAC Address\"=\"\"\n" + c.printerLines) + kSnmpKey +
                              c.snmpLines + "\n");
        PrinterAddressRecord record;
        InitPrinterAddressRecord(&record);
        PrinterExtras extras;
        ASSERT_EQ(ReadPrinterSettings("lab", &record, &extras), 0);
        EXPECT_EQ(extras.ipPort, c.port);
        char community[kCommunityFieldSize];
        bool found = false;
        EXPECT_EQ(ConfiguredCommunity("lab", community, found), c.usable);
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(community, c.community);
    }
}

TEST_F(PrinterConfig, SwitchProtocolFollowsTheFallbackTable) {
    const struct {
        const char *protocols;  // the cProtocols line's data
        std::uint32_t failed;
        std::int32_t result;
        std::uint32_t storedType;  // of pProtocol afterwards; 0: not written
        const char *stored;
    } cases[] = {
        {"dword:00000007", kProtocolIp, 0, platform::kRegDword, "04 00 00 00"},
        {"dword:00000007", kProtocolIpx, 0, platform::kRegDword, "04 00 00 00"},
        {"dword:00000007", kProtocolDlc, 0, platform::kRegDword, "02 00 00 00"},
        {"dword:00000006", kProtocolIp, 0, platform::kRegDword, "04 00 00 00"},
        {"dword:00000006", kProtocolDlc, 0, platform::kRegDword, "02 00 00 00"},
        {"dword:00000003", kProtocolIp, 0, platform::kRegDword, "01 00 00 00"},
        {"dword:00000003", kProtocolIpx, 0, platform::kRegDword, "02 00 00 00"},
        {"dword:00000005", kProtocolDlc, 0, platform::kRegDword, "01 00 00 00"},
        {"dword:00000107", kProtocolIp, 0, platform::kRegDword, "04 00 00 00"},
        {"dword:00000002", kProtocolIp, 1, 0, ""},  // no other protocol
        {"dword:00000004", kProtocolDlc, 1, 0, ""},
        {"dword:00000007", 3, 1, 0, ""},  // not a protocol code
        {"dword:00000007", 0, 1, 0, ""},
        // pProtocol takes the type cProtocols has...
        {"hex:06,00,00,00", kProtocolIp, 0, platform::kRegBinary, "04 00 00 00"},
        {"hex:06", kProtocolIp, 0, platform::kRegBinary, "04 00 00 00"},
        // ...but four binary bytes are never stored as text ("6" is 0x36).
        {"\"6\"", kProtocolIp, 0, platform::kRegDword, "04 00 00 00"},
        {"hex(b):07,00,00,00,00,00,00,00", kProtocolIp, 1, 0, ""},  // longer than 4 bytes: unreadable
    };
    for (const auto &c : cases) {
        TempRegistry registry(PrinterHive("P", std::string("\"cProtocols\"=") + c.protocols +
                                                   "\n\"MAC Address\"=\"0000C0A1B2C3\"\n"));
        EXPECT_EQ(SwitchProtocol("P", c.failed), c.result) << c.protocols << " failed " << c.failed;
        const StoredValue stored = QueryPrinterValue("P", kProtocolInUseValue);
        if (c.storedType == 0) {
            EXPECT_EQ(stored.code, platform::kRegistryNotFound) << c.protocols << " failed " << c.failed;
            continue;
        }
        EXPECT_EQ(stored.type, c.storedType) << c.protocols << " failed " << c.failed;
        EXPECT_EQ(stored.hex, c.stored) << c.protocols << " failed " << c.failed;
    }
}

TEST_F(PrinterConfig, SwitchProtocolChangesNothingElse) {
    TempRegistry registry(PrinterHive("P", "\"pProtocol\"=dword:00000002\n\"MAC Address\"=\"0000C0A1B2C3\"\n"));
    const std::string before = registry.Contents();
    EXPECT_EQ(SwitchProtocol("P", kProtocolIp), 1);  // no cProtocols to choose from
    EXPECT_EQ(SwitchProtocol("Missing", kProtocolIp), 1);
    EXPECT_EQ(registry.Contents(), before);  // and no key was created

    TempRegistry cycling(PrinterHive("P", "\"cProtocols\"=dword:00000006\n\"MAC Address\"=\"0000C0A1B2C3\"\n"
                                          "\"IP Address\"=\"10.1.2.3\"\n"));
    EXPECT_EQ(SwitchProtocol("P", kProtocolIp), 0);
    EXPECT_EQ(SwitchProtocol("P", kProtocolDlc), 0);
    std::int32_t result = -1;
    const PrinterAddressRecord record = ReadRecord("P", result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(record.pProtocol, kProtocolIp);
    EXPECT_STREQ(record.ipAddress, "10.1.2.3");
}

TEST_F(PrinterConfig, TimeoutAndRetriesFallBackOneByOne) {
    const struct {
        std::string hive;
        std::int32_t timeout;
        std::int32_t retries;
    } cases[] = {
        {"", 15, 5},                                                                        // no hive
        {std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar]\n", 15, 5},  // no Snmp key
        {std::string(kHeader) + kSnmpKey + "\"UdpTotalRetries\"=dword:00000000\n", 15, 0},
        {std::string(kHeader) + kSnmpKey + "\"udptimeoutinterval\"=dword:0000001e\n\"UdpTotalRetries\"=dword:2\n", 30, 2},
        {std::string(kHeader) + kSnmpKey + "\"UdpTimeOutInterval\"=\"30\"\n", 15, 5},       // text: default
        {std::string(kHeader) + kSnmpKey + "\"UdpTimeOutInterval\"=dword:ffffffff\n", 15, 5},  // not a count
        {std::string(kHeader) + kSnmpKey + "\"UdpTimeOutInterval\"=hex:1e,00,00,00\n", 30, 5},
        {std::string(kHeader) + kSnmpKey + "\"UdpTimeOutInterval\"=hex:1e\n", 15, 5},          // 1 byte
        {std::string(kHeader) + kSnmpKey + "\"UdpTimeOutInterval\"=dword:1e\ngarbage\n", 15, 5},  // unparsable
    };
    for (const auto &c : cases) {
        TempRegistry registry(c.hive);
        std::int32_t timeout = -1;
        std::int32_t retries = -1;
        GetTimeoutAndRetries(&timeout, &retries);
        EXPECT_EQ(timeout, c.timeout) << c.hive;
        EXPECT_EQ(retries, c.retries) << c.hive;
    }
}

#if !defined(_WIN32)
// The Snmp key's settings are read once for the transactions that share a
// reading of the store, and read anew when the store or the reading changes.
// (Windows' registry is read on every use: a reading shares nothing there.)
TEST_F(PrinterConfig, SettingsSharedByAReadingFollowTheStore) {
    const auto hive = [](int timeout, const char *community) {
        char lines[128];
        std::snprintf(lines, sizeof lines, "\"UdpTimeOutInterval\"=dword:%08x\n\"Community\"=\"%s\"\n", timeout,
                      community);
        return PrinterHive("lab", "\"MAC Address\"=\"\"\n") + kSnmpKey + lines;
    };
    const auto settings = [] {
        std::int32_t timeout = -1;
        GetTimeoutAndRetries(&timeout, nullptr);
        char community[kCommunityFieldSize] = {};
        bool found = false;
        EXPECT_TRUE(ConfiguredCommunity("lab", community, found));
        return std::to_string(timeout) + " " + community;
    };
    TempRegistry registry(hive(30, "one"));
    const auto replace = [&](int timeout, const char *community) {
        const std::string replacement = registry.Path() + ".new";
        std::ofstream(replacement, std::ios::binary) << hive(timeout, community);
        ASSERT_EQ(std::rename(replacement.c_str(), registry.Path().c_str()), 0);
    };
    EXPECT_EQ(settings(), "30 one");
    replace(40, "two");
    EXPECT_EQ(settings(), "40 two");  // no reading: every use reads the store
    {
        platform::RegistryReading reading;
        EXPECT_EQ(settings(), "40 two");
        EXPECT_NE(platform::SharedReadingMark(), 0U);
        replace(50, "three");
        EXPECT_EQ(settings(), "40 two");  // what the reading read
        // A change through the registry on this thread is seen at once.
        platform::RegistryKey key = nullptr;
        ASSERT_EQ(platform::OpenRegistryKey("Software\\Brelvin\\Palimar\\Snmp", platform::kKeyAllAccess, &key), 0);
        const std::uint8_t sixty[4] = {60, 0, 0, 0};
        ASSERT_EQ(platform::SetRegistryValue(key, "UdpTimeOutInterval", platform::kRegDword, sixty, 4), 0);
        platform::CloseRegistryKey(key);
        EXPECT_EQ(settings(), "60 three");
    }
    EXPECT_EQ(platform::SharedReadingMark(), 0U);
    replace(70, "four");
    {
        platform::RegistryReading reading;
        EXPECT_EQ(settings(), "70 four");
    }
    {
        platform::RegistryReading reading;  // the store unchanged since the last
        EXPECT_EQ(settings(), "70 four");
        replace(80, "five");
    }
    platform::RegistryReading reading;
    EXPECT_EQ(settings(), "80 five");
}
#endif  // !_WIN32

TEST_F(PrinterConfig, SnmpSettingReportsTypeAndLengthAndEveryFailure) {
    TempRegistry registry(std::string(kHeader) + kSnmpKey + "\"UdpTimeOutInterval\"=dword:0000001e\n");
    std::uint8_t buffer[8] = {};
    std::uint32_t size = sizeof buffer;
    std::uint32_t type = 0;
    ASSERT_EQ(ReadSnmpSetting(kSnmpKeyEntry, kTimeoutValueEntry, buffer, &size, &type), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, platform::kRegDword);
    EXPECT_EQ(buffer[0], 30);

    size = 2;
    EXPECT_EQ(ReadSnmpSetting(kSnmpKeyEntry, kTimeoutValueEntry, buffer, &size, &type), kSnmpSettingUnreadable);
    size = sizeof buffer;
    EXPECT_EQ(ReadSnmpSetting(kSnmpKeyEntry, 99, buffer, &size, &type), kSnmpSettingUnreadable);  // no such entry
    EXPECT_EQ(ReadSnmpSetting(kSnmpKeyEntry, kRetriesValueEntry, buffer, &size, &type), kSnmpSettingUnreadable);

    // A string entry that cannot be loaded counts as a failure.
    platform::SetStringResourceAvailable(kSnmpKeyEntry, false);
    EXPECT_EQ(ReadSnmpSetting(kSnmpKeyEntry, kTimeoutValueEntry, buffer, &size, &type), kSnmpSettingUnreadable);
    std::int32_t timeout = -1;
    std::int32_t retries = -1;
    GetTimeoutAndRetries(&timeout, &retries);
    EXPECT_EQ(timeout, 15);
    platform::SetStringResourceAvailable(kSnmpKeyEntry, true);
    GetTimeoutAndRetries(&timeout, &retries);
    EXPECT_EQ(timeout, 30);
}

// Bits a child process reports as its exit status.
// Permissions and processes of the POSIX store (a file shared by processes).
#if !defined(_WIN32)
constexpr int kChildRecordFailed = 1;
constexpr int kChildSwitchFailed = 2;
constexpr int kChildSettingsWrong = 4;
constexpr int kChildRegistryReadFailed = 8;

// What a process that may read the hive but not write it sees: the printer
// key does not open for full access, protocols cannot be switched, and the
// settings read as usual.
int ReadOnlyChecks() {
    int failures = 0;
    std::int32_t result = -1;
    ReadRecord("P", result);
    if (result != kPrinterRecordUnreadable) failures |= kChildRecordFailed;
    if (SwitchProtocol("P", kProtocolIp) != 1) failures |= kChildSwitchFailed;
    std::int32_t timeout = -1;
    std::int32_t retries = -1;
    GetTimeoutAndRetries(&timeout, &retries);
    if (timeout != 30 || retries != 1) failures |= kChildSettingsWrong;
    platform::RegistryKey key = nullptr;
    if (platform::OpenRegistryKey("Software\\Brelvin\\Palimar\\AdapterOnly\\P", platform::kKeyRead, &key) != 0) {
        failures |= kChildRegistryReadFailed;
    }
    platform::CloseRegistryKey(key);
    return failures;
}

TEST_F(PrinterConfig, ReadOnlyHiveRefusesFullAccess) {
    TempRegistry registry(PrinterHive("P", "\"cProtocols\"=dword:00000006\n\"pProtocol\"=dword:00000002\n"
                                           "\"MAC Address\"=\"0000C0A1B2C3\"\n") +
                          kSnmpKey + "\"UdpTimeOutInterval\"=dword:0000001e\n\"UdpTotalRetries\"=dword:00000001\n");
    const std::string before = registry.Contents();
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(registry.Path().c_str(), 0444), 0);
        EXPECT_EQ(ReadOnlyChecks(), 0);
        EXPECT_EQ(registry.Contents(), before);
        return;
    }
    // Root may write anything: the checks run in a child that has become nobody.
    const passwd *nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(chmod(registry.Folder().c_str(), 0755), 0);
    ASSERT_EQ(chmod(registry.Path().c_str(), 0644), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(100);
        _exit(ReadOnlyChecks());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failure bits (100: could not drop privileges)";
    EXPECT_EQ(registry.Contents(), before);
}

// Several processes switch printer A's protocol over and over while others
// store values of their own in A and B. Every read during the run must
// parse, and afterwards every stored value must be there.
TEST_F(PrinterConfig, ConcurrentSwitchesAndEditsLoseNothing) {
    constexpr int kSwitchers = 3;
    constexpr int kEditors = 2;
    constexpr int kRounds = 20;
    const std::string macAndIp = "\"MAC Address\"=\"0000C0A1B2C3\"\n\"IP Address\"=\"10.1.2.3\"\n";
    TempRegistry registry(PrinterHive("A", "\"cProtocols\"=dword:00000006\n\"pProtocol\"=dword:00000002\n" + macAndIp) +
                          PrinterKey("B", "\"cProtocols\"=dword:00000007\n" + macAndIp));
    std::vector<pid_t> children;
    for (int process = 0; process < kSwitchers + kEditors; ++process) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child != 0) {
            children.push_back(child);
            continue;
        }
        int failures = 0;
        for (int round = 0; round < kRounds; ++round) {
            std::int32_t result = -1;
            const PrinterAddressRecord a = ReadRecord("A", result);
            if (result != 0 || (a.pProtocol != kProtocolIp && a.pProtocol != kProtocolDlc)) failures |= kChildRecordFailed;
            if (process < kSwitchers) {
                if (SwitchProtocol("A", a.pProtocol) != 0) failures |= kChildSwitchFailed;
                continue;
            }
            ReadRecord("B", result);
            if (result != 0) failures |= kChildRecordFailed;
            const std::string path = std::string(kAdapterKeyPath) + (round % 2 == 0 ? "\\A" : "\\B");
            const std::string name = "Edit " + std::to_string(process) + "-" + std::to_string(round);
            const std::uint8_t value[4] = {static_cast<std::uint8_t>(round), 0, 0, 0};
            platform::RegistryKey key = nullptr;
            if (platform::OpenRegistryKey(path.c_str(), platform::kKeySetValue, &key) != 0 ||
                platform::SetRegistryValue(key, name.c_str(), platform::kRegDword, value, 4) != 0) {
                failures |= kChildSettingsWrong;
            }
            platform::CloseRegistryKey(key);
        }
        _exit(failures);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failure bits of child " << child;
    }
    for (int process = kSwitchers; process < kSwitchers + kEditors; ++process) {
        for (int round = 0; round < kRounds; ++round) {
            const StoredValue stored = QueryPrinterValue(round % 2 == 0 ? "A" : "B",
                                                         ("Edit " + std::to_string(process) + "-" +
                                                          std::to_string(round)).c_str());
            EXPECT_EQ(stored.code, 0) << process << "-" << round;
            EXPECT_EQ(stored.hex, test::ToHex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(round), 0, 0, 0}));
        }
    }
    std::int32_t result = -1;
    const PrinterAddressRecord a = ReadRecord("A", result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(a.pProtocol == kProtocolIp || a.pProtocol == kProtocolDlc);
    EXPECT_STREQ(a.ipAddress, "10.1.2.3");
    EXPECT_EQ(QueryPrinterValue("B", kProtocolInUseValue).code, platform::kRegistryNotFound);
}

#endif  // !_WIN32

}  // namespace
}  // namespace snmphelper
