/* SPDX-License-Identifier: Apache-2.0 */
// The agent's own BER primitives: a bounded reading cursor and the
// measure-then-write helpers of the encoder. Only the definite length forms
// and single-octet identifiers that SNMPv1 uses are handled (RFC 1157 3.2.2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/printer-sim/sim_oid.h"

namespace printersim {

constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagNull = 0x05;
constexpr std::uint8_t kTagObjectId = 0x06;
constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagIpAddress = 0x40;
constexpr std::uint8_t kTagCounter = 0x41;
constexpr std::uint8_t kTagGauge = 0x42;
constexpr std::uint8_t kTagTimeTicks = 0x43;
constexpr std::uint8_t kTagOpaque = 0x44;

constexpr std::uint8_t kConstructedBit = 0x20;

// Walks received octets; every read checks what remains first, so no input
// can make it read past its end.
class BerCursor {
public:
    BerCursor() = default;
    explicit BerCursor(std::span<const std::uint8_t> data) : rest_(data) {}

    bool AtEnd() const { return rest_.empty(); }
    std::size_t Remaining() const { return rest_.size(); }
    std::span<const std::uint8_t> Rest() const { return rest_; }

    // Reads one item: its identifier octet, its length, and a cursor over
    // exactly its contents; moves past the whole item. Fails (and leaves the
    // cursor where it was) on a high-tag-number identifier, an indefinite or
    // over-long length, or contents that run past the end.
    bool ReadItem(std::uint8_t &tag, BerCursor &contents);
    // As ReadItem, and the identifier must be `expectedTag`.
    bool ExpectItem(std::uint8_t expectedTag, BerCursor &contents);

private:
    std::span<const std::uint8_t> rest_;
};

// Contents of INTEGER: 1 to 4 octets, two's complement.
bool DecodeSigned(std::span<const std::uint8_t> contents, std::int32_t &value);
// Contents of Counter, Gauge, TimeTicks: 1 to 4 octets, or 5 with a leading
// zero octet (RFC 1155 3.2.3.3).
bool DecodeUnsigned(std::span<const std::uint8_t> contents, std::uint32_t &value);
// Contents of an OBJECT IDENTIFIER: every sub-identifier finished, none above
// 32 bits, at most kMaxOidArcs arcs.
bool DecodeOidContents(std::span<const std::uint8_t> contents, Oid &oid);

// Shortest contents for each kind of number.
std::vector<std::uint8_t> SignedContents(std::int32_t value);
std::vector<std::uint8_t> UnsignedContents(std::uint32_t value);
// The name must have at least two arcs and valid first arcs (ParseOid's rules).
std::vector<std::uint8_t> OidContents(const Oid &oid);
// Their sizes, measured without writing them (a reply is sized before it is encoded).
std::size_t SignedContentsSize(std::int32_t value);
std::size_t OidContentsSize(const Oid &oid);

// Octets of a definite length field in its shortest form.
std::size_t LengthOfLength(std::size_t length);
// Identifier, length and contents of an item with `contentLength` octets.
std::size_t ItemSize(std::size_t contentLength);
void AppendHeader(std::vector<std::uint8_t> &out, std::uint8_t tag, std::size_t contentLength);
void AppendItem(std::vector<std::uint8_t> &out, std::uint8_t tag,
                std::span<const std::uint8_t> contents);

}  // namespace printersim
