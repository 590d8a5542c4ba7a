/* SPDX-License-Identifier: Apache-2.0 */
// What the poll and status commands read of the configuration store beside
// the library's transactions: which printers there are, and the protocol
// the library last reached each of them by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace snmphelper::cli {

// The registered printers' names in stored order; nothing when the store
// cannot be read (`problem` says why). No printer key at all is an empty list.
std::optional<std::vector<std::string>> RegisteredPrinters(std::string &problem);

// Whether a command may go ahead with a printer: it is registered and the
// library can read its key; or it is not registered, or the library cannot
// read its key (both: the printer is unknown to the library); or the store
// itself cannot be read (permission denied, a broken file, ...).
enum class PrinterState { Usable, Unknown, Unreadable, StoreUnreadable };
struct PrinterLookup {
    PrinterState state = PrinterState::Usable;
    std::string problem;  // for a person, "" when usable
};
PrinterLookup LookUpPrinter(const std::string &printer);

// The printer's pProtocol value (1 IPX, 2 IP, 4 DLC); nothing when unset.
std::optional<std::uint32_t> ProtocolInUse(const std::string &printer);

// The `Community` value of an open key as `printer show` and `config show`
// print it: kNoCommunity, or that one is set; its text only when asked.
inline constexpr char kNoCommunity[] = "(none)";
std::string CommunityShown(platform::RegistryKey key, bool showSecrets);

}  // namespace snmphelper::cli
