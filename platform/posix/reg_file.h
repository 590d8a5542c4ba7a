// The registry tree in memory, and its text form: the regedit export format,
// read from and written to the store file (see registry.cpp for the format).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace snmphelper::platform::regfile {

struct Value {
    std::string name;  // "" is the key's default value ("@")
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;  // text types hold UTF-8 and their zeros
};

struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<std::unique_ptr<Key>> subkeys;

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

// Text types hold UTF-8; these check and convert it.
bool IsTextType(std::uint32_t type);
bool IsValidUtf8(std::string_view text);

// Applies a registry export (the bytes of a .reg file) to `root`, section by
// section: keys are created, values set, "[-key]" and "name"=- remove. On
// failure returns false and `problem` names the line and what is wrong; the
// tree may then be partly changed, so callers apply to a copy or discard it.
bool ApplyRegText(std::string_view fileBytes, Key &root, std::string &problem);

// The "Windows Registry Editor Version 5.00" text of `key` and everything
// below it; `path` is the key's path below HKEY_LOCAL_MACHINE ("" for the
// root). UTF-8, LF line ends.
std::string WriteRegText(const Key &key, const std::string &path);

}  // namespace snmphelper::platform::regfile
