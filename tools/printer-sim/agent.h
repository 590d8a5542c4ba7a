/* SPDX-License-Identifier: Apache-2.0 */
// Request handling of the SNMPv1 agent (RFC 1157 4.1): community check,
// get, get-next and set over the object store, and the agent's own snmp
// group statistics (RFC 1213 6.10).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/printer-sim/mib_store.h"
#include "tools/printer-sim/sim_message.h"

namespace printersim {

struct AgentSettings {
    std::string community = "t*o&r^e~l+d";
    // Largest reply the agent sends; a larger one becomes tooBig
    // (RFC 1157 4.1.2). An Ethernet frame's UDP payload.
    std::size_t maxMessageSize = 1472;
    // RFC 1157 4.1.5 answers a set of a read-only object with noSuchName;
    // by default the agent answers readOnly, which names the cause.
    bool readOnlyAsNoSuchName = false;
};

// What became of one datagram.
enum class Disposition {
    Answer,        // `reply` is to be sent
    Undecodable,   // not an SNMP message the agent can read
    BadVersion,    // not SNMPv1
    BadCommunity,  // wrong community: no answer, as RFC 1157 4.1 has it
    NotARequest,   // a GetResponse sent to the agent
    TooBig,        // even the tooBig reply exceeds the size limit
};

struct Outcome {
    Disposition disposition = Disposition::Undecodable;
    Message request;          // as decoded, when decodable
    Message reply;            // for Answer
    std::vector<Oid> touched;  // objects the request named or get-next reached
};

class Agent {
public:
    Agent(MibStore &store, AgentSettings settings);

    Outcome Handle(std::span<const std::uint8_t> datagram);

    // Counts a reply or trap that was sent.
    void CountReply(const Message &reply);
    void CountTrap();

    // Hundredths of a second since the agent started.
    std::uint32_t Uptime() const;
    // The value an object shows now (the clock and the counters included).
    Value Read(const MibObject &object, const Oid &name) const;

    // Rows of the trap destination table that became complete since the
    // last call, by IP address.
    std::vector<std::array<std::uint8_t, 4>> TakeNewTrapDestinations();

    const MibStore &Store() const { return store_; }
    const AgentSettings &Settings() const { return settings_; }

private:
    Message Get(const Message &request, std::vector<Oid> &touched);
    Message GetNext(const Message &request, std::vector<Oid> &touched);
    Message Set(const Message &request, std::vector<Oid> &touched);
    std::int32_t SetOne(MibStore &staged, const VarBind &varBind,
                        std::vector<std::array<std::uint8_t, 4>> &completed) const;
    void Count(std::uint32_t arc, std::uint32_t amount = 1);

    MibStore &store_;
    AgentSettings settings_;
    std::chrono::steady_clock::time_point start_;
    std::array<std::uint32_t, 30> statistics_{};  // by snmp group arc
    std::vector<std::array<std::uint8_t, 4>> newTrapDestinations_;
};

}  // namespace printersim
