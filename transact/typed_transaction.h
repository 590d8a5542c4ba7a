/* SPDX-License-Identifier: Apache-2.0 */
// The transaction engine's typed core: a request given as the codec's own
// bindings (SnmpVarBind: the identifier's dotted text as the encoder takes
// it, the value in the representation of its type), sent through a channel,
// and the reply handed back decoded, matched by its request-id. The exported
// text functions (HelperSNMPTransact and its kin, HelperGetSNMPObjects, the
// keep-alive) turn text into bindings and the reply back into text at their
// own edge; callers inside the library pass bindings.
#pragma once

#include <cstdint>
#include <span>

#include "platform/registry.h"
#include "snmphelper.h"
#include "transact/channel.h"
#include "transact/packet_forming.h"
#include "transact/printer_config.h"

namespace snmphelper {

// Room of the buffer a reply is received into.
inline constexpr std::uint32_t kReplyBufferSize = 2048;
// Seconds a set request waits for each reply, whatever the configuration says.
inline constexpr std::int32_t kSetRequestTimeoutSeconds = 10;
// The longest message a request may be encoded into.
inline constexpr std::uint16_t kLongestRequestMessage = 0xFFFF;

// How one transaction runs. The defaults are HelperSNMPTransact's: the
// configured timing (a set waits kSetRequestTimeoutSeconds), the configured
// community, and a wait for the reply.
struct TransactionOptions {
    // Seconds per wait; SNMP_TRANSACTION_CONFIGURED: as configured.
    std::int32_t timeoutSeconds = SNMP_TRANSACTION_CONFIGURED;
    // New attempts after an undecodable or foreign reply, which then also
    // count the re-sends while the printer is silent, with no re-send after
    // the last wait; SNMP_TRANSACTION_CONFIGURED: as configured.
    std::int32_t retries = SNMP_TRANSACTION_CONFIGURED;
    SnmpDatagramObserver observer = nullptr;
    void *observerContext = nullptr;
    // The community the request carries; null: the printer's, else the Snmp
    // key's, else string-table entry 17.
    const char *community = nullptr;
    // False: the request is sent once, as the channel sends it, and the
    // send's result returned without reading any reply.
    bool waitForReply = true;
    // A request whose message is longer fails with 25008.
    std::uint16_t messageRoom = kLongestRequestMessage;
    // How the request's bindings and the reply's name their objects (an
    // encoded name is oidLength octets of contents, as OidTextToBer writes
    // them; a reply's are followed by a zero).
    NameForm names = NameForm::Text;
};

// The accepted reply of a transaction, and the protocol the channel last
// used (0 when nothing was sent). The reply belongs to this record until
// Release hands it on.
class TypedReply {
public:
    TypedReply() = default;
    TypedReply(const TypedReply &) = delete;
    TypedReply &operator=(const TypedReply &) = delete;
    ~TypedReply() { HelperFreeReqParam(record_); }

    // The decoded GetResponse, whatever its errorStatus; null unless the
    // transaction's result was 0 and a reply was awaited.
    const SnmpReqParam *Record() const { return record_; }
    std::span<const SnmpVarBind> Bindings() const {
        if (record_ == nullptr || record_->varBinds == nullptr) return {};
        return {record_->varBinds, record_->varBindCount};
    }
    std::uint32_t Protocol() const { return protocol_; }
    // Hands the record over; HelperFreeReqParam releases it.
    SnmpReqParam *Release() {
        SnmpReqParam *record = record_;
        record_ = nullptr;
        return record;
    }

private:
    friend class TypedTransaction;
    SnmpReqParam *record_ = nullptr;
    std::uint32_t protocol_ = 0;
};

// One transaction in two steps, so that an edge that takes its bindings
// from text takes them where the text engine always has: after the request
// type has been checked and the request-id taken, before anything is sent.
class TypedTransaction {
public:
    TypedTransaction() = default;
    TypedTransaction(const TypedTransaction &) = delete;
    TypedTransaction &operator=(const TypedTransaction &) = delete;

    // Reads the timing and the community, checks the request type and takes
    // the request-id. Returns 0, or: no printer name 25010, a configured
    // community that is not usable text 25004, a request type other than
    // 0, 1, 2 25007 (no request-id taken).
    // `printerRead` (may be null): the printer's record, when the community
    // was looked for in it (its `made` says so).
    std::int32_t Begin(const char *printerName, std::int32_t requestType, const TransactionOptions &options,
                       PrinterSettingsRead *printerRead = nullptr);

    // Encodes `request` (at most 65535 bindings, else 25003), sends it to the
    // printer through a channel and waits for the reply to it, trying again
    // after an undecodable or foreign reply while the retries last. The
    // bindings are only read. Returns 0 with the reply in `reply` (its
    // errorStatus is the caller's to judge), or: encoding 25008, the message
    // block 25005, no reply 25010, undecodable 25009, or the channel's code
    // for a send that failed; 25015 without a successful Begin. Without
    // waiting: the send's result. A reply `reply` held before is released.
    std::int32_t Run(std::span<const SnmpVarBind> request, TypedReply &reply);

    // Run in two steps, for an engine that sends the message itself or
    // hands it to another thread: Encode forms the message (the codes of
    // Run before anything is sent; `message` is the caller's to release
    // with platform::HeapFree), Exchange sends it through a channel and
    // waits as Run does.
    std::int32_t Encode(std::span<const SnmpVarBind> request, EncodedRequest &message) const;
    // `resume`: what an engine that began the exchange has already made.
    std::int32_t Exchange(const EncodedRequest &message, TypedReply &reply, const ChannelResume &resume = {});

    // Ends the sharing of the store's reading that Begin started, on the
    // thread that began, for a transaction whose exchange runs elsewhere.
    void EndReading() { reading_.End(); }

    // How Begin settled the waits: seconds per wait, new attempts after an
    // undecodable or foreign reply, extra receives per protocol while the
    // printer is silent, whether the last of them is followed by a re-send,
    // and the configured reply checks.
    struct Timing {
        std::int32_t timeoutSeconds;
        std::int32_t retries;
        std::uint32_t receiveAttempts;
        bool resendAfterLastReceive;
        std::uint32_t replyChecks;
    };

    // The request's PDU type, for an edge that reads values from text.
    std::int32_t PduType() const { return pduType_; }
    std::int32_t RequestId() const { return requestId_; }
    const Timing &Waits() const { return timing_; }
    const TransactionOptions &Options() const { return options_; }

private:
    // Covers the settings read by Begin and ends with the first send: the
    // re-sends after a wait read the printer's key anew.
    platform::RegistryReading reading_;
    const char *printerName_ = nullptr;
    TransactionOptions options_;
    Timing timing_{};
    std::int32_t pduType_ = 0;
    std::int32_t requestId_ = 0;
    bool begun_ = false;
    const char *community_ = nullptr;
    // The printer's or the configuration's community, else the string
    // table's: a fleet holds thousands of transactions, so one room for both.
    static_assert(kCommunityFieldSize == kCommunityTextRoom);
    char communityText_[kCommunityFieldSize] = {};
};

// Begin and Run in one call, for callers whose bindings are at hand.
std::int32_t RunTypedTransaction(const char *printerName, std::int32_t requestType,
                                 std::span<const SnmpVarBind> request, TypedReply &reply,
                                 const TransactionOptions &options = {});

}  // namespace snmphelper
