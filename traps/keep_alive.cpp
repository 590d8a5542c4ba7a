// SPDX-License-Identifier: Apache-2.0
// HelperTrapKeepAlive: one GetRequest to a printer that holds this host as a
// trap destination; the request itself keeps the registration alive, so the
// reply is not awaited.
#include "platform/debug_output.h"
#include "snmphelper.h"
#include "transact/typed_transaction.h"

namespace snmphelper {
namespace {

// An object of the printers' private MIB (also in object group 22).
constexpr char kKeepAliveObject[] = "1.3.6.1.4.1.236.11.5.1.1.9.1.0";
constexpr std::uint32_t kKeepAliveObjectLength = sizeof kKeepAliveObject - 1;
// The message room of the request as it has always been sized: the
// identifier's length and a value text of one byte.
constexpr std::uint32_t kKeepAliveValueRoom = 1;

}  // namespace
}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperTrapKeepAlive(const char *printerName) {
    // The encoder only reads the binding's identifier.
    SnmpVarBind binding{};
    binding.oid = const_cast<char *>(kKeepAliveObject);
    binding.oidLength = kKeepAliveObjectLength;
    TransactionOptions options;
    options.waitForReply = false;
    options.messageRoom = PacketBufferSize(kKeepAliveObjectLength, kKeepAliveValueRoom);
    TypedReply reply;
    const int32_t result = RunTypedTransaction(printerName, SNMP_REQUEST_GET, {&binding, 1}, reply, options);
    if (result == SNMP_RESULT_OUT_OF_MEMORY) platform::OutputDebugText("HelperTrapKeepAlive:Unable to allocate memory");
    return result;
}
