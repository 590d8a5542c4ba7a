// SPDX-License-Identifier: Apache-2.0
// Get, get-next and set, with the error rules of RFC 1157 4.1.2 to 4.1.5.
#include "tools/printer-sim/agent.h"

#include <utility>

#include "tools/printer-sim/trap_table.h"

namespace printersim {

namespace {

// MIB-II snmp group arcs (RFC 1213 6.10).
enum SnmpArc : std::uint32_t {
    kInPkts = 1,
    kOutPkts = 2,
    kInBadVersions = 3,
    kInBadCommunityNames = 4,
    kInASNParseErrs = 6,
    kInTotalReqVars = 13,
    kInTotalSetVars = 14,
    kInGetRequests = 15,
    kInGetNexts = 16,
    kInSetRequests = 17,
    kInGetResponses = 18,
    kOutTooBigs = 20,
    kOutNoSuchNames = 21,
    kOutBadValues = 22,
    kOutGenErrs = 24,
    kOutGetResponses = 28,
    kOutTraps = 29,
};

// A reply that repeats the request's bindings with an error (RFC 1157 4.1.2).
Message ErrorReply(const Message &request, std::int32_t status, std::size_t index) {
    Message reply = request;
    reply.pduType = kPduGetResponse;
    reply.errorStatus = status;
    reply.errorIndex = static_cast<std::int32_t>(index);
    return reply;
}

// The request's header without its bindings (copying them would be wasted).
Message EmptyReply(const Message &request) {
    Message reply;
    reply.version = request.version;
    reply.community = request.community;
    reply.requestId = request.requestId;
    reply.varBinds.reserve(request.varBinds.size());
    return reply;
}

bool WithinBounds(const MibObject &object, const Value &value) {
    if (value.tag == kTagInteger) {
        std::int32_t number = 0;
        if (!DecodeSigned(value.contents, number)) return false;
        return !object.bounds || (number >= object.bounds->low && number <= object.bounds->high);
    }
    const auto size = static_cast<std::int64_t>(value.contents.size());
    if (value.tag == kTagOctetString || value.tag == kTagOpaque) {
        const Bounds bounds = object.bounds.value_or(kDisplayStringSize);
        return size >= bounds.low && size <= bounds.high;
    }
    std::uint32_t number = 0;
    Oid oid;
    switch (value.tag) {
    case kTagIpAddress:
        return size == 4;
    case kTagCounter:
    case kTagGauge:
    case kTagTimeTicks:
        return DecodeUnsigned(value.contents, number);
    case kTagObjectId:
        return DecodeOidContents(value.contents, oid) && oid.size() >= 2;
    default:
        return size == 0;  // NULL
    }
}

}  // namespace

Agent::Agent(MibStore &store, AgentSettings settings)
    : store_(store), settings_(std::move(settings)), start_(std::chrono::steady_clock::now()) {}

void Agent::Count(std::uint32_t arc, std::uint32_t amount) { statistics_[arc] += amount; }

std::uint32_t Agent::Uptime() const {
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 10);
}

Value Agent::Read(const MibObject &object, const Oid &name) const {
    switch (object.source) {
    case ValueSource::Uptime:
        return UnsignedValue(object.value.tag, Uptime());
    case ValueSource::SnmpStatistic:
        return UnsignedValue(object.value.tag, statistics_[SnmpStatisticArc(name).value_or(0)]);
    default:
        return object.value;
    }
}

Outcome Agent::Handle(std::span<const std::uint8_t> datagram) {
    Outcome outcome;
    Count(kInPkts);
    if (!DecodeMessage(datagram, outcome.request)) {
        Count(kInASNParseErrs);
        return outcome;
    }
    const Message &request = outcome.request;
    if (request.version != 0) {
        Count(kInBadVersions);
        outcome.disposition = Disposition::BadVersion;
        return outcome;
    }
    if (request.community != settings_.community) {
        Count(kInBadCommunityNames);
        outcome.disposition = Disposition::BadCommunity;
        return outcome;
    }
    switch (request.pduType) {
    case kPduGetRequest:
        Count(kInGetRequests);
        outcome.reply = Get(request, outcome.touched);
        break;
    case kPduGetNextRequest:
        Count(kInGetNexts);
        outcome.reply = GetNext(request, outcome.touched);
        break;
    case kPduSetRequest:
        Count(kInSetRequests);
        outcome.reply = Set(request, outcome.touched);
        break;
    default:
        Count(kInGetResponses);
        outcome.disposition = Disposition::NotARequest;
        return outcome;
    }
    outcome.disposition = Disposition::Answer;
    if (EncodedSize(outcome.reply) > settings_.maxMessageSize) {
        // RFC 1157 4.1.2: the request's own bindings, tooBig, index 0.
        outcome.reply = ErrorReply(request, kTooBig, 0);
        if (EncodedSize(outcome.reply) > settings_.maxMessageSize) outcome.disposition = Disposition::TooBig;
    }
    return outcome;
}

Message Agent::Get(const Message &request, std::vector<Oid> &touched) {
    Message reply = EmptyReply(request);
    for (std::size_t i = 0; i < request.varBinds.size(); ++i) {
        const Oid &name = request.varBinds[i].name;
        touched.push_back(name);
        const MibObject *object = store_.Find(name);
        if (object == nullptr) return ErrorReply(request, kNoSuchName, i + 1);
        reply.varBinds.push_back({name, Read(*object, name)});
    }
    Count(kInTotalReqVars, static_cast<std::uint32_t>(reply.varBinds.size()));
    return reply;
}

Message Agent::GetNext(const Message &request, std::vector<Oid> &touched) {
    Message reply = EmptyReply(request);
    for (std::size_t i = 0; i < request.varBinds.size(); ++i) {
        const auto *next = store_.Next(request.varBinds[i].name);
        touched.push_back(request.varBinds[i].name);
        // RFC 1157 4.1.3: past the last object there is no next name.
        if (next == nullptr) return ErrorReply(request, kNoSuchName, i + 1);
        touched.push_back(next->first);
        reply.varBinds.push_back({next->first, Read(next->second, next->first)});
    }
    Count(kInTotalReqVars, static_cast<std::uint32_t>(reply.varBinds.size()));
    return reply;
}

std::int32_t Agent::SetOne(MibStore &staged, const VarBind &varBind,
                           std::vector<std::array<std::uint8_t, 4>> &completed) const {
    if (IsTrapDestinationName(varBind.name))
        return SetTrapDestination(staged, varBind.name, varBind.value, completed);
    MibObject *object = staged.Modify(varBind.name);
    if (object == nullptr) return kNoSuchName;
    if (object->access != Access::ReadWrite)
        return settings_.readOnlyAsNoSuchName ? kNoSuchName : kReadOnly;
    if (varBind.value.tag != object->value.tag || !WithinBounds(*object, varBind.value)) return kBadValue;
    object->value = varBind.value;
    return kNoError;
}

Message Agent::Set(const Message &request, std::vector<Oid> &touched) {
    // RFC 1157 4.1.5: every binding is applied, or none. They are applied in
    // order to a copy, which replaces the store only when all succeeded.
    MibStore staged = store_;
    std::vector<std::array<std::uint8_t, 4>> completed;
    for (std::size_t i = 0; i < request.varBinds.size(); ++i) {
        touched.push_back(request.varBinds[i].name);
        const std::int32_t status = SetOne(staged, request.varBinds[i], completed);
        if (status != kNoError) return ErrorReply(request, status, i + 1);
    }
    store_ = std::move(staged);
    newTrapDestinations_.insert(newTrapDestinations_.end(), completed.begin(), completed.end());
    Count(kInTotalSetVars, static_cast<std::uint32_t>(request.varBinds.size()));
    Message reply = request;
    reply.pduType = kPduGetResponse;
    reply.errorStatus = kNoError;
    reply.errorIndex = 0;
    return reply;
}

void Agent::CountReply(const Message &reply) {
    Count(kOutPkts);
    Count(kOutGetResponses);
    switch (reply.errorStatus) {
    case kTooBig:
        Count(kOutTooBigs);
        break;
    case kNoSuchName:
        Count(kOutNoSuchNames);
        break;
    case kBadValue:
        Count(kOutBadValues);
        break;
    case kGenErr:
        Count(kOutGenErrs);
        break;
    default:
        break;
    }
}

void Agent::CountTrap() {
    Count(kOutPkts);
    Count(kOutTraps);
}

std::vector<std::array<std::uint8_t, 4>> Agent::TakeNewTrapDestinations() {
    return std::exchange(newTrapDestinations_, {});
}

}  // namespace printersim
