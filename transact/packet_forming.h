/* SPDX-License-Identifier: Apache-2.0 */
// Packet forming: a request described in text (request type, identifier
// list, value list) turned into a filled SnmpReqParam and encoded. The
// export HelperFormSNMPPacket forms its packet through FormRequest; the
// transaction engine takes the same steps one by one, the text ones at its
// exported edge and the rest on typed bindings.
#pragma once

#include <cstdint>

#include "codec/name_form.h"
#include "platform/handles.h"
#include "snmphelper.h"

namespace snmphelper {

// String-table entry of the community every request carries, and the name
// used when that entry cannot be loaded.
inline constexpr std::uint32_t kCommunityEntry = 17;
inline constexpr const char kDefaultCommunity[] = "marlin";

// Room of the text the community is loaded into.
inline constexpr int kCommunityTextRoom = 256;

// A zero-filled global-heap copy of `text` with its terminator; null for a
// null text or when the block cannot be allocated.
char *DuplicateString(const char *text);

// Loads string-table entry `entryId` through `module` into `text` (room
// kCommunityTextRoom); returns `text`, or `defaultName` when nothing can be
// loaded.
const char *LoadCommunityText(platform::ModuleHandle module, std::uint32_t entryId, const char *defaultName,
                              char (&text)[kCommunityTextRoom]);

// Loads string-table entry `entryId` through `module` and stores a copy of it
// (of `defaultName` when nothing can be loaded) as the record's community.
// False when the copy cannot be allocated.
bool SetCommunity(SnmpReqParam &record, platform::ModuleHandle module, std::uint32_t entryId,
                  const char *defaultName);

// Maps the request type (0 get, 1 get-next, 2 set) to the PDU type; false,
// with the record unchanged, for any other type.
bool SetRequestType(SnmpReqParam &record, std::int32_t requestType);

// Stores the request-id.
bool SetRequestId(SnmpReqParam &record, std::int32_t requestId);

// Builds `count` variable bindings. Each takes the next identifier of
// `oidList`, split in place (the comma after it becomes a zero byte; the oid
// points into the caller's text) and, for a SetRequest record, the next value
// of `valueList`, none of whose items is read past `valueListSize` bytes.
// False, with nothing allocated and oidList untouched, when `count` exceeds
// 65535 or the number of identifiers in `oidList`; false when the array
// cannot be allocated. A value that cannot be taken (malformed, running past
// the list, or not allocated) is left null with type 0, which the encoder
// refuses; Opaque, NULL and unknown codes carry no value and keep their type.
bool BuildVarBindList(SnmpReqParam &record, std::uint32_t count, char *oidList,
                      std::uint32_t oidListSize, char *valueList, std::uint32_t valueListSize);

// Releases what the forming steps allocated (community, the first
// varBindCount values, the varBinds array) and clears those fields. The oid
// texts belong to the caller.
void FreeRequestContents(SnmpReqParam &record);

// Room of the block a request is encoded into: twice the two list sizes plus
// 50, capped at 65535, the most the encoder's 16-bit room can express.
std::uint16_t PacketBufferSize(std::uint32_t oidListSize, std::uint32_t valueListSize);

// An encoded request in its own zero-filled global-heap block.
struct EncodedRequest {
    std::uint8_t *bytes = nullptr;
    std::uint16_t length = 0;
};

// Encodes `record` into a zero-filled global-heap block of exactly the
// message's size, for a request that never leaves the library. A message
// longer than `room` fails. Returns 0 with `request` filled, 25008 when the
// record cannot be encoded or is too long, 25005 when the block cannot be
// allocated; nothing stays allocated on failure. `names`: how the bindings
// name their objects.
std::int32_t EncodeIntoMessageBlock(const SnmpReqParam &record, std::uint16_t room, EncodedRequest &request,
                                   NameForm names = NameForm::Text);

// Runs every forming step on the caller's text and encodes the record into a
// block of PacketBufferSize bytes, as HelperFormSNMPPacket hands it over.
// Returns 0 with `request` filled, or the result code of the step that
// failed: community 25004, request type 25007, request-id 25006, variable
// list 25003, packet buffer 25005, encoding 25008. `requestId` receives the
// request-id once one is taken; an unknown request type takes none. Nothing
// stays allocated on failure.
std::int32_t FormRequest(std::int32_t requestType, char *oidList, std::uint32_t oidListSize,
                         char *valueList, std::uint32_t valueListSize, std::uint32_t varCount,
                         std::int32_t &requestId, EncodedRequest &request);

}  // namespace snmphelper
