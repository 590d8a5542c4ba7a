// SPDX-License-Identifier: Apache-2.0
// Release of the request parameter record and of single blocks handed out.
#include "snmphelper.h"

#include "platform/heap.h"

using snmphelper::platform::HeapFree;

extern "C" SNMPHELPER_API void SNMPHELPER_CALL HelperFreeReqParam(SnmpReqParam *record) {
    if (record == nullptr) return;
    HeapFree(record->community);
    // Only the first varBindCount entries own blocks; the decoder keeps the
    // count equal to the entries it filled.
    if (record->varBinds != nullptr) {
        for (uint16_t i = 0; i < record->varBindCount; ++i) {
            HeapFree(record->varBinds[i].oid);
            HeapFree(record->varBinds[i].value);
        }
        HeapFree(record->varBinds);
    }
    HeapFree(record);
}

extern "C" SNMPHELPER_API void SNMPHELPER_CALL HelperFreeBlock(void *block) { HeapFree(block); }
