// SPDX-License-Identifier: Apache-2.0
#include "transact/typed_transaction.h"

#include <cstring>

#include "codec/request_decoder.h"
#include "platform/heap.h"
#include "platform/module_handle.h"
#include "transact/channel.h"
#include "transact/request_id.h"

namespace snmphelper {
namespace {

// One extra receive per pass of the channel, so two receives before a switch.
constexpr std::uint32_t kReceiveAttempts = 1;
// Room of the sender address the channel reports; the channel checks it
// when the settings ask for that.
constexpr std::uint32_t kSenderAddressArea = 16;
constexpr std::size_t kMaxBindings = 0xFFFF;  // varBindCount is 16-bit

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
Attempt AwaitReply(SnmpChannel &channel, std::int32_t requestId, NameForm names, SnmpReqParam *&reply) {
    std::uint8_t received[kReplyBufferSize];
    std::uint32_t receivedLength = 0;
    std::uint8_t senderAddress[kSenderAddressArea];
    std::uint16_t senderPort = 0;
    if (ReceiveReply(channel, received, sizeof received, &receivedLength, senderAddress, &senderPort) !=
        TransportStatus::Ok) {
        return Attempt::NoReply;
    }
    SnmpReqParam *decoded = DecodeResponseRecord(received, receivedLength, names);
    if (decoded == nullptr) return Attempt::Undecodable;
    if (decoded->requestId != requestId) {
        HelperFreeReqParam(decoded);
        return Attempt::Foreign;
    }
    reply = decoded;
    return Attempt::Accepted;
}

}  // namespace

std::int32_t TypedTransaction::Begin(const char *printerName, std::int32_t requestType,
                                     const TransactionOptions &options, PrinterSettingsRead *printerRead) {
    if (printerName == nullptr) return SNMP_RESULT_NO_REPLY;
    printerName_ = printerName;
    options_ = options;

    // The configuration's timing, a set with its own fixed wait; then the
    // caller's, where given.
    timing_ = {kDefaultTimeoutSeconds, kDefaultRetries, kReceiveAttempts, true, 0};
    GetTransactionSettings(&timing_.timeoutSeconds, &timing_.retries, &timing_.replyChecks);
    if (requestType == SNMP_REQUEST_SET) timing_.timeoutSeconds = kSetRequestTimeoutSeconds;
    if (options.timeoutSeconds != SNMP_TRANSACTION_CONFIGURED) timing_.timeoutSeconds = options.timeoutSeconds;
    if (options.retries != SNMP_TRANSACTION_CONFIGURED) {
        timing_.retries = options.retries;
        timing_.receiveAttempts = static_cast<std::uint32_t>(options.retries);
        timing_.resendAfterLastReceive = false;
    }

    // The printer's own community, read from the same reading of the store
    // as the settings and the channel's record; none configured leaves the
    // string table's.
    community_ = options.community;
    if (community_ == nullptr) {
        bool found = false;
        if (!ConfiguredCommunity(printerName, communityText_, found, printerRead)) return SNMP_RESULT_COMMUNITY_FAILED;
        community_ = found ? communityText_
                           : LoadCommunityText(LibraryModuleHandle(), kCommunityEntry, kDefaultCommunity,
                                               communityText_);
    }
    if ((timing_.replyChecks & kReplyCheckUnpredictableIds) != 0) StartRequestIdsUnpredictably();

    // An unknown request type consumes no request-id.
    SnmpReqParam typed{};
    if (!SetRequestType(typed, requestType)) return SNMP_RESULT_BAD_REQUEST_TYPE;
    pduType_ = typed.pduType;
    requestId_ = NextRequestId();
    begun_ = true;
    return 0;
}

std::int32_t TypedTransaction::Encode(std::span<const SnmpVarBind> request, EncodedRequest &message) const {
    if (!begun_) return SNMP_RESULT_INVALID_ARGUMENT;
    if (request.size() > kMaxBindings) return SNMP_RESULT_VARBIND_LIST_FAILED;
    // The encoder only reads the record; the bindings stay the caller's.
    SnmpReqParam record{};
    record.community = const_cast<char *>(community_);
    record.communityLength = static_cast<std::uint16_t>(std::strlen(community_));
    record.pduType = pduType_;
    record.requestId = requestId_;
    record.varBindCount = static_cast<std::uint16_t>(request.size());
    record.varBinds = const_cast<SnmpVarBind *>(request.data());
    return EncodeIntoMessageBlock(record, options_.messageRoom, message, options_.names);
}

std::int32_t TypedTransaction::Run(std::span<const SnmpVarBind> request, TypedReply &reply) {
    HelperFreeReqParam(reply.record_);
    reply.record_ = nullptr;
    reply.protocol_ = 0;
    EncodedRequest message;
    const std::int32_t encoded = Encode(request, message);
    if (encoded != 0) return encoded;
    const std::int32_t result = Exchange(message, reply);
    platform::HeapFree(message.bytes);
    return result;
}

std::int32_t TypedTransaction::Exchange(const EncodedRequest &message, TypedReply &reply,
                                       const ChannelResume &resume) {
    HelperFreeReqParam(reply.record_);
    reply.record_ = nullptr;
    reply.protocol_ = 0;
    if (!begun_) return SNMP_RESULT_INVALID_ARGUMENT;
    SnmpChannel channel;
    InitChannel(channel, timing_.receiveAttempts, timing_.timeoutSeconds, 0);
    channel.resendAfterLastReceive = timing_.resendAfterLastReceive;
    channel.observer = options_.observer;
    channel.observerContext = options_.observerContext;
    channel.checkSender = (timing_.replyChecks & kReplyCheckSender) != 0;
    channel.resume = resume;

    // Each attempt sends the same message, request-id included, over a fresh
    // transport; only an undecodable or foreign reply leads to another.
    std::int32_t result = SNMP_RESULT_NO_REPLY;
    std::int32_t retries = timing_.retries;
    for (;;) {
        const std::int32_t sent = ResultCode(SendRequest(channel, message.bytes, message.length, printerName_));
        reading_.End();
        if (sent != 0 || !options_.waitForReply) {
            result = sent;
            break;
        }
        const Attempt attempt = AwaitReply(channel, requestId_, options_.names, reply.record_);
        result = AttemptResult(attempt);
        if (attempt == Attempt::Accepted || attempt == Attempt::NoReply || retries <= 0) break;
        --retries;
    }
    reply.protocol_ = channel.protocolInUse;
    CloseChannel(channel);
    return result;
}

std::int32_t RunTypedTransaction(const char *printerName, std::int32_t requestType,
                                 std::span<const SnmpVarBind> request, TypedReply &reply,
                                 const TransactionOptions &options) {
    TypedTransaction transaction;
    const std::int32_t begun = transaction.Begin(printerName, requestType, options);
    if (begun != 0) return begun;
    return transaction.Run(request, reply);
}

}  // namespace snmphelper
