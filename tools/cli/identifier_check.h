/* SPDX-License-Identifier: Apache-2.0 */
// Strict checks of the object identifiers a user types, before anything is
// sent: the library's conversion takes any text and would send something
// else than was meant ("3.6.1" as 2.46.1, "1..3" as 1.0.3).
#pragma once

#include <string>
#include <vector>

namespace snmphelper::cli {

// Checks one identifier: dotted decimal, one leading dot accepted (as
// net-snmp prints them), at least two arcs, each 0 to 4294967295; a first
// arc of 0, 1 or 2 and, under 0 and 1, a second arc below 40 (X.690 8.19.4).
// On success `normalized` is the text without its leading dot; otherwise
// `problem` names the fault and its position, counted from 1 in the text as
// given, e.g. "'1..3': empty arc at position 3".
bool CheckIdentifier(const std::string &text, std::string &normalized, std::string &problem);

// CheckIdentifier for each; stops at the first that fails.
bool CheckIdentifiers(const std::vector<std::string> &texts, std::vector<std::string> &normalized,
                      std::string &problem);

}  // namespace snmphelper::cli
