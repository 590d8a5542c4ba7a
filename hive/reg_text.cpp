// SPDX-License-Identifier: Apache-2.0
// The registry tree in memory, its names, and the text conversions the
// reader and the writer of the regedit format share (reg_text.h).
#include "hive/reg_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "hive/reg_text_internal.h"
#include "platform/registry.h"

namespace snmphelper::platform::regtext {

namespace detail {

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

bool SplitKeyNames(std::string_view names, std::size_t kept, std::vector<std::string> &components) {
    // The strings already there are written over, keeping their room: a
    // reader splits every key line of a file into one vector.
    std::size_t count = kept;
    for (;;) {
        const std::size_t separator = names.find('\\');
        const std::string_view name = names.substr(0, separator);
        if (!IsValidKeyName(name)) {
            components.clear();
            return false;
        }
        if (count < components.size()) {
            components[count].assign(name);
        } else {
            components.emplace_back(name);
        }
        ++count;
        if (separator == std::string_view::npos) break;
        names.remove_prefix(separator + 1);
    }
    components.resize(count);
    return true;
}

}  // namespace detail

using namespace detail;

bool NamesEqual(std::string_view a, std::string_view b) {
    // Names are mostly compared with themselves as first stored: octet for
    // octet first.
    if (a.size() != b.size()) return false;
    if (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
    return std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
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
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) {
        components.clear();
        return true;
    }
    return SplitKeyNames(path, 0, components);
}

Key *FindKey(const Key &root, const std::vector<std::string> &components) {
    const Key *key = &root;
    for (const std::string &name : components) {
        key = key->FindSubkey(name);
        if (key == nullptr) return nullptr;
    }
    return const_cast<Key *>(key);
}

bool NormalKeyPath(std::string_view path, std::string_view &normal) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    normal = path;
    for (std::string_view rest = path; !rest.empty();) {
        const std::size_t separator = rest.find('\\');
        if (!IsValidKeyName(rest.substr(0, separator))) return false;
        if (separator == std::string_view::npos) break;
        rest.remove_prefix(separator + 1);
        if (rest.empty()) return false;  // a path that ended in two separators
    }
    return true;
}

Key *FindKeyAt(const Key &root, std::string_view normalPath) {
    const Key *key = &root;
    while (!normalPath.empty()) {
        const std::size_t separator = normalPath.find('\\');
        key = key->FindSubkey(normalPath.substr(0, separator));
        if (key == nullptr || separator == std::string_view::npos) break;
        normalPath.remove_prefix(separator + 1);
    }
    return const_cast<Key *>(key);
}

bool IsTextType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

bool IsValidUtf8(std::string_view text) {
    std::size_t at = 0;
    std::uint32_t codePoint = 0;
    while (at < text.size()) {
        // A hive is nearly all ASCII: eight octets at a time while they are.
        while (text.size() - at >= 8) {
            std::uint64_t octets = 0;
            std::memcpy(&octets, text.data() + at, sizeof octets);
            if ((octets & 0x8080808080808080ull) != 0) break;
            at += 8;
        }
        if (at == text.size()) break;
        if (!NextCodePoint(text, at, codePoint)) return false;
    }
    return true;
}

namespace {

// Below this many subkeys a search is as quick as a hash and costs no memory.
constexpr std::size_t kIndexedFrom = 16;

}  // namespace

std::size_t NameHash::operator()(std::string_view name) const {
    // FNV-1a over the lower-cased octets.
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(LowerAscii(c));
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool NameEqual::operator()(std::string_view a, std::string_view b) const { return NamesEqual(a, b); }

std::unique_ptr<Key> Key::Clone() const {
    auto copy = std::make_unique<Key>();
    copy->name = name;
    copy->values = values;
    copy->subkeys.reserve(subkeys.size());
    copy->index_.reserve(index_.size());
    for (const auto &subkey : subkeys) {
        copy->subkeys.push_back(subkey->Clone());
        if (!index_.empty()) copy->IndexSubkey(*copy->subkeys.back());
    }
    return copy;
}

void Key::Swap(Key &other) noexcept {
    name.swap(other.name);
    values.swap(other.values);
    subkeys.swap(other.subkeys);
    index_.swap(other.index_);
}

void Key::IndexSubkey(Key &subkey) { index_.emplace(subkey.name, &subkey); }

Key *Key::FindSubkey(std::string_view subkeyName) const {
    if (!index_.empty()) {
        const auto found = index_.find(subkeyName);
        return found == index_.end() ? nullptr : found->second;
    }
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
    Key &added = *subkeys.back();
    added.name = std::string(subkeyName);
    if (!index_.empty()) {
        IndexSubkey(added);
    } else if (subkeys.size() >= kIndexedFrom) {
        index_.reserve(subkeys.size() * 2);
        for (const auto &subkey : subkeys) IndexSubkey(*subkey);
    }
    return added;
}

bool Key::RemoveSubkey(std::string_view subkeyName) {
    const Key *removed = FindSubkey(subkeyName);
    if (removed == nullptr) return false;
    const auto found = std::find_if(subkeys.begin(), subkeys.end(),
                                    [&](const auto &subkey) { return subkey.get() == removed; });
    index_.erase((*found)->name);
    subkeys.erase(found);
    return true;
}

void Key::PutValue(std::string_view valueName, std::uint32_t type, std::vector<std::uint8_t> data) {
    Value *value = FindValue(valueName);
    if (value == nullptr) {
        // A printer's key holds a handful: room for them in one block.
        if (values.empty()) values.reserve(4);
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

}  // namespace snmphelper::platform::regtext
