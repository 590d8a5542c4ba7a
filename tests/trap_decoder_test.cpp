// SPDX-License-Identifier: Apache-2.0
// HelperSnmpDecodeTrapPdu: accepted Trap messages, refused variants of them,
// the 16-bit length, memory safety on arbitrary changes, allocation failure.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/trap_decoder.h"
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

struct TrapDeleter {
    void operator()(SnmpTrapParam *record) const { FreeTrapParam(record); }
};
using Trap = std::unique_ptr<SnmpTrapParam, TrapDeleter>;

Trap Decode(const Bytes &message) {
    const auto copy = test::ExactCopy(message);
    return Trap(HelperSnmpDecodeTrapPdu(copy.get(), static_cast<std::uint32_t>(message.size())));
}

// The golden Trap: 53 octets.
const char *const kGolden =
    "30 33"                           // message SEQUENCE, 51 octets
    " 02 01 00"                       // version 0
    " 04 00"                          // community, empty
    " A4 2C"                          // Trap-PDU, 44 octets
    " 06 06 2B 06 01 02 01 2B"        // enterprise 1.3.6.1.2.1.43
    " 40 04 C0 A8 01 02"              // agent-addr 192.168.1.2
    " 02 01 06"                       // generic-trap enterpriseSpecific
    " 02 03 01 00 01"                 // specific-trap 65537
    " 43 01 64"                       // time-stamp 100
    " 30 11"                          // variable-bindings, 17 octets
    " 30 0F"                          // VarBind, 15 octets
    " 06 08 2B 06 01 02 01 01 01 00"  // name 1.3.6.1.2.1.1.1.0
    " 04 03 61 62 63";                // value OCTET STRING "abc"

const Bytes kSysDescr = Hex("2B 06 01 02 01 01 01 00");

// A trap like the golden one with the given community and VarBinds.
Bytes TrapWith(const Bytes &community, const std::vector<Bytes> &varBinds) {
    const Bytes pdu = Tlv(0xA4, Join({Hex("06 06 2B 06 01 02 01 2B 40 04 C0 A8 01 02 02 01 06"
                                          " 02 03 01 00 01 43 01 64"),
                                      Tlv(0x30, Join(varBinds))}));
    return test::Message(community, pdu);
}

Bytes TrapWithValue(const Bytes &valueItem) {
    return TrapWith({}, {test::VarBind(kSysDescr, valueItem)});
}

TEST(DecodeTrap, GoldenMessage) {
    const Trap trap = Decode(Hex(kGolden));
    ASSERT_NE(trap, nullptr);
    EXPECT_EQ(trap->communityLength, 0);
    EXPECT_STREQ(trap->enterprise, "1.3.6.1.2.1.43");
    EXPECT_EQ(trap->enterpriseLength, 14);
    EXPECT_EQ(test::ToHex(trap->agentAddress, 4), "C0 A8 01 02");
    EXPECT_EQ(trap->agentAddressLength, 4);
    EXPECT_EQ(trap->genericTrap, 6);
    EXPECT_EQ(trap->specificTrap, 1);  // 65537 cut to its low 16 bits
    EXPECT_EQ(trap->timeStamp, 100u);
    ASSERT_EQ(trap->varBindCount, 1);
    const SnmpVarBind &entry = trap->varBinds[0];
    EXPECT_STREQ(entry.oid, "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(entry.oidLength, 17);
    EXPECT_EQ(entry.valueType, SNMP_VALUE_OCTET_STRING);
    EXPECT_EQ(entry.valueLength, 3u);
    EXPECT_EQ(test::ToHex(entry.value, 3), "61 62 63");
}

TEST(DecodeTrap, BuilderReproducesTheGoldenMessage) {
    EXPECT_EQ(test::ToHex(TrapWithValue(Hex("04 03 61 62 63"))), test::ToHex(Hex(kGolden)));
}

TEST(DecodeTrap, EveryTruncationAndATrailingOctetAreRefused) {
    const Bytes golden = Hex(kGolden);
    test::ForEachTruncation(golden, [](const Bytes &cut) {
        EXPECT_EQ(Decode(cut), nullptr) << "cut at " << cut.size();
    });
    Bytes longer = golden;
    longer.push_back(0);
    EXPECT_EQ(Decode(longer), nullptr);
}

TEST(DecodeTrap, SingleOctetChangesThatAreRefused) {
    const test::OctetChange changes[] = {
        {0, 0x31, "message is a SET"},
        {1, 0x34, "message length one long"},
        {4, 0x01, "version 2c"},
        {5, 0x02, "community not an OCTET STRING"},
        {7, 0xA2, "GetResponse"},
        {7, 0xA7, "SNMPv2 trap"},
        {8, 0x2B, "PDU length one short"},
        {9, 0x04, "enterprise not an OBJECT IDENTIFIER"},
        {16, 0x81, "enterprise ends in an unfinished sub-identifier"},
        {17, 0x04, "agent-addr an OCTET STRING"},
        {18, 0x05, "agent-addr of five octets"},
        {23, 0x04, "generic-trap not an INTEGER"},
        {24, 0x02, "generic-trap in two octets"},
        {26, 0x41, "specific-trap a Counter"},
        {31, 0x02, "time-stamp an INTEGER"},
        {34, 0x31, "list not a SEQUENCE"},
        {36, 0x31, "VarBind not a SEQUENCE"},
        {38, 0x04, "name not an OBJECT IDENTIFIER"},
        {48, 0x80, "context-specific value"},
        {48, 0x24, "constructed OCTET STRING"},
        {49, 0x04, "value longer than the VarBind"},
    };
    const Bytes golden = Hex(kGolden);
    for (const test::OctetChange &change : changes) {
        EXPECT_EQ(Decode(test::Changed(golden, change)), nullptr) << change.what;
    }
}

TEST(DecodeTrap, AnySingleOctetChangeIsSafe) {
    test::ForEachSingleOctetChange(Hex(kGolden), [](const Bytes &changed) {
        const Trap trap = Decode(changed);
        if (trap == nullptr) return;
        ASSERT_LE(trap->varBindCount, 40);
        EXPECT_EQ(std::strlen(trap->enterprise), trap->enterpriseLength);
    });
}

TEST(DecodeTrap, GetResponseIsRefused) {
    const Bytes response =
        Hex("30 23 02 01 00 04 00 A2 1C 02 01 01 02 01 00 02 01 00 30 11 30 0F 06 08"
            " 2B 06 01 02 01 01 01 00 04 03 61 62 63");
    SnmpReqParam *record = HelperSnmpDecodePdu(response.data(), 37);
    ASSERT_NE(record, nullptr);  // a GetResponse the other decoder accepts
    HelperFreeReqParam(record);
    EXPECT_EQ(Decode(response), nullptr);
}

TEST(DecodeTrap, CommunityFillsItsBlock) {
    const Trap full = Decode(TrapWith(Bytes(256, 'p'), {}));
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->communityLength, 256);
    EXPECT_EQ(std::string(full->community, 256), std::string(256, 'p'));
    EXPECT_EQ(Decode(TrapWith(Bytes(257, 'p'), {})), nullptr);
}

TEST(DecodeTrap, GenericTrapIsNotRangeChecked) {
    Bytes message = Hex(kGolden);
    message[25] = 200;
    const Trap trap = Decode(message);
    ASSERT_NE(trap, nullptr);
    EXPECT_EQ(trap->genericTrap, 200);
}

TEST(DecodeTrap, SpecificTrapKeepsItsLow16Bits) {
    Bytes message = Hex(kGolden);
    // specific-trap -2 (02 01 FE) in place of 65537 (02 03 01 00 01).
    message.erase(message.begin() + 27, message.begin() + 31);
    message.insert(message.begin() + 27, {0x01, 0xFE});
    message[1] -= 2;
    message[8] -= 2;
    const Trap trap = Decode(message);
    ASSERT_NE(trap, nullptr);
    EXPECT_EQ(trap->specificTrap, -2);
}

TEST(DecodeTrap, NullValueAndValueLimits) {
    const Trap null = Decode(TrapWithValue(Hex("05 00")));
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null->varBinds[0].valueType, SNMP_VALUE_NULL);
    EXPECT_EQ(null->varBinds[0].valueLength, 0u);

    const Trap longest = Decode(TrapWithValue(Tlv(0x04, Bytes(256, 'v'))));
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(longest->varBinds[0].valueLength, 256u);
    EXPECT_EQ(longest->varBinds[0].value[256], 0);  // still followed by a zero
    EXPECT_EQ(Decode(TrapWithValue(Tlv(0x04, Bytes(257, 'v')))), nullptr);
}

TEST(DecodeTrap, ObjectIdentifierValueOf256CharactersIsTerminated) {
    // 2B, 125 sub-identifiers 1 and one 10: "1.3" + 125 * ".1" + ".10" = 256 characters.
    Bytes oid(126, 0x01);
    oid[0] = 0x2B;
    oid.push_back(0x0A);
    const Trap trap = Decode(TrapWithValue(Tlv(0x06, oid)));
    ASSERT_NE(trap, nullptr);
    const SnmpVarBind &entry = trap->varBinds[0];
    EXPECT_EQ(entry.valueLength, 256u);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char *>(entry.value)), 256u);
    oid.back() = 0x64;  // ".100": 257 characters
    EXPECT_EQ(Decode(TrapWithValue(Tlv(0x06, oid))), nullptr);
}

TEST(DecodeTrap, EnterpriseTextLimit) {
    Bytes enterprise(255, 0x01);  // "1.3" + 254 * ".1": 511 characters
    enterprise[0] = 0x2B;
    auto trapWithEnterprise = [](const Bytes &oid) {
        const Bytes pdu =
            Tlv(0xA4,
                Join({Tlv(0x06, oid), Hex("40 04 C0 A8 01 02 02 01 06 02 01 01 43 01 64 30 00")}));
        return test::Message({}, pdu);
    };
    const Trap trap = Decode(trapWithEnterprise(enterprise));
    ASSERT_NE(trap, nullptr);
    EXPECT_EQ(trap->enterpriseLength, 511);
    enterprise.push_back(0x01);
    EXPECT_EQ(Decode(trapWithEnterprise(enterprise)), nullptr);
}

TEST(DecodeTrap, FortyVarBindsAndNoMore) {
    std::vector<Bytes> varBinds(40, test::VarBind(kSysDescr, Hex("43 01 05")));
    const Trap forty = Decode(TrapWith({}, varBinds));
    ASSERT_NE(forty, nullptr);
    EXPECT_EQ(forty->varBindCount, 40);
    varBinds.push_back(test::VarBind(kSysDescr, Hex("05 00")));
    EXPECT_EQ(Decode(TrapWith({}, varBinds)), nullptr);
}

TEST(DecodeTrap, OnlyTheLow16BitsOfTheLengthCount) {
    const Bytes golden = Hex(kGolden);
    // The data is only the 53 octets; the bits above 16 must not make the
    // decoder look further.
    Trap trap(HelperSnmpDecodeTrapPdu(golden.data(), 65536 + 53));
    ASSERT_NE(trap, nullptr);
    EXPECT_EQ(trap->timeStamp, 100u);
    EXPECT_EQ(HelperSnmpDecodeTrapPdu(golden.data(), 65536 + 20), nullptr);
    EXPECT_EQ(HelperSnmpDecodeTrapPdu(golden.data(), 65536), nullptr);
    EXPECT_EQ(HelperSnmpDecodeTrapPdu(nullptr, 53), nullptr);
}

TEST(DecodeTrap, EveryAllocationFailureLeavesNothingBehind) {
    const Bytes message =
        TrapWith(Hex("70 75 62 6C 69 63"), {
                                               test::VarBind(kSysDescr, Hex("04 03 61 62 63")),
                                               test::VarBind(kSysDescr, Hex("06 03 2B 06 01")),
                                           });
    const std::uint64_t allocations = test::ExpectNullOnEachAllocationFailure(
        [&] { return HelperSnmpDecodeTrapPdu(message.data(), static_cast<std::uint32_t>(message.size())); },
        FreeTrapParam);
    // record, community, enterprise, agent-addr, list, an oid and a value per entry
    EXPECT_EQ(allocations, 5u + 2u * 2u);
}

TEST(FreeTrapParam, NullAndPartlyBuiltRecords) {
    FreeTrapParam(nullptr);
    const std::int64_t liveBefore = platform::HeapLiveBlocks();
    auto *record = static_cast<SnmpTrapParam *>(platform::HeapAllocZero(sizeof(SnmpTrapParam)));
    record->community = static_cast<char *>(platform::HeapAllocZero(256));
    record->varBinds =
        static_cast<SnmpVarBind *>(platform::HeapAllocZero(sizeof(SnmpVarBind) * 40));
    record->varBinds[0].oid = static_cast<char *>(platform::HeapAllocZero(512));
    record->varBindCount = 1;  // its value block was never allocated
    FreeTrapParam(record);
    EXPECT_EQ(platform::HeapLiveBlocks(), liveBefore);
}

}  // namespace
}  // namespace snmphelper
