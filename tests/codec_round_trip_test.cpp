// SPDX-License-Identifier: Apache-2.0
// Encoder and decoder agree: a SetRequest encoded by HelperSnmpEncodePdu and
// relabelled as a GetResponse decodes back into the record it came from.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "snmphelper.h"
#include "tests/support/hex.h"

namespace snmphelper {
namespace {

// One entry of the record to encode, with its value as octets.
struct Binding {
    std::string oid;
    SnmpValueType type;
    std::vector<std::uint8_t> value;  // the representation SnmpVarBind.value holds
};

std::vector<std::uint8_t> Number(std::uint32_t number) {
    std::vector<std::uint8_t> octets(sizeof number);
    std::memcpy(octets.data(), &number, sizeof number);
    return octets;
}

std::vector<std::uint8_t> Text(const std::string &text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Skips one identifier and its length octets (short or long form).
std::size_t SkipHeader(const std::vector<std::uint8_t> &message, std::size_t at) {
    const std::uint8_t length = message.at(at + 1);
    return at + 2 + (length < 0x80 ? 0 : (length & 0x7Fu));
}

// Where the PDU's identifier octet stands: after the message header, the
// version and the community.
std::size_t PduTagOffset(const std::vector<std::uint8_t> &message) {
    const std::size_t version = SkipHeader(message, 0);
    const std::size_t community = version + 3;
    const std::size_t communityContents = SkipHeader(message, community);
    std::size_t communityLength = message.at(community + 1);
    if (communityLength >= 0x80) {
        std::size_t value = 0;
        for (std::size_t i = community + 2; i < communityContents; ++i)
            value = value * 256 + message[i];
        communityLength = value;
    }
    return communityContents + communityLength;
}

void ExpectRoundTrip(const std::string &community, std::int32_t requestId,
                     const std::vector<Binding> &bindings) {
    std::vector<std::vector<std::uint8_t>> values;
    std::vector<std::string> oids;
    for (const Binding &b : bindings) {
        std::vector<std::uint8_t> value = b.value;
        value.push_back(0);  // OBJECT IDENTIFIER values are read up to a terminator
        values.push_back(value);
        oids.push_back(b.oid);
    }
    std::vector<SnmpVarBind> entries(bindings.size());
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        entries[i].oid = oids[i].data();
        entries[i].valueType = bindings[i].type;
        entries[i].value = values[i].data();
        entries[i].valueLength = static_cast<std::uint32_t>(bindings[i].value.size());
    }
    std::string communityBytes = community;
    SnmpReqParam request{};
    request.community = communityBytes.data();
    request.communityLength = static_cast<std::uint16_t>(community.size());
    request.pduType = SNMP_PDU_SET_REQUEST;
    request.requestId = requestId;
    request.varBindCount = static_cast<std::uint16_t>(entries.size());
    request.varBinds = entries.data();

    std::vector<std::uint8_t> message(8192);
    std::uint16_t length = static_cast<std::uint16_t>(message.size());
    ASSERT_EQ(HelperSnmpEncodePdu(&request, message.data(), &length), SNMP_ENCODE_OK);
    message.resize(length);
    const std::size_t tag = PduTagOffset(message);
    ASSERT_EQ(message.at(tag), 0xA3) << test::ToHex(message);
    message[tag] = 0xA2;

    SnmpReqParam *reply =
        HelperSnmpDecodePdu(message.data(), static_cast<std::uint32_t>(message.size()));
    ASSERT_NE(reply, nullptr) << test::ToHex(message);
    EXPECT_EQ(std::string(reply->community, reply->communityLength), community);
    EXPECT_EQ(reply->pduType, SNMP_PDU_GET_RESPONSE);
    EXPECT_EQ(reply->requestId, requestId);
    EXPECT_EQ(reply->errorStatus, 0);
    EXPECT_EQ(reply->errorIndex, 0);
    EXPECT_EQ(reply->varBindCount, bindings.size());
    for (std::size_t i = 0; i < bindings.size() && i < reply->varBindCount; ++i) {
        const SnmpVarBind &entry = reply->varBinds[i];
        EXPECT_EQ(entry.oid, bindings[i].oid);
        EXPECT_EQ(entry.oidLength, bindings[i].oid.size());
        EXPECT_EQ(entry.valueType, bindings[i].type) << entry.oid;
        EXPECT_EQ(test::ToHex(entry.value, entry.valueLength), test::ToHex(bindings[i].value))
            << entry.oid << " type " << bindings[i].type;
    }
    HelperFreeReqParam(reply);
}

TEST(CodecRoundTrip, EveryValueType) {
    const std::string name = "1.3.6.1.2.1.1.1.0";
    const std::vector<Binding> cases = {
        {name, SNMP_VALUE_INTEGER, Number(static_cast<std::uint32_t>(-2))},
        {name, SNMP_VALUE_INTEGER, Number(0)},
        {name, SNMP_VALUE_INTEGER, Number(0x80000000u)},  // the smallest INTEGER
        {name, SNMP_VALUE_INTEGER, Number(0x7FFFFFFFu)},
        {name, SNMP_VALUE_OCTET_STRING, Text("abc")},
        {name, SNMP_VALUE_OCTET_STRING, {}},
        {name, SNMP_VALUE_OCTET_STRING, {0x00, 0xFF, 0x2C, 0x00}},
        {name, SNMP_VALUE_OCTET_STRING, std::vector<std::uint8_t>(256, 0x5A)},
        {name, SNMP_VALUE_IP_ADDRESS, {0xC0, 0xA8, 0x01, 0x02}},
        {name, SNMP_VALUE_OPAQUE, {0x9F, 0x78, 0x04, 0x00}},
        {name, SNMP_VALUE_COUNTER, Number(4294967295u)},
        {name, SNMP_VALUE_COUNTER, Number(0)},
        {name, SNMP_VALUE_GAUGE, Number(128)},
        {name, SNMP_VALUE_TIME_TICKS, Number(8640000)},
        {name, SNMP_VALUE_OBJECT_IDENTIFIER, Text("1.3.6.1.4.1.4294967295.0")},
        {name, SNMP_VALUE_OBJECT_IDENTIFIER, Text("2.39")},
        {name, SNMP_VALUE_NULL, {}},
    };
    for (const Binding &binding : cases) {
        SCOPED_TRACE("type " + std::to_string(binding.type) + ", " +
                     std::to_string(binding.value.size()) + " octets");
        ExpectRoundTrip("", 1, {binding});
    }
}

TEST(CodecRoundTrip, WholeMessageWithEveryTypeAtOnce) {
    std::vector<Binding> bindings = {
        {"1.3.6.1.2.1.1.5.0", SNMP_VALUE_INTEGER, Number(static_cast<std::uint32_t>(-129))},
        {"1.3.6.1.2.1.1.6.0", SNMP_VALUE_OCTET_STRING, Text("printer room 2")},
        {"1.3.6.1.4.1.200.1", SNMP_VALUE_IP_ADDRESS, {10, 0, 0, 1}},
        {"1.3.6.1.4.1.200.2", SNMP_VALUE_OPAQUE, {1, 2, 3}},
        {"1.3.6.1.2.1.2.2.1.10.1", SNMP_VALUE_COUNTER, Number(300)},
        {"1.3.6.1.2.1.2.2.1.5.1", SNMP_VALUE_GAUGE, Number(100000000)},
        {"1.3.6.1.2.1.1.3.0", SNMP_VALUE_TIME_TICKS, Number(4711)},
        {"1.3.6.1.2.1.1.2.0", SNMP_VALUE_OBJECT_IDENTIFIER, Text("1.3.6.1.4.1.11.2.3.9.1")},
        {"1.3.6.1.2.1.1.4.0", SNMP_VALUE_NULL, {}},
    };
    ExpectRoundTrip("public", std::numeric_limits<std::int32_t>::min(), bindings);
    ExpectRoundTrip(std::string(255, 'c'), 128, bindings);
    // Forty entries, the decoder's limit, with lengths in the long form.
    std::vector<Binding> forty;
    for (int i = 0; i < 40; ++i)
        forty.push_back(bindings[static_cast<std::size_t>(i) % bindings.size()]);
    ExpectRoundTrip("public", 7, forty);
}

}  // namespace
}  // namespace snmphelper
