// SPDX-License-Identifier: Apache-2.0
#include "transact/transaction_engine.h"

#include <cstddef>
#include <cstring>

#include "transact/packet_forming.h"
#include "transact/response_extraction.h"

namespace snmphelper {
namespace {

// errorStatus genErr (RFC 1157 4.1.1): HelperSNMPTransact accepts it as
// success, with the caller's buffers left as they are.
constexpr std::uint8_t kErrorStatusGenErr = 5;

// The layout promised in snmphelper.h, for 32-bit and 64-bit callers alike.
static_assert(offsetof(SnmpTransaction, recordSize) == 0);
static_assert(offsetof(SnmpTransaction, timeoutSeconds) == 4);
static_assert(offsetof(SnmpTransaction, retries) == 8);
static_assert(offsetof(SnmpTransaction, errorStatus) == 12);
static_assert(offsetof(SnmpTransaction, errorIndex) == 16);
static_assert(offsetof(SnmpTransaction, protocol) == 20);
static_assert(offsetof(SnmpTransaction, observer) == 24);
static_assert(offsetof(SnmpTransaction, observerContext) == 24 + sizeof(void *));
static_assert(offsetof(SnmpTransaction, reply) == 24 + 2 * sizeof(void *));
static_assert(offsetof(SnmpTransaction, community) == 24 + 3 * sizeof(void *));
static_assert(sizeof(SnmpTransaction) == 24 + 4 * sizeof(void *));
static_assert(SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY == 24 + 3 * sizeof(void *));

// The caller's text taken as bindings: `varCount` identifiers split off
// `oidList` in place and, for a set, the values read off `valueList`. The
// record owns the bindings array and the values (FreeRequestContents), not
// the identifiers. False (25003) as BuildVarBindList.
bool TakeTextBindings(std::int32_t pduType, char *oidList, std::uint32_t oidListSize, char *valueList,
                      std::uint32_t valueRoom, std::uint32_t varCount, SnmpReqParam &bindings) {
    bindings.pduType = pduType;
    if (BuildVarBindList(bindings, varCount, oidList, oidListSize, valueList, valueRoom)) return true;
    FreeRequestContents(bindings);
    return false;
}

// Begins `transaction`, takes the caller's text as its bindings and runs
// it; a result code as TypedTransaction's, or 25003 for the text.
std::int32_t RunTextRequest(TypedTransaction &transaction, const char *printerName, std::int32_t requestType,
                            char *oidList, std::uint32_t oidListSize, char *valueList, std::uint32_t valueRoom,
                            std::uint32_t varCount, const TransactionOptions &options, TypedReply &reply) {
    const std::int32_t begun = transaction.Begin(printerName, requestType, options);
    if (begun != 0) return begun;
    SnmpReqParam bindings{};
    if (!TakeTextBindings(transaction.PduType(), oidList, oidListSize, valueList, valueRoom, varCount, bindings)) {
        return SNMP_RESULT_VARBIND_LIST_FAILED;
    }
    const std::int32_t result = transaction.Run({bindings.varBinds, bindings.varBindCount}, reply);
    FreeRequestContents(bindings);
    return result;
}

// HelperSNMPTransactEx's record as the typed call's options. Records built
// before the community field have none.
TransactionOptions CallerOptions(const SnmpTransaction &transaction, std::uint16_t messageRoom) {
    TransactionOptions options;
    options.timeoutSeconds = transaction.timeoutSeconds;
    options.retries = transaction.retries;
    options.observer = transaction.observer;
    options.observerContext = transaction.observerContext;
    if (transaction.recordSize == sizeof(SnmpTransaction)) options.community = transaction.community;
    options.messageRoom = messageRoom;
    return options;
}

}  // namespace

std::int32_t ErrorStatusResult(std::uint8_t errorStatus) {
    return errorStatus == 0 || errorStatus == kErrorStatusGenErr ? 0 : SNMP_RESULT_ERROR_STATUS;
}

std::int32_t DeliverReply(const SnmpReqParam &reply, std::int32_t requestType, char *oidList,
                          std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize) {
    if (reply.errorStatus != 0) return ErrorStatusResult(reply.errorStatus);
    std::uint32_t oidRoom = oidListSize;
    if (ExtractReplyValues(reply, nullptr, oidList, &oidRoom, valueList, valueListSize)) return 0;
    // A set has done its work even when its echo does not fit.
    return requestType == SNMP_REQUEST_SET ? 0 : SNMP_RESULT_DOES_NOT_FIT;
}

namespace {

// A record of either size: callers built before the community field pass
// the smaller one, and are served as before.
bool AcceptableTransaction(const SnmpTransaction *transaction) {
    if (transaction == nullptr ||
        (transaction->recordSize != sizeof(SnmpTransaction) &&
         transaction->recordSize != SNMP_TRANSACTION_SIZE_WITHOUT_COMMUNITY) ||
        transaction->timeoutSeconds < SNMP_TRANSACTION_CONFIGURED ||
        transaction->retries < SNMP_TRANSACTION_CONFIGURED) {
        return false;
    }
    return transaction->recordSize != sizeof(SnmpTransaction) || transaction->community == nullptr ||
           std::strlen(transaction->community) < kCommunityFieldSize;
}

}  // namespace

std::int32_t RunTransaction(const char *printerName, std::int32_t requestType, char *oidList,
                            std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize,
                            std::uint32_t varCount, bool waitForReply) {
    if (printerName == nullptr) return SNMP_RESULT_NO_REPLY;
    const std::uint32_t valueRoom = valueListSize == nullptr ? 0 : *valueListSize;
    TransactionOptions options;
    options.waitForReply = waitForReply;
    options.messageRoom = PacketBufferSize(oidListSize, valueRoom);
    TypedTransaction transaction;
    TypedReply reply;
    const std::int32_t result = RunTextRequest(transaction, printerName, requestType, oidList, oidListSize,
                                               valueList, valueRoom, varCount, options, reply);
    if (reply.Record() == nullptr) return result;
    return DeliverReply(*reply.Record(), requestType, oidList, oidListSize, valueList, valueListSize);
}

}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPTransact(const char *printerName,
                                                                     int32_t requestType, char *oidList,
                                                                     uint32_t oidListSize, char *valueList,
                                                                     uint32_t *valueListSize,
                                                                     uint32_t varCount) {
    return RunTransaction(printerName, requestType, oidList, oidListSize, valueList, valueListSize,
                          varCount, true);
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPTransactEx(const char *printerName,
                                                                       int32_t requestType, char *oidList,
                                                                       uint32_t oidListSize, char *valueList,
                                                                       uint32_t valueListSize, uint32_t varCount,
                                                                       SnmpTransaction *transaction) {
    if (printerName == nullptr || oidList == nullptr || !AcceptableTransaction(transaction)) {
        return SNMP_RESULT_INVALID_ARGUMENT;
    }
    transaction->reply = nullptr;
    transaction->errorStatus = 0;
    transaction->errorIndex = 0;
    TypedTransaction typed;
    TypedReply reply;
    const std::int32_t result =
        RunTextRequest(typed, printerName, requestType, oidList, oidListSize, valueList, valueListSize, varCount,
                       CallerOptions(*transaction, PacketBufferSize(oidListSize, valueListSize)), reply);
    transaction->protocol = reply.Protocol();
    if (reply.Record() == nullptr) return result;
    transaction->errorStatus = reply.Record()->errorStatus;
    transaction->errorIndex = reply.Record()->errorIndex;
    const bool clean = reply.Record()->errorStatus == 0;
    transaction->reply = reply.Release();
    return clean ? 0 : SNMP_RESULT_ERROR_STATUS;
}
