// SPDX-License-Identifier: Apache-2.0
// The multiplexed engine over real UDP in a private network namespace: a
// fleet of simulated printers with loss, foreign request-ids, error-status,
// replies from the wrong port and silence mixed, all in flight at once on
// one thread; peers of the test's own that answer late, twice, with other
// transactions' request-ids and from elsewhere; printers whose protocol is
// switched, served as the blocking engine serves them; several engines on
// several threads; and the exports' refusals.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fleet/fleet_engine.h"
#include "library/library_entry.h"
#include "snmphelper.h"
#include "tests/support/ber_build.h"
#include "tests/support/child_process.h"
#include "tests/support/link_transactions.h"
#include "tests/support/temp_registry.h"
#include "tests/support/udp_peer.h"
#include "transact/typed_transaction.h"

namespace snmphelper {
namespace {

using test::Bytes;

char moduleToken;

constexpr int kFleetSize = 1200;
constexpr char kLocation[] = "1.3.6.1.2.1.1.6.0";  // sysLocation, writable in the simulator
constexpr char kSimulatorCommunity[] = "t*o&r^e~l+d";  // the library's default, which the simulator serves

// 127.0.1.1 onwards, across the third octet as the simulator's range runs.
std::string Address(int index) {
    in_addr address{};
    address.s_addr = htonl((127u << 24) + (1u << 8) + 1u + static_cast<std::uint32_t>(index));
    return inet_ntoa(address);
}
std::string PrinterName(int index) { return "prn" + std::to_string(index); }

// What each printer of the fleet does.
enum class Kind { Answers, Silent, LosesFirst, ForeignId, ErrorStatus, OtherPort };
Kind KindOf(int index) {
    switch (index % 20) {
        case 0: return Kind::Silent;
        case 1: return Kind::LosesFirst;
        case 2: return Kind::ForeignId;
        case 3: return Kind::ErrorStatus;
        case 4: return Kind::OtherPort;
        default: return Kind::Answers;
    }
}
const char *FaultOf(Kind kind) {
    switch (kind) {
        case Kind::Silent: return "silent";
        case Kind::LosesFirst: return "drop:1";
        case Kind::ForeignId: return "foreign-id";
        case Kind::ErrorStatus: return "error-status:2:1";
        case Kind::OtherPort: return "other-port";
        case Kind::Answers: break;
    }
    return nullptr;
}

std::string IpPrinter(const std::string &name, const std::string &address, int cProtocols = 2) {
    return test::PrinterKey(name, test::DwordLine("cProtocols", cProtocols) + test::DwordLine("pProtocol", 2) +
                                      "\"IP Address\"=\"" + address + "\"\n\"MAC Address\"=\"000000000001\"\n");
}

// One binding in storage of its own.
struct Binding {
    std::string oid;
    std::string text;  // an OCTET STRING value; empty: none
    SnmpVarBind View() {
        SnmpVarBind view{};
        view.oid = oid.data();
        view.oidLength = static_cast<std::uint16_t>(oid.size());
        if (!text.empty()) {
            view.valueType = SNMP_VALUE_OCTET_STRING;
            view.value = reinterpret_cast<std::uint8_t *>(text.data());
            view.valueLength = static_cast<std::uint32_t>(text.size());
        }
        return view;
    }
};

// Completions by tag (the printer's index), each with the text of its
// reply's first value.
struct Outcome {
    int completions = 0;
    std::int32_t result = -1;
    std::uint32_t errorStatus = 0;
    std::uint32_t errorIndex = 0;
    std::uint32_t protocol = 0;
    std::int32_t requestId = 0;
    std::string value;
    // The reply's first name and its community, each as far as its
    // terminator: a block shorter than its text would show here.
    std::string name;
    std::string community;
};
using Outcomes = std::map<std::intptr_t, Outcome>;

// Whether the engine under test lends its replies (then it releases them),
// and whether it keeps names as contents.
bool lentReplies = false;
bool namesEncoded = false;

void Record(void *context, FleetCompletion &completion) {
    Outcome &outcome = (*static_cast<Outcomes *>(context))[reinterpret_cast<std::intptr_t>(completion.tag)];
    ++outcome.completions;
    outcome.result = completion.result;
    outcome.errorStatus = completion.errorStatus;
    outcome.errorIndex = completion.errorIndex;
    outcome.protocol = completion.protocol;
    if (completion.reply != nullptr) {
        outcome.requestId = completion.reply->requestId;
        if (completion.reply->community != nullptr) outcome.community = completion.reply->community;
        if (completion.reply->varBindCount > 0 && completion.reply->varBinds[0].value != nullptr) {
            const SnmpVarBind &first = completion.reply->varBinds[0];
            outcome.value.assign(reinterpret_cast<const char *>(first.value), first.valueLength);
            outcome.name.assign(first.oid, first.oidLength);
            EXPECT_EQ(first.oid[first.oidLength], '\0');
            if (!namesEncoded) {
                EXPECT_EQ(std::strlen(first.oid), first.oidLength);
            }
        }
    }
    EXPECT_EQ(completion.lent, lentReplies && completion.reply != nullptr);
    if (!lentReplies) HelperFreeReqParam(completion.reply);
}

// Drives `engine` until nothing is in flight, within a bound well past any
// transaction's waits.
void RunToEnd(FleetEngine &engine, Outcomes &outcomes) {
    for (int round = 0; round < 60 && engine.Run(500, Record, &outcomes) != 0; ++round) {
    }
    EXPECT_EQ(engine.InFlight(), 0u);
}

std::int32_t Submit(FleetEngine &engine, const std::string &printer, std::int32_t type, Binding binding,
                    std::intptr_t tag, const TransactionOptions &options = {}) {
    SnmpVarBind view = binding.View();
    return engine.Submit(printer.c_str(), type, {&view, 1}, options, reinterpret_cast<void *>(tag));
}

class FleetEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        LibraryEntry(&moduleToken, kProcessAttach);
        std::vector<std::string> arguments = {"--addresses", Address(0) + "-" + Address(kFleetSize - 1)};
        for (int i = 0; i < kFleetSize; ++i) {
            if (const char *fault = FaultOf(KindOf(i)); fault != nullptr) {
                arguments.insert(arguments.end(), {"--fault-at", Address(i) + "=" + fault});
            }
        }
        sim_ = new test::PrinterSimulator(arguments);
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
        LibraryEntry(&moduleToken, kProcessDetach);
    }

    void SetUp() override {
        ASSERT_TRUE(sim_->Ready());
        std::string hive = "Windows Registry Editor Version 5.00\n\n";
        for (int i = 0; i < kFleetSize; ++i) hive += IpPrinter(PrinterName(i), Address(i));
        hive += extraPrinters_;
        hive += "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n" + test::DwordLine("UdpTimeOutInterval", 1) +
                "\n";
        registry_.reset();  // the one before gives the environment back first
        registry_ = std::make_unique<test::TempRegistry>(hive);
    }

    static test::PrinterSimulator *sim_;
    std::string extraPrinters_;
    std::unique_ptr<test::TempRegistry> registry_;
};

test::PrinterSimulator *FleetEngineTest::sim_ = nullptr;

// Each printer sets its own name as its location, then reads it back: a
// reply that went to another transaction would show another name.
// Every printer's set and get, with its replies given to the receiver or
// lent from the engine's arena (many replies read before any is delivered).
class FleetEngineReplies : public FleetEngineTest, public ::testing::WithParamInterface<FleetReplies> {
protected:
    void SetUp() override {
        FleetEngineTest::SetUp();
        lentReplies = GetParam() == FleetReplies::Lent;
    }
    void TearDown() override {
        lentReplies = false;
        namesEncoded = false;
    }
};

INSTANTIATE_TEST_SUITE_P(GivenOrLent, FleetEngineReplies, ::testing::Values(FleetReplies::Given, FleetReplies::Lent),
                         [](const ::testing::TestParamInfo<FleetReplies> &named) {
                             return named.param == FleetReplies::Lent ? std::string("Lent") : std::string("Given");
                         });

TEST_P(FleetEngineReplies, EveryTransactionEndsWithItsOwnReplyOrFailure) {
    FleetEngine engine(kDefaultFleetWorkers, GetParam());
    ASSERT_TRUE(engine.Ready());
    TransactionOptions setOptions;
    setOptions.timeoutSeconds = 1;  // a set would wait 10 s
    for (int i = 0; i < kFleetSize; ++i) {
        ASSERT_EQ(Submit(engine, PrinterName(i), SNMP_REQUEST_SET, {kLocation, PrinterName(i)}, i, setOptions), 0);
    }
    EXPECT_EQ(engine.InFlight(), static_cast<std::size_t>(kFleetSize));
    Outcomes sets;
    RunToEnd(engine, sets);
    ASSERT_EQ(sets.size(), static_cast<std::size_t>(kFleetSize));
    std::vector<int> answering;
    for (int i = 0; i < kFleetSize; ++i) {
        SCOPED_TRACE(PrinterName(i));
        const Outcome &outcome = sets[i];
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_EQ(outcome.protocol, 2u);
        switch (KindOf(i)) {
            case Kind::Answers:
            case Kind::LosesFirst:
                EXPECT_EQ(outcome.result, 0);
                EXPECT_EQ(outcome.value, PrinterName(i));
                answering.push_back(i);
                break;
            case Kind::ErrorStatus:
                EXPECT_EQ(outcome.result, SNMP_RESULT_ERROR_STATUS);
                EXPECT_EQ(outcome.errorStatus, 2u);
                EXPECT_EQ(outcome.errorIndex, 1u);
                break;
            case Kind::Silent:
            case Kind::ForeignId:
            case Kind::OtherPort:
                EXPECT_EQ(outcome.result, SNMP_RESULT_NO_REPLY);
                break;
        }
    }

    Outcomes gets;
    for (int i : answering) ASSERT_EQ(Submit(engine, PrinterName(i), SNMP_REQUEST_GET, {kLocation, ""}, i), 0);
    RunToEnd(engine, gets);
    ASSERT_EQ(gets.size(), answering.size());
    for (int i : answering) {
        SCOPED_TRACE(PrinterName(i));
        EXPECT_EQ(gets[i].completions, 1);
        EXPECT_EQ(gets[i].result, 0);
        EXPECT_EQ(gets[i].value, PrinterName(i));
        EXPECT_EQ(gets[i].name, kLocation);
        EXPECT_EQ(gets[i].community, kSimulatorCommunity);
        EXPECT_NE(gets[i].requestId, sets[i].requestId);
    }
    // The printer whose first request was lost saw two request-ids, the
    // set's (sent again) and the get's.
    std::map<std::string, std::map<std::string, int>> idsByPrinter;
    for (const std::string &line : sim_->LogLines()) {
        const auto field = [&line](const std::string &name) {
            const std::size_t at = line.find(" " + name + "=");
            if (at == std::string::npos) return std::string();
            const std::size_t start = at + name.size() + 2;
            return line.substr(start, line.find(' ', start) - start);
        };
        ++idsByPrinter[field("at")][field("id")];
    }
    EXPECT_EQ(idsByPrinter[Address(1)].size(), 2u) << "the set's re-send carried its request-id";
}

// Bindings of several lengths, with and without values, in one request
// each: the engine copies them all when it takes them (the caller's storage
// is scribbled over before the run), and each value comes back in its place.

// An engine that keeps names as contents takes them so and gives them so,
// and refuses contents no text would make as it refuses such text.
TEST_P(FleetEngineReplies, NamesKeptAsContentsBothWays) {
    FleetEngine engine(kDefaultFleetWorkers, GetParam(), NameForm::Encoded);
    namesEncoded = true;
    const std::string location("\x2B\x06\x01\x02\x01\x01\x06\x00", 8);  // kLocation
    std::vector<int> asked;
    for (int i = 0; i < kFleetSize; ++i) {
        if (KindOf(i) != Kind::Answers) continue;
        ASSERT_EQ(Submit(engine, PrinterName(i), SNMP_REQUEST_GET, {location, ""}, i), 0);
        asked.push_back(i);
    }
    constexpr std::intptr_t kUnfinished = 1000;
    ASSERT_EQ(Submit(engine, PrinterName(asked.front()), SNMP_REQUEST_GET, {std::string("\x2B\x06\x86"), ""},
                     kUnfinished),
              0);
    char none[1] = {};
    SnmpVarBind empty{};
    empty.oid = none;
    EXPECT_EQ(engine.Submit(PrinterName(asked.front()).c_str(), SNMP_REQUEST_GET, {&empty, 1}, {}, nullptr),
              SNMP_RESULT_INVALID_ARGUMENT);
    Outcomes outcomes;
    RunToEnd(engine, outcomes);
    ASSERT_EQ(outcomes.size(), asked.size() + 1);
    for (int i : asked) {
        SCOPED_TRACE(PrinterName(i));
        EXPECT_EQ(outcomes[i].result, 0);
        EXPECT_EQ(outcomes[i].name, location);
    }
    EXPECT_EQ(outcomes[kUnfinished].result, SNMP_RESULT_ENCODE_FAILED);
}
TEST_F(FleetEngineTest, SeveralBindingsAreCopiedWhenTaken) {
    constexpr char kContact[] = "1.3.6.1.2.1.1.4.0";
    constexpr char kName[] = "1.3.6.1.2.1.1.5.0";
    const int printer = 5;
    FleetEngine engine;
    TransactionOptions setOptions;
    setOptions.timeoutSeconds = 1;
    std::vector<Binding> set = {{kContact, "x"}, {kLocation, std::string(120, 'L')}, {kName, "short name"}};
    std::vector<SnmpVarBind> views;
    for (Binding &binding : set) views.push_back(binding.View());
    ASSERT_EQ(engine.Submit(PrinterName(printer).c_str(), SNMP_REQUEST_SET, views, setOptions, nullptr), 0);
    for (Binding &binding : set) {
        std::fill(binding.oid.begin(), binding.oid.end(), '9');
        std::fill(binding.text.begin(), binding.text.end(), '?');
    }
    std::vector<Binding> get = {{kName, ""}, {kContact, ""}, {kLocation, ""}};
    views.clear();
    for (Binding &binding : get) views.push_back(binding.View());
    std::vector<std::vector<std::string>> replies;
    const FleetDelivery keep = [](void *context, FleetCompletion &completion) {
        auto &all = *static_cast<std::vector<std::vector<std::string>> *>(context);
        std::vector<std::string> &values = all.emplace_back();
        values.push_back(std::to_string(completion.result));
        for (std::uint16_t i = 0; completion.reply != nullptr && i < completion.reply->varBindCount; ++i) {
            const SnmpVarBind &binding = completion.reply->varBinds[i];
            values.push_back(std::string(binding.oid) + "=" +
                             std::string(reinterpret_cast<const char *>(binding.value), binding.valueLength));
        }
        HelperFreeReqParam(completion.reply);
    };
    for (int round = 0; round < 10 && engine.Run(500, keep, &replies) != 0; ++round) {
    }
    ASSERT_EQ(engine.Submit(PrinterName(printer).c_str(), SNMP_REQUEST_GET, views, {}, nullptr), 0);
    for (Binding &binding : get) std::fill(binding.oid.begin(), binding.oid.end(), '9');
    for (int round = 0; round < 10 && engine.Run(500, keep, &replies) != 0; ++round) {
    }
    const std::vector<std::vector<std::string>> expected = {
        {"0", std::string(kContact) + "=x", std::string(kLocation) + "=" + std::string(120, 'L'),
         std::string(kName) + "=short name"},
        {"0", std::string(kName) + "=short name", std::string(kContact) + "=x",
         std::string(kLocation) + "=" + std::string(120, 'L')},
    };
    EXPECT_EQ(replies, expected);
}

// A request built for the test's own peers: the request's message with its
// PDU tag made a GetResponse's, its request-id's last octet and its
// error-status as given.
struct RequestLayout {
    std::size_t pduTag = 0, idLast = 0, errorStatus = 0;
};

std::size_t ContentsAt(const Bytes &message, std::size_t at, std::size_t &length) {
    std::size_t position = at + 1;
    const std::uint8_t first = message.at(position++);
    if (first < 0x80) {
        length = first;
    } else {
        length = 0;
        for (int octets = first & 0x7F; octets > 0; --octets) length = length << 8 | message.at(position++);
    }
    return position;
}

RequestLayout Layout(const Bytes &message) {
    RequestLayout layout;
    std::size_t length = 0;
    std::size_t at = ContentsAt(message, 0, length);       // the message SEQUENCE
    at = ContentsAt(message, at, length) + length;         // version
    at = ContentsAt(message, at, length) + length;         // community
    layout.pduTag = at;
    at = ContentsAt(message, at, length);                  // the PDU
    at = ContentsAt(message, at, length) + length;         // request-id
    layout.idLast = at - 1;
    layout.errorStatus = ContentsAt(message, at, length);  // error-status, one octet
    return layout;
}

Bytes Reply(Bytes request, std::uint8_t errorStatus, bool foreignId = false) {
    const RequestLayout layout = Layout(request);
    request[layout.pduTag] = 0xA2;
    request[layout.errorStatus] = errorStatus;
    if (foreignId) request[layout.idLast] ^= 0x55;
    return request;
}

TEST_F(FleetEngineTest, LateDuplicateForeignAndMisaddressedRepliesDoNotCross) {
    test::UdpPeer first(161, "127.0.9.1");
    test::UdpPeer second(161, "127.0.9.2");
    test::UdpPeer secondElsewhere(0, "127.0.9.2");
    ASSERT_TRUE(first.Bound() && second.Bound() && secondElsewhere.Bound());
    extraPrinters_ = IpPrinter("first", "127.0.9.1") + IpPrinter("second", "127.0.9.2");
    SetUp();

    FleetEngine engine;
    TransactionOptions options;
    options.timeoutSeconds = 1;
    options.retries = 1;  // two waits, one re-send between them
    ASSERT_EQ(Submit(engine, "first", SNMP_REQUEST_GET, {kLocation, ""}, 1, options), 0);
    ASSERT_EQ(Submit(engine, "second", SNMP_REQUEST_GET, {kLocation, ""}, 2, options), 0);

    std::atomic<bool> peersDone{false};
    std::thread peers([&] {
        const auto toFirst = first.Receive(3000);
        const auto toSecond = second.Receive(3000);
        if (toFirst && toSecond) {
            const std::uint16_t port = toFirst->fromPort;
            // genErr marks every reply that must not be taken.
            first.SendTo(Reply(toSecond->bytes, 5), port);        // second's id, from first's address
            first.SendTo(Reply(toFirst->bytes, 5, true), port);   // another request-id
            secondElsewhere.SendTo(Reply(toSecond->bytes, 5), port);  // second's, from another port
            first.SendTo({0x30, 0x03, 0x02, 0x01}, port);         // no message at all
            // The first request is answered only after it was sent again,
            // to its first send, and twice.
            if (first.Receive(3000)) {
                first.SendTo(Reply(toFirst->bytes, 0), port);
                first.SendTo(Reply(toFirst->bytes, 0), port);
            }
            second.SendTo(Reply(toSecond->bytes, 0), port);
        }
        peersDone = true;
    });
    Outcomes outcomes;
    RunToEnd(engine, outcomes);
    peers.join();
    ASSERT_TRUE(peersDone);
    ASSERT_EQ(outcomes.size(), 2u);
    for (std::intptr_t tag : {1, 2}) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(outcomes[tag].completions, 1);
        EXPECT_EQ(outcomes[tag].result, 0);
        EXPECT_EQ(outcomes[tag].errorStatus, 0u);
    }
    EXPECT_NE(outcomes[1].requestId, outcomes[2].requestId);
    // The duplicate that came after the first's completion was dropped:
    // nothing further is delivered.
    EXPECT_EQ(engine.Run(100, Record, &outcomes), 0u);
    EXPECT_EQ(outcomes[1].completions, 1);
}

// Printers whose IP waits end in a switch to DLC or IPX, and printers the
// store sends over those, end as the blocking engine ends them: the same
// result, the same protocol, the same protocol stored afterwards.
TEST_F(FleetEngineTest, ProtocolSwitchesEndAsTheBlockingEngineEndsThem) {
    struct Case {
        int cProtocols;
        int pProtocol;
        std::string address;
    };
    const std::vector<Case> cases = {
        {6, 2, Address(0)},         // silent over IP, then DLC
        {3, 2, Address(0)},         // silent over IP, then IPX
        {6, 2, "no address"},       // the IP send fails, then DLC
        {7, 1, Address(0)},         // IPX first
        {4, 4, Address(0)},         // DLC only
        {2, 2, "no address"},       // the IP send fails, nothing to switch to
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        for (const char *side : {"engine", "blocking"}) {
            extraPrinters_ += test::PrinterKey(
                side + std::to_string(i),
                test::DwordLine("cProtocols", cases[i].cProtocols) + test::DwordLine("pProtocol", cases[i].pProtocol) +
                    "\"IP Address\"=\"" + cases[i].address +
                    "\"\n\"MAC Address\"=\"000000000001\"\n\"IPX Address\"=\"00000000000000000001\"\n");
        }
    }
    SetUp();
    TransactionOptions options;
    options.timeoutSeconds = 0;  // only look: the waits cost nothing (and no printer answers in time)
    options.retries = 0;
    FleetEngine engine(2);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ASSERT_EQ(Submit(engine, "engine" + std::to_string(i), SNMP_REQUEST_GET, {kLocation, ""},
                         static_cast<std::intptr_t>(i), options),
                  0);
    }
    Outcomes outcomes;
    RunToEnd(engine, outcomes);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        Binding binding{kLocation, ""};
        SnmpVarBind view = binding.View();
        TypedReply reply;
        const std::int32_t blocking =
            RunTypedTransaction(("blocking" + std::to_string(i)).c_str(), SNMP_REQUEST_GET, {&view, 1}, reply, options);
        EXPECT_EQ(outcomes[static_cast<std::intptr_t>(i)].completions, 1);
        EXPECT_EQ(outcomes[static_cast<std::intptr_t>(i)].result, blocking);
        EXPECT_EQ(outcomes[static_cast<std::intptr_t>(i)].protocol, reply.Protocol());
        EXPECT_EQ(test::StoredProtocol("engine" + std::to_string(i)),
                  test::StoredProtocol("blocking" + std::to_string(i)));
    }
    // IP, DLC and IP again refused the message: the last switch, to DLC, stays.
    EXPECT_EQ(test::StoredProtocol("engine2"), 4u);
}

// Each thread its own engine, all at once over the same fleet.
TEST_F(FleetEngineTest, EnginesOnSeveralThreadsAtOnce) {
    constexpr int kThreads = 4;
    std::vector<Outcomes> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &outcomes] {
            FleetEngine engine;
            for (int i = t; i < kFleetSize; i += kThreads) {
                if (KindOf(i) == Kind::Answers) Submit(engine, PrinterName(i), SNMP_REQUEST_GET, {"1.3.6.1.2.1.1.5.0", ""}, i);
            }
            for (int round = 0; round < 40 && engine.Run(500, Record, &outcomes[t]) != 0; ++round) {
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    std::size_t answered = 0;
    for (int t = 0; t < kThreads; ++t) {
        for (const auto &[tag, outcome] : outcomes[t]) {
            SCOPED_TRACE(tag);
            EXPECT_EQ(tag % kThreads, t);
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_EQ(outcome.result, 0);
            EXPECT_EQ(outcome.value, "PALIMAR-4100");
            ++answered;
        }
    }
    EXPECT_EQ(answered, static_cast<std::size_t>(kFleetSize * 15 / 20));
}

// What is formed from the store, at the next run, ends in a completion:
// a community the store holds that is not text, and a printer it lacks.
TEST_F(FleetEngineTest, WhatCannotBeFormedEndsWithItsCode) {
    extraPrinters_ = test::PrinterKey("odd", test::DwordLine("cProtocols", 2) + test::DwordLine("pProtocol", 2) +
                                                 test::DwordLine("Community", 7) + "\"IP Address\"=\"" + Address(5) +
                                                 "\"\n");
    SetUp();
    FleetEngine engine;
    ASSERT_EQ(Submit(engine, "odd", SNMP_REQUEST_GET, {kLocation, ""}, 1), 0);
    ASSERT_EQ(Submit(engine, "absent", SNMP_REQUEST_GET, {kLocation, ""}, 2), 0);
    ASSERT_EQ(Submit(engine, PrinterName(5), SNMP_REQUEST_GET, {kLocation, ""}, 3), 0);
    // With the caller's community the printer's record is read for its
    // address alone.
    TransactionOptions community;
    community.community = kSimulatorCommunity;
    ASSERT_EQ(Submit(engine, PrinterName(6), SNMP_REQUEST_GET, {kLocation, ""}, 4, community), 0);
    ASSERT_EQ(Submit(engine, "absent", SNMP_REQUEST_GET, {kLocation, ""}, 5, community), 0);
    Outcomes outcomes;
    RunToEnd(engine, outcomes);
    EXPECT_EQ(outcomes[1].result, SNMP_RESULT_COMMUNITY_FAILED);
    EXPECT_EQ(outcomes[2].result, SNMP_RESULT_SEND_FAILED);
    EXPECT_EQ(outcomes[3].result, 0);
    EXPECT_EQ(outcomes[4].result, 0);
    EXPECT_EQ(outcomes[5].result, SNMP_RESULT_SEND_FAILED);
    for (std::intptr_t tag : {1, 2, 3, 4, 5}) EXPECT_EQ(outcomes[tag].completions, 1) << tag;
}

// First requests go out together; one the system refuses (no usable
// address) ends its own transaction, and those after it in the same burst
// still go and are answered.
TEST_F(FleetEngineTest, ARefusedSendInABurstEndsOnlyItsTransaction) {
    extraPrinters_ = IpPrinter("refused", "no address");
    SetUp();
    FleetEngine engine;
    std::vector<int> answering;
    for (int i = 5; answering.size() < 40; ++i) {
        if (KindOf(i) == Kind::Answers) answering.push_back(i);
    }
    for (std::size_t at = 0; at < answering.size(); ++at) {
        if (at == answering.size() / 2) {
            ASSERT_EQ(Submit(engine, "refused", SNMP_REQUEST_GET, {kLocation, ""}, -1), 0);
        }
        ASSERT_EQ(Submit(engine, PrinterName(answering[at]), SNMP_REQUEST_GET, {"1.3.6.1.2.1.1.5.0", ""},
                         answering[at]),
                  0);
    }
    Outcomes outcomes;
    RunToEnd(engine, outcomes);
    EXPECT_EQ(outcomes[-1].completions, 1);
    EXPECT_EQ(outcomes[-1].result, SNMP_RESULT_SEND_FAILED);
    for (const int i : answering) {
        SCOPED_TRACE(PrinterName(i));
        EXPECT_EQ(outcomes[i].completions, 1);
        EXPECT_EQ(outcomes[i].result, 0);
        EXPECT_EQ(outcomes[i].value, "PALIMAR-4100");
    }
}

void IgnoreCompletion(void *, const SnmpEngineCompletion *completion) { HelperFreeReqParam(completion->reply); }

TEST_F(FleetEngineTest, ExportsRefuseInvalidArguments) {
    EXPECT_EQ(HelperSNMPEngineCreate(65), nullptr);
    SnmpEngine *engine = HelperSNMPEngineCreate(0);
    ASSERT_NE(engine, nullptr);
    char oid[] = "1.3.6.1.2.1.1.5.0";
    SnmpVarBind binding{};
    binding.oid = oid;
    binding.oidLength = static_cast<std::uint16_t>(std::strlen(oid));
    SnmpVarBind unnamed{};
    const std::string longCommunity(256, 'c');
    const auto valid = [&] {
        SnmpEngineRequest request{};
        request.recordSize = sizeof request;
        request.requestType = SNMP_REQUEST_GET;
        request.timeoutSeconds = SNMP_TRANSACTION_CONFIGURED;
        request.retries = SNMP_TRANSACTION_CONFIGURED;
        request.varBindCount = 1;
        request.printerName = "prn5";
        request.varBinds = &binding;
        return request;
    };
    struct Refusal {
        const char *what;
        void (*change)(SnmpEngineRequest &, const SnmpVarBind *, const char *);
        std::int32_t result;
    };
    const std::vector<Refusal> refusals = {
        {"record size", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *) { r.recordSize = 8; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"no printer", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *) { r.printerName = nullptr; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"no bindings", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *) { r.varBinds = nullptr; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"unnamed binding", [](SnmpEngineRequest &r, const SnmpVarBind *u, const char *) { r.varBinds = u; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"timeout", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *) { r.timeoutSeconds = -2; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"retries", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *) { r.retries = -2; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"community", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *c) { r.community = c; },
         SNMP_RESULT_INVALID_ARGUMENT},
        {"request type", [](SnmpEngineRequest &r, const SnmpVarBind *, const char *) { r.requestType = 3; },
         SNMP_RESULT_BAD_REQUEST_TYPE},
    };
    for (const Refusal &refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        SnmpEngineRequest request = valid();
        refusal.change(request, &unnamed, longCommunity.c_str());
        EXPECT_EQ(HelperSNMPEngineSubmit(engine, &request), refusal.result);
    }
    const SnmpEngineRequest request = valid();
    EXPECT_EQ(HelperSNMPEngineSubmit(nullptr, &request), SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(HelperSNMPEngineSubmit(engine, nullptr), SNMP_RESULT_INVALID_ARGUMENT);
    std::uint32_t inFlight = 99;
    EXPECT_EQ(HelperSNMPEngineRun(engine, 10, IgnoreCompletion, nullptr, &inFlight), 0);
    EXPECT_EQ(inFlight, 0u) << "a refused request left something in flight";
    EXPECT_EQ(HelperSNMPEngineRun(engine, 10, nullptr, nullptr, &inFlight), SNMP_RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(HelperSNMPEngineRun(nullptr, 10, IgnoreCompletion, nullptr, &inFlight), SNMP_RESULT_INVALID_ARGUMENT);

    // A valid one goes through the exports end to end; one left in flight
    // is dropped with the engine.
    struct Seen {
        int count = 0;
        std::int32_t result = -1;
        void *tag = nullptr;
    } seen;
    SnmpEngineRequest tagged = valid();
    tagged.tag = &seen;
    ASSERT_EQ(HelperSNMPEngineSubmit(engine, &tagged), 0);
    for (int round = 0; round < 20 && seen.count == 0; ++round) {
        HelperSNMPEngineRun(engine, 500,
                            [](void *context, const SnmpEngineCompletion *completion) {
                                auto *s = static_cast<Seen *>(context);
                                ++s->count;
                                s->result = completion->result;
                                s->tag = completion->tag;
                                HelperFreeReqParam(completion->reply);
                            },
                            &seen, &inFlight);
    }
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.result, 0);
    EXPECT_EQ(seen.tag, &seen);
    ASSERT_EQ(HelperSNMPEngineSubmit(engine, &tagged), 0);
    HelperSNMPEngineDestroy(engine);
    HelperSNMPEngineDestroy(nullptr);
}

}  // namespace
}  // namespace snmphelper
