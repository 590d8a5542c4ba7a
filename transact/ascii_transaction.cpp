// SPDX-License-Identifier: Apache-2.0
// HelperSNMPTransactAscii: a transaction whose value text comes back as pure
// printable text, every OCTET STRING rewritten into hexadecimal digits.
#include "snmphelper.h"
#include "transact/ascii_rewrite.h"
#include "transact/transaction_engine.h"

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPTransactAscii(const char *printerName,
                                                                          int32_t requestType,
                                                                          char *oidList, uint32_t oidListSize,
                                                                          char *valueList,
                                                                          uint32_t *valueListSize,
                                                                          uint32_t varCount) {
    // The room is read before the transaction replaces it with the length of
    // the text it wrote.
    const uint32_t room = valueListSize == nullptr ? 0 : *valueListSize;
    const int32_t result = RunTransaction(printerName, requestType, oidList, oidListSize, valueList,
                                          valueListSize, varCount, true);
    if (result != 0) return result;
    // A text whose hex form does not fit the work area or the caller's room
    // is refused, never cut: a cut text would lose values silently.
    if (valueList != nullptr && room != 0 && !RewriteOctetStringsAsHex(valueList, room)) {
        return SNMP_RESULT_DOES_NOT_FIT;
    }
    return 0;
}
