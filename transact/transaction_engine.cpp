#include "transact/transaction_engine.h"

#include <cstddef>
#include <cstring>

#include "platform/heap.h"
#include "platform/registry.h"
#include "transact/channel.h"
#include "transact/packet_forming.h"
#include "transact/printer_config.h"
#include "transact/request_id.h"
#include "transact/response_extraction.h"

namespace snmphelper {
namespace {

// HelperSNMPTransact: one extra receive per pass of the channel, so two
// receives before a switch.
constexpr std::uint32_t kReceiveAttempts = 1;
// Room of the sender address the channel reports; the channel checks it
// when the settings ask for that.
constexpr std::uint32_t kSenderAddressArea = 16;
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

// What one attempt's wait for a reply brought.
enum class Attempt {
    Accepted,     // a reply to this request; result 0
    NoReply,      // the channel received nothing, after its own re-sends: 25010, no new attempt
    Undecodable,  // 25009, worth another attempt
    Foreign,      // a reply to another request: 25010, worth another attempt
};

std::int32_t AttemptResult(Attempt attempt) {
    switch (attempt) {
        case Attempt::Accepted:
            return 0;
        case Attempt::Undecodable:
            return SNMP_RESULT_DECODE_FAILED;
        case Attempt::NoReply:
        case Attempt::Foreign:
            break;
    }
    return SNMP_RESULT_NO_REPLY;
}

// Receives and decodes one reply; `reply` is set only when it is accepted.
Attempt AwaitReply(SnmpChannel &channel, std::int32_t requestId, SnmpReqParam *&reply) {
    std::uint8_t received[kReplyBufferSize];
    std::uint32_t receivedLength = 0;
    std::uint8_t senderAddress[kSenderAddressArea];
    std::uint16_t senderPort = 0;
    if (ReceiveReply(channel, received, sizeof received, &receivedLength, senderAddress, &senderPort) !=
        TransportStatus::Ok) {
        return Attempt::NoReply;
    }
    SnmpReqParam *decoded = HelperSnmpDecodePdu(received, receivedLength);
    if (decoded == nullptr) return Attempt::Undecodable;
    if (decoded->requestId != requestId) {
        HelperFreeReqParam(decoded);
        return Attempt::Foreign;
    }
    reply = decoded;
    return Attempt::Accepted;
}

// How one transaction waits: the channel's settings and the number of new
// attempts after an undecodable or foreign reply.
struct Timing {
    std::int32_t timeoutSeconds;
    std::int32_t retries;
    std::uint32_t receiveAttempts;
    bool resendAfterLastReceive;
    SnmpDatagramObserver observer = nullptr;
    void *observerContext = nullptr;
    std::uint32_t replyChecks = 0;  // the `ReplyChecks` setting
    const char *community = nullptr;  // the caller's; null: the configured one
};

// The configuration's timing, as HelperSNMPTransact applies it: a set waits
// its own fixed time.
Timing ConfiguredTiming(std::int32_t requestType) {
    Timing timing{kDefaultTimeoutSeconds, kDefaultRetries, kReceiveAttempts, true};
    GetTransactionSettings(&timing.timeoutSeconds, &timing.retries, &timing.replyChecks);
    if (requestType == SNMP_REQUEST_SET) timing.timeoutSeconds = kSetRequestTimeoutSeconds;
    return timing;
}

// What one exchange left: its result, the accepted reply (owned by the
// caller; null unless the result is 0) and the protocol last used.
struct Exchange {
    std::int32_t result = SNMP_RESULT_NO_REPLY;
    SnmpReqParam *reply = nullptr;
    std::uint32_t protocol = 0;
};

// Forms the request, sends it and waits for the reply to it, trying again
// after an undecodable or foreign reply while `timing.retries` allows. With
// `waitForReply` false only the send's result counts. `reading` covers the
// settings read for `timing` and ends with the first send: the re-sends
// after a wait read the printer's key anew.
Exchange RunExchange(const char *printerName, std::int32_t requestType, char *oidList,
                   std::uint32_t oidListSize, char *valueList, std::uint32_t valueRoom,
                   std::uint32_t varCount, Timing timing, bool waitForReply, platform::RegistryReading &reading) {
    Exchange exchange;
    // The printer's own community, read from the same reading of the store
    // as the settings and the channel's record; none configured leaves the
    // string table's.
    char configured[kCommunityFieldSize];
    const char *community = timing.community;
    if (community == nullptr) {
        bool found = false;
        if (!ConfiguredCommunity(printerName, configured, found)) {
            exchange.result = SNMP_RESULT_COMMUNITY_FAILED;
            return exchange;
        }
        if (found) community = configured;
    }
    if ((timing.replyChecks & kReplyCheckUnpredictableIds) != 0) StartRequestIdsUnpredictably();
    std::int32_t requestId = 0;
    EncodedRequest request;
    exchange.result = FormRequest(requestType, oidList, oidListSize, valueList, valueRoom, varCount, requestId,
                                  request, RequestBlock::MessageOnly, community);
    if (exchange.result != 0) return exchange;

    SnmpChannel channel;
    InitChannel(channel, timing.receiveAttempts, timing.timeoutSeconds, 0);
    channel.resendAfterLastReceive = timing.resendAfterLastReceive;
    channel.observer = timing.observer;
    channel.observerContext = timing.observerContext;
    channel.checkSender = (timing.replyChecks & kReplyCheckSender) != 0;

    // Each attempt sends the same message, request-id included, over a fresh
    // transport; only an undecodable or foreign reply leads to another.
    for (;;) {
        const std::int32_t sent =
            ResultCode(SendRequest(channel, request.bytes, request.length, printerName));
        reading.End();
        if (sent != 0 || !waitForReply) {
            exchange.result = sent;
            break;
        }
        const Attempt attempt = AwaitReply(channel, requestId, exchange.reply);
        exchange.result = AttemptResult(attempt);
        if (attempt == Attempt::Accepted || attempt == Attempt::NoReply || timing.retries <= 0) break;
        --timing.retries;
    }
    exchange.protocol = channel.protocolInUse;
    platform::HeapFree(request.bytes);
    CloseChannel(channel);
    return exchange;
}

// Writes an accepted reply into the caller's buffers. The identifier size the
// extraction reports is not passed back.
std::int32_t DeliverReply(const SnmpReqParam &reply, std::int32_t requestType, char *oidList,
                          std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize) {
    if (reply.errorStatus == kErrorStatusGenErr) return 0;
    if (reply.errorStatus != 0) return SNMP_RESULT_ERROR_STATUS;
    std::uint32_t oidRoom = oidListSize;
    if (ExtractReplyValues(reply, nullptr, oidList, &oidRoom, valueList, valueListSize)) return 0;
    // A set has done its work even when its echo does not fit.
    return requestType == SNMP_REQUEST_SET ? 0 : SNMP_RESULT_DOES_NOT_FIT;
}

// The caller's timing where given, HelperSNMPTransact's otherwise. A
// caller's retry count also counts the re-sends while the printer is silent,
// and no re-send follows the last wait.
Timing CallerTiming(std::int32_t requestType, const SnmpTransaction &transaction) {
    Timing timing = ConfiguredTiming(requestType);
    if (transaction.timeoutSeconds != SNMP_TRANSACTION_CONFIGURED) timing.timeoutSeconds = transaction.timeoutSeconds;
    if (transaction.retries != SNMP_TRANSACTION_CONFIGURED) {
        timing.retries = transaction.retries;
        timing.receiveAttempts = static_cast<std::uint32_t>(transaction.retries);
        timing.resendAfterLastReceive = false;
    }
    timing.observer = transaction.observer;
    timing.observerContext = transaction.observerContext;
    if (transaction.recordSize == sizeof(SnmpTransaction)) timing.community = transaction.community;
    return timing;
}

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
    platform::RegistryReading reading;
    Exchange exchange = RunExchange(printerName, requestType, oidList, oidListSize, valueList, valueRoom, varCount,
                                  ConfiguredTiming(requestType), waitForReply, reading);
    if (exchange.reply == nullptr) return exchange.result;
    const std::int32_t result =
        DeliverReply(*exchange.reply, requestType, oidList, oidListSize, valueList, valueListSize);
    HelperFreeReqParam(exchange.reply);
    return result;
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
    platform::RegistryReading reading;
    const Exchange exchange = RunExchange(printerName, requestType, oidList, oidListSize, valueList, valueListSize,
                                        varCount, CallerTiming(requestType, *transaction), true, reading);
    transaction->protocol = exchange.protocol;
    if (exchange.reply == nullptr) return exchange.result;
    transaction->reply = exchange.reply;
    transaction->errorStatus = exchange.reply->errorStatus;
    transaction->errorIndex = exchange.reply->errorIndex;
    return exchange.reply->errorStatus == 0 ? 0 : SNMP_RESULT_ERROR_STATUS;
}
