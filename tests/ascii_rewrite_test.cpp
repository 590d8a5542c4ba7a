// SPDX-License-Identifier: Apache-2.0
// The printable rewrite of a value text: OCTET STRING items as hex digits,
// everything else unchanged, never past the work area or the caller's room.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "transact/ascii_rewrite.h"

namespace snmphelper {
namespace {

using namespace std::string_literals;

// Rewrites `text` in a buffer of exactly `room` bytes (the text, its
// terminator, then '#' filler); returns the buffer's text afterwards.
std::string Rewrite(const std::string &text, std::size_t room, bool *rewritten = nullptr) {
    std::vector<char> buffer(room, '#');
    std::copy(text.begin(), text.end(), buffer.begin());
    if (text.size() < room) buffer[text.size()] = '\0';
    const bool result = RewriteOctetStringsAsHex(buffer.data(), static_cast<std::uint32_t>(room));
    if (rewritten != nullptr) *rewritten = result;
    return std::string(buffer.data(), std::find(buffer.begin(), buffer.end(), '\0') - buffer.begin());
}

TEST(HexEncode, TwoUpperCaseDigitsPerOctetHighHalfFirst) {
    const std::uint8_t bytes[] = {0x00, 0x2C, 0xFF, 0xA5, 0x0F};
    char text[11];
    std::fill(std::begin(text), std::end(text), '#');
    HexEncode(text, bytes, sizeof bytes);
    EXPECT_STREQ(text, "002CFFA50F");
    HexEncode(text, bytes, 0);
    EXPECT_STREQ(text, "");
}

TEST(AsciiRewrite, ItemForms) {
    const struct {
        const char *name;
        std::string text;
        std::string rewritten;
    } cases[] = {
        {"octet string then integer", "2,3,abc,1,42", "2,6,616263,1,42"},
        {"zero byte and comma in the data", "2,3,\0,\xFF"s, "2,6,002CFF"},
        {"no octet string, digit 2 in values", "1,123,7,4711", "1,123,7,4711"},
        {"empty octet string ending the text", "2,0,", "2,0,"},
        {"empty octet string in the middle", "2,0,,1,5", "2,0,,1,5"},
        {"two octet strings", "2,1,a,2,2,bc", "2,2,61,2,4,6263"},
        {"other types around", "8,1.3.6.1,2,1,\x01,3,10.0.0.1,6,4294967295",
         "8,1.3.6.1,2,2,01,3,10.0.0.1,6,4294967295"},
        {"type field 22 is not an octet string", "22,3,abc", "22,3,abc"},
        {"empty text", "", ""},
    };
    for (const auto &item : cases) {
        bool rewritten = false;
        EXPECT_EQ(Rewrite(item.text, 64, &rewritten), item.rewritten) << item.name;
        EXPECT_TRUE(rewritten) << item.name;
    }
}

// The work area holds 511 characters and a terminator; a longer result is
// refused whole, leaving the caller's text as it was.
TEST(AsciiRewrite, WorkAreaBoundary) {
    const std::string fits = "2,252," + std::string(252, 'z');   // 2,504, + 504 digits = 510
    const std::string tooLong = "2,253," + std::string(253, 'z');  // 2,506, + 506 digits = 512
    bool rewritten = false;
    EXPECT_EQ(Rewrite(fits, 1024, &rewritten).size(), 510u);
    EXPECT_TRUE(rewritten);
    EXPECT_EQ(Rewrite(tooLong, 1024, &rewritten), tooLong);
    EXPECT_FALSE(rewritten);

    // "1,123456," 9 + "2,492," 6 + 492 digits + ",1,9" 4 = 511 characters.
    const std::string exactly511 = "1,123456,2,246," + std::string(246, 'z') + ",1,9";
    EXPECT_EQ(Rewrite(exactly511, 1024, &rewritten).size(), 511u);
    EXPECT_TRUE(rewritten);
    const std::string exactly512 = "1,1234567,2,246," + std::string(246, 'z') + ",1,9";
    EXPECT_EQ(Rewrite(exactly512, 1024, &rewritten), exactly512);
    EXPECT_FALSE(rewritten);
}

// The caller's room bounds the result too: "2,3,abc" needs 11 bytes as hex.
TEST(AsciiRewrite, CallersRoomBoundary) {
    bool rewritten = false;
    EXPECT_EQ(Rewrite("2,3,abc", 11, &rewritten), "2,6,616263");
    EXPECT_TRUE(rewritten);
    EXPECT_EQ(Rewrite("2,3,abc", 10, &rewritten), "2,3,abc");
    EXPECT_FALSE(rewritten);
}

TEST(AsciiRewrite, MalformedOctetStringsAreLeftAsTheyAre) {
    const struct {
        const char *name;
        std::string text;
        std::size_t room;
    } cases[] = {
        {"length not a number", "2,x,abc", 32},
        {"no comma after the length", "2,3", 32},
        {"empty length", "2,,abc", 32},
        {"length past the buffer", "2,9,abc", 8},
        {"length of eleven digits", "2,00000000003,abc", 32},
    };
    for (const auto &item : cases) {
        bool rewritten = true;
        EXPECT_EQ(Rewrite(item.text, item.room, &rewritten), item.text) << item.name;
        EXPECT_FALSE(rewritten) << item.name;
    }
}

// A buffer that holds no terminator (what a caller left when a transaction
// wrote no values) is read only up to its room.
TEST(AsciiRewrite, UnterminatedBufferIsReadOnlyUpToItsRoom) {
    bool rewritten = true;
    std::vector<char> buffer = {'1', ',', '4', '2', ',', '7', ',', '9'};
    EXPECT_FALSE(RewriteOctetStringsAsHex(buffer.data(), static_cast<std::uint32_t>(buffer.size())));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "1,42,7,9");

    std::vector<char> data = {'2', ',', '2', ',', 'a', 'b'};
    EXPECT_FALSE(RewriteOctetStringsAsHex(data.data(), static_cast<std::uint32_t>(data.size())));
    EXPECT_EQ(Rewrite("2,1,a", 5, &rewritten), "2,1,a");  // "2,2,61" does not fit 5 bytes
    EXPECT_FALSE(rewritten);
    EXPECT_FALSE(RewriteOctetStringsAsHex(nullptr, 10));
    EXPECT_FALSE(RewriteOctetStringsAsHex(data.data(), 0));
}

}  // namespace
}  // namespace snmphelper
