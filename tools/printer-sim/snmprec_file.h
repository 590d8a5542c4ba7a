/* SPDX-License-Identifier: Apache-2.0 */
// Device recordings in the snmprec form that snmpsim serves and public
// projects keep their recordings in: one object a line, OID|TAG|VALUE,
// TAG the BER tag in decimal (2 INTEGER, 4 OCTET STRING, 5 NULL, 6 OBJECT
// IDENTIFIER, 64 IpAddress, 65 Counter32, 66 Gauge32, 67 TimeTicks,
// 68 Opaque, 70 Counter64), an "x" after it for a value in hex digits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/mib_store.h"

namespace printersim {

// Adds the recording's objects to `store`. Counter64 objects, which SNMPv1
// cannot carry, and lines of snmpsim's variation modules ("2:numeric") are
// skipped, as snmpsim skips them for SNMPv1. On failure `error` names the
// line and the store holds the lines before it.
bool LoadSnmprec(std::string_view text, std::string_view sourceName, MibStore &store, std::string &error);
bool LoadSnmprecFile(const std::string &path, MibStore &store, std::string &error);

// The *.snmprec files of a folder in name order, each read into a store of
// its own: a fleet of recorded printers. False when there are none.
bool LoadSnmprecFolder(const std::string &folder, std::vector<MibStore> &stores, std::vector<std::string> &names,
                       std::string &error);

}  // namespace printersim
