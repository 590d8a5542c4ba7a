// SPDX-License-Identifier: Apache-2.0
// Transactions end to end over real UDP on 127.0.0.1:161 of a private
// network namespace, against the printer simulator (scripted to misbehave),
// with the printers and timing in a temporary registry. The transactions
// against net-snmp's snmpd are in snmpd_interop_netns_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library/library_entry.h"
#include "groups/object_groups.h"
#include "platform/heap.h"
#include "platform/registry.h"
#include "snmphelper.h"
#include "tests/support/ber_build.h"
#include "tests/support/child_process.h"
#include "tests/support/debug_capture.h"
#include "tests/support/heap_faults.h"
#include "tests/support/temp_registry.h"
#include "tests/support/udp_peer.h"
#include "transact/channel.h"
#include "transact/request_id.h"
#include "transact/transaction_engine.h"

namespace snmphelper {
namespace {

using test::PrinterSimulator;
using test::TempRegistry;

constexpr char kSysName[] = "1.3.6.1.2.1.1.5.0";
constexpr char kSysLocation[] = "1.3.6.1.2.1.1.6.0";
constexpr char kSysContact[] = "1.3.6.1.2.1.1.4.0";
// The simulator's built-in printer.
constexpr char kSimSysName[] = "PALIMAR-4100";

// --- Registry --------------------------------------------------------------

struct PrinterEntry {
    std::string name;
    int cProtocols;
    int pProtocol;  // < 0: value absent
    std::string ipAddress = "127.0.0.1";
};

std::string Dword(const char *name, int value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, static_cast<unsigned>(value));
    return line;
}

// A hive with the printers and, when timeout >= 0, the Snmp settings.
std::string Hive(const std::vector<PrinterEntry> &printers, int timeout, int retries) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (const PrinterEntry &printer : printers) {
        std::string values = Dword("cProtocols", printer.cProtocols);
        if (printer.pProtocol >= 0) values += Dword("pProtocol", printer.pProtocol);
        values += "\"IP Address\"=\"" + printer.ipAddress + "\"\n";
        values += "\"IPX Address\"=\"0000000100C0FFEE0001\"\n";
        values += "\"MAC Address\"=\"00C0FFEE0001\"\n";
        hive += test::PrinterKey(printer.name, values);
    }
    if (timeout >= 0) {
        hive += "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n" + Dword("UdpTimeOutInterval", timeout) +
                Dword("UdpTotalRetries", retries) + "\n";
    }
    return hive;
}

std::uint32_t StoredProtocol(const std::string &printer) {
    const std::string path = std::string("Software\\Brelvin\\Palimar\\AdapterOnly\\") + printer;
    platform::RegistryKey key = nullptr;
    if (platform::OpenRegistryKey(path.c_str(), platform::kKeyRead, &key) != 0) return 0xFFFFFFFF;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    const std::int32_t read = platform::QueryRegistryValue(key, "pProtocol", nullptr, &value, &size);
    platform::CloseRegistryKey(key);
    return read == 0 ? value : 0xFFFFFFFF;
}

// --- Transport observation ---------------------------------------------------

struct CreatedTransport {
    std::uint32_t protocol;
    std::int32_t timeoutSeconds;
};
std::mutex createdMutex;
std::vector<CreatedTransport> created;

void RecordTransport(std::uint32_t protocol, std::int32_t timeoutSeconds) {
    std::lock_guard<std::mutex> lock(createdMutex);
    created.push_back({protocol, timeoutSeconds});
}

std::vector<std::uint32_t> CreatedProtocols() {
    std::lock_guard<std::mutex> lock(createdMutex);
    std::vector<std::uint32_t> protocols;
    for (const CreatedTransport &transport : created) protocols.push_back(transport.protocol);
    return protocols;
}

// --- Calls -----------------------------------------------------------------

struct Outcome {
    std::int32_t result = -1;
    std::string identifiers;  // the identifier buffer up to its first zero byte
    std::string values;       // valueSize characters of the value buffer (all of it when larger)
    std::uint32_t valueSize = 0;
};

// Runs a transaction with buffers of the given rooms; `valueText` fills the
// value buffer first (set requests).
Outcome Transact(const char *printer, std::int32_t requestType, const std::string &oids, std::uint32_t count,
                 std::uint32_t valueRoom = 512, const std::string &valueText = "",
                 std::uint32_t oidRoom = 512) {
    std::string oidBuffer = oids;
    oidBuffer.resize(std::max<std::size_t>(oidRoom, oids.size() + 1), '\0');
    std::string valueBuffer = valueText;
    valueBuffer.resize(std::max<std::size_t>(valueRoom, valueText.size()) + 1, '#');
    if (valueText.size() < valueRoom) valueBuffer[valueText.size()] = '\0';
    Outcome outcome;
    outcome.valueSize = valueRoom;
    outcome.result = HelperSNMPTransact(printer, requestType, oidBuffer.data(), oidRoom, valueBuffer.data(),
                                        &outcome.valueSize, count);
    outcome.identifiers = oidBuffer.c_str();
    outcome.values.assign(valueBuffer.data(), std::min<std::size_t>(outcome.valueSize, valueRoom));
    return outcome;
}

Outcome Get(const std::string &oids, std::uint32_t count = 1, std::uint32_t valueRoom = 512) {
    return Transact("lab", SNMP_REQUEST_GET, oids, count, valueRoom);
}

// The value text's items, each "type,value" (an OCTET STRING item taken by its length).
std::vector<std::string> Items(const std::string &text) {
    std::vector<std::string> items;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t typeEnd = text.find(',', position);
        if (typeEnd == std::string::npos) break;
        std::size_t end;
        if (text.compare(position, typeEnd - position, "2") == 0) {
            const std::size_t lengthEnd = text.find(',', typeEnd + 1);
            end = lengthEnd + 1 + std::stoul(text.substr(typeEnd + 1, lengthEnd - typeEnd - 1));
        } else {
            end = std::min(text.find(',', typeEnd + 1), text.size());
        }
        items.push_back(text.substr(position, end - position));
        position = end + 1;
    }
    return items;
}

char moduleToken;

class TransactionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LibraryEntry(&moduleToken, kProcessAttach); }

    void SetUp() override {
        std::lock_guard<std::mutex> lock(createdMutex);
        created.clear();
        SetTransportCreatedObserver(RecordTransport);
    }
    void TearDown() override { SetTransportCreatedObserver(nullptr); }

    // A registry with printer "lab" (IP only) and the given timing.
    void UseLab(int timeout = 1, int retries = 0, int cProtocols = 2, int pProtocol = 2,
                const std::string &ip = "127.0.0.1") {
        UseHive(Hive({{"lab", cProtocols, pProtocol, ip}}, timeout, retries));
    }

    // Each registry restores the environment it found when it goes: the old
    // one goes before the new one comes.
    void UseHive(const std::string &hive) {
        registry_.reset();
        registry_ = std::make_unique<TempRegistry>(hive);
    }

    // A simulator with `arguments`, waited for.
    PrinterSimulator &StartSim(const std::vector<std::string> &arguments = {}) {
        sim_.reset();  // port 161 is free again before the next one binds it
        sim_ = std::make_unique<PrinterSimulator>(arguments);
        EXPECT_TRUE(sim_->Ready());
        return *sim_;
    }

    // An objects file for the simulator, in the registry's temporary folder.
    std::string WriteObjects(const std::string &lines) const {
        const std::string path = registry_->Folder() + "/objects.txt";
        std::ofstream(path) << lines;
        return path;
    }

    std::unique_ptr<TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

// --- Replies ----------------------------------------------------------------

TEST_F(TransactionTest, GetWritesTheReplyAsTextIntoTheCallersBuffers) {
    UseLab();
    StartSim();
    const Outcome one = Get(kSysName);
    EXPECT_EQ(one.result, 0);
    EXPECT_EQ(one.identifiers, kSysName);
    EXPECT_EQ(one.values, "2,12,PALIMAR-4100");
    EXPECT_EQ(one.valueSize, 17u);

    // An identifier room of exactly the text and its terminator suffices.
    const std::string two = std::string(kSysName) + "," + kSysLocation;
    const Outcome both =
        Transact("lab", SNMP_REQUEST_GET, two, 2, 512, "", static_cast<std::uint32_t>(two.size() + 1));
    EXPECT_EQ(both.result, 0);
    EXPECT_EQ(both.identifiers, two);
    EXPECT_EQ(Items(both.values).size(), 2u);
}

TEST_F(TransactionTest, GetNextNamesTheFollowingObject) {
    UseLab();
    StartSim();
    const Outcome next = Transact("lab", SNMP_REQUEST_GET_NEXT, "1.3.6.1.2.1.1", 1);
    EXPECT_EQ(next.result, 0);
    EXPECT_EQ(next.identifiers, "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(next.values.rfind("2,", 0), 0u);
}

TEST_F(TransactionTest, ForeignRequestIdsAreRetriedUpToTheRetryCount) {
    for (int retries : {0, 2}) {
        SCOPED_TRACE(retries);
        UseLab(1, retries);
        PrinterSimulator &sim = StartSim({"--fault", "foreign-id"});
        EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_NO_REPLY);
        const auto sends = static_cast<std::size_t>(retries + 1);
        EXPECT_EQ(sim.WaitForLogLines(sends), sends);
        // The same message each time: one request-id in every line.
        const std::vector<std::string> lines = sim.LogLines();
        ASSERT_FALSE(lines.empty());
        const std::string id = lines[0].substr(lines[0].find(" id="), lines[0].find(" oids=") - lines[0].find(" id="));
        for (const std::string &line : lines) EXPECT_NE(line.find(id), std::string::npos) << line;
        sim_.reset();
    }
}

TEST_F(TransactionTest, UndecodableRepliesAreRetriedThenReported) {
    UseLab(1, 1);
    PrinterSimulator &sim = StartSim({"--fault", "garbage"});
    EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_DECODE_FAILED);
    EXPECT_EQ(sim.WaitForLogLines(2), 2u);
}

TEST_F(TransactionTest, ErrorStatusTwoIsReportedAndFiveCountsAsSuccessWithBuffersUntouched) {
    UseLab();
    StartSim({"--fault", "error-status:2:1"});
    const Outcome noSuchName = Transact("lab", SNMP_REQUEST_GET, kSysName, 1, 64, "untouched");
    EXPECT_EQ(noSuchName.result, SNMP_RESULT_ERROR_STATUS);
    EXPECT_EQ(noSuchName.valueSize, 64u);
    EXPECT_EQ(std::string(noSuchName.values.c_str()), "untouched");

    StartSim({"--fault", "error-status:5:1"});
    const Outcome genErr = Transact("lab", SNMP_REQUEST_GET, kSysName, 1, 64, "untouched");
    EXPECT_EQ(genErr.result, 0);
    EXPECT_EQ(genErr.valueSize, 64u);
    EXPECT_EQ(std::string(genErr.values.c_str()), "untouched");
}

TEST_F(TransactionTest, ASetWhoseEchoDoesNotFitSucceedsWhereAGetFails) {
    UseLab();
    StartSim();
    // The room holds the value text but not its terminator: the request is
    // formed from it, the reply's text cannot be written back.
    const std::string value = "2,7,Room 42";
    const auto room = static_cast<std::uint32_t>(value.size());
    EXPECT_EQ(Transact("lab", SNMP_REQUEST_SET, kSysLocation, 1, room, value).result, 0);
    const Outcome tooSmall = Transact("lab", SNMP_REQUEST_GET, kSysLocation, 1, room);
    EXPECT_EQ(tooSmall.result, SNMP_RESULT_DOES_NOT_FIT);
    // The set took effect.
    EXPECT_EQ(Transact("lab", SNMP_REQUEST_GET, kSysLocation, 1, room + 1).values, value);
}

TEST_F(TransactionTest, ARequestOfUnknownTypeOrTooManyVariablesIsRefusedBeforeSending) {
    UseLab();
    PrinterSimulator &sim = StartSim();
    EXPECT_EQ(Transact("lab", 3, kSysName, 1).result, SNMP_RESULT_BAD_REQUEST_TYPE);
    EXPECT_EQ(Transact("lab", SNMP_REQUEST_GET, kSysName, 2).result, SNMP_RESULT_VARBIND_LIST_FAILED);
    EXPECT_TRUE(CreatedProtocols().empty());
    EXPECT_TRUE(sim.LogLines().empty());
}

// --- Waiting -----------------------------------------------------------------

TEST_F(TransactionTest, WithoutWaitingOnlyTheSendCountsAndNoReplyIsRead) {
    UseLab();
    PrinterSimulator &sim = StartSim();
    char oids[32];
    std::strcpy(oids, kSysName);
    char values[16] = "untouched";
    std::uint32_t valueSize = sizeof values;
    EXPECT_EQ(RunTransaction("lab", SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 1, false), 0);
    EXPECT_STREQ(values, "untouched");
    EXPECT_EQ(valueSize, sizeof values);
    EXPECT_EQ(sim.WaitForLogLines(1), 1u);
}

TEST_F(TransactionTest, ASilentPrinterGivesNoReplyAfterTheChannelsResends) {
    // A timeout of 0 makes every wait a poll.
    UseLab(0, 5);
    PrinterSimulator &sim = StartSim({"--fault", "silent"});
    EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_NO_REPLY);
    // The send, then a re-send after each of the two failed receives; no
    // other protocol to switch to, and no new attempt for want of a reply.
    EXPECT_EQ(sim.WaitForLogLines(3), 3u);
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{2, 2, 2}));
}

TEST_F(TransactionTest, ASetWaitsTenSecondsPerReceiveWhateverTheConfigurationSays) {
    UseLab(1, 0);
    StartSim();
    Transact("lab", SNMP_REQUEST_SET, kSysLocation, 1, 64, "2,3,abc");
    Get(kSysName);
    UseHive(Hive({{"lab", 2, 2}}, -1, 0));
    Get(kSysName);
    std::lock_guard<std::mutex> lock(createdMutex);
    ASSERT_EQ(created.size(), 3u);
    EXPECT_EQ(created[0].timeoutSeconds, 10);
    EXPECT_EQ(created[1].timeoutSeconds, 1);
    EXPECT_EQ(created[2].timeoutSeconds, 15);  // no Snmp key: the default
}

// --- Protocols ---------------------------------------------------------------

// An address text inet_addr refuses becomes 255.255.255.255, which a
// transport without the broadcast option cannot send to.
constexpr char kUnsendableIp[] = "not-an-address";

TEST_F(TransactionTest, AFailingSendSwitchesProtocolsUpToThreeSends) {
    UseLab(1, 0, 6, 2, kUnsendableIp);
    EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_SEND_FAILED);
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{2, 4, 2}));
    EXPECT_EQ(StoredProtocol("lab"), 4u);
}

TEST_F(TransactionTest, ADlcPrinterThatAlsoHasIpIsReachedOverIpAndTheSwitchIsStored) {
    UseLab(1, 0, 6, 4);
    StartSim();
    const Outcome outcome = Get(kSysName);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.values, "2,12,PALIMAR-4100");
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{4, 2}));
    EXPECT_EQ(StoredProtocol("lab"), 2u);
}

TEST_F(TransactionTest, WithNoOtherProtocolTheSendResultIsReturnedAtOnce) {
    UseLab(1, 0, 2, 2, kUnsendableIp);
    EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_SEND_FAILED);
    EXPECT_EQ(CreatedProtocols(), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(StoredProtocol("lab"), 2u);
}

// Each transaction reads the registry as it is then, though it reads its
// settings and its printer's key from one reading: a hive renamed into place
// between two transactions, or rewritten in place, gives the next one its
// timing and its printer's address.
TEST_F(TransactionTest, EachTransactionReadsTheRegistryAsItIsThen) {
    UseLab(1, 0);
    StartSim();
    EXPECT_EQ(Get(kSysName).result, 0);
    const std::string replacement = registry_->Path() + ".new";
    std::ofstream(replacement) << Hive({{"lab", 2, 2, kUnsendableIp}}, 2, 0);
    ASSERT_EQ(std::rename(replacement.c_str(), registry_->Path().c_str()), 0);
    EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_SEND_FAILED);
    registry_->Write(Hive({{"lab", 2, 2}}, 3, 0));
    EXPECT_EQ(Get(kSysName).values, "2,12,PALIMAR-4100");
    std::lock_guard<std::mutex> lock(createdMutex);
    ASSERT_EQ(created.size(), 3u);
    EXPECT_EQ(created[0].timeoutSeconds, 1);
    EXPECT_EQ(created[1].timeoutSeconds, 2);
    EXPECT_EQ(created[2].timeoutSeconds, 3);
}

TEST_F(TransactionTest, WithoutPProtocolTheProtocolComesFromCProtocols) {
    struct Case {
        int cProtocols;
        std::vector<std::uint32_t> opened;
    };
    for (const Case &c : {Case{4, {4}}, Case{3, {2, 1, 2}}, Case{1, {1}}}) {
        SCOPED_TRACE(c.cProtocols);
        UseLab(0, 0, c.cProtocols, 0, kUnsendableIp);
        {
            std::lock_guard<std::mutex> lock(createdMutex);
            created.clear();
        }
        EXPECT_NE(Get(kSysName).result, 0);
        EXPECT_EQ(CreatedProtocols(), c.opened);
    }
    // No protocol at all: no transport can be opened.
    UseLab(0, 0, 0, 0);
    EXPECT_EQ(Get(kSysName).result, SNMP_RESULT_SEND_FAILED);
}

TEST_F(TransactionTest, AMissingPrinterKeyFailsWithoutTraffic) {
    UseLab();
    PrinterSimulator &sim = StartSim();
    EXPECT_EQ(Transact("nosuch", SNMP_REQUEST_GET, kSysName, 1).result, SNMP_RESULT_SEND_FAILED);
    EXPECT_TRUE(CreatedProtocols().empty());
    EXPECT_EQ(Get(kSysName).result, 0);  // the simulator listens, and the next request is the first it sees
    EXPECT_EQ(sim.WaitForLogLines(1), 1u);
    EXPECT_EQ(sim.LogLines().size(), 1u);
}

TEST_F(TransactionTest, ANullPrinterGivesNoReplyWithoutTakingARequestId) {
    UseLab();
    const std::int32_t before = NextRequestId();
    char oids[32];
    std::strcpy(oids, kSysName);
    std::uint32_t valueSize = 0;
    EXPECT_EQ(HelperSNMPTransact(nullptr, SNMP_REQUEST_GET, oids, sizeof oids, nullptr, &valueSize, 1),
              SNMP_RESULT_NO_REPLY);
    EXPECT_EQ(NextRequestId(), before + 1);
}

// --- Reply checks ------------------------------------------------------------

// The request-id item (INTEGER TLV) of a request the library formed: it
// comes after the version and the community, all in short-form lengths.
test::Bytes RequestIdItem(const test::Bytes &request) {
    std::size_t at = 2;                      // SEQUENCE header
    at += 2 + request.at(at + 1);            // version
    at += 2 + request.at(at + 1);            // community
    at += 2;                                 // PDU header
    return test::Bytes(request.begin() + static_cast<std::ptrdiff_t>(at),
                       request.begin() + static_cast<std::ptrdiff_t>(at + 2 + request.at(at + 1)));
}

std::int64_t IntegerOf(const test::Bytes &item) {
    std::int64_t value = static_cast<std::int8_t>(item.at(2));
    for (std::size_t i = 3; i < item.size(); ++i) value = value * 256 + item[i];
    return value;
}

// A GetResponse to the request-id `idItem` giving sysName as `text`.
test::Bytes SysNameReply(const test::Bytes &idItem, const std::string &text) {
    const test::Bytes sysName = {0x2B, 6, 1, 2, 1, 1, 5, 0};
    const test::Bytes community = {'p', 'u', 'b', 'l', 'i', 'c'};
    return test::Message(community,
                         test::ResponsePdu(idItem, {0x02, 1, 0}, {0x02, 1, 0},
                                           {test::VarBind(sysName, test::Tlv(0x04, test::Bytes(text.begin(), text.end())))}));
}

// A datagram from another port or another address, sent ahead of the
// printer's own answer, is taken as the answer by default and dropped with
// bit 0 of ReplyChecks; with bit 1 the first request-id is not 1.
TEST_F(TransactionTest, ReplyChecksDropDatagramsFromElsewhereAndMoveTheFirstRequestId) {
    const struct Case {
        int replyChecks;  // < 0: no value
        const char *forgerAddress;
        std::uint16_t forgerPort;  // 0: any
        const char *answer;
    } cases[] = {
        {-1, "127.0.0.1", 0, "forged"},    // the default: any sender
        {0, "127.0.0.1", 0, "forged"},
        {2, "127.0.0.1", 0, "forged"},     // ids only
        {1, "127.0.0.1", 0, "genuine"},    // another port
        {1, "127.0.0.2", 161, "genuine"},  // the agent port of another address
        {3, "127.0.0.1", 0, "genuine"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "ReplyChecks " << c.replyChecks << " from " << c.forgerAddress);
        std::string hive = Hive({{"lab", 2, 2}}, 2, 0);
        if (c.replyChecks >= 0) hive += Dword("ReplyChecks", c.replyChecks);
        UseHive(hive);
        ResetRequestIds();
        test::UdpPeer agent(161);
        test::UdpPeer forger(c.forgerPort, c.forgerAddress);
        ASSERT_TRUE(agent.Bound() && forger.Bound());
        std::int64_t requestId = 0;
        std::thread printer([&] {
            const auto request = agent.Receive();
            if (!request) return;
            const test::Bytes idItem = RequestIdItem(request->bytes);
            requestId = IntegerOf(idItem);
            forger.SendTo(SysNameReply(idItem, "forged"), request->fromPort);
            agent.SendTo(SysNameReply(idItem, "genuine"), request->fromPort);
        });
        const Outcome outcome = Get(kSysName);
        printer.join();
        EXPECT_EQ(outcome.result, 0);
        EXPECT_EQ(Items(outcome.values), std::vector<std::string>{std::string("2,") +
                                                                  std::to_string(std::strlen(c.answer)) + "," + c.answer});
        EXPECT_EQ(requestId == 1, c.replyChecks < 0 || (c.replyChecks & 2) == 0) << requestId;
    }
}

// A flood from elsewhere that never stops is never taken as the answer, and
// does not hold the wait open: the transaction ends as with a silent printer.
TEST_F(TransactionTest, AnEndlessFloodFromElsewhereEndsInNoReply) {
    UseHive(Hive({{"lab", 2, 2}}, 1, 0) + Dword("ReplyChecks", 1));
    test::UdpPeer agent(161);
    test::UdpPeer forger;
    ASSERT_TRUE(agent.Bound() && forger.Bound());
    std::atomic<bool> done{false};
    std::thread flood([&] {
        test::Bytes reply;
        std::uint16_t port = 0;
        while (!done) {
            if (const auto request = agent.Receive(port == 0 ? 100 : 0)) {
                reply = SysNameReply(RequestIdItem(request->bytes), "forged");
                port = request->fromPort;
            }
            for (int i = 0; port != 0 && i < 8; ++i) forger.SendTo(reply, port);
        }
    });
    const Outcome outcome = Get(kSysName);
    done = true;
    flood.join();
    EXPECT_EQ(outcome.result, SNMP_RESULT_NO_REPLY);
}

// Malformed replies that carry the request's own request-id, sent by a
// scripted agent on port 161: each is refused as undecodable, or taken when
// its encoding is one the decoders read, and nothing else is sent or taken.
TEST_F(TransactionTest, MalformedRepliesWithTheRightRequestIdAreReportedAsUndecodable) {
    const test::Bytes sysName = {0x2B, 6, 1, 2, 1, 1, 5, 0};
    const test::Bytes abc = {0x04, 3, 'a', 'b', 'c'};
    // The reply's PDU around `varBinds`, with the request's id item.
    const auto reply = [](const test::Bytes &idItem, const std::vector<test::Bytes> &varBinds) {
        return test::Message({}, test::ResponsePdu(idItem, {0x02, 1, 0}, {0x02, 1, 0}, varBinds));
    };
    const struct Case {
        const char *what;
        std::function<test::Bytes(const test::Bytes &idItem)> answer;
        std::int32_t result;
        const char *values;  // the value text, for result 0
    } cases[] = {
        {"an octet after the message",
         [&](const test::Bytes &id) { return test::Join({reply(id, {test::VarBind(sysName, abc)}), {0x00}}); },
         SNMP_RESULT_DECODE_FAILED, ""},
        {"41 bindings",
         [&](const test::Bytes &id) { return reply(id, std::vector<test::Bytes>(41, test::VarBind(sysName, abc))); },
         SNMP_RESULT_DECODE_FAILED, ""},
        {"a value of 300 nested SEQUENCEs",
         [&](const test::Bytes &id) {
             test::Bytes value = {0x05, 0x00};
             for (int level = 0; level < 300; ++level) value = test::Tlv(0x30, value);
             return reply(id, {test::VarBind(sysName, value)});
         },
         SNMP_RESULT_DECODE_FAILED, ""},
        {"a name arc of 2^32",
         [&](const test::Bytes &id) { return reply(id, {test::VarBind({0x2B, 0x90, 0x80, 0x80, 0x80, 0x00}, abc)}); },
         SNMP_RESULT_DECODE_FAILED, ""},
        {"a name without contents", [&](const test::Bytes &id) { return reply(id, {test::VarBind({}, abc)}); },
         0, "2,3,abc"},
        {"a message length of 2^32 - 1",
         [&](const test::Bytes &id) {
             const test::Bytes good = reply(id, {test::VarBind(sysName, abc)});
             return test::Join({{0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, test::Bytes(good.begin() + 2, good.end())});
         },
         SNMP_RESULT_DECODE_FAILED, ""},
        {"the request-id padded to five octets",
         [&](const test::Bytes &id) {
             test::Bytes padded = {0x02, 5, 0x00, 0x00, 0x00, 0x00, 0x00};
             const std::int64_t value = IntegerOf(id);
             for (int i = 0; i < 4; ++i) padded[static_cast<std::size_t>(6 - i)] = static_cast<std::uint8_t>(value >> (8 * i));
             return reply(padded, {test::VarBind(sysName, abc)});
         },
         0, "2,3,abc"},
        {"a Counter in nine octets",
         [&](const test::Bytes &id) {
             return reply(id, {test::VarBind(sysName, {0x41, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0x2A})});
         },
         0, "5,42"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        UseLab(1, 0);
        test::UdpPeer agent(161);
        ASSERT_TRUE(agent.Bound());
        std::size_t requests = 0;
        std::atomic<bool> done{false};
        std::thread printer([&] {
            while (!done) {
                const auto request = agent.Receive(50);
                if (request && ++requests == 1) agent.SendTo(c.answer(RequestIdItem(request->bytes)), request->fromPort);
            }
        });
        const Outcome outcome = Get(kSysName);
        done = true;
        printer.join();
        EXPECT_EQ(outcome.result, c.result);
        if (c.result == 0) {
            EXPECT_EQ(outcome.values, c.values);
        }
        EXPECT_EQ(requests, 1u) << "no retries were configured";
    }
}

// --- Concurrency ---------------------------------------------------------------

TEST_F(TransactionTest, TransactionsOnManyThreadsEachGetTheirOwnReply) {
    UseLab(2, 3);
    StartSim();
    const char *objects[] = {kSysName, kSysLocation, kSysContact, "1.3.6.1.2.1.1.7.0"};
    std::string expected[4];
    for (int i = 0; i < 4; ++i) expected[i] = Get(objects[i]).values;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                const int which = (t + round) % 4;
                const Outcome outcome = Get(objects[which]);
                if (outcome.result != 0 || outcome.values != expected[which] || outcome.identifiers != objects[which]) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// --- Object groups ---------------------------------------------------------------

TEST_F(TransactionTest, EveryObjectGroupComesBackWholeAndInItsOrder) {
    UseLab();
    StartSim();
    for (std::uint32_t group = 0; group < kObjectGroupCount; ++group) {
        SCOPED_TRACE(group);
        char values[4096];
        std::uint32_t valueSize = sizeof values;
        ASSERT_EQ(HelperGetSNMPObjects("lab", group, values, &valueSize), 0);
        const std::vector<std::string> items = Items(std::string(values, valueSize));
        const ObjectGroup table = GetObjectGroup(group);
        ASSERT_EQ(items.size(), table.count);
        // Group 20 names one object at positions 2 and 6; group 14 is not in
        // numeric order. Each value is the one a get of that object gives.
        if (group == 14 || group == 20 || group == 22) {
            for (std::uint32_t i = 0; i < table.count; ++i) {
                EXPECT_EQ(items[i], Get(table.identifiers[i]).values) << table.identifiers[i];
            }
        }
    }
}

TEST_F(TransactionTest, GroupNumbersPastTheTableAndMissingListsAreRefused) {
    UseLab();
    char values[64];
    std::uint32_t valueSize = sizeof values;
    EXPECT_EQ(HelperGetSNMPObjects("lab", 26, values, &valueSize), SNMP_RESULT_VARBIND_LIST_FAILED);
    EXPECT_EQ(HelperGetSNMPObjects("lab", 0xFFFFFFFFu, values, &valueSize), SNMP_RESULT_VARBIND_LIST_FAILED);
    ReleaseJoinedGroupLists();
    EXPECT_EQ(HelperGetSNMPObjects("lab", 0, values, &valueSize), SNMP_RESULT_OUT_OF_MEMORY);
    BuildJoinedGroupLists();
    EXPECT_TRUE(CreatedProtocols().empty());
}

// --- ASCII transaction ----------------------------------------------------------

TEST_F(TransactionTest, TheAsciiTransactionRewritesOctetStringsAsHex) {
    UseLab();
    const std::string objects = test::MakeTempFolder("objects") + "/objects.txt";
    std::ofstream(objects) << kSysContact << " HEX 002CFF\n";
    StartSim({"--objects", objects});

    char oids[64];
    std::snprintf(oids, sizeof oids, "%s,%s", kSysContact, "1.3.6.1.2.1.1.7.0");
    char values[128];
    std::uint32_t valueSize = sizeof values;
    ASSERT_EQ(HelperSNMPTransactAscii("lab", SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize, 2), 0);
    EXPECT_STREQ(values, "2,6,002CFF,1,72");
    EXPECT_EQ(valueSize, std::strlen("2,3,") + 3 + std::strlen(",1,72"));  // the length before the rewrite

    // A hex form longer than the caller's room is refused, not cut.
    std::strcpy(oids, kSysName);
    char small[20];
    std::uint32_t smallSize = sizeof small;
    EXPECT_EQ(HelperSNMPTransactAscii("lab", SNMP_REQUEST_GET, oids, sizeof oids, small, &smallSize, 1),
              SNMP_RESULT_DOES_NOT_FIT);
    EXPECT_EQ(std::string(small, 17), "2,12,PALIMAR-4100");
}

// --- Keep-alive --------------------------------------------------------------------

TEST_F(TransactionTest, KeepAliveSendsOneGetAndDoesNotWait) {
    UseLab(5, 5);
    PrinterSimulator &sim = StartSim({"--fault", "silent"});
    EXPECT_EQ(HelperTrapKeepAlive("lab"), 0);
    ASSERT_EQ(sim.WaitForLogLines(1), 1u);
    EXPECT_NE(sim.LogLines()[0].find("pdu=get"), std::string::npos) << sim.LogLines()[0];
    EXPECT_NE(sim.LogLines()[0].find("oids=1.3.6.1.4.1.236.11.5.1.1.9.1.0"), std::string::npos);
    EXPECT_EQ(CreatedProtocols().size(), 1u);
}

TEST_F(TransactionTest, KeepAliveWithoutMemorySaysSoAndSendsNothing) {
    UseLab();
    test::DebugOutputCapture debug;
    {
        test::HeapFaultGuard guard;
        platform::HeapFailNthAllocation(1);
        EXPECT_EQ(HelperTrapKeepAlive("lab"), SNMP_RESULT_OUT_OF_MEMORY);
    }
    EXPECT_EQ(debug.Lines(), std::vector<std::string>{"HelperTrapKeepAlive:Unable to allocate memory"});
    EXPECT_TRUE(CreatedProtocols().empty());
    EXPECT_EQ(HelperTrapKeepAlive(nullptr), SNMP_RESULT_NO_REPLY);
}

// --- HelperSNMPTransactEx ------------------------------------------------------

// One call of the extended export with its own timing; `values` for a set.
struct ExOutcome {
    std::int32_t result = -1;
    SnmpTransaction transaction{};
    std::vector<std::pair<std::int32_t, std::uint32_t>> datagrams;  // direction, length

    ExOutcome() = default;
    ExOutcome(const ExOutcome &) = delete;
    ExOutcome &operator=(const ExOutcome &) = delete;
    ~ExOutcome() { HelperFreeReqParam(transaction.reply); }
};

void SNMPHELPER_CALL RecordDatagram(void *context, std::int32_t direction, std::uint32_t protocol,
                                    const std::uint8_t *datagram, std::uint32_t length) {
    auto &outcome = *static_cast<ExOutcome *>(context);
    EXPECT_EQ(protocol, 2u);
    EXPECT_NE(datagram, nullptr);
    outcome.datagrams.emplace_back(direction, length);
}

void TransactEx(ExOutcome &outcome, std::int32_t requestType, const std::string &oids, std::uint32_t count,
                std::int32_t timeout, std::int32_t retries, const std::string &values = "") {
    std::string oidBuffer = oids + '\0';
    std::string valueBuffer = values + '\0';
    outcome.transaction.recordSize = sizeof outcome.transaction;
    outcome.transaction.timeoutSeconds = timeout;
    outcome.transaction.retries = retries;
    outcome.transaction.observer = RecordDatagram;
    outcome.transaction.observerContext = &outcome;
    outcome.result = HelperSNMPTransactEx("lab", requestType, oidBuffer.data(), static_cast<std::uint32_t>(oidBuffer.size()),
                                          valueBuffer.data(), static_cast<std::uint32_t>(valueBuffer.size()), count,
                                          &outcome.transaction);
}

TEST_F(TransactionTest, ExHandsBackTheDecodedReplyOpaqueIncludedAndShowsTheDatagrams) {
    UseLab();
    StartSim({"--objects", WriteObjects("1.3.6.1.4.1.99.1.0 OPAQUE 9f780442f60000\n")});
    ExOutcome outcome;
    TransactEx(outcome, SNMP_REQUEST_GET, std::string(kSysName) + ",1.3.6.1.4.1.99.1.0", 2, 1, 0);
    ASSERT_EQ(outcome.result, 0);
    const SnmpReqParam *reply = outcome.transaction.reply;
    ASSERT_NE(reply, nullptr);
    ASSERT_EQ(reply->varBindCount, 2u);
    EXPECT_STREQ(reply->varBinds[0].oid, kSysName);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(reply->varBinds[0].value), reply->varBinds[0].valueLength),
              kSimSysName);
    EXPECT_EQ(reply->varBinds[1].valueType, SNMP_VALUE_OPAQUE);
    const std::uint8_t opaque[] = {0x9f, 0x78, 0x04, 0x42, 0xf6, 0x00, 0x00};
    ASSERT_EQ(reply->varBinds[1].valueLength, sizeof opaque);
    EXPECT_EQ(std::memcmp(reply->varBinds[1].value, opaque, sizeof opaque), 0);
    EXPECT_EQ(outcome.transaction.errorStatus, 0u);
    EXPECT_EQ(outcome.transaction.protocol, 2u);
    ASSERT_EQ(outcome.datagrams.size(), 2u);
    EXPECT_EQ(outcome.datagrams[0].first, SNMP_DATAGRAM_SENT);
    EXPECT_EQ(outcome.datagrams[1].first, SNMP_DATAGRAM_RECEIVED);
}

TEST_F(TransactionTest, ExReportsErrorStatusAndIndexWithTheReplyGenErrIncluded) {
    UseLab();
    for (const auto &[status, index] : {std::pair{2u, 2u}, std::pair{5u, 1u}}) {
        SCOPED_TRACE(status);
        StartSim({"--fault", "error-status:" + std::to_string(status) + ":" + std::to_string(index)});
        ExOutcome outcome;
        TransactEx(outcome, SNMP_REQUEST_GET, std::string(kSysName) + "," + kSysLocation, 2, 1, 0);
        EXPECT_EQ(outcome.result, SNMP_RESULT_ERROR_STATUS);
        EXPECT_EQ(outcome.transaction.errorStatus, status);
        EXPECT_EQ(outcome.transaction.errorIndex, index);
        ASSERT_NE(outcome.transaction.reply, nullptr);
        EXPECT_EQ(outcome.transaction.reply->varBindCount, 2u);
    }
}

TEST_F(TransactionTest, ExTakesTheCallersTimeoutAndRetriesOverTheConfiguration) {
    // The configuration would wait 30 s five times over; the call asks for
    // only looking, and the log counts what was sent.
    UseLab(30, 5);
    for (std::int32_t retries : {0, 2}) {
        SCOPED_TRACE(retries);
        PrinterSimulator &sim = StartSim({"--fault", "silent"});
        ExOutcome outcome;
        TransactEx(outcome, SNMP_REQUEST_SET, kSysLocation, 1, 0, retries, "2,3,abc");
        EXPECT_EQ(outcome.result, SNMP_RESULT_NO_REPLY);
        EXPECT_EQ(outcome.transaction.reply, nullptr);
        const auto sends = static_cast<std::size_t>(retries + 1);
        EXPECT_EQ(sim.WaitForLogLines(sends), sends);
        EXPECT_EQ(sim.LogLines().size(), sends);
        EXPECT_EQ(outcome.datagrams.size(), sends);
        std::lock_guard<std::mutex> lock(createdMutex);
        for (const CreatedTransport &transport : created) EXPECT_EQ(transport.timeoutSeconds, 0);
        created.clear();
    }
}

TEST_F(TransactionTest, ExWithoutTimingOfItsOwnWaitsAsTheOriginalDoes) {
    // As HelperSNMPTransact. Silent (a timeout of 0 makes every wait a poll):
    // the send and a re-send after each of the two failed receives, whatever
    // the retry count. Foreign replies: one attempt more per retry.
    struct Case {
        int timeout;
        int retries;
        const char *fault;
        std::size_t sends;
    };
    for (const Case &c : {Case{0, 5, "silent", 3}, Case{1, 2, "foreign-id", 3}}) {
        SCOPED_TRACE(c.fault);
        {
            std::lock_guard<std::mutex> lock(createdMutex);
            created.clear();
        }
        UseLab(c.timeout, c.retries);
        PrinterSimulator &sim = StartSim({"--fault", c.fault});
        ExOutcome outcome;
        TransactEx(outcome, SNMP_REQUEST_GET, kSysName, 1, SNMP_TRANSACTION_CONFIGURED, SNMP_TRANSACTION_CONFIGURED);
        EXPECT_EQ(outcome.result, SNMP_RESULT_NO_REPLY);
        EXPECT_EQ(sim.WaitForLogLines(c.sends), c.sends);
        EXPECT_EQ(sim.LogLines().size(), c.sends);
        std::lock_guard<std::mutex> lock(createdMutex);
        for (const CreatedTransport &transport : created) EXPECT_EQ(transport.timeoutSeconds, c.timeout);
    }
}

TEST_F(TransactionTest, ExRefusesNullAndMalformedArgumentsWithoutSending) {
    UseLab();
    PrinterSimulator &sim = StartSim();
    char oids[32];
    std::strcpy(oids, kSysName);
    SnmpTransaction good{};
    good.recordSize = sizeof good;
    good.timeoutSeconds = 1;
    good.retries = 0;
    EXPECT_EQ(HelperSNMPTransactEx(nullptr, SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &good),
              SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, nullptr, 0, nullptr, 0, 1, &good),
              SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, nullptr),
              SNMP_RESULT_INVALID_ARGUMENT);
    SnmpTransaction bad = good;
    bad.recordSize = sizeof bad - 1;
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &bad),
              SNMP_RESULT_INVALID_ARGUMENT);
    bad = good;
    bad.timeoutSeconds = -2;
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &bad),
              SNMP_RESULT_INVALID_ARGUMENT);
    bad = good;
    bad.retries = -2;
    EXPECT_EQ(HelperSNMPTransactEx("lab", SNMP_REQUEST_GET, oids, sizeof oids, nullptr, 0, 1, &bad),
              SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_STREQ(oids, kSysName);
    EXPECT_TRUE(CreatedProtocols().empty());
    // A forming failure is the original's code, and nothing is sent either.
    EXPECT_EQ(HelperSNMPTransactEx("lab", 7, oids, sizeof oids, nullptr, 0, 1, &good), SNMP_RESULT_BAD_REQUEST_TYPE);
    EXPECT_EQ(good.reply, nullptr);
    EXPECT_TRUE(sim.LogLines().empty());
}

TEST_F(TransactionTest, EveryAllocationFailureIsReportedAndNothingLeaks) {
    UseLab();
    StartSim();
    test::ForEachAllocationFailure(
        [] {
            const std::int64_t live = platform::HeapLiveBlocks();
            Get(kSysName);
            EXPECT_EQ(platform::HeapLiveBlocks(), live);
        },
        [](std::uint64_t) {});
}

}  // namespace
}  // namespace snmphelper
