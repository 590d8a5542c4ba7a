// SPDX-License-Identifier: Apache-2.0
// Writing the regedit export format, as reg_text.h describes it.
#include "hive/reg_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "hive/reg_text_internal.h"
#include "platform/registry.h"

namespace snmphelper::platform::regtext {

using namespace detail;

namespace {

bool IsPlainText(const std::vector<std::uint8_t> &data) {
    if (data.empty() || data.back() != 0) return false;
    return std::none_of(data.begin(), data.end() - 1, [](std::uint8_t byte) {
        return byte == 0 || (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

void WriteQuoted(std::string &out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void WriteHexList(std::string &out, std::size_t column, const std::vector<std::uint8_t> &bytes) {
    static const char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (column + 3 > kHexLineWidth) {
            out += "\\\n  ";
            column = 2;
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
        }
    }
}

void WriteValue(std::string &out, const Value &value) {
    const std::size_t lineStart = out.size();
    if (value.name.empty()) {
        out += '@';
    } else {
        WriteQuoted(out, value.name);
    }
    out += '=';
    if (value.type == kRegSz && IsPlainText(value.data)) {
        WriteQuoted(out, std::string_view(reinterpret_cast<const char *>(value.data.data()),
                                          value.data.size() - 1));
    } else if (value.type == kRegDword && value.data.size() == 4) {
        char number[16];
        std::snprintf(number, sizeof number, "dword:%08x",
                      static_cast<unsigned>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                            (static_cast<std::uint32_t>(value.data[3]) << 24)));
        out += number;
    } else {
        if (value.type == kRegBinary) {
            out += "hex:";
        } else {
            char prefix[24];
            std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
            out += prefix;
        }
        WriteHexList(out, out.size() - lineStart,
                     IsTextType(value.type) ? Utf8ToUtf16Le(value.data) : value.data);
    }
    out += '\n';
}

void WriteKey(std::string &out, const Key &key, const std::string &path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += '[';
        out += kRootName;
        if (!path.empty()) {
            out += '\\';
            out += path;
        }
        out += "]\n";
        for (const Value &value : key.values) WriteValue(out, value);
        out += '\n';
    }
    for (const auto &subkey : key.subkeys) {
        WriteKey(out, *subkey, path.empty() ? subkey->name : path + '\\' + subkey->name, false);
    }
}

}  // namespace

std::string WriteRegText(const Key &key, const std::string &path) {
    std::string out(kHeaderVersion5);
    out += "\n\n";
    WriteKey(out, key, path, path.empty());
    return out;
}

}  // namespace snmphelper::platform::regtext
