/* SPDX-License-Identifier: Apache-2.0 */
// Receiving-side BER primitives: value types by identifier, the contents of
// one primitive value, and object identifier contents as dotted text.
// Lengths (DecodeLength) and item framing (EnterItem) are in byte_cursor.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/ber_element.h"
#include "codec/byte_cursor.h"
#include "snmphelper.h"

namespace snmphelper {

// Dotted text of an object identifier is kept in blocks of this size: at most
// 511 characters and the terminating zero.
inline constexpr std::size_t kOidTextBlockSize = 512;
inline constexpr std::size_t kOidTextRoom = kOidTextBlockSize - 1;

// The value type of a received identifier's class and tag number: universal 2,
// 4, 5, 6 and application 0-4 (RFC 1155 3.2.3); SNMP_VALUE_NONE for anything
// else. `berClass` is the identifier's two high bits, so it may also be 2
// (context-specific) or 3 (private).
SnmpValueType MapBerType(BerClass berClass, std::uint32_t tagNumber);

// One primitive value read from the wire, before it is stored anywhere.
struct BerValue {
    SnmpValueType type = SNMP_VALUE_NONE;
    std::uint32_t number = 0;  // INTEGER (two's complement), Counter, Gauge, TimeTicks
    const std::uint8_t *octets =
        nullptr;  // OCTET STRING, Opaque, IpAddress: the contents in the input
    std::uint32_t octetCount = 0;
    // OBJECT IDENTIFIER: dotted text, zero-terminated; left uninitialised
    // (it is large, and only textLength characters are ever read).
    char text[kOidTextBlockSize];
    std::uint32_t textLength = 0;
};

// Reads the length and contents of one primitive value whose identifier octet
// the caller has already read. INTEGER, Counter, Gauge and TimeTicks accept any
// definite length, redundant leading octets included (no contents read as 0),
// but refuse a number outside their 32-bit range; IpAddress needs the length
// octet 4 and NULL the length octet 0; OBJECT IDENTIFIER is read as
// OidBerToText reads it (no contents: the empty text). On success the cursor
// stands after the contents; on failure it has not moved.
bool ReadBerValue(BerClass berClass, std::uint32_t tagNumber, ByteCursor &cursor, BerValue &value);

// Octets the value takes in the representation of SnmpVarBind.value: 4 for the
// numbers and IpAddress, the contents for OCTET STRING and Opaque, the
// characters of the text (no terminator) for OBJECT IDENTIFIER, 0 for NULL.
std::uint32_t StoredValueLength(const BerValue &value);

// Writes StoredValueLength(value) octets at `out`.
void StoreBerValue(const BerValue &value, void *out);

// ReadBerValue, then stores the value at `out`. `length` is in/out: the room of
// `out` on entry, the octets stored on success. Fails, cursor unmoved, when the
// value is malformed or does not fit the room.
bool DecodeBerValue(BerClass berClass, std::uint32_t tagNumber, ByteCursor &cursor, void *out,
                    std::uint32_t &length);

// Writes OBJECT IDENTIFIER contents (X.690 8.19) as dotted-decimal text into
// `text`, which must have room + 1 bytes; the text is always zero-terminated.
// The first sub-identifier gives two arcs, its value / 40 and the remainder.
// `length` receives the characters written. Fails for an unfinished last
// sub-identifier, a sub-identifier above 4294967295, or text longer than
// `room`; the text then ends at its last complete arc. No contents give the
// empty text.
bool OidBerToText(char *text, std::size_t room, const std::uint8_t *contents, std::size_t n,
                  std::size_t &length);

// Whether OidBerToText would take the contents into `room` characters;
// nothing is written.
bool OidBerFitsText(const std::uint8_t *contents, std::size_t n, std::size_t room);

// The arcs OidBerToText would write, as numbers (`arcs` is replaced); fails
// for an unfinished last sub-identifier or one above 4294967295.
bool OidBerToArcs(const std::uint8_t *contents, std::size_t n, std::vector<std::uint64_t> &arcs);

// Contents that continue an identifier: each sub-identifier one arc (no
// first pair), as OidBerToArcs reads them after the first.
bool SubidentifiersToArcs(const std::uint8_t *contents, std::size_t n, std::vector<std::uint64_t> &arcs);

}  // namespace snmphelper
