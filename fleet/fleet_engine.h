/* SPDX-License-Identifier: Apache-2.0 */
// Many transactions in flight on one thread: the typed transaction of
// transact/typed_transaction.h (the same forming, request-ids, timing,
// re-sends and protocol switches), with the waits of every printer reached
// over UDP/IP shared by one non-blocking socket, so that a silent printer
// costs its timeouts beside the others rather than a thread of its own.
// Printers reached over IPX or DLC, and those whose configuration switches
// them there, are served by the blocking engine on a few worker threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/name_form.h"
#include "snmphelper.h"
#include "transact/typed_transaction.h"

namespace snmphelper {

// How one transaction ended. The reply, when there is one, is the
// receiver's (HelperFreeReqParam releases it).
struct FleetCompletion {
    // 0 for a reply with error-status 0; 25011 for a reply with any other
    // (genErr included); otherwise what the blocking engine answers.
    std::int32_t result = 0;
    std::uint32_t errorStatus = 0;
    std::uint32_t errorIndex = 0;
    std::uint32_t protocol = 0;  // of the last transport used; 0 when nothing was sent
    SnmpReqParam *reply = nullptr;
    void *tag = nullptr;  // the submitter's
    // The reply lives in the engine's arena (FleetReplies::Lent).
    bool lent = false;
};

// Who releases a completion's reply: the receiver (HelperFreeReqParam), or
// the engine once the delivery returns, in which case the replies of a
// burst are decoded into one arena of the engine's instead of a heap block
// each, and the receiver reads a reply only while its delivery runs.
enum class FleetReplies { Given, Lent };

// Called once per finished transaction, on the thread that runs the engine.
using FleetDelivery = void (*)(void *context, FleetCompletion &completion);

// Worker threads an engine starts when a transaction needs one, at most.
inline constexpr unsigned kDefaultFleetWorkers = 4;
inline constexpr unsigned kMostFleetWorkers = 64;

// One engine is driven by one thread at a time; engines on different
// threads share nothing but what every transaction shares (the request-id
// counter, the configuration store).
class FleetEngine {
public:
    // `workers` (1 to kMostFleetWorkers): threads for the printers reached
    // over IPX or DLC, started when the first such transaction comes.
    // `names`: how submitted bindings and the replies' bindings name their
    // objects (NameForm::Encoded: oidLength octets of contents, as
    // OidTextToBer writes them; a reply's are followed by a zero).
    explicit FleetEngine(unsigned workers = kDefaultFleetWorkers, FleetReplies replies = FleetReplies::Given,
                         NameForm names = NameForm::Text);
    ~FleetEngine();
    FleetEngine(const FleetEngine &) = delete;
    FleetEngine &operator=(const FleetEngine &) = delete;

    // Whether the engine's socket could be opened; without it, transactions
    // over UDP/IP fail as a send that failed would.
    bool Ready() const;

    // Takes a transaction: the bindings and every text are copied before it
    // returns. 0 when it was taken (its completion comes from a later Run,
    // which forms it: what cannot be formed, such as a community the store
    // holds that is not usable text, ends with its forming code); otherwise
    // no completion comes: 25007 for an unknown request type, 25003 for more
    // than 65535 bindings, 25015 for a null printer name or a binding without
    // an identifier (an encoded one: without octets) or with a length and no
    // value. An encoded name that is not valid contents ends its transaction
    // with 25008, as text that cannot be encoded does. The options' waitForReply
    // is not read: the engine waits.
    std::int32_t Submit(const char *printerName, std::int32_t requestType, std::span<const SnmpVarBind> request,
                        const TransactionOptions &options, void *tag);

    // Sends, waits and re-sends for up to `milliseconds`, handing each
    // finished transaction to `deliver`; returns earlier once nothing is in
    // flight. The transactions still in flight.
    std::size_t Run(std::uint32_t milliseconds, FleetDelivery deliver, void *context);

    // Transactions taken and not yet delivered.
    std::size_t InFlight() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace snmphelper
