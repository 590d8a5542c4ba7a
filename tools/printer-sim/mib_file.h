/* SPDX-License-Identifier: Apache-2.0 */
// The objects file: one object per line, the form in which a printer is
// described to the simulator and in which --dump writes the built-in one.
//
//   OID TYPE VALUE [rw|ro] [range=LO..HI] [size=LO..HI] [fault=FAULT]...
//
// TYPE is INTEGER, STRING, HEX, IPADDRESS, COUNTER, GAUGE, TIMETICKS, OID,
// OPAQUE or NULL. STRING takes a word or a double-quoted text with the
// escapes \" \\ \n \t \xHH; HEX and OPAQUE take hex digit pairs ("" for
// none); NULL takes "-". TIMETICKS @uptime follows the agent's clock and
// COUNTER @snmp the agent's own snmp group counter of that name. "#" starts
// a comment. Objects are read-only unless marked rw.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/mib_store.h"

namespace printersim {

// Adds the objects of `text` to `store`, replacing objects of the same name.
// On failure `error` names the line ("<sourceName>:<line>: <what>") and the
// store holds the lines before it.
bool LoadObjects(std::string_view text, std::string_view sourceName, MibStore &store,
                 std::string &error);
bool LoadObjectsFile(const std::string &path, MibStore &store, std::string &error);

// Reads `text` line by line with `reader`; on failure `error` names the
// line ("<sourceName>:<line>: <what>"). The objects files and the device
// recordings (snmprec_file.h) share it.
using LineReader = bool (*)(std::string_view line, MibStore &store, std::string &error);
bool LoadLines(std::string_view text, std::string_view sourceName, LineReader reader, MibStore &store,
               std::string &error);
// The whole file; false with `error` set when it cannot be read.
bool ReadTextFile(const std::string &path, std::string &contents, std::string &error);

// Hex digit pairs ("00ff", either case) as octets; dotted-decimal a.b.c.d
// as four octets. False for anything else.
bool ParseHex(std::string_view text, std::vector<std::uint8_t> &octets);
bool ParseIpAddress(std::string_view text, std::array<std::uint8_t, 4> &address);

// Every object of `store` in the file form, in get-next order.
std::string FormatObjects(const MibStore &store);

}  // namespace printersim
