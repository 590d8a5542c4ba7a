// SPDX-License-Identifier: Apache-2.0
// Printer address records and the SNMP settings, read from the registry.
#include "transact/printer_config.h"

#include <climits>
#include <cstring>

#include "hive/reg_text.h"
#include "platform/module_handle.h"
#include "platform/registry.h"
#include "platform/string_table.h"

namespace snmphelper {
namespace {

using platform::RegistryKey;

constexpr std::int32_t kSwitched = 0;
constexpr std::int32_t kNothingSwitched = 1;
constexpr std::size_t kSettingKeyPathSize = 256;

// Which protocol to try after one has failed: the first of the two whose bit
// the printer's `cProtocols` sets.
struct Fallback {
    std::uint32_t failed;
    std::uint8_t first;
    std::uint8_t second;
};
constexpr Fallback kFallbacks[] = {
    {kProtocolIp, kProtocolDlc, kProtocolIpx},
    {kProtocolIpx, kProtocolDlc, kProtocolIp},
    {kProtocolDlc, kProtocolIp, kProtocolIpx},
};

// "<adapter key path>\<printer name>". Refuses a name that does not fit the
// path buffer, and one that is empty or holds '\' (it would name the adapter
// key itself or a key below another printer's).
bool FormPrinterKeyPath(const char *printerName, char (&path)[kPrinterKeyPathSize]) {
    if (printerName == nullptr || printerName[0] == '\0' || std::strchr(printerName, '\\') != nullptr) {
        return false;
    }
    // Every transaction forms it: copied, not printed.
    constexpr std::size_t kPrefixLength = sizeof kAdapterKeyPath - 1;
    const std::size_t nameLength = std::strlen(printerName);
    if (kPrefixLength + 1 + nameLength >= sizeof path) return false;
    std::memcpy(path, kAdapterKeyPath, kPrefixLength);
    path[kPrefixLength] = '\\';
    std::memcpy(path + kPrefixLength + 1, printerName, nameLength + 1);
    return true;
}

// The low byte of a value of up to 4 bytes (little-endian, whatever its
// registry type), into `field`. A missing or longer value leaves it alone.
void QueryProtocolByte(RegistryKey key, const char *name, std::uint8_t &field) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    if (platform::QueryRegistryValue(key, name, nullptr, bytes, &size) == platform::kRegistrySuccess) {
        field = bytes[0];
    }
}

// An address text of at most 21 characters, into `field`. Whatever the
// registry type, the bytes must leave room for the terminating zero: a value
// that fills the whole field without one counts as too long, so the field is
// always terminated. True when the field was filled.
bool QueryAddressText(RegistryKey key, const char *name, char (&field)[kAddressFieldSize]) {
    char text[kAddressFieldSize] = {};
    std::uint32_t size = sizeof text;
    if (platform::QueryRegistryValue(key, name, nullptr, text, &size) != platform::kRegistrySuccess) return false;
    if (size == sizeof text && text[sizeof text - 1] != '\0') return false;
    std::memcpy(field, text, sizeof field);
    return true;
}

enum class TextValue { Absent, Unusable, Read };

// A text value of at most `room` - 1 octets, terminated, into `field`; one
// that is not text, too long or holds a zero byte before its end is unusable.
template <std::size_t room>
TextValue QueryTextValue(RegistryKey key, const char *name, char (&field)[room]) {
    char text[room] = {};
    std::uint32_t size = sizeof text;
    std::uint32_t type = 0;
    const std::int32_t read = platform::QueryRegistryValue(key, name, &type, text, &size);
    if (read == platform::kRegistryNotFound) return TextValue::Absent;
    if (read != platform::kRegistrySuccess || type != platform::kRegSz) return TextValue::Unusable;
    // Stored with its terminator; a value without one must leave room for it.
    std::size_t length = size;
    if (length > 0 && text[length - 1] == '\0') --length;
    if (length >= room || std::memchr(text, '\0', length) != nullptr) return TextValue::Unusable;
    std::memcpy(field, text, length);
    field[length] = '\0';
    return TextValue::Read;
}


// A number of the `Snmp` key: a 4-byte REG_DWORD (or REG_BINARY); anything
// else, a text value in particular, is none.
bool FourByteNumber(std::int32_t read, const std::uint8_t (&bytes)[4], std::uint32_t size, std::uint32_t type,
                    std::uint32_t &number) {
    if (read != 0 || size != sizeof bytes || (type != platform::kRegDword && type != platform::kRegBinary)) {
        return false;
    }
    number = platform::RegistryDword(bytes);
    return true;
}

// `IP Port`: a REG_DWORD of 1 to 65535, else 0 (the agent port).
std::uint16_t QueryPort(RegistryKey key) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    std::uint32_t type = 0;
    std::uint32_t port = 0;
    const std::int32_t read = platform::QueryRegistryValue(key, kIpPortValue, &type, bytes, &size) ==
                                      platform::kRegistrySuccess
                                  ? 0
                                  : kSnmpSettingUnreadable;
    if (!FourByteNumber(read, bytes, size, type, port) || type != platform::kRegDword || port > 0xFFFF) return 0;
    return static_cast<std::uint16_t>(port);
}

void QueryExtras(RegistryKey key, PrinterExtras &extras) {
    const TextValue community = QueryTextValue(key, kCommunityValue, extras.community);
    extras.hasCommunity = community != TextValue::Absent;
    extras.communityUsable = community == TextValue::Read;
    extras.ipPort = QueryPort(key);
}

// A count: a number up to INT32_MAX, else the default.
std::int32_t CountOrDefault(std::int32_t read, const std::uint8_t (&bytes)[4], std::uint32_t size,
                            std::uint32_t type, std::int32_t defaultCount) {
    std::uint32_t count = 0;
    if (!FourByteNumber(read, bytes, size, type, count) || count > static_cast<std::uint32_t>(INT32_MAX)) {
        return defaultCount;
    }
    return static_cast<std::int32_t>(count);
}

// Opens the key that string-table entry `keyEntry` names below the base key.
bool OpenSettingKey(platform::ModuleHandle module, std::uint32_t keyEntry, RegistryKey &key) {
    char path[kSettingKeyPathSize];
    const int baseLength = platform::LoadStringResource(module, kBaseKeyEntry, path, sizeof path);
    if (baseLength <= 0 ||
        platform::LoadStringResource(module, keyEntry, path + baseLength, static_cast<int>(sizeof path) - baseLength) <= 0) {
        return false;
    }
    return platform::OpenRegistryKey(path, platform::kKeyRead, &key) == platform::kRegistrySuccess;
}

// Reads the value that string-table entry `valueEntry` names from an open key.
std::int32_t QuerySetting(platform::ModuleHandle module, RegistryKey key, std::uint32_t valueEntry, void *buffer,
                          std::uint32_t *size, std::uint32_t *type) {
    char name[kSettingKeyPathSize];
    if (platform::LoadStringResource(module, valueEntry, name, sizeof name) > 0 &&
        platform::QueryRegistryValue(key, name, type, buffer, size) == platform::kRegistrySuccess) {
        return 0;
    }
    return kSnmpSettingUnreadable;
}

// One count of an open `Snmp` key.
std::int32_t ReadCount(platform::ModuleHandle module, RegistryKey key, std::uint32_t valueEntry,
                       std::int32_t defaultCount) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    std::uint32_t type = 0;
    const std::int32_t read = QuerySetting(module, key, valueEntry, bytes, &size, &type);
    return CountOrDefault(read, bytes, size, type, defaultCount);
}

// Everything a transaction reads from the `Snmp` key, read with one open.
struct SnmpSettings {
    std::int32_t timeoutSeconds = kDefaultTimeoutSeconds;
    std::int32_t retries = kDefaultRetries;
    std::uint32_t replyChecks = 0;
    TextValue community = TextValue::Absent;
    char communityText[kCommunityFieldSize] = {};
};

SnmpSettings ReadSnmpSettings() {
    SnmpSettings settings;
    const platform::ModuleHandle module = LibraryModuleHandle();
    RegistryKey key = nullptr;
    if (!OpenSettingKey(module, kSnmpKeyEntry, key)) return settings;
    settings.timeoutSeconds = ReadCount(module, key, kTimeoutValueEntry, kDefaultTimeoutSeconds);
    settings.retries = ReadCount(module, key, kRetriesValueEntry, kDefaultRetries);
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    std::uint32_t type = 0;
    const bool read =
        platform::QueryRegistryValue(key, kReplyChecksValue, &type, bytes, &size) == platform::kRegistrySuccess;
    FourByteNumber(read ? 0 : kSnmpSettingUnreadable, bytes, size, type, settings.replyChecks);
    settings.community = QueryTextValue(key, kCommunityValue, settings.communityText);
    platform::CloseRegistryKey(key);
    return settings;
}

// The `Snmp` key's settings, read once per contents of the store that the
// thread's reading shares: a fleet's transactions formed together under one
// reading (and the next, while the store is unchanged) share one read.
const SnmpSettings &CurrentSnmpSettings() {
    thread_local std::uint64_t mark = 0;
    thread_local SnmpSettings settings;
    const std::uint64_t shared = platform::SharedReadingMark();
    if (shared != 0 && shared == mark) return settings;
    settings = ReadSnmpSettings();
    // Read under the mark the reading has now (its first open may have
    // been this one).
    mark = platform::SharedReadingMark();
    return settings;
}

}  // namespace

void InitPrinterAddressRecord(PrinterAddressRecord *record) {
    if (record != nullptr) std::memset(record, 0, sizeof *record);
}

std::int32_t ReadPrinterAddressRecord(const char *printerName, PrinterAddressRecord *record) {
    return ReadPrinterSettings(printerName, record, nullptr);
}

std::int32_t ReadPrinterSettings(const char *printerName, PrinterAddressRecord *record, PrinterExtras *extras) {
    if (extras != nullptr) std::memset(extras, 0, sizeof *extras);
    char path[kPrinterKeyPathSize];
    if (record == nullptr || !FormPrinterKeyPath(printerName, path)) return kPrinterRecordUnreadable;
    // Full access, as the product's other programs expect: a process that may
    // not write the key cannot use the printer.
    RegistryKey key = nullptr;
    if (platform::OpenRegistryKey(path, platform::kKeyAllAccess, &key) != platform::kRegistrySuccess) {
        return kPrinterRecordUnreadable;
    }
    QueryProtocolByte(key, kProtocolSetValue, record->cProtocols);
    QueryProtocolByte(key, kProtocolInUseValue, record->pProtocol);
    QueryAddressText(key, kIpxAddressValue, record->ipxAddress);
    QueryAddressText(key, kIpAddressValue, record->ipAddress);
    const bool macRead = QueryAddressText(key, kMacAddressValue, record->macAddress);
    if (extras != nullptr) QueryExtras(key, *extras);
    platform::CloseRegistryKey(key);
    return macRead ? 0 : kPrinterRecordUnreadable;
}

bool ConfiguredCommunity(const char *printerName, char (&community)[kCommunityFieldSize], bool &found,
                         PrinterSettingsRead *read) {
    // The printer's key as the channel reads it; a key the channel cannot
    // open leaves no transport to send by, whatever the community.
    PrinterSettingsRead own;
    PrinterSettingsRead &settings = read != nullptr ? *read : own;
    InitPrinterAddressRecord(&settings.record);
    settings.result = ReadPrinterSettings(printerName, &settings.record, &settings.extras);
    settings.made = true;
    const PrinterExtras &extras = settings.extras;
    TextValue value = !extras.hasCommunity ? TextValue::Absent
                      : extras.communityUsable ? TextValue::Read
                                               : TextValue::Unusable;
    if (value != TextValue::Absent) std::memcpy(community, extras.community, sizeof community);
    if (value == TextValue::Absent) {
        const SnmpSettings &snmp = CurrentSnmpSettings();
        value = snmp.community;
        if (value == TextValue::Read) std::memcpy(community, snmp.communityText, sizeof community);
    }
    found = value != TextValue::Absent;
    if (value != TextValue::Read) community[0] = '\0';
    return value != TextValue::Unusable;
}

std::int32_t SwitchProtocol(const char *printerName, std::uint32_t failedProtocol) {
    char path[kPrinterKeyPathSize];
    if (!FormPrinterKeyPath(printerName, path)) return kNothingSwitched;
    RegistryKey key = nullptr;
    if (platform::OpenRegistryKey(path, platform::kKeyRead | platform::kKeySetValue, &key) !=
        platform::kRegistrySuccess) {
        return kNothingSwitched;
    }
    std::uint8_t reachable[4] = {};
    std::uint32_t size = sizeof reachable;
    std::uint32_t type = 0;
    std::int32_t result = kNothingSwitched;
    if (platform::QueryRegistryValue(key, kProtocolSetValue, &type, reachable, &size) == platform::kRegistrySuccess) {
        for (const Fallback &fallback : kFallbacks) {
            if (fallback.failed != failedProtocol) continue;
            std::uint8_t next = 0;
            if ((reachable[0] & fallback.first) != 0) {
                next = fallback.first;
            } else if ((reachable[0] & fallback.second) != 0) {
                next = fallback.second;
            }
            if (next == 0) break;
            // `pProtocol` takes the type of `cProtocols`, except that four
            // binary bytes are never stored as text.
            const std::uint8_t value[4] = {next, 0, 0, 0};
            const std::uint32_t storedType = platform::regtext::IsTextType(type) ? platform::kRegDword : type;
            if (platform::SetRegistryValue(key, kProtocolInUseValue, storedType, value, sizeof value) ==
                platform::kRegistrySuccess) {
                result = kSwitched;
            }
            break;
        }
    }
    platform::CloseRegistryKey(key);
    return result;
}

std::int32_t ReadSnmpSetting(std::uint32_t keyEntry, std::uint32_t valueEntry, void *buffer, std::uint32_t *size,
                             std::uint32_t *type) {
    if (size == nullptr) return kSnmpSettingUnreadable;
    const platform::ModuleHandle module = LibraryModuleHandle();
    RegistryKey key = nullptr;
    if (!OpenSettingKey(module, keyEntry, key)) return kSnmpSettingUnreadable;
    const std::int32_t result = QuerySetting(module, key, valueEntry, buffer, size, type);
    platform::CloseRegistryKey(key);
    return result;
}

void GetTimeoutAndRetries(std::int32_t *timeoutSeconds, std::int32_t *retries) {
    GetTransactionSettings(timeoutSeconds, retries, nullptr);
}

// Every setting from one opening of the `Snmp` key: each open reads the
// whole store, and a transaction needs them all.
void GetTransactionSettings(std::int32_t *timeoutSeconds, std::int32_t *retries, std::uint32_t *replyChecks) {
    const SnmpSettings &settings = CurrentSnmpSettings();
    if (timeoutSeconds != nullptr) *timeoutSeconds = settings.timeoutSeconds;
    if (retries != nullptr) *retries = settings.retries;
    if (replyChecks != nullptr) *replyChecks = settings.replyChecks;
}

}  // namespace snmphelper
