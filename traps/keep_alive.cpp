// HelperTrapKeepAlive: one GetRequest to a printer that holds this host as a
// trap destination; the request itself keeps the registration alive, so the
// reply is not awaited.
#include <cstring>

#include "platform/debug_output.h"
#include "platform/heap.h"
#include "snmphelper.h"
#include "transact/transaction_engine.h"

namespace snmphelper {
namespace {

// An object of the printers' private MIB (also in object group 22).
constexpr char kKeepAliveObject[] = "1.3.6.1.4.1.236.11.5.1.1.9.1.0";

}  // namespace
}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperTrapKeepAlive(const char *printerName) {
    // The engine splits an identifier list in place: hand it a copy, never
    // the constant.
    auto *oidList = static_cast<char *>(platform::HeapAllocZero(sizeof kKeepAliveObject));
    if (oidList == nullptr) {
        platform::OutputDebugText("HelperTrapKeepAlive:Unable to allocate memory");
        return SNMP_RESULT_OUT_OF_MEMORY;
    }
    std::memcpy(oidList, kKeepAliveObject, sizeof kKeepAliveObject);
    char valueText[1] = {'\0'};
    uint32_t valueLength = sizeof valueText;
    const int32_t result = RunTransaction(printerName, SNMP_REQUEST_GET, oidList,
                                          static_cast<uint32_t>(sizeof kKeepAliveObject - 1), valueText,
                                          &valueLength, 1, false);
    platform::HeapFree(oidList);
    return result;
}
