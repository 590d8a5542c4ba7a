/* SPDX-License-Identifier: Apache-2.0 */
// Sending-side BER helpers: object identifier text to contents octets, and
// definite lengths (X.690 8.1.3).
#pragma once

#include <cstddef>
#include <cstdint>

namespace snmphelper {

// Converts dotted-decimal text ("1.3.6.1.2.1.1.1.0") into OBJECT IDENTIFIER
// contents octets (X.690 8.19) in `buffer`, at most `room` of them.
// The first two arcs share one octet (first x 40 + second, at most 127, the
// second at most 39); an empty arc counts as 0. Returns the octets written,
// 0 for the empty text, or -1 for a negative room, a null text, a character
// other than a digit or a dot, an arc above 4294967295, a first pair that does
// not fit one octet, or contents that do not fit the room.
int OidTextToBer(std::uint8_t *buffer, int room, const char *text);

// Whether `n` octets are contents as OidTextToBer writes them into `room`:
// at least one, a first sub-identifier of one octet, and every other one
// finished, without a leading 0x80 group and at most 4294967295.
bool OidContentsValid(const std::uint8_t *contents, std::size_t n, std::size_t room);

// A 64-bit number's sub-identifier octets (X.690 8.19.2) into `out`; their count.
inline constexpr std::size_t kMostSubidentifierOctets = 10;
std::size_t WriteSubidentifier(std::uint64_t value, std::uint8_t (&out)[kMostSubidentifierOctets]);

// Writes `length` in the shortest definite form: one octet below 128, else
// 0x80 + k followed by the k octets of the length. Returns the octets
// written, or 0 when they do not fit `room` (nothing is written then).
std::uint32_t EncodeLength(std::uint32_t length, std::uint8_t *buffer, std::uint32_t room);

// The octets EncodeLength writes for `length`: 1 to 5.
std::uint32_t LengthOfLength(std::uint32_t length);

// INTEGER-style contents (X.690 8.3), at most 5 octets, as a view into the
// caller's `octets`.
struct IntegerContents {
    std::uint8_t octets[5];
    std::uint32_t first;  // index of the first contents octet
    const std::uint8_t *data() const { return octets + first; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(sizeof octets) - first; }
};

// An unsigned number in as few octets as possible, with a 00 in front when
// the first octet has its high bit set: 0 -> 00, 128 -> 00 80.
IntegerContents UnsignedContents(std::uint32_t v);

// A signed number in its shortest two's complement: -1 -> FF, -129 -> FF 7F.
IntegerContents SignedContents(std::int32_t v);

}  // namespace snmphelper
