// SPDX-License-Identifier: Apache-2.0
// The request encoder: golden messages, value items, room, refusals and
// allocation failure at every step.
#include "codec/pdu_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "codec/ber_encode.h"
#include "platform/heap.h"
#include "snmphelper.h"
#include "tests/support/heap_faults.h"
#include "tests/support/hex.h"

namespace snmphelper {
namespace {

using test::Hex;
using test::ToHex;

constexpr std::uint8_t kSentinel = 0xEE;
char kSysDescr[] = "1.3.6.1.2.1.1.1.0";

SnmpVarBind Binding(char *oid, std::int32_t valueType = SNMP_VALUE_NULL,
                    const void *value = nullptr, std::uint32_t valueLength = 0) {
    return SnmpVarBind{oid, 0, valueType, static_cast<std::uint8_t *>(const_cast<void *>(value)),
                       valueLength};
}

SnmpReqParam Request(std::int32_t pduType, std::int32_t requestId,
                     std::vector<SnmpVarBind> &bindings, const char *community = nullptr,
                     std::uint16_t communityLength = 0) {
    SnmpReqParam record{};
    record.community = const_cast<char *>(community);
    record.communityLength = communityLength;
    record.pduType = pduType;
    record.requestId = requestId;
    record.varBindCount = static_cast<std::uint16_t>(bindings.size());
    record.varBinds = bindings.empty() ? nullptr : bindings.data();
    return record;
}

struct Encoded {
    std::int32_t result;
    std::uint16_t length;
    std::vector<std::uint8_t> bytes;  // the whole buffer, sentinel-filled beyond what was written
};

Encoded Encode(const SnmpReqParam &record, std::uint16_t room = 2048) {
    Encoded out{0, room, std::vector<std::uint8_t>(static_cast<std::size_t>(room) + 16, kSentinel)};
    out.result = HelperSnmpEncodePdu(&record, out.bytes.data(), &out.length);
    return out;
}

std::string Message(const Encoded &encoded) {
    if (encoded.result != SNMP_ENCODE_OK) return "result " + std::to_string(encoded.result);
    return ToHex(encoded.bytes.data(), encoded.length);
}

TEST(PduEncoder, GoldenMessages) {
    std::int32_t minusTwo = -2;
    const char secret[] = "sesame";

    std::vector<SnmpVarBind> get = {Binding(kSysDescr)};
    EXPECT_EQ(Message(Encode(Request(SNMP_PDU_GET_REQUEST, 1, get))),
              "30 20"                           // message SEQUENCE, 32
              " 02 01 00"                       // version 0
              " 04 00"                          // community, empty
              " A0 19"                          // GetRequest-PDU, 25
              " 02 01 01"                       // request-id 1
              " 02 01 00 02 01 00"              // error-status, error-index
              " 30 0E 30 0C"                    // variable-bindings, one VarBind
              " 06 08 2B 06 01 02 01 01 01 00"  // name 1.3.6.1.2.1.1.1.0
              " 04 00");                        // value: empty OCTET STRING

    std::vector<SnmpVarBind> set = {Binding(kSysDescr, SNMP_VALUE_INTEGER, &minusTwo)};
    EXPECT_EQ(Message(Encode(Request(SNMP_PDU_SET_REQUEST, 128, set))),
              "30 22 02 01 00 04 00"
              " A3 1B"        // SetRequest-PDU, 27
              " 02 02 00 80"  // request-id 128
              " 02 01 00 02 01 00"
              " 30 0F 30 0D 06 08 2B 06 01 02 01 01 01 00"
              " 02 01 FE");  // INTEGER -2

    // A get-next ignores the entry's value and the record's error fields.
    std::vector<SnmpVarBind> next = {Binding(kSysDescr, SNMP_VALUE_OCTET_STRING, "abc", 3)};
    SnmpReqParam nextRecord = Request(SNMP_PDU_GET_NEXT_REQUEST, -1, next, secret, 6);
    nextRecord.errorStatus = 5;
    nextRecord.errorIndex = 3;
    EXPECT_EQ(Message(Encode(nextRecord)),
              "30 26 02 01 00"
              " 04 06 73 65 73 61 6D 65"  // community "sesame"
              " A1 19"                    // GetNextRequest-PDU
              " 02 01 FF"                 // request-id -1
              " 02 01 00 02 01 00"        // error fields still 0
              " 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 04 00");

    std::vector<SnmpVarBind> none;
    EXPECT_EQ(Message(Encode(Request(SNMP_PDU_GET_REQUEST, 2147483647, none))),
              "30 15 02 01 00 04 00 A0 0E"
              " 02 04 7F FF FF FF"  // request-id, largest
              " 02 01 00 02 01 00"
              " 30 00");  // empty variable-bindings
}

TEST(PduEncoder, LongFormLengthsAtEveryLevel) {
    // A 200-octet community takes the message length past 127; 40 entries take
    // the PDU and list lengths past 255.
    const std::string community(200, 'c');
    std::vector<SnmpVarBind> bindings(40, Binding(kSysDescr));
    const Encoded encoded =
        Encode(Request(SNMP_PDU_GET_REQUEST, 7, bindings, community.data(), 200));
    std::string expected =
        "30 82 03 0F"  // message SEQUENCE, 783
        " 02 01 00"
        " 04 81 C8";  // community, 200
    for (int i = 0; i < 200; ++i) expected += " 63";
    expected +=
        " A0 82 02 3D"  // GetRequest-PDU, 573
        " 02 01 07 02 01 00 02 01 00"
        " 30 82 02 30";  // variable-bindings, 40 x 14
    for (int i = 0; i < 40; ++i) expected += " 30 0C 06 08 2B 06 01 02 01 01 01 00 04 00";
    EXPECT_EQ(Message(encoded), expected);
}

TEST(PduEncoder, SetRequestValueItems) {
    struct Case {
        const char *what;
        std::int32_t valueType;
        const void *value;
        std::uint32_t valueLength;
        const char *item;  // rendered value item, or nullptr when the item is refused
    };
    const std::int32_t integer = -129;
    const std::uint32_t largest = 4294967295u;
    const std::uint32_t small = 128;
    const std::uint32_t zero = 0;
    const std::uint8_t address[] = {192, 168, 0, 1};
    const char oidText[] = "1.3.6.1.4.1.200";
    const char badOid[] = "1.3.x";
    const char emptyText[] = "";
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    const Case cases[] = {
        {"INTEGER", SNMP_VALUE_INTEGER, &integer, 0, "02 02 FF 7F"},
        {"INTEGER null", SNMP_VALUE_INTEGER, nullptr, 4, nullptr},
        {"OCTET STRING", SNMP_VALUE_OCTET_STRING, abc, 3, "04 03 61 62 63"},
        {"OCTET STRING low 16 bits", SNMP_VALUE_OCTET_STRING, abc, 0x10003, "04 03 61 62 63"},
        {"OCTET STRING empty, null", SNMP_VALUE_OCTET_STRING, nullptr, 0, "04 00"},
        {"OCTET STRING null", SNMP_VALUE_OCTET_STRING, nullptr, 1, nullptr},
        {"IpAddress", SNMP_VALUE_IP_ADDRESS, address, 99, "40 04 C0 A8 00 01"},
        {"IpAddress null", SNMP_VALUE_IP_ADDRESS, nullptr, 4, nullptr},
        {"Opaque", SNMP_VALUE_OPAQUE, abc, 2, "44 02 61 62"},
        {"Opaque null", SNMP_VALUE_OPAQUE, nullptr, 2, nullptr},
        {"Counter", SNMP_VALUE_COUNTER, &largest, 0, "41 05 00 FF FF FF FF"},
        {"Gauge", SNMP_VALUE_GAUGE, &small, 0, "42 02 00 80"},
        {"TimeTicks", SNMP_VALUE_TIME_TICKS, &zero, 0, "43 01 00"},
        {"TimeTicks null", SNMP_VALUE_TIME_TICKS, nullptr, 4, nullptr},
        {"OBJECT IDENTIFIER", SNMP_VALUE_OBJECT_IDENTIFIER, oidText, 0,
         "06 07 2B 06 01 04 01 81 48"},
        {"OBJECT IDENTIFIER refused text", SNMP_VALUE_OBJECT_IDENTIFIER, badOid, 5, nullptr},
        {"OBJECT IDENTIFIER empty text", SNMP_VALUE_OBJECT_IDENTIFIER, emptyText, 0, nullptr},
        {"OBJECT IDENTIFIER null", SNMP_VALUE_OBJECT_IDENTIFIER, nullptr, 0, nullptr},
        {"NULL", SNMP_VALUE_NULL, nullptr, 7, "05 00"},
        {"type 0", SNMP_VALUE_NONE, abc, 3, nullptr},
        {"type 10", 10, abc, 3, nullptr},
        {"type -1", -1, abc, 3, nullptr},
    };
    const std::string head = "06 08 2B 06 01 02 01 01 01 00";
    for (const Case &c : cases) {
        std::vector<SnmpVarBind> bindings = {
            Binding(kSysDescr, c.valueType, c.value, c.valueLength)};
        const Encoded encoded = Encode(Request(SNMP_PDU_SET_REQUEST, 1, bindings));
        if (c.item == nullptr) {
            EXPECT_EQ(encoded.result, SNMP_ENCODE_NO_ROOM) << c.what;
            EXPECT_EQ(encoded.length, 2048) << c.what;
            continue;
        }
        const std::string message = Message(encoded);
        const std::string tail = head + " " + c.item;
        ASSERT_GE(message.size(), tail.size()) << c.what << ": " << message;
        EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << c.what;
        // The VarBind length covers the name (10) and the item.
        const std::size_t itemOctets = Hex(c.item).size();
        EXPECT_EQ(encoded.bytes[21], 10 + itemOctets) << c.what;
        EXPECT_EQ(encoded.length, 22 + 10 + itemOctets) << c.what;
    }
}

TEST(PduEncoder, ItemsUpTo256ContentOctets) {
    std::vector<std::uint8_t> octets(257, 0x5A);
    std::vector<SnmpVarBind> bindings = {
        Binding(kSysDescr, SNMP_VALUE_OCTET_STRING, octets.data(), 256)};
    Encoded encoded = Encode(Request(SNMP_PDU_SET_REQUEST, 1, bindings));
    ASSERT_EQ(encoded.result, SNMP_ENCODE_OK);
    // The item's header and first octet, at the end of a 300-octet message:
    // 30 82 01 28, version, community, A0 82 01 1F, three INTEGERs,
    // 30 82 01 12, 30 82 01 0E, the name (10) and the item (260).
    EXPECT_EQ(ToHex(encoded.bytes.data() + encoded.length - 260, 5), "04 82 01 00 5A");
    EXPECT_EQ(encoded.length, 300);

    bindings[0].valueLength = 257;
    EXPECT_EQ(Encode(Request(SNMP_PDU_SET_REQUEST, 1, bindings)).result, SNMP_ENCODE_NO_ROOM);
    bindings[0].valueType = SNMP_VALUE_OPAQUE;
    EXPECT_EQ(Encode(Request(SNMP_PDU_SET_REQUEST, 1, bindings)).result, SNMP_ENCODE_NO_ROOM);

    std::vector<SnmpVarBind> none;
    const std::string community(257, 'p');
    EXPECT_EQ(Encode(Request(SNMP_PDU_GET_REQUEST, 1, none, community.data(), 256)).result,
              SNMP_ENCODE_OK);
    EXPECT_EQ(Encode(Request(SNMP_PDU_GET_REQUEST, 1, none, community.data(), 257)).result,
              SNMP_ENCODE_NO_ROOM);
    EXPECT_EQ(Encode(Request(SNMP_PDU_GET_REQUEST, 1, none, nullptr, 3)).result,
              SNMP_ENCODE_NO_ROOM);

    // A name of exactly 256 content octets: 2B then 255 arcs of one octet.
    std::string longName = "1.3";
    for (int i = 0; i < 255; ++i) longName += ".1";
    std::vector<SnmpVarBind> named = {Binding(longName.data())};
    encoded = Encode(Request(SNMP_PDU_GET_REQUEST, 1, named));
    ASSERT_EQ(encoded.result, SNMP_ENCODE_OK);
    EXPECT_EQ(ToHex(encoded.bytes.data() + encoded.length - 262, 6), "06 82 01 00 2B 01");
    longName += ".1";  // 257 octets: refused like any unusable name
    named[0].oid = longName.data();
    EXPECT_EQ(Encode(Request(SNMP_PDU_GET_REQUEST, 1, named)).result, SNMP_ENCODE_CANNOT_PREPARE);
}

TEST(PduEncoder, RoomMustHoldTheWholeMessage) {
    std::vector<SnmpVarBind> bindings = {Binding(kSysDescr)};
    const SnmpReqParam record = Request(SNMP_PDU_GET_REQUEST, 1, bindings);
    for (std::uint16_t room = 0; room < 34; ++room) {
        const Encoded encoded = Encode(record, room);
        EXPECT_EQ(encoded.result, SNMP_ENCODE_NO_ROOM) << room;
        EXPECT_EQ(encoded.length, room);
        for (std::size_t i = room; i < encoded.bytes.size(); ++i) {
            ASSERT_EQ(encoded.bytes[i], kSentinel) << room;
        }
    }
    const Encoded exact = Encode(record, 34);
    EXPECT_EQ(exact.result, SNMP_ENCODE_OK);
    EXPECT_EQ(exact.length, 34);
    EXPECT_EQ(exact.bytes[34], kSentinel);
}

TEST(PduEncoder, RefusesWhatItCannotPrepare) {
    char refused[] = "1.3.x";
    char empty[] = "";
    char firstPair[] = "5.1";
    char wide[] = "1.3.4294967296";
    struct Case {
        const char *what;
        std::int32_t pduType;
        char *oid;
    };
    const Case cases[] = {
        {"GetResponse", SNMP_PDU_GET_RESPONSE, kSysDescr},
        {"PDU type 4", 4, kSysDescr},
        {"PDU type -1", -1, kSysDescr},
        {"name not digits and dots", SNMP_PDU_GET_REQUEST, refused},
        {"empty name", SNMP_PDU_SET_REQUEST, empty},
        {"null name", SNMP_PDU_GET_REQUEST, nullptr},
        {"first pair above one octet", SNMP_PDU_GET_NEXT_REQUEST, firstPair},
        {"arc wider than 32 bits", SNMP_PDU_GET_REQUEST, wide},
    };
    for (const Case &c : cases) {
        std::vector<SnmpVarBind> bindings = {Binding(kSysDescr), Binding(c.oid)};
        const Encoded encoded = Encode(Request(c.pduType, 1, bindings));
        EXPECT_EQ(encoded.result, SNMP_ENCODE_CANNOT_PREPARE) << c.what;
        EXPECT_EQ(encoded.length, 2048) << c.what;
        EXPECT_EQ(encoded.bytes[0], kSentinel) << c.what;  // nothing written
    }

    std::vector<SnmpVarBind> none;
    SnmpReqParam missingArray = Request(SNMP_PDU_GET_REQUEST, 1, none);
    missingArray.varBindCount = 2;
    EXPECT_EQ(Encode(missingArray).result, SNMP_ENCODE_CANNOT_PREPARE);

    std::uint8_t buffer[64];
    std::uint16_t length = sizeof buffer;
    const SnmpReqParam record = Request(SNMP_PDU_GET_REQUEST, 1, none);
    EXPECT_EQ(HelperSnmpEncodePdu(nullptr, buffer, &length), SNMP_ENCODE_CANNOT_PREPARE);
    EXPECT_EQ(HelperSnmpEncodePdu(&record, nullptr, &length), SNMP_ENCODE_CANNOT_PREPARE);
    EXPECT_EQ(HelperSnmpEncodePdu(&record, buffer, nullptr), SNMP_ENCODE_CANNOT_PREPARE);
}

// A message prepared from names given as contents, serialized.
std::string MessageOfContents(std::int32_t pduType, const std::vector<std::vector<std::uint8_t>> &names) {
    std::vector<SnmpVarBind> bindings;
    for (const std::vector<std::uint8_t> &name : names) {
        SnmpVarBind binding = Binding(reinterpret_cast<char *>(const_cast<std::uint8_t *>(name.data())));
        binding.oidLength = static_cast<std::uint16_t>(name.size());
        bindings.push_back(binding);
    }
    const SnmpReqParam record = Request(pduType, 7, bindings);
    PreparedMessage prepared;
    if (!PrepareMessage(record, prepared, NameForm::Encoded)) return "not prepared";
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(MessageSize(prepared)));
    auto length = static_cast<std::uint16_t>(bytes.size());
    const int serialized = SerializeMessage(prepared, bytes.data(), &length);
    FreePreparedMessage(prepared);
    return serialized == 1 ? ToHex(bytes.data(), length) : "not serialized";
}

// Names given as contents make the message their text makes; contents that
// no text makes are refused as that text would be.
TEST(PduEncoder, NamesGivenAsContents) {
    struct Case {
        const char *text;      // null: no text makes these contents
        const char *contents;  // hex
    };
    const Case cases[] = {
        {"1.3.6.1.2.1.1.1.0", "2B 06 01 02 01 01 01 00"},
        {"1.3.6.1.2.1.43.11.1.1.9.1.1", "2B 06 01 02 01 2B 0B 01 01 09 01 01"},
        {"1.3.200.16384.4294967295", "2B 81 48 81 80 00 8F FF FF FF 7F"},
        {"3.7", "7F"},
        {"0", "00"},
        {nullptr, ""},                   // no octets
        {nullptr, "80 01"},              // first sub-identifier of two octets
        {nullptr, "2B 06 86"},           // unfinished
        {nullptr, "2B 80 01"},           // a redundant leading group
        {nullptr, "2B 90 80 80 80 00"},  // above 32 bits
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.contents);
        const std::vector<std::uint8_t> contents = Hex(c.contents);
        EXPECT_EQ(OidContentsValid(contents.data(), contents.size(), kOidScratchSize), c.text != nullptr);
        if (c.text == nullptr) {
            EXPECT_EQ(MessageOfContents(SNMP_PDU_GET_REQUEST, {Hex("2B 06"), contents}), "not prepared");
            continue;
        }
        std::string text = c.text;
        std::vector<SnmpVarBind> bindings = {Binding(kSysDescr), Binding(text.data())};
        for (const std::int32_t pduType : {SNMP_PDU_GET_REQUEST, SNMP_PDU_GET_NEXT_REQUEST}) {
            EXPECT_EQ(MessageOfContents(pduType, {Hex("2B 06 01 02 01 01 01 00"), contents}),
                      Message(Encode(Request(pduType, 7, bindings))));
        }
    }
    // At most the room OidTextToBer writes into.
    std::vector<std::uint8_t> longest(kOidScratchSize, 0x01);
    longest[0] = 0x2B;
    EXPECT_TRUE(OidContentsValid(longest.data(), longest.size(), kOidScratchSize));
    longest.push_back(0x01);
    EXPECT_FALSE(OidContentsValid(longest.data(), longest.size(), kOidScratchSize));
}

TEST(PduEncoder, ManyFailedItemsCannotWrapTheLengths) {
    // 65535 entries whose values cannot be made: each recorded as 65535
    // octets, so the summed lengths exceed 32 bits.
    std::vector<SnmpVarBind> bindings(65535, Binding(kSysDescr, SNMP_VALUE_NONE));
    const std::int64_t live = platform::HeapLiveBlocks();
    const Encoded encoded = Encode(Request(SNMP_PDU_SET_REQUEST, 1, bindings), 65535);
    EXPECT_EQ(encoded.result, SNMP_ENCODE_NO_ROOM);
    EXPECT_EQ(encoded.length, 65535);
    EXPECT_EQ(encoded.bytes[65535], kSentinel);
    EXPECT_EQ(platform::HeapLiveBlocks(), live);
}

// Requests of up to kInlineVarBinds bindings are rendered on the stack; only
// a larger one takes a heap block, whose failure refuses the request.
TEST(PduEncoder, ShortRequestsEncodeWithoutHeapAllocations) {
    const std::int32_t number = 42;
    const char oidValue[] = "1.3.6.1.4.1.99";
    const std::uint8_t text[] = {'o', 'k'};
    std::vector<SnmpVarBind> bindings = {
        Binding(kSysDescr, SNMP_VALUE_INTEGER, &number),
        Binding(kSysDescr, SNMP_VALUE_OBJECT_IDENTIFIER, oidValue),
        Binding(kSysDescr, SNMP_VALUE_OCTET_STRING, text, 2),
    };
    bindings.resize(kInlineVarBinds, Binding(kSysDescr, SNMP_VALUE_NULL));
    for (const std::int32_t pduType : {SNMP_PDU_GET_REQUEST, SNMP_PDU_SET_REQUEST}) {
        const std::uint64_t before = platform::HeapAllocationCount();
        const Encoded encoded = Encode(Request(pduType, 9, bindings));
        EXPECT_EQ(encoded.result, SNMP_ENCODE_OK) << pduType;
        EXPECT_EQ(platform::HeapAllocationCount(), before) << pduType;
    }
}

TEST(PduEncoder, LargeRequestStorageFailureIsReportedAndReleased) {
    std::vector<SnmpVarBind> bindings(kInlineVarBinds + 1, Binding(kSysDescr));
    for (const std::int32_t pduType : {SNMP_PDU_GET_REQUEST, SNMP_PDU_SET_REQUEST}) {
        const SnmpReqParam record = Request(pduType, 9, bindings);
        const std::int64_t live = platform::HeapLiveBlocks();
        const Encoded clean = Encode(record);
        ASSERT_EQ(clean.result, SNMP_ENCODE_OK);
        Encoded encoded;
        const std::uint64_t allocations = test::ForEachAllocationFailure(
            [&] { encoded = Encode(record); },
            [&](std::uint64_t k) {
                EXPECT_EQ(platform::HeapLiveBlocks(), live) << "failing allocation " << k;
                if (k == 0) {
                    EXPECT_EQ(encoded.bytes, clean.bytes);
                    return;
                }
                EXPECT_EQ(encoded.result, SNMP_ENCODE_CANNOT_PREPARE) << "failing allocation " << k;
                EXPECT_EQ(encoded.length, 2048) << "failing allocation " << k;
                EXPECT_EQ(encoded.bytes[0], kSentinel) << "failing allocation " << k;
            });
        EXPECT_EQ(allocations, 1u);
    }
}

}  // namespace
}  // namespace snmphelper
