#include "tools/cli/result_names.h"

#include <iterator>

namespace snmphelper::cli {
namespace {

// The transaction functions hand transport results on unchanged; a DLC
// transport's own values (1-7) reach callers the same way.
constexpr ResultName kResultNames[] = {
    {1, "DLC_FAILED", "the DLC interface is unavailable or refused the command"},
    {2, "DLC_NO_MEMORY", "the DLC interface ran out of memory"},
    {3, "DLC_ADAPTER_TYPE", "the DLC adapter is of an unsupported type"},
    {4, "DLC_TIMEOUT", "no DLC frame arrived within the timeout"},
    {5, "DLC_FRAME_TOO_LONG", "a received DLC frame does not fit the buffer"},
    {7, "DLC_LINK_FAILED", "a DLC read failed or the link was lost"},
    {20001, "CPH_DATAGRAM_RECV_FAILED", "reading a datagram failed"},
    {20002, "CPH_DATAGRAM_RECV_TIMEOUT", "no datagram arrived within the timeout"},
    {20004, "CPH_DATAGRAM_SEND_FAILED",
     "the request could not be sent: every send failed, or the printer's key names no usable "
     "protocol or address (is the printer registered? see 'snmphelper printer show')"},
    {20006, "CPH_BIND_FAILED", "binding the local port failed"},
    {20009, "CPH_SOCKET_CLOSED", "the transport is not open, or the connection was aborted or reset"},
    {20041, "CPH_PRINTER_RECORD_UNREADABLE", "the printer's key or its MAC Address cannot be read"},
    {25001, "SNMP_RESULT_CONFIG_UNREADABLE", "a configuration value cannot be read"},
    {25003, "SNMP_RESULT_VARBIND_LIST_FAILED",
     "the variable list cannot be built (more variables than identifiers, a bad value, or no such group)"},
    {25004, "SNMP_RESULT_COMMUNITY_FAILED", "the community name cannot be set"},
    {25005, "SNMP_RESULT_OUT_OF_MEMORY", "out of memory"},
    {25006, "SNMP_RESULT_REQUEST_ID_FAILED", "the request-id cannot be set"},
    {25007, "SNMP_RESULT_BAD_REQUEST_TYPE", "the request type is not get, get-next or set"},
    {25008, "SNMP_RESULT_ENCODE_FAILED", "the request cannot be encoded (an identifier or value is not valid)"},
    {25009, "SNMP_RESULT_DECODE_FAILED", "the printer's reply cannot be decoded"},
    {25010, "SNMP_RESULT_NO_REPLY", "no printer name, no reply, or no reply answered this request"},
    {25011, "SNMP_RESULT_ERROR_STATUS", "the printer answered with an error-status"},
    {25012, "SNMP_RESULT_DOES_NOT_FIT",
     "the reply does not fit the buffers, or a value has no text form"},
    {25014, "SNMP_RESULT_TRAP_REGISTRATION_FAILED", "trap registration failed"},
};

}  // namespace

const ResultName *FindResultName(std::int32_t code) {
    for (const ResultName &entry : kResultNames) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

std::string DescribeResult(std::int32_t code) {
    const ResultName *entry = FindResultName(code);
    if (entry == nullptr) return "result code " + std::to_string(code) + " (unknown)";
    return std::string(entry->name) + " (" + std::to_string(code) + "): " + entry->meaning;
}

std::string DescribeFailure(std::int32_t code) {
    constexpr std::int32_t kSilent[] = {25010, 20002, 4};  // no reply; no datagram; DLC timeout
    for (std::int32_t silent : kSilent) {
        if (code == silent) {
            return "no reply (check the address, the community and the printer's SNMP settings); " +
                   DescribeResult(code);
        }
    }
    return DescribeResult(code);
}

}  // namespace snmphelper::cli
