// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/json_output.h"

#include <cstdint>
#include <cstdio>
#include <exception>

#include "tools/cli/utf8_text.h"
#include "transact/ascii_rewrite.h"

namespace snmphelper::cli {

Json JsonText(const std::string &octets) { return Json(EscapeInvalidUtf8(octets)); }

Json JsonHex(const std::string &octets) {
    std::string text(2 * octets.size() + 1, '\0');
    HexEncode(text.data(), reinterpret_cast<const std::uint8_t *>(octets.data()), octets.size());
    text.pop_back();
    return Json{{"hex", text}};
}

std::string JsonLine(const Json &value) {
    // Texts that went through JsonText are valid UTF-8 already; one that did
    // not still comes out valid (U+FFFD for what is not), so writing never
    // throws, whatever a printer sent.
    try {
        return value.dump(-1, ' ', false, Json::error_handler_t::replace);
    } catch (const std::exception &) {  // out of memory: nothing sensible to write
        return "null";
    }
}

void PrintJson(const Json &value) { std::printf("%s\n", JsonLine(value).c_str()); }

}  // namespace snmphelper::cli
