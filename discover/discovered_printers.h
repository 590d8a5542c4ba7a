/* SPDX-License-Identifier: Apache-2.0 */
// The printers a discovery has heard from, one record per device: a reply
// is joined to the record that shares its address on its transport or its
// hardware address (a printer's IPX node and DLC station are its adapter's
// address, which its MIB names as well).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "snmphelper.h"

namespace snmphelper {

// The objects a discovery asks for, in request order.
inline constexpr std::size_t kDiscoveryObjectCount = 6;
extern const std::array<const char *, kDiscoveryObjectCount> kDiscoveryObjects;

// Where a reply came from: its transport and the sender's address bytes
// (IP 4, IPX 10, DLC 6).
struct ReplySource {
    std::uint32_t protocol = 0;
    std::array<std::uint8_t, 10> address{};
};

// The address text a transport's SendTo takes for a sender: dotted decimal,
// 20 or 12 hex digits.
std::string SourceAddressText(const ReplySource &source);

class DiscoveredPrinters {
public:
    // Records that `source` answered, with `bindings` (those of a reply with
    // error-status 0; empty otherwise).
    void Add(const ReplySource &source, std::span<const SnmpVarBind> bindings);

    // Joins records that have come to share a key, then gives the records
    // in the order they first answered.
    std::vector<SnmpDiscoveredPrinter> Records();

private:
    struct Found {
        SnmpDiscoveredPrinter record;
        std::vector<std::string> keys;  // "ip:...", "ipx:...", "dlc:...", "hw:..."
        // Its hardware address is its IPX node or DLC station, which reach
        // it, rather than what its MIB says.
        bool linkHardware = false;
    };
    static void Merge(Found &into, const Found &from);

    std::vector<Found> found_;
};

}  // namespace snmphelper
