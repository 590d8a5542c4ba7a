// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/utf8_text.h"

#include <cstdint>
#include <cstdio>

namespace snmphelper::cli {
namespace {

// Length of the well-formed sequence starting at `at`, or 0.
std::size_t SequenceLength(const std::string &octets, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(octets[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (octets.size() - at < length) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

bool IsValidUtf8(const std::string &octets) {
    for (std::size_t at = 0; at < octets.size();) {
        const std::size_t length = SequenceLength(octets, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string EscapeInvalidUtf8(const std::string &octets) {
    if (IsValidUtf8(octets)) return octets;
    std::string text;
    for (std::size_t at = 0; at < octets.size();) {
        const std::size_t length = SequenceLength(octets, at);
        if (length == 0) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<std::uint8_t>(octets[at])));
            text += escaped;
            ++at;
            continue;
        }
        if (octets[at] == '\\') text += '\\';
        text.append(octets, at, length);
        at += length;
    }
    return text;
}

}  // namespace snmphelper::cli
