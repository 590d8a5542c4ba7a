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
    // Whole runs between the octets to escape, which most texts have none of.
    for (;;) {
        const std::size_t special = FindQuoteOrBackslash(text, 0);
        out += text.substr(0, special);
        if (special == std::string_view::npos) break;
        out += '\\';
        out += text[special];
        text.remove_prefix(special + 1);
    }
    out += '"';
}

void AppendHexOctet(std::string &out, std::uint8_t octet) {
    static const char kDigits[] = "0123456789abcdef";
    out += kDigits[octet >> 4];
    out += kDigits[octet & 0x0F];
}

void WriteHexList(std::string &out, std::size_t column, const std::vector<std::uint8_t> &bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (column + 3 > kHexLineWidth) {
            out += "\\\n  ";
            column = 2;
        }
        AppendHexOctet(out, bytes[i]);
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
        // Most significant octet first, as regedit writes the number.
        out += "dword:";
        for (std::size_t i = 4; i-- > 0;) AppendHexOctet(out, value.data[i]);
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

// `path` is the key's; its subkeys' are made on it and taken off again.
void WriteKey(std::string &out, const Key &key, std::string &path, bool isRoot) {
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
        const std::size_t length = path.size();
        if (length != 0) path += '\\';
        path += subkey->name;
        WriteKey(out, *subkey, path, false);
        path.resize(length);
    }
}

}  // namespace

std::string WriteRegText(const Key &key, const std::string &path) {
    std::string out(kHeaderVersion5);
    out += "\n\n";
    std::string keyPath = path;
    WriteKey(out, key, keyPath, path.empty());
    return out;
}

}  // namespace snmphelper::platform::regtext
