// SPDX-License-Identifier: Apache-2.0
// HelperResultText: a short English text for every result code the exports
// return, for callers' logs and messages. Several families share the small
// numbers (the encoder's 0-2, the DLC interface's 0-7, the configuration
// store's Windows error numbers), so such a text names each family's meaning.
#include <cstdint>

#include "dlc/dlc_access.h"
#include "platform/registry.h"
#include "snmphelper.h"
#include "transact/printer_config.h"
#include "transport/datagram_transport.h"

namespace snmphelper {
namespace {

struct ResultText {
    std::int32_t code;
    const char *text;
};

constexpr ResultText kResultTexts[] = {
    {SNMP_RESULT_OK, "success"},
    {SNMP_ENCODE_CANNOT_PREPARE,
     "encoder: the message cannot be prepared (out of memory, a GetResponse, or an unusable identifier); "
     "DLC: the DLC interface is unavailable or refused the command"},
    {SNMP_ENCODE_NO_ROOM,
     "encoder: the message does not fit its room, or an item cannot be rendered; DLC: the DLC interface ran "
     "out of memory; configuration store: no such key or value"},
    {platform::kRegistryPathNotFound,
     "DLC: the adapter is of an unsupported type; configuration store: its folder does not exist"},
    {kDlcTimedOut, "DLC: no frame arrived within the timeout"},
    {platform::kRegistryAccessDenied,
     "DLC: a received frame does not fit the buffer; configuration store: access denied"},
    {kDlcLinkFailure, "DLC: a read failed or the link was lost"},
    {platform::kRegistryNoMemory, "configuration store: out of memory"},
    {platform::kRegistryInvalidParameter, "configuration store: invalid key or value name"},
    {platform::kRegistryMoreData, "configuration store: the value does not fit the room given"},
    {platform::kRegistryCorrupt, "configuration store: the store cannot be parsed"},
    {platform::kRegistryCannotRead, "configuration store: the store cannot be read"},
    {platform::kRegistryCannotWrite, "configuration store: the store cannot be written"},
    {platform::kRegistryKeyDeleted, "configuration store: the key was deleted meanwhile"},
    {CPH_DATAGRAM_RECV_FAILED, "reading a datagram failed"},
    {CPH_DATAGRAM_RECV_TIMEOUT, "no datagram arrived within the timeout"},
    {CPH_DATAGRAM_SEND_FAILED,
     "the request could not be sent: every send failed, or the printer's configuration names no usable "
     "protocol or address"},
    {CPH_BIND_FAILED, "binding the local port failed"},
    {CPH_SOCKET_CLOSED, "the transport is not open, or the connection was aborted or reset"},
    {kPrinterRecordUnreadable, "the printer's key or its MAC Address cannot be read"},
    {SNMP_RESULT_PRINTER_EXISTS, "a printer of that name is already recorded"},
    {SNMP_RESULT_NO_SUCH_PRINTER, "no printer of that name is recorded"},
    {SNMP_RESULT_PRINTER_INVALID,
     "the printer record is refused (a bad name, address, protocol, port or community, or a wrong record size)"},
    {SNMP_RESULT_STORE_DENIED, "this process may not read or write the configuration store"},
    {SNMP_RESULT_STORE_FAILED, "the configuration store cannot be read, parsed or written"},
    {SNMP_RESULT_HOST_UNRESOLVED, "the printer's host name has no IPv4 address"},
    {SNMP_RESULT_LIST_DOES_NOT_FIT, "the printer names do not fit the room given"},
    {SNMP_RESULT_CONFIG_UNREADABLE, "a configuration value cannot be read"},
    {SNMP_RESULT_VARBIND_LIST_FAILED,
     "the variable list cannot be built (more variables than identifiers, a bad value, or no such group)"},
    {SNMP_RESULT_COMMUNITY_FAILED, "the community name cannot be set"},
    {SNMP_RESULT_OUT_OF_MEMORY, "out of memory"},
    {SNMP_RESULT_REQUEST_ID_FAILED, "the request-id cannot be set"},
    {SNMP_RESULT_BAD_REQUEST_TYPE, "the request type is not get, get-next or set"},
    {SNMP_RESULT_ENCODE_FAILED, "the request cannot be encoded (an identifier or value is not valid)"},
    {SNMP_RESULT_DECODE_FAILED, "the printer's reply cannot be decoded"},
    {SNMP_RESULT_NO_REPLY, "no printer name, no reply, or no reply answered this request"},
    {SNMP_RESULT_ERROR_STATUS, "the printer answered with an error-status"},
    {SNMP_RESULT_DOES_NOT_FIT, "the reply does not fit the buffers, or a value has no text form"},
    {SNMP_RESULT_TRAP_REGISTRATION_FAILED, "trap registration failed"},
    {SNMP_RESULT_INVALID_ARGUMENT,
     "an argument was refused (a null pointer, a wrong record size, a timeout or retry count out of range, or "
     "a discovery's unknown protocol, flag or target)"},
};

// The header's numbers and the library's own must stay one and the same.
static_assert(SNMP_DLC_FAILED == kDlcFailed && SNMP_DLC_NO_MEMORY == kDlcNoMemory &&
              SNMP_DLC_ADAPTER_TYPE == kDlcWrongAdapter && SNMP_DLC_TIMEOUT == kDlcTimedOut &&
              SNMP_DLC_FRAME_TOO_LONG == kDlcFrameTooLarge && SNMP_DLC_LINK_FAILED == kDlcLinkFailure);
static_assert(SNMP_RESULT_RECV_FAILED == CPH_DATAGRAM_RECV_FAILED &&
              SNMP_RESULT_RECV_TIMEOUT == CPH_DATAGRAM_RECV_TIMEOUT &&
              SNMP_RESULT_SEND_FAILED == CPH_DATAGRAM_SEND_FAILED && SNMP_RESULT_BIND_FAILED == CPH_BIND_FAILED &&
              SNMP_RESULT_SOCKET_CLOSED == CPH_SOCKET_CLOSED &&
              SNMP_RESULT_PRINTER_RECORD_UNREADABLE == kPrinterRecordUnreadable);
static_assert(kDlcNoMemory == platform::kRegistryNotFound && kDlcWrongAdapter == platform::kRegistryPathNotFound &&
              kDlcFrameTooLarge == platform::kRegistryAccessDenied);

}  // namespace
}  // namespace snmphelper

extern "C" SNMPHELPER_API const char *SNMPHELPER_CALL HelperResultText(int32_t result) {
    for (const snmphelper::ResultText &entry : snmphelper::kResultTexts) {
        if (entry.code == result) return entry.text;
    }
    return "unknown result code";
}
