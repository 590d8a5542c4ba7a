// HelperGetSNMPObjects: every object of one fixed group in one GetRequest.
#include <cstring>

#include "groups/object_groups.h"
#include "snmphelper.h"

namespace snmphelper {
namespace {

// Room of the working copy of a joined list; the largest list (969 bytes
// with its terminator) fits.
constexpr std::size_t kGroupListCopySize = 1024;

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
    const std::size_t length = strnlen(joined, kGroupListCopySize) + 1;
    if (length > kGroupListCopySize) return SNMP_RESULT_VARBIND_LIST_FAILED;

    // The engine splits the list in place; the joined list stays intact.
    char oidList[kGroupListCopySize];
    std::memcpy(oidList, joined, length);
    return HelperSNMPTransact(printerName, SNMP_REQUEST_GET, oidList, static_cast<uint32_t>(length),
                              valueBuffer, valueLength, GetObjectGroup(group).count);
}
