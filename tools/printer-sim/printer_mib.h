/* SPDX-License-Identifier: Apache-2.0 */
// The Host Resources (RFC 2790) and Printer MIB (RFC 3805) objects of the
// built-in printer, and the printer conditions (toner low, paper jam, ...)
// that change them together as a real printer's events do.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/mib_store.h"

namespace printersim {

// The objects in the objects file form: device 1 of the Host Resources MIB is
// the printer; four toner cartridges and a waste toner box, three trays, one
// output bin, a front door, a console display and an alert table (empty
// while nothing is wrong).
std::string_view PrinterMibObjects();

enum class PrinterCondition { TonerLow, TonerEmpty, PaperJam, DoorOpen, TrayEmpty };

// "toner-low", "toner-empty", "paper-jam", "door-open", "tray-empty".
bool ParsePrinterCondition(std::string_view text, PrinterCondition &condition);
// The words ParsePrinterCondition takes, for messages.
const char *PrinterConditionWords();

// Puts the printer in the conditions: the supply or tray level, the cover,
// hrDeviceStatus, hrPrinterStatus, the hrPrinterDetectedErrorState bits, the
// console text and one alert row per condition all change together. The
// store must hold PrinterMibObjects().
void ApplyPrinterConditions(MibStore &store, const std::vector<PrinterCondition> &conditions);

}  // namespace printersim
