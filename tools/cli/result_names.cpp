// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/result_names.h"

#include <vector>

#include "snmphelper.h"

namespace snmphelper::cli {
namespace {

struct CodeName {
    std::int32_t code;
    const char *name;
};

// The transaction functions hand transport results on unchanged; a DLC
// transport's own values (1-7) reach callers the same way.
constexpr CodeName kResultNames[] = {
    {SNMP_DLC_FAILED, "DLC_FAILED"},
    {SNMP_DLC_NO_MEMORY, "DLC_NO_MEMORY"},
    {SNMP_DLC_ADAPTER_TYPE, "DLC_ADAPTER_TYPE"},
    {SNMP_DLC_TIMEOUT, "DLC_TIMEOUT"},
    {SNMP_DLC_FRAME_TOO_LONG, "DLC_FRAME_TOO_LONG"},
    {SNMP_DLC_LINK_FAILED, "DLC_LINK_FAILED"},
    {SNMP_RESULT_RECV_FAILED, "CPH_DATAGRAM_RECV_FAILED"},
    {SNMP_RESULT_RECV_TIMEOUT, "CPH_DATAGRAM_RECV_TIMEOUT"},
    {SNMP_RESULT_SEND_FAILED, "CPH_DATAGRAM_SEND_FAILED"},
    {SNMP_RESULT_BIND_FAILED, "CPH_BIND_FAILED"},
    {SNMP_RESULT_SOCKET_CLOSED, "CPH_SOCKET_CLOSED"},
    {SNMP_RESULT_PRINTER_RECORD_UNREADABLE, "CPH_PRINTER_RECORD_UNREADABLE"},
    {SNMP_RESULT_CONFIG_UNREADABLE, "SNMP_RESULT_CONFIG_UNREADABLE"},
    {SNMP_RESULT_VARBIND_LIST_FAILED, "SNMP_RESULT_VARBIND_LIST_FAILED"},
    {SNMP_RESULT_COMMUNITY_FAILED, "SNMP_RESULT_COMMUNITY_FAILED"},
    {SNMP_RESULT_OUT_OF_MEMORY, "SNMP_RESULT_OUT_OF_MEMORY"},
    {SNMP_RESULT_REQUEST_ID_FAILED, "SNMP_RESULT_REQUEST_ID_FAILED"},
    {SNMP_RESULT_BAD_REQUEST_TYPE, "SNMP_RESULT_BAD_REQUEST_TYPE"},
    {SNMP_RESULT_ENCODE_FAILED, "SNMP_RESULT_ENCODE_FAILED"},
    {SNMP_RESULT_DECODE_FAILED, "SNMP_RESULT_DECODE_FAILED"},
    {SNMP_RESULT_NO_REPLY, "SNMP_RESULT_NO_REPLY"},
    {SNMP_RESULT_ERROR_STATUS, "SNMP_RESULT_ERROR_STATUS"},
    {SNMP_RESULT_DOES_NOT_FIT, "SNMP_RESULT_DOES_NOT_FIT"},
    {SNMP_RESULT_TRAP_REGISTRATION_FAILED, "SNMP_RESULT_TRAP_REGISTRATION_FAILED"},
    {SNMP_RESULT_INVALID_ARGUMENT, "SNMP_RESULT_INVALID_ARGUMENT"},
};

// The names with the library's own texts (HelperResultText).
const std::vector<ResultName> &ResultNames() {
    static const std::vector<ResultName> table = [] {
        std::vector<ResultName> entries;
        for (const CodeName &entry : kResultNames) {
            entries.push_back({entry.code, entry.name, HelperResultText(entry.code)});
        }
        return entries;
    }();
    return table;
}

}  // namespace

const ResultName *FindResultName(std::int32_t code) {
    for (const ResultName &entry : ResultNames()) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

std::string DescribeResult(std::int32_t code) {
    const ResultName *entry = FindResultName(code);
    if (entry == nullptr) return "result code " + std::to_string(code) + " (unknown)";
    std::string text = std::string(entry->name) + " (" + std::to_string(code) + "): " + entry->meaning;
    if (code == SNMP_RESULT_SEND_FAILED) text += " (is the printer registered? see 'snmphelper printer show')";
    return text;
}

bool IsSilence(std::int32_t code) {
    constexpr std::int32_t kSilent[] = {25010, 20002, 4};  // no reply; no datagram; DLC timeout
    for (std::int32_t silent : kSilent) {
        if (code == silent) return true;
    }
    return false;
}

std::string DescribeFailure(std::int32_t code) {
    if (IsSilence(code)) {
        return "no reply (check the address, the community and the printer's SNMP settings); " +
               DescribeResult(code);
    }
    return DescribeResult(code);
}

}  // namespace snmphelper::cli
