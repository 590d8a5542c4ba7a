// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/printer_text.h"

#include <cstddef>

#include "hive/reg_text_internal.h"
#include "tools/cli/utf8_text.h"

namespace snmphelper::cli {
namespace {

// IANA character sets (MIBenum) printers name, with the iconv name and the
// Windows code page of each; 0 where Windows has none.
struct CharacterSet {
    std::int32_t mibEnum;
    const char *name;       // IANA
    const char *iconvName;  // glibc iconv
    unsigned codePage;
};
constexpr CharacterSet kCharacterSets[] = {
    {3, "US-ASCII", "US-ASCII", 20127},       {4, "ISO-8859-1", "ISO-8859-1", 28591},
    {36, "KS_C_5601-1987", "CP949", 949},     {2004, "hp-roman8", "HP-ROMAN8", 0},
    {2109, "windows-874", "CP874", 874},
    {5, "ISO-8859-2", "ISO-8859-2", 28592},   {6, "ISO-8859-3", "ISO-8859-3", 28593},
    {7, "ISO-8859-4", "ISO-8859-4", 28594},   {8, "ISO-8859-5", "ISO-8859-5", 28595},
    {9, "ISO-8859-6", "ISO-8859-6", 28596},   {10, "ISO-8859-7", "ISO-8859-7", 28597},
    {11, "ISO-8859-8", "ISO-8859-8", 28598},  {12, "ISO-8859-9", "ISO-8859-9", 28599},
    {13, "ISO-8859-10", "ISO-8859-10", 0},    {17, "Shift_JIS", "SHIFT_JIS", 932},
    {18, "EUC-JP", "EUC-JP", 20932},          {38, "EUC-KR", "EUC-KR", 51949},
    {39, "ISO-2022-JP", "ISO-2022-JP", 50220}, {106, "UTF-8", "UTF-8", 65001},
    {109, "ISO-8859-13", "ISO-8859-13", 28603}, {110, "ISO-8859-14", "ISO-8859-14", 0},
    {111, "ISO-8859-15", "ISO-8859-15", 28605}, {112, "ISO-8859-16", "ISO-8859-16", 0},
    {113, "GBK", "GBK", 936},                 {114, "GB18030", "GB18030", 54936},
    {1000, "ISO-10646-UCS-2", "UCS-2BE", 0},  {1013, "UTF-16BE", "UTF-16BE", 0},
    {1014, "UTF-16LE", "UTF-16LE", 0},        {1015, "UTF-16", "UTF-16", 0},
    {2025, "GB2312", "GB2312", 936},          {2026, "Big5", "BIG5", 950},
    {2084, "KOI8-R", "KOI8-R", 20866},        {2088, "KOI8-U", "KOI8-U", 21866},
    {2009, "IBM850", "IBM850", 850},          {2010, "IBM852", "IBM852", 852},
    {2011, "IBM437", "IBM437", 437},          {2250, "windows-1250", "CP1250", 1250},
    {2251, "windows-1251", "CP1251", 1251},   {2252, "windows-1252", "CP1252", 1252},
    {2253, "windows-1253", "CP1253", 1253},   {2254, "windows-1254", "CP1254", 1254},
    {2255, "windows-1255", "CP1255", 1255},   {2256, "windows-1256", "CP1256", 1256},
    {2257, "windows-1257", "CP1257", 1257},   {2258, "windows-1258", "CP1258", 1258},
};

const CharacterSet *FindSet(std::int32_t mibEnum) {
    for (const CharacterSet &set : kCharacterSets) {
        if (set.mibEnum == mibEnum) return &set;
    }
    return nullptr;
}

std::size_t CodePointWidth(std::uint32_t code) {
    if ((code >= 0x0300 && code <= 0x036F) || code == 0x200B) return 0;  // combining marks
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
    return wide ? 2 : 1;
}

// The columns of the character at `at`, which it passes; an octet that is
// not UTF-8 (PrinterText never leaves one) counts one.
std::size_t NextWidth(const std::string &utf8, std::size_t &at) {
    std::uint32_t code = 0;
    if (platform::regtext::detail::NextCodePoint(utf8, at, code)) return CodePointWidth(code);
    ++at;
    return 1;
}

std::string TrimPadding(std::string text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

std::string PrinterText(const std::string &octets, std::optional<std::int32_t> characterSet) {
    const std::string trimmed = TrimPadding(octets);
    const CharacterSet *set = characterSet ? FindSet(*characterSet) : nullptr;
    // ASCII and UTF-8 texts need no conversion; printers that name ASCII
    // often send Latin-1 or UTF-8 anyway, which the fallback below reads.
    if (set != nullptr && set->mibEnum != 3 && set->mibEnum != 106) {
        std::string converted;
        if (ConvertToUtf8(trimmed, set->iconvName, set->codePage, converted) && IsValidUtf8(converted)) {
            return TrimPadding(converted);
        }
    }
    if (IsValidUtf8(trimmed)) return trimmed;
    // A printer that names UTF-8 and sends something else: its octets are
    // shown as \xHH rather than guessed at.
    if (set != nullptr && set->mibEnum == 106) return EscapeInvalidUtf8(trimmed);
    return platform::regtext::detail::Latin1ToUtf8(trimmed);
}

std::string CharacterSetName(std::int32_t characterSet) {
    const CharacterSet *set = FindSet(characterSet);
    return set != nullptr ? set->name : "MIBenum " + std::to_string(characterSet);
}

std::size_t DisplayWidth(const std::string &utf8) {
    std::size_t width = 0;
    for (std::size_t at = 0; at < utf8.size();) width += NextWidth(utf8, at);
    return width;
}

std::string CutToWidth(const std::string &utf8, std::size_t columns) {
    std::size_t width = 0;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t start = at;
        width += NextWidth(utf8, at);
        if (width > columns) return utf8.substr(0, start);
    }
    return utf8;
}

}  // namespace snmphelper::cli
