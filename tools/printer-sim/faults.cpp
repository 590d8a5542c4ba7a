// SPDX-License-Identifier: Apache-2.0
// Faults and what they do to a reply.
#include "tools/printer-sim/faults.h"

#include "tools/printer-sim/sim_parse.h"

namespace printersim {

namespace {

// Splits "name:a:b" into the name and up to two arguments.
struct FaultWords {
    std::string_view name;
    std::vector<std::string_view> arguments;
};

FaultWords SplitFault(std::string_view text) {
    FaultWords parts;
    std::size_t colon = text.find(':');
    parts.name = text.substr(0, colon);
    while (colon != std::string_view::npos) {
        text.remove_prefix(colon + 1);
        colon = text.find(':');
        parts.arguments.push_back(text.substr(0, colon));
    }
    return parts;
}

bool ParseInto(const FaultWords &parts, FaultPlan &plan, std::string &error) {
    const auto &args = parts.arguments;
    const std::string_view name = parts.name;
    auto noArgument = [&] { return args.empty(); };
    auto oneNumber = [&](auto &number) { return args.size() == 1 && ParseNumber(args[0], number); };
    if (name == "silent" && noArgument()) {
        plan.silent = true;
    } else if (name == "garbage" && noArgument()) {
        plan.garbage = true;
    } else if (name == "drop") {
        if (!oneNumber(plan.dropFirst)) return Fail(error, "drop needs a count: drop:N");
    } else if (name == "truncate") {
        std::size_t keep = 0;
        if (!noArgument() && !oneNumber(keep)) return Fail(error, "truncate takes an octet count");
        plan.truncateTo = keep;
    } else if (name == "oversize") {
        std::size_t size = kDefaultOversize;
        if (!noArgument() && !oneNumber(size)) return Fail(error, "oversize takes an octet count");
        if (size > 65000) return Fail(error, "oversize above 65000 octets cannot be sent");
        plan.oversizeTo = size;
    } else if (name == "foreign-id") {
        std::int32_t id = 0;  // 0: derived from the request's own id
        if (!noArgument() && !oneNumber(id)) return Fail(error, "foreign-id takes a request-id");
        plan.foreignRequestId = id;
    } else if (name == "error-status") {
        std::int32_t status = 0;
        std::int32_t index = 0;
        if (args.empty() || args.size() > 2 || !ParseNumber(args[0], status) ||
            (args.size() == 2 && !ParseNumber(args[1], index)) || status < 0 || status > 127 ||
            index < 0)
            return Fail(error, "error-status needs a status 0-127 and may take an index: error-status:S[:I]");
        plan.errorStatus = status;
        plan.errorIndex = args.size() == 2 ? std::optional<std::int32_t>(index) : std::nullopt;
    } else if (name == "delay") {
        if (!oneNumber(plan.delayMs) || plan.delayMs > kMaxDelayMs)
            return Fail(error, "delay needs milliseconds up to 60000: delay:MS");
    } else if (name == "other-port") {
        std::uint16_t port = 0;
        if (!noArgument() && !oneNumber(port)) return Fail(error, "other-port takes a port number");
        plan.otherPort = port;
    } else {
        return Fail(error, "unknown fault '" + std::string(name) +
                       "' (silent, drop:N, garbage, truncate[:N], oversize[:N], foreign-id[:ID], "
                       "error-status:S[:I], delay:MS, other-port[:P])");
    }
    return true;
}

}  // namespace

bool ParseFault(std::string_view text, FaultPlan &plan, std::string &error) {
    FaultPlan changed = plan;
    if (!ParseInto(SplitFault(text), changed, error)) return false;
    plan = changed;
    return true;
}

std::vector<std::string> FaultTexts(const FaultPlan &plan) {
    std::vector<std::string> texts;
    if (plan.silent) texts.emplace_back("silent");
    if (plan.dropFirst != 0) texts.push_back("drop:" + std::to_string(plan.dropFirst));
    if (plan.garbage) texts.emplace_back("garbage");
    if (plan.truncateTo) texts.push_back("truncate:" + std::to_string(*plan.truncateTo));
    if (plan.oversizeTo) texts.push_back("oversize:" + std::to_string(*plan.oversizeTo));
    if (plan.foreignRequestId) texts.push_back("foreign-id:" + std::to_string(*plan.foreignRequestId));
    if (plan.errorStatus) {
        std::string text = "error-status:" + std::to_string(*plan.errorStatus);
        if (plan.errorIndex) text += ":" + std::to_string(*plan.errorIndex);
        texts.push_back(text);
    }
    if (plan.delayMs != 0) texts.push_back("delay:" + std::to_string(plan.delayMs));
    if (plan.otherPort) texts.push_back("other-port:" + std::to_string(*plan.otherPort));
    return texts;
}

void MergeFaults(FaultPlan &into, const FaultPlan &from) {
    into.silent = into.silent || from.silent;
    into.garbage = into.garbage || from.garbage;
    if (from.dropFirst > into.dropFirst) into.dropFirst = from.dropFirst;
    if (from.delayMs > into.delayMs) into.delayMs = from.delayMs;
    if (from.truncateTo) into.truncateTo = from.truncateTo;
    if (from.oversizeTo) into.oversizeTo = from.oversizeTo;
    if (from.foreignRequestId) into.foreignRequestId = from.foreignRequestId;
    if (from.errorStatus) {
        into.errorStatus = from.errorStatus;
        into.errorIndex = from.errorIndex;
    }
    if (from.otherPort) into.otherPort = from.otherPort;
}

void ApplyMessageFaults(const FaultPlan &plan, Message &reply) {
    if (plan.errorStatus) {
        reply.errorStatus = *plan.errorStatus;
        // Without an index given, point at the first binding as an agent
        // would for a failing variable (RFC 1157 4.1.2); 0 when there is none.
        reply.errorIndex = plan.errorIndex ? *plan.errorIndex : (reply.varBinds.empty() ? 0 : 1);
    }
    if (plan.foreignRequestId) {
        // Flipping bit 30 always gives an id other than the request's.
        reply.requestId = *plan.foreignRequestId != 0 ? *plan.foreignRequestId
                                                      : (reply.requestId ^ 0x40000000);
    }
}

namespace {

// Octets that no SNMP decoder accepts as a message: the first is never a
// SEQUENCE identifier. Varied from reply to reply but reproducible.
std::vector<std::uint8_t> GarbageFor(const Message &reply) {
    std::uint32_t state = static_cast<std::uint32_t>(reply.requestId) * 2654435761u + 12345u;
    std::vector<std::uint8_t> octets(48);
    for (std::uint8_t &octet : octets) {
        state = state * 1103515245u + 12345u;
        octet = static_cast<std::uint8_t>(state >> 24);
    }
    octets[0] = 0xDE;
    return octets;
}

// Pads a reply with one more binding (zeroDotZero, an OCTET STRING) until
// it is at least `size` octets: still a well-formed message, only too large.
Message Oversized(Message reply, std::size_t size) {
    const std::size_t plain = EncodedSize(reply);
    if (plain >= size) return reply;
    Oid zeroDotZero{0, 0};
    reply.varBinds.push_back({zeroDotZero, Value{kTagOctetString, std::vector<std::uint8_t>(size - plain, 'x')}});
    return reply;
}

}  // namespace

std::vector<std::uint8_t> EncodeWithFaults(const FaultPlan &plan, const Message &reply) {
    if (plan.garbage) return GarbageFor(reply);
    std::vector<std::uint8_t> octets =
        plan.oversizeTo ? EncodeMessage(Oversized(reply, *plan.oversizeTo)) : EncodeMessage(reply);
    if (plan.truncateTo) {
        std::size_t keep = *plan.truncateTo != 0 ? *plan.truncateTo : octets.size() / 2;
        // Always cut at least one octet, so the reply never stays whole.
        if (keep >= octets.size()) keep = octets.size() - 1;
        octets.resize(keep);
    }
    return octets;
}

}  // namespace printersim
