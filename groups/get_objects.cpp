// SPDX-License-Identifier: Apache-2.0
// HelperGetSNMPObjects: every object of one fixed group in one GetRequest.
#include <array>
#include <cstring>

#include "groups/object_groups.h"
#include "snmphelper.h"
#include "transact/transaction_engine.h"

namespace snmphelper {
namespace {

// Room of the reply's identifiers, which come back in place of the group's;
// the largest joined list (969 bytes with its terminator) fits.
constexpr std::size_t kGroupListRoom = 1024;
// More objects than the largest group (31) holds.
constexpr std::size_t kMostGroupObjects = 32;

}  // namespace
}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperGetSNMPObjects(const char *printerName,
                                                                       uint32_t group,
                                                                       char *valueBuffer,
                                                                       uint32_t *valueLength) {
    // A group past the table has no identifiers to build a request from.
    if (group >= kObjectGroupCount) return SNMP_RESULT_VARBIND_LIST_FAILED;
    // A joined list is missing only when its block could not be allocated.
    const char *joined = JoinedGroupList(group);
    if (joined == nullptr) return SNMP_RESULT_OUT_OF_MEMORY;
    const std::size_t length = strnlen(joined, kGroupListRoom) + 1;
    const ObjectGroup objects = GetObjectGroup(group);
    if (length > kGroupListRoom || objects.count > kMostGroupObjects) return SNMP_RESULT_VARBIND_LIST_FAILED;
    if (printerName == nullptr) return SNMP_RESULT_NO_REPLY;

    // The group's own identifiers are the bindings; the encoder only reads them.
    std::array<SnmpVarBind, kMostGroupObjects> bindings{};
    for (std::uint32_t i = 0; i < objects.count; ++i) {
        bindings[i].oid = const_cast<char *>(objects.identifiers[i]);
        bindings[i].oidLength = static_cast<std::uint16_t>(std::strlen(objects.identifiers[i]));
    }
    const auto oidRoom = static_cast<uint32_t>(length);
    const uint32_t valueRoom = valueLength == nullptr ? 0 : *valueLength;
    TransactionOptions options;
    options.messageRoom = PacketBufferSize(oidRoom, valueRoom);
    TypedReply reply;
    const int32_t result = RunTypedTransaction(printerName, SNMP_REQUEST_GET, {bindings.data(), objects.count},
                                               reply, options);
    if (reply.Record() == nullptr) return result;
    // The reply's identifiers land where the group's working copy always did.
    char oidList[kGroupListRoom];
    return DeliverReply(*reply.Record(), SNMP_REQUEST_GET, oidList, oidRoom, valueBuffer, valueLength);
}
