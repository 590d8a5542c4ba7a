// SPDX-License-Identifier: Apache-2.0
// The registry on Windows: HKEY_LOCAL_MACHINE itself. Names and text values
// cross the seam as UTF-8 and are stored through the wide-character calls,
// so that any text reads back exactly as it was written whatever the
// system's code page. Imports and exports use the regedit text of
// hive/reg_text.h; an import is read through once to check it before
// anything is changed.
#include <windows.h>

#include <new>

#include "hive/reg_text.h"
#include "platform/registry.h"

namespace snmphelper::platform {

struct RegistryKeyState {
    HKEY key = nullptr;
};

namespace {

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                             static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

// False for text that is not UTF-8 (or too long for the system's calls).
bool ToWide(const char *text, std::wstring &wide) {
    const std::string_view view = text == nullptr ? std::string_view() : std::string_view(text);
    wide = Wide(view);
    return view.empty() || !wide.empty();
}

std::string Narrow(const wchar_t *text, std::size_t count) {
    if (count == 0) return {};
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

bool IsText(DWORD type) { return regtext::IsTextType(type); }

// The registry's limits on names, in characters.
constexpr DWORD kLongestKeyName = 255;
constexpr DWORD kLongestValueName = 16383;

// Reads a whole value as the seam hands it over: text types as UTF-8 with
// their zeros, everything else as stored.
LONG ReadValue(HKEY key, const std::wstring &name, DWORD &type, std::vector<std::uint8_t> &data) {
    for (;;) {
        DWORD bytes = 0;
        LONG status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (status != ERROR_SUCCESS) return status;
        std::vector<std::uint8_t> raw(bytes);
        status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, raw.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;  // grew meanwhile
        if (status != ERROR_SUCCESS) return status;
        raw.resize(bytes);
        if (!IsText(type)) {
            data = std::move(raw);
            return ERROR_SUCCESS;
        }
        const std::string text = Narrow(reinterpret_cast<const wchar_t *>(raw.data()), raw.size() / 2);
        data.assign(text.begin(), text.end());
        return ERROR_SUCCESS;
    }
}

LONG WriteValue(HKEY key, std::string_view name, DWORD type, const std::uint8_t *data, std::size_t size) {
    const std::wstring wideName = Wide(name);
    if (!name.empty() && wideName.empty()) return ERROR_INVALID_PARAMETER;
    if (!IsText(type)) {
        return ::RegSetValueExW(key, wideName.c_str(), 0, type, data, static_cast<DWORD>(size));
    }
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (!regtext::IsValidUtf8(text)) return ERROR_INVALID_PARAMETER;
    const std::wstring wide = Wide(text);
    return ::RegSetValueExW(key, wideName.c_str(), 0, type, reinterpret_cast<const BYTE *>(wide.data()),
                            static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
}

std::int32_t Status(LONG status) { return static_cast<std::int32_t>(status); }

std::string JoinPath(const std::vector<std::string> &components) {
    std::string path;
    for (const std::string &component : components) {
        if (!path.empty()) path += '\\';
        path += component;
    }
    return path;
}

// Edits applied to the registry itself; the first failure is kept.
class RegistryEdits final : public regtext::RegTextEdits {
public:
    ~RegistryEdits() override { CloseCurrent(); }

    void RemoveKey(const std::vector<std::string> &components) override {
        CloseCurrent();
        if (components.empty()) return Keep(ERROR_ACCESS_DENIED);  // not all of HKEY_LOCAL_MACHINE
        const LONG status = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(JoinPath(components)).c_str());
        if (status != ERROR_FILE_NOT_FOUND) Keep(status);
    }
    void OpenKey(const std::vector<std::string> &components) override {
        CloseCurrent();
        Keep(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(JoinPath(components)).c_str(), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &current_, nullptr));
    }
    void PutValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> &&data) override {
        if (current_ != nullptr) Keep(WriteValue(current_, name, type, data.data(), data.size()));
    }
    void RemoveValue(std::string_view name) override {
        if (current_ == nullptr) return;
        const LONG status = ::RegDeleteValueW(current_, Wide(name).c_str());
        if (status != ERROR_FILE_NOT_FOUND) Keep(status);
    }

    LONG FirstFailure() const { return failure_; }

private:
    void CloseCurrent() {
        if (current_ != nullptr) ::RegCloseKey(current_);
        current_ = nullptr;
    }
    void Keep(LONG status) {
        if (failure_ == ERROR_SUCCESS) failure_ = status;
    }

    HKEY current_ = nullptr;
    LONG failure_ = ERROR_SUCCESS;
};

// Edits that change nothing: a first reading that finds any fault of the text.
class NoEdits final : public regtext::RegTextEdits {
public:
    void RemoveKey(const std::vector<std::string> &) override {}
    void OpenKey(const std::vector<std::string> &) override {}
    void PutValue(std::string_view, std::uint32_t, std::vector<std::uint8_t> &&) override {}
    void RemoveValue(std::string_view) override {}
};

LONG ReadTree(HKEY key, regtext::Key &node) {
    std::vector<wchar_t> name(kLongestValueName + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG status = ::RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        const std::wstring wideName(name.data(), length);
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        if (const LONG read = ReadValue(key, wideName, type, data); read != ERROR_SUCCESS) return read;
        node.PutValue(Narrow(wideName.data(), wideName.size()), type, std::move(data));
    }
    for (DWORD index = 0;; ++index) {
        DWORD length = kLongestKeyName + 1;
        const LONG status = ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        HKEY subkey = nullptr;
        if (::RegOpenKeyExW(key, name.data(), 0, KEY_READ, &subkey) != ERROR_SUCCESS) continue;  // not ours to read
        const LONG read = ReadTree(subkey, node.SubkeyAdding(Narrow(name.data(), length)));
        ::RegCloseKey(subkey);
        if (read != ERROR_SUCCESS) return read;
    }
    return ERROR_SUCCESS;
}

}  // namespace

// The system keeps the registry in memory: every open is as cheap as a shared
// one would be.
RegistryReading::RegistryReading() : owner_(false) {}
RegistryReading::~RegistryReading() = default;
void RegistryReading::End() {}

// The system's registry is read key by key: no reading is shared.
std::uint64_t SharedReadingMark() { return 0; }

std::int32_t OpenRegistryKey(const char *path, std::uint32_t access, RegistryKey *key) {
    if (key == nullptr) return kRegistryInvalidParameter;
    *key = nullptr;
    std::wstring widePath;
    if (!ToWide(path, widePath)) return kRegistryNotFound;
    auto *state = new (std::nothrow) RegistryKeyState;
    if (state == nullptr) return kRegistryNoMemory;
    const LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, access, &state->key);
    if (status != ERROR_SUCCESS) {
        delete state;
        return Status(status);
    }
    *key = state;
    return kRegistrySuccess;
}

std::int32_t QueryRegistryValue(RegistryKey key, const char *name, std::uint32_t *type, void *data,
                                std::uint32_t *size) {
    if (key == nullptr || size == nullptr) return kRegistryInvalidParameter;
    std::wstring wideName;
    if (!ToWide(name, wideName)) return kRegistryNotFound;
    DWORD storedType = 0;
    std::vector<std::uint8_t> value;
    if (const LONG status = ReadValue(key->key, wideName, storedType, value); status != ERROR_SUCCESS) {
        return Status(status);
    }
    if (type != nullptr) *type = storedType;
    const std::uint32_t room = *size;
    *size = static_cast<std::uint32_t>(value.size());
    if (data == nullptr) return kRegistrySuccess;
    if (value.size() > room) return kRegistryMoreData;
    std::copy(value.begin(), value.end(), static_cast<std::uint8_t *>(data));
    return kRegistrySuccess;
}

std::int32_t SetRegistryValue(RegistryKey key, const char *name, std::uint32_t type, const void *data,
                              std::uint32_t size) {
    if (key == nullptr || (data == nullptr && size != 0)) return kRegistryInvalidParameter;
    return Status(WriteValue(key->key, name == nullptr ? "" : name, type, static_cast<const std::uint8_t *>(data),
                             size));
}

void CloseRegistryKey(RegistryKey key) {
    if (key == nullptr) return;
    ::RegCloseKey(key->key);
    delete key;
}

std::int32_t CreateRegistryKey(const char *path) {
    std::wstring widePath;
    if (!ToWide(path, widePath) || widePath.empty()) return kRegistryInvalidParameter;
    HKEY created = nullptr;
    const LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                          nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS) ::RegCloseKey(created);
    return Status(status);
}

std::int32_t DeleteRegistryKey(const char *path) {
    std::wstring widePath;
    if (!ToWide(path, widePath) || widePath.empty()) return kRegistryInvalidParameter;
    // With a subkey named, RegDeleteTree removes the key itself too.
    return Status(::RegDeleteTreeW(HKEY_LOCAL_MACHINE, widePath.c_str()));
}

std::int32_t DeleteRegistryValue(RegistryKey key, const char *name) {
    if (key == nullptr) return kRegistryInvalidParameter;
    std::wstring wideName;
    if (!ToWide(name, wideName)) return kRegistryNotFound;
    return Status(::RegDeleteValueW(key->key, wideName.c_str()));
}

std::int32_t ListRegistrySubkeys(RegistryKey key, std::vector<std::string> &names) {
    names.clear();
    if (key == nullptr) return kRegistryInvalidParameter;
    wchar_t name[kLongestKeyName + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG status = ::RegEnumKeyExW(key->key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return kRegistrySuccess;
        if (status != ERROR_SUCCESS) return Status(status);
        names.push_back(Narrow(name, length));
    }
}

std::int32_t ListRegistryValues(RegistryKey key, std::vector<std::string> &names) {
    names.clear();
    if (key == nullptr) return kRegistryInvalidParameter;
    std::vector<wchar_t> name(kLongestValueName + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG status =
            ::RegEnumValueW(key->key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return kRegistrySuccess;
        if (status != ERROR_SUCCESS) return Status(status);
        names.push_back(Narrow(name.data(), length));
    }
}

namespace {

// A first reading that finds any fault of the text before anything changes.
bool TextIsSound(const std::string &fileBytes, std::string &problem) {
    problem.clear();
    NoEdits check;
    return regtext::ReadRegText(fileBytes, check, problem);
}

// Applies checked text; the first failure is the result.
std::int32_t ApplyChecked(const std::string &fileBytes, std::string &problem) {
    RegistryEdits edits;
    if (!regtext::ReadRegText(fileBytes, edits, problem)) return kRegistryInvalidParameter;
    if (edits.FirstFailure() != ERROR_SUCCESS) {
        problem = "the registry refused a change (system error " + std::to_string(edits.FirstFailure()) + ")";
    }
    return Status(edits.FirstFailure());
}

}  // namespace

std::int32_t ImportRegistryText(const std::string &fileBytes, std::string &problem) {
    if (!TextIsSound(fileBytes, problem)) return kRegistryInvalidParameter;
    return ApplyChecked(fileBytes, problem);
}

// The registry creates a key atomically and says whether it was there, so of
// two processes adding one key only one goes on. (That a key to be updated is
// still present is checked just before the change, not with it.)
std::int32_t ImportRegistryTextWhere(const char *path, KeyCondition condition, const std::string &fileBytes,
                                     std::string &problem) {
    problem.clear();
    std::wstring widePath;
    if (path == nullptr || !ToWide(path, widePath)) return kRegistryInvalidParameter;
    if (!TextIsSound(fileBytes, problem)) return kRegistryInvalidParameter;
    HKEY key = nullptr;
    if (condition == KeyCondition::Absent) {
        DWORD disposition = 0;
        const LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                              &key, &disposition);
        if (status != ERROR_SUCCESS) return Status(status);
        ::RegCloseKey(key);
        if (disposition == REG_OPENED_EXISTING_KEY) return kRegistryKeyExists;
    } else {
        const LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, KEY_READ, &key);
        if (status == ERROR_FILE_NOT_FOUND) return kRegistryKeyDeleted;
        if (status != ERROR_SUCCESS) return Status(status);
        ::RegCloseKey(key);
    }
    return ApplyChecked(fileBytes, problem);
}

std::int32_t ExportRegistryText(const char *path, std::string &text) {
    text.clear();
    std::wstring widePath;
    if (!ToWide(path, widePath)) return kRegistryNotFound;
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return Status(status);
    regtext::Key tree;
    const LONG read = ReadTree(key, tree);
    ::RegCloseKey(key);
    if (read != ERROR_SUCCESS) return Status(read);
    text = regtext::WriteRegText(tree, path == nullptr ? "" : path);
    return kRegistrySuccess;
}

std::string RegistryLocation() { return "HKEY_LOCAL_MACHINE"; }

std::string RegistryProblem() { return {}; }

}  // namespace snmphelper::platform
