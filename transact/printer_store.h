/* SPDX-License-Identifier: Apache-2.0 */
// Writing, reading and removing printers' keys: the checks a printer record
// has to pass, the form its values are stored in, and one atomic change of
// the store per write. HelperPrinterAdd and the others are its exports; the
// command-line tool calls it directly and words the problems itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snmphelper.h"

namespace snmphelper {

// What is wrong with a printer name; None when a key can have it.
enum class NameProblem { None, Empty, TooLong, Backslash, ControlCharacter, NotUtf8 };
NameProblem CheckPrinterName(const char *name);
// The longest name whose key path still fits the library's path buffer.
std::size_t MaxPrinterNameLength();

// What is wrong with a record, and which protocol a protocol problem is about.
enum class RecordProblem {
    None,
    Name,                    // see CheckPrinterName
    Unterminated,            // a text fills its field without a terminator
    IpNotDottedQuad,         // not a.b.c.d, each 0-255 without leading zeros
    IpNotAPrinter,           // 0.0.0.0 or 255.255.255.255
    IpxMalformed,
    MacMalformed,
    NoAddress,
    UnknownProtocolBits,     // cProtocols or pProtocol beyond 1, 2, 4
    ProtocolWithoutAddress,  // a bit of cProtocols whose address is missing
    UseNotAmongProtocols,    // pProtocol not in cProtocols
    PortOutOfRange,
    PortWithoutIp,
    CommunityNotText,        // control characters
    HostNameInvalid,         // empty labels, characters a host name cannot hold, or all digits
    HostUnresolved,
};

// A record checked, and its values in the form the key stores them.
struct StoredPrinter {
    std::string name;
    std::string ip;
    std::string ipx;
    std::string mac;
    std::string community;
    std::string hostName;
    std::uint8_t protocols = 0;
    std::uint8_t use = 0;
    std::uint16_t port = 0;
};

struct PrinterCheck {
    RecordProblem problem = RecordProblem::None;
    NameProblem nameProblem = NameProblem::None;
    std::uint32_t protocol = 0;  // for ProtocolWithoutAddress and UseNotAmongProtocols
};

// Checks `record` (its recordSize aside) and fills `stored`: addresses
// normalised (upper-case hex without separators), a host name resolved into
// the IP address, default protocols as snmphelper.h describes them.
PrinterCheck PreparePrinter(const SnmpPrinterRecord &record, StoredPrinter &stored);

// A community the store can hold: at most 255 octets of UTF-8 text without
// control characters.
bool IsStorableCommunity(const std::string &community);

// Whether text of only digits and dots is meant: such text is an address,
// never a host name (the resolver would read "1.2.3" as 1.2.0.3).
bool LooksNumeric(const std::string &text);

// How a write treats an existing key.
enum class PrinterWrite {
    Add,      // refused when the printer exists
    Replace,  // the key replaced whole
    Update,   // refused when it does not exist; other values kept
};

// Writes the printer as one change of the store. 0 or an SNMP_RESULT_* code
// of the printer-record functions; `registryCode` receives the store's own
// code when that failed (for messages).
std::int32_t WritePrinter(const StoredPrinter &printer, PrinterWrite how, std::int32_t &registryCode);

// Fills every field but recordSize of `record` from the printer's key.
std::int32_t ReadPrinter(const char *name, SnmpPrinterRecord &record, std::int32_t &registryCode);

std::int32_t RemovePrinter(const char *name, std::int32_t &registryCode);

// The registered printers' names in stored order (none without a key).
std::int32_t ListPrinters(std::vector<std::string> &names, std::int32_t &registryCode);

// The printer-record result for a result of the registry's calls.
std::int32_t StoreResult(std::int32_t registryCode);

}  // namespace snmphelper
