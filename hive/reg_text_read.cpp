// SPDX-License-Identifier: Apache-2.0
// Reading the regedit export format. What is accepted is described in
// reg_text.h.
#include "hive/reg_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "hive/reg_text_internal.h"
#include "platform/registry.h"

namespace snmphelper::platform::regtext {

using namespace detail;

namespace {

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

// The file's bytes as UTF-8 text: `text` views `bytes` itself when they are
// UTF-8 already, else `converted`.
bool DecodeFileText(std::string_view bytes, std::string &converted, std::string_view &text, std::string &problem) {
    const auto *raw = reinterpret_cast<const std::uint8_t *>(bytes.data());
    if (bytes.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xFE) {
        if (!Utf16LeToUtf8(raw + 2, bytes.size() - 2, converted)) {
            problem = "the file starts as UTF-16LE but is not valid UTF-16LE";
            return false;
        }
        text = converted;
    } else if (bytes.size() >= 2 && raw[0] == 0xFE && raw[1] == 0xFF) {
        problem = "the file is UTF-16 big-endian; save it as UTF-16LE (as regedit does) or UTF-8";
        return false;
    } else if (bytes.size() >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF) {
        text = bytes.substr(3);
        if (!IsValidUtf8(text)) {
            problem = "the file starts as UTF-8 but is not valid UTF-8";
            return false;
        }
    } else if (IsValidUtf8(bytes)) {
        text = bytes;
    } else if (Trim(FirstTextLine(bytes)) == kHeaderVersion4) {
        converted = Latin1ToUtf8(bytes);
        text = converted;
    } else {
        // Only ANSI exports are anything but Unicode. Reading any other file
        // as Latin-1 would turn every UTF-8 name in it into another name,
        // because of one stray octet.
        problem = NotUtf8Problem(bytes);
        return false;
    }
    if (text.find('\0') != std::string_view::npos) {
        problem = "the file contains a NUL character";
        return false;
    }
    return true;
}

// The text line by line, without copying it.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : rest_(text) {}
    bool AtEnd() const { return done_; }
    // The number of the line Next gives next, from 1.
    std::size_t NextNumber() const { return number_ + 1; }
    std::string_view Next() {
        ++number_;
        const std::size_t end = rest_.find('\n');
        const std::string_view line = rest_.substr(0, end);
        if (end == std::string_view::npos) {
            done_ = true;
        } else {
            rest_.remove_prefix(end + 1);
            done_ = rest_.empty();
        }
        return line;
    }

private:
    std::string_view rest_;
    std::size_t number_ = 0;
    bool done_ = rest_.empty();
};

// A quoted string at the start of `text`, appended to `out` (a string or a
// vector of octets): "\\" and "\"" are escapes, any other backslash stands
// for itself. `rest` receives what follows it.
template <typename Octets>
bool ReadQuoted(std::string_view text, Octets &out, std::string_view &rest) {
    if (text.empty() || text.front() != '"') return false;
    std::size_t i = 1;
    for (;;) {
        // The run up to the next quote or backslash in one piece.
        const std::size_t special = FindQuoteOrBackslash(text, i);
        if (special == std::string_view::npos) return false;
        out.insert(out.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                   text.begin() + static_cast<std::ptrdiff_t>(special));
        if (text[special] == '"') {
            rest = text.substr(special + 1);
            return true;
        }
        i = special;
        if (i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) ++i;
        out.push_back(static_cast<typename Octets::value_type>(text[i++]));
    }
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

    void Clear() {
        name.clear();
        remove = false;
        type = 0;
        data.clear();
    }
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
        std::string_view rest;
        // At most the text between the quotes, and the terminator: one block.
        value.data.reserve(text.size());
        if (!ReadQuoted(text, value.data, rest)) {
            why = "the text value has no closing quote";
            return false;
        }
        if (!Trim(rest).empty()) {
            why = "unexpected characters after the text value";
            return false;
        }
        value.type = kRegSz;
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
        value.data.reserve(4);
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
    // The whole text is UTF-8 already, and so is every name cut from it.
    if (value.name.size() > kMaxValueNameLength || HasControlCharacter(value.name)) {
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

// Splits the key paths of a file's key lines as SplitKeyPath does, into one
// vector: the names a path shares with the path split before it (siblings
// share their parent's) are kept as they are, neither copied nor checked
// again.
class KeyPathSplitter {
public:
    const std::vector<std::string> &Components() const { return components_; }

    bool Split(std::string_view path) {
        if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
        const std::string_view last = last_;
        last_ = {};
        if (path.empty()) {
            components_.clear();
            return true;
        }
        std::size_t kept = 0;
        std::string_view rest = path;
        // Most often a sibling of the last key: the same parent, compared in
        // one piece.
        const std::size_t parent = last.rfind('\\');
        if (parent != std::string_view::npos && path.size() > parent && path[parent] == '\\' &&
            path.compare(0, parent, last.substr(0, parent)) == 0) {
            kept = components_.size() - 1;
            rest = path.substr(parent + 1);
        } else if (!last.empty()) {
            const std::size_t common = static_cast<std::size_t>(
                std::mismatch(path.begin(), path.end(), last.begin(), last.end()).first - path.begin());
            // Where the names both hold end: at the last separator in their
            // common part, or where the last path ends if this one goes on.
            std::size_t end = std::string_view::npos;
            if (common == last.size() && (common == path.size() || path[common] == '\\')) {
                end = common;
            } else if (common != 0) {
                end = path.rfind('\\', common - 1);
            }
            if (end == path.size()) {
                last_ = path;
                return true;  // the same path again
            }
            if (end != std::string_view::npos) {
                kept = static_cast<std::size_t>(std::count(path.begin(),
                                                           path.begin() + static_cast<std::ptrdiff_t>(end), '\\')) + 1;
                rest = path.substr(end + 1);
            }
        }
        if (!SplitKeyNames(rest, kept, components_)) return false;
        last_ = path;
        return true;
    }

private:
    std::vector<std::string> components_;
    std::string_view last_;  // the path components_ holds; empty when none
};

bool ReadKeyHeader(std::string_view line, bool &remove, KeyPathSplitter &components, std::string &why) {
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
    if (!components.Split(below)) {
        why = "the key path has an empty, too long or invalid key name";
        return false;
    }
    return true;
}

}  // namespace

bool ReadRegText(std::string_view fileBytes, RegTextEdits &edits, std::string &problem) {
    std::string converted;
    std::string_view text;
    if (!DecodeFileText(fileBytes, converted, text, problem)) return false;
    LineCursor lines(text);
    std::string_view header;
    while (!lines.AtEnd() && header.empty()) header = Trim(lines.Next());
    if (header.empty()) {
        problem = "the file is empty; its first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
        return false;
    }
    if (header != kHeaderVersion5 && header != kHeaderVersion4) {
        problem = AtLine(lines.NextNumber() - 1, "expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
        return false;
    }
    const bool unicodeFile = header == kHeaderVersion5;

    bool inKey = false;
    bool inRemovedKey = false;
    KeyPathSplitter components;
    std::string joined;
    ValueLine value;  // kept across lines for its room
    while (!lines.AtEnd()) {
        const std::size_t lineNumber = lines.NextNumber();
        std::string_view line = Trim(lines.Next());
        if (line.empty() || line.front() == ';') continue;
        std::string why;
        if (line.front() == '[') {
            bool remove = false;
            if (!ReadKeyHeader(line, remove, components, why)) {
                problem = AtLine(lineNumber, why);
                return false;
            }
            inRemovedKey = remove;
            inKey = !remove;
            if (remove) {
                edits.RemoveKey(components.Components());
            } else {
                edits.OpenKey(components.Components());
            }
            continue;
        }
        if (line.front() != '"' && line.front() != '@') {
            problem = AtLine(lineNumber, "not a key line, a value line or a comment");
            return false;
        }
        // A hex list goes on over lines that end in a backslash.
        if (line.back() == '\\' && !lines.AtEnd()) {
            joined.assign(line);
            while (joined.back() == '\\' && !lines.AtEnd()) {
                joined.pop_back();
                joined += Trim(lines.Next());
            }
            line = joined;
        }
        value.Clear();
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
    void PutValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> &&data) override {
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

}  // namespace snmphelper::platform::regtext
