/* SPDX-License-Identifier: Apache-2.0 */
// What the registry says about each printer (its address record) and about
// the library's own timing, read anew on every use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snmphelper {

// Protocol codes: the value of `pProtocol`; `cProtocols` is a bit set of them.
inline constexpr std::uint8_t kProtocolIpx = 1;
inline constexpr std::uint8_t kProtocolIp = 2;
inline constexpr std::uint8_t kProtocolDlc = 4;

// The printer's key or its `MAC Address` cannot be read.
inline constexpr std::int32_t kPrinterRecordUnreadable = 20041;
// A setting of the `Snmp` key cannot be read; never leaves the library.
inline constexpr std::int32_t kSnmpSettingUnreadable = 25001;

// Where the printers' keys live, below HKEY_LOCAL_MACHINE, and what they hold.
inline constexpr const char kAdapterKeyPath[] = "Software\\Brelvin\\Palimar\\AdapterOnly";
inline constexpr const char kProtocolSetValue[] = "cProtocols";
inline constexpr const char kProtocolInUseValue[] = "pProtocol";
inline constexpr const char kMacAddressValue[] = "MAC Address";
inline constexpr const char kIpAddressValue[] = "IP Address";
inline constexpr const char kIpxAddressValue[] = "IPX Address";
// Opt-in values beside the address record: the community the printer's
// requests carry (also a default in the `Snmp` key), the host name its `IP
// Address` was resolved from (written and read by the administration side
// only: the library sends to the address), and the UDP port of its agent
// (161 without it).
inline constexpr const char kCommunityValue[] = "Community";
inline constexpr const char kHostNameValue[] = "Host Name";
inline constexpr const char kIpPortValue[] = "IP Port";

// Room of each address field, its terminating zero included.
inline constexpr std::size_t kAddressFieldSize = 22;
// Room for "<adapter key path>\<printer name>" and its terminating zero.
inline constexpr std::size_t kPrinterKeyPathSize = 128;

// String-table entries of the SNMP settings.
inline constexpr std::uint32_t kTimeoutValueEntry = 2;     // "UdpTimeOutInterval"
inline constexpr std::uint32_t kRetriesValueEntry = 7;     // "UdpTotalRetries"
inline constexpr std::uint32_t kBaseKeyEntry = 10;         // "Software\Brelvin\Palimar\"
inline constexpr std::uint32_t kSnmpKeyEntry = 13;         // "Snmp"
inline constexpr std::int32_t kDefaultTimeoutSeconds = 15;
inline constexpr std::int32_t kDefaultRetries = 5;

// The in-memory form of a printer's key. A plain value on its user's stack;
// the layout is shared with the product's other programs, so every field
// keeps its place and size, including those this library leaves empty.
struct PrinterAddressRecord {
    char reservedText1[257];
    char reservedText2[257];
    char macAddress[kAddressFieldSize];  // `MAC Address`, for DLC
    char ipAddress[kAddressFieldSize];   // `IP Address`, for UDP/IP
    char ipxAddress[kAddressFieldSize];  // `IPX Address`, for IPX
    char reservedAddress[kAddressFieldSize];
    std::uint16_t reservedNumber;
    char reservedText3[257];
    char reservedText4[257];
    std::uint8_t reservedByte;
    std::uint8_t cProtocols;  // bit set of protocol codes
    std::uint8_t pProtocol;   // protocol code to use; 0 when absent
};

static_assert(offsetof(PrinterAddressRecord, macAddress) == 514);
static_assert(offsetof(PrinterAddressRecord, ipAddress) == 536);
static_assert(offsetof(PrinterAddressRecord, ipxAddress) == 558);
static_assert(offsetof(PrinterAddressRecord, reservedNumber) == 602);
static_assert(offsetof(PrinterAddressRecord, reservedText3) == 604);
static_assert(offsetof(PrinterAddressRecord, reservedByte) == 1118);
static_assert(offsetof(PrinterAddressRecord, cProtocols) == 1119);
static_assert(offsetof(PrinterAddressRecord, pProtocol) == 1120);
static_assert(sizeof(PrinterAddressRecord) == 1122);

// Room of a community (at most 255 octets, RFC 1157 leaves it open; the
// encoder's records take 16-bit lengths) and of a host name (RFC 1035 2.3.4),
// terminators included.
inline constexpr std::size_t kCommunityFieldSize = 256;
inline constexpr std::size_t kHostNameFieldSize = 256;

// What a printer's key holds beyond the shared address record, read with it.
struct PrinterExtras {
    bool hasCommunity;    // `Community` is present
    bool communityUsable;  // ... and is text that fits kCommunityFieldSize
    char community[kCommunityFieldSize];
    std::uint16_t ipPort;  // `IP Port` (1-65535); 0 when absent or out of range
};

// Every text field empty, every number 0. Call before ReadPrinterAddressRecord.
void InitPrinterAddressRecord(PrinterAddressRecord *record);

// Fills `record` from the key of printer `printerName` (zero-terminated).
// 0 when the key opens with full access and holds a `MAC Address` that fits
// its field; kPrinterRecordUnreadable otherwise, also for a null, empty or
// too long name or one holding '\'. Other values that are missing or too
// long leave their fields as InitPrinterAddressRecord left them.
std::int32_t ReadPrinterAddressRecord(const char *printerName, PrinterAddressRecord *record);

// ReadPrinterAddressRecord, and the extras (may be null) from the same
// opening of the key. The extras are cleared first, and filled also when the
// record is unreadable for want of a `MAC Address`.
std::int32_t ReadPrinterSettings(const char *printerName, PrinterAddressRecord *record, PrinterExtras *extras);

// What ReadPrinterSettings gave, kept for a caller that needs the printer's
// record again from the same reading of the store.
struct PrinterSettingsRead {
    bool made = false;  // whether the key was read
    std::int32_t result = 0;
    PrinterAddressRecord record{};
    PrinterExtras extras{};
};

// The community a request to `printerName` carries when the caller names
// none: the printer's `Community` (read as the channel reads its record),
// else the `Snmp` key's, else none (the string table's entry 17 then). False when the value that applies is not
// usable text; `community` is then empty. `found` tells whether one applies.
// `read` (may be null): the printer's record as it was read for this.
bool ConfiguredCommunity(const char *printerName, char (&community)[kCommunityFieldSize], bool &found,
                         PrinterSettingsRead *read = nullptr);

// After a transport of protocol `failedProtocol` failed: stores in the
// printer's `pProtocol` the next protocol its `cProtocols` allows (IP -> DLC,
// IPX; IPX -> DLC, IP; DLC -> IP, IPX). 0 when a protocol was stored, 1 when
// nothing was changed, whatever the reason.
std::int32_t SwitchProtocol(const char *printerName, std::uint32_t failedProtocol);

// Reads value (string-table entry `valueEntry`) of key (entry 10 followed by
// entry `keyEntry`) into `buffer`. `size`: room in, length out; `type`
// receives the registry type. 0, or kSnmpSettingUnreadable on any failure.
std::int32_t ReadSnmpSetting(std::uint32_t keyEntry, std::uint32_t valueEntry, void *buffer, std::uint32_t *size,
                             std::uint32_t *type);

// The reply timeout in seconds and the retry count of a transaction; each
// falls back to its default when its setting is missing or not a REG_DWORD
// in 0..INT32_MAX.
void GetTimeoutAndRetries(std::int32_t *timeoutSeconds, std::int32_t *retries);

// `ReplyChecks` of the `Snmp` key (see snmphelper.h): which checks, beyond
// the request-id, a reply has to pass. Off (0) unless it is a REG_DWORD (or
// four REG_BINARY bytes, as the counts are read).
inline constexpr const char kReplyChecksValue[] = "ReplyChecks";
inline constexpr std::uint32_t kReplyCheckSender = 0x1;
inline constexpr std::uint32_t kReplyCheckUnpredictableIds = 0x2;

// GetTimeoutAndRetries and the reply checks from one opening of the key;
// any pointer may be null.
void GetTransactionSettings(std::int32_t *timeoutSeconds, std::int32_t *retries, std::uint32_t *replyChecks);

}  // namespace snmphelper
