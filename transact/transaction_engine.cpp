#include "transact/transaction_engine.h"

#include "platform/heap.h"
#include "snmphelper.h"
#include "transact/channel.h"
#include "transact/packet_forming.h"
#include "transact/printer_config.h"
#include "transact/response_extraction.h"

namespace snmphelper {
namespace {

// One extra receive per pass of the channel: two receives before a switch.
constexpr std::uint32_t kReceiveAttempts = 1;
// Room of the sender address the channel reports; not looked at.
constexpr std::uint32_t kSenderAddressArea = 16;
// errorStatus genErr (RFC 1157 4.1.1): accepted as success, with the
// caller's buffers left as they are.
constexpr std::uint8_t kErrorStatusGenErr = 5;

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
    if (ReceiveReply(channel, received, sizeof received, &receivedLength, senderAddress, &senderPort) != 0) {
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

}  // namespace

std::int32_t RunTransaction(const char *printerName, std::int32_t requestType, char *oidList,
                            std::uint32_t oidListSize, char *valueList, std::uint32_t *valueListSize,
                            std::uint32_t varCount, bool waitForReply) {
    if (printerName == nullptr) return SNMP_RESULT_NO_REPLY;

    std::int32_t requestId = 0;
    EncodedRequest request;
    const std::uint32_t valueRoom = valueListSize == nullptr ? 0 : *valueListSize;
    if (std::int32_t formed = FormRequest(requestType, oidList, oidListSize, valueList, valueRoom,
                                          varCount, requestId, request);
        formed != 0) {
        return formed;
    }

    std::int32_t timeoutSeconds = kDefaultTimeoutSeconds;
    std::int32_t retries = kDefaultRetries;
    GetTimeoutAndRetries(&timeoutSeconds, &retries);
    if (requestType == SNMP_REQUEST_SET) timeoutSeconds = kSetRequestTimeoutSeconds;

    SnmpChannel channel;
    InitChannel(channel, kReceiveAttempts, timeoutSeconds, 0);

    // Each attempt sends the same message, request-id included, over a fresh
    // transport; only an undecodable or foreign reply leads to another.
    std::int32_t result = SNMP_RESULT_NO_REPLY;
    SnmpReqParam *reply = nullptr;
    for (;;) {
        const std::int32_t sent = SendRequest(channel, request.bytes, request.length, printerName);
        if (sent != 0 || !waitForReply) {
            platform::HeapFree(request.bytes);
            CloseChannel(channel);
            return sent;
        }
        const Attempt attempt = AwaitReply(channel, requestId, reply);
        result = AttemptResult(attempt);
        if (attempt == Attempt::Accepted || attempt == Attempt::NoReply || retries <= 0) break;
        --retries;
    }
    platform::HeapFree(request.bytes);

    if (result == 0) {
        result = DeliverReply(*reply, requestType, oidList, oidListSize, valueList, valueListSize);
        HelperFreeReqParam(reply);
    }
    CloseChannel(channel);
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
