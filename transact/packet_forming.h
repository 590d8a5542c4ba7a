// Packet forming: a request described in text (request type, identifier
// list, value list) turned into a filled SnmpReqParam and encoded. The
// transaction engine forms its requests with the same steps.
#pragma once

#include <cstdint>

#include "platform/handles.h"
#include "snmphelper.h"

namespace snmphelper {

// String-table entry of the community every request carries, and the name
// used when that entry cannot be loaded.
inline constexpr std::uint32_t kCommunityEntry = 17;
inline constexpr const char kDefaultCommunity[] = "marlin";

// A zero-filled global-heap copy of `text` with its terminator; null for a
// null text or when the block cannot be allocated.
char *DuplicateString(const char *text);

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

}  // namespace snmphelper
