// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/exit_codes.h"

#include "snmphelper.h"
#include "transact/printer_config.h"

namespace snmphelper::cli {

int ExitCodeForResult(std::int32_t result) {
    switch (result) {
        case SNMP_RESULT_OK:
            return kExitOk;
        case SNMP_RESULT_ERROR_STATUS:
            return kExitErrorStatus;
        case SNMP_RESULT_NO_REPLY:
        case SNMP_RESULT_RECV_FAILED:
        case SNMP_RESULT_RECV_TIMEOUT:
        case SNMP_RESULT_SEND_FAILED:
        case SNMP_RESULT_BIND_FAILED:
        case SNMP_RESULT_SOCKET_CLOSED:
            return kExitNoReply;
        case kPrinterRecordUnreadable:
            return kExitConfiguration;
        case SNMP_RESULT_VARBIND_LIST_FAILED:
        case SNMP_RESULT_BAD_REQUEST_TYPE:
        case SNMP_RESULT_ENCODE_FAILED:
        case SNMP_RESULT_INVALID_ARGUMENT:
            return kExitUsage;
        default:
            break;
    }
    // The DLC interface's own values (1-7): the printer was not reached.
    if (result >= 1 && result <= 7) return kExitNoReply;
    return kExitFailure;
}

const char *ExitCodeHelp() {
    return "Exit codes:\n"
           "  0  success\n"
           "  1  any other failure (an unreadable reply, a registry that cannot be read or used, ...)\n"
           "  2  usage: unknown option, missing argument, bad identifier or value\n"
           "  3  the printer cannot be reached or did not answer in time (silent)\n"
           "  4  the printer answered with an error-status (genErr included)\n"
           "  5  unknown printer: it is not registered, or the library cannot read its record\n";
}

}  // namespace snmphelper::cli
