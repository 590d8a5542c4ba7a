// SPDX-License-Identifier: Apache-2.0
#include "fleet/fleet_engine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <queue>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "codec/request_decoder.h"
#include "platform/heap.h"
#include "platform/registry.h"
#include "transact/channel.h"
#include "transact/packet_forming.h"
#include "transact/printer_config.h"
#include "transport/udp_transport.h"

namespace snmphelper {
namespace {

using Clock = std::chrono::steady_clock;

// New transactions sent between two reads of the socket, so that the
// replies to a burst of sends do not outgrow the socket's receive queue.
constexpr std::size_t kSendsBetweenReads = 64;
// Datagrams read in one go before the timers are looked at again.
constexpr std::size_t kReadsBetweenTimers = 256;
// Room asked for the socket's queue of replies: a fleet's answers to a burst
// of requests come back together (the system may grant less; sends are
// paced besides).
constexpr std::int32_t kReplyQueueBytes = 4 << 20;
// Longest sleep while workers hold transactions: their completions raise no
// datagram on the engine's socket.
constexpr std::chrono::milliseconds kWorkerLook{5};
// A request's bindings at most (the record counts them in 16 bits).
constexpr std::size_t kMaxFleetBindings = 0xFFFF;
// Ended transactions kept for the next submits, with their blocks' room: a
// fleet's walks end and begin one transaction each at every reply.
constexpr std::size_t kMostSpareTransactions = 1024;

// A transaction from Submit to its completion.
struct Transaction {
    Transaction() = default;
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    ~Transaction() { platform::HeapFree(message.bytes); }

    // As made, but for the room its strings and vectors have taken.
    void Clear() {
        typed.reset();
        printer.clear();
        community.clear();
        requestType = 0;
        options = {};
        copies.clear();
        bindingCount = 0;
        platform::HeapFree(message.bytes);
        message = {};
        tag = nullptr;
        networkAddress = 0;
        port = 0;
        receive = 0;
        timer = 0;
        resume = {};
    }

    // Made when the message is formed, on the thread that runs the engine:
    // its reading of the store belongs to that thread.
    std::optional<TypedTransaction> typed;
    std::string printer;
    std::string community;
    std::int32_t requestType = 0;
    TransactionOptions options;
    // The submitter's bindings, copied, until the message is formed: each
    // one's CopiedBinding, identifier and value in one block (a fleet holds
    // thousands of these, so no SnmpVarBind is kept for them).
    std::vector<char> copies;
    std::size_t bindingCount = 0;
    EncodedRequest message;
    void *tag = nullptr;
    // Over UDP/IP: where the request goes and replies come from.
    std::uint32_t networkAddress = 0;
    std::uint16_t port = 0;
    // Receives of the current pass already waited out, as the channel
    // counts them, and the timer that stands for the one under way.
    std::uint32_t receive = 0;
    std::uint64_t timer = 0;
    // What was made over UDP/IP before a switch handed it to a worker.
    ChannelResume resume;
};

// Zero-filled blocks for the replies read between two deliveries, handed
// out from a few large chunks kept from one burst to the next.
class ReplyArena final : public BlockSource {
public:
    void *Zeroed(std::size_t size) override {
        size = (size + kAlign - 1) / kAlign * kAlign;
        while (current_ < chunks_.size() && used_ + size > chunks_[current_].size) {
            ++current_;
            used_ = 0;
        }
        if (current_ == chunks_.size()) {
            const std::size_t room = std::max(size, kChunkSize);
            try {
                chunks_.push_back({std::make_unique<std::uint8_t[]>(room), room});
            } catch (const std::bad_alloc &) {
                return nullptr;
            }
            used_ = 0;
        }
        std::uint8_t *block = chunks_[current_].bytes.get() + used_;
        used_ += size;
        std::memset(block, 0, size);
        return block;
    }
    // Only the engine's receiver reads these, by their lengths.
    std::size_t TextBlockSize(std::size_t length, std::size_t) const override { return length + 1; }
    // Every block handed out is free again.
    void Reset() {
        current_ = 0;
        used_ = 0;
    }

private:
    static constexpr std::size_t kAlign = alignof(std::max_align_t);
    static constexpr std::size_t kChunkSize = 1 << 20;
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size;
    };
    std::vector<Chunk> chunks_;
    std::size_t current_ = 0;
    std::size_t used_ = 0;
};

// What a binding's copy keeps of it besides its identifier and value.
struct CopiedBinding {
    std::uint32_t nameLength;
    std::int32_t valueType;
    std::uint32_t valueLength;
    bool hasValue;
};

// Whether a length is one CopiedBinding can record (always, where a size
// is 32 bits).
constexpr bool FitsIn32Bits(std::size_t length) {
    if constexpr (sizeof length > sizeof(std::uint32_t)) return length <= UINT32_MAX;
    return true;
}

// A wait that ends at `when`; stale once its transaction has gone or armed
// another.
struct Timer {
    Clock::time_point when;
    std::int32_t requestId;
    std::uint64_t serial;
    bool operator>(const Timer &other) const { return when > other.when; }
};

void Observe(const Transaction &transaction, std::int32_t direction, const std::uint8_t *datagram,
             std::uint32_t length) {
    const TransactionOptions &options = transaction.typed->Options();
    if (options.observer != nullptr) {
        options.observer(options.observerContext, direction, kProtocolIp, datagram, length);
    }
}

// The completion of an accepted reply, judged as HelperSNMPTransactEx judges it.
FleetCompletion ReplyCompletion(SnmpReqParam *reply, std::uint32_t protocol, void *tag) {
    FleetCompletion completion;
    completion.protocol = protocol;
    completion.tag = tag;
    completion.reply = reply;
    if (reply != nullptr) {
        completion.errorStatus = reply->errorStatus;
        completion.errorIndex = reply->errorIndex;
        completion.result = reply->errorStatus != 0 ? SNMP_RESULT_ERROR_STATUS : 0;
    }
    return completion;
}

}  // namespace

struct FleetEngine::State {
    State(unsigned workers, FleetReplies replies, NameForm nameForm)
        : workerLimit(std::clamp(workers, 1u, kMostFleetWorkers)), lend(replies == FleetReplies::Lent),
          names(nameForm) {
        ready = socket.Bind(0) == TransportStatus::Ok;
        if (ready) socket.SetReceiveRoom(kReplyQueueBytes);
    }

    unsigned workerLimit;
    bool lend;
    NameForm names;
    // Lent replies: their records (a deque, so that they never move) and
    // blocks, until the deliveries that follow their reading end.
    std::deque<SnmpReqParam> lentRecords;
    ReplyArena arena;
    // One try per send; the engine does its own waiting.
    UdpTransport socket{1, 0, 0};
    bool ready = false;
    std::deque<std::unique_ptr<Transaction>> taken;   // submitted, not yet formed
    std::deque<std::unique_ptr<Transaction>> starts;  // formed, not yet sent
    using Waiting = std::unordered_map<std::int32_t, std::unique_ptr<Transaction>>;
    Waiting waiting;  // by request-id
    std::vector<Waiting::node_type> spareNodes;  // for the next waits, as the spare transactions are
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers;
    std::uint64_t timerSerial = 0;
    std::vector<FleetCompletion> finished;  // to deliver on the engine's thread
    std::vector<FleetCompletion> delivering;  // being delivered
    std::vector<std::unique_ptr<Transaction>> spare;  // ended, for the next submits
    std::vector<SnmpVarBind> forming;  // the bindings of the message being formed

    // The workers' side, under `mutex`.
    std::mutex mutex;
    std::condition_variable work;
    std::deque<std::unique_ptr<Transaction>> jobs;
    std::vector<FleetCompletion> workerDone;
    std::size_t handedOver = 0;  // with the workers and not yet collected
    bool stopping = false;
    std::vector<std::thread> threads;

    void Finish(std::unique_ptr<Transaction> transaction, std::int32_t result, std::uint32_t protocol) {
        FleetCompletion completion = ReplyCompletion(nullptr, protocol, transaction->tag);
        completion.result = result;
        finished.push_back(completion);
        Recycle(std::move(transaction));
    }

    // Only on the engine's thread: the workers' transactions end with them.
    void Recycle(std::unique_ptr<Transaction> transaction) {
        if (spare.size() >= kMostSpareTransactions) return;
        transaction->Clear();
        spare.push_back(std::move(transaction));
    }

    void Wait(std::unique_ptr<Transaction> transaction) {
        const std::int32_t id = transaction->typed->RequestId();
        if (spareNodes.empty()) {
            waiting[id] = std::move(transaction);
            return;
        }
        Waiting::node_type node = std::move(spareNodes.back());
        spareNodes.pop_back();
        node.key() = id;
        node.mapped() = std::move(transaction);
        // A request-id still waiting (the counter has wrapped): the newer wait.
        const auto placed = waiting.insert(std::move(node));
        if (!placed.inserted) placed.position->second = std::move(placed.node.mapped());
    }

    std::unique_ptr<Transaction> StopWaiting(Waiting::iterator found) {
        std::unique_ptr<Transaction> transaction = std::move(found->second);
        Waiting::node_type node = waiting.extract(found);
        if (spareNodes.size() < kMostSpareTransactions) spareNodes.push_back(std::move(node));
        return transaction;
    }

    std::unique_ptr<Transaction> Fresh() {
        if (spare.empty()) return std::make_unique<Transaction>();
        std::unique_ptr<Transaction> transaction = std::move(spare.back());
        spare.pop_back();
        return transaction;
    }

    // The blocking engine takes over: the printer is reached over IPX or
    // DLC now. It sends the same message, request-id included.
    void HandOver(std::unique_ptr<Transaction> transaction) {
        std::lock_guard lock(mutex);
        jobs.push_back(std::move(transaction));
        ++handedOver;
        if (threads.size() < workerLimit && threads.size() < handedOver) {
            try {
                threads.emplace_back([this] { Work(); });
            } catch (const std::system_error &) {
                // The threads there are serve it; with none, it fails below.
            }
        }
        if (threads.empty()) {
            std::unique_ptr<Transaction> orphan = std::move(jobs.back());
            jobs.pop_back();
            FleetCompletion completion = ReplyCompletion(nullptr, 0, orphan->tag);
            completion.result = SNMP_RESULT_OUT_OF_MEMORY;
            workerDone.push_back(completion);
            return;
        }
        work.notify_one();
    }

    void Work() {
        for (;;) {
            std::unique_ptr<Transaction> transaction;
            {
                std::unique_lock lock(mutex);
                work.wait(lock, [this] { return stopping || !jobs.empty(); });
                if (stopping) return;
                transaction = std::move(jobs.front());
                jobs.pop_front();
            }
            TypedReply reply;
            const std::int32_t result =
                transaction->typed->Exchange(transaction->message, reply, transaction->resume);
            FleetCompletion completion = ReplyCompletion(reply.Release(), reply.Protocol(), transaction->tag);
            if (completion.reply == nullptr) completion.result = result;
            transaction.reset();
            std::lock_guard lock(mutex);
            workerDone.push_back(completion);
        }
    }

    void CollectWorkers() {
        std::lock_guard lock(mutex);
        handedOver -= workerDone.size();
        finished.insert(finished.end(), workerDone.begin(), workerDone.end());
        workerDone.clear();
    }

    std::size_t WithWorkers() {
        std::lock_guard lock(mutex);
        return handedOver;
    }

    TransportStatus Send(const Transaction &transaction) {
        const TransportStatus sent = socket.SendToAddress(transaction.message.bytes, transaction.message.length,
                                                          transaction.networkAddress, transaction.port);
        if (sent == TransportStatus::Ok) {
            Observe(transaction, SNMP_DATAGRAM_SENT, transaction.message.bytes, transaction.message.length);
        }
        return sent;
    }

    void Arm(Transaction &transaction) {
        transaction.timer = ++timerSerial;
        timers.push({Clock::now() + std::chrono::seconds(transaction.typed->Waits().timeoutSeconds),
                     transaction.typed->RequestId(), transaction.timer});
    }

    // As the channel's send: a failure switches the printer's protocol
    // (then the blocking engine carries on over the new one) or ends the
    // transaction with the send's result.
    void SendFailed(std::unique_ptr<Transaction> transaction, TransportStatus status) {
        if (SwitchProtocol(transaction->printer.c_str(), kProtocolIp) == 0) {
            transaction->resume.sendsMade = 1;
            HandOver(std::move(transaction));
        } else {
            Finish(std::move(transaction), ResultCode(status), kProtocolIp);
        }
    }

    // The first requests waiting to go, together: one system call for the
    // lot where the system has one.
    void SendStarts() {
        UdpTransport::AddressedDatagram batch[kSendsBetweenReads];
        const std::size_t count = std::min(kSendsBetweenReads, starts.size());
        for (std::size_t i = 0; i < count; ++i) {
            const Transaction &transaction = *starts[i];
            batch[i] = {transaction.message.bytes, transaction.message.length, transaction.networkAddress,
                        transaction.port};
        }
        TransportStatus failure = TransportStatus::Ok;
        const std::size_t sent = socket.SendToAddresses({batch, count}, failure);
        for (std::size_t i = 0; i < sent; ++i) {
            std::unique_ptr<Transaction> transaction = std::move(starts.front());
            starts.pop_front();
            Observe(*transaction, SNMP_DATAGRAM_SENT, transaction->message.bytes, transaction->message.length);
            transaction->receive = 0;
            Arm(*transaction);
            Wait(std::move(transaction));
        }
        // The one that could not go switches or ends; those after it go at
        // the next look.
        if (sent < count) {
            std::unique_ptr<Transaction> transaction = std::move(starts.front());
            starts.pop_front();
            SendFailed(std::move(transaction), failure);
        }
    }

    // A datagram counts for the transaction whose request-id it carries,
    // and only from where that request went; anything else is dropped
    // unseen, as the channel drops what comes from elsewhere.
    void Accept(const std::uint8_t *datagram, std::uint32_t length, const std::uint8_t *sender,
                std::uint16_t senderPort) {
        SnmpReqParam *decoded = nullptr;
        if (lend) {
            decoded = &lentRecords.emplace_back();
            if (!DecodeResponseInto(datagram, length, *decoded, arena, names)) {
                lentRecords.pop_back();
                return;
            }
        } else {
            decoded = DecodeResponseRecord(datagram, length, names);
            if (decoded == nullptr) return;
        }
        const auto found = waiting.find(decoded->requestId);
        std::uint32_t senderAddress = 0;
        std::memcpy(&senderAddress, sender, sizeof senderAddress);
        if (found == waiting.end() || found->second->networkAddress != senderAddress ||
            found->second->port != senderPort) {
            if (lend) {
                lentRecords.pop_back();
            } else {
                HelperFreeReqParam(decoded);
            }
            return;
        }
        Observe(*found->second, SNMP_DATAGRAM_RECEIVED, datagram, length);
        FleetCompletion completion = ReplyCompletion(decoded, kProtocolIp, found->second->tag);
        completion.lent = lend;
        finished.push_back(completion);
        Recycle(StopWaiting(found));
    }

    void ReadWaiting() {
        std::uint8_t datagram[kReplyBufferSize];
        for (std::size_t read = 0; read < kReadsBetweenTimers; ++read) {
            std::uint32_t length = 0;
            std::uint8_t sender[kSenderAddressRoom] = {};
            std::uint16_t senderPort = 0;
            const TransportStatus status = socket.ReceiveWaiting(datagram, sizeof datagram, &length, sender, &senderPort);
            if (status == TransportStatus::ReceiveFailed) continue;  // one peer's error; the socket serves on
            if (status != TransportStatus::Ok) return;
            Accept(datagram, length, sender, senderPort);
        }
    }

    // A wait that ended without the reply, as the channel's receive loop
    // goes on from one: a re-send (none after a pass's last wait when the
    // caller's retries set the waits), the next wait, or at a pass's end a
    // switch of protocol, and without one the end: no reply.
    void Expired(std::unique_ptr<Transaction> transaction) {
        const TypedTransaction::Timing &waits = transaction->typed->Waits();
        const bool lastOfPass = transaction->receive >= waits.receiveAttempts;
        if (!lastOfPass || waits.resendAfterLastReceive) {
            const TransportStatus status = Send(*transaction);
            if (status != TransportStatus::Ok && SwitchProtocol(transaction->printer.c_str(), kProtocolIp) == 0) {
                // The channel would go on waiting over the new protocol;
                // the worker starts that protocol's pass afresh.
                transaction->resume.sendsMade = 1;
                HandOver(std::move(transaction));
                return;
            }
        }
        if (!lastOfPass) {
            ++transaction->receive;
            Arm(*transaction);
            Wait(std::move(transaction));
            return;
        }
        if (SwitchProtocol(transaction->printer.c_str(), kProtocolIp) == 0) {
            transaction->resume.passesMade = 1;
            HandOver(std::move(transaction));
        } else {
            Finish(std::move(transaction), SNMP_RESULT_NO_REPLY, kProtocolIp);
        }
    }

    void ExpireTimers() {
        const Clock::time_point now = Clock::now();
        while (!timers.empty() && timers.top().when <= now) {
            const Timer timer = timers.top();
            timers.pop();
            const auto found = waiting.find(timer.requestId);
            if (found == waiting.end() || found->second->timer != timer.serial) continue;
            Expired(StopWaiting(found));
        }
    }

    // Hands out what has finished (a delivery may submit more), then forms
    // what was submitted. What the deliveries submit starts at the same
    // moment, so one reading of the store serves them all, as one serves a
    // blocking transaction's settings and first send; a write (a protocol
    // switch) ends it.
    void DeliverAndForm(FleetDelivery deliver, void *context) {
        if (finished.empty() && taken.empty()) return;
        platform::RegistryReading together;
        Deliver(deliver, context);
        FormTaken();
    }

    void Deliver(FleetDelivery deliver, void *context) {
        if (finished.empty()) return;
        while (!finished.empty()) {
            // Swapped, not moved out: both lists keep their room.
            delivering.swap(finished);
            for (FleetCompletion &completion : delivering) {
                deliver(context, completion);
                if (lend && !completion.lent) HelperFreeReqParam(completion.reply);
            }
            delivering.clear();
        }
        // Every lent reply read so far has been delivered.
        lentRecords.clear();
        arena.Reset();
    }

    // Forms what was submitted since the last look, all with the caller's
    // reading of the store: the settings, the community and the printer's
    // record, as a blocking transaction reads them before its first send.
    void FormTaken() {
        while (!taken.empty()) {
            std::unique_ptr<Transaction> transaction = std::move(taken.front());
            taken.pop_front();
            Form(std::move(transaction));
        }
    }

    // The bindings a transaction's copies hold, valid until the next call.
    std::span<const SnmpVarBind> CopiedBindings(Transaction &transaction) {
        forming.resize(transaction.bindingCount);
        char *at = transaction.copies.data();
        for (SnmpVarBind &binding : forming) {
            CopiedBinding copied;
            std::memcpy(&copied, at, sizeof copied);
            at += sizeof copied;
            binding = {};
            binding.oid = at;
            binding.oidLength = static_cast<std::uint16_t>(copied.nameLength);
            at += std::size_t{copied.nameLength} + 1;
            binding.valueType = copied.valueType;
            binding.valueLength = copied.valueLength;
            if (copied.hasValue) binding.value = reinterpret_cast<std::uint8_t *>(at);
            at += std::size_t{copied.valueLength} + 1;
        }
        return forming;
    }

    void Form(std::unique_ptr<Transaction> transaction) {
        transaction->typed.emplace();
        // The printer's record, when reading the community read it, serves
        // for the address too: the same reading of the store.
        PrinterSettingsRead read;
        std::int32_t result = transaction->typed->Begin(transaction->printer.c_str(), transaction->requestType,
                                                        transaction->options, &read);
        if (result == 0) result = transaction->typed->Encode(CopiedBindings(*transaction), transaction->message);
        transaction->bindingCount = 0;
        transaction->copies.clear();
        if (result != 0) {
            Finish(std::move(transaction), result, 0);
            return;
        }
        // Where it goes, read as the channel's first open reads it.
        if (!read.made) {
            InitPrinterAddressRecord(&read.record);
            read.result = ReadPrinterSettings(transaction->printer.c_str(), &read.record, &read.extras);
        }
        const PrinterAddressRecord &record = read.record;
        const PrinterExtras &extras = read.extras;
        const bool readable = read.result == 0;
        transaction->typed->EndReading();
        const std::uint32_t protocol = readable ? ChooseProtocol(record) : 0;
        if (protocol == kProtocolIp) {
            char address[kChannelAddressSize];
            CopyAddressText(address, sizeof address, record.ipAddress, kAddressFieldSize);
            transaction->networkAddress = winsock::inet_addr(address);
            transaction->port = extras.ipPort != 0 ? extras.ipPort : kSnmpAgentPort;
            starts.push_back(std::move(transaction));
        } else if (protocol == 0) {
            // As the channel's open that finds no record or no protocol.
            Finish(std::move(transaction), ResultCode(TransportStatus::SendFailed), 0);
        } else {
            HandOver(std::move(transaction));
        }
    }

    std::size_t InFlight() {
        return taken.size() + starts.size() + waiting.size() + finished.size() + WithWorkers();
    }
};

FleetEngine::FleetEngine(unsigned workers, FleetReplies replies, NameForm names)
    : state_(std::make_unique<State>(workers, replies, names)) {}

FleetEngine::~FleetEngine() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->work.notify_all();
    for (std::thread &thread : state_->threads) thread.join();
    for (const FleetCompletion &completion : state_->workerDone) HelperFreeReqParam(completion.reply);
    for (const FleetCompletion &completion : state_->finished) {
        if (!completion.lent) HelperFreeReqParam(completion.reply);
    }
}

bool FleetEngine::Ready() const { return state_->ready; }

std::int32_t FleetEngine::Submit(const char *printerName, std::int32_t requestType,
                                 std::span<const SnmpVarBind> request, const TransactionOptions &options,
                                 void *tag) {
    if (printerName == nullptr) return SNMP_RESULT_INVALID_ARGUMENT;
    const bool encoded = state_->names == NameForm::Encoded;
    for (const SnmpVarBind &binding : request) {
        if (binding.oid == nullptr || (encoded && binding.oidLength == 0) ||
            (binding.value == nullptr && binding.valueLength != 0)) {
            return SNMP_RESULT_INVALID_ARGUMENT;
        }
    }
    if (request.size() > kMaxFleetBindings) return SNMP_RESULT_VARBIND_LIST_FAILED;
    // An unknown request type is refused before anything is taken, as the
    // blocking engine refuses it before it takes a request-id.
    SnmpReqParam typed{};
    if (!SetRequestType(typed, requestType)) return SNMP_RESULT_BAD_REQUEST_TYPE;

    std::unique_ptr<Transaction> transaction = state_->Fresh();
    transaction->printer = printerName;
    transaction->requestType = requestType;
    transaction->tag = tag;
    transaction->options = options;
    transaction->options.waitForReply = true;
    transaction->options.names = state_->names;
    if (options.community != nullptr) {
        transaction->community = options.community;
        transaction->options.community = transaction->community.c_str();
    }
    // Copies that live until the message is formed, each identifier and
    // value with a terminator after it (an OBJECT IDENTIFIER value keeps
    // its own); one block, sized first so that it never moves.
    const auto nameLength = [encoded](const SnmpVarBind &binding) {
        return encoded ? std::size_t{binding.oidLength} : std::strlen(binding.oid);
    };
    std::size_t room = 0;
    for (const SnmpVarBind &binding : request) {
        // Past any message's room, and past what a copy records.
        if (!FitsIn32Bits(nameLength(binding))) return SNMP_RESULT_INVALID_ARGUMENT;
        room += sizeof(CopiedBinding) + nameLength(binding) + 1 + binding.valueLength + 1;
    }
    transaction->copies.resize(room);
    transaction->bindingCount = request.size();
    char *at = transaction->copies.data();
    for (const SnmpVarBind &binding : request) {
        const std::size_t oidLength = nameLength(binding);
        const CopiedBinding copied{static_cast<std::uint32_t>(oidLength), binding.valueType, binding.valueLength,
                                   binding.value != nullptr};
        std::memcpy(at, &copied, sizeof copied);
        at += sizeof copied;
        std::memcpy(at, binding.oid, oidLength);
        at[oidLength] = '\0';
        at += oidLength + 1;
        if (binding.value != nullptr && binding.valueLength != 0) std::memcpy(at, binding.value, binding.valueLength);
        at[binding.valueLength] = '\0';
        at += binding.valueLength + 1;
    }
    state_->taken.push_back(std::move(transaction));
    return 0;
}

std::size_t FleetEngine::Run(std::uint32_t milliseconds, FleetDelivery deliver, void *context) {
    State &state = *state_;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        state.CollectWorkers();
        state.DeliverAndForm(deliver, context);
        state.SendStarts();
        state.ReadWaiting();
        state.ExpireTimers();
        if (!state.finished.empty()) continue;
        if (state.InFlight() == 0) break;
        const Clock::time_point now = Clock::now();
        if (now >= end) break;
        Clock::time_point until = end;
        if (!state.starts.empty() || !state.taken.empty()) until = now;
        if (!state.timers.empty()) until = std::min(until, state.timers.top().when);
        if (state.WithWorkers() != 0) until = std::min(until, now + kWorkerLook);
        if (until > now) {
            // Rounded up, so that a timer is never looked at just before it ends.
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now);
            state.socket.WaitReadable(static_cast<std::uint32_t>(wait.count()));
        }
    }
    state.CollectWorkers();
    {
        // What these deliveries submit is formed by the next run.
        platform::RegistryReading together;
        state.Deliver(deliver, context);
    }
    return state.InFlight();
}

std::size_t FleetEngine::InFlight() const { return state_->InFlight(); }

}  // namespace snmphelper
