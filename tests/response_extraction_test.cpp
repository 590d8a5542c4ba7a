// SPDX-License-Identifier: Apache-2.0
// Reply to text: the item forms, the size rules after complete and
// incomplete extractions, the export over real messages, and the round trip
// through value decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/heap.h"
#include "snmphelper.h"
#include "tests/support/hex.h"
#include "transact/response_extraction.h"
#include "transact/value_decoding.h"

namespace snmphelper {
namespace {

using namespace std::string_literals;
using test::Hex;

// A reply record whose blocks live in the builder.
class Reply {
public:
    Reply &Add(const std::string &oid, std::int32_t type, std::vector<std::uint8_t> value) {
        oids_.push_back(oid);
        values_.push_back(std::move(value));
        types_.push_back(type);
        return *this;
    }
    Reply &Number(const std::string &oid, std::int32_t type, std::uint32_t number) {
        std::vector<std::uint8_t> value(4);
        std::memcpy(value.data(), &number, 4);
        return Add(oid, type, value);
    }
    Reply &Text(const std::string &oid, std::int32_t type, const std::string &text) {
        std::vector<std::uint8_t> value(text.begin(), text.end());
        const auto length = static_cast<std::uint32_t>(value.size());
        value.resize(value.size() + 1);  // decoded blocks are one byte longer, zero-filled
        Add(oid, type, value);
        lengths_[oids_.size() - 1] = length;
        return *this;
    }

    const SnmpReqParam &Record() {
        bindings_.clear();
        for (std::size_t i = 0; i < oids_.size(); ++i) {
            SnmpVarBind binding{};
            binding.oid = oids_[i].data();
            binding.oidLength = static_cast<std::uint16_t>(oids_[i].size());
            binding.valueType = types_[i];
            binding.value = values_[i].empty() ? nullptr : values_[i].data();
            const auto it = lengths_.find(i);
            binding.valueLength =
                it != lengths_.end() ? it->second : static_cast<std::uint32_t>(values_[i].size());
            bindings_.push_back(binding);
        }
        record_ = SnmpReqParam{};
        record_.pduType = SNMP_PDU_GET_RESPONSE;
        record_.varBindCount = static_cast<std::uint16_t>(bindings_.size());
        record_.varBinds = bindings_.empty() ? nullptr : bindings_.data();
        return record_;
    }

private:
    std::vector<std::string> oids_;
    std::vector<std::vector<std::uint8_t>> values_;
    std::vector<std::int32_t> types_;
    std::map<std::size_t, std::uint32_t> lengths_;
    std::vector<SnmpVarBind> bindings_;
    SnmpReqParam record_{};
};

struct Extraction {
    bool complete;
    std::string oidText;    // up to the first zero byte
    std::string valueText;  // the first valueSize bytes
    std::uint32_t oidSize;
    std::uint32_t valueSize;
    std::vector<char> oidBuffer;
    std::vector<char> valueBuffer;
};

// Extracts into buffers of exactly the given rooms.
Extraction Extract(Reply &reply, std::uint32_t oidRoom, std::uint32_t valueRoom) {
    Extraction result{};
    result.oidBuffer.assign(oidRoom, '#');
    result.valueBuffer.assign(valueRoom, '#');
    result.oidSize = oidRoom;
    result.valueSize = valueRoom;
    std::uint16_t count = 0xFFFF;
    result.complete = ExtractReplyValues(reply.Record(), &count, result.oidBuffer.data(),
                                         &result.oidSize, result.valueBuffer.data(),
                                         &result.valueSize);
    EXPECT_EQ(count, reply.Record().varBindCount);
    result.oidText.assign(result.oidBuffer.data(), strnlen(result.oidBuffer.data(), oidRoom));
    result.valueText.assign(result.valueBuffer.data(), std::min(result.valueSize, valueRoom));
    return result;
}

TEST(ResponseExtraction, TwoVariablesGiveJoinedIdentifiersAndValueItems) {
    Reply reply;
    reply.Text("1.3.6.1.2.1.1.5.0", SNMP_VALUE_OCTET_STRING, "abc")
        .Number("1.3.6.1.2.1.1.3.0", SNMP_VALUE_TIME_TICKS, 4711);
    const Extraction result = Extract(reply, 64, 64);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.oidText, "1.3.6.1.2.1.1.5.0,1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(result.valueText, "2,3,abc,7,4711");
    EXPECT_EQ(result.valueBuffer[14], '\0');
    EXPECT_EQ(result.valueSize, 14u);
    EXPECT_EQ(result.oidSize, 37u);  // text length + 2
}

TEST(ResponseExtraction, ItemForms) {
    const struct {
        const char *name;
        std::int32_t type;
        std::vector<std::uint8_t> value;
        std::uint32_t valueLength;
        std::string item;
    } cases[] = {
        {"negative integer", SNMP_VALUE_INTEGER, Hex("FB FF FF FF"), 4, "1,-5"},
        {"integer at its minimum", SNMP_VALUE_INTEGER, Hex("00 00 00 80"), 4, "1,-2147483648"},
        {"integer at its maximum", SNMP_VALUE_INTEGER, Hex("FF FF FF 7F"), 4, "1,2147483647"},
        {"time ticks", SNMP_VALUE_TIME_TICKS, Hex("0A 00 00 00"), 4, "7,10"},
        {"ip address with zero octets", SNMP_VALUE_IP_ADDRESS, Hex("0A 00 00 FF"), 4, "3,10.0.0.255"},
        {"gauge at its maximum", SNMP_VALUE_GAUGE, Hex("FF FF FF FF"), 4, "6,4294967295"},
        {"counter", SNMP_VALUE_COUNTER, Hex("00 00 00 00"), 4, "5,0"},
        {"ip address in network order", SNMP_VALUE_IP_ADDRESS, Hex("C0 A8 01 14"), 4,
         "3,192.168.1.20"},
        {"object identifier", SNMP_VALUE_OBJECT_IDENTIFIER, Hex("31 2E 33 2E 36 2E 31 00"), 7,
         "8,1.3.6.1"},
        {"octet string with zero byte and comma", SNMP_VALUE_OCTET_STRING, Hex("00 2C FF 00"), 3,
         "2,3,\0,\xFF"s},
        {"empty octet string", SNMP_VALUE_OCTET_STRING, Hex("00"), 0, "2,0,"},
    };
    for (const auto &item : cases) {
        std::vector<std::uint8_t> value = item.value;
        SnmpVarBind binding{};
        char oid[] = "1.3";
        binding.oid = oid;
        binding.valueType = item.type;
        binding.value = value.data();
        binding.valueLength = item.valueLength;
        SnmpReqParam record{};
        record.varBindCount = 1;
        record.varBinds = &binding;
        char oidBuffer[16];
        char valueBuffer[32];
        std::uint32_t oidSize = sizeof oidBuffer;
        std::uint32_t valueSize = sizeof valueBuffer;
        ASSERT_TRUE(ExtractReplyValues(record, nullptr, oidBuffer, &oidSize, valueBuffer, &valueSize))
            << item.name;
        EXPECT_EQ(std::string(valueBuffer, valueSize), item.item) << item.name;
        EXPECT_EQ(valueBuffer[valueSize], '\0') << item.name;
    }
}

TEST(ResponseExtraction, ValueRoomBoundary) {
    Reply reply;
    reply.Text("1.3.6.1.2.1.1.5.0", SNMP_VALUE_OCTET_STRING, "abc")
        .Number("1.3.6.1.2.1.1.3.0", SNMP_VALUE_TIME_TICKS, 4711);
    // No room for the terminator: incomplete, and the size tells the room needed.
    Extraction result = Extract(reply, 64, 14);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.valueSize, 15u);
    EXPECT_EQ(result.oidSize, 37u);
    EXPECT_EQ(std::string(result.valueBuffer.data(), 8), "2,3,abc,");  // the first item only
    EXPECT_EQ(result.valueBuffer[8], '\0');                            // the rest cleared

    result = Extract(reply, 64, 15);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.valueSize, 14u);
    EXPECT_EQ(result.valueText, "2,3,abc,7,4711");
}

TEST(ResponseExtraction, IdentifierRoomBoundary) {
    Reply reply;
    reply.Number("1.3.6.1.2.1.1.3.0", SNMP_VALUE_TIME_TICKS, 1)
        .Number("1.3.6.1.2.1.1.7.0", SNMP_VALUE_INTEGER, 2);
    // The text is 35 characters; its terminator takes the last comma's place.
    Extraction result = Extract(reply, 36, 64);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.oidText, "1.3.6.1.2.1.1.3.0,1.3.6.1.2.1.1.7.0");
    EXPECT_EQ(result.oidSize, 37u);

    result = Extract(reply, 35, 64);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.oidSize, 37u);  // what the whole text needs, one byte to spare
    EXPECT_EQ(result.valueSize, 8u);  // "7,1," and "1,2,": the exact need
    EXPECT_EQ(std::string(result.oidBuffer.data(), 18), "1.3.6.1.2.1.1.3.0,");
}

TEST(ResponseExtraction, TypesWithoutItemFormMakeItIncomplete) {
    for (std::int32_t type : {std::int32_t{SNMP_VALUE_NULL}, std::int32_t{SNMP_VALUE_OPAQUE},
                              std::int32_t{SNMP_VALUE_NONE}, std::int32_t{12}}) {
        Reply reply;
        reply.Number("1.3.6.1.2.1.1.7.0", SNMP_VALUE_INTEGER, 72).Add("1.3.6.1.2.1.1.1.0", type, {});
        const Extraction result = Extract(reply, 64, 64);
        EXPECT_FALSE(result.complete) << type;
        EXPECT_EQ(std::string(result.valueBuffer.data()), "1,72,") << type;
        EXPECT_EQ(result.valueSize, 5u) << type;
    }
}

TEST(ResponseExtraction, NoVariables) {
    Reply reply;
    const Extraction result = Extract(reply, 8, 8);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.valueSize, 0u);
    EXPECT_EQ(result.valueBuffer[0], '\0');
    EXPECT_EQ(result.oidSize, 1u);
    EXPECT_EQ(std::string(result.oidBuffer.data(), 8), "########");  // left as it was
}

// An OCTET STRING far longer than a 512-byte scratch area is measured and
// written whole when it fits; when it does not, nothing is written past the
// room and the size still says exactly what the text needs.
TEST(ResponseExtraction, LongOctetStringIsWrittenWholeOrNotAtAll) {
    std::string long600(600, 'x');
    long600[100] = '\0';
    long600[200] = ',';
    Reply reply;
    reply.Text("1.3.6.1.2.1.1.1.0", SNMP_VALUE_OCTET_STRING, long600)
        .Number("1.3.6.1.2.1.1.3.0", SNMP_VALUE_TIME_TICKS, 9);
    const std::string expected = "2,600," + long600 + ",7,9";

    Extraction result = Extract(reply, 64, static_cast<std::uint32_t>(expected.size() + 1));
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.valueSize, expected.size());
    EXPECT_EQ(result.valueText, expected);

    result = Extract(reply, 64, 300);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.valueSize, expected.size() + 1);
    EXPECT_EQ(result.valueBuffer, std::vector<char>(300, '\0'));
}

TEST(ResponseExtraction, NullBuffersCountAsNoRoom) {
    Reply reply;
    reply.Number("1.3", SNMP_VALUE_INTEGER, 1);
    std::uint32_t oidSize = 100;
    std::uint32_t valueSize = 100;
    EXPECT_FALSE(ExtractReplyValues(reply.Record(), nullptr, nullptr, &oidSize, nullptr, &valueSize));
    EXPECT_EQ(oidSize, 5u);
    EXPECT_EQ(valueSize, 4u);
    EXPECT_FALSE(ExtractReplyValues(reply.Record(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

// Values read from a reply decode back to the same typed values, whatever
// their octets: the text form round-trips.
TEST(ResponseExtraction, ValueTextDecodesBackToTheSameValues) {
    std::mt19937 random(20240611);
    const std::int32_t types[] = {SNMP_VALUE_INTEGER,    SNMP_VALUE_OCTET_STRING,
                                  SNMP_VALUE_IP_ADDRESS, SNMP_VALUE_COUNTER,
                                  SNMP_VALUE_GAUGE,      SNMP_VALUE_TIME_TICKS,
                                  SNMP_VALUE_OBJECT_IDENTIFIER};
    for (int round = 0; round < 300; ++round) {
        Reply reply;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            const std::int32_t type = types[random() % std::size(types)];
            if (type == SNMP_VALUE_OCTET_STRING) {
                std::string octets(random() % 40, '\0');
                for (char &c : octets) c = "ab,\0\xFF 9"[random() % 7];
                reply.Text("1.3.6.1." + std::to_string(i), type, octets);
            } else if (type == SNMP_VALUE_OBJECT_IDENTIFIER) {
                std::string oid = "1.3";
                for (auto arcs = random() % 10; arcs > 0; --arcs) oid += "." + std::to_string(random());
                reply.Text("1.3.6.1." + std::to_string(i), type, oid);
            } else {
                reply.Number("1.3.6.1." + std::to_string(i), type, static_cast<std::uint32_t>(random()));
            }
        }
        const SnmpReqParam &record = reply.Record();
        Extraction result = Extract(reply, 2048, 4096);
        ASSERT_TRUE(result.complete);

        ValueListCursor cursor{result.valueBuffer.data(), result.valueSize + 1};
        for (std::uint16_t i = 0; i < record.varBindCount; ++i) {
            const SnmpVarBind &original = record.varBinds[i];
            std::int32_t type = 0;
            std::uint32_t length = 0;
            std::uint8_t *value = DecodeValueItem(cursor, type, length);
            ASSERT_NE(value, nullptr) << "round " << round << ", variable " << i;
            EXPECT_EQ(type, original.valueType) << "round " << round << ", variable " << i;
            ASSERT_EQ(length, original.valueLength) << "round " << round << ", variable " << i;
            EXPECT_EQ(std::memcmp(value, original.value, length), 0) << "round " << round;
            platform::HeapFree(value);
        }
        std::int32_t type = 0;
        std::uint32_t length = 0;
        EXPECT_EQ(DecodeValueItem(cursor, type, length), nullptr) << "round " << round;
    }
}

// GetResponse, request-id 1, empty community, 1.3.6.1.2.1.1.1.0 = "abc".
const char kAbcReply[] =
    "30 23 02 01 00 04 00 A2 1C 02 01 01 02 01 00 02 01 00"  // message, version, community, PDU
    " 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00"             // list, VarBind, name
    " 04 03 61 62 63";                                       // value "abc"

TEST(DecodePacket, WritesTheRepliesTexts) {
    const std::vector<std::uint8_t> message = Hex(kAbcReply);
    char oids[32];
    char values[32];
    std::uint32_t oidSize = sizeof oids;
    std::uint32_t valueSize = sizeof values;
    EXPECT_EQ(HelperSNMPDecodePacket(message.data(), static_cast<std::uint32_t>(message.size()),
                                     oids, &oidSize, values, &valueSize),
              SNMP_RESULT_OK);
    EXPECT_STREQ(oids, "1.3.6.1.2.1.1.1.0");
    EXPECT_STREQ(values, "2,3,abc");
    EXPECT_EQ(oidSize, 19u);
    EXPECT_EQ(valueSize, 7u);
}

TEST(DecodePacket, Failures) {
    const std::int64_t blocks = platform::HeapLiveBlocks();
    const struct {
        const char *name;
        std::vector<std::uint8_t> message;
        std::int32_t result;
    } cases[] = {
        // error-status 2 (noSuchName): buffers and sizes untouched
        {"error status", Hex("30 23 02 01 00 04 00 A2 1C 02 01 01 02 01 02 02 01 01 30 11 30 0F 06 08"
                             " 2B 06 01 02 01 01 01 00 04 03 61 62 63"),
         SNMP_RESULT_ERROR_STATUS},
        {"GetRequest, not a response", Hex("30 23 02 01 00 04 00 A0 1C 02 01 01 02 01 00 02 01 00"
                                           " 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00 04 03 61 62 63"),
         SNMP_RESULT_DECODE_FAILED},
        {"cut short", Hex("30 23 02 01 00 04 00 A2 1C 02 01 01"), SNMP_RESULT_DECODE_FAILED},
        {"empty", {}, SNMP_RESULT_DECODE_FAILED},
        // value NULL: no text form
        {"null value", Hex("30 20 02 01 00 04 00 A2 19 02 01 01 02 01 00 02 01 00 30 0E 30 0C 06 08"
                           " 2B 06 01 02 01 01 01 00 05 00"),
         SNMP_RESULT_DOES_NOT_FIT},
    };
    for (const auto &item : cases) {
        char oids[32] = "unchanged";
        char values[32] = "unchanged";
        std::uint32_t oidSize = sizeof oids;
        std::uint32_t valueSize = sizeof values;
        EXPECT_EQ(HelperSNMPDecodePacket(item.message.data(),
                                         static_cast<std::uint32_t>(item.message.size()), oids,
                                         &oidSize, values, &valueSize),
                  item.result)
            << item.name;
        if (item.result != SNMP_RESULT_DOES_NOT_FIT) {
            EXPECT_STREQ(oids, "unchanged") << item.name;
            EXPECT_STREQ(values, "unchanged") << item.name;
            EXPECT_EQ(oidSize, sizeof oids) << item.name;
            EXPECT_EQ(valueSize, sizeof values) << item.name;
        }
    }
    EXPECT_EQ(HelperSNMPDecodePacket(nullptr, 10, nullptr, nullptr, nullptr, nullptr),
              SNMP_RESULT_DECODE_FAILED);
    EXPECT_EQ(platform::HeapLiveBlocks(), blocks);  // the decoded record is always released
}

}  // namespace
}  // namespace snmphelper
