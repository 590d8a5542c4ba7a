// SPDX-License-Identifier: Apache-2.0
// Receiving-side BER primitives: lengths, value types, value contents and
// object identifier text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "codec/ber_decode.h"
#include "tests/support/hex.h"

namespace snmphelper {
namespace {

using test::Hex;

struct LengthCase {
    const char *input;
    bool ok;
    std::uint32_t length;
    std::size_t consumed;
};

TEST(DecodeLength, ShortAndLongForms) {
    const LengthCase cases[] = {
        {"00", true, 0, 1},
        {"7F", true, 127, 1},
        {"81 C8", true, 200, 2},
        {"82 01 2C", true, 300, 3},
        {"81 05", true, 5, 2},                     // long form need not be shortest
        {"84 FF FF FF FF", true, 4294967295u, 5},  // the largest 32-bit length
        {"81", false, 0, 0},                       // length octet missing
        {"83 01 00", false, 0, 0},                 // one of three octets missing
        {"", false, 0, 0},
        {"80", false, 0, 0},                 // indefinite form: not used by SNMP
        {"85 00 00 00 00 01", false, 0, 0},  // more than 32 bits of length
    };
    for (const LengthCase &c : cases) {
        const std::vector<std::uint8_t> bytes = Hex(c.input);
        ByteCursor cursor(bytes.data(), bytes.size());
        std::uint32_t length = 12345;
        EXPECT_EQ(DecodeLength(cursor, length), c.ok) << c.input;
        if (c.ok) {
            EXPECT_EQ(length, c.length) << c.input;
            EXPECT_EQ(bytes.size() - cursor.Remaining(), c.consumed) << c.input;
        } else {
            EXPECT_EQ(cursor.Remaining(), bytes.size()) << "cursor moved on failure: " << c.input;
        }
    }
}

TEST(DecodeLength, CountsOnlyWhatRemains) {
    // 82 01 2C, but the cursor is told only two octets remain.
    const std::vector<std::uint8_t> bytes = Hex("82 01 2C");
    ByteCursor cursor(bytes.data(), 2);
    std::uint32_t length = 0;
    EXPECT_FALSE(DecodeLength(cursor, length));
}

TEST(EnterItem, RefusesContentsBeyondTheData) {
    const std::vector<std::uint8_t> fits = Hex("04 02 61 62 FF");
    ByteCursor cursor(fits.data(), fits.size());
    ByteCursor contents;
    ASSERT_TRUE(EnterItem(cursor, 0x04, contents));
    EXPECT_EQ(contents.Remaining(), 2u);
    EXPECT_EQ(cursor.Remaining(), 1u);

    const std::vector<std::uint8_t> longer = Hex("04 03 61 62");
    ByteCursor shortCursor(longer.data(), longer.size());
    EXPECT_FALSE(EnterItem(shortCursor, 0x04, contents));
    ByteCursor wrongTag(fits.data(), fits.size());
    EXPECT_FALSE(EnterItem(wrongTag, 0x30, contents));
    // A 32-bit length near its limit must not wrap when checked against what remains.
    const std::vector<std::uint8_t> huge = Hex("04 84 FF FF FF FF 61");
    ByteCursor hugeCursor(huge.data(), huge.size());
    EXPECT_FALSE(EnterItem(hugeCursor, 0x04, contents));
}

TEST(MapBerType, ExactlyTheSupportedClassesAndTags) {
    for (std::uint32_t berClass = 0; berClass < 4; ++berClass) {
        for (std::uint32_t tag = 0; tag < 32; ++tag) {
            SnmpValueType expected = SNMP_VALUE_NONE;
            if (berClass == 0 && tag == 2) expected = SNMP_VALUE_INTEGER;
            if (berClass == 0 && tag == 4) expected = SNMP_VALUE_OCTET_STRING;
            if (berClass == 0 && tag == 5) expected = SNMP_VALUE_NULL;
            if (berClass == 0 && tag == 6) expected = SNMP_VALUE_OBJECT_IDENTIFIER;
            if (berClass == 1 && tag == 0) expected = SNMP_VALUE_IP_ADDRESS;
            if (berClass == 1 && tag == 1) expected = SNMP_VALUE_COUNTER;
            if (berClass == 1 && tag == 2) expected = SNMP_VALUE_GAUGE;
            if (berClass == 1 && tag == 3) expected = SNMP_VALUE_TIME_TICKS;
            if (berClass == 1 && tag == 4) expected = SNMP_VALUE_OPAQUE;
            EXPECT_EQ(MapBerType(static_cast<BerClass>(berClass), tag), expected)
                << "class " << berClass << " tag " << tag;
        }
    }
}

constexpr BerClass kUniversal = BerClass::Universal;
constexpr BerClass kApplication = BerClass::Application;

struct NumberCase {
    BerClass berClass;
    std::uint32_t tag;
    const char *input;  // from the length octet on
    bool ok;
    std::int64_t value;  // as signed for INTEGER, unsigned for the others
};

TEST(DecodeBerValue, Numbers) {
    const NumberCase cases[] = {
        {kUniversal, 2, "01 00", true, 0},
        {kUniversal, 2, "01 FF", true, -1},
        {kUniversal, 2, "02 FF 7F", true, -129},
        {kUniversal, 2, "02 00 80", true, 128},
        {kUniversal, 2, "04 7F FF FF FF", true, 2147483647},
        {kUniversal, 2, "04 80 00 00 00", true, -2147483648LL},
        {kUniversal, 2, "05 FF 80 00 00 00", true, -2147483648LL},  // redundant sign octet
        {kUniversal, 2, "05 00 80 00 00 00", false, 0},             // 2147483648 does not fit
        {kUniversal, 2, "05 01 00 00 00 00", false, 0},             // would be cut to 0
        {kUniversal, 2, "00", true, 0},                             // no contents read as 0
        {kUniversal, 2, "09 00 00 00 00 00 00 00 00 2A", true, 42}, // redundant zero octets
        {kUniversal, 2, "81 01 05", true, 5},                       // long-form length
        {kUniversal, 2, "02 01", false, 0},                         // contents cut short
        {kUniversal, 2, "", false, 0},
        {kApplication, 1, "05 00 FF FF FF FF", true, 4294967295LL},
        {kApplication, 1, "01 FF", true, 255},  // unsigned, as agents send it
        {kApplication, 1, "05 01 00 00 00 00", false, 0},
        {kApplication, 2, "04 FF FF FF FE", true, 4294967294LL},
        {kApplication, 3, "01 64", true, 100},
        {kApplication, 3, "82 00 01 2A", true, 42},
        {kApplication, 3, "00", true, 0},
    };
    for (const NumberCase &c : cases) {
        const std::vector<std::uint8_t> bytes = Hex(c.input);
        ByteCursor cursor(bytes.data(), bytes.size());
        std::uint8_t out[4] = {};
        std::uint32_t length = sizeof out;
        ASSERT_EQ(DecodeBerValue(c.berClass, c.tag, cursor, out, length), c.ok) << c.input;
        if (!c.ok) continue;
        EXPECT_EQ(length, 4u);
        EXPECT_TRUE(cursor.AtEnd()) << c.input;
        if (c.tag == 2 && c.berClass == kUniversal) {
            std::int32_t number = 0;
            std::memcpy(&number, out, sizeof number);
            EXPECT_EQ(number, c.value) << c.input;
        } else {
            std::uint32_t number = 0;
            std::memcpy(&number, out, sizeof number);
            EXPECT_EQ(number, c.value) << c.input;
        }
    }
}

struct OctetsCase {
    BerClass berClass;
    std::uint32_t tag;
    const char *input;  // from the length octet on
    std::uint32_t room;
    bool ok;
    const char *stored;  // hex of the stored octets, or the text for OBJECT IDENTIFIER
};

TEST(DecodeBerValue, OctetsAddressesNullAndObjectIdentifiers) {
    const OctetsCase cases[] = {
        {kUniversal, 4, "03 61 62 63", 3, true, "61 62 63"},
        {kUniversal, 4, "03 61 62 63", 2, false, ""},  // does not fit the room
        {kUniversal, 4, "00", 0, true, ""},
        {kUniversal, 4, "81 02 61 62", 8, true, "61 62"},
        {kUniversal, 4, "04 61 62 63", 8, false, ""},     // contents cut short
        {kUniversal, 4, "80 61 62 00 00", 8, false, ""},  // indefinite form
        {kApplication, 4, "02 DE AD", 8, true, "DE AD"},  // Opaque
        {kApplication, 0, "04 C0 A8 01 02", 4, true, "C0 A8 01 02"},
        {kApplication, 0, "05 C0 A8 01 02 03", 8, false, ""},  // IpAddress needs length 4
        {kApplication, 0, "81 04 C0 A8 01 02", 8, false, ""},
        {kApplication, 0, "04 C0 A8 01", 8, false, ""},
        {kApplication, 0, "04 C0 A8 01 02", 3, false, ""},
        {kUniversal, 5, "00", 0, true, ""},
        {kUniversal, 5, "01 00", 8, false, ""},  // NULL has no contents
        {kUniversal, 5, "", 8, false, ""},
        {kUniversal, 3, "02 00 FF", 8, false, ""},  // BIT STRING
        {kApplication, 6, "01 00", 8, false, ""},   // Counter64
        {BerClass{2}, 0, "00", 8, false, ""},       // context-specific
    };
    for (const OctetsCase &c : cases) {
        const std::vector<std::uint8_t> bytes = Hex(c.input);
        ByteCursor cursor(bytes.data(), bytes.size());
        std::vector<std::uint8_t> out(c.room + 1, 0xEE);  // one guard octet past the room
        std::uint32_t length = c.room;
        ASSERT_EQ(DecodeBerValue(c.berClass, c.tag, cursor, out.data(), length), c.ok) << c.input;
        EXPECT_EQ(out[c.room], 0xEE) << "wrote past the room: " << c.input;
        if (!c.ok) {
            EXPECT_EQ(cursor.Remaining(), bytes.size()) << "cursor moved on failure: " << c.input;
            continue;
        }
        EXPECT_TRUE(cursor.AtEnd()) << c.input;
        EXPECT_EQ(test::ToHex(out.data(), length), c.stored) << c.input;
    }
}

TEST(DecodeBerValue, ObjectIdentifierTextWithoutTerminator) {
    const std::vector<std::uint8_t> bytes = Hex("03 2B 06 01");
    ByteCursor cursor(bytes.data(), bytes.size());
    char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    std::uint32_t length = 7;
    ASSERT_TRUE(DecodeBerValue(kUniversal, 6, cursor, out, length));
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(std::string(out, length), "1.3.6.1");
    EXPECT_EQ(out[7], 'x');

    ByteCursor again(bytes.data(), bytes.size());
    length = 6;  // "1.3.6.1" needs seven
    EXPECT_FALSE(DecodeBerValue(kUniversal, 6, again, out, length));

    const std::vector<std::uint8_t> empty = Hex("00");
    ByteCursor emptyCursor(empty.data(), empty.size());
    length = 7;
    ASSERT_TRUE(DecodeBerValue(kUniversal, 6, emptyCursor, out, length));
    EXPECT_EQ(length, 0u);
}

TEST(DecodeBerValue, OctetStringOfThreeHundredDoesNotFitRoom255) {
    std::vector<std::uint8_t> bytes = Hex("82 01 2C");
    bytes.resize(3 + 300, 0x41);
    ByteCursor cursor(bytes.data(), bytes.size());
    std::vector<std::uint8_t> out(255);
    std::uint32_t length = 255;
    EXPECT_FALSE(DecodeBerValue(kUniversal, 4, cursor, out.data(), length));
    length = 300;
    out.resize(300);
    EXPECT_TRUE(DecodeBerValue(kUniversal, 4, cursor, out.data(), length));
    EXPECT_EQ(length, 300u);
}

struct OidCase {
    const char *contents;
    std::size_t room;
    bool ok;
    const char *text;  // also what is left after a failure
};

TEST(OidBerToText, Vectors) {
    const OidCase cases[] = {
        {"2B 06 01 02 01 81 48", 511, true, "1.3.6.1.2.1.200"},
        {"2B 06 01 02 01 01 01 00", 511, true, "1.3.6.1.2.1.1.1.0"},
        {"00", 511, true, "0.0"},
        {"50", 511, true, "2.0"},
        {"78", 511, true, "3.0"},
        {"7F", 511, true, "3.7"},
        {"", 511, true, ""},
        {"2B 8F FF FF FF 7F", 511, true, "1.3.4294967295"},
        {"2B 80 01", 511, true, "1.3.1"},          // redundant leading group
        // arcs of every digit count, around the two-digit steps
        {"2B 09 0A 63 80 64 87 67 87 68 E0 B2 5A", 511, true, "1.3.9.10.99.100.999.1000.1579354"},
        {"2B CB A8 6F 87 B9 D6 A6 2F", 511, true, "1.3.1234031.1999999791"},
        {"2B 90 80 80 80 00", 511, false, "1.3"},  // sub-identifier over 32 bits
        {"2B 06 86", 511, false, "1.3.6"},         // unfinished last sub-identifier
        {"86", 511, false, ""},
        {"2B 06 01", 7, true, "1.3.6.1"},    // exactly the room
        {"2B 06 01", 6, false, "1.3.6"},     // the last arc does not fit
        {"2B 06 81 48", 7, false, "1.3.6"},  // ".200" needs four
        {"2B", 2, false, "1"},
        {"2B", 0, false, ""},
    };
    for (const OidCase &c : cases) {
        const std::vector<std::uint8_t> contents = Hex(c.contents);
        std::vector<char> text(c.room + 2, '#');  // room + terminator + one guard
        std::size_t length = 999;
        EXPECT_EQ(OidBerToText(text.data(), c.room, contents.data(), contents.size(), length), c.ok)
            << c.contents;
        EXPECT_STREQ(text.data(), c.text) << c.contents;
        EXPECT_EQ(text[c.room + 1], '#') << "wrote past room + 1: " << c.contents;
        if (c.ok) {
            EXPECT_EQ(length, std::strlen(c.text)) << c.contents;
        }
    }
}

TEST(OidBerToText, LongestTextFillsRoomExactly) {
    // 2B then 254 sub-identifiers 1: "1.3" and 254 times ".1", 511 characters.
    std::vector<std::uint8_t> contents(255, 0x01);
    contents[0] = 0x2B;
    std::vector<char> text(512, '#');
    std::size_t length = 0;
    ASSERT_TRUE(OidBerToText(text.data(), 511, contents.data(), contents.size(), length));
    EXPECT_EQ(length, 511u);
    EXPECT_EQ(text[511], '\0');
    contents.push_back(0x01);
    EXPECT_FALSE(OidBerToText(text.data(), 511, contents.data(), contents.size(), length));
    EXPECT_EQ(std::strlen(text.data()), 511u);  // cut at the last whole arc
}

// The readers that keep names as contents refuse exactly what the text
// reader refuses, and read the same arcs: every vector above, and contents
// around the length where counting the text begins.
TEST(OidBerToText, NameReadersAgreeWithTheText) {
    std::vector<std::vector<std::uint8_t>> contents;
    for (const char *hex : {"2B 06 01 02 01 81 48", "00", "7F", "", "2B 8F FF FF FF 7F", "2B 80 01",
                            "2B 09 0A 63 80 64 87 67 87 68 E0 B2 5A", "2B CB A8 6F 87 B9 D6 A6 2F",
                            "2B 90 80 80 80 00", "2B 06 86", "86", "2B 01 02 03 04 05 06 07 08 09 0A",
                            "2B 01 02 03 04 05 06 87"}) {
        contents.push_back(Hex(hex));
    }
    for (std::size_t length : {126u, 127u, 128u, 129u, 255u, 256u}) {
        std::vector<std::uint8_t> ones(length, 0x01);
        ones[0] = 0x2B;
        contents.push_back(ones);
        std::vector<std::uint8_t> wide(length, 0x7F);  // ".127": four characters each
        wide[0] = 0x2B;
        contents.push_back(wide);
    }
    for (const std::vector<std::uint8_t> &c : contents) {
        SCOPED_TRACE(test::ToHex(c));
        for (std::size_t room : {511u, 20u}) {
            std::vector<char> text(room + 1);
            std::size_t length = 0;
            const bool asText = OidBerToText(text.data(), room, c.data(), c.size(), length);
            EXPECT_EQ(OidBerFitsText(c.data(), c.size(), room), asText) << "room " << room;
        }
        // Room for any text of these contents: the arcs are read without a limit.
        const std::size_t room = 4 * c.size() + 8;
        std::vector<char> text(room + 1);
        std::size_t length = 0;
        const bool asText = OidBerToText(text.data(), room, c.data(), c.size(), length);
        std::vector<std::uint64_t> arcs = {99};
        ASSERT_EQ(OidBerToArcs(c.data(), c.size(), arcs), asText);
        if (!asText) continue;
        std::string joined;
        for (const std::uint64_t arc : arcs) {
            if (!joined.empty()) joined += '.';
            joined += std::to_string(arc);
        }
        EXPECT_EQ(joined, std::string(text.data(), length));
        // After the first sub-identifier each one is an arc of its own.
        if (c.size() > 1) {
            std::vector<std::uint64_t> rest;
            ASSERT_TRUE(SubidentifiersToArcs(c.data() + 1, c.size() - 1, rest));
            EXPECT_TRUE(std::equal(rest.begin(), rest.end(), arcs.begin() + 2, arcs.end()));
        }
    }
    std::vector<std::uint64_t> arcs = {7};
    EXPECT_FALSE(SubidentifiersToArcs(Hex("01 86").data(), 2, arcs));
    EXPECT_TRUE(arcs.empty());
    EXPECT_FALSE(SubidentifiersToArcs(Hex("90 80 80 80 00").data(), 5, arcs));
}

}  // namespace
}  // namespace snmphelper
