// SPDX-License-Identifier: Apache-2.0
// The typed transaction call end to end over real UDP on 127.0.0.1:161 of a
// private network namespace, against the printer simulator: requests given
// as bindings with typed values, replies read back as typed values of every
// type the decoder knows, Opaque and NULL included, which the text exports
// have no form for.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "library/library_entry.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "transact/typed_transaction.h"

namespace snmphelper {
namespace {

using test::PrinterSimulator;
using test::TempRegistry;

char moduleToken;

// Objects of every type under an enterprise arc the built-in printer leaves free.
constexpr char kObjects[] =
    "1.3.6.1.4.1.99.1.1.0 INTEGER -5 rw\n"
    "1.3.6.1.4.1.99.1.2.0 HEX 002cff rw\n"
    "1.3.6.1.4.1.99.1.3.0 IPADDRESS 192.168.1.20 rw\n"
    "1.3.6.1.4.1.99.1.4.0 OPAQUE 9f780401\n"
    "1.3.6.1.4.1.99.1.5.0 COUNTER 4294967295\n"
    "1.3.6.1.4.1.99.1.6.0 GAUGE 100000000\n"
    "1.3.6.1.4.1.99.1.7.0 TIMETICKS 4711\n"
    "1.3.6.1.4.1.99.1.8.0 OID 1.3.6.1.4.1.236.11.5.1\n"
    "1.3.6.1.4.1.99.1.9.0 NULL -\n";

std::string Object(int column) { return "1.3.6.1.4.1.99.1." + std::to_string(column) + ".0"; }

// A binding's identifier and value in storage of its own, as a caller keeps them.
struct Binding {
    std::string oid;
    std::int32_t type = SNMP_VALUE_NONE;
    std::vector<std::uint8_t> value;

    SnmpVarBind View() {
        SnmpVarBind view{};
        view.oid = oid.data();
        view.oidLength = static_cast<std::uint16_t>(oid.size());
        view.valueType = type;
        view.value = value.empty() ? nullptr : value.data();
        view.valueLength = static_cast<std::uint32_t>(value.size());
        return view;
    }
};

std::vector<std::uint8_t> Number(std::uint32_t number) {
    std::vector<std::uint8_t> bytes(sizeof number);
    std::memcpy(bytes.data(), &number, sizeof number);
    return bytes;
}

std::vector<SnmpVarBind> Views(std::vector<Binding> &bindings) {
    std::vector<SnmpVarBind> views;
    for (Binding &binding : bindings) views.push_back(binding.View());
    return views;
}

std::vector<Binding> Names(const std::vector<int> &columns) {
    std::vector<Binding> bindings;
    for (int column : columns) bindings.push_back({Object(column), SNMP_VALUE_NONE, {}});
    return bindings;
}

// A reply's binding as the caller reads it.
Binding Read(const SnmpVarBind &binding) {
    Binding read{binding.oid, binding.valueType, {}};
    if (binding.value != nullptr) read.value.assign(binding.value, binding.value + binding.valueLength);
    return read;
}

class TypedTransactionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LibraryEntry(&moduleToken, kProcessAttach); }

    void SetUp() override {
        registry_ = std::make_unique<TempRegistry>(
            test::PrinterHive("lab", "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n"
                                     "\"IP Address\"=\"127.0.0.1\"\n\"IPX Address\"=\"0000000100C0FFEE0001\"\n"
                                     "\"MAC Address\"=\"00C0FFEE0001\"\n") +
            "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n"
            "\"UdpTimeOutInterval\"=dword:00000001\n\"UdpTotalRetries\"=dword:00000000\n\n");
        const std::string objects = registry_->Folder() + "/objects.txt";
        std::ofstream(objects) << kObjects;
        sim_ = std::make_unique<PrinterSimulator>(std::vector<std::string>{"--objects", objects});
        ASSERT_TRUE(sim_->Ready());
    }

    std::int32_t Run(std::int32_t requestType, std::vector<Binding> &request, TypedReply &reply,
                     const TransactionOptions &options = {}) {
        const std::vector<SnmpVarBind> views = Views(request);
        return RunTypedTransaction("lab", requestType, views, reply, options);
    }

    std::unique_ptr<TempRegistry> registry_;
    std::unique_ptr<PrinterSimulator> sim_;
};

TEST_F(TypedTransactionTest, AGetGivesEveryTypeAsTypedValues) {
    std::vector<Binding> request = Names({1, 2, 3, 4, 5, 6, 7, 8, 9});
    TypedReply reply;
    ASSERT_EQ(Run(SNMP_REQUEST_GET, request, reply), 0);
    ASSERT_NE(reply.Record(), nullptr);
    EXPECT_EQ(reply.Record()->errorStatus, 0);
    EXPECT_EQ(reply.Protocol(), 2u);
    const std::string oidText = "1.3.6.1.4.1.236.11.5.1";
    const struct {
        std::int32_t type;
        std::vector<std::uint8_t> value;
    } expected[] = {
        {SNMP_VALUE_INTEGER, Number(static_cast<std::uint32_t>(-5))},
        {SNMP_VALUE_OCTET_STRING, {0x00, 0x2C, 0xFF}},
        {SNMP_VALUE_IP_ADDRESS, {192, 168, 1, 20}},
        {SNMP_VALUE_OPAQUE, {0x9F, 0x78, 0x04, 0x01}},
        {SNMP_VALUE_COUNTER, Number(4294967295u)},
        {SNMP_VALUE_GAUGE, Number(100000000u)},
        {SNMP_VALUE_TIME_TICKS, Number(4711u)},
        {SNMP_VALUE_OBJECT_IDENTIFIER, {oidText.begin(), oidText.end()}},
        {SNMP_VALUE_NULL, {}},
    };
    const auto bindings = reply.Bindings();
    ASSERT_EQ(bindings.size(), std::size(expected));
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        SCOPED_TRACE(i);
        const Binding read = Read(bindings[i]);
        EXPECT_EQ(read.oid, request[i].oid);
        EXPECT_EQ(read.type, expected[i].type);
        EXPECT_EQ(read.value, expected[i].value);
    }
    // The request's bindings are only read.
    EXPECT_EQ(request[0].oid, Object(1));
    EXPECT_EQ(request[8].oid, Object(9));
}

TEST_F(TypedTransactionTest, AGetNextNamesTheNextObjects) {
    std::vector<Binding> request = Names({1, 8});
    TypedReply reply;
    ASSERT_EQ(Run(SNMP_REQUEST_GET_NEXT, request, reply), 0);
    const auto bindings = reply.Bindings();
    ASSERT_EQ(bindings.size(), 2u);
    EXPECT_EQ(Read(bindings[0]).oid, Object(2));
    EXPECT_EQ(Read(bindings[0]).type, SNMP_VALUE_OCTET_STRING);
    EXPECT_EQ(Read(bindings[1]).oid, Object(9));
    EXPECT_EQ(Read(bindings[1]).type, SNMP_VALUE_NULL);
}

// Names given as contents come back as contents: the get-next of the test
// before, over the blocking engine the fleet engine's workers use.
TEST_F(TypedTransactionTest, NamesKeptAsContentsBothWays) {
    // 1.3.6.1.4.1.99.1.N.0
    const auto contents = [](std::uint8_t column) {
        return std::string{0x2B, 0x06, 0x01, 0x04, 0x01, 0x63, 0x01, static_cast<char>(column), 0x00};
    };
    std::vector<Binding> request = {{contents(1), SNMP_VALUE_NONE, {}}, {contents(8), SNMP_VALUE_NONE, {}}};
    TransactionOptions options;
    options.names = NameForm::Encoded;
    TypedReply reply;
    ASSERT_EQ(Run(SNMP_REQUEST_GET_NEXT, request, reply, options), 0);
    const auto bindings = reply.Bindings();
    ASSERT_EQ(bindings.size(), 2u);
    EXPECT_EQ(std::string(bindings[0].oid, bindings[0].oidLength), contents(2));
    EXPECT_EQ(std::string(bindings[1].oid, bindings[1].oidLength), contents(9));
    EXPECT_EQ(bindings[1].valueType, SNMP_VALUE_NULL);
    // Contents no text makes are refused before anything is sent.
    std::vector<Binding> unfinished = {{std::string{0x2B, 0x06, static_cast<char>(0x86)}, SNMP_VALUE_NONE, {}}};
    EXPECT_EQ(Run(SNMP_REQUEST_GET, unfinished, reply, options), SNMP_RESULT_ENCODE_FAILED);
}

// Values of three types set in one request, taken by their lengths (a zero
// byte and a comma inside the string), then read back.
TEST_F(TypedTransactionTest, ASetTakesTypedValues) {
    std::vector<Binding> set = {
        {Object(1), SNMP_VALUE_INTEGER, Number(static_cast<std::uint32_t>(-70000))},
        {Object(2), SNMP_VALUE_OCTET_STRING, {'a', 0x00, ',', 'b'}},
        {Object(3), SNMP_VALUE_IP_ADDRESS, {10, 0, 0, 255}},
    };
    TypedReply echo;
    ASSERT_EQ(Run(SNMP_REQUEST_SET, set, echo), 0);
    EXPECT_EQ(echo.Record()->errorStatus, 0);

    std::vector<Binding> get = Names({1, 2, 3});
    TypedReply reply;
    ASSERT_EQ(Run(SNMP_REQUEST_GET, get, reply), 0);
    const auto bindings = reply.Bindings();
    ASSERT_EQ(bindings.size(), set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE(i);
        const Binding read = Read(bindings[i]);
        EXPECT_EQ(read.type, set[i].type);
        EXPECT_EQ(read.value, set[i].value);
    }
}

// An error-status comes back in the reply, not as a failure of the call:
// the caller judges it.
TEST_F(TypedTransactionTest, AnErrorStatusIsTheCallersToJudge) {
    std::vector<Binding> request = {{"1.3.6.1.4.1.99.2.0", SNMP_VALUE_NONE, {}}};
    TypedReply reply;
    ASSERT_EQ(Run(SNMP_REQUEST_GET, request, reply), 0);
    ASSERT_NE(reply.Record(), nullptr);
    EXPECT_EQ(reply.Record()->errorStatus, 2);  // noSuchName
    EXPECT_EQ(reply.Record()->errorIndex, 1);

    std::vector<Binding> readOnly = {{Object(5), SNMP_VALUE_COUNTER, Number(1)}};
    TypedReply refused;
    ASSERT_EQ(Run(SNMP_REQUEST_SET, readOnly, refused), 0);
    EXPECT_NE(refused.Record()->errorStatus, 0);
}

TEST_F(TypedTransactionTest, RefusalsComeBeforeAnythingIsSent) {
    std::vector<Binding> request = Names({1});
    std::vector<SnmpVarBind> views = Views(request);
    TypedReply reply;
    EXPECT_EQ(RunTypedTransaction(nullptr, SNMP_REQUEST_GET, views, reply), SNMP_RESULT_NO_REPLY);
    EXPECT_EQ(RunTypedTransaction("lab", 3, views, reply), SNMP_RESULT_BAD_REQUEST_TYPE);
    // Run only after a Begin that succeeded.
    TypedTransaction unbegun;
    EXPECT_EQ(unbegun.Run(views, reply), SNMP_RESULT_INVALID_ARGUMENT);
    TypedTransaction refused;
    EXPECT_EQ(refused.Begin("lab", 3, {}), SNMP_RESULT_BAD_REQUEST_TYPE);
    EXPECT_EQ(refused.Run(views, reply), SNMP_RESULT_INVALID_ARGUMENT);
    // A value the encoder cannot write, and a message past its room.
    std::vector<Binding> untyped = {{Object(1), SNMP_VALUE_NONE, {}}};
    EXPECT_EQ(Run(SNMP_REQUEST_SET, untyped, reply), SNMP_RESULT_ENCODE_FAILED);
    TransactionOptions small;
    small.messageRoom = 20;
    EXPECT_EQ(Run(SNMP_REQUEST_GET, request, reply, small), SNMP_RESULT_ENCODE_FAILED);
    EXPECT_EQ(reply.Record(), nullptr);
    EXPECT_TRUE(sim_->LogLines().empty());
}

TEST_F(TypedTransactionTest, TheCallersOptionsApply) {
    std::vector<Binding> request = Names({7});
    // Another community than the simulator's gets no answer.
    TransactionOptions wrong;
    wrong.community = "public";
    wrong.timeoutSeconds = 1;
    wrong.retries = 1;
    TypedReply none;
    EXPECT_EQ(Run(SNMP_REQUEST_GET, request, none, wrong), SNMP_RESULT_NO_REPLY);
    EXPECT_EQ(none.Record(), nullptr);
    const std::size_t unanswered = sim_->WaitForLogLines(1);
    EXPECT_GE(unanswered, 1u);

    // Without waiting the send's result is the call's, and no reply is read.
    TransactionOptions sendOnly;
    sendOnly.waitForReply = false;
    TypedReply unread;
    EXPECT_EQ(Run(SNMP_REQUEST_GET, request, unread, sendOnly), 0);
    EXPECT_EQ(unread.Record(), nullptr);
    EXPECT_EQ(unread.Protocol(), 2u);
    EXPECT_EQ(sim_->WaitForLogLines(unanswered + 1), unanswered + 1);
}

}  // namespace
}  // namespace snmphelper
