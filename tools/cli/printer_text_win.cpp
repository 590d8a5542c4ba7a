// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <vector>

#include "tools/cli/printer_text.h"

namespace snmphelper::cli {

bool ConvertToUtf8(const std::string &octets, const char *, unsigned codePage, std::string &utf8) {
    if (codePage == 0 || octets.empty()) return codePage != 0;
    const int inLength = static_cast<int>(octets.size());
    const int wide = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, octets.data(), inLength, nullptr, 0);
    if (wide <= 0) return false;
    std::vector<wchar_t> text(static_cast<std::size_t>(wide));
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, octets.data(), inLength, text.data(), wide) != wide)
        return false;
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    utf8.resize(static_cast<std::size_t>(length));
    return WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data(), length, nullptr, nullptr) == length;
}

}  // namespace snmphelper::cli
