// SPDX-License-Identifier: Apache-2.0
// Malformed replies and traps through the exported decoders, as a caller of
// the library meets them: HelperSNMPDecodePacket's result and texts, with
// HelperSnmpDecodePdu and HelperSnmpDecodeTrapPdu taking the same octets.
// Each row is a whole message; every one is handed over in a block of exactly
// its size, so that the address sanitizer sees any read past its end. Also
// pinned here: which encodings that X.690 forbids are read and which are
// refused (see "Encodings the decoders take" in snmphelper.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tests/support/ber_build.h"
#include "tests/support/hex.h"
#include "tests/support/message_variants.h"

namespace snmphelper {
namespace {

using test::Bytes;
using test::Hex;
using test::Join;
using test::Tlv;

const Bytes kSysDescr = Hex("2B 06 01 02 01 01 01 00");  // 1.3.6.1.2.1.1.1.0
const Bytes kAbc = Hex("04 03 61 62 63");
const Bytes kNoError = Hex("02 01 00");
const Bytes kRequestIdOne = Hex("02 01 01");

Bytes ReplyPdu(const std::vector<Bytes> &varBinds, const Bytes &requestIdItem = kRequestIdOne) {
    return test::ResponsePdu(requestIdItem, kNoError, kNoError, varBinds);
}

Bytes Reply(const std::vector<Bytes> &varBinds, const Bytes &requestIdItem = kRequestIdOne) {
    return test::Message({}, ReplyPdu(varBinds, requestIdItem));
}

Bytes ReplyWithValue(const Bytes &valueItem) { return Reply({test::VarBind(kSysDescr, valueItem)}); }

Bytes ReplyWithName(const Bytes &nameContents) { return Reply({test::VarBind(nameContents, kAbc)}); }

// A Trap-PDU message: enterprise 1.3.6.1.2.1.43 unless given, agent
// 192.168.1.2, generic 6, then the specific-trap and time-stamp items.
Bytes Trap(const std::vector<Bytes> &varBinds, const Bytes &specificItem = Hex("02 01 07"),
           const Bytes &timeStampItem = Hex("43 01 64"), const Bytes &enterpriseItem = Hex("06 06 2B 06 01 02 01 2B")) {
    const Bytes pdu = Tlv(0xA4, Join({enterpriseItem, Hex("40 04 C0 A8 01 02 02 01 06"), specificItem, timeStampItem,
                                      Tlv(0x30, Join(varBinds))}));
    return test::Message({}, pdu);
}

std::vector<Bytes> Bindings(std::size_t count) {
    return std::vector<Bytes>(count, test::VarBind(kSysDescr, kAbc));
}

// `inner` inside `depth` constructed items of `identifier`, each with the
// shortest length; built front to back, as nesting one at a time would copy
// the whole message at every level.
Bytes Nested(std::size_t depth, const Bytes &inner, std::uint8_t identifier = 0x30) {
    std::vector<Bytes> heads(depth);
    std::size_t size = inner.size();
    for (std::size_t level = depth; level-- > 0;) {
        heads[level] = Join({{identifier}, test::BerLength(size)});
        size += heads[level].size();
    }
    Bytes nested;
    nested.reserve(size);
    for (const Bytes &head : heads) nested.insert(nested.end(), head.begin(), head.end());
    nested.insert(nested.end(), inner.begin(), inner.end());
    return nested;
}

// `message` with its outermost length replaced by `lengthOctets`.
Bytes WithMessageLength(const Bytes &message, const Bytes &lengthOctets) {
    const std::size_t headSize = (message[1] & 0x80) != 0 ? 2u + (message[1] & 0x7Fu) : 2u;
    return Join({{message[0]}, lengthOctets, Bytes(message.begin() + static_cast<std::ptrdiff_t>(headSize), message.end())});
}

std::string Repeated(const std::string &item, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += (i == 0 ? "" : ",") + item;
    return text;
}

// What HelperSNMPDecodePacket made of a message.
struct PacketOutcome {
    std::int32_t result = -1;
    std::string oids;
    std::string values;
    bool untouched = false;  // both buffers and sizes exactly as handed over
};

PacketOutcome DecodePacket(const Bytes &message) {
    constexpr std::uint32_t kRoom = 8192;
    std::vector<char> oids(kRoom, '#');
    std::vector<char> values(kRoom, '#');
    std::uint32_t oidSize = kRoom;
    std::uint32_t valueSize = kRoom;
    const auto copy = test::ExactCopy(message);
    PacketOutcome outcome;
    outcome.result = HelperSNMPDecodePacket(copy.get(), static_cast<std::uint32_t>(message.size()), oids.data(),
                                            &oidSize, values.data(), &valueSize);
    outcome.untouched = oidSize == kRoom && valueSize == kRoom &&
                        std::all_of(oids.begin(), oids.end(), [](char c) { return c == '#'; }) &&
                        std::all_of(values.begin(), values.end(), [](char c) { return c == '#'; });
    if (outcome.result == SNMP_RESULT_OK) {
        // oidSize is the text's length plus 2, or 1 when there was no text.
        outcome.oids.assign(oids.data(), oidSize >= 2 ? oidSize - 2 : 0);
        outcome.values.assign(values.data(), valueSize);
    }
    return outcome;
}

bool ReplyDecodes(const Bytes &message) {
    const auto copy = test::ExactCopy(message);
    SnmpReqParam *record = HelperSnmpDecodePdu(copy.get(), static_cast<std::uint32_t>(message.size()));
    HelperFreeReqParam(record);
    return record != nullptr;
}

// Releases a trap record as snmphelper.h tells callers to.
void ReleaseTrap(SnmpTrapParam *trap) {
    for (std::uint16_t i = 0; i < trap->varBindCount; ++i) {
        HelperFreeBlock(trap->varBinds[i].oid);
        HelperFreeBlock(trap->varBinds[i].value);
    }
    HelperFreeBlock(trap->varBinds);
    HelperFreeBlock(trap->agentAddress);
    HelperFreeBlock(trap->enterprise);
    HelperFreeBlock(trap->community);
    HelperFreeBlock(trap);
}

// What HelperSnmpDecodeTrapPdu made of a message, as text: "refused", or
// "enterprise E specific S time T bindings N".
std::string DecodeTrap(const Bytes &message) {
    const auto copy = test::ExactCopy(message);
    SnmpTrapParam *trap = HelperSnmpDecodeTrapPdu(copy.get(), static_cast<std::uint32_t>(message.size()));
    if (trap == nullptr) return "refused";
    const std::string text = std::string("enterprise ") + trap->enterprise + " specific " +
                             std::to_string(trap->specificTrap) + " time " + std::to_string(trap->timeStamp) +
                             " bindings " + std::to_string(trap->varBindCount);
    ReleaseTrap(trap);
    return text;
}

struct ReplyRow {
    std::string what;
    Bytes message;
    std::int32_t result;
    std::string oids = "";    // the texts, for SNMP_RESULT_OK
    std::string values = "";
};

// Runs the rows: the result and texts as given, HelperSnmpDecodePdu taking
// exactly the messages that HelperSNMPDecodePacket does not call undecodable,
// and the trap decoder refusing every reply.
void CheckReplies(const std::vector<ReplyRow> &rows) {
    for (const ReplyRow &row : rows) {
        SCOPED_TRACE(row.what);
        const PacketOutcome outcome = DecodePacket(row.message);
        EXPECT_EQ(outcome.result, row.result);
        if (row.result == SNMP_RESULT_OK) {
            EXPECT_EQ(outcome.oids, row.oids);
            EXPECT_EQ(outcome.values, row.values);
        } else {
            EXPECT_TRUE(outcome.untouched) << "a refused message changed the caller's buffers";
        }
        EXPECT_EQ(ReplyDecodes(row.message), row.result != SNMP_RESULT_DECODE_FAILED);
        EXPECT_EQ(DecodeTrap(row.message), "refused");
    }
}

constexpr std::int32_t kOk = SNMP_RESULT_OK;
constexpr std::int32_t kUndecodable = SNMP_RESULT_DECODE_FAILED;
const std::string kName = "1.3.6.1.2.1.1.1.0";

TEST(MalformedReplies, Lengths) {
    const Bytes good = ReplyWithValue(kAbc);
    CheckReplies({
        {"the good reply", good, kOk, kName, "2,3,abc"},
        {"message length 2^31 - 1", WithMessageLength(good, Hex("84 7F FF FF FF")), kUndecodable},
        {"message length 2^32 - 1 (-1 as signed)", WithMessageLength(good, Hex("84 FF FF FF FF")), kUndecodable},
        {"message length 2^31 (negative as signed)", WithMessageLength(good, Hex("84 80 00 00 00")), kUndecodable},
        {"message length in five octets", WithMessageLength(good, Hex("85 00 00 00 00 23")), kUndecodable},
        {"message length in 127 octets (FF is reserved)", WithMessageLength(good, Hex("FF")), kUndecodable},
        {"message length the right one in long form", WithMessageLength(good, Hex("84 00 00 00 23")), kOk, kName,
         "2,3,abc"},
        {"indefinite message", Join({WithMessageLength(good, Hex("80")), Hex("00 00")}), kUndecodable},
        {"indefinite list", Join({Hex("30 80 02 01 00 04 00 A2 80 02 01 01 02 01 00 02 01 00 30 80"),
                                  test::VarBind(kSysDescr, kAbc), Hex("00 00 00 00 00 00")}),
         kUndecodable},
        {"indefinite value", ReplyWithValue(Hex("04 80 61 62 63 00 00")), kUndecodable},
        {"value length 2^32 - 1", ReplyWithValue(Hex("04 84 FF FF FF FF 61 62 63")), kUndecodable},
        {"value length 2^31", ReplyWithValue(Hex("04 84 80 00 00 00 61 62 63")), kUndecodable},
        {"value length one past the message", ReplyWithValue(Hex("04 04 61 62 63")), kUndecodable},
        {"community length 2^32 - 1", Tlv(0x30, Join({Hex("02 01 00 04 84 FF FF FF FF"), ReplyPdu(Bindings(1))})),
         kUndecodable},
        {"name length 2^31 - 1", ReplyWithValue(Join({Hex("06 84 7F FF FF FF"), kSysDescr})), kUndecodable},
    });
}

TEST(MalformedReplies, LongIntegers) {
    CheckReplies({
        {"request-id in five octets", Reply({test::VarBind(kSysDescr, kAbc)}, Hex("02 05 00 00 00 00 01")), kOk,
         kName, "2,3,abc"},
        {"request-id in nine octets", Reply({test::VarBind(kSysDescr, kAbc)}, Hex("02 09 FF FF FF FF FF FF FF FF FF")),
         kOk, kName, "2,3,abc"},
        {"request-id 2^32 in five octets", Reply({test::VarBind(kSysDescr, kAbc)}, Hex("02 05 01 00 00 00 00")),
         kUndecodable},
        {"request-id 2^31 in five octets", Reply({test::VarBind(kSysDescr, kAbc)}, Hex("02 05 00 80 00 00 00")),
         kUndecodable},
        {"INTEGER -2 in five octets", ReplyWithValue(Hex("02 05 FF FF FF FF FE")), kOk, kName, "1,-2"},
        {"INTEGER 42 in nine octets", ReplyWithValue(Hex("02 09 00 00 00 00 00 00 00 00 2A")), kOk, kName, "1,42"},
        {"INTEGER 2^32 - 1 in five octets", ReplyWithValue(Hex("02 05 00 FF FF FF FF")), kUndecodable},
        {"INTEGER -2^63 in eight octets", ReplyWithValue(Hex("02 08 80 00 00 00 00 00 00 00")), kUndecodable},
        {"INTEGER -2^71 in nine octets", ReplyWithValue(Hex("02 09 80 00 00 00 00 00 00 00 00")), kUndecodable},
        {"Counter 2^32 - 1 in five octets", ReplyWithValue(Hex("41 05 00 FF FF FF FF")), kOk, kName, "5,4294967295"},
        {"Counter 2^32 in five octets", ReplyWithValue(Hex("41 05 01 00 00 00 00")), kUndecodable},
        {"Gauge 1 in nine octets", ReplyWithValue(Hex("42 09 00 00 00 00 00 00 00 00 01")), kOk, kName, "6,1"},
        {"Gauge 2^64 - 1 in eight octets", ReplyWithValue(Hex("42 08 FF FF FF FF FF FF FF FF")), kUndecodable},
        {"TimeTicks 100 in six octets", ReplyWithValue(Hex("43 06 00 00 00 00 00 64")), kOk, kName, "7,100"},
        {"TimeTicks 2^40 in six octets", ReplyWithValue(Hex("43 06 01 00 00 00 00 00")), kUndecodable},
        {"error-status in two octets", test::Message({}, test::ResponsePdu(kRequestIdOne, Hex("02 02 00 00"), kNoError,
                                                                           Bindings(1))),
         kUndecodable},
    });
}

TEST(MalformedReplies, SubIdentifiers) {
    CheckReplies({
        {"arc 2^32 - 1 in a name", ReplyWithName(Hex("2B 8F FF FF FF 7F")), kOk, "1.3.4294967295", "2,3,abc"},
        {"arc 2^32 in a name", ReplyWithName(Hex("2B 90 80 80 80 00")), kUndecodable},
        {"arc 2^35 - 1 in a name", ReplyWithName(Hex("2B FF FF FF FF 7F")), kUndecodable},
        {"arc of ten groups in a name", ReplyWithName(Hex("2B 81 80 80 80 80 80 80 80 80 00")), kUndecodable},
        {"first sub-identifier past 2^32", ReplyWithName(Hex("90 80 80 80 00 06")), kUndecodable},
        {"first sub-identifier 2^32 - 1", ReplyWithName(Hex("8F FF FF FF 7F")), kOk, "107374182.15", "2,3,abc"},
        {"arc 2^32 in a value", ReplyWithValue(Hex("06 06 2B 90 80 80 80 00")), kUndecodable},
        {"arc 2^32 - 1 in a value", ReplyWithValue(Hex("06 06 2B 8F FF FF FF 7F")), kOk, kName, "8,1.3.4294967295"},
        {"name ending inside a sub-identifier", ReplyWithName(Hex("2B 06 81")), kUndecodable},
    });
}

TEST(MalformedReplies, DeepNesting) {
    constexpr std::size_t kDepth = 20000;
    const Bytes good = ReplyWithValue(kAbc);
    CheckReplies({
        {"message inside 20000 SEQUENCEs", Nested(kDepth, good), kUndecodable},
        {"value of 20000 nested SEQUENCEs", ReplyWithValue(Nested(kDepth, Hex("05 00"))), kUndecodable},
        {"binding of 20000 nested SEQUENCEs", Reply({Nested(kDepth, {})}), kUndecodable},
        {"20000 nested GetResponse PDUs", test::Message({}, Nested(kDepth, {}, 0xA2)), kUndecodable},
        {"value of 20000 nested constructed OBJECT IDENTIFIERs", ReplyWithValue(Nested(kDepth, {}, 0x26)), kUndecodable},
    });
}

TEST(MalformedReplies, BindingCounts) {
    CheckReplies({
        {"no bindings", Reply({}), kOk, "", ""},
        {"40 bindings", Reply(Bindings(40)), kOk, Repeated(kName, 40), Repeated("2,3,abc", 40)},
        {"41 bindings", Reply(Bindings(41)), kUndecodable},
        {"1000 bindings", Reply(Bindings(1000)), kUndecodable},
        {"1000 empty bindings", Reply(std::vector<Bytes>(1000, Hex("30 00"))), kUndecodable},
    });
}

TEST(MalformedReplies, PduTagsAndVersions) {
    std::vector<ReplyRow> rows;
    const Bytes good = ReplyWithValue(kAbc);
    // Byte 7 is the PDU's identifier; the right one is A2.
    const std::uint8_t tags[] = {0xA0, 0xA1, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0x82, 0xE2, 0x30, 0x62, 0xBF};
    for (const std::uint8_t tag : tags) {
        Bytes changed = good;
        changed[7] = tag;
        rows.push_back({"PDU identifier " + test::ToHex(&tag, 1), changed, kUndecodable});
    }
    for (const char *version : {"02 01 01", "02 01 03", "02 02 00 00", "02 00", "04 01 00"}) {
        rows.push_back({std::string("version ") + version,
                        Tlv(0x30, Join({Hex(version), Hex("04 00"), ReplyPdu(Bindings(1))})), kUndecodable});
    }
    rows.push_back({"message not a SEQUENCE", Join({{0x31}, Bytes(good.begin() + 1, good.end())}), kUndecodable});
    CheckReplies(rows);
}

TEST(MalformedReplies, TrailingOctets) {
    const Bytes good = ReplyWithValue(kAbc);
    const Bytes pdu = ReplyPdu(Bindings(1));
    CheckReplies({
        {"one octet after the message", Join({good, Hex("00")}), kUndecodable},
        {"a second message after the message", Join({good, good}), kUndecodable},
        {"an octet after the PDU, inside the message",
         Tlv(0x30, Join({Hex("02 01 00 04 00"), pdu, Hex("00")})), kUndecodable},
        {"an item after the list, inside the PDU",
         test::Message({}, Tlv(0xA2, Join({Hex("02 01 01 02 01 00 02 01 00"), Tlv(0x30, Bindings(1)[0]), Hex("05 00")}))),
         kUndecodable},
        {"an octet after the value, inside the binding",
         Reply({Tlv(0x30, Join({Tlv(0x06, kSysDescr), kAbc, Hex("00")}))}), kUndecodable},
        {"two values in a binding", Reply({Tlv(0x30, Join({Tlv(0x06, kSysDescr), kAbc, kAbc}))}), kUndecodable},
    });
}

// A reply cut at any octet is undecodable, and the caller's buffers and sizes
// stay exactly as they were.
TEST(MalformedReplies, EveryTruncationOfAReplyOfEveryValueType) {
    const Bytes reply = Reply({test::VarBind(kSysDescr, kAbc), test::VarBind(kSysDescr, Hex("02 02 FF 7F")),
                               test::VarBind(kSysDescr, Hex("40 04 C0 A8 01 14")),
                               test::VarBind(kSysDescr, Hex("41 05 00 FF FF FF FF")),
                               test::VarBind(kSysDescr, Hex("06 03 2B 06 01")),
                               test::VarBind(kSysDescr, Tlv(0x04, Bytes(200, 'x')))},
                              Hex("02 04 7F 00 00 01"));
    const PacketOutcome whole = DecodePacket(reply);
    ASSERT_EQ(whole.result, kOk);
    EXPECT_EQ(whole.values, "2,3,abc,1,-129,3,192.168.1.20,5,4294967295,8,1.3.6.1,2,200," + std::string(200, 'x'));
    test::ForEachTruncation(reply, [](const Bytes &cut) {
        const PacketOutcome outcome = DecodePacket(cut);
        EXPECT_EQ(outcome.result, kUndecodable) << "cut at " << cut.size();
        EXPECT_TRUE(outcome.untouched) << "cut at " << cut.size();
    });
}

// Encodings X.690 forbids: those whose value is plain are read, wherever they
// stand in a reply or a trap; an identifier without contents is the empty text.
TEST(Encodings, ForbiddenButPlainAreRead) {
    CheckReplies({
        {"request-id 02 00", Reply(Bindings(1), Hex("02 00")), kOk, kName, "2,3,abc"},
        {"INTEGER value 02 00", ReplyWithValue(Hex("02 00")), kOk, kName, "1,0"},
        {"Counter value 41 00", ReplyWithValue(Hex("41 00")), kOk, kName, "5,0"},
        {"Gauge value 42 00", ReplyWithValue(Hex("42 00")), kOk, kName, "6,0"},
        {"TimeTicks value 43 00", ReplyWithValue(Hex("43 00")), kOk, kName, "7,0"},
        {"error-status 02 00", test::Message({}, test::ResponsePdu(kRequestIdOne, Hex("02 00"), kNoError, Bindings(1))),
         kUndecodable},
        {"error-index 02 00", test::Message({}, test::ResponsePdu(kRequestIdOne, kNoError, Hex("02 00"), Bindings(1))),
         kUndecodable},
        {"name 06 00", ReplyWithName({}), kOk, "", "2,3,abc"},
        {"name 06 00 beside a good one", Reply({test::VarBind(kSysDescr, kAbc), test::VarBind({}, kAbc)}), kOk,
         kName + ",", "2,3,abc,2,3,abc"},
        {"OBJECT IDENTIFIER value 06 00", ReplyWithValue(Hex("06 00")), kOk, kName, "8,"},
        {"request-id with a leading 00", Reply(Bindings(1), Hex("02 02 00 01")), kOk, kName, "2,3,abc"},
        {"request-id with a leading FF", Reply(Bindings(1), Hex("02 03 FF FF 80")), kOk, kName, "2,3,abc"},
        {"INTEGER 5 with leading 00s", ReplyWithValue(Hex("02 04 00 00 00 05")), kOk, kName, "1,5"},
        {"INTEGER -1 with leading FFs", ReplyWithValue(Hex("02 03 FF FF FF")), kOk, kName, "1,-1"},
        {"Counter 0 with a leading 00", ReplyWithValue(Hex("41 02 00 00")), kOk, kName, "5,0"},
        {"name arc 1 padded with 0x80", ReplyWithName(Hex("2B 06 80 80 01")), kOk, "1.3.6.1", "2,3,abc"},
        {"first sub-identifier padded with 0x80", ReplyWithName(Hex("80 2B 06")), kOk, "1.3.6", "2,3,abc"},
        {"value arc padded with 0x80", ReplyWithValue(Hex("06 04 2B 80 80 06")), kOk, kName, "8,1.3.6"},
        {"long form where the short would do", ReplyWithValue(Hex("04 83 00 00 03 61 62 63")), kOk, kName,
         "2,3,abc"},
    });
    const struct {
        const char *what;
        Bytes message;
        const char *decoded;
    } traps[] = {
        {"the good trap", Trap(Bindings(1)), "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 1"},
        {"enterprise 06 00", Trap(Bindings(1), Hex("02 01 07"), Hex("43 01 64"), Hex("06 00")),
         "enterprise  specific 7 time 100 bindings 1"},
        {"binding name 06 00", Trap({test::VarBind({}, kAbc)}),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 1"},
        {"binding value 06 00", Trap({test::VarBind(kSysDescr, Hex("06 00"))}),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 1"},
        {"specific-trap 02 00", Trap(Bindings(1), Hex("02 00")), "enterprise 1.3.6.1.2.1.43 specific 0 time 100 bindings 1"},
        {"time-stamp 43 00", Trap(Bindings(1), Hex("02 01 07"), Hex("43 00")),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 0 bindings 1"},
        {"binding value 02 00", Trap({test::VarBind(kSysDescr, Hex("02 00"))}),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 1"},
        {"enterprise padded with 0x80", Trap({}, Hex("02 01 07"), Hex("43 01 64"), Hex("06 03 2B 80 06")),
         "enterprise 1.3.6 specific 7 time 100 bindings 0"},
        {"specific-trap with leading 00s", Trap({}, Hex("02 05 00 00 00 00 07")),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 0"},
        {"time-stamp with a leading 00", Trap({}, Hex("02 01 07"), Hex("43 05 00 FF FF FF FF")),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 4294967295 bindings 0"},
    };
    for (const auto &trap : traps) {
        EXPECT_EQ(DecodeTrap(trap.message), trap.decoded) << trap.what;
        EXPECT_EQ(DecodePacket(trap.message).result, kUndecodable) << trap.what;
    }
}

TEST(MalformedTraps, LengthsNestingCountsTagsAndTrailingOctets) {
    const Bytes good = Trap(Bindings(1));
    Bytes getResponseTag = good;
    getResponseTag[7] = 0xA2;
    Bytes v2Trap = good;
    v2Trap[7] = 0xA7;
    const struct {
        const char *what;
        Bytes message;
        const char *decoded;
    } rows[] = {
        {"the good trap", good, "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 1"},
        {"message length 2^32 - 1", WithMessageLength(good, Hex("84 FF FF FF FF")), "refused"},
        {"message length 2^31", WithMessageLength(good, Hex("84 80 00 00 00")), "refused"},
        {"indefinite message", Join({WithMessageLength(good, Hex("80")), Hex("00 00")}), "refused"},
        {"enterprise length 2^31 - 1", Trap({}, Hex("02 01 07"), Hex("43 01 64"), Hex("06 84 7F FF FF FF 2B")),
         "refused"},
        {"enterprise arc 2^32", Trap({}, Hex("02 01 07"), Hex("43 01 64"), Hex("06 06 2B 90 80 80 80 00")), "refused"},
        {"specific-trap 2^32 in five octets", Trap({}, Hex("02 05 01 00 00 00 00")), "refused"},
        {"time-stamp 2^32 in five octets", Trap({}, Hex("02 01 07"), Hex("43 05 01 00 00 00 00")), "refused"},
        {"time-stamp in nine octets", Trap({}, Hex("02 01 07"), Hex("43 09 00 00 00 00 00 00 00 00 2A")),
         "enterprise 1.3.6.1.2.1.43 specific 7 time 42 bindings 0"},
        {"trap inside 20000 SEQUENCEs", Nested(20000, good), "refused"},
        {"binding of 10000 nested SEQUENCEs", Trap({Nested(10000, {})}), "refused"},
        {"40 bindings", Trap(Bindings(40)), "enterprise 1.3.6.1.2.1.43 specific 7 time 100 bindings 40"},
        {"41 bindings", Trap(Bindings(41)), "refused"},
        {"1000 bindings", Trap(Bindings(1000)), "refused"},
        {"GetResponse identifier", getResponseTag, "refused"},
        {"SNMPv2-Trap identifier", v2Trap, "refused"},
        {"one octet after the message", Join({good, Hex("00")}), "refused"},
        {"an octet after the value, inside the binding",
         Trap({Tlv(0x30, Join({Tlv(0x06, kSysDescr), kAbc, Hex("00")}))}), "refused"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(DecodeTrap(row.message), row.decoded) << row.what;
        EXPECT_EQ(DecodePacket(row.message).result, kUndecodable) << row.what;
        EXPECT_FALSE(ReplyDecodes(row.message)) << row.what;
    }
}

}  // namespace
}  // namespace snmphelper
