// The request encoder: an SnmpReqParam to one SNMPv1 message (RFC 1157 4.1).
// First every primitive item is rendered into its own block and every
// enclosing length computed (PrepareMessage); then the message is written
// front to back in one pass (SerializeMessage), so the shortest length forms
// are used without moving or patching anything.
#pragma once

#include <cstdint>

#include "codec/ber_element.h"
#include "snmphelper.h"

namespace snmphelper {

// Room of the block each rendered item lives in: identifier, at most three
// length octets, and 256 content octets.
inline constexpr std::uint32_t kItemBlockSize = 260;

// Room of the scratch block for object identifier contents.
inline constexpr int kOidScratchSize = 256;

// The length recorded for an item that could not be made or rendered. No
// 16-bit room holds it after the octets in front of it, and the serializer
// refuses it in any case.
inline constexpr std::uint16_t kFailedItemLength = 0xFFFF;

// One VarBind SEQUENCE, its items rendered.
struct PreparedVarBind {
    std::uint8_t tag;
    std::uint16_t length;    // name item length + value item length
    std::uint8_t *nameItem;  // kItemBlockSize octets
    std::uint16_t nameItemLength;
    std::uint8_t *valueItem;  // kItemBlockSize octets
    std::uint16_t valueItemLength;
};

// The whole message with every item rendered and every length known.
struct PreparedMessage {
    std::uint8_t messageTag;
    std::uint32_t messageLength;
    std::uint8_t *version;        // 02 01 00
    std::uint8_t *communityItem;  // kItemBlockSize octets
    std::uint16_t communityItemLength;
    std::uint8_t pduTag;
    std::uint32_t pduLength;
    std::uint8_t *requestIdItem;  // 7 octets
    std::int32_t requestIdItemLength;
    std::uint8_t *errorStatus;  // 02 01 00
    std::uint8_t *errorIndex;   // 02 01 00
    std::uint8_t listTag;
    std::uint32_t listLength;
    std::uint32_t count;
    PreparedVarBind *entries;  // `count` entries
};

// The element for the value of a SetRequest entry, or null when it cannot be
// made: a type outside 1-9, a null value that the type reads, an object
// identifier text that OidTextToBer refuses or that is empty, or a failed
// allocation. OCTET STRING and Opaque take the low 16 bits of valueLength.
// `oidScratch` is a block of kOidScratchSize octets for type 8.
BerElement *BerElementForValue(std::int32_t valueType, const std::uint8_t *value,
                               std::uint32_t valueLength, std::uint8_t *oidScratch);

// Renders every item of `record` and computes every length. Null when one of
// the encoder's own blocks cannot be allocated, the PDU type is not 0, 1 or 3,
// varBinds is null with a non-zero count, or a name's text is missing, empty
// or refused by OidTextToBer. An item that cannot be rendered does not stop
// the preparation: it is recorded with kFailedItemLength.
PreparedMessage *PrepareMessage(const SnmpReqParam &record);

// Writes the message into `buffer`, whose room is `*length`. Returns 1 and sets
// `*length` to the octets written, or 0 (with `*length` unchanged) when the
// message does not fit or holds a failed item.
int SerializeMessage(const PreparedMessage *prepared, std::uint8_t *buffer, std::uint16_t *length);

// Frees the message and every block it holds. Null does nothing.
void FreePreparedMessage(PreparedMessage *prepared);

}  // namespace snmphelper
