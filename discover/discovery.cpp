// SPDX-License-Identifier: Apache-2.0
#include "discover/discovery.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <thread>

#include "discover/discovered_printers.h"
#include "dlc/dlc_transport.h"
#include "transact/dotted_quad.h"
#include "transact/request_id.h"
#include "transact/typed_transaction.h"
#include "transport/ipx_transport.h"
#include "transport/udp_transport.h"

namespace snmphelper {
namespace {

using Clock = std::chrono::steady_clock;

// A discovery request is a few hundred octets, well within RFC 1420's 546.
constexpr std::uint16_t kRequestRoom = 546;
constexpr std::uint8_t kNoSuchName = 2;  // RFC 1157 4.1.2
// How long the collection pauses when no transport had a datagram waiting;
// over DLC the pause is a wait that a frame ends at once.
constexpr std::chrono::milliseconds kIdlePause{1};
constexpr std::uint32_t kAllObjects = (1U << kDiscoveryObjectCount) - 1;
constexpr std::size_t kLegCount = 3;  // IP, IPX, DLC

// One request sent over a leg: its request-id and the objects it asked for
// (bit i: kDiscoveryObjects[i]).
struct Question {
    std::int32_t requestId;
    std::uint32_t objects;
};

// One transport of the discovery and what was asked over it.
struct Leg {
    std::uint32_t protocol = 0;
    std::unique_ptr<DatagramTransport> transport;
    std::vector<Question> questions;
};

class Discovery {
public:
    Discovery(const DiscoverySettings &settings, DiscoveryOutcome &outcome) : settings_(settings), outcome_(outcome) {}

    std::int32_t Run();

private:
    // Encodes a GetRequest for `objects` under a new request-id, remembered
    // as the leg's; false when it cannot be encoded.
    bool Form(Leg &leg, std::uint32_t objects, std::uint8_t *message, std::uint16_t &length);
    void OpenIp();
    void OpenIpx();
    void OpenDlc();
    void SendIp(Leg &leg, const platform::Ipv4Address &address, const std::uint8_t *message, std::uint16_t length);
    // Sends the next walked address when its time has come; false once
    // every walked address has been sent to.
    bool WalkOn(Clock::time_point now);
    // Receives one reply over `leg` and handles it; false when none was
    // waiting. With `wait` a DLC leg waits up to kIdlePause for one.
    bool Take(Leg &leg, bool wait);
    bool Drain(Leg &leg);
    // Waits up to kIdlePause for a reply: for one over DLC when discovery
    // asks over DLC (its replies wait in the DLC interface's pool, the
    // others in their large socket buffers), else a plain pause.
    void Pause();
    void HandleReply(Leg &leg, const std::uint8_t *data, std::uint32_t length, const ReplySource &source);
    void AskAgain(Leg &leg, const ReplySource &source, std::uint32_t objects);

    const DiscoverySettings &settings_;
    DiscoveryOutcome &outcome_;
    std::vector<Leg> legs_;
    Leg *ipLeg_ = nullptr;
    Leg *dlcLeg_ = nullptr;
    DlcTransport *dlc_ = nullptr;
    DiscoveredPrinters found_;
    // The (request-id, printer address) refusals already asked again.
    std::set<std::pair<std::int32_t, std::string>> askedAgain_;
    // The walk: the range and the next address in it, and when it is due.
    std::size_t walkRange_ = 0;
    std::uint64_t walkNext_ = 0;
    std::uint64_t walkSent_ = 0;
    Clock::time_point walkStart_{};
    std::uint8_t walkMessage_[kRequestRoom] = {};
    std::uint16_t walkLength_ = 0;
};

bool Discovery::Form(Leg &leg, std::uint32_t objects, std::uint8_t *message, std::uint16_t &length) {
    SnmpVarBind bindings[kDiscoveryObjectCount] = {};
    std::uint16_t count = 0;
    for (std::size_t i = 0; i < kDiscoveryObjectCount; ++i) {
        if ((objects & (1U << i)) == 0) continue;
        bindings[count].oid = const_cast<char *>(kDiscoveryObjects[i]);  // the encoder only reads it
        bindings[count].valueType = SNMP_VALUE_NULL;
        ++count;
    }
    SnmpReqParam request{};
    request.community = const_cast<char *>(settings_.community.c_str());
    request.communityLength = static_cast<std::uint16_t>(settings_.community.size());
    request.pduType = SNMP_PDU_GET_REQUEST;
    request.requestId = NextRequestId();
    request.varBindCount = count;
    request.varBinds = bindings;
    length = kRequestRoom;
    if (HelperSnmpEncodePdu(&request, message, &length) != SNMP_ENCODE_OK) return false;
    leg.questions.push_back({request.requestId, objects});
    return true;
}

void Discovery::SendIp(Leg &leg, const platform::Ipv4Address &address, const std::uint8_t *message,
                       std::uint16_t length) {
    const std::string dotted = DottedQuadText(address);
    if (leg.transport->SendTo(message, length, dotted.c_str(), kSnmpAgentPort) == TransportStatus::Ok) {
        outcome_.protocolsSent |= SNMP_PROTOCOL_IP;
    }
}

void Discovery::OpenIp() {
    Leg leg;
    leg.protocol = SNMP_PROTOCOL_IP;
    auto transport = std::make_unique<UdpTransport>(1, 0, kTransportAllowBroadcast);
    if (transport->Bind(0) != TransportStatus::Ok) return;
    // Not fatal: a smaller room only risks replies in a very large crowd.
    transport->SetReceiveRoom(kDiscoveryReceiveRoom);
    leg.transport = std::move(transport);
    std::uint8_t message[kRequestRoom];
    std::uint16_t length = 0;
    if (!Form(leg, kAllObjects, message, length)) return;
    std::vector<platform::Ipv4Address> addresses;
    if (settings_.interfaceBroadcasts) addresses = platform::InterfaceBroadcastAddresses();
    for (const platform::Ipv4Address &target : settings_.targets.immediate) {
        if (std::find(addresses.begin(), addresses.end(), target) == addresses.end()) addresses.push_back(target);
    }
    for (const platform::Ipv4Address &address : addresses) SendIp(leg, address, message, length);
    // The walk sends the same request, so each reply matches it.
    std::memcpy(walkMessage_, message, length);
    walkLength_ = length;
    legs_.push_back(std::move(leg));
    ipLeg_ = &legs_.back();
}

void Discovery::OpenIpx() {
    Leg leg;
    leg.protocol = SNMP_PROTOCOL_IPX;
    auto transport = std::make_unique<IpxTransport>(1, 0, kTransportAllowBroadcast);
    if (transport->Bind(0) != TransportStatus::Ok) return;
    transport->SetReceiveRoom(kDiscoveryReceiveRoom);
    std::uint8_t message[kRequestRoom];
    std::uint16_t length = 0;
    if (!Form(leg, kAllObjects, message, length)) return;
    bool sent = transport->SendBroadcast(message, length, kIpxAgentSocket) == TransportStatus::Ok;
    // Printers that know their network number answer to it as well as to
    // "this network"; some answer only to it.
    std::uint8_t local[kSenderAddressRoom] = {};
    if (transport->GetLocalAddress(local) == TransportStatus::Ok &&
        (local[0] | local[1] | local[2] | local[3]) != 0) {
        char address[2 * kSenderAddressRoom + 1];
        std::snprintf(address, sizeof address, "%02X%02X%02X%02XFFFFFFFFFFFF", static_cast<unsigned>(local[0]),
                      static_cast<unsigned>(local[1]), static_cast<unsigned>(local[2]),
                      static_cast<unsigned>(local[3]));
        sent = transport->SendTo(message, length, address, kIpxAgentSocket) == TransportStatus::Ok || sent;
    }
    if (sent) outcome_.protocolsSent |= SNMP_PROTOCOL_IPX;
    leg.transport = std::move(transport);
    legs_.push_back(std::move(leg));
}

void Discovery::OpenDlc() {
    if (!DlcAvailable()) return;
    Leg leg;
    leg.protocol = SNMP_PROTOCOL_DLC;
    auto transport = std::make_unique<DlcTransport>(1, 0, kTransportAllowBroadcast);
    if (transport->Bind(0) != TransportStatus::Ok) return;
    std::uint8_t message[kRequestRoom];
    std::uint16_t length = 0;
    if (!Form(leg, kAllObjects, message, length)) return;
    if (transport->SendBroadcast(message, length, kDlcAgentSap) == TransportStatus::Ok) {
        outcome_.protocolsSent |= SNMP_PROTOCOL_DLC;
    }
    dlc_ = transport.get();
    leg.transport = std::move(transport);
    legs_.push_back(std::move(leg));
    dlcLeg_ = &legs_.back();
}

bool Discovery::WalkOn(Clock::time_point now) {
    const auto &walked = settings_.targets.walked;
    if (ipLeg_ == nullptr || walkRange_ >= walked.size()) return false;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - walkStart_).count();
    const std::uint64_t due = static_cast<std::uint64_t>(elapsed) * settings_.walkRate / 1000 + 1;
    while (walkSent_ < due && walkRange_ < walked.size()) {
        const auto &range = walked[walkRange_];
        const auto address = static_cast<std::uint32_t>(range.first + walkNext_);
        SendIp(*ipLeg_, AddressFromNumber(address), walkMessage_, walkLength_);
        ++walkSent_;
        if (address == range.last) {
            ++walkRange_;
            walkNext_ = 0;
        } else {
            ++walkNext_;
        }
    }
    return walkRange_ < walked.size();
}

bool Discovery::Take(Leg &leg, bool wait) {
    std::uint8_t received[kReplyBufferSize];
    std::uint32_t length = 0;
    ReplySource source;
    source.protocol = leg.protocol;
    std::uint16_t port = 0;
    const TransportStatus status =
        wait && &leg == dlcLeg_
            ? dlc_->ReceiveWithin(static_cast<std::uint32_t>(kIdlePause.count()), received, sizeof received, &length,
                                  source.address.data(), &port)
            : leg.transport->Receive(received, sizeof received, &length, source.address.data(), &port);
    if (status != TransportStatus::Ok) return false;
    HandleReply(leg, received, length, source);
    return true;
}

bool Discovery::Drain(Leg &leg) {
    bool any = false;
    while (Take(leg, false)) any = true;
    return any;
}

void Discovery::Pause() {
    if (dlcLeg_ == nullptr) {
        std::this_thread::sleep_for(kIdlePause);
    } else {
        static_cast<void>(Take(*dlcLeg_, true));
    }
}

void Discovery::HandleReply(Leg &leg, const std::uint8_t *data, std::uint32_t length, const ReplySource &source) {
    SnmpReqParam *reply = HelperSnmpDecodePdu(data, length);
    if (reply == nullptr) return;
    const Question *question = nullptr;
    for (const Question &asked : leg.questions) {
        if (asked.requestId == reply->requestId) question = &asked;
    }
    if (question != nullptr) {
        ++outcome_.repliesReceived;
        const std::uint32_t objects = question->objects;
        if (reply->errorStatus == 0) {
            found_.Add(source, {reply->varBinds, reply->varBindCount});
        } else {
            found_.Add(source, {});
            // An agent without one of the objects refuses them all (RFC 1157
            // 4.1.2): ask it again without that one.
            if (reply->errorStatus == kNoSuchName) {
                std::uint32_t nth = reply->errorIndex;
                for (std::size_t i = 0; i < kDiscoveryObjectCount && nth > 0; ++i) {
                    if ((objects & (1U << i)) != 0 && --nth == 0) {
                        const std::uint32_t rest = objects & ~(1U << i);
                        // Once per printer and question, however often its refusal comes.
                        const auto asked = std::make_pair(question->requestId, SourceAddressText(source));
                        if (rest != 0 && askedAgain_.insert(asked).second) AskAgain(leg, source, rest);
                    }
                }
            }
        }
    }
    HelperFreeReqParam(reply);
}

void Discovery::AskAgain(Leg &leg, const ReplySource &source, std::uint32_t objects) {
    std::uint8_t message[kRequestRoom];
    std::uint16_t length = 0;
    if (!Form(leg, objects, message, length)) return;
    const std::string address = SourceAddressText(source);
    leg.transport->SendToAgent(message, length, address.c_str());
}

std::int32_t Discovery::Run() {
    // Room for every leg from the start, so the walk's pointer to the IP
    // leg stays valid.
    legs_.reserve(kLegCount);
    if ((settings_.protocols & SNMP_PROTOCOL_IP) != 0) OpenIp();
    if ((settings_.protocols & SNMP_PROTOCOL_IPX) != 0) OpenIpx();
    if ((settings_.protocols & SNMP_PROTOCOL_DLC) != 0) OpenDlc();

    const auto wait = std::chrono::milliseconds(settings_.timeoutMilliseconds);
    walkStart_ = Clock::now();
    auto deadline = walkStart_ + wait;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (WalkOn(now)) deadline = now + wait;  // each walked address gets the whole wait
        if (now >= deadline) break;
        bool any = false;
        for (Leg &leg : legs_) any = Drain(leg) || any;
        if (!any) Pause();
    }
    outcome_.printers = found_.Records();
    return outcome_.protocolsSent != 0 ? 0 : SNMP_RESULT_SEND_FAILED;
}

}  // namespace

std::int32_t RunDiscovery(const DiscoverySettings &settings, DiscoveryOutcome &outcome) {
    outcome = {};
    Discovery discovery(settings, outcome);
    return discovery.Run();
}

}  // namespace snmphelper
