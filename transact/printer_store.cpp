// SPDX-License-Identifier: Apache-2.0
#include "transact/printer_store.h"

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "hive/reg_text.h"
#include "platform/registry.h"
#include "transact/dotted_quad.h"
#include "transact/printer_config.h"
#include "transport/udp_transport.h"

namespace snmphelper {
namespace {

using platform::RegistryKey;

// The C record's layout, the same for 32-bit and 64-bit callers.
static_assert(offsetof(SnmpPrinterRecord, name) == 16);
static_assert(offsetof(SnmpPrinterRecord, ipAddress) == 144);
static_assert(offsetof(SnmpPrinterRecord, community) == 210);
static_assert(offsetof(SnmpPrinterRecord, hostName) == 466);
static_assert(sizeof(SnmpPrinterRecord) == 724);
static_assert(SNMP_PRINTER_ADDRESS_SIZE == kAddressFieldSize);
static_assert(SNMP_PRINTER_TEXT_SIZE == kCommunityFieldSize && SNMP_PRINTER_TEXT_SIZE == kHostNameFieldSize);
static_assert(SNMP_PROTOCOL_IPX == kProtocolIpx && SNMP_PROTOCOL_IP == kProtocolIp &&
              SNMP_PROTOCOL_DLC == kProtocolDlc);
static_assert(SNMP_RESULT_PRINTER_RECORD_UNREADABLE == kPrinterRecordUnreadable);

constexpr std::uint8_t kAllProtocols = kProtocolIpx | kProtocolIp | kProtocolDlc;

std::string PrinterKeyPath(const std::string &name) { return std::string(kAdapterKeyPath) + "\\" + name; }

bool IsHexDigits(const std::string &text) {
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
    }
    return true;
}

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool HasControlCharacter(const std::string &text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

bool IsDottedQuad(const std::string &text) {
    platform::Ipv4Address address;
    return ParseDottedQuad(text, address);
}

// RFC 1123 2.1: letters, digits and hyphens in dot-separated labels of at
// most 63 characters (a final dot allowed); not all digits and dots.
bool IsHostName(const std::string &text) {
    if (text.empty() || LooksNumeric(text)) return false;
    std::size_t label = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-' && c != '_') return false;
        if (++label > 63) return false;
    }
    return true;
}

// 8 hex digits of network, 12 of node: the 20 digits the IPX transport
// reads; "net:node" and "net.node" are joined.
bool NormalizeIpx(const std::string &text, std::string &digits) {
    digits = text;
    if (text.size() == 21 && (text[8] == ':' || text[8] == '.')) digits = text.substr(0, 8) + text.substr(9);
    if (digits.size() != 20 || !IsHexDigits(digits)) return false;
    digits = Upper(digits);
    return true;
}

// 12 hex digits, as the DLC transport reads them; six pairs separated by
// ':' or '-' (the same one throughout) are joined.
bool NormalizeMac(const std::string &text, std::string &digits) {
    digits = text;
    if (text.size() == 17 && (text[2] == ':' || text[2] == '-')) {
        digits.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i % 3 == 2) {
                if (text[i] != text[2]) return false;
            } else {
                digits += text[i];
            }
        }
    }
    if (digits.size() != 12 || !IsHexDigits(digits)) return false;
    digits = Upper(digits);
    return true;
}

// A text field of the record, or false when it fills its field unterminated.
template <std::size_t room>
bool FieldText(const char (&field)[room], std::string &text) {
    const void *end = std::memchr(field, '\0', room);
    if (end == nullptr) return false;
    text.assign(field, static_cast<const char *>(end));
    return true;
}

PrinterCheck Problem(RecordProblem problem, std::uint32_t protocol = 0) {
    PrinterCheck check;
    check.problem = problem;
    check.protocol = protocol;
    return check;
}

// The addresses: each given one normalised, a host name resolved.
PrinterCheck PrepareAddresses(const SnmpPrinterRecord &record, StoredPrinter &stored) {
    std::string ip;
    std::string ipx;
    std::string mac;
    if (!FieldText(record.ipAddress, ip) || !FieldText(record.ipxAddress, ipx) ||
        !FieldText(record.macAddress, mac) || !FieldText(record.community, stored.community) ||
        !FieldText(record.hostName, stored.hostName)) {
        return Problem(RecordProblem::Unterminated);
    }
    if (!IsStorableCommunity(stored.community)) return Problem(RecordProblem::CommunityNotText);
    if (!stored.hostName.empty()) {
        if (!IsHostName(stored.hostName)) return Problem(RecordProblem::HostNameInvalid);
        char dotted[kDottedAddressSize];
        if (!ResolveHostAddress(stored.hostName.c_str(), dotted)) return Problem(RecordProblem::HostUnresolved);
        ip = dotted;
    }
    if (!ip.empty()) {
        if (!IsDottedQuad(ip)) return Problem(RecordProblem::IpNotDottedQuad);
        if (ip == "0.0.0.0" || ip == "255.255.255.255") return Problem(RecordProblem::IpNotAPrinter);
        stored.ip = ip;
    }
    if (!ipx.empty() && !NormalizeIpx(ipx, stored.ipx)) return Problem(RecordProblem::IpxMalformed);
    if (!mac.empty() && !NormalizeMac(mac, stored.mac)) return Problem(RecordProblem::MacMalformed);
    return {};
}

// cProtocols and pProtocol against the addresses, defaults filled in.
PrinterCheck PrepareProtocols(const SnmpPrinterRecord &record, StoredPrinter &stored) {
    std::uint8_t addressed = 0;
    if (!stored.ip.empty()) addressed |= kProtocolIp;
    if (!stored.ipx.empty()) addressed |= kProtocolIpx;
    if (!stored.mac.empty()) addressed |= kProtocolDlc;
    if (addressed == 0) return Problem(RecordProblem::NoAddress);
    if ((record.cProtocols & ~std::uint32_t{kAllProtocols}) != 0 ||
        (record.pProtocol != 0 && record.pProtocol != kProtocolIp && record.pProtocol != kProtocolIpx &&
         record.pProtocol != kProtocolDlc)) {
        return Problem(RecordProblem::UnknownProtocolBits);
    }
    stored.protocols = record.cProtocols == 0 ? addressed : static_cast<std::uint8_t>(record.cProtocols);
    for (std::uint8_t protocol : {kProtocolIp, kProtocolIpx, kProtocolDlc}) {
        if ((stored.protocols & protocol) != 0 && (addressed & protocol) == 0) {
            return Problem(RecordProblem::ProtocolWithoutAddress, protocol);
        }
    }
    if (record.pProtocol != 0) {
        if ((stored.protocols & record.pProtocol) == 0) {
            return Problem(RecordProblem::UseNotAmongProtocols, record.pProtocol);
        }
        stored.use = static_cast<std::uint8_t>(record.pProtocol);
    } else {
        // IP when the printer has it, as it is the usual way to reach one.
        for (std::uint8_t preferred : {kProtocolIp, kProtocolDlc, kProtocolIpx}) {
            if ((stored.protocols & preferred) != 0) {
                stored.use = preferred;
                break;
            }
        }
    }
    if (record.ipPort > 0xFFFF) return Problem(RecordProblem::PortOutOfRange);
    if (record.ipPort != 0 && stored.ip.empty()) return Problem(RecordProblem::PortWithoutIp);
    stored.port = static_cast<std::uint16_t>(record.ipPort);
    return {};
}

std::string DwordText(std::uint32_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
    return text;
}

// A .reg string: backslashes and quotes escaped.
std::string Quoted(const std::string &text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// One value line; an empty text (or 0 port) removes the value on an update
// and is left out otherwise.
void AppendText(std::string &text, const char *name, const std::string &value, bool removeEmpty) {
    if (!value.empty()) {
        text += Quoted(name) + "=" + Quoted(value) + "\n";
    } else if (removeEmpty) {
        text += Quoted(name) + "=-\n";
    }
}

// The printer's key as one registry change: every value appears at once, so
// no reader ever sees the key half written. The library reads a printer only
// when its key holds `MAC Address`, so a printer without DLC gets an empty one.
std::string PrinterKeyText(const StoredPrinter &printer, PrinterWrite how) {
    const std::string header = "HKEY_LOCAL_MACHINE\\" + PrinterKeyPath(printer.name);
    const bool update = how == PrinterWrite::Update;
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    if (how == PrinterWrite::Replace) text += "[-" + header + "]\n\n";
    text += "[" + header + "]\n";
    text += Quoted(kProtocolSetValue) + "=" + DwordText(printer.protocols) + "\n";
    text += Quoted(kProtocolInUseValue) + "=" + DwordText(printer.use) + "\n";
    text += Quoted(kMacAddressValue) + "=" + Quoted(printer.mac) + "\n";
    AppendText(text, kIpAddressValue, printer.ip, update);
    AppendText(text, kIpxAddressValue, printer.ipx, update);
    AppendText(text, kCommunityValue, printer.community, update);
    AppendText(text, kHostNameValue, printer.hostName, update);
    if (printer.port != 0) {
        text += Quoted(kIpPortValue) + "=" + DwordText(printer.port) + "\n";
    } else if (update) {
        text += Quoted(kIpPortValue) + "=-\n";
    }
    return text;
}

// Whether the printer's key exists: kRegistrySuccess, kRegistryNotFound or
// why the store could not say.
std::int32_t PrinterKeyState(const std::string &name) {
    RegistryKey key = nullptr;
    const std::int32_t code = platform::OpenRegistryKey(PrinterKeyPath(name).c_str(), platform::kKeyRead, &key);
    platform::CloseRegistryKey(key);
    return code;
}

template <std::size_t room>
void CopyField(char (&field)[room], const std::string &text) {
    if (text.size() >= room) return;
    std::memcpy(field, text.c_str(), text.size() + 1);
}

std::string QueryText(RegistryKey key, const char *name) {
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    if (platform::QueryRegistryValue(key, name, &type, nullptr, &size) != platform::kRegistrySuccess ||
        !platform::regtext::IsTextType(type)) {
        return "";
    }
    std::string text(size, '\0');
    if (platform::QueryRegistryValue(key, name, nullptr, text.data(), &size) != platform::kRegistrySuccess) return "";
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::uint32_t QueryNumber(RegistryKey key, const char *name) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    if (platform::QueryRegistryValue(key, name, nullptr, bytes, &size) != platform::kRegistrySuccess) return 0;
    return platform::RegistryDword(bytes);
}

bool AcceptableRecord(const SnmpPrinterRecord *record) {
    return record != nullptr && record->recordSize == sizeof(SnmpPrinterRecord);
}

}  // namespace

NameProblem CheckPrinterName(const char *name) {
    if (name == nullptr || name[0] == '\0') return NameProblem::Empty;
    const std::string text = name;
    if (text.size() > MaxPrinterNameLength()) return NameProblem::TooLong;
    if (text.find('\\') != std::string::npos) return NameProblem::Backslash;
    if (HasControlCharacter(text)) return NameProblem::ControlCharacter;
    // The registry keeps names as UTF-8; any other octets would be stored
    // under another name, or not found again.
    if (!platform::regtext::IsValidUtf8(text)) return NameProblem::NotUtf8;
    return NameProblem::None;
}

std::size_t MaxPrinterNameLength() { return kPrinterKeyPathSize - 1 - (sizeof kAdapterKeyPath - 1) - 1; }

bool IsStorableCommunity(const std::string &community) {
    return community.size() < kCommunityFieldSize && !HasControlCharacter(community) &&
           platform::regtext::IsValidUtf8(community);
}

bool LooksNumeric(const std::string &text) {
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
}

PrinterCheck PreparePrinter(const SnmpPrinterRecord &record, StoredPrinter &stored) {
    stored = StoredPrinter{};
    if (std::memchr(record.name, '\0', sizeof record.name) == nullptr) return Problem(RecordProblem::Unterminated);
    if (const NameProblem name = CheckPrinterName(record.name); name != NameProblem::None) {
        PrinterCheck check = Problem(RecordProblem::Name);
        check.nameProblem = name;
        return check;
    }
    stored.name = record.name;
    if (PrinterCheck check = PrepareAddresses(record, stored); check.problem != RecordProblem::None) return check;
    return PrepareProtocols(record, stored);
}

std::int32_t StoreResult(std::int32_t registryCode) {
    switch (registryCode) {
        case platform::kRegistrySuccess:
            return 0;
        case platform::kRegistryNotFound:
            return SNMP_RESULT_NO_SUCH_PRINTER;
        case platform::kRegistryAccessDenied:
            return SNMP_RESULT_STORE_DENIED;
        default:
            return SNMP_RESULT_STORE_FAILED;
    }
}

std::int32_t WritePrinter(const StoredPrinter &printer, PrinterWrite how, std::int32_t &registryCode) {
    // An add asks whether the key is there only with the change, under the
    // store's lock: asking first as well would read the store twice.
    if (how != PrinterWrite::Add) {
        registryCode = PrinterKeyState(printer.name);
        if (registryCode != platform::kRegistrySuccess && registryCode != platform::kRegistryNotFound) {
            return StoreResult(registryCode);
        }
        const bool exists = registryCode == platform::kRegistrySuccess;
        if (how == PrinterWrite::Update && !exists) return SNMP_RESULT_NO_SUCH_PRINTER;
    }
    // Whether the key is there is asked again with the change, under the
    // store's lock: another process may have added or removed it since.
    std::string problem;
    const std::string text = PrinterKeyText(printer, how);
    if (how == PrinterWrite::Replace) {
        registryCode = platform::ImportRegistryText(text, problem);
    } else {
        registryCode = platform::ImportRegistryTextWhere(
            PrinterKeyPath(printer.name).c_str(),
            how == PrinterWrite::Add ? platform::KeyCondition::Absent : platform::KeyCondition::Present, text,
            problem);
    }
    if (registryCode == platform::kRegistryKeyExists) return SNMP_RESULT_PRINTER_EXISTS;
    if (registryCode == platform::kRegistryKeyDeleted) return SNMP_RESULT_NO_SUCH_PRINTER;
    // A missing key here is the store's folder, not the printer.
    return registryCode == platform::kRegistryNotFound ? SNMP_RESULT_STORE_FAILED : StoreResult(registryCode);
}

std::int32_t ReadPrinter(const char *name, SnmpPrinterRecord &record, std::int32_t &registryCode) {
    registryCode = platform::kRegistrySuccess;
    if (CheckPrinterName(name) != NameProblem::None) return SNMP_RESULT_PRINTER_INVALID;
    RegistryKey key = nullptr;
    registryCode = platform::OpenRegistryKey(PrinterKeyPath(name).c_str(), platform::kKeyRead, &key);
    if (registryCode != platform::kRegistrySuccess) return StoreResult(registryCode);
    const std::uint32_t recordSize = record.recordSize;
    std::memset(&record, 0, sizeof record);
    record.recordSize = recordSize;
    CopyField(record.name, name);
    record.cProtocols = QueryNumber(key, kProtocolSetValue) & 0xFF;
    record.pProtocol = QueryNumber(key, kProtocolInUseValue) & 0xFF;
    const std::uint32_t port = QueryNumber(key, kIpPortValue);
    record.ipPort = port <= 0xFFFF ? port : 0;
    CopyField(record.ipAddress, QueryText(key, kIpAddressValue));
    CopyField(record.ipxAddress, QueryText(key, kIpxAddressValue));
    CopyField(record.macAddress, QueryText(key, kMacAddressValue));
    CopyField(record.community, QueryText(key, kCommunityValue));
    CopyField(record.hostName, QueryText(key, kHostNameValue));
    platform::CloseRegistryKey(key);
    return 0;
}

std::int32_t RemovePrinter(const char *name, std::int32_t &registryCode) {
    registryCode = platform::kRegistrySuccess;
    if (CheckPrinterName(name) != NameProblem::None) return SNMP_RESULT_PRINTER_INVALID;
    registryCode = platform::DeleteRegistryKey(PrinterKeyPath(name).c_str());
    return StoreResult(registryCode);
}

std::int32_t ListPrinters(std::vector<std::string> &names, std::int32_t &registryCode) {
    names.clear();
    RegistryKey adapters = nullptr;
    registryCode = platform::OpenRegistryKey(kAdapterKeyPath, platform::kKeyRead, &adapters);
    if (registryCode == platform::kRegistryNotFound) {
        registryCode = platform::kRegistrySuccess;
        return 0;
    }
    if (registryCode == platform::kRegistrySuccess) registryCode = platform::ListRegistrySubkeys(adapters, names);
    platform::CloseRegistryKey(adapters);
    return StoreResult(registryCode);
}

}  // namespace snmphelper

using namespace snmphelper;

namespace {

// Every export: a record checked, then written; no exception leaves.
std::int32_t CheckAndWrite(const SnmpPrinterRecord *record, PrinterWrite how) {
    if (!AcceptableRecord(record)) return SNMP_RESULT_PRINTER_INVALID;
    try {
        StoredPrinter stored;
        const PrinterCheck check = PreparePrinter(*record, stored);
        if (check.problem == RecordProblem::HostUnresolved) return SNMP_RESULT_HOST_UNRESOLVED;
        if (check.problem != RecordProblem::None) return SNMP_RESULT_PRINTER_INVALID;
        std::int32_t registryCode = 0;
        return WritePrinter(stored, how, registryCode);
    } catch (const std::bad_alloc &) {
        return SNMP_RESULT_STORE_FAILED;
    }
}

}  // namespace

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterAdd(const SnmpPrinterRecord *record,
                                                                   uint32_t flags) {
    if ((flags & ~std::uint32_t{SNMP_PRINTER_REPLACE}) != 0) return SNMP_RESULT_PRINTER_INVALID;
    return CheckAndWrite(record, (flags & SNMP_PRINTER_REPLACE) != 0 ? PrinterWrite::Replace : PrinterWrite::Add);
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterUpdate(const SnmpPrinterRecord *record) {
    return CheckAndWrite(record, PrinterWrite::Update);
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterRead(const char *printerName,
                                                                    SnmpPrinterRecord *record) {
    if (!AcceptableRecord(record)) return SNMP_RESULT_PRINTER_INVALID;
    try {
        std::int32_t registryCode = 0;
        return ReadPrinter(printerName, *record, registryCode);
    } catch (const std::bad_alloc &) {
        return SNMP_RESULT_STORE_FAILED;
    }
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterRemove(const char *printerName) {
    try {
        std::int32_t registryCode = 0;
        return RemovePrinter(printerName, registryCode);
    } catch (const std::bad_alloc &) {
        return SNMP_RESULT_STORE_FAILED;
    }
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperPrinterList(char *names, uint32_t *size) {
    if (size == nullptr) return SNMP_RESULT_PRINTER_INVALID;
    try {
        std::vector<std::string> listed;
        std::int32_t registryCode = 0;
        if (const std::int32_t result = ListPrinters(listed, registryCode); result != 0) return result;
        std::uint64_t needed = 1;
        for (const std::string &name : listed) needed += name.size() + 1;
        if (names == nullptr || needed > *size) {
            *size = static_cast<std::uint32_t>(needed);
            return SNMP_RESULT_LIST_DOES_NOT_FIT;
        }
        char *at = names;
        for (const std::string &name : listed) {
            std::memcpy(at, name.c_str(), name.size() + 1);
            at += name.size() + 1;
        }
        *at = '\0';
        *size = static_cast<std::uint32_t>(needed);
        return 0;
    } catch (const std::bad_alloc &) {
        return SNMP_RESULT_STORE_FAILED;
    }
}
