/* SPDX-License-Identifier: Apache-2.0 */
// Response extraction: a decoded GetResponse written into the caller's two
// buffers as text, the identifiers comma-joined and the values as a value
// list that HelperDecodeValue reads back.
#pragma once

#include <cstdint>

#include "snmphelper.h"

namespace snmphelper {

// Writes the reply's identifiers and values into the caller's buffers.
//   varBindCount  out     the reply's variable count (may be null).
//   oidBuffer     out     the identifiers joined by commas, terminated.
//   oidSize       in/out  room of oidBuffer; on the way out the text's
//                         length + 2 (1 without variables) when complete,
//                         the room the whole text needs + 1 when not.
//   valueBuffer   out     the value items, terminated; its room is cleared.
//   valueSize     in/out  room of valueBuffer; on the way out the text's
//                         length when complete, the room the whole text
//                         needs when not.
// A null buffer or size counts as no room (and a null size gets no report).
// Returns true when both texts were written completely; false when one does
// not fit or a value (types 0, 4, 9 and unknown ones) has no item form. The
// buffers then hold what was written before the first item that failed.
// Every item is measured before it is written, so an OCTET STRING of any
// length is written whole when it fits and nothing is written past a room.
bool ExtractReplyValues(const SnmpReqParam &reply, std::uint16_t *varBindCount, char *oidBuffer,
                        std::uint32_t *oidSize, char *valueBuffer, std::uint32_t *valueSize);

}  // namespace snmphelper
