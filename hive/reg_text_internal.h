/* SPDX-License-Identifier: Apache-2.0 */
// What the reader and the writer of the regedit text share: the format's
// constants and its text conversions. Only for hive/reg_text*.cpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hive/reg_text.h"

namespace snmphelper::platform::regtext::detail {

inline constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";

inline constexpr std::string_view kHeaderVersion4 = "REGEDIT4";

inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

inline constexpr std::size_t kMaxKeyNameLength = 255;

inline constexpr std::size_t kMaxValueNameLength = 16383;

// regedit breaks hex lists so that no line passes 80 columns.
inline constexpr std::size_t kHexLineWidth = 77;

// The helpers below run for every line of a hive: inline, so that the
// reader's loop has them in place.

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

inline std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

inline std::string_view Trim(std::string_view text) {
    text = TrimLeft(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && NamesEqual(text.substr(0, prefix.size()), prefix);
}

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Where the next '"' or '\\' is at or after `from`: the octets a quoted text
// escapes. npos when none.
inline std::size_t FindQuoteOrBackslash(std::string_view text, std::size_t from) {
    for (std::size_t at = from; at < text.size(); ++at) {
        if (text[at] == '"' || text[at] == '\\') return at;
    }
    return std::string_view::npos;
}

void AppendUtf8(std::string &out, std::uint32_t codePoint);

// Decodes one UTF-8 sequence at `text[at]`; false for anything malformed,
// overlong, a surrogate or beyond U+10FFFF.
bool NextCodePoint(std::string_view text, std::size_t &at, std::uint32_t &codePoint);

// UTF-16LE (as Windows stores text) to UTF-8; false for an odd byte count or
// an unpaired surrogate.
bool Utf16LeToUtf8(const std::uint8_t *bytes, std::size_t count, std::string &out);

void AppendUtf16Unit(std::vector<std::uint8_t> &out, std::uint32_t unit);

// UTF-8 to UTF-16LE. Bytes that are not UTF-8 (which the store never holds
// in a text value) are taken one by one as Latin-1, so writing never fails.
std::vector<std::uint8_t> Utf8ToUtf16Le(const std::vector<std::uint8_t> &data);

// ANSI exports (REGEDIT4) that are not UTF-8 are read as Latin-1.
std::string Latin1ToUtf8(std::string_view text);

// The names of `names` ("A\\B", no '\\' at the end) after the first `kept`
// of `components`, which are kept; false (and `components` emptied) for an
// empty or invalid name.
bool SplitKeyNames(std::string_view names, std::size_t kept, std::vector<std::string> &components);

}  // namespace snmphelper::platform::regtext::detail
