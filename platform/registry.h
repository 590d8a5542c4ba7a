/* SPDX-License-Identifier: Apache-2.0 */
// The registry: keys under HKEY_LOCAL_MACHINE holding typed values. The
// library opens keys, reads values and rewrites one value; the administration
// tools also create, delete, list, import and export keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snmphelper::platform {

// An open key. Opaque; released with CloseRegistryKey.
struct RegistryKeyState;
using RegistryKey = RegistryKeyState *;

// Value types, with the numbers Windows gives them (REG_*). Any other type
// number is kept and handed back as raw bytes.
inline constexpr std::uint32_t kRegNone = 0;       // REG_NONE
inline constexpr std::uint32_t kRegSz = 1;         // REG_SZ: text and its terminating zero
inline constexpr std::uint32_t kRegExpandSz = 2;   // REG_EXPAND_SZ
inline constexpr std::uint32_t kRegBinary = 3;     // REG_BINARY
inline constexpr std::uint32_t kRegDword = 4;      // REG_DWORD: 4 bytes, little-endian
inline constexpr std::uint32_t kRegMultiSz = 7;    // REG_MULTI_SZ
inline constexpr std::uint32_t kRegQword = 11;     // REG_QWORD

// Access masks (KEY_*). Querying needs kKeyQueryValue, setting kKeySetValue.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Result codes, the Windows system error codes of the same meaning.
inline constexpr std::int32_t kRegistrySuccess = 0;           // ERROR_SUCCESS
inline constexpr std::int32_t kRegistryNotFound = 2;          // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kRegistryPathNotFound = 3;      // ERROR_PATH_NOT_FOUND: the store's folder is missing
inline constexpr std::int32_t kRegistryAccessDenied = 5;      // ERROR_ACCESS_DENIED
inline constexpr std::int32_t kRegistryNoMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::int32_t kRegistryInvalidParameter = 87; // ERROR_INVALID_PARAMETER
inline constexpr std::int32_t kRegistryMoreData = 234;        // ERROR_MORE_DATA
inline constexpr std::int32_t kRegistryCorrupt = 1009;        // ERROR_BADDB: the store cannot be parsed
inline constexpr std::int32_t kRegistryCannotRead = 1012;     // ERROR_CANTREAD
inline constexpr std::int32_t kRegistryCannotWrite = 1013;    // ERROR_CANTWRITE
inline constexpr std::int32_t kRegistryKeyDeleted = 1018;     // ERROR_KEY_DELETED
inline constexpr std::int32_t kRegistryKeyExists = 183;       // ERROR_ALREADY_EXISTS

// Opens `path` (components separated by '\', case-insensitive) under
// HKEY_LOCAL_MACHINE. Fails with kRegistryAccessDenied when the process may
// not read the store, or asks for write access and may not write it.
std::int32_t OpenRegistryKey(const char *path, std::uint32_t access, RegistryKey *key);

// Reads value `name` ("" for the default value). `type` (may be null)
// receives its type. `size` is the room of `data` on the way in and the
// value's length on the way out. With null `data` only the length is
// reported; with too small a room the result is kRegistryMoreData, `size`
// holds the length needed and `data` is left alone.
std::int32_t QueryRegistryValue(RegistryKey key, const char *name, std::uint32_t *type, void *data,
                                std::uint32_t *size);

// The number in a value's four octets, little-endian as a REG_DWORD holds it.
inline std::uint32_t RegistryDword(const std::uint8_t (&bytes)[4]) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Stores value `name` with `type` and `size` bytes of `data`, creating the
// value if the key lacks it. The key itself must still exist. Text types
// (kRegSz, kRegExpandSz, kRegMultiSz) must hold UTF-8.
std::int32_t SetRegistryValue(RegistryKey key, const char *name, std::uint32_t type, const void *data,
                              std::uint32_t size);

// Releases a key from OpenRegistryKey. Null does nothing.
void CloseRegistryKey(RegistryKey key);

// One reading of the store for several opens that make up one use of the
// configuration (a transaction's settings and its printer's key): while an
// object lives, the keys its thread opens come from what the first of those
// opens read, and the checks that open made are not made again. A change
// through the registry's own calls on that thread ends the sharing, so the
// next open reads the store anew and sees it. An object made while another
// lives on the same thread does nothing; End (or the destructor) lets the
// thread's opens read the store anew every time again.
class RegistryReading {
public:
    RegistryReading();
    ~RegistryReading();
    RegistryReading(const RegistryReading &) = delete;
    RegistryReading &operator=(const RegistryReading &) = delete;
    void End();

private:
    bool owner_;
};

// What the thread's reading shares, as a number: the same number while it
// shares the same store contents (across readings, while the store is
// unchanged), another once they change, 0 when no reading shares any. What
// one read under a number is what any other read under it finds.
std::uint64_t SharedReadingMark();

// --- For the administration tools only; the library creates no keys. ---

// Creates `path` and every missing key above it (and the store itself).
std::int32_t CreateRegistryKey(const char *path);

// Deletes `path` with everything below it.
std::int32_t DeleteRegistryKey(const char *path);

// Deletes value `name` of an open key (kKeySetValue needed).
std::int32_t DeleteRegistryValue(RegistryKey key, const char *name);

// Names of the subkeys, and of the values, of an open key, in stored order.
std::int32_t ListRegistrySubkeys(RegistryKey key, std::vector<std::string> &names);
std::int32_t ListRegistryValues(RegistryKey key, std::vector<std::string> &names);

// Merges a registry export (text as in a .reg file: "Windows Registry Editor
// Version 5.00" or "REGEDIT4", UTF-8 or UTF-16LE with its byte-order mark)
// into the store, as one atomic change. Only HKEY_LOCAL_MACHINE keys are
// accepted. On failure `problem` says what is wrong and where.
std::int32_t ImportRegistryText(const std::string &fileBytes, std::string &problem);

// What must hold of a key for ImportRegistryTextWhere to go ahead.
enum class KeyCondition { Absent, Present };

// ImportRegistryText, applied only when key `path` is as `condition` says,
// checked in the same step as the change: of two processes adding one key,
// one adds it and the other changes nothing. kRegistryKeyExists when the
// key is present and had to be absent; kRegistryKeyDeleted when it is
// absent and had to be present.
std::int32_t ImportRegistryTextWhere(const char *path, KeyCondition condition, const std::string &fileBytes,
                                     std::string &problem);

// Writes the key `path` ("" for all of HKEY_LOCAL_MACHINE) and everything
// below it as "Windows Registry Editor Version 5.00" text, UTF-8.
std::int32_t ExportRegistryText(const char *path, std::string &text);

// Where the store lives, for messages; and, when it cannot be parsed, what
// is wrong with it and on which line (empty when it parses or is absent).
std::string RegistryLocation();
std::string RegistryProblem();

}  // namespace snmphelper::platform
