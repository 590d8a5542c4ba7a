/* SPDX-License-Identifier: Apache-2.0 */
// The request encoder: an SnmpReqParam to one SNMPv1 message (RFC 1157 4.1).
// First every item is rendered and every enclosing length computed
// (PrepareMessage); then the message is written front to back in one pass
// (SerializeMessage), so the shortest length forms are used without moving or
// patching anything.
//
// The rendered items live in the PreparedMessage itself, on the caller's
// stack: a request of up to kInlineVarBinds bindings makes no heap allocation
// at all, which keeps encoding cheap for the short requests printers get.
// Larger requests take one global-heap block for their entries.
#pragma once

#include <cstdint>

#include "codec/name_form.h"
#include "snmphelper.h"

namespace snmphelper {

// Most octets one rendered item may take: identifier, at most three length
// octets, and 256 content octets.
inline constexpr std::uint32_t kItemBlockSize = 260;

// Room for object identifier contents.
inline constexpr int kOidScratchSize = 256;

// Bindings whose items fit the message's own storage.
inline constexpr std::uint32_t kInlineVarBinds = 32;

// One VarBind SEQUENCE: where its name contents and its rendered value item
// are in the item store, and their sizes.
struct PreparedVarBind {
    std::uint32_t nameOffset;
    std::uint16_t nameLength;  // contents octets of the OBJECT IDENTIFIER
    std::uint32_t valueOffset;
    std::uint16_t valueItemLength;  // the whole value item
    bool valueFailed;               // the value could not be rendered
    std::uint32_t length;           // name item + value item
};

// The whole message with every item rendered and every length known.
struct PreparedMessage {
    std::uint8_t pduTag;
    std::uint32_t messageLength;
    std::uint32_t pduLength;
    std::uint32_t listLength;
    const std::uint8_t *community;
    std::uint16_t communityLength;
    bool communityFailed;  // longer than 256 octets, or missing
    std::uint8_t requestIdItem[7];
    std::uint8_t requestIdItemLength;
    std::uint32_t count;
    PreparedVarBind *entries;  // inlineEntries, or a heap block for large requests
    std::uint8_t *items;       // inlineItems, or a heap block for large requests
    PreparedVarBind inlineEntries[kInlineVarBinds];
    std::uint8_t inlineItems[kInlineVarBinds * 2 * kItemBlockSize];
};

// Renders every item of `record` into `prepared` and computes every length.
// False when the PDU type is not 0, 1 or 3, varBinds is null with a non-zero
// count, a name's text is missing, empty or refused by OidTextToBer (with
// NameForm::Encoded: names that are not contents OidTextToBer writes), or the
// storage of a large request cannot be allocated (nothing stays allocated
// then). An item that cannot be rendered does not stop the preparation: it is
// marked failed, and the serializer refuses the message.
// A prepared message is released with FreePreparedMessage.
bool PrepareMessage(const SnmpReqParam &record, PreparedMessage &prepared, NameForm names = NameForm::Text);

// The octets SerializeMessage writes for `prepared`.
std::uint64_t MessageSize(const PreparedMessage &prepared);

// Writes the message into `buffer`, whose room is `*length`. Returns 1 and sets
// `*length` to the octets written, or 0 (with `*length` unchanged and nothing
// written) when the message does not fit or holds a failed item.
int SerializeMessage(const PreparedMessage &prepared, std::uint8_t *buffer, std::uint16_t *length);

// Releases the storage of a large request. The message may be prepared again.
void FreePreparedMessage(PreparedMessage &prepared);

}  // namespace snmphelper
