/* SPDX-License-Identifier: Apache-2.0 */
// Many printers from one process: the range of addresses they answer on and
// what each of them is told to show.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/faults.h"
#include "tools/printer-sim/printer_mib.h"

namespace printersim {

// The most printers one process serves.
constexpr std::size_t kMaxFleetSize = 16384;

// "10.0.0.1-10.0.0.200": every IPv4 address from the first to the last, in
// order, as dotted-decimal text. A single address is a range of one.
bool ParseAddressRange(std::string_view text, std::vector<std::string> &addresses, std::string &error);

// What one printer of the fleet shows besides what the whole run shows.
struct PrinterFaults {
    FaultPlan faults;
    std::vector<PrinterCondition> conditions;
};

// "ADDRESS=WORD": a fault (faults.h) or a printer condition for the printer
// at ADDRESS, added to `byAddress`.
bool ParseFaultAt(std::string_view text, std::map<std::string, PrinterFaults> &byAddress, std::string &error);

}  // namespace printersim
