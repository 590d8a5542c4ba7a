/* SPDX-License-Identifier: Apache-2.0 */
// The registry tree in memory, and its text form: the regedit export format,
// in which the POSIX store keeps its hive and in which the administration
// tools import and export keys on every system.
//
// Format: what regedit exports, so that a key exported on Windows can be
// imported unchanged.
//   - Encoding: UTF-16LE with its byte-order mark (regedit's own exports),
//     UTF-8 with or without a byte-order mark, or, for a "REGEDIT4" file
//     whose bytes as a whole are not UTF-8, Latin-1 (old ANSI exports). Any
//     other file that is not UTF-8 is refused, naming the line: the hive is
//     written as version 5.00 UTF-8 without a byte-order mark, LF line ends,
//     so one stray octet in it never changes how the rest is read.
//   - First non-blank line "Windows Registry Editor Version 5.00" or
//     "REGEDIT4"; the hive is written with the first.
//   - "[HKEY_LOCAL_MACHINE\A\B]" starts a key (creating it and its parents);
//     "[-HKEY_LOCAL_MACHINE\A\B]" removes a key and everything below it. No
//     other root key is accepted. Blank lines and lines starting with ';' are
//     skipped.
//   - Values: "name"=... or @=... for the default value. In names and texts
//     \\ and \" are escapes. Data forms: "text" (REG_SZ), dword:1234abcd
//     (REG_DWORD, 1-8 hex digits), hex:01,02 (REG_BINARY), hex(N):01,02 (type
//     N in hex, kept as raw bytes whatever N is), - (remove the value). A hex
//     list continues on the next line after a trailing backslash.
//   - Text types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are held as UTF-8 with
//     their terminating zeros, as the ANSI registry calls hand them back; in
//     hex(1), hex(2) and hex(7) lists of a version 5 file they are UTF-16LE,
//     in REGEDIT4 files ANSI bytes. REG_SZ is written as "text" when it is one
//     zero-terminated line of text and as hex(1): otherwise, REG_DWORD as
//     dword: when it holds 4 bytes, everything else as hex/hex(N), so that
//     every value survives a write and a read unchanged.
//   - Key and value names compare without regard to ASCII case; the case in
//     which a name was first stored is kept. Keys and values keep their order.
//   - Comments and layout of a hand-edited hive are not kept when the hive is
//     rewritten.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace snmphelper::platform::regtext {

struct Value {
    std::string name;  // "" is the key's default value ("@")
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;  // text types hold UTF-8 and their zeros
};

// Hashes a name as NamesEqual compares it.
struct NameHash {
    std::size_t operator()(std::string_view name) const;
};
struct NameEqual {
    bool operator()(std::string_view a, std::string_view b) const;
};

struct Key {
    std::string name;
    std::vector<Value> values;
    // In stored order; change it only through the calls below, which keep
    // the index in step.
    std::vector<std::unique_ptr<Key>> subkeys;

    Key() = default;
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;

    // A deep copy, index included: a writer's own tree to change.
    std::unique_ptr<Key> Clone() const;
    // Exchanges everything two keys hold, names included, without copying
    // any of it: for roots, whose names no parent's index refers to.
    void Swap(Key &other) noexcept;
    bool Empty() const { return values.empty() && subkeys.empty(); }
    Key *FindSubkey(std::string_view subkeyName) const;
    Value *FindValue(std::string_view valueName);
    const Value *FindValue(std::string_view valueName) const;
    // The subkey, made if missing.
    Key &SubkeyAdding(std::string_view subkeyName);
    // Removes the subkey (with everything below it); false when absent.
    bool RemoveSubkey(std::string_view subkeyName);
    // Sets or adds the value.
    void PutValue(std::string_view valueName, std::uint32_t type, std::vector<std::uint8_t> data);
    bool RemoveValue(std::string_view valueName);

private:
    // The subkeys by name, once there are enough of them for a linear search
    // to cost (a store's adapter key holds one subkey per printer). Keys are
    // its strings' owners and never move, so the views stay valid.
    std::unordered_map<std::string_view, Key *, NameHash, NameEqual> index_;
    void IndexSubkey(Key &subkey);
};

// Key and value names compare without regard to ASCII case, as on Windows.
bool NamesEqual(std::string_view a, std::string_view b);

// A key name: not empty, no '\', no control characters, at most 255 bytes.
bool IsValidKeyName(std::string_view name);
// A value name: no control characters, at most 16383 bytes.
bool IsValidValueName(std::string_view name);

// Splits "A\B\C" into its components. One trailing '\' is tolerated; an
// empty path is the root. False for an empty component or an invalid name.
bool SplitKeyPath(std::string_view path, std::vector<std::string> &components);

// The key at `components` below `root`, or null.
Key *FindKey(const Key &root, const std::vector<std::string> &components);

// A key path as SplitKeyPath takes it, checked and with its one tolerated
// trailing '\' dropped, without splitting it; false where SplitKeyPath
// would be. Then FindKeyAt finds the key it names below `root`, or null.
bool NormalKeyPath(std::string_view path, std::string_view &normal);
Key *FindKeyAt(const Key &root, std::string_view normalPath);

// Text types hold UTF-8; these check and convert it.
bool IsTextType(std::uint32_t type);
bool IsValidUtf8(std::string_view text);

// What a registry export asks for, in the file's order: a key line opens a
// key (creating it and its parents) or removes one with everything below
// it; value lines set or remove values of the key opened last.
class RegTextEdits {
public:
    virtual ~RegTextEdits() = default;
    virtual void RemoveKey(const std::vector<std::string> &components) = 0;
    virtual void OpenKey(const std::vector<std::string> &components) = 0;
    // `data` may be taken; what is left of it is the reader's again.
    virtual void PutValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> &&data) = 0;
    virtual void RemoveValue(std::string_view name) = 0;
};

// Reads a registry export (the bytes of a .reg file), handing each edit to
// `edits` as it is read. On failure returns false and `problem` names the
// line and what is wrong; the edits before that line have been handed over,
// so callers that must change all or nothing read the text twice.
bool ReadRegText(std::string_view fileBytes, RegTextEdits &edits, std::string &problem);

// Applies a registry export (the bytes of a .reg file) to `root`, section by
// section: keys are created, values set, "[-key]" and "name"=- remove. On
// failure returns false and `problem` names the line and what is wrong; the
// tree may then be partly changed, so callers apply to a copy or discard it.
bool ApplyRegText(std::string_view fileBytes, Key &root, std::string &problem);

// The "Windows Registry Editor Version 5.00" text of `key` and everything
// below it; `path` is the key's path below HKEY_LOCAL_MACHINE ("" for the
// root). UTF-8, LF line ends.
std::string WriteRegText(const Key &key, const std::string &path);

}  // namespace snmphelper::platform::regtext
