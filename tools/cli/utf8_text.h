/* SPDX-License-Identifier: Apache-2.0 */
// UTF-8 checks for text that goes into JSON: printers, agents and the
// registry may hand the tool any octets.
#pragma once

#include <string>

namespace snmphelper::cli {

// Whether the octets are well-formed UTF-8 (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(const std::string &octets);

// The octets with every one that is not part of a well-formed UTF-8
// sequence written as the four characters \xHH (a backslash already in the
// text is doubled, so the form stays unambiguous); valid text is unchanged
// apart from doubled backslashes only when something had to be escaped.
std::string EscapeInvalidUtf8(const std::string &octets);

}  // namespace snmphelper::cli
