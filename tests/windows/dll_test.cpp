// SPDX-License-Identifier: Apache-2.0
// snmphelper.dll as a Windows program uses it: loaded with LoadLibrary, its
// exports found by their plain names and called __stdcall, its DllMain run,
// over Wine's WinSock and registry. The printer simulator (a Linux program)
// serves at 127.0.0.1:161 in the network namespace the lane runs in
// (with_simulator.sh). Under Wine there is no DLC interface and no IPX.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "snmphelper.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"

namespace snmphelper {
namespace {

using test::PrinterHive;
using test::PrinterKey;
using test::TempRegistry;

using TransactFn = int32_t(__stdcall *)(const char *, int32_t, char *, uint32_t, char *, uint32_t *, uint32_t);
using GetObjectsFn = int32_t(__stdcall *)(const char *, uint32_t, char *, uint32_t *);

constexpr const char *kExports[] = {
    "HelperSnmpEncodePdu",    "HelperSnmpDecodePdu",     "HelperFreeReqParam",
    "HelperSnmpDecodeTrapPdu", "HelperFormSNMPPacket",   "HelperSNMPDecodePacket",
    "HelperFreeBlock",        "HelperSNMPTransact",      "HelperSNMPTransactAscii",
    "HelperSNMPTransactEx",   "HelperDecodeValue",       "HelperGetSNMPObjects",
    "HelperSNMPRegisterTrapDestination", "HelperTrapKeepAlive", "HelperSNMPDiscover",
};

// A short wait: a silent printer costs little.
const std::string kQuickSettings =
    "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=dword:00000001\n"
    "\"UdpTotalRetries\"=dword:00000000\n\n";

class DllTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = ::LoadLibraryA(test::BuildTreePath("snmphelper.dll").c_str());
        ASSERT_NE(library_, nullptr) << "error " << ::GetLastError();
    }
    static void TearDownTestSuite() {
        if (library_ != nullptr) ::FreeLibrary(library_);
        library_ = nullptr;
    }

    template <typename Fn>
    static Fn Export(const char *name) {
        return reinterpret_cast<Fn>(reinterpret_cast<void *>(::GetProcAddress(library_, name)));
    }

    // One get of sysName.0 through the DLL; the value text in `value`.
    static int32_t GetSysName(const char *printer, std::string &value) {
        char oids[256] = "1.3.6.1.2.1.1.5.0";
        char values[1024] = {};
        uint32_t valueSize = sizeof values;
        const int32_t result =
            Export<TransactFn>("HelperSNMPTransact")(printer, SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 1);
        value.assign(values, strnlen(values, sizeof values));
        return result;
    }

    static std::uint32_t StoredProtocol(const std::string &printer) {
        platform::RegistryKey key = nullptr;
        const std::string path = "Software\\Brelvin\\Palimar\\AdapterOnly\\" + printer;
        if (platform::OpenRegistryKey(path.c_str(), platform::kKeyRead, &key) != platform::kRegistrySuccess) return 0;
        std::uint32_t value = 0;
        std::uint32_t size = sizeof value;
        platform::QueryRegistryValue(key, "pProtocol", nullptr, &value, &size);
        platform::CloseRegistryKey(key);
        return value;
    }

    static HMODULE library_;
};

HMODULE DllTest::library_ = nullptr;

TEST_F(DllTest, ExportsEveryHelperFunctionUnderItsPlainName) {
    for (const char *name : kExports) {
        EXPECT_NE(::GetProcAddress(library_, name), nullptr) << name;
    }
    // A decorated name is not one.
    EXPECT_EQ(::GetProcAddress(library_, "HelperSNMPTransact@28"), nullptr);
    EXPECT_EQ(::GetProcAddress(library_, "_HelperSNMPTransact@28"), nullptr);
}

TEST_F(DllTest, DllMainJoinedTheGroupsAtLoad) {
    // Without DllMain's joined lists a group is refused as out of memory; with
    // them a known group goes on to the (unknown) printer, which no
    // transport reaches.
    TempRegistry registry;
    char values[8192] = {};
    uint32_t valueSize = sizeof values;
    const auto getObjects = Export<GetObjectsFn>("HelperGetSNMPObjects");
    EXPECT_EQ(getObjects("nobody", 99, values, &valueSize), SNMP_RESULT_VARBIND_LIST_FAILED);
    for (uint32_t group = 0; group <= 25; ++group) {
        valueSize = sizeof values;
        EXPECT_EQ(getObjects("nobody", group, values, &valueSize), SNMP_RESULT_SEND_FAILED) << group;
    }
}

TEST_F(DllTest, GetOverUdpThroughWinesWinsock) {
    TempRegistry registry(PrinterHive("lab", "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n"
                                             "\"IP Address\"=\"127.0.0.1\"\n\"MAC Address\"=\"\"\n") +
                          kQuickSettings);
    std::string value;
    ASSERT_EQ(GetSysName("lab", value), SNMP_RESULT_OK);
    EXPECT_NE(value.find("2,"), std::string::npos) << value;  // an OCTET STRING
}

TEST_F(DllTest, DlcIsUnavailableSoADlcOnlyPrinterIsNotReached) {
    TempRegistry registry(PrinterHive("dlc", "\"cProtocols\"=dword:00000004\n\"pProtocol\"=dword:00000004\n"
                                             "\"MAC Address\"=\"0000C0A1B2C3\"\n") +
                          kQuickSettings);
    std::string value;
    EXPECT_NE(GetSysName("dlc", value), SNMP_RESULT_OK);
    EXPECT_EQ(::GetModuleHandleA("dlcapi.dll"), nullptr);
}

TEST_F(DllTest, AnIpxPrinterFallsBackToIpAndTheSwitchIsStored) {
    TempRegistry registry(PrinterHive("both", "\"cProtocols\"=dword:00000003\n\"pProtocol\"=dword:00000001\n"
                                              "\"IPX Address\"=\"0000000000A0C9123456\"\n"
                                              "\"IP Address\"=\"127.0.0.1\"\n\"MAC Address\"=\"\"\n") +
                          kQuickSettings);
    std::string value;
    ASSERT_EQ(GetSysName("both", value), SNMP_RESULT_OK);
    EXPECT_EQ(StoredProtocol("both"), 2U);  // IP
}

}  // namespace
}  // namespace snmphelper
