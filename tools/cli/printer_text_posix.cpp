// SPDX-License-Identifier: Apache-2.0
#include <iconv.h>

#include <cerrno>
#include <vector>

#include "tools/cli/printer_text.h"

namespace snmphelper::cli {

bool ConvertToUtf8(const std::string &octets, const char *iconvName, unsigned, std::string &utf8) {
    iconv_t converter = iconv_open("UTF-8", iconvName);
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = octets;
    char *in = input.data();
    std::size_t inLeft = input.size();
    std::vector<char> buffer(4 * input.size() + 16);
    char *out = buffer.data();
    std::size_t outLeft = buffer.size();
    // Every character of any set fits in four UTF-8 octets, so the buffer
    // never runs out; an invalid or cut sequence fails the conversion.
    const std::size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
    const bool ok = converted != static_cast<std::size_t>(-1) && inLeft == 0 &&
                    iconv(converter, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (ok) utf8.assign(buffer.data(), static_cast<std::size_t>(out - buffer.data()));
    return ok;
}

}  // namespace snmphelper::cli
