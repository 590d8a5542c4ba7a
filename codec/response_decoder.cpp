// SPDX-License-Identifier: Apache-2.0
// HelperSnmpDecodePdu: one received SNMPv1 GetResponse message (RFC 1157 4.1)
// into a freshly allocated SnmpReqParam; DecodeRequestMessage the same for a
// request. Only a complete message with every
// length exact is accepted. Lengths may take the long form (up to four
// octets). The version, error-status and error-index must be exactly the
// three octets 02 01 x; the request-id may be any INTEGER encoding that fits
// 32 bits, redundant leading octets included (see ReadBerValue).
#include <cstring>

#include "codec/ber_decode.h"
#include "codec/byte_cursor.h"
#include "codec/request_decoder.h"
#include "codec/varbind_list_decoder.h"
#include "platform/heap.h"
#include "snmphelper.h"

namespace snmphelper {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kFirstPduTag = 0xA0;  // plus the SnmpPduType code
constexpr std::size_t kCommunityBlockSize = 256;
constexpr std::uint8_t kErrorStatusLimit = 6;  // noError .. genErr

// The version field, always the three octets of INTEGER 0 (SNMPv1).
bool ExpectVersion(ByteCursor &message) {
    return message.ExpectOctet(kInteger) && message.ExpectOctet(1) && message.ExpectOctet(0);
}

// An INTEGER in exactly the form 02 01 x, as the error fields must be.
bool ReadOneOctetInteger(ByteCursor &pdu, std::uint8_t &value) {
    return pdu.ExpectOctet(kInteger) && pdu.ExpectOctet(1) && pdu.ReadOctet(value);
}

// At most 255 octets, so a zero always follows them in the 256-octet block.
bool DecodeCommunity(ByteCursor &message, SnmpReqParam &record, BlockSource &blocks) {
    if (!message.ExpectOctet(kOctetString)) return false;
    // The octets as they are: read straight, without the general value reader.
    std::uint32_t length = 0;
    ByteCursor contents;
    if (!DecodeLength(message, length) || !message.Split(length, contents) || length > kCommunityBlockSize - 1) {
        return false;
    }
    record.community = static_cast<char *>(blocks.Zeroed(blocks.TextBlockSize(length, kCommunityBlockSize)));
    if (record.community == nullptr) return false;
    if (length != 0) std::memcpy(record.community, contents.Position(), length);
    record.communityLength = static_cast<std::uint16_t>(length);
    return true;
}

bool DecodeHeaderFields(ByteCursor &pdu, SnmpReqParam &record) {
    std::uint32_t length = sizeof record.requestId;
    if (!pdu.ExpectOctet(kInteger) ||
        !DecodeBerValue(BerClass::Universal, 2, pdu, &record.requestId, length)) {
        return false;
    }
    std::uint8_t errorStatus = 0;
    std::uint8_t errorIndex = 0;
    if (!ReadOneOctetInteger(pdu, errorStatus) || errorStatus >= kErrorStatusLimit ||
        !ReadOneOctetInteger(pdu, errorIndex)) {
        return false;
    }
    record.errorStatus = errorStatus;
    record.errorIndex = errorIndex;
    return true;
}

// A GetResponse, or (`request`) a GetRequest, GetNextRequest or SetRequest.
bool AcceptedPdu(std::uint8_t tag, bool request) {
    if (tag < kFirstPduTag) return false;
    const int pduType = tag - kFirstPduTag;
    if (!request) return pduType == SNMP_PDU_GET_RESPONSE;
    return pduType == SNMP_PDU_GET_REQUEST || pduType == SNMP_PDU_GET_NEXT_REQUEST ||
           pduType == SNMP_PDU_SET_REQUEST;
}

bool DecodeMessage(ByteCursor input, SnmpReqParam &record, bool request, BlockSource &blocks = HeapBlocks(),
                   NameForm names = NameForm::Text) {
    // The message and the PDU and its list must each reach exactly to the end
    // of the data: trailing octets and truncation are both refused.
    ByteCursor message;
    ByteCursor pdu;
    ByteCursor list;
    if (!EnterItem(input, kSequence, message) || !input.AtEnd()) return false;
    if (!ExpectVersion(message) || !DecodeCommunity(message, record, blocks)) return false;
    ByteCursor tagCursor = message;
    std::uint8_t tag = 0;
    if (!tagCursor.ReadOctet(tag) || !AcceptedPdu(tag, request)) return false;
    if (!EnterItem(message, tag, pdu) || !message.AtEnd()) return false;
    record.pduType = tag - kFirstPduTag;
    if (!DecodeHeaderFields(pdu, record)) return false;
    if (!EnterItem(pdu, kSequence, list) || !pdu.AtEnd()) return false;
    record.varBinds = AllocateVarBindBlock(blocks);
    if (record.varBinds == nullptr) return false;
    return DecodeVarBindList(list, record.varBinds, record.varBindCount, std::nullopt, blocks, names);
}

SnmpReqParam *DecodeRecord(const std::uint8_t *data, std::uint32_t length, bool request,
                           NameForm names = NameForm::Text) {
    if (data == nullptr) return nullptr;
    auto *record = static_cast<SnmpReqParam *>(platform::HeapAllocZero(sizeof(SnmpReqParam)));
    if (record == nullptr) return nullptr;
    if (!DecodeMessage(ByteCursor(data, length), *record, request, HeapBlocks(), names)) {
        HelperFreeReqParam(record);
        return nullptr;
    }
    return record;
}

}  // namespace

SnmpReqParam *DecodeRequestMessage(const std::uint8_t *data, std::uint32_t length) {
    return DecodeRecord(data, length, true);
}

SnmpReqParam *DecodeResponseRecord(const std::uint8_t *data, std::uint32_t length, NameForm names) {
    return DecodeRecord(data, length, false, names);
}

bool DecodeResponseInto(const std::uint8_t *data, std::uint32_t length, SnmpReqParam &record, BlockSource &blocks,
                        NameForm names) {
    record = {};
    return data != nullptr && DecodeMessage(ByteCursor(data, length), record, false, blocks, names);
}

}  // namespace snmphelper

extern "C" SNMPHELPER_API SnmpReqParam *SNMPHELPER_CALL HelperSnmpDecodePdu(const uint8_t *data,
                                                                            uint32_t length) {
    return snmphelper::DecodeRecord(data, length, false);
}
