/* SPDX-License-Identifier: Apache-2.0 */
// Printer MIB texts in UTF-8. A printer writes its descriptions and names in
// the character set of its current localization (RFC 3805
// prtLocalizationCharacterSet, an IANA MIBenum); many name none, and some
// name one their texts do not follow. Whatever arrives, what comes out is
// valid UTF-8 and nothing is dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace snmphelper::cli {

// The octets in UTF-8: converted from `characterSet` when it is one this
// system can convert; without one, or when the octets are not valid in it,
// kept when they are valid UTF-8, else read as ISO-8859-1; from a printer
// that names UTF-8, octets that are not are written \xHH. Trailing NUL
// octets and spaces, which printers pad fixed fields with, are cut.
std::string PrinterText(const std::string &octets, std::optional<std::int32_t> characterSet);

// The IANA name of a MIBenum ("UTF-8", "Shift_JIS"), or "MIBenum N".
std::string CharacterSetName(std::int32_t characterSet);

// Columns the UTF-8 text takes on a terminal (East Asian wide characters
// two, combining marks none); and the text cut to at most `columns`
// columns on a character boundary.
std::size_t DisplayWidth(const std::string &utf8);
std::string CutToWidth(const std::string &utf8, std::size_t columns);

// Platform conversion (printer_text_posix.cpp: iconv; printer_text_win.cpp:
// the code page): false when the system cannot convert the set or the
// octets are not valid in it.
bool ConvertToUtf8(const std::string &octets, const char *iconvName, unsigned codePage, std::string &utf8);

}  // namespace snmphelper::cli
