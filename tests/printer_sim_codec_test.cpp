// SPDX-License-Identifier: Apache-2.0
// The printer simulator's own BER codec: golden vectors, and refusal of
// malformed input without reading past it.
#include <gtest/gtest.h>

#include <climits>

#include "tests/support/hex.h"
#include "tools/printer-sim/mib_store.h"
#include "tools/printer-sim/sim_ber.h"
#include "tools/printer-sim/sim_message.h"
#include "tools/printer-sim/sim_oid.h"

using namespace printersim;
using snmphelper::test::Hex;
using snmphelper::test::ToHex;

namespace {

// The library's GetRequest: empty community, request-id 1, one binding
// 1.3.6.1.2.1.1.1.0 whose value is an empty OCTET STRING.
const char *const kGetRequest =
    "30 20"                    // message SEQUENCE
    " 02 01 00"                // version 0
    " 04 00"                   // community ""
    " A0 19"                   // GetRequest-PDU
    " 02 01 01"                // request-id 1
    " 02 01 00 02 01 00"       // error-status, error-index
    " 30 0E 30 0C"             // bindings, one binding
    " 06 08 2B 06 01 02 01 01 01 00"  // 1.3.6.1.2.1.1.1.0
    " 04 00";                  // value: empty OCTET STRING

Oid SysDescr() { return {1, 3, 6, 1, 2, 1, 1, 1, 0}; }

bool Decodes(const std::vector<std::uint8_t> &octets) {
    Message message;
    return DecodeMessage(octets, message);
}

}  // namespace

TEST(PrinterSimCodec, DecodesTheLibrarysRequests) {
    Message message;
    ASSERT_TRUE(DecodeMessage(Hex(kGetRequest), message));
    EXPECT_EQ(message.version, 0);
    EXPECT_EQ(message.community, "");
    EXPECT_EQ(message.pduType, kPduGetRequest);
    EXPECT_EQ(message.requestId, 1);
    ASSERT_EQ(message.varBinds.size(), 1u);
    EXPECT_EQ(message.varBinds[0].name, SysDescr());
    EXPECT_EQ(message.varBinds[0].value, (Value{kTagOctetString, {}}));

    // SetRequest, request-id 128 (02 02 00 80), INTEGER -2.
    ASSERT_TRUE(DecodeMessage(Hex("30 22 02 01 00 04 00 A3 1B 02 02 00 80 02 01 00 02 01 00 30 0F 30 0D"
                                  " 06 08 2B 06 01 02 01 01 01 00 02 01 FE"),
                              message));
    EXPECT_EQ(message.pduType, kPduSetRequest);
    EXPECT_EQ(message.requestId, 128);
    std::int32_t number = 0;
    ASSERT_TRUE(DecodeSigned(message.varBinds[0].value.contents, number));
    EXPECT_EQ(number, -2);

    // Long-form lengths that are not the shortest are still BER.
    ASSERT_TRUE(DecodeMessage(Hex("30 81 20 02 01 00 04 00 A1 19 02 01 07 02 01 00 02 01 00 30 0E 30 0C"
                                  " 06 08 2B 06 01 02 01 01 01 00 05 00"),
                              message));
    EXPECT_EQ(message.pduType, kPduGetNextRequest);
    EXPECT_EQ(message.requestId, 7);
}

TEST(PrinterSimCodec, EncodesAGetResponse) {
    Message reply;
    reply.requestId = 1;
    reply.varBinds.push_back({SysDescr(), StringValue("abc")});
    const auto octets = EncodeMessage(reply);
    EXPECT_EQ(ToHex(octets),
              "30 23 02 01 00 04 00 A2 1C 02 01 01 02 01 00 02 01 00 30 11 30 0F 06 08 2B 06 01 02 01 01 01 00"
              " 04 03 61 62 63");
    EXPECT_EQ(EncodedSize(reply), octets.size());

    // Long lengths on every level, and the round trip back.
    reply.community = "t*o&r^e~l+d";
    reply.requestId = -129;
    reply.errorStatus = kNoSuchName;
    reply.errorIndex = 200;
    reply.varBinds.push_back({{1, 3, 6, 1, 4, 1, 236, 11, 5, 1, 1, 2, 1, 0}, StringValue(std::string(300, 'p'))});
    reply.varBinds.push_back({{2, 999, 4294967295u}, UnsignedValue(kTagCounter, 4294967295u)});
    const auto large = EncodeMessage(reply);
    ASSERT_EQ(EncodedSize(reply), large.size());
    Message back;
    ASSERT_TRUE(DecodeMessage(large, back));
    EXPECT_EQ(back.community, reply.community);
    EXPECT_EQ(back.requestId, -129);
    EXPECT_EQ(back.errorStatus, kNoSuchName);
    EXPECT_EQ(back.errorIndex, 200);
    ASSERT_EQ(back.varBinds.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.varBinds[i].name, reply.varBinds[i].name);
        EXPECT_EQ(back.varBinds[i].value, reply.varBinds[i].value);
    }
}

TEST(PrinterSimCodec, EncodesATrap) {
    TrapMessage trap;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 236};
    trap.agentAddress = {127, 0, 0, 1};
    trap.genericTrap = 6;
    trap.specificTrap = 1;
    EXPECT_EQ(ToHex(EncodeTrap(trap)),
              "30 21 02 01 00 04 00"          // message, version 0, community ""
              " A4 1A"                        // Trap-PDU
              " 06 07 2B 06 01 04 01 81 6C"   // enterprise 1.3.6.1.4.1.236
              " 40 04 7F 00 00 01"            // agent-addr 127.0.0.1
              " 02 01 06 02 01 01"            // enterpriseSpecific, specific 1
              " 43 01 00"                     // time-stamp 0
              " 30 00");                      // no bindings
}

TEST(PrinterSimCodec, NumbersInShortestForm) {
    struct Row {
        std::int32_t value;
        const char *contents;
    };
    for (const Row &row : {Row{0, "00"}, Row{127, "7F"}, Row{128, "00 80"}, Row{256, "01 00"}, Row{-1, "FF"},
                           Row{-128, "80"}, Row{-129, "FF 7F"}, Row{-257, "FE FF"},
                           Row{INT32_MIN, "80 00 00 00"}, Row{INT32_MAX, "7F FF FF FF"}}) {
        EXPECT_EQ(ToHex(SignedContents(row.value)), row.contents) << row.value;
        EXPECT_EQ(SignedContentsSize(row.value), SignedContents(row.value).size()) << row.value;
        std::int32_t back = 0;
        ASSERT_TRUE(DecodeSigned(SignedContents(row.value), back));
        EXPECT_EQ(back, row.value);
    }
    EXPECT_EQ(ToHex(UnsignedContents(4294967295u)), "00 FF FF FF FF");
    EXPECT_EQ(ToHex(UnsignedContents(0)), "00");
    std::uint32_t unsignedBack = 0;
    ASSERT_TRUE(DecodeUnsigned(Hex("00 FF FF FF FF"), unsignedBack));
    EXPECT_EQ(unsignedBack, 4294967295u);
    EXPECT_FALSE(DecodeUnsigned(Hex("01 00 00 00 00"), unsignedBack));  // above 32 bits
    EXPECT_FALSE(DecodeUnsigned({}, unsignedBack));
    std::int32_t signedBack = 0;
    EXPECT_FALSE(DecodeSigned(Hex("00 80 00 00 00"), signedBack));
    EXPECT_FALSE(DecodeSigned({}, signedBack));
}

TEST(PrinterSimCodec, ObjectIdentifiers) {
    EXPECT_EQ(ToHex(OidContents({2, 999, 3})), "88 37 03");
    EXPECT_EQ(ToHex(OidContents({1, 3, 4294967295u})), "2B 8F FF FF FF 7F");
    for (const Oid &name : {Oid{2, 999, 3}, Oid{1, 3, 4294967295u}, Oid{1, 3, 0, 127, 128, 16383, 16384}, Oid{0, 0}})
        EXPECT_EQ(OidContentsSize(name), OidContents(name).size()) << FormatOid(name);
    Oid oid;
    ASSERT_TRUE(DecodeOidContents(Hex("88 37 03"), oid));
    EXPECT_EQ(oid, (Oid{2, 999, 3}));
    EXPECT_FALSE(DecodeOidContents(Hex("2B 90 80 80 80 00"), oid));  // 2^32
    EXPECT_FALSE(DecodeOidContents(Hex("2B 86"), oid));              // unfinished
    EXPECT_FALSE(DecodeOidContents({}, oid));
    std::vector<std::uint8_t> longest(kMaxOidArcs - 1, 0x01);
    longest[0] = 0x2B;
    EXPECT_TRUE(DecodeOidContents(longest, oid));
    longest.push_back(0x01);
    EXPECT_FALSE(DecodeOidContents(longest, oid));

    ASSERT_TRUE(ParseOid(".1.3.6.1", oid));
    EXPECT_EQ(FormatOid(oid), "1.3.6.1");
    for (const char *bad : {"", "1", "1..3", "1.3.", "3.1", "1.40", "1.3.a", "1.3.4294967296", "1.3 .6"})
        EXPECT_FALSE(ParseOid(bad, oid)) << bad;
    EXPECT_TRUE(ParseOid("1.3.4294967295", oid));
    EXPECT_TRUE(Oid({1, 3, 6}) < Oid({1, 3, 6, 0}));  // get-next order: prefix first
    EXPECT_TRUE(Oid({1, 3, 6, 9}) < Oid({1, 3, 6, 10}));
}

// A message cut short anywhere, or with anything after it, is refused.
TEST(PrinterSimCodec, RefusesEveryTruncationAndTrailingOctets) {
    const auto good = Hex(kGetRequest);
    for (std::size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(Decodes({good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)})) << length;
    auto longer = good;
    longer.push_back(0x00);
    EXPECT_FALSE(Decodes(longer));
}

TEST(PrinterSimCodec, RefusesMalformedFields) {
    struct Row {
        std::size_t offset;
        std::uint8_t octet;
        const char *what;
    };
    for (const Row &row : {
             Row{0, 0x31, "message is not a SEQUENCE"},
             Row{1, 0x21, "message length one too long"},
             Row{1, 0x1F, "message length one too short"},
             Row{1, 0x80, "indefinite length"},
             Row{1, 0x85, "five length octets"},
             Row{2, 0x04, "version is not an INTEGER"},
             Row{7, 0xA4, "Trap-PDU sent to the agent"},
             Row{7, 0xA5, "GetBulk, not SNMPv1"},
             Row{7, 0xBF, "high tag number form"},
             Row{8, 0x1A, "PDU length past the message"},
             Row{10, 0x05, "request-id of five octets"},
             Row{10, 0x00, "request-id without contents"},
             Row{18, 0x31, "bindings are not a SEQUENCE"},
             Row{22, 0x05, "name is not an OBJECT IDENTIFIER"},
             Row{31, 0x81, "name ends in an unfinished sub-identifier"},
             Row{32, 0x24, "constructed value"},
             Row{32, 0x1F, "value with a high tag number"},
             Row{33, 0x01, "value runs past the binding"},
         }) {
        auto bad = Hex(kGetRequest);
        bad[row.offset] = row.octet;
        EXPECT_FALSE(Decodes(bad)) << row.what;
    }
}

// Whatever one octet becomes, the decoder stays inside the input (the
// sanitizer build watches the reads).
TEST(PrinterSimCodec, SurvivesEverySingleOctetChange) {
    const auto good = Hex(kGetRequest);
    for (std::size_t offset = 0; offset < good.size(); ++offset) {
        for (unsigned octet = 0; octet < 256; ++octet) {
            auto changed = good;
            changed[offset] = static_cast<std::uint8_t>(octet);
            Message message;
            if (DecodeMessage(changed, message)) {
                EXPECT_EQ(EncodedSize(message), EncodeMessage(message).size());
            }
        }
    }
}

// A fleet printer's store over shared objects: reads and get-next order see
// its own changes, additions and removals merged in, and the shared objects
// stay as they were for every other printer.
TEST(PrinterSimStore, OwnChangesOverSharedObjects) {
    const auto object = [](std::int32_t number) {
        MibObject made;
        made.value = IntegerValue(number);
        return made;
    };
    MibStore base;
    for (std::uint32_t arc : {1u, 3u, 5u, 7u}) base.Put({1, 3, arc}, object(static_cast<std::int32_t>(arc)));
    const MibStore::SharedObjects shared = base.Share();
    MibStore printer(shared);
    MibStore other(shared);

    printer.Modify({1, 3, 3})->value = IntegerValue(33);  // changed
    printer.Put({1, 3, 4}, object(4));                     // added
    printer.Erase({1, 3, 5});                              // removed
    printer.Put({1, 3, 8}, object(8));                     // added past the end
    EXPECT_EQ(printer.Modify({1, 3, 5}), nullptr);
    EXPECT_EQ(printer.Modify({1, 3, 6}), nullptr);

    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> walked;
    for (const auto *entry = printer.AtOrAfter({}); entry != nullptr; entry = printer.Next(entry->first))
        walked.emplace_back(entry->first.back(), entry->second.value.contents);
    const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> expected = {
        {1, {1}}, {3, {33}}, {4, {4}}, {7, {7}}, {8, {8}}};
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(printer.Find({1, 3, 5}), nullptr);
    EXPECT_EQ(printer.Next({1, 3, 4})->first, (Oid{1, 3, 7}));  // past the removed one
    EXPECT_EQ(printer.AtOrAfter({1, 3, 5})->first, (Oid{1, 3, 7}));
    EXPECT_EQ(printer.OwnCount(), 4u);

    // The other printer and the shared objects are untouched.
    EXPECT_EQ(other.Find({1, 3, 3})->value, IntegerValue(3));
    EXPECT_EQ(other.Find({1, 3, 4}), nullptr);
    EXPECT_NE(other.Find({1, 3, 5}), nullptr);
    EXPECT_EQ(other.OwnCount(), 0u);
    EXPECT_EQ(shared->at({1, 3, 3}).value, IntegerValue(3));
    EXPECT_EQ(other.Share(), shared);  // nothing of its own: the same objects

    // Put back after removal, and a copy (a set's staging) keeps what it was given.
    printer.Put({1, 3, 5}, object(55));
    EXPECT_EQ(printer.Find({1, 3, 5})->value, IntegerValue(55));
    MibStore staged = printer;
    staged.Erase({1, 3, 1});
    EXPECT_EQ(staged.AtOrAfter({})->first, (Oid{1, 3, 3}));
    EXPECT_EQ(printer.AtOrAfter({})->first, (Oid{1, 3, 1}));
    EXPECT_EQ(printer.Share()->size(), 6u);

    // Whether a request must look its objects up for their faults.
    EXPECT_FALSE(printer.MayHaveObjectFaults());
    MibObject failing = object(9);
    failing.faults.silent = true;
    printer.Put({1, 3, 9}, failing);
    EXPECT_TRUE(printer.MayHaveObjectFaults());
    EXPECT_TRUE(MibStore(printer.Share()).MayHaveObjectFaults());
    EXPECT_FALSE(other.MayHaveObjectFaults());
}
