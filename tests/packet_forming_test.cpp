// SPDX-License-Identifier: Apache-2.0
// Text to request message: golden messages, in-place splitting, request-ids,
// refusals, allocation failure at every step, and the value round trip
// through a reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "library/library_entry.h"
#include "platform/heap.h"
#include "platform/string_table.h"
#include "snmphelper.h"
#include "tests/support/heap_faults.h"
#include "tests/support/test_module.h"
#include "tests/support/hex.h"
#include "transact/packet_forming.h"

namespace snmphelper {
namespace {

using namespace std::string_literals;
using test::Hex;
using test::ToHex;


// Community "t*o&r^e~l+d" as an OCTET STRING.
const std::string kCommunityItem = "04 0B 74 2A 6F 26 72 5E 65 7E 6C 2B 64";

struct Formed {
    std::vector<std::uint8_t> packet;  // empty when refused
    std::uint32_t length = 0xFFFF;
};

Formed Form(std::int32_t type, std::vector<char> &oids, std::vector<char> *values, std::uint32_t count) {
    const auto valueSize = values == nullptr ? 0u : static_cast<std::uint32_t>(values->size());
    Formed formed;
    std::uint8_t *packet =
        HelperFormSNMPPacket(type, oids.data(), static_cast<std::uint32_t>(oids.size()),
                             values == nullptr ? nullptr : values->data(), &valueSize, count,
                             &formed.length);
    if (packet != nullptr) {
        formed.packet.assign(packet, packet + formed.length);
        HelperFreeBlock(packet);
    }
    return formed;
}

std::vector<char> Text(const std::string &text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

// Where the PDU starts: after 30 L, 02 01 00 and 04 L community (whose
// length is always in short form here).
std::size_t PduTagOffset(const std::vector<std::uint8_t> &packet) {
    const std::size_t version = 2 + ((packet[1] & 0x80) != 0 ? (packet[1] & 0x7F) : 0);
    const std::size_t community = version + 3;
    return community + 2 + packet[community + 1];
}

// The request-id of a formed request, read by the library's own decoder
// after turning the PDU into a GetResponse.
std::int32_t RequestIdOf(std::vector<std::uint8_t> packet) {
    packet[PduTagOffset(packet)] = 0xA2;
    SnmpReqParam *decoded = HelperSnmpDecodePdu(packet.data(), static_cast<std::uint32_t>(packet.size()));
    if (decoded == nullptr) return -1;
    const std::int32_t requestId = decoded->requestId;
    HelperFreeReqParam(decoded);
    return requestId;
}

class PacketFormingTest : public ::testing::Test {
protected:
    void SetUp() override { LibraryEntry(test::TestModule(), kProcessAttach); }
    void TearDown() override {
        platform::SetStringResourceAvailable(kCommunityEntry, true);
        LibraryEntry(test::TestModule(), kProcessDetach);
    }
};

TEST_F(PacketFormingTest, FirstGetRequestAfterLoad) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.1.0");
    const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, 1);
    EXPECT_EQ(formed.length, 45u);
    EXPECT_EQ(ToHex(formed.packet), ToHex(Hex("30 2B 02 01 00 " + kCommunityItem +
                                              " A0 19 02 01 01"     // GetRequest, request-id 1
                                              " 02 01 00 02 01 00"  // error-status, error-index
                                              " 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00"
                                              " 04 00")));          // a get's value: empty string

    const Formed second = Form(SNMP_REQUEST_GET_NEXT, oids, nullptr, 1);
    ASSERT_EQ(second.length, 45u);
    EXPECT_EQ(second.packet[18], 0xA1);
    EXPECT_EQ(second.packet[22], 0x02);  // request-id 2
}

TEST_F(PacketFormingTest, DefaultCommunityWhenTheEntryIsMissing) {
    platform::SetStringResourceAvailable(kCommunityEntry, false);
    std::vector<char> oids = Text("1.3.6.1.2.1.1.1.0");
    const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, 1);
    ASSERT_FALSE(formed.packet.empty());
    EXPECT_EQ(ToHex(formed.packet.data() + 5, 8), "04 06 6D 61 72 6C 69 6E");  // "marlin"
}

TEST_F(PacketFormingTest, UnknownRequestTypeConsumesNoRequestId) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.1.0");
    for (std::int32_t type : {3, -1, 0x7FFFFFFF}) {
        const Formed refused = Form(type, oids, nullptr, 1);
        EXPECT_TRUE(refused.packet.empty()) << type;
        EXPECT_EQ(refused.length, 0u) << type;
    }
    EXPECT_STREQ(oids.data(), "1.3.6.1.2.1.1.1.0");
    const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, 1);
    EXPECT_EQ(RequestIdOf(formed.packet), 1);
}

TEST_F(PacketFormingTest, IdentifierListIsSplitInPlace) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0");
    const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, 2);
    EXPECT_EQ(std::string(oids.data(), oids.size()),
              "1.3.6.1.2.1.1.5.0\0" "1.3.6.1.2.1.1.6.0\0"s);
    EXPECT_EQ(ToHex(formed.packet), ToHex(Hex("30 39 02 01 00 " + kCommunityItem +
                                              " A0 27 02 01 01 02 01 00 02 01 00 30 1C"
                                              " 30 0C 06 08 2B 06 01 02 01 01 05 00 04 00"
                                              " 30 0C 06 08 2B 06 01 02 01 01 06 00 04 00")));
}

TEST_F(PacketFormingTest, CountSmallerThanTheListTakesTheFirstIdentifiers) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0");
    const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, 1);
    EXPECT_EQ(std::string(oids.data(), oids.size()),
              "1.3.6.1.2.1.1.5.0\0" "1.3.6.1.2.1.1.6.0\0"s);
    EXPECT_EQ(formed.length, 45u);

    std::vector<char> none = Text("1.3.6.1.2.1.1.5.0");
    const Formed empty = Form(SNMP_REQUEST_GET, none, nullptr, 0);
    ASSERT_FALSE(empty.packet.empty());
    EXPECT_EQ(ToHex(empty.packet.data() + empty.length - 2, 2), "30 00");
    EXPECT_STREQ(none.data(), "1.3.6.1.2.1.1.5.0");
}

TEST_F(PacketFormingTest, CountBeyondTheListIsRefusedWithTheListIntact) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0");
    const std::int64_t blocks = platform::HeapLiveBlocks();
    for (std::uint32_t count : {3u, 0x10000u, 0xFFFFFFFFu}) {
        const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, count);
        EXPECT_TRUE(formed.packet.empty()) << count;
        EXPECT_EQ(formed.length, 0u) << count;
    }
    EXPECT_STREQ(oids.data(), "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0");
    EXPECT_EQ(platform::HeapLiveBlocks(), blocks);
}

TEST_F(PacketFormingTest, SetRequestTakesTheValuesInOrder) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0");
    std::vector<char> values = Text("1,42,2,3,abc");
    const Formed formed = Form(SNMP_REQUEST_SET, oids, &values, 2);
    EXPECT_EQ(ToHex(formed.packet), ToHex(Hex("30 3D 02 01 00 " + kCommunityItem +
                                              " A3 2B 02 01 01 02 01 00 02 01 00 30 20"
                                              " 30 0D 06 08 2B 06 01 02 01 01 05 00 02 01 2A"
                                              " 30 0F 06 08 2B 06 01 02 01 01 06 00 04 03 61 62 63")));
    EXPECT_EQ(std::string(values.data(), values.size()), "1\0" "42\0" "2\0" "3\0" "abc\0"s);
}

TEST_F(PacketFormingTest, SetRequestRefusals) {
    const struct {
        const char *name;
        std::string values;
        std::uint32_t count;
    } cases[] = {
        {"fewer values than variables", "1,42", 2},
        {"octet string running past the value list", "2,9,abc", 1},
        {"value without a comma", "42", 1},
        {"type without a value", "9,", 1},  // NULL: the encoder writes it, see below
    };
    for (const auto &item : cases) {
        std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0");
        std::vector<char> values = Text(item.values);
        const std::int64_t blocks = platform::HeapLiveBlocks();
        const Formed formed = Form(SNMP_REQUEST_SET, oids, &values, item.count);
        EXPECT_EQ(platform::HeapLiveBlocks(), blocks) << item.name;
        if (std::string(item.name) == "type without a value") {
            // A NULL value is a value: 05 00.
            ASSERT_FALSE(formed.packet.empty());
            EXPECT_EQ(ToHex(formed.packet.data() + formed.length - 2, 2), "05 00");
        } else {
            EXPECT_TRUE(formed.packet.empty()) << item.name;
            EXPECT_EQ(formed.length, 0u) << item.name;
        }
    }
}

TEST_F(PacketFormingTest, NullArguments) {
    std::uint32_t length = 7;
    const std::uint32_t valueSize = 0;
    EXPECT_EQ(HelperFormSNMPPacket(SNMP_REQUEST_GET, nullptr, 10, nullptr, &valueSize, 1, &length),
              nullptr);
    EXPECT_EQ(length, 0u);
    char oids[] = "1.3.6.1";
    EXPECT_EQ(HelperFormSNMPPacket(SNMP_REQUEST_GET, oids, sizeof oids, nullptr, nullptr, 1, nullptr),
              nullptr);
    // A null value-list size counts as 0.
    std::uint8_t *packet =
        HelperFormSNMPPacket(SNMP_REQUEST_GET, oids, sizeof oids, nullptr, nullptr, 1, &length);
    ASSERT_NE(packet, nullptr);
    EXPECT_GT(length, 0u);
    HelperFreeBlock(packet);
}

TEST(PacketBuffer, SizeIsTwiceTheListsPlusFiftyUpToSixteenBits) {
    EXPECT_EQ(PacketBufferSize(100, 20), 290);
    EXPECT_EQ(PacketBufferSize(0, 0), 50);
    EXPECT_EQ(PacketBufferSize(32742, 0), 65534);
    EXPECT_EQ(PacketBufferSize(32743, 0), 65535);
    EXPECT_EQ(PacketBufferSize(40000, 0), 65535);
    EXPECT_EQ(PacketBufferSize(0xFFFFFFFF, 0xFFFFFFFF), 65535);
}

// Large buffers do not refuse a small request: the buffer is capped at what
// the encoder's room can express, and only a message that does not fit fails.
TEST_F(PacketFormingTest, LargeListBuffersStillFormTheRequest) {
    std::vector<char> oids(40000, '\0');
    std::strcpy(oids.data(), "1.3.6.1.2.1.1.1.0");
    const Formed formed = Form(SNMP_REQUEST_GET, oids, nullptr, 1);
    EXPECT_EQ(formed.length, 45u);
}

TEST_F(PacketFormingTest, EveryAllocationFailureYieldsNullAndLeavesNothing) {
    const std::int64_t blocks = platform::HeapLiveBlocks();
    std::vector<std::uint8_t> lastPacket;
    std::uint32_t lastLength = 0;
    const std::uint64_t allocations = test::ForEachAllocationFailure(
        [&] {
            std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.6.0,1.3.6.1.2.1.1.4.0");
            // The empty OCTET STRING still needs its block: failing it refuses the request.
            std::vector<char> values = Text("1,42,2,0,,14,wxyz");
            const Formed formed = Form(SNMP_REQUEST_SET, oids, &values, 3);
            lastPacket = formed.packet;
            lastLength = formed.length;
        },
        [&](std::uint64_t failing) {
            if (failing == 0) {
                EXPECT_FALSE(lastPacket.empty());
            } else {
                EXPECT_TRUE(lastPacket.empty()) << "allocation " << failing;
                EXPECT_EQ(lastLength, 0u) << "allocation " << failing;
            }
            EXPECT_EQ(platform::HeapLiveBlocks(), blocks) << "allocation " << failing;
        });
    // Community, array, three values, packet buffer, and the encoder's own.
    EXPECT_GE(allocations, 6u);
}

TEST_F(PacketFormingTest, ThreadsFormingAtOnceGetDistinctRequestIds) {
    constexpr int kThreads = 4;
    constexpr int kPacketsPerThread = 250;
    std::vector<std::vector<std::vector<std::uint8_t>>> packets(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&packets, t] {
            for (int i = 0; i < kPacketsPerThread; ++i) {
                std::vector<char> oids = Text("1.3.6.1.2.1.1.1.0");
                packets[t].push_back(Form(SNMP_REQUEST_GET, oids, nullptr, 1).packet);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    std::set<std::int32_t> ids;
    for (const auto &perThread : packets) {
        for (const auto &packet : perThread) {
            ASSERT_FALSE(packet.empty());
            EXPECT_TRUE(ids.insert(RequestIdOf(packet)).second) << "request-id taken twice";
        }
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kThreads * kPacketsPerThread));
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), kThreads * kPacketsPerThread);
}

// Values as a reply delivers them can be sent back unchanged: a set request
// formed from a reply's texts, answered with the same variables, gives the
// same texts again.
TEST_F(PacketFormingTest, ReplyValuesCanBeSentBackUnchanged) {
    const std::string oidText = "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.7.0,1.3.6.1.2.1.4.20.1.1.0,"
                                "1.3.6.1.2.1.1.3.0,1.3.6.1.2.1.1.2.0,1.3.6.1.2.1.2.2.1.10.2";
    const std::string valueText =
        "2,5,a\0,\xFF" "b,1,-5,3,192.168.1.20,7,4711,8,1.3.6.1.4.1.236,5,4294967295"s;
    std::vector<char> oids = Text(oidText);
    std::vector<char> values = Text(valueText);
    Formed formed = Form(SNMP_REQUEST_SET, oids, &values, 6);
    ASSERT_FALSE(formed.packet.empty());

    formed.packet[PduTagOffset(formed.packet)] = 0xA2;  // the printer's answer: the same PDU
    char oidBuffer[256];
    char valueBuffer[256];
    std::uint32_t oidSize = sizeof oidBuffer;
    std::uint32_t valueSize = sizeof valueBuffer;
    ASSERT_EQ(HelperSNMPDecodePacket(formed.packet.data(), formed.length, oidBuffer, &oidSize,
                                     valueBuffer, &valueSize),
              SNMP_RESULT_OK);
    EXPECT_EQ(std::string(oidBuffer), oidText);
    EXPECT_EQ(std::string(valueBuffer, valueSize), valueText);
}

// The codes the transaction engine reports for the step that failed, and
// the request-id handed out only once one is taken.
TEST_F(PacketFormingTest, FormRequestNamesTheStepThatFailed) {
    std::vector<char> oids = Text("1.3.6.1.2.1.1.5.0");
    const auto oidSize = static_cast<std::uint32_t>(oids.size());
    std::int32_t requestId = -7;
    EncodedRequest request;
    EXPECT_EQ(FormRequest(3, oids.data(), oidSize, nullptr, 0, 1, requestId, request),
              SNMP_RESULT_BAD_REQUEST_TYPE);
    EXPECT_EQ(requestId, -7);
    EXPECT_EQ(FormRequest(SNMP_REQUEST_GET, oids.data(), oidSize, nullptr, 0, 2, requestId, request),
              SNMP_RESULT_VARBIND_LIST_FAILED);
    EXPECT_EQ(requestId, 1);
    EXPECT_EQ(request.bytes, nullptr);

    // Allocations in order: community, VarBind array, packet buffer, then the encoder's.
    const std::int64_t blocks = platform::HeapLiveBlocks();
    std::int32_t result = -1;
    const std::uint64_t allocations = test::ForEachAllocationFailure(
        [&] {
            request = EncodedRequest{};
            result = FormRequest(SNMP_REQUEST_GET, oids.data(), oidSize, nullptr, 0, 1, requestId,
                                 request);
            platform::HeapFree(request.bytes);
        },
        [&](std::uint64_t failing) {
            const std::int32_t expected = failing == 0   ? SNMP_RESULT_OK
                                          : failing == 1 ? SNMP_RESULT_COMMUNITY_FAILED
                                          : failing == 2 ? SNMP_RESULT_VARBIND_LIST_FAILED
                                          : failing == 3 ? SNMP_RESULT_OUT_OF_MEMORY
                                                         : SNMP_RESULT_ENCODE_FAILED;
            EXPECT_EQ(result, expected) << "allocation " << failing;
            EXPECT_EQ(request.bytes == nullptr, failing != 0) << "allocation " << failing;
            EXPECT_EQ(platform::HeapLiveBlocks(), blocks) << "allocation " << failing;
        });
    EXPECT_GE(allocations, 3u);
    // Every run but the one failing the community took a request-id.
    EXPECT_EQ(requestId, static_cast<std::int32_t>(allocations) + 1);
}

}  // namespace
}  // namespace snmphelper
