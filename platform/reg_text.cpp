// Reading and writing the regedit export format. What is accepted and what
// is written is described in reg_text.h.
#include "platform/reg_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/registry.h"

namespace snmphelper::platform::regtext {
namespace {

constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderVersion4 = "REGEDIT4";
constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
// regedit breaks hex lists so that no line passes 80 columns.
constexpr std::size_t kHexLineWidth = 77;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

std::string_view Trim(std::string_view text) {
    text = TrimLeft(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && NamesEqual(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string &out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `text[at]`; false for anything malformed,
// overlong, a surrogate or beyond U+10FFFF.
bool NextCodePoint(std::string_view text, std::size_t &at, std::uint32_t &codePoint) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t extra = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        ++at;
        return true;
    }
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, codePoint = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, codePoint = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, codePoint = lead & 0x07u, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - at <= extra) return false;
    for (std::size_t i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return false;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return false;
    }
    at += extra + 1;
    return true;
}

// UTF-16LE (as Windows stores text) to UTF-8; false for an odd byte count or
// an unpaired surrogate.
bool Utf16LeToUtf8(const std::uint8_t *bytes, std::size_t count, std::string &out) {
    if (count % 2 != 0) return false;
    for (std::size_t i = 0; i < count; i += 2) {
        std::uint32_t unit = bytes[i] | (static_cast<std::uint32_t>(bytes[i + 1]) << 8);
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (count - i < 4) return false;
            const std::uint32_t low = bytes[i + 2] | (static_cast<std::uint32_t>(bytes[i + 3]) << 8);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, unit);
    }
    return true;
}

void AppendUtf16Unit(std::vector<std::uint8_t> &out, std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// UTF-8 to UTF-16LE. Bytes that are not UTF-8 (which the store never holds
// in a text value) are taken one by one as Latin-1, so writing never fails.
std::vector<std::uint8_t> Utf8ToUtf16Le(const std::vector<std::uint8_t> &data) {
    const std::string_view text(reinterpret_cast<const char *>(data.data()), data.size());
    std::vector<std::uint8_t> out;
    out.reserve(data.size() * 2);
    std::size_t at = 0;
    while (at < text.size()) {
        std::uint32_t codePoint = 0;
        if (!NextCodePoint(text, at, codePoint)) {
            codePoint = static_cast<unsigned char>(text[at]);
            ++at;
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            AppendUtf16Unit(out, 0xD800 + (codePoint >> 10));
            AppendUtf16Unit(out, 0xDC00 + (codePoint & 0x3FF));
        } else {
            AppendUtf16Unit(out, codePoint);
        }
    }
    return out;
}

// ANSI exports (REGEDIT4) that are not UTF-8 are read as Latin-1.
std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    for (char c : text) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string AtLine(std::size_t lineNumber, std::string_view what) {
    return "line " + std::to_string(lineNumber) + ": " + std::string(what);
}

// The first line that is not blank, as raw bytes.
std::string_view FirstTextLine(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        if (!Trim(line).empty() || end == std::string_view::npos) return line;
        bytes.remove_prefix(end + 1);
    }
    return bytes;
}

// Where a file without a byte-order mark stops being UTF-8.
std::string NotUtf8Problem(std::string_view bytes) {
    std::size_t at = 0;
    std::uint32_t codePoint = 0;
    while (at < bytes.size() && NextCodePoint(bytes, at, codePoint)) {
    }
    const auto lineNumber = static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + at, '\n')) + 1;
    char octet[8];
    std::snprintf(octet, sizeof octet, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(bytes[at])));
    return AtLine(lineNumber, std::string("octet ") + octet +
                                  " is not UTF-8; a \"Windows Registry Editor Version 5.00\" file is UTF-16LE "
                                  "or UTF-8, only a \"REGEDIT4\" file may be ANSI (Latin-1)");
}

// The file's bytes as UTF-8 text.
bool DecodeFileText(std::string_view bytes, std::string &text, std::string &problem) {
    const auto *raw = reinterpret_cast<const std::uint8_t *>(bytes.data());
    if (bytes.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xFE) {
        if (!Utf16LeToUtf8(raw + 2, bytes.size() - 2, text)) {
            problem = "the file starts as UTF-16LE but is not valid UTF-16LE";
            return false;
        }
    } else if (bytes.size() >= 2 && raw[0] == 0xFE && raw[1] == 0xFF) {
        problem = "the file is UTF-16 big-endian; save it as UTF-16LE (as regedit does) or UTF-8";
        return false;
    } else if (bytes.size() >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF) {
        text.assign(bytes.substr(3));
        if (!IsValidUtf8(text)) {
            problem = "the file starts as UTF-8 but is not valid UTF-8";
            return false;
        }
    } else if (IsValidUtf8(bytes)) {
        text.assign(bytes);
    } else if (Trim(FirstTextLine(bytes)) == kHeaderVersion4) {
        text = Latin1ToUtf8(bytes);
    } else {
        // Only ANSI exports are anything but Unicode. Reading any other file
        // as Latin-1 would turn every UTF-8 name in it into another name,
        // because of one stray octet.
        problem = NotUtf8Problem(bytes);
        return false;
    }
    if (text.find('\0') != std::string::npos) {
        problem = "the file contains a NUL character";
        return false;
    }
    return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// A quoted string at the start of `text`: "\\" and "\"" are escapes, any
// other backslash stands for itself. `rest` receives what follows it.
bool ReadQuoted(std::string_view text, std::string &out, std::string_view &rest) {
    if (text.empty() || text.front() != '"') return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            rest = text.substr(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) ++i;
        out += text[i];
    }
    return false;
}

// Comma-separated hexadecimal bytes; one trailing comma is tolerated.
bool ReadHexBytes(std::string_view text, std::vector<std::uint8_t> &out) {
    text = Trim(text);
    if (text.empty()) return true;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view token = Trim(text.substr(0, comma));
        if (token.empty()) return comma == std::string_view::npos && !out.empty();
        if (token.size() > 2) return false;
        int byte = 0;
        for (char c : token) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            byte = byte * 16 + digit;
        }
        out.push_back(static_cast<std::uint8_t>(byte));
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

bool ReadHexNumber(std::string_view text, std::size_t maxDigits, std::uint32_t &number) {
    if (text.empty() || text.size() > maxDigits) return false;
    number = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

struct ValueLine {
    std::string name;
    bool remove = false;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Text-type data given in hex: UTF-16LE in version 5 files, ANSI in REGEDIT4.
bool HexTextToUtf8(std::vector<std::uint8_t> &data, bool unicodeFile) {
    std::string text;
    if (unicodeFile) {
        if (!Utf16LeToUtf8(data.data(), data.size(), text)) return false;
    } else {
        const std::string_view ansi(reinterpret_cast<const char *>(data.data()), data.size());
        text = IsValidUtf8(ansi) ? std::string(ansi) : Latin1ToUtf8(ansi);
    }
    data.assign(text.begin(), text.end());
    return true;
}

bool ReadValueData(std::string_view text, bool unicodeFile, ValueLine &value, std::string &why) {
    text = Trim(text);
    if (text == "-") {
        value.remove = true;
        return true;
    }
    if (!text.empty() && text.front() == '"') {
        std::string content;
        std::string_view rest;
        if (!ReadQuoted(text, content, rest)) {
            why = "the text value has no closing quote";
            return false;
        }
        if (!Trim(rest).empty()) {
            why = "unexpected characters after the text value";
            return false;
        }
        value.type = kRegSz;
        value.data.assign(content.begin(), content.end());
        value.data.push_back(0);
        return true;
    }
    if (StartsWithNoCase(text, "dword:")) {
        std::uint32_t number = 0;
        if (!ReadHexNumber(Trim(text.substr(6)), 8, number)) {
            why = "dword: needs 1 to 8 hexadecimal digits";
            return false;
        }
        value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8) {
            value.data.push_back(static_cast<std::uint8_t>(number >> shift));
        }
        return true;
    }
    std::string_view bytes;
    if (StartsWithNoCase(text, "hex:")) {
        value.type = kRegBinary;
        bytes = text.substr(4);
    } else if (StartsWithNoCase(text, "hex(")) {
        const std::size_t close = text.find("):");
        if (close == std::string_view::npos || !ReadHexNumber(text.substr(4, close - 4), 8, value.type)) {
            why = "hex(N): needs a hexadecimal type number N";
            return false;
        }
        bytes = text.substr(close + 2);
    } else {
        why = "the value is none of \"text\", dword:, hex:, hex(N): or -";
        return false;
    }
    if (!ReadHexBytes(bytes, value.data)) {
        why = "the hex list must be two-digit hexadecimal bytes separated by commas";
        return false;
    }
    if (IsTextType(value.type) && !HexTextToUtf8(value.data, unicodeFile)) {
        why = "the hex text value is not valid UTF-16LE";
        return false;
    }
    return true;
}

bool ReadValueLine(std::string_view line, bool unicodeFile, ValueLine &value, std::string &why) {
    std::string_view rest;
    if (line.front() == '@') {
        rest = line.substr(1);
    } else if (!ReadQuoted(line, value.name, rest)) {
        why = "the value name has no closing quote";
        return false;
    }
    if (!IsValidValueName(value.name)) {
        why = "the value name is too long or holds control characters";
        return false;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') {
        why = "expected '=' after the value name";
        return false;
    }
    return ReadValueData(rest.substr(1), unicodeFile, value, why);
}

bool ReadKeyHeader(std::string_view line, bool &remove, std::vector<std::string> &components,
                   std::string &why) {
    if (line.size() < 2 || line.back() != ']') {
        why = "a key line must end with ']'";
        return false;
    }
    std::string_view path = line.substr(1, line.size() - 2);
    remove = !path.empty() && path.front() == '-';
    if (remove) path.remove_prefix(1);
    const std::size_t separator = path.find('\\');
    if (!NamesEqual(path.substr(0, separator), kRootName)) {
        why = "only keys under HKEY_LOCAL_MACHINE can be stored";
        return false;
    }
    const std::string_view below =
        separator == std::string_view::npos ? std::string_view() : path.substr(separator + 1);
    if (!SplitKeyPath(below, components)) {
        why = "the key path has an empty, too long or invalid key name";
        return false;
    }
    return true;
}

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

bool NamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool IsValidKeyName(std::string_view name) {
    if (name.empty() || name.size() > kMaxKeyNameLength) return false;
    // One pass over the plain ASCII names every key path is made of; the
    // first other octet hands the rest to the full UTF-8 check.
    for (std::size_t at = 0; at < name.size(); ++at) {
        const auto c = static_cast<unsigned char>(name[at]);
        if (c >= 0x80) {
            const std::string_view rest = name.substr(at);
            return rest.find('\\') == std::string_view::npos && !HasControlCharacter(rest) && IsValidUtf8(rest);
        }
        if (c == '\\' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= kMaxValueNameLength && !HasControlCharacter(name) && IsValidUtf8(name);
}

bool SplitKeyPath(std::string_view path, std::vector<std::string> &components) {
    components.clear();
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return true;
    components.reserve(static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) + 1);
    for (;;) {
        const std::size_t separator = path.find('\\');
        const std::string_view name = path.substr(0, separator);
        if (!IsValidKeyName(name)) return false;
        components.emplace_back(name);
        if (separator == std::string_view::npos) return true;
        path.remove_prefix(separator + 1);
    }
}

Key *FindKey(const Key &root, const std::vector<std::string> &components) {
    const Key *key = &root;
    for (const std::string &name : components) {
        key = key->FindSubkey(name);
        if (key == nullptr) return nullptr;
    }
    return const_cast<Key *>(key);
}

bool IsTextType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

bool IsValidUtf8(std::string_view text) {
    std::size_t at = 0;
    std::uint32_t codePoint = 0;
    while (at < text.size()) {
        if (!NextCodePoint(text, at, codePoint)) return false;
    }
    return true;
}

Key *Key::FindSubkey(std::string_view subkeyName) const {
    for (const auto &subkey : subkeys) {
        if (NamesEqual(subkey->name, subkeyName)) return subkey.get();
    }
    return nullptr;
}

Value *Key::FindValue(std::string_view valueName) {
    for (Value &value : values) {
        if (NamesEqual(value.name, valueName)) return &value;
    }
    return nullptr;
}

const Value *Key::FindValue(std::string_view valueName) const {
    return const_cast<Key *>(this)->FindValue(valueName);
}

Key &Key::SubkeyAdding(std::string_view subkeyName) {
    if (Key *existing = FindSubkey(subkeyName)) return *existing;
    subkeys.push_back(std::make_unique<Key>());
    subkeys.back()->name = std::string(subkeyName);
    return *subkeys.back();
}

bool Key::RemoveSubkey(std::string_view subkeyName) {
    const auto found = std::find_if(subkeys.begin(), subkeys.end(),
                                    [&](const auto &subkey) { return NamesEqual(subkey->name, subkeyName); });
    if (found == subkeys.end()) return false;
    subkeys.erase(found);
    return true;
}

void Key::PutValue(std::string_view valueName, std::uint32_t type, std::vector<std::uint8_t> data) {
    Value *value = FindValue(valueName);
    if (value == nullptr) {
        values.emplace_back();
        value = &values.back();
        value->name = std::string(valueName);
    }
    value->type = type;
    value->data = std::move(data);
}

bool Key::RemoveValue(std::string_view valueName) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const Value &value) { return NamesEqual(value.name, valueName); });
    if (found == values.end()) return false;
    values.erase(found);
    return true;
}

bool ReadRegText(std::string_view fileBytes, RegTextEdits &edits, std::string &problem) {
    std::string text;
    if (!DecodeFileText(fileBytes, text, problem)) return false;
    const std::vector<std::string_view> lines = SplitLines(text);
    std::size_t next = 0;
    while (next < lines.size() && Trim(lines[next]).empty()) ++next;
    if (next == lines.size()) {
        problem = "the file is empty; its first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
        return false;
    }
    const std::string_view header = Trim(lines[next]);
    if (header != kHeaderVersion5 && header != kHeaderVersion4) {
        problem = AtLine(next + 1, "expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
        return false;
    }
    const bool unicodeFile = header == kHeaderVersion5;
    ++next;

    bool inKey = false;
    bool inRemovedKey = false;
    while (next < lines.size()) {
        const std::size_t lineNumber = next + 1;
        std::string line(Trim(lines[next++]));
        if (line.empty() || line.front() == ';') continue;
        std::string why;
        if (line.front() == '[') {
            bool remove = false;
            std::vector<std::string> components;
            if (!ReadKeyHeader(line, remove, components, why)) {
                problem = AtLine(lineNumber, why);
                return false;
            }
            inRemovedKey = remove;
            inKey = !remove;
            if (remove) {
                edits.RemoveKey(components);
            } else {
                edits.OpenKey(components);
            }
            continue;
        }
        if (line.front() != '"' && line.front() != '@') {
            problem = AtLine(lineNumber, "not a key line, a value line or a comment");
            return false;
        }
        // A hex list goes on over lines that end in a backslash.
        while (line.back() == '\\' && next < lines.size()) {
            line.pop_back();
            line += Trim(lines[next++]);
        }
        ValueLine value;
        if (!ReadValueLine(line, unicodeFile, value, why)) {
            problem = AtLine(lineNumber, why);
            return false;
        }
        if (!inKey) {
            if (inRemovedKey) continue;
            problem = AtLine(lineNumber, "a value before the first key line");
            return false;
        }
        if (value.remove) {
            edits.RemoveValue(value.name);
        } else {
            edits.PutValue(value.name, value.type, std::move(value.data));
        }
    }
    return true;
}

namespace {

// Edits applied to a tree in memory.
class TreeEdits final : public RegTextEdits {
public:
    explicit TreeEdits(Key &root) : root_(root) {}

    void RemoveKey(const std::vector<std::string> &components) override {
        current_ = nullptr;
        if (components.empty()) return;
        const std::vector<std::string> parentPath(components.begin(), components.end() - 1);
        if (Key *parent = FindKey(root_, parentPath)) parent->RemoveSubkey(components.back());
    }
    void OpenKey(const std::vector<std::string> &components) override {
        current_ = &root_;
        for (const std::string &name : components) current_ = &current_->SubkeyAdding(name);
    }
    void PutValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) override {
        if (current_ != nullptr) current_->PutValue(name, type, std::move(data));
    }
    void RemoveValue(std::string_view name) override {
        if (current_ != nullptr) current_->RemoveValue(name);
    }

private:
    Key &root_;
    Key *current_ = nullptr;
};

}  // namespace

bool ApplyRegText(std::string_view fileBytes, Key &root, std::string &problem) {
    TreeEdits edits(root);
    return ReadRegText(fileBytes, edits, problem);
}

std::string WriteRegText(const Key &key, const std::string &path) {
    std::string out(kHeaderVersion5);
    out += "\n\n";
    WriteKey(out, key, path, path.empty());
    return out;
}

}  // namespace snmphelper::platform::regtext
