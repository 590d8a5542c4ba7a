// SPDX-License-Identifier: Apache-2.0
#include "transact/packet_forming.h"

#include <algorithm>
#include <cstring>

#include "codec/pdu_encoder.h"
#include "platform/module_handle.h"
#include "platform/heap.h"
#include "platform/string_table.h"
#include "transact/printer_config.h"
#include "transact/request_id.h"
#include "transact/value_decoding.h"

namespace snmphelper {
namespace {

constexpr std::uint32_t kMaxVarBinds = 0xFFFF;  // varBindCount is 16-bit
constexpr std::uint32_t kMaxPacketBufferSize = 0xFFFF;

// Whether `oidList` holds at least `count` identifiers (one more than it has
// commas), counted without changing the text.
bool HoldsIdentifiers(const char *oidList, std::uint32_t count) {
    if (count == 0) return true;
    std::uint32_t identifiers = 1;
    for (const char *c = oidList; *c != '\0' && identifiers < count; ++c) {
        if (*c == ',') ++identifiers;
    }
    return identifiers >= count;
}

// Ends the identifier at `cursor` (its comma becomes a zero byte) and
// returns where the next one starts.
char *SplitIdentifier(char *cursor, SnmpVarBind &binding) {
    const std::size_t length = std::strcspn(cursor, ",");
    binding.oid = cursor;
    binding.oidLength = static_cast<std::uint16_t>(length > 0xFFFF ? 0xFFFF : length);
    if (cursor[length] != ',') return cursor + length;
    cursor[length] = '\0';
    return cursor + length + 1;
}

// Takes the entry's value off the value list. A value that could not be
// taken (malformed, cut by the list's end, or not allocated) leaves type 0,
// which the encoder refuses: an OCTET STRING with a null value and length 0
// would otherwise go out as an empty string.
void TakeValue(ValueListCursor &values, SnmpVarBind &binding) {
    binding.value = DecodeValueItem(values, binding.valueType, binding.valueLength);
    if (binding.value == nullptr && ItemCarriesValue(binding.valueType)) {
        binding.valueType = SNMP_VALUE_NONE;
    }
}

}  // namespace

char *DuplicateString(const char *text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    char *copy = static_cast<char *>(platform::HeapAllocZero(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

const char *LoadCommunityText(platform::ModuleHandle module, std::uint32_t entryId, const char *defaultName,
                              char (&text)[kCommunityTextRoom]) {
    std::memset(text, 0, sizeof text);
    const int length = platform::LoadStringResource(module, entryId, text, kCommunityTextRoom);
    return length > 0 ? text : defaultName;
}

bool SetCommunity(SnmpReqParam &record, platform::ModuleHandle module, std::uint32_t entryId,
                  const char *defaultName) {
    char loaded[kCommunityTextRoom];
    char *community = DuplicateString(LoadCommunityText(module, entryId, defaultName, loaded));
    if (community == nullptr) return false;
    record.community = community;
    record.communityLength = static_cast<std::uint16_t>(std::strlen(community));
    return true;
}

bool SetRequestType(SnmpReqParam &record, std::int32_t requestType) {
    switch (requestType) {
    case SNMP_REQUEST_GET:
        record.pduType = SNMP_PDU_GET_REQUEST;
        return true;
    case SNMP_REQUEST_GET_NEXT:
        record.pduType = SNMP_PDU_GET_NEXT_REQUEST;
        return true;
    case SNMP_REQUEST_SET:
        record.pduType = SNMP_PDU_SET_REQUEST;
        return true;
    default:
        return false;
    }
}

bool SetRequestId(SnmpReqParam &record, std::int32_t requestId) {
    record.requestId = requestId;
    return true;
}

bool BuildVarBindList(SnmpReqParam &record, std::uint32_t count, char *oidList,
                      std::uint32_t /*oidListSize: the list is zero-terminated text*/,
                      char *valueList, std::uint32_t valueListSize) {
    // Refused before anything is split, so the caller's list stays intact.
    if (oidList == nullptr || count > kMaxVarBinds || !HoldsIdentifiers(oidList, count)) {
        return false;
    }
    auto *bindings =
        static_cast<SnmpVarBind *>(platform::HeapAllocZero(count * sizeof(SnmpVarBind)));
    record.varBinds = bindings;
    if (bindings == nullptr) return false;

    char *oidCursor = oidList;
    ValueListCursor values{valueList, valueList == nullptr ? 0 : std::size_t{valueListSize}};
    for (std::uint32_t i = 0; i < count; ++i) {
        oidCursor = SplitIdentifier(oidCursor, bindings[i]);
        if (record.pduType == SNMP_PDU_SET_REQUEST) TakeValue(values, bindings[i]);
    }
    record.varBindCount = static_cast<std::uint16_t>(count);
    return true;
}

void FreeRequestContents(SnmpReqParam &record) {
    platform::HeapFree(record.community);
    record.community = nullptr;
    record.communityLength = 0;
    if (record.varBinds != nullptr) {
        for (std::uint16_t i = 0; i < record.varBindCount; ++i) {
            platform::HeapFree(record.varBinds[i].value);
        }
        platform::HeapFree(record.varBinds);
    }
    record.varBinds = nullptr;
    record.varBindCount = 0;
}

std::uint16_t PacketBufferSize(std::uint32_t oidListSize, std::uint32_t valueListSize) {
    const std::uint64_t size = (std::uint64_t{oidListSize} + valueListSize) * 2 + 50;
    return static_cast<std::uint16_t>(size > kMaxPacketBufferSize ? kMaxPacketBufferSize : size);
}

std::int32_t EncodeIntoMessageBlock(const SnmpReqParam &record, std::uint16_t room, EncodedRequest &request,
                                   NameForm names) {
    PreparedMessage prepared;
    prepared.entries = nullptr;
    if (!PrepareMessage(record, prepared, names)) return SNMP_RESULT_ENCODE_FAILED;
    // Too long a message gets the room, which SerializeMessage then refuses.
    std::uint16_t length = static_cast<std::uint16_t>(std::min<std::uint64_t>(MessageSize(prepared), room));
    auto *bytes = static_cast<std::uint8_t *>(platform::HeapAllocZero(length));
    if (bytes == nullptr) {
        FreePreparedMessage(prepared);
        return SNMP_RESULT_OUT_OF_MEMORY;
    }
    const int serialized = SerializeMessage(prepared, bytes, &length);
    FreePreparedMessage(prepared);
    if (serialized != 1) {
        platform::HeapFree(bytes);
        return SNMP_RESULT_ENCODE_FAILED;
    }
    request.bytes = bytes;
    request.length = length;
    return 0;
}

std::int32_t FormRequest(std::int32_t requestType, char *oidList, std::uint32_t oidListSize,
                         char *valueList, std::uint32_t valueListSize, std::uint32_t varCount,
                         std::int32_t &requestId, EncodedRequest &request) {
    SnmpReqParam record{};
    if (!SetCommunity(record, LibraryModuleHandle(), kCommunityEntry, kDefaultCommunity)) {
        return SNMP_RESULT_COMMUNITY_FAILED;
    }
    // An unknown request type consumes no request-id.
    if (!SetRequestType(record, requestType)) {
        FreeRequestContents(record);
        return SNMP_RESULT_BAD_REQUEST_TYPE;
    }
    requestId = NextRequestId();
    if (!SetRequestId(record, requestId)) {
        FreeRequestContents(record);
        return SNMP_RESULT_REQUEST_ID_FAILED;
    }
    if (!BuildVarBindList(record, varCount, oidList, oidListSize, valueList, valueListSize)) {
        FreeRequestContents(record);
        return SNMP_RESULT_VARBIND_LIST_FAILED;
    }

    std::uint16_t length = PacketBufferSize(oidListSize, valueListSize);
    auto *bytes = static_cast<std::uint8_t *>(platform::HeapAllocZero(length));
    if (bytes == nullptr) {
        FreeRequestContents(record);
        return SNMP_RESULT_OUT_OF_MEMORY;
    }
    const std::int32_t encoded = HelperSnmpEncodePdu(&record, bytes, &length);
    FreeRequestContents(record);
    if (encoded != SNMP_ENCODE_OK) {
        platform::HeapFree(bytes);
        return SNMP_RESULT_ENCODE_FAILED;
    }
    request.bytes = bytes;
    request.length = length;
    return 0;
}

}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API uint8_t *SNMPHELPER_CALL
HelperFormSNMPPacket(int32_t requestType, char *oidList, uint32_t oidListSize, char *valueList,
                     const uint32_t *valueListSize, uint32_t varCount, uint32_t *packetLength) {
    if (packetLength == nullptr) return nullptr;
    *packetLength = 0;
    if (oidList == nullptr) return nullptr;
    const std::uint32_t valueSize = valueListSize == nullptr ? 0 : *valueListSize;
    // The setting only matters until the counter has been moved once: read
    // the store for it only until then.
    if (!RequestIdsStartedUnpredictably()) {
        std::uint32_t replyChecks = 0;
        GetTransactionSettings(nullptr, nullptr, &replyChecks);
        if ((replyChecks & kReplyCheckUnpredictableIds) != 0) StartRequestIdsUnpredictably();
    }

    std::int32_t requestId = 0;
    EncodedRequest request;
    if (FormRequest(requestType, oidList, oidListSize, valueList, valueSize, varCount, requestId,
                    request) != 0) {
        return nullptr;
    }
    *packetLength = request.length;
    return request.bytes;
}
