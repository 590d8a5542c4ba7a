// SPDX-License-Identifier: Apache-2.0
// Value text to typed value blocks: every item form, the cursor's walk, and
// bounded reading of malformed and cut lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/heap.h"
#include "snmphelper.h"
#include "tests/support/hex.h"
#include "transact/value_decoding.h"

namespace snmphelper {
namespace {

using namespace std::string_literals;
using test::ToHex;

constexpr std::int32_t kUntouchedType = -99;
constexpr std::uint32_t kUntouchedLength = 0xDEADBEEF;

struct Decoded {
    bool hasValue = false;
    std::string valueHex;  // the block's first valueLength octets
    std::int32_t type = kUntouchedType;
    std::uint32_t length = kUntouchedLength;
    std::ptrdiff_t cursorOffset = -1;  // -1: the cursor became null
};

// Decodes the first item of `text`, a buffer of exactly text.size() bytes.
Decoded DecodeFirst(std::vector<char> &text) {
    Decoded decoded;
    ValueListCursor cursor{text.data(), text.size()};
    std::uint8_t *value = DecodeValueItem(cursor, decoded.type, decoded.length);
    decoded.hasValue = value != nullptr;
    if (value != nullptr) decoded.valueHex = ToHex(value, decoded.length);
    if (cursor.position != nullptr) decoded.cursorOffset = cursor.position - text.data();
    platform::HeapFree(value);
    return decoded;
}

std::vector<char> Text(const std::string &text, bool terminated = true) {
    std::vector<char> buffer(text.begin(), text.end());
    if (terminated) buffer.push_back('\0');
    return buffer;
}

std::string HostOrder(std::uint32_t number) {
    std::uint8_t octets[4];
    std::memcpy(octets, &number, 4);
    return ToHex(octets, 4);
}

struct ItemCase {
    const char *name;
    std::string text;  // terminated in a buffer of its size + 1
    bool hasValue;
    std::string valueHex;
    std::int32_t type;
    std::uint32_t length;
    std::ptrdiff_t cursorOffset;  // -1: null
};

const std::vector<ItemCase> &ItemCases() {
    static const std::vector<ItemCase> cases = {
        {"integer", "1,42,9,", true, HostOrder(42), 1, 4, 5},
        {"negative integer", "1,-7", true, HostOrder(static_cast<std::uint32_t>(-7)), 1, 4, 4},
        {"counter at its maximum", "5,4294967295", true, "FF FF FF FF", 5, 4, 12},
        {"gauge wraps modulo 2^32", "6,4294967296", true, HostOrder(0), 6, 4, 12},
        {"timeticks with blanks and sign", "7, +4711,", true, HostOrder(4711), 7, 4, 9},
        {"number without digits", "1,abc,", true, HostOrder(0), 1, 4, 6},
        {"number stops at a non-digit", "1,12x4", true, HostOrder(12), 1, 4, 6},
        {"octet string", "2,3,abc,1,5", true, "61 62 63", 2, 3, 8},
        {"octet string with comma and zero byte", "2,3,a,\0,1"s, true, "61 2C 00",
         2, 3, 8},
        {"empty octet string", "2,0,,1,5", true, "", 2, 0, 5},
        {"octet string ending the list", "2,3,abc", true, "61 62 63", 2, 3, 7},
        {"ip address", "3,192.168.1.20,1,5", true, "C0 A8 01 14", 3, 4, 15},
        {"ip address that is none", "3,300.1.1.1", true, "FF FF FF FF", 3, 4, 11},
        {"object identifier", "8,1.3.6.1,1,5", true, "31 2E 33 2E 36 2E 31", 8, 7, 10},
        {"object identifier ending the list", "8,1.3.6.1.2.1.1.5.0", true,
         "31 2E 33 2E 36 2E 31 2E 32 2E 31 2E 31 2E 35 2E 30", 8, 17, 19},
        {"raw 10: six octets", "10,ABCDEF,1", true, "41 42 43 44 45 46", 2, 6, 10},
        {"raw 11: three octets", "11,a,b,1", true, "61 2C 62", 2, 3, 7},
        {"raw 12: two octets", "12,xy", true, "78 79", 2, 2, -1},
        {"raw 13: six octets", "13,123456,", true, "31 32 33 34 35 36", 2, 6, 10},
        {"raw 14: four octets", "14,wxyz,", true, "77 78 79 7A", 2, 4, 8},
        {"raw 15: ten octets ending the list", "15,0123456789", true,
         "30 31 32 33 34 35 36 37 38 39", 2, 10, -1},
        {"null carries no value", "9,1,5", false, "", 9, kUntouchedLength, 2},
        {"opaque carries no value", "4,1,5", false, "", 4, kUntouchedLength, 2},
        {"unknown code carries no value", "77,1,5", false, "", 77, kUntouchedLength, 3},
        {"no comma at all", "42", false, "", kUntouchedType, kUntouchedLength, 0},
        {"empty list", "", false, "", kUntouchedType, kUntouchedLength, 0},
        {"octet string without its length comma", "2,3", false, "", 2, kUntouchedLength, 0},
        {"octet string longer than the text", "2,10,abc", false, "", 2, kUntouchedLength, 0},
        {"negative octet string length", "2,-1,abc", false, "", 2, kUntouchedLength, 0},
        {"raw item shorter than its size", "15,abc", false, "", 15, kUntouchedLength, 0},
    };
    return cases;
}

TEST(ValueDecoding, EveryItemForm) {
    for (const ItemCase &item : ItemCases()) {
        std::vector<char> text = Text(item.text);
        const Decoded decoded = DecodeFirst(text);
        EXPECT_EQ(decoded.hasValue, item.hasValue) << item.name;
        EXPECT_EQ(decoded.valueHex, item.valueHex) << item.name;
        EXPECT_EQ(decoded.type, item.type) << item.name;
        EXPECT_EQ(decoded.length, item.length) << item.name;
        EXPECT_EQ(decoded.cursorOffset, item.cursorOffset) << item.name;
    }
}

// The export walks the same list as the internal function, the caller's
// text split in place.
TEST(ValueDecoding, ExportWalksAListItemByItem) {
    char list[] = "1,42,2,3,abc,3,192.168.1.20";
    char *cursor = list;
    std::int32_t type = 0;
    std::uint32_t length = 0;

    std::uint8_t *value = HelperDecodeValue(&cursor, &type, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(ToHex(value, length), HostOrder(42));
    HelperFreeBlock(value);

    value = HelperDecodeValue(&cursor, &type, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(length, 3u);
    EXPECT_STREQ(reinterpret_cast<char *>(value), "abc");  // followed by a zero byte
    HelperFreeBlock(value);

    value = HelperDecodeValue(&cursor, &type, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(ToHex(value, length), "C0 A8 01 14");
    HelperFreeBlock(value);

    // The separators became zero bytes; the cursor rests on the terminator,
    // so asking for more reads nothing past the list.
    EXPECT_EQ(std::memcmp(list, "1\0" "42\0" "2\0" "3\0" "abc\0" "3\0" "192.168.1.20", sizeof list), 0);
    EXPECT_EQ(cursor, list + sizeof list - 1);
    type = 55;
    EXPECT_EQ(HelperDecodeValue(&cursor, &type, &length), nullptr);
    EXPECT_EQ(cursor, list + sizeof list - 1);
    EXPECT_EQ(type, 55);
}

TEST(ValueDecoding, ItemWithoutValueLetsTheNextItemStartRightAfterIt) {
    char list[] = "9,1,5";
    char *cursor = list;
    std::int32_t type = 0;
    std::uint32_t length = 0;
    EXPECT_EQ(HelperDecodeValue(&cursor, &type, &length), nullptr);
    EXPECT_EQ(type, 9);
    std::uint8_t *value = HelperDecodeValue(&cursor, &type, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(ToHex(value, length), HostOrder(5));
    HelperFreeBlock(value);
}

TEST(ValueDecoding, RawItemEndingTheListNullsTheCursor) {
    char list[] = "14,abcd";
    char *cursor = list;
    std::int32_t type = 0;
    std::uint32_t length = 0;
    std::uint8_t *value = HelperDecodeValue(&cursor, &type, &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(cursor, nullptr);
    HelperFreeBlock(value);
    // A null cursor is the end of the list.
    EXPECT_EQ(HelperDecodeValue(&cursor, &type, &length), nullptr);
}

TEST(ValueDecoding, ExportRefusesNullArguments) {
    char list[] = "1,5";
    char *cursor = list;
    std::int32_t type = 0;
    std::uint32_t length = 0;
    EXPECT_EQ(HelperDecodeValue(nullptr, &type, &length), nullptr);
    EXPECT_EQ(HelperDecodeValue(&cursor, nullptr, &length), nullptr);
    EXPECT_EQ(HelperDecodeValue(&cursor, &type, nullptr), nullptr);
    EXPECT_EQ(cursor, list);
    EXPECT_STREQ(list, "1,5");
}

TEST(ValueDecoding, FailedAllocationStillStoresTypeAndLength) {
    std::vector<char> text = Text("2,3,abc");
    platform::HeapFailNthAllocation(1);
    const Decoded decoded = DecodeFirst(text);
    platform::HeapFailNthAllocation(0);
    EXPECT_FALSE(decoded.hasValue);
    EXPECT_EQ(decoded.type, 2);
    EXPECT_EQ(decoded.length, 3u);
}

TEST(ValueDecoding, DecimalConversion) {
    const struct {
        const char *text;
        std::uint32_t number;
    } cases[] = {
        {"0", 0},           {"42", 42},          {" \t42", 42},         {"+42", 42},
        {"-1", 0xFFFFFFFF}, {"-2147483648", 0x80000000}, {"4294967295", 0xFFFFFFFF},
        {"4294967297", 1},  {"12abc", 12},       {"abc", 0},            {"", 0},
        {"-", 0},           {"--5", 0},          {"99999999999999999999", 0x630FFFFF},
    };
    for (const auto &item : cases) {
        EXPECT_EQ(ParseDecimal(item.text, std::strlen(item.text)), item.number) << item.text;
    }
    // The length bounds the text: nothing past it is read.
    EXPECT_EQ(ParseDecimal("12345", 2), 12u);
}

// Every cut of a good list, in a buffer that ends exactly there and has no
// terminator, is decoded without reading past the buffer (the sanitizer
// build checks the reads), and never yields more items than the full list.
TEST(ValueDecoding, CutListsAreReadOnlyWithinTheirBuffer) {
    const std::string full = "1,42,2,3,a,\0,3,10.0.0.1,8,1.3.6,15,0123456789,14,wxyz,9,"s;
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        std::vector<char> text(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        ValueListCursor cursor{text.data(), text.size()};
        int items = 0;
        for (int call = 0; call < 12 && cursor.position != nullptr; ++call) {
            std::int32_t type = 0;
            std::uint32_t length = 0;
            std::uint8_t *value = DecodeValueItem(cursor, type, length);
            if (value != nullptr) ++items;
            platform::HeapFree(value);
            if (cursor.position != nullptr) {
                ASSERT_GE(cursor.position, text.data()) << "cut " << cut;
                ASSERT_LE(cursor.position + cursor.remaining, text.data() + text.size()) << "cut " << cut;
            }
        }
        EXPECT_LE(items, 7) << "cut " << cut;
    }
}

// An OCTET STRING whose length claims more than its buffer holds is refused
// inside the library, where the buffer's size is known.
TEST(ValueDecoding, LengthBeyondTheBufferIsRefused) {
    std::vector<char> text = Text("2,200,abc", false);
    const Decoded decoded = DecodeFirst(text);
    EXPECT_FALSE(decoded.hasValue);
    EXPECT_EQ(decoded.cursorOffset, 0);
}

}  // namespace
}  // namespace snmphelper
