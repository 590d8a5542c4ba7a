// SPDX-License-Identifier: Apache-2.0
// Trap destination registration with the set requests caught before they
// reach a printer: which requests, in which order, with which identifier and
// value lists (byte for byte), and what the registration returns for each
// answer. The printers' records come from a temporary registry; the address
// probes are scripted, except in the tests of the probes themselves.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/platform_folder.h"
#include "tests/support/temp_registry.h"
#include "tests/support/udp_peer.h"
#include "traps/trap_registration.h"
#include "transact/packet_forming.h"
#include "transact/response_extraction.h"

namespace snmphelper {
namespace {

constexpr char kIndex[] = "0.0.76.16.32.255";  // the node bytes 00 00 4C 10 20 FF
const std::string kEntry = "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1";

std::string Cell(unsigned column, const std::string &index = kIndex) {
    return kEntry + "." + std::to_string(column) + "." + index;
}

// --- The caught requests ------------------------------------------------------

struct SetRequest {
    std::string printer;
    std::int32_t requestType = -1;
    std::string oids;          // the bindings' names, joined as HelperSNMPTransact takes them
    std::uint16_t messageRoom = 0;
    std::string values;        // the bindings' values as a value list, byte for byte
    std::uint32_t count = 0;
};

std::vector<SetRequest> requests;
std::vector<std::int32_t> answers;  // result of each request in turn; 0 past the end

// Catches the typed request and writes it down in the text form of
// HelperSNMPTransact's lists, with the library's own rendering of a binding.
std::int32_t CatchTransact(const char *printer, std::int32_t requestType, std::span<const SnmpVarBind> bindings,
                           std::uint16_t messageRoom) {
    SetRequest request;
    request.printer = printer;
    request.requestType = requestType;
    request.messageRoom = messageRoom;
    SnmpReqParam record{};
    record.varBindCount = static_cast<std::uint16_t>(bindings.size());
    record.varBinds = const_cast<SnmpVarBind *>(bindings.data());
    char oidList[512] = {};
    std::uint32_t oidSize = sizeof oidList;
    char valueList[256] = {};
    std::uint32_t valueSize = sizeof valueList;
    EXPECT_TRUE(ExtractReplyValues(record, nullptr, oidList, &oidSize, valueList, &valueSize));
    request.oids = oidList;
    std::string values(valueList, sizeof valueList);
    values.erase(values.find_last_not_of('\0') + 1);
    request.values = values;
    request.count = static_cast<std::uint32_t>(bindings.size());
    const std::size_t turn = requests.size();
    requests.push_back(request);
    return turn < answers.size() ? answers[turn] : 0;
}

// --- Scripted probes and index --------------------------------------------------

std::array<std::uint8_t, 4> ipAddress{192, 168, 1, 20};
std::array<std::uint8_t, 10> ipxAddress{0x00, 0x00, 0x00, 0x01, 0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
bool ipProbeWorks = true;
bool ipxProbeWorks = true;
bool indexWorks = true;
int ipProbes = 0;
std::string probedPrinterAddress;  // what the IP probe was asked to reach
int ipxProbes = 0;
int indexCalls = 0;

bool ScriptedIp(const char *printerAddress, std::uint8_t *address) {
    ++ipProbes;
    probedPrinterAddress = printerAddress;
    if (ipProbeWorks) std::memcpy(address, ipAddress.data(), ipAddress.size());
    return ipProbeWorks;
}
bool ScriptedIpx(std::uint8_t *address) {
    ++ipxProbes;
    if (ipxProbeWorks) std::memcpy(address, ipxAddress.data(), ipxAddress.size());
    return ipxProbeWorks;
}
bool ScriptedIndex(char *text, std::size_t room) {
    ++indexCalls;
    if (!indexWorks) return false;
    std::snprintf(text, room, "%s", kIndex);
    return true;
}

constexpr TrapRegistrationServices kScripted{CatchTransact, ScriptedIndex, ScriptedIp, ScriptedIpx};

std::string Dword(const char *name, int value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, static_cast<unsigned>(value));
    return line;
}

// Printer "lab"; pProtocol < 0 leaves it out, mac false the MAC Address.
std::string LabHive(int cProtocols, int pProtocol, bool mac = true) {
    std::string values = Dword("cProtocols", cProtocols);
    if (pProtocol >= 0) values += Dword("pProtocol", pProtocol);
    values += "\"IP Address\"=\"127.0.0.1\"\n\"IPX Address\"=\"0000000100C0FFEE0001\"\n";
    if (mac) values += "\"MAC Address\"=\"00C0FFEE0001\"\n";
    return test::PrinterHive("lab", values);
}

class TrapRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        requests.clear();
        answers.clear();
        ipAddress = {192, 168, 1, 20};
        ipxAddress = {0x00, 0x00, 0x00, 0x01, 0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
        ipProbeWorks = ipxProbeWorks = indexWorks = true;
        ipProbes = ipxProbes = indexCalls = 0;
        probedPrinterAddress.clear();
    }

    void UseLab(int cProtocols, int pProtocol, bool mac = true) {
        registry_.reset();
        registry_ = std::make_unique<test::TempRegistry>(LabHive(cProtocols, pProtocol, mac));
    }

    std::unique_ptr<test::TempRegistry> registry_;
};

// Every request is a set, its message bounded as by the lists' full rooms.
void ExpectSetsWithFullRooms() {
    for (const SetRequest &request : requests) {
        EXPECT_EQ(request.printer, "lab");
        EXPECT_EQ(request.requestType, SNMP_REQUEST_SET);
        EXPECT_EQ(request.messageRoom, PacketBufferSize(512, 256));
    }
}

// --- The row request, by the protocols that pass their probes ----------------------

struct RowCase {
    const char *name;
    int cProtocols;
    int pProtocol;
    bool ipWorks;
    bool ipxWorks;
    std::vector<unsigned> columns;  // of the row request, in order
    std::string values;             // of the row request, byte for byte
};

const std::string kIpxNetwork("\x00\x00\x00\x01", 4);

const RowCase kRowCases[] = {
    // The worked example: IP 192.168.1.20, protocol set 3, pProtocol 2.
    {"IpAndIpx", 3, 2, true, true, {2, 3, 5, 4}, "3,192.168.1.20,2,4," + kIpxNetwork + ",1,3,1,2"},
    {"DlcOnly", 4, 4, true, true, {5, 4}, "1,4,1,4"},
    {"IpxOnly", 1, 1, true, true, {3, 5, 4}, "2,4," + kIpxNetwork + ",1,1,1,1"},
    {"IpOnly", 2, 2, true, true, {2, 5, 4}, "3,192.168.1.20,1,2,1,2"},
    {"AllThree", 7, 2, true, true, {2, 3, 5, 4}, "3,192.168.1.20,2,4," + kIpxNetwork + ",1,7,1,2"},
    // A failed probe leaves its protocol and column out; DLC is never probed.
    {"IpProbeFails", 7, 4, false, true, {3, 5, 4}, "2,4," + kIpxNetwork + ",1,5,1,4"},
    {"IpxProbeFails", 7, 4, true, false, {2, 5, 4}, "3,192.168.1.20,1,6,1,4"},
    {"BothProbesFailWithDlc", 7, 4, false, false, {5, 4}, "1,4,1,4"},
    // pProtocol absent from the key reads as 0.
    {"NoPreferredProtocol", 2, -1, true, true, {2, 5, 4}, "3,192.168.1.20,1,2,1,0"},
};

class RowRequestTest : public TrapRegistrationTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(RowRequestTest, RegistrationSendsStateTwoTheRowThenStateOne) {
    const RowCase &row = GetParam();
    UseLab(row.cProtocols, row.pProtocol);
    ipProbeWorks = row.ipWorks;
    ipxProbeWorks = row.ipxWorks;
    ASSERT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", kScripted), 0);
    ASSERT_EQ(requests.size(), 3u);
    ExpectSetsWithFullRooms();
    EXPECT_EQ(requests[0].oids, Cell(7));
    EXPECT_EQ(requests[0].values, "1,2");
    EXPECT_EQ(requests[0].count, 1u);

    std::string oids;
    for (unsigned column : row.columns) oids += (oids.empty() ? "" : ",") + Cell(column);
    EXPECT_EQ(requests[1].oids, oids);
    EXPECT_EQ(requests[1].values, row.values);
    EXPECT_EQ(requests[1].count, row.columns.size());

    EXPECT_EQ(requests[2].oids, Cell(7));
    EXPECT_EQ(requests[2].values, "1,1");
    EXPECT_EQ(requests[2].count, 1u);
    // Only the protocols of cProtocols are probed.
    EXPECT_EQ(ipProbes, (row.cProtocols & 2) != 0 ? 1 : 0);
    EXPECT_EQ(ipxProbes, (row.cProtocols & 1) != 0 ? 1 : 0);
    // The IP probe asks for the address that reaches this printer.
    EXPECT_EQ(probedPrinterAddress, (row.cProtocols & 2) != 0 ? "127.0.0.1" : "");
}

INSTANTIATE_TEST_SUITE_P(Protocols, RowRequestTest, ::testing::ValuesIn(kRowCases),
                         [](const ::testing::TestParamInfo<RowCase> &param) { return param.param.name; });

// The OCTET STRING goes by its length: zero bytes and commas (2C) in the
// network number, also at its edges, reach the printer unchanged.
TEST_F(TrapRegistrationTest, IpxNetworkNumbersWithZeroAndCommaBytesAreCarriedUnchanged) {
    const std::array<std::array<std::uint8_t, 4>, 5> networks = {{{0x00, 0x2C, 0x00, 0x2C},
                                                                  {0x2C, 0x2C, 0x2C, 0x2C},
                                                                  {0x00, 0x00, 0x00, 0x00},
                                                                  {0x12, 0x00, 0x2C, 0x00},
                                                                  {0xFF, 0x2C, 0x31, 0x2C}}};
    UseLab(1, 1);
    for (const auto &network : networks) {
        requests.clear();
        std::memcpy(ipxAddress.data(), network.data(), 4);
        ASSERT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", kScripted), 0);
        ASSERT_EQ(requests.size(), 3u);
        const std::string expected =
            "2,4," + std::string(reinterpret_cast<const char *>(network.data()), 4) + ",1,1,1,1";
        EXPECT_EQ(requests[1].values, expected);
        EXPECT_EQ(requests[1].count, 3u);
    }
}

// --- Nothing sent ----------------------------------------------------------------------

TEST_F(TrapRegistrationTest, NoProtocolsGiveTheFailureWithoutAnyRequest) {
    for (std::int32_t action : {SNMP_TRAP_REGISTER, SNMP_TRAP_WITHDRAW}) {
        UseLab(0, 2);
        EXPECT_EQ(RegisterTrapDestination(action, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
        // Bits that name no protocol count as none.
        UseLab(8, 2);
        EXPECT_EQ(RegisterTrapDestination(action, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    }
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(ipProbes + ipxProbes, 0);
}

TEST_F(TrapRegistrationTest, EveryProbeFailingGivesTheFailureWithoutAnyRequest) {
    ipProbeWorks = ipxProbeWorks = false;
    for (std::int32_t action : {SNMP_TRAP_REGISTER, SNMP_TRAP_WITHDRAW}) {
        for (int protocols : {1, 2, 3}) {
            UseLab(protocols, 2);
            EXPECT_EQ(RegisterTrapDestination(action, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED)
                << protocols;
        }
    }
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(ipProbes, 4);
    EXPECT_EQ(ipxProbes, 4);
}

TEST_F(TrapRegistrationTest, AnUnreadableRecordGivesTheFailureWithoutProbeOrRequest) {
    UseLab(3, 2, /*mac=*/false);
    EXPECT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_EQ(RegisterTrapDestination(SNMP_TRAP_WITHDRAW, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "absent", kScripted),
              SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, nullptr, kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(ipProbes + ipxProbes, 0);
    EXPECT_EQ(indexCalls, 0);
}

TEST_F(TrapRegistrationTest, WithoutARowIndexNothingIsSent) {
    UseLab(2, 2);
    indexWorks = false;
    EXPECT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_EQ(RegisterTrapDestination(SNMP_TRAP_WITHDRAW, "lab", kScripted), SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_TRUE(requests.empty());
}

// --- Results ------------------------------------------------------------------------

struct ResultCase {
    const char *name;
    std::int32_t action;
    std::vector<std::int32_t> answers;
    std::vector<std::string> stateValues;  // of the column 7 requests, in order
    std::size_t requestCount;
    std::int32_t result;
};

const ResultCase kResultCases[] = {
    {"Registered", 1, {0, 0, 0}, {"1,2", "1,1"}, 3, 0},
    // Nothing more once the row cannot be marked as being filled.
    {"FirstStateWriteFails", 1, {SNMP_RESULT_NO_REPLY}, {"1,2"}, 1, SNMP_RESULT_TRAP_REGISTRATION_FAILED},
    {"FirstStateWriteRefused", 1, {SNMP_RESULT_ERROR_STATUS}, {"1,2"}, 1, SNMP_RESULT_TRAP_REGISTRATION_FAILED},
    // A refused row is withdrawn; the registration still reports the refusal.
    {"RowRefusedWithdrawalAccepted", 1, {0, SNMP_RESULT_ERROR_STATUS, 0}, {"1,2", "1,4"}, 3,
     SNMP_RESULT_ERROR_STATUS},
    {"RowUnansweredWithdrawalAccepted", 1, {0, SNMP_RESULT_NO_REPLY, 0}, {"1,2", "1,4"}, 3, SNMP_RESULT_NO_REPLY},
    {"RowRefusedWithdrawalFails", 1, {0, SNMP_RESULT_ERROR_STATUS, SNMP_RESULT_SEND_FAILED}, {"1,2", "1,4"}, 3,
     SNMP_RESULT_ERROR_STATUS},
    {"CompletionFails", 1, {0, 0, SNMP_RESULT_NO_REPLY}, {"1,2", "1,1"}, 3, SNMP_RESULT_NO_REPLY},
    {"Withdrawn", 0, {0}, {"1,4"}, 1, 0},
    {"WithdrawnByAnyOtherAction", 7, {0}, {"1,4"}, 1, 0},
    {"WithdrawnByNegativeAction", -1, {0}, {"1,4"}, 1, 0},
    {"WithdrawalRefused", 0, {SNMP_RESULT_ERROR_STATUS}, {"1,4"}, 1, SNMP_RESULT_ERROR_STATUS},
};

class ResultTest : public TrapRegistrationTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ResultTest, RequestsAndResultFollowThePrintersAnswers) {
    const ResultCase &expected = GetParam();
    UseLab(3, 2);
    answers = expected.answers;
    EXPECT_EQ(RegisterTrapDestination(expected.action, "lab", kScripted), expected.result);
    ASSERT_EQ(requests.size(), expected.requestCount);
    ExpectSetsWithFullRooms();
    std::vector<std::string> stateValues;
    for (const SetRequest &request : requests) {
        if (request.oids == Cell(7)) stateValues.push_back(request.values);
    }
    EXPECT_EQ(stateValues, expected.stateValues);
    // A withdrawal probes like a registration.
    EXPECT_EQ(ipProbes, 1);
    EXPECT_EQ(ipxProbes, 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, ResultTest, ::testing::ValuesIn(kResultCases),
                         [](const ::testing::TestParamInfo<ResultCase> &param) { return param.param.name; });

// --- The row index -------------------------------------------------------------------

bool IsRowIndex(const std::string &index) {
    unsigned parts = 0;
    std::size_t position = 0;
    while (position <= index.size()) {
        const std::size_t dot = std::min(index.find('.', position), index.size());
        const std::string part = index.substr(position, dot - position);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(part) > 255 || (part.size() > 1 && part[0] == '0'))
            return false;
        ++parts;
        position = dot + 1;
    }
    return parts == 6;
}

TEST(TrapRowIndexTest, EveryCallGivesTheSameSixNumbers) {
    char first[kTrapRowIndexRoom];
    ASSERT_TRUE(FormatTrapRowIndex(first, sizeof first));
    EXPECT_TRUE(IsRowIndex(first)) << first;
    for (int i = 0; i < 50; ++i) {
        char again[kTrapRowIndexRoom];
        ASSERT_TRUE(FormatTrapRowIndex(again, sizeof again));
        EXPECT_STREQ(again, first);
    }
}

TEST(TrapRowIndexTest, OtherProcessesGiveTheSameIndex) {
    char own[kTrapRowIndexRoom];
    ASSERT_TRUE(FormatTrapRowIndex(own, sizeof own));
    for (int i = 0; i < 2; ++i) {
        const test::ProgramRun run = test::RunSnmphelper({"traps", "index"});
        ASSERT_EQ(run.exitCode, 0) << run.out;
        EXPECT_EQ(run.out, std::string(own) + "\n");
    }
}

TEST(TrapRowIndexTest, TooSmallARoomIsRefused) {
    char index[kTrapRowIndexRoom];
    ASSERT_TRUE(FormatTrapRowIndex(index, sizeof index));
    char small[kTrapRowIndexRoom];
    EXPECT_FALSE(FormatTrapRowIndex(small, std::strlen(index)));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(FormatTrapRowIndex(small, std::strlen(index) + 1));
    EXPECT_FALSE(FormatTrapRowIndex(nullptr, 256));
}

// A withdrawal names the cell a registration wrote.
TEST_F(TrapRegistrationTest, WithdrawalReachesTheRowOfTheRegistration) {
    UseLab(2, 2);
    TrapRegistrationServices services = kScripted;
    services.rowIndex = FormatTrapRowIndex;
    ASSERT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", services), 0);
    ASSERT_EQ(RegisterTrapDestination(SNMP_TRAP_WITHDRAW, "lab", services), 0);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].oids, requests[3].oids);
    EXPECT_EQ(requests[2].oids, requests[3].oids);
    EXPECT_EQ(requests[3].values, "1,4");
    char index[kTrapRowIndexRoom];
    ASSERT_TRUE(FormatTrapRowIndex(index, sizeof index));
    EXPECT_EQ(requests[3].oids, Cell(7, index));
}

// --- The probes and the address text ----------------------------------------------------

// The stand-in WinSock's getsockname answers network 12345678, node 020000ABCDEF.
TEST(TrapProbeTest, IpxProbeReportsTheBoundSocketsAddress) {
    const test::PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock", "wsock32.so"));
    std::array<std::uint8_t, 10> address{};
    ASSERT_TRUE(ProbeLocalIpxAddress(address.data()));
    EXPECT_EQ(address, (std::array<std::uint8_t, 10>{0x12, 0x34, 0x56, 0x78, 0x02, 0x00, 0x00, 0xAB, 0xCD, 0xEF}));
}

TEST(TrapProbeTest, IpxProbeFailsWithoutWinsock) {
    const test::PlatformFolder empty;
    std::array<std::uint8_t, 10> address{};
    EXPECT_FALSE(ProbeLocalIpxAddress(address.data()));
}

TEST(TrapProbeTest, IpProbeReportsTheFirstAddressOfTheHostsName) {
    const auto expected = test::FirstIpv4AddressOf(test::HostName().c_str());
    if (!expected) GTEST_SKIP() << "this host's name resolves to no IPv4 address";
    std::array<std::uint8_t, 4> address{};
    ASSERT_TRUE(ProbeLocalIpAddress(address.data()));
    EXPECT_EQ(std::vector<std::uint8_t>(address.begin(), address.end()), *expected);
}

// A printer on loopback may send to a loopback address: the name's address stays.
TEST(TrapProbeTest, ForAPrinterOnLoopbackTheNamesAddressStays) {
    const auto expected = test::FirstIpv4AddressOf(test::HostName().c_str());
    if (!expected) GTEST_SKIP() << "this host's name resolves to no IPv4 address";
    std::array<std::uint8_t, 4> address{};
    ASSERT_TRUE(ProbeTrapIpAddress("127.0.0.1", address.data()));
    EXPECT_EQ(std::vector<std::uint8_t>(address.begin(), address.end()), *expected);
}

// With the stand-in WinSock the real probes end in the row request.
TEST_F(TrapRegistrationTest, RegistrationWritesTheNetworkNumberTheIpxTransportReports) {
    const test::PlatformFolder folder;
    ASSERT_TRUE(folder.Install("fake_winsock", "wsock32.so"));
    UseLab(1, 1);
    TrapRegistrationServices services = kScripted;
    services.probeIpx = ProbeLocalIpxAddress;
    ASSERT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", services), 0);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].values, std::string("2,4,\x12\x34\x56\x78,1,1,1,1"));
}

TEST_F(TrapRegistrationTest, WithoutWinsockTheIpColumnStillGetsTheAddress) {
    const test::PlatformFolder empty;
    UseLab(2, 2);
    ASSERT_EQ(RegisterTrapDestination(SNMP_TRAP_REGISTER, "lab", kScripted), 0);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].values, "3,192.168.1.20,1,2,1,2");
}

// --- The export ------------------------------------------------------------------------

TEST(TrapRegistrationExportTest, AnUnknownPrinterGivesTheFailure) {
    const test::TempRegistry registry(LabHive(2, 2));
    EXPECT_EQ(HelperSNMPRegisterTrapDestination(SNMP_TRAP_REGISTER, "absent", 0, 0),
              SNMP_RESULT_TRAP_REGISTRATION_FAILED);
    EXPECT_EQ(HelperSNMPRegisterTrapDestination(SNMP_TRAP_WITHDRAW, nullptr, 0, 0),
              SNMP_RESULT_TRAP_REGISTRATION_FAILED);
}

}  // namespace
}  // namespace snmphelper
