/* SPDX-License-Identifier: Apache-2.0 */
// SNMPv1 messages as the agent sees them (RFC 1157 4): the requests it
// decodes, the GetResponse it encodes, and the Trap-PDU it sends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/sim_ber.h"
#include "tools/printer-sim/sim_oid.h"

namespace printersim {

constexpr std::uint8_t kPduGetRequest = 0xA0;
constexpr std::uint8_t kPduGetNextRequest = 0xA1;
constexpr std::uint8_t kPduGetResponse = 0xA2;
constexpr std::uint8_t kPduSetRequest = 0xA3;
constexpr std::uint8_t kPduTrap = 0xA4;

// error-status values (RFC 1157 4.1.1).
enum ErrorStatus : std::int32_t {
    kNoError = 0,
    kTooBig = 1,
    kNoSuchName = 2,
    kBadValue = 3,
    kReadOnly = 4,
    kGenErr = 5,
};

// One primitive value: its identifier octet and its contents octets, kept
// as received so that an error reply can carry the request's bindings
// unchanged (RFC 1157 4.1.2).
struct Value {
    std::uint8_t tag = kTagNull;
    std::vector<std::uint8_t> contents;

    bool operator==(const Value &) const = default;
};

Value IntegerValue(std::int32_t number);
Value UnsignedValue(std::uint8_t tag, std::uint32_t number);  // Counter, Gauge, TimeTicks
Value OctetsValue(std::uint8_t tag, std::span<const std::uint8_t> octets);
Value StringValue(std::string_view text);
Value IpAddressValue(const std::array<std::uint8_t, 4> &address);
Value OidValue(const Oid &oid);
Value NullValue();

struct VarBind {
    Oid name;
    Value value;
};

// Get, GetNext, Set and GetResponse share this form (RFC 1157 4.1).
struct Message {
    std::int32_t version = 0;
    std::string community;
    std::uint8_t pduType = kPduGetResponse;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = kNoError;
    std::int32_t errorIndex = 0;
    std::vector<VarBind> varBinds;
};

struct TrapMessage {
    std::string community;
    Oid enterprise;
    std::array<std::uint8_t, 4> agentAddress{};
    std::int32_t genericTrap = 0;
    std::int32_t specificTrap = 0;
    std::uint32_t timeStamp = 0;
    std::vector<VarBind> varBinds;
};

// Decodes one datagram holding exactly one message with a GetRequest,
// GetNextRequest, GetResponse or SetRequest PDU. Every length must match
// what encloses it; nothing may follow the message. Values may be any
// primitive item. Returns false for anything else; `message` is then
// unspecified.
bool DecodeMessage(std::span<const std::uint8_t> datagram, Message &message);

// Octets EncodeMessage produces, computed without encoding.
std::size_t EncodedSize(const Message &message);
// The message in shortest definite lengths (names must be valid, as
// ParseOid and DecodeMessage make them).
std::vector<std::uint8_t> EncodeMessage(const Message &message);
std::vector<std::uint8_t> EncodeTrap(const TrapMessage &trap);

}  // namespace printersim
