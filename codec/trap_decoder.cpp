// SPDX-License-Identifier: Apache-2.0
// HelperSnmpDecodeTrapPdu: one received SNMPv1 Trap message (RFC 1157 4.1.6)
// into a freshly allocated SnmpTrapParam. The checks follow the GetResponse
// decoder field for field, with the Trap-PDU's own fields in place of the
// request-id and error fields.
#include "codec/trap_decoder.h"

#include "codec/ber_decode.h"
#include "codec/byte_cursor.h"
#include "codec/varbind_list_decoder.h"
#include "platform/heap.h"

namespace snmphelper {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kObjectIdentifier = 0x06;
constexpr std::uint8_t kIpAddress = 0x40;
constexpr std::uint8_t kTimeTicks = 0x43;
constexpr std::uint8_t kTrap = 0xA4;
constexpr std::uint32_t kCommunityRoom = 256;  // fills the block, no zero after it
constexpr std::uint32_t kAgentAddressSize = 4;
constexpr std::uint32_t kValueRoom = 256;
constexpr std::uint32_t kLengthMask = 0xFFFF;  // a trap message is at most 65535 octets

bool ExpectVersion(ByteCursor &message) {
    return message.ExpectOctet(kInteger) && message.ExpectOctet(1) && message.ExpectOctet(0);
}

// Allocates `size` octets into `block` and decodes one value of the given
// class and tag into it, with room `room`; `stored` receives the length.
template <typename Block>
bool DecodeIntoBlock(ByteCursor &pdu, BerClass berClass, std::uint32_t tagNumber, Block *&block,
                     std::size_t size, std::uint32_t room, std::uint32_t &stored) {
    block = static_cast<Block *>(platform::HeapAllocZero(size));
    if (block == nullptr) return false;
    stored = room;
    return DecodeBerValue(berClass, tagNumber, pdu, block, stored);
}

bool DecodeCommunity(ByteCursor &message, SnmpTrapParam &record) {
    std::uint32_t length = 0;
    if (!message.ExpectOctet(kOctetString) ||
        !DecodeIntoBlock(message, BerClass::Universal, 4, record.community, kCommunityRoom,
                         kCommunityRoom, length)) {
        return false;
    }
    record.communityLength = static_cast<std::uint16_t>(length);
    return true;
}

bool DecodeEnterpriseAndAgent(ByteCursor &pdu, SnmpTrapParam &record) {
    std::uint32_t length = 0;
    if (!pdu.ExpectOctet(kObjectIdentifier) ||
        !DecodeIntoBlock(pdu, BerClass::Universal, 6, record.enterprise, kOidTextBlockSize,
                         kOidTextRoom, length)) {
        return false;
    }
    record.enterpriseLength = static_cast<std::uint16_t>(length);
    record.agentAddressLength = kAgentAddressSize;
    return pdu.ExpectOctet(kIpAddress) &&
           DecodeIntoBlock(pdu, BerClass::Application, 0, record.agentAddress, kAgentAddressSize,
                           kAgentAddressSize, length);
}

// generic-trap (02 01 g, no range check), specific-trap (its low 16 bits are
// kept) and time-stamp.
bool DecodeTrapFields(ByteCursor &pdu, SnmpTrapParam &record) {
    if (!pdu.ExpectOctet(kInteger) || !pdu.ExpectOctet(1) || !pdu.ReadOctet(record.genericTrap)) {
        return false;
    }
    std::int32_t specificTrap = 0;
    std::uint32_t length = sizeof specificTrap;
    if (!pdu.ExpectOctet(kInteger) ||
        !DecodeBerValue(BerClass::Universal, 2, pdu, &specificTrap, length)) {
        return false;
    }
    record.specificTrap = static_cast<std::int16_t>(static_cast<std::uint16_t>(specificTrap));
    length = sizeof record.timeStamp;
    return pdu.ExpectOctet(kTimeTicks) &&
           DecodeBerValue(BerClass::Application, 3, pdu, &record.timeStamp, length);
}

bool DecodeTrap(ByteCursor input, SnmpTrapParam &record) {
    ByteCursor message;
    ByteCursor pdu;
    ByteCursor list;
    if (!EnterItem(input, kSequence, message) || !input.AtEnd()) return false;
    if (!ExpectVersion(message) || !DecodeCommunity(message, record)) return false;
    if (!EnterItem(message, kTrap, pdu) || !message.AtEnd()) return false;
    if (!DecodeEnterpriseAndAgent(pdu, record) || !DecodeTrapFields(pdu, record)) return false;
    if (!EnterItem(pdu, kSequence, list) || !pdu.AtEnd()) return false;
    record.varBinds = AllocateVarBindBlock();
    if (record.varBinds == nullptr) return false;
    return DecodeVarBindList(list, record.varBinds, record.varBindCount, kValueRoom);
}

}  // namespace

void FreeTrapParam(SnmpTrapParam *record) {
    if (record == nullptr) return;
    if (record->varBinds != nullptr) {
        for (std::uint16_t i = 0; i < record->varBindCount; ++i) {
            platform::HeapFree(record->varBinds[i].oid);
            platform::HeapFree(record->varBinds[i].value);
        }
        platform::HeapFree(record->varBinds);
    }
    platform::HeapFree(record->agentAddress);
    platform::HeapFree(record->enterprise);
    platform::HeapFree(record->community);
    platform::HeapFree(record);
}

}  // namespace snmphelper

extern "C" SNMPHELPER_API SnmpTrapParam *SNMPHELPER_CALL
HelperSnmpDecodeTrapPdu(const uint8_t *data, uint32_t length) {
    using namespace snmphelper;
    if (data == nullptr) return nullptr;
    auto *record = static_cast<SnmpTrapParam *>(platform::HeapAllocZero(sizeof(SnmpTrapParam)));
    if (record == nullptr) return nullptr;
    if (!DecodeTrap(ByteCursor(data, length & kLengthMask), *record)) {
        FreeTrapParam(record);
        return nullptr;
    }
    return record;
}
