// SPDX-License-Identifier: Apache-2.0
// HelperSnmpDecodePdu: accepted GetResponse messages, refused variants of
// them, memory safety on arbitrary changes, and allocation failure.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/request_decoder.h"
#include "platform/heap.h"
#include "snmphelper.h"
#include "tests/support/ber_build.h"
#include "tests/support/heap_faults.h"
#include "tests/support/hex.h"
#include "tests/support/message_variants.h"

namespace snmphelper {
namespace {

using test::Bytes;
using test::Hex;
using test::Join;
using test::Tlv;

struct RecordDeleter {
    void operator()(SnmpReqParam *record) const { HelperFreeReqParam(record); }
};
using Record = std::unique_ptr<SnmpReqParam, RecordDeleter>;

Record Decode(const Bytes &message) {
    const auto copy = test::ExactCopy(message);
    return Record(HelperSnmpDecodePdu(copy.get(), static_cast<std::uint32_t>(message.size())));
}

// The golden GetResponse: 37 octets.
const char *const kGolden =
    "30 23"                           // message SEQUENCE, 35 octets
    " 02 01 00"                       // version 0
    " 04 00"                          // community, empty
    " A2 1C"                          // GetResponse-PDU, 28 octets
    " 02 01 01"                       // request-id 1
    " 02 01 00"                       // error-status noError
    " 02 01 00"                       // error-index 0
    " 30 11"                          // variable-bindings, 17 octets
    " 30 0F"                          // VarBind, 15 octets
    " 06 08 2B 06 01 02 01 01 01 00"  // name 1.3.6.1.2.1.1.1.0
    " 04 03 61 62 63";                // value OCTET STRING "abc"

const Bytes kSysDescr = Hex("2B 06 01 02 01 01 01 00");
const Bytes kNoError = Hex("02 01 00");
const Bytes kRequestIdOne = Hex("02 01 01");

// A response with the empty community, request-id 1, no error and the VarBinds.
Bytes Response(const std::vector<Bytes> &varBinds) {
    return test::Message({}, test::ResponsePdu(kRequestIdOne, kNoError, kNoError, varBinds));
}

Bytes ResponseWithValue(const Bytes &valueItem) {
    return Response({test::VarBind(kSysDescr, valueItem)});
}

std::string ValueBytes(const SnmpVarBind &entry) {
    return test::ToHex(entry.value, entry.valueLength);
}

TEST(DecodeResponse, GoldenMessage) {
    const Record record = Decode(Hex(kGolden));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->communityLength, 0);
    EXPECT_EQ(record->community[0], '\0');
    EXPECT_EQ(record->pduType, SNMP_PDU_GET_RESPONSE);
    EXPECT_EQ(record->requestId, 1);
    EXPECT_EQ(record->errorStatus, 0);
    EXPECT_EQ(record->errorIndex, 0);
    ASSERT_EQ(record->varBindCount, 1);
    const SnmpVarBind &entry = record->varBinds[0];
    EXPECT_STREQ(entry.oid, "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(entry.oidLength, 17);
    EXPECT_EQ(entry.valueType, SNMP_VALUE_OCTET_STRING);
    EXPECT_EQ(entry.valueLength, 3u);
    EXPECT_EQ(ValueBytes(entry), "61 62 63");
    EXPECT_EQ(entry.value[3], 0);  // text values are followed by a zero
}

TEST(DecodeResponse, BuilderReproducesTheGoldenMessage) {
    EXPECT_EQ(test::ToHex(ResponseWithValue(Hex("04 03 61 62 63"))), test::ToHex(Hex(kGolden)));
}

TEST(DecodeResponse, EveryTruncationIsRefused) {
    test::ForEachTruncation(Hex(kGolden), [](const Bytes &cut) {
        EXPECT_EQ(Decode(cut), nullptr) << "cut at " << cut.size();
    });
}

TEST(DecodeResponse, TrailingOctetIsRefused) {
    Bytes longer = Hex(kGolden);
    longer.push_back(0x00);
    EXPECT_EQ(Decode(longer), nullptr);
    longer[1] = 0x24;  // message length now counts the extra octet, the PDU's does not
    EXPECT_EQ(Decode(longer), nullptr);
}

TEST(DecodeResponse, SingleOctetChangesThatAreRefused) {
    const test::OctetChange changes[] = {
        {0, 0x31, "message is a SET"},
        {1, 0x22, "message length one short"},
        {1, 0x24, "message length one long"},
        {1, 0x80, "indefinite message length"},
        {2, 0x04, "version not an INTEGER"},
        {3, 0x02, "version in two octets"},
        {4, 0x01, "version 2c"},
        {5, 0x06, "community not an OCTET STRING"},
        {7, 0xA0, "GetRequest"},
        {7, 0xA1, "GetNextRequest"},
        {7, 0xA3, "SetRequest"},
        {7, 0xA4, "Trap"},
        {8, 0x1D, "PDU length beyond the data"},
        {9, 0x04, "request-id not an INTEGER"},
        {10, 0x02, "request-id longer than the PDU allows"},
        {12, 0x04, "error-status not an INTEGER"},
        {13, 0x00, "error-status with no contents"},
        {14, 0x06, "error-status 6"},
        {14, 0xFF, "error-status 255"},
        {15, 0x41, "error-index not an INTEGER"},
        {16, 0x02, "error-index in two octets"},
        {18, 0x31, "list not a SEQUENCE"},
        {19, 0x10, "list length one short"},
        {20, 0x31, "VarBind not a SEQUENCE"},
        {21, 0x10, "VarBind length beyond the list"},
        {21, 0x0E, "VarBind length one short"},
        {22, 0x04, "name not an OBJECT IDENTIFIER"},
        {23, 0x0E, "name beyond the VarBind"},
        {31, 0x80, "name ends in an unfinished sub-identifier"},
        {32, 0x24, "constructed OCTET STRING"},
        {32, 0x30, "value is a SEQUENCE"},
        {32, 0x80, "context-specific value"},
        {32, 0x46, "Counter64"},
        {32, 0x03, "BIT STRING"},
        {32, 0x1F, "high tag number form"},
        {33, 0x04, "value longer than the VarBind"},
        {33, 0x02, "value shorter than the VarBind"},
    };
    const Bytes golden = Hex(kGolden);
    for (const test::OctetChange &change : changes) {
        EXPECT_EQ(Decode(test::Changed(golden, change)), nullptr) << change.what;
    }
}

// The same reader takes a request, for tools that show what was sent; only
// the three request PDUs, each under its own pduType.
TEST(DecodeResponse, RequestsAreReadByTheRequestDecoderOnly) {
    const Bytes golden = Hex(kGolden);
    const struct {
        std::uint8_t tag;
        std::int32_t pduType;  // -1: refused
    } tags[] = {{0xA0, SNMP_PDU_GET_REQUEST}, {0xA1, SNMP_PDU_GET_NEXT_REQUEST}, {0xA3, SNMP_PDU_SET_REQUEST},
                {0xA2, -1}, {0xA4, -1}, {0xA5, -1}, {0x30, -1}};
    for (const auto &tag : tags) {
        SCOPED_TRACE(static_cast<int>(tag.tag));
        const Bytes message = test::Changed(golden, {7, tag.tag, ""});
        const auto copy = test::ExactCopy(message);
        Record request(DecodeRequestMessage(copy.get(), static_cast<std::uint32_t>(message.size())));
        if (tag.pduType < 0) {
            EXPECT_EQ(request, nullptr);
            continue;
        }
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(request->pduType, tag.pduType);
        EXPECT_EQ(request->requestId, 1);
        ASSERT_EQ(request->varBindCount, 1);
        EXPECT_STREQ(request->varBinds[0].oid, "1.3.6.1.2.1.1.1.0");
        // One octet short: refused as a GetResponse would be.
        EXPECT_EQ(DecodeRequestMessage(copy.get(), static_cast<std::uint32_t>(message.size() - 1)), nullptr);
    }
}

TEST(DecodeResponse, AnySingleOctetChangeIsSafe) {
    // Run under the address sanitizer, this shows that no change of one octet
    // makes the decoder read or write outside its blocks; what is accepted
    // must still be a well-formed record.
    test::ForEachSingleOctetChange(Hex(kGolden), [](const Bytes &changed) {
        const Record record = Decode(changed);
        if (record == nullptr) return;
        ASSERT_LE(record->varBindCount, 40);
        ASSERT_LE(record->errorStatus, 5);
        for (std::uint16_t i = 0; i < record->varBindCount; ++i) {
            EXPECT_EQ(std::strlen(record->varBinds[i].oid), record->varBinds[i].oidLength);
        }
    });
}

TEST(DecodeResponse, EmptyListAndErrorFields) {
    const Record empty = Decode(Response({}));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->varBindCount, 0);

    const Bytes genErr =
        test::Message({}, test::ResponsePdu(kRequestIdOne, Hex("02 01 05"), Hex("02 01 FF"), {}));
    const Record record = Decode(genErr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->errorStatus, 5);
    EXPECT_EQ(record->errorIndex, 255);

    EXPECT_EQ(
        Decode(test::Message({}, test::ResponsePdu(kRequestIdOne, Hex("02 01 06"), kNoError, {}))),
        nullptr);
}

struct RequestIdCase {
    const char *item;
    bool ok;
    std::int32_t requestId;
};

TEST(DecodeResponse, RequestIds) {
    const RequestIdCase cases[] = {
        {"02 01 FF", true, -1},
        {"02 04 7F FF FF FF", true, 2147483647},
        {"02 04 80 00 00 00", true, -2147483647 - 1},
        {"02 02 00 80", true, 128},
        {"02 81 01 07", true, 7},            // long-form length
        {"02 05 00 80 00 00 00", false, 0},  // 2147483648 does not fit
        {"04 01 01", false, 0},
    };
    for (const RequestIdCase &c : cases) {
        const Record record =
            Decode(test::Message({}, test::ResponsePdu(Hex(c.item), kNoError, kNoError, {})));
        ASSERT_EQ(record != nullptr, c.ok) << c.item;
        if (c.ok) {
            EXPECT_EQ(record->requestId, c.requestId) << c.item;
        }
    }
}

TEST(DecodeResponse, CommunityOf255IsFollowedByZero) {
    const Bytes community(255, 'c');
    const Record record =
        Decode(test::Message(community, test::ResponsePdu(kRequestIdOne, kNoError, kNoError, {})));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->communityLength, 255);
    EXPECT_EQ(std::string(record->community, 255), std::string(255, 'c'));
    EXPECT_EQ(record->community[255], '\0');

    const Bytes tooLong(256, 'c');
    EXPECT_EQ(
        Decode(test::Message(tooLong, test::ResponsePdu(kRequestIdOne, kNoError, kNoError, {}))),
        nullptr);
}

struct ValueCase {
    const char *item;
    SnmpValueType type;
    std::uint32_t valueLength;
    const char *stored;  // hex of the stored octets (numbers: checked separately)
    std::int64_t number;
};

TEST(DecodeResponse, ValueOfEveryType) {
    const ValueCase cases[] = {
        {"02 01 FF", SNMP_VALUE_INTEGER, 4, nullptr, -1},
        {"02 00", SNMP_VALUE_INTEGER, 4, nullptr, 0},
        {"02 02 FF 7F", SNMP_VALUE_INTEGER, 4, nullptr, -129},
        {"41 05 00 FF FF FF FF", SNMP_VALUE_COUNTER, 4, nullptr, 4294967295LL},
        {"42 01 FF", SNMP_VALUE_GAUGE, 4, nullptr, 255},
        {"43 01 64", SNMP_VALUE_TIME_TICKS, 4, nullptr, 100},
        {"40 04 C0 A8 01 02", SNMP_VALUE_IP_ADDRESS, 4, "C0 A8 01 02", 0},
        {"04 00", SNMP_VALUE_OCTET_STRING, 0, "", 0},
        {"04 03 61 00 63", SNMP_VALUE_OCTET_STRING, 3, "61 00 63", 0},
        {"44 02 9F 78", SNMP_VALUE_OPAQUE, 2, "9F 78", 0},
        {"05 00", SNMP_VALUE_NULL, 0, "", 0},
        {"06 03 2B 06 01", SNMP_VALUE_OBJECT_IDENTIFIER, 7, "31 2E 33 2E 36 2E 31", 0},
    };
    for (const ValueCase &c : cases) {
        const Record record = Decode(ResponseWithValue(Hex(c.item)));
        ASSERT_NE(record, nullptr) << c.item;
        ASSERT_EQ(record->varBindCount, 1);
        const SnmpVarBind &entry = record->varBinds[0];
        EXPECT_EQ(entry.valueType, c.type) << c.item;
        EXPECT_EQ(entry.valueLength, c.valueLength) << c.item;
        EXPECT_EQ(entry.value[entry.valueLength], 0) << "no zero after the value: " << c.item;
        if (c.stored != nullptr) {
            EXPECT_EQ(ValueBytes(entry), c.stored) << c.item;
        } else if (c.type == SNMP_VALUE_INTEGER) {
            std::int32_t number = 0;
            std::memcpy(&number, entry.value, sizeof number);
            EXPECT_EQ(number, c.number) << c.item;
        } else {
            std::uint32_t number = 0;
            std::memcpy(&number, entry.value, sizeof number);
            EXPECT_EQ(number, c.number) << c.item;
        }
    }
}

TEST(DecodeResponse, RefusedValues) {
    const char *const refused[] = {
        "80 00",                    // context-specific
        "46 01 00",                 // application 6 (Counter64)
        "03 02 00 FF",              // BIT STRING
        "30 00",                    // constructed
        "24 00",                    // constructed OCTET STRING
        "05 01 00",                 // NULL with contents
        "40 05 C0 A8 01 02 03",     // IpAddress of five octets
        "02 05 01 00 00 00 00",     // INTEGER beyond 32 bits
        "41 05 01 00 00 00 00",     // Counter beyond 32 bits
        "06 02 2B 86",              // OBJECT IDENTIFIER unfinished
        "06 06 2B 90 80 80 80 00",  // sub-identifier beyond 32 bits
    };
    for (const char *item : refused) {
        EXPECT_EQ(Decode(ResponseWithValue(Hex(item))), nullptr) << item;
    }
}

TEST(DecodeResponse, LongFormLengthsAreRead) {
    // The golden message with every SEQUENCE length in the long form.
    const Bytes message =
        Hex("30 81 27 02 01 00 04 00 A2 81 1F 02 01 01 02 01 00 02 01 00"
            " 30 81 13 30 81 10 06 08 2B 06 01 02 01 01 01 00 04 81 03 61 62 63");
    const Record record = Decode(message);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->varBindCount, 1);
    EXPECT_EQ(ValueBytes(record->varBinds[0]), "61 62 63");
}

TEST(DecodeResponse, LargeOctetStringGetsABlockThatFitsIt) {
    const Bytes text(1000, 'x');
    const Record record = Decode(ResponseWithValue(Tlv(0x04, text)));
    ASSERT_NE(record, nullptr);
    const SnmpVarBind &entry = record->varBinds[0];
    EXPECT_EQ(entry.valueLength, 1000u);
    EXPECT_EQ(entry.value[999], 'x');
    EXPECT_EQ(entry.value[1000], 0);
}

TEST(DecodeResponse, FortyVarBindsAndNoMore) {
    std::vector<Bytes> varBinds;
    for (int i = 0; i < 40; ++i) {
        varBinds.push_back(
            test::VarBind(Join({kSysDescr, {static_cast<std::uint8_t>(i)}}), Hex("02 01 07")));
    }
    const Record forty = Decode(Response(varBinds));
    ASSERT_NE(forty, nullptr);
    EXPECT_EQ(forty->varBindCount, 40);
    EXPECT_STREQ(forty->varBinds[39].oid, "1.3.6.1.2.1.1.1.0.39");
    varBinds.push_back(test::VarBind(kSysDescr, Hex("05 00")));
    EXPECT_EQ(Decode(Response(varBinds)), nullptr);
}

TEST(DecodeResponse, NameTextOf511CharactersAndNoMore) {
    // 2B and 254 sub-identifiers 1: "1.3" and 254 times ".1", 511 characters.
    Bytes name(255, 0x01);
    name[0] = 0x2B;
    const Record longest = Decode(Response({test::VarBind(name, Hex("05 00"))}));
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(longest->varBinds[0].oidLength, 511);
    EXPECT_EQ(std::strlen(longest->varBinds[0].oid), 511u);
    name.push_back(0x01);
    EXPECT_EQ(Decode(Response({test::VarBind(name, Hex("05 00"))})), nullptr);
    // The same limit for an OBJECT IDENTIFIER value.
    name.pop_back();
    const Record value = Decode(ResponseWithValue(Tlv(0x06, name)));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->varBinds[0].valueLength, 511u);
    EXPECT_EQ(value->varBinds[0].value[511], 0);
    name.push_back(0x01);
    EXPECT_EQ(Decode(ResponseWithValue(Tlv(0x06, name))), nullptr);
}

// Blocks cut one after another from a buffer of 0xAA octets, each text
// block only as long as its text and terminator: a text the decoder wrote
// past its block, or left without its terminator, shows up.
class TightArena final : public BlockSource {
public:
    void *Zeroed(std::size_t size) override {
        const std::size_t at = (used_ + kAlign - 1) / kAlign * kAlign;
        if (at + size > octets_.size()) return nullptr;
        used_ = at + size;
        std::memset(octets_.data() + at, 0, size);
        return octets_.data() + at;
    }
    std::size_t TextBlockSize(std::size_t length, std::size_t) const override { return length + 1; }
    std::size_t Used() const { return used_; }

private:
    static constexpr std::size_t kAlign = alignof(std::max_align_t);
    std::vector<std::uint8_t> octets_ = std::vector<std::uint8_t>(64 * 1024, 0xAA);
    std::size_t used_ = 0;
};

TEST(DecodeResponse, AnArenaGetsTheSameRecordInBlocksThatFitItsTexts) {
    // 2B and 254 sub-identifiers 1: the longest name text, 511 characters.
    Bytes longest(255, 0x01);
    longest[0] = 0x2B;
    const std::vector<Bytes> messages = {
        Hex(kGolden),
        test::Message(Bytes(255, 'c'), test::ResponsePdu(kRequestIdOne, kNoError, kNoError,
                                                         {test::VarBind(longest, Hex("05 00"))})),
        test::Message(Bytes{'p'}, test::ResponsePdu(kRequestIdOne, kNoError, kNoError,
                                                    {test::VarBind(kSysDescr, Tlv(0x06, kSysDescr)),
                                                     test::VarBind(Hex("2B"), Hex("02 01 07"))})),
    };
    for (const Bytes &message : messages) {
        SCOPED_TRACE(test::ToHex(message));
        const Record heap = Decode(message);
        ASSERT_NE(heap, nullptr);
        TightArena arena;
        SnmpReqParam tight{};
        ASSERT_TRUE(DecodeResponseInto(message.data(), static_cast<std::uint32_t>(message.size()), tight, arena));
        EXPECT_EQ(tight.requestId, heap->requestId);
        ASSERT_EQ(tight.communityLength, heap->communityLength);
        EXPECT_EQ(std::string(tight.community), std::string(heap->community));
        ASSERT_EQ(tight.varBindCount, heap->varBindCount);
        for (std::uint16_t i = 0; i < tight.varBindCount; ++i) {
            const SnmpVarBind &got = tight.varBinds[i];
            const SnmpVarBind &want = heap->varBinds[i];
            EXPECT_EQ(got.oidLength, want.oidLength);
            EXPECT_EQ(std::string(got.oid), std::string(want.oid));
            EXPECT_EQ(got.valueType, want.valueType);
            ASSERT_EQ(got.valueLength, want.valueLength);
            EXPECT_EQ(std::memcmp(got.value, want.value, want.valueLength), 0);
        }
    }
    // A refused message leaves what it took to the arena.
    TightArena arena;
    SnmpReqParam refused{};
    longest.push_back(0x01);
    const Bytes tooLong = Response({test::VarBind(longest, Hex("05 00"))});
    EXPECT_FALSE(DecodeResponseInto(tooLong.data(), static_cast<std::uint32_t>(tooLong.size()), refused, arena));
}

// Names kept as contents: the contents as they came, a zero after them, and
// the same messages refused as with names in text.
TEST(DecodeResponse, NamesKeptAsContents) {
    Bytes longest(255, 0x01);  // the longest name text, 511 characters
    longest[0] = 0x2B;
    Bytes tooLong = longest;
    tooLong.push_back(0x01);
    const std::vector<Bytes> names = {kSysDescr, Hex("2B 80 01"), Hex("2B 8F FF FF FF 7F"), {}, longest,
                                      tooLong, Hex("2B 90 80 80 80 00"), Hex("2B 06 86")};
    for (const Bytes &name : names) {
        SCOPED_TRACE(test::ToHex(name));
        const Bytes message = Response({test::VarBind(name, Hex("02 01 07")), test::VarBind(kSysDescr, Hex("05 00"))});
        const Record text = Decode(message);
        const Record heap(DecodeResponseRecord(message.data(), static_cast<std::uint32_t>(message.size()),
                                               NameForm::Encoded));
        TightArena arena;
        SnmpReqParam tight{};
        const bool decoded = DecodeResponseInto(message.data(), static_cast<std::uint32_t>(message.size()), tight,
                                                arena, NameForm::Encoded);
        ASSERT_EQ(heap != nullptr, text != nullptr);
        ASSERT_EQ(decoded, text != nullptr);
        if (text == nullptr) continue;
        for (const SnmpReqParam *record : {static_cast<const SnmpReqParam *>(heap.get()), &std::as_const(tight)}) {
            ASSERT_EQ(record->varBindCount, 2);
            const SnmpVarBind &first = record->varBinds[0];
            ASSERT_EQ(first.oidLength, name.size());
            EXPECT_EQ(Bytes(first.oid, first.oid + first.oidLength), name);
            EXPECT_EQ(first.oid[first.oidLength], '\0');
            EXPECT_EQ(Bytes(record->varBinds[1].oid, record->varBinds[1].oid + record->varBinds[1].oidLength),
                      kSysDescr);
            EXPECT_EQ(first.valueType, text->varBinds[0].valueType);
            EXPECT_EQ(*reinterpret_cast<const std::int32_t *>(first.value), 7);
        }
    }
}

TEST(DecodeResponse, NullDataIsRefused) {
    EXPECT_EQ(HelperSnmpDecodePdu(nullptr, 37), nullptr);
    const Bytes golden = Hex(kGolden);
    EXPECT_EQ(HelperSnmpDecodePdu(golden.data(), 0), nullptr);
}

TEST(DecodeResponse, EveryAllocationFailureLeavesNothingBehind) {
    const Bytes message = Response({
        test::VarBind(kSysDescr, Hex("04 03 61 62 63")),
        test::VarBind(kSysDescr, Hex("06 03 2B 06 01")),
        test::VarBind(kSysDescr, Hex("41 01 05")),
    });
    const std::uint64_t allocations = test::ExpectNullOnEachAllocationFailure(
        [&] { return HelperSnmpDecodePdu(message.data(), static_cast<std::uint32_t>(message.size())); },
        HelperFreeReqParam);
    // record, community, list, and an oid and a value block per entry
    EXPECT_EQ(allocations, 3u + 3u * 2u);
}

}  // namespace
}  // namespace snmphelper
