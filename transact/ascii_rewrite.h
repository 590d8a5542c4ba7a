/* SPDX-License-Identifier: Apache-2.0 */
// The printable form of a value text: every OCTET STRING item, whose raw
// octets may hold zero bytes and commas, rewritten as hexadecimal digits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snmphelper {

// Room of the work area the rewritten text is built in, terminator included.
inline constexpr std::size_t kAsciiWorkAreaSize = 512;

// Writes two upper-case hexadecimal digits per octet, high half first, and a
// terminating zero byte: `destination` needs 2 * count + 1 bytes.
void HexEncode(char *destination, const std::uint8_t *bytes, std::size_t count);

// Rewrites the value text in `valueText`, a buffer of `room` bytes, item by
// item: "2,3,abc" becomes "2,6,616263"; every other item is copied unchanged.
// Nothing is read at or past `room`. Returns true when the rewritten text
// (terminator included) has replaced the old one. Returns false, leaving the
// buffer as it was, when the rewritten text would not fit the work area or
// `room`, or when an OCTET STRING item's length is not a decimal number or
// runs past `room`: a cut text would silently lose values.
bool RewriteOctetStringsAsHex(char *valueText, std::uint32_t room);

}  // namespace snmphelper
