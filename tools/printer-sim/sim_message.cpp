// SPDX-License-Identifier: Apache-2.0
// Decoding of requests and encoding of responses and traps.
#include "tools/printer-sim/sim_message.h"

namespace printersim {

Value IntegerValue(std::int32_t number) { return {kTagInteger, SignedContents(number)}; }

Value UnsignedValue(std::uint8_t tag, std::uint32_t number) {
    return {tag, UnsignedContents(number)};
}

Value OctetsValue(std::uint8_t tag, std::span<const std::uint8_t> octets) {
    return {tag, {octets.begin(), octets.end()}};
}

Value StringValue(std::string_view text) {
    Value value{kTagOctetString, {}};
    for (char c : text) value.contents.push_back(static_cast<std::uint8_t>(c));
    return value;
}

Value IpAddressValue(const std::array<std::uint8_t, 4> &address) {
    return {kTagIpAddress, {address.begin(), address.end()}};
}

Value OidValue(const Oid &oid) { return {kTagObjectId, OidContents(oid)}; }

Value NullValue() { return {kTagNull, {}}; }

namespace {

bool ReadInteger(BerCursor &cursor, std::int32_t &value) {
    BerCursor contents;
    return cursor.ExpectItem(kTagInteger, contents) && DecodeSigned(contents.Rest(), value);
}

bool ReadVarBind(BerCursor &list, VarBind &varBind) {
    BerCursor entry;
    BerCursor name;
    BerCursor value;
    std::uint8_t valueTag = 0;
    if (!list.ExpectItem(kTagSequence, entry)) return false;
    if (!entry.ExpectItem(kTagObjectId, name) || !DecodeOidContents(name.Rest(), varBind.name))
        return false;
    if (!entry.ReadItem(valueTag, value) || (valueTag & kConstructedBit)) return false;
    varBind.value.tag = valueTag;
    varBind.value.contents.assign(value.Rest().begin(), value.Rest().end());
    return entry.AtEnd();
}

bool IsDecodablePdu(std::uint8_t tag) { return tag >= kPduGetRequest && tag <= kPduSetRequest; }

}  // namespace

bool DecodeMessage(std::span<const std::uint8_t> datagram, Message &message) {
    BerCursor input(datagram);
    BerCursor body;
    BerCursor community;
    BerCursor pdu;
    BerCursor list;
    std::uint8_t pduTag = 0;
    if (!input.ExpectItem(kTagSequence, body) || !input.AtEnd()) return false;
    if (!ReadInteger(body, message.version)) return false;
    if (!body.ExpectItem(kTagOctetString, community)) return false;
    message.community.assign(community.Rest().begin(), community.Rest().end());
    if (!body.ReadItem(pduTag, pdu) || !IsDecodablePdu(pduTag) || !body.AtEnd()) return false;
    message.pduType = pduTag;
    if (!ReadInteger(pdu, message.requestId) || !ReadInteger(pdu, message.errorStatus) ||
        !ReadInteger(pdu, message.errorIndex))
        return false;
    if (!pdu.ExpectItem(kTagSequence, list) || !pdu.AtEnd()) return false;
    message.varBinds.clear();
    while (!list.AtEnd()) {
        VarBind varBind;
        if (!ReadVarBind(list, varBind)) return false;
        message.varBinds.push_back(std::move(varBind));
    }
    return true;
}

namespace {

// Sizes of the parts, measured before anything is written.
std::size_t VarBindContentSize(const VarBind &varBind) {
    return ItemSize(OidContentsSize(varBind.name)) + ItemSize(varBind.value.contents.size());
}

std::size_t ListContentSize(const std::vector<VarBind> &varBinds) {
    std::size_t size = 0;
    for (const VarBind &varBind : varBinds) size += ItemSize(VarBindContentSize(varBind));
    return size;
}

std::size_t IntegerItemSize(std::int32_t value) { return ItemSize(SignedContentsSize(value)); }

void AppendInteger(std::vector<std::uint8_t> &out, std::int32_t value) {
    AppendItem(out, kTagInteger, SignedContents(value));
}

void AppendVarBindList(std::vector<std::uint8_t> &out, const std::vector<VarBind> &varBinds,
                       std::size_t listSize) {
    AppendHeader(out, kTagSequence, listSize);
    for (const VarBind &varBind : varBinds) {
        AppendHeader(out, kTagSequence, VarBindContentSize(varBind));
        AppendItem(out, kTagObjectId, OidContents(varBind.name));
        AppendItem(out, varBind.value.tag, varBind.value.contents);
    }
}

std::size_t PduContentSize(const Message &message) {
    return IntegerItemSize(message.requestId) + IntegerItemSize(message.errorStatus) +
           IntegerItemSize(message.errorIndex) + ItemSize(ListContentSize(message.varBinds));
}

std::size_t MessageContentSize(const Message &message) {
    return IntegerItemSize(message.version) + ItemSize(message.community.size()) +
           ItemSize(PduContentSize(message));
}

void AppendCommunity(std::vector<std::uint8_t> &out, const std::string &community) {
    AppendHeader(out, kTagOctetString, community.size());
    for (char c : community) out.push_back(static_cast<std::uint8_t>(c));
}

}  // namespace

std::size_t EncodedSize(const Message &message) { return ItemSize(MessageContentSize(message)); }

std::vector<std::uint8_t> EncodeMessage(const Message &message) {
    std::vector<std::uint8_t> out;
    out.reserve(EncodedSize(message));
    AppendHeader(out, kTagSequence, MessageContentSize(message));
    AppendInteger(out, message.version);
    AppendCommunity(out, message.community);
    AppendHeader(out, message.pduType, PduContentSize(message));
    AppendInteger(out, message.requestId);
    AppendInteger(out, message.errorStatus);
    AppendInteger(out, message.errorIndex);
    AppendVarBindList(out, message.varBinds, ListContentSize(message.varBinds));
    return out;
}

std::vector<std::uint8_t> EncodeTrap(const TrapMessage &trap) {
    // RFC 1157 4.1.6: enterprise, agent-addr, generic-trap, specific-trap,
    // time-stamp, variable-bindings.
    const std::vector<std::uint8_t> enterprise = OidContents(trap.enterprise);
    const std::vector<std::uint8_t> timeStamp = UnsignedContents(trap.timeStamp);
    const std::size_t listSize = ListContentSize(trap.varBinds);
    const std::size_t pduSize = ItemSize(enterprise.size()) + ItemSize(4) +
                                IntegerItemSize(trap.genericTrap) +
                                IntegerItemSize(trap.specificTrap) + ItemSize(timeStamp.size()) +
                                ItemSize(listSize);
    const std::size_t messageSize =
        IntegerItemSize(0) + ItemSize(trap.community.size()) + ItemSize(pduSize);
    std::vector<std::uint8_t> out;
    out.reserve(ItemSize(messageSize));
    AppendHeader(out, kTagSequence, messageSize);
    AppendInteger(out, 0);
    AppendCommunity(out, trap.community);
    AppendHeader(out, kPduTrap, pduSize);
    AppendItem(out, kTagObjectId, enterprise);
    AppendItem(out, kTagIpAddress, trap.agentAddress);
    AppendInteger(out, trap.genericTrap);
    AppendInteger(out, trap.specificTrap);
    AppendItem(out, kTagTimeTicks, timeStamp);
    AppendVarBindList(out, trap.varBinds, listSize);
    return out;
}

}  // namespace printersim
