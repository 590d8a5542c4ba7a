// SPDX-License-Identifier: Apache-2.0
#include "tests/support/hex.h"

#include <cstdio>
#include <cstdlib>

namespace snmphelper::test {
namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::vector<std::uint8_t> Hex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\n') continue;
        const int digit = DigitValue(c);
        if (digit < 0) {
            std::fprintf(stderr, "bad hex vector: %.*s\n", static_cast<int>(text.size()), text.data());
            std::abort();
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) std::abort();
    return bytes;
}

std::string ToHex(const std::uint8_t *data, std::size_t length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i != 0) text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

}  // namespace snmphelper::test
