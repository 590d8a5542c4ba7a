// SPDX-License-Identifier: Apache-2.0
// Sending-side BER: primitive elements, definite lengths, object identifier text.
#include "codec/ber_encode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "codec/ber_element.h"
#include "platform/heap.h"
#include "tests/support/heap_faults.h"
#include "tests/support/hex.h"

namespace snmphelper {
namespace {

using test::Hex;
using test::ToHex;

constexpr std::uint8_t kSentinel = 0xEE;

// Renders and releases `element`; the hex of the item, or "refused".
std::string Rendered(BerElement *element) {
    if (element == nullptr) return "refused";
    std::vector<std::uint8_t> buffer(40000, kSentinel);
    const int written =
        BerElementRender(element, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    BerElementRelease(element);
    if (written < 0) return "render failed";
    return ToHex(buffer.data(), static_cast<std::size_t>(written));
}

struct IntegerCase {
    std::int64_t value;
    bool isSigned;
    const char *item;  // identifier, length, contents
};

TEST(BerElement, IntegersRenderShortestForm) {
    const IntegerCase cases[] = {
        {0, true, "02 01 00"},
        {127, true, "02 01 7F"},
        {128, true, "02 02 00 80"},  // 00 keeps it positive
        {256, true, "02 02 01 00"},
        {2147483647, true, "02 04 7F FF FF FF"},
        {-1, true, "02 01 FF"},
        {-128, true, "02 01 80"},
        {-129, true, "02 02 FF 7F"},  // FF keeps it negative
        {-256, true, "02 02 FF 00"},
        {-257, true, "02 02 FE FF"},
        {-2147483648LL, true, "02 04 80 00 00 00"},
        {0, false, "41 01 00"},  // Counter, application 1
        {127, false, "41 01 7F"},
        {128, false, "41 02 00 80"},
        {256, false, "41 02 01 00"},
        {4294967295LL, false, "41 05 00 FF FF FF FF"},
    };
    for (const IntegerCase &c : cases) {
        BerElement *element =
            c.isSigned
                ? BerElementFromSigned(BerClass::Universal, 2, static_cast<std::int32_t>(c.value))
                : BerElementFromUnsigned(BerClass::Application, 1,
                                         static_cast<std::uint32_t>(c.value));
        EXPECT_EQ(Rendered(element), c.item) << c.value;
    }
}

TEST(BerElement, OctetsUseShortestDefiniteLength) {
    struct Case {
        std::uint32_t n;
        const char *head;  // identifier and length octets
    };
    const Case cases[] = {
        {0, "04 00"},      {127, "04 7F"},       {128, "04 81 80"},    {200, "04 81 C8"},
        {255, "04 81 FF"}, {256, "04 82 01 00"}, {300, "04 82 01 2C"}, {32767, "04 82 7F FF"},
    };
    for (const Case &c : cases) {
        std::vector<std::uint8_t> contents(c.n);
        for (std::uint32_t i = 0; i < c.n; ++i) contents[i] = static_cast<std::uint8_t>(i);
        std::vector<std::uint8_t> expected = Hex(c.head);
        expected.insert(expected.end(), contents.begin(), contents.end());
        EXPECT_EQ(Rendered(BerElementFromBytes(BerClass::Universal, 4, contents.data(), c.n)),
                  ToHex(expected))
            << c.n;
    }
}

TEST(BerElement, RefusesWhatItCannotHold) {
    std::vector<std::uint8_t> big(32768, 0x41);
    EXPECT_EQ(BerElementFromBytes(BerClass::Universal, 4, big.data(), 32768), nullptr);
    EXPECT_EQ(BerElementFromBytes(BerClass::Universal, 4, nullptr, 1), nullptr);
    EXPECT_EQ(BerElementFromBytes(BerClass::Universal, 31, big.data(), 1),
              nullptr);  // high-tag form
    EXPECT_EQ(Rendered(BerElementFromBytes(BerClass::Universal, 5, nullptr, 0)), "05 00");
    EXPECT_EQ(Rendered(BerElementFromBytes(BerClass::Application, 4, big.data(), 2)),
              "44 02 41 41");
}

TEST(BerElement, ObjectIdentifierNeedsFinishedSubidentifiers) {
    const std::vector<std::uint8_t> good = Hex("2B 06 01 81 48");
    EXPECT_EQ(Rendered(BerElementFromOid(BerClass::Universal, 6, good.data(), 5)),
              "06 05 2B 06 01 81 48");
    const std::vector<std::uint8_t> unfinished = Hex("2B 06 81");
    EXPECT_EQ(BerElementFromOid(BerClass::Universal, 6, unfinished.data(), 3), nullptr);
    // No sub-identifier at all is not an object identifier; nothing is read.
    EXPECT_EQ(BerElementFromOid(BerClass::Universal, 6, good.data(), 0), nullptr);
    EXPECT_EQ(BerElementFromOid(BerClass::Universal, 6, nullptr, 0), nullptr);
}

TEST(BerElement, RenderChecksRoomAtEveryField) {
    std::vector<std::uint8_t> contents(200, 0x61);
    BerElement *element = BerElementFromBytes(BerClass::Universal, 4, contents.data(), 200);
    ASSERT_NE(element, nullptr);
    // 1 identifier + 2 length + 200 contents.
    for (std::uint32_t room = 0; room < 203; ++room) {
        std::vector<std::uint8_t> buffer(300, kSentinel);
        EXPECT_EQ(BerElementRender(element, buffer.data(), room), -1) << room;
        for (std::size_t i = room; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kSentinel) << room;
    }
    std::vector<std::uint8_t> buffer(203);
    EXPECT_EQ(BerElementRender(element, buffer.data(), 203), 203);
    EXPECT_EQ(BerElementRender(nullptr, buffer.data(), 203), -1);
    EXPECT_EQ(BerElementRender(element, nullptr, 203), -1);
    BerElementRelease(element);
    BerElementRelease(nullptr);
}

TEST(BerElement, OneAllocationPerElement) {
    test::HeapFaultGuard guard;
    const std::int64_t live = platform::HeapLiveBlocks();
    std::vector<std::uint8_t> contents(1000, 0x30);
    for (std::uint32_t n : {0u, 1u, 31u, 32u, 33u, 1000u}) {
        const std::uint64_t before = platform::HeapAllocationCount();
        BerElement *element = BerElementFromBytes(BerClass::Universal, 4, contents.data(), n);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(platform::HeapAllocationCount() - before, 1u);
        EXPECT_EQ(platform::HeapLiveBlocks(), live + 1);
        BerElementRelease(element);
        EXPECT_EQ(platform::HeapLiveBlocks(), live);
    }
    platform::HeapFailNthAllocation(1);
    EXPECT_EQ(BerElementFromSigned(BerClass::Universal, 2, 5), nullptr);
    EXPECT_EQ(platform::HeapLiveBlocks(), live);
}

TEST(EncodeLength, ShortestDefiniteForm) {
    struct Case {
        std::uint32_t length;
        const char *octets;
    };
    const Case cases[] = {
        {0, "00"},
        {127, "7F"},
        {128, "81 80"},
        {255, "81 FF"},
        {256, "82 01 00"},
        {65535, "82 FF FF"},
        {65536, "83 01 00 00"},
        {16777216, "84 01 00 00 00"},
        {4294967295u, "84 FF FF FF FF"},
    };
    for (const Case &c : cases) {
        const std::vector<std::uint8_t> expected = Hex(c.octets);
        const auto size = static_cast<std::uint32_t>(expected.size());
        EXPECT_EQ(LengthOfLength(c.length), size) << c.length;

        std::uint8_t buffer[8];
        std::fill(std::begin(buffer), std::end(buffer), kSentinel);
        ASSERT_EQ(EncodeLength(c.length, buffer, size), size) << c.length;
        EXPECT_EQ(ToHex(buffer, size), c.octets);
        EXPECT_EQ(buffer[size], kSentinel);

        // One octet short: nothing written.
        std::fill(std::begin(buffer), std::end(buffer), kSentinel);
        EXPECT_EQ(EncodeLength(c.length, buffer, size - 1), 0u) << c.length;
        for (std::uint8_t octet : buffer) EXPECT_EQ(octet, kSentinel);
    }
    std::uint8_t buffer[2] = {kSentinel, kSentinel};
    EXPECT_EQ(EncodeLength(200, buffer, 1), 0u);
    EXPECT_EQ(buffer[0], kSentinel);
    EXPECT_EQ(EncodeLength(5, nullptr, 4), 0u);
}

struct OidCase {
    const char *text;
    const char *contents;  // expected octets, or nullptr when refused
};

TEST(OidTextToBer, ConvertsAndRefuses) {
    const OidCase cases[] = {
        {"1.3.6.1.2.1.200", "2B 06 01 02 01 81 48"},
        {"1.3.6.1.2.1.1.1.0", "2B 06 01 02 01 01 01 00"},
        {"", ""},     // no octets
        {"1", "28"},  // one arc X stands for X.0
        {"1.3", "2B"},
        {"2.39", "77"},
        {"3.7", "7F"},  // first pair up to one octet
        {"0.0", "00"},
        {"1.3.127.128.16383.16384", "2B 7F 81 00 FF 7F 81 80 00"},
        {"1.3.4294967295", "2B 8F FF FF FF 7F"},  // largest arc
        {"1..3", "28 03"},                        // empty arc counts as 0
        {"1.3.", "2B 00"},                        // trailing dot adds a 0 arc
        {".1.3", "01 03"},                        // leading dot: first arc 0
        {"1.3.x", nullptr},
        {"1.3.6 ", nullptr},
        {"-1.3", nullptr},
        {"2.40", nullptr},  // second arc above 39
        {"4.0", nullptr},   // first pair above 127
        {"4", nullptr},
        {"1.3.4294967296", nullptr},  // arc wider than 32 bits
        {"1.3.99999999999999999999", nullptr},
        {"4294967296.1", nullptr},
        {"107374183.1", nullptr},  // first x 40 wraps 32 bits
    };
    for (const OidCase &c : cases) {
        std::uint8_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), kSentinel);
        const int written = OidTextToBer(buffer, 32, c.text);
        if (c.contents == nullptr) {
            EXPECT_EQ(written, -1) << c.text;
            continue;
        }
        ASSERT_GE(written, 0) << c.text;
        EXPECT_EQ(ToHex(buffer, static_cast<std::size_t>(written)), c.contents) << c.text;
        EXPECT_EQ(buffer[written], kSentinel) << c.text;
    }
}

TEST(OidTextToBer, StaysWithinRoom) {
    const char *text = "1.3.6.1.2.1.200";  // 7 octets, the last sub-identifier two
    for (int room = 0; room < 7; ++room) {
        std::uint8_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), kSentinel);
        EXPECT_EQ(OidTextToBer(buffer, room, text), -1) << room;
        for (int i = room; i < 16; ++i) ASSERT_EQ(buffer[i], kSentinel) << room;
    }
    std::uint8_t buffer[7];
    EXPECT_EQ(OidTextToBer(buffer, 7, text), 7);
    EXPECT_EQ(OidTextToBer(buffer, -1, text), -1);
    EXPECT_EQ(OidTextToBer(buffer, 7, nullptr), -1);
    EXPECT_EQ(OidTextToBer(nullptr, 7, text), -1);
    EXPECT_EQ(OidTextToBer(nullptr, 0, ""), 0);
}

}  // namespace
}  // namespace snmphelper
