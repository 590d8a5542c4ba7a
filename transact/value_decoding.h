/* SPDX-License-Identifier: Apache-2.0 */
// Value text: the items of a value list ("1,42,2,3,abc,3,192.168.1.20")
// turned one at a time into typed value blocks ready for the encoder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snmphelper {

// A position in a caller's value list and how many bytes of the caller's
// buffer follow it. Every read stays inside those bytes.
struct ValueListCursor {
    char *position;         // null once a raw item has ended the list
    std::size_t remaining;  // bytes of the buffer from position on
};

// The bound the export uses, which cannot know the caller's buffer: searches
// then stop only at the text's terminator.
inline constexpr std::size_t kUnknownTextSize = static_cast<std::size_t>(-1);

// Takes the next item off the value list, replacing its separators with zero
// bytes, and returns its value in a zero-filled global-heap block (null when
// the item has no value, is malformed or the block cannot be allocated).
//   cursor       in/out  moved to the start of the next item; at the
//                        terminator after the list's last text item, null
//                        after a raw item (types 10-15) that ends the list.
//   valueType    out     the item's type code (2 for the raw types); left
//                        unchanged when no type code could be read.
//   valueLength  out     octets in the block (characters for type 8); left
//                        unchanged for items without a value.
// Item forms by type code:
//   1, 5, 6, 7  decimal text up to the next comma or the end: 4 octets,
//               host order, taken modulo 2^32
//   2           decimal length n, comma, n raw octets, one separator
//   3           address text up to the next comma or the end: 4 octets,
//               network order
//   8           dotted-decimal text up to the next comma or the end: the
//               zero-terminated text, as the encoder and response
//               extraction hold it
//   10-15       6, 3, 2, 6, 4, 10 raw octets, one separator; sent as type 2
//   any other   no value text; the next item starts right after the comma
// A list without a comma, an OCTET STRING without the comma after its length,
// or raw data running past the buffer gives null and leaves the cursor where
// it was.
std::uint8_t *DecodeValueItem(ValueListCursor &cursor, std::int32_t &valueType,
                              std::uint32_t &valueLength);

// Whether items of this type (as DecodeValueItem stores it) carry a value
// text, so that a null value means the item could not be taken: types 1, 2,
// 3, 5, 6, 7 and 8.
bool ItemCarriesValue(std::int32_t valueType);

// Decimal text of `length` characters: leading white space skipped, one sign
// allowed, digits up to the first other character, modulo 2^32; 0 when there
// are no digits.
std::uint32_t ParseDecimal(const char *text, std::size_t length);

}  // namespace snmphelper
