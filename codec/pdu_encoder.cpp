// SPDX-License-Identifier: Apache-2.0
#include "codec/pdu_encoder.h"

#include <cstring>
#include <limits>

#include "codec/ber_encode.h"
#include "platform/heap.h"

namespace snmphelper {
namespace {

constexpr std::uint8_t kSequenceTag = 0x30;
constexpr std::uint8_t kPduTagBase = 0xA0;  // context class, constructed, tag = PDU kind
constexpr std::uint8_t kIntegerTag = 0x02;
constexpr std::uint8_t kOctetStringTag = 0x04;
constexpr std::uint8_t kNullTag = 0x05;
constexpr std::uint8_t kObjectIdentifierTag = 0x06;
// RFC 1155 3.2.3: application class, primitive.
constexpr std::uint8_t kIpAddressTag = 0x40;
constexpr std::uint8_t kCounterTag = 0x41;
constexpr std::uint8_t kGaugeTag = 0x42;
constexpr std::uint8_t kTimeTicksTag = 0x43;
constexpr std::uint8_t kOpaqueTag = 0x44;

// version 0 (SNMPv1), and the error-status and error-index of a request,
// which are always 0 (RFC 1157 4.1.2).
constexpr std::uint8_t kZeroInteger[] = {0x02, 0x01, 0x00};
constexpr std::uint32_t kZeroIntegerSize = sizeof kZeroInteger;
// The value of every get and get-next binding: an empty OCTET STRING, not
// NULL, whatever the entry holds.
constexpr std::uint8_t kEmptyOctetString[] = {kOctetStringTag, 0x00};
// Content octets an item may hold and still fit kItemBlockSize.
constexpr std::uint32_t kMaxItemContents = 256;

bool IsRequestPdu(std::int32_t pduType) {
    return pduType == SNMP_PDU_GET_REQUEST || pduType == SNMP_PDU_GET_NEXT_REQUEST ||
           pduType == SNMP_PDU_SET_REQUEST;
}

std::uint32_t Clamp32(std::uint64_t value) {
    constexpr std::uint64_t max = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value < max ? value : max);
}

// Identifier, shortest length and contents into `out` (room kItemBlockSize);
// the octets written. The caller keeps `n` within kMaxItemContents.
std::uint32_t PutItem(std::uint8_t identifier, const std::uint8_t *contents, std::uint32_t n,
                      std::uint8_t *out) {
    out[0] = identifier;
    const std::uint32_t lengthOctets = EncodeLength(n, out + 1, kItemBlockSize - 1);
    if (n != 0) std::memcpy(out + 1 + lengthOctets, contents, n);
    return 1 + lengthOctets + n;
}

std::uint32_t PutUnsigned(std::uint8_t identifier, std::uint32_t v, std::uint8_t *out) {
    const IntegerContents contents = UnsignedContents(v);
    return PutItem(identifier, contents.data(), contents.size(), out);
}

std::uint32_t PutSigned(std::uint8_t identifier, std::int32_t v, std::uint8_t *out) {
    const IntegerContents contents = SignedContents(v);
    return PutItem(identifier, contents.data(), contents.size(), out);
}

// The 32-bit number a value block holds.
template <typename Number>
Number NumberAt(const std::uint8_t *value) {
    Number number;
    std::memcpy(&number, value, sizeof number);
    return number;
}

// OCTET STRING and Opaque take the low 16 bits of valueLength; a value that
// does not fit its item (more than 256 octets) cannot be rendered.
bool PutOctets(std::uint8_t identifier, const std::uint8_t *value, std::uint32_t valueLength,
               std::uint8_t *out, std::uint16_t &itemLength) {
    const std::uint32_t n = valueLength & 0xFFFF;
    if ((value == nullptr && n != 0) || n > kMaxItemContents) return false;
    itemLength = static_cast<std::uint16_t>(PutItem(identifier, value, n, out));
    return true;
}

// The value element (identifier, length, contents) of a SetRequest entry,
// rendered into `out` (room kItemBlockSize).
// False when it cannot be rendered: a type outside 1-9, a null value that the
// type reads, an object identifier text that OidTextToBer refuses or that is
// empty, or contents that do not fit the item.
bool BerElementForValue(const SnmpVarBind &binding, std::uint8_t *out, std::uint16_t &itemLength) {
    const std::uint8_t *value = binding.value;
    std::uint32_t written = 0;
    switch (binding.valueType) {
    case SNMP_VALUE_INTEGER:
        if (value == nullptr) return false;
        written = PutSigned(kIntegerTag, NumberAt<std::int32_t>(value), out);
        break;
    case SNMP_VALUE_OCTET_STRING: return PutOctets(kOctetStringTag, value, binding.valueLength, out, itemLength);
    case SNMP_VALUE_OPAQUE: return PutOctets(kOpaqueTag, value, binding.valueLength, out, itemLength);
    case SNMP_VALUE_IP_ADDRESS:
        if (value == nullptr) return false;
        written = PutItem(kIpAddressTag, value, 4, out);
        break;
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: {
        if (value == nullptr) return false;
        const std::uint8_t tag = binding.valueType == SNMP_VALUE_COUNTER ? kCounterTag
                                 : binding.valueType == SNMP_VALUE_GAUGE ? kGaugeTag
                                                                         : kTimeTicksTag;
        written = PutUnsigned(tag, NumberAt<std::uint32_t>(value), out);
        break;
    }
    case SNMP_VALUE_OBJECT_IDENTIFIER: {
        if (value == nullptr) return false;
        std::uint8_t contents[kOidScratchSize];
        const int octets = OidTextToBer(contents, kOidScratchSize, reinterpret_cast<const char *>(value));
        if (octets <= 0) return false;
        written = PutItem(kObjectIdentifierTag, contents, static_cast<std::uint32_t>(octets), out);
        break;
    }
    case SNMP_VALUE_NULL: written = PutItem(kNullTag, nullptr, 0, out); break;
    default: return false;
    }
    itemLength = static_cast<std::uint16_t>(written);
    return true;
}

// Storage for the entries and their items: the message's own arrays, or one
// heap block for a request too large for them.
bool AttachStorage(PreparedMessage &prepared) {
    prepared.entries = prepared.inlineEntries;
    prepared.items = prepared.inlineItems;
    if (prepared.count <= kInlineVarBinds) return true;
    const std::size_t entriesSize = std::size_t{prepared.count} * sizeof(PreparedVarBind);
    const std::size_t itemsSize = std::size_t{prepared.count} * 2 * kItemBlockSize;
    auto *block = static_cast<std::uint8_t *>(platform::HeapAllocZero(entriesSize + itemsSize));
    if (block == nullptr) return false;
    prepared.entries = reinterpret_cast<PreparedVarBind *>(block);
    prepared.items = block + entriesSize;
    return true;
}

// The name contents and value item of one binding, appended to the item
// store at `used`. False when the name cannot be converted.
bool PrepareVarBind(std::int32_t pduType, const SnmpVarBind &binding, NameForm names, PreparedMessage &prepared,
                    std::uint32_t &used, PreparedVarBind &entry) {
    if (binding.oid == nullptr) return false;
    std::uint8_t *name = prepared.items + used;
    int octets = 0;
    if (names == NameForm::Encoded) {
        const auto *contents = reinterpret_cast<const std::uint8_t *>(binding.oid);
        if (!OidContentsValid(contents, binding.oidLength, kOidScratchSize)) return false;
        std::memcpy(name, contents, binding.oidLength);
        octets = binding.oidLength;
    } else {
        octets = OidTextToBer(name, kOidScratchSize, binding.oid);
    }
    if (octets <= 0) return false;
    entry.nameOffset = used;
    entry.nameLength = static_cast<std::uint16_t>(octets);
    used += static_cast<std::uint32_t>(octets);

    entry.valueOffset = used;
    std::uint8_t *value = prepared.items + used;
    if (pduType == SNMP_PDU_SET_REQUEST) {
        entry.valueFailed = !BerElementForValue(binding, value, entry.valueItemLength);
    } else {
        std::memcpy(value, kEmptyOctetString, sizeof kEmptyOctetString);
        entry.valueItemLength = sizeof kEmptyOctetString;
        entry.valueFailed = false;
    }
    if (entry.valueFailed) entry.valueItemLength = 0;
    used += entry.valueItemLength;
    entry.length = 1 + LengthOfLength(entry.nameLength) + entry.nameLength + entry.valueItemLength;
    return true;
}

// Every enclosing length from the rendered sizes, inside out, in 64 bits and
// held at the 32-bit maximum.
void ComputeLengths(PreparedMessage &prepared) {
    std::uint64_t list = 0;
    for (std::uint32_t i = 0; i < prepared.count; ++i) {
        const std::uint32_t entry = prepared.entries[i].length;
        list += 1 + LengthOfLength(entry) + entry;
    }
    prepared.listLength = Clamp32(list);
    const std::uint64_t pdu = std::uint64_t{prepared.requestIdItemLength} + 2 * kZeroIntegerSize + 1 +
                              LengthOfLength(prepared.listLength) + prepared.listLength;
    prepared.pduLength = Clamp32(pdu);
    const std::uint32_t communityItem = 1 + LengthOfLength(prepared.communityLength) + prepared.communityLength;
    const std::uint64_t message = std::uint64_t{communityItem} + kZeroIntegerSize + 1 +
                                  LengthOfLength(prepared.pduLength) + prepared.pduLength;
    prepared.messageLength = Clamp32(message);
}

bool HoldsFailedItem(const PreparedMessage &prepared) {
    if (prepared.communityFailed) return true;
    for (std::uint32_t i = 0; i < prepared.count; ++i) {
        if (prepared.entries[i].valueFailed) return true;
    }
    return false;
}

// Front-to-back writer over a buffer whose room has been checked for the
// whole message.
class MessageWriter {
public:
    explicit MessageWriter(std::uint8_t *buffer) : at_(buffer) {}

    void Octet(std::uint8_t octet) { *at_++ = octet; }
    void Length(std::uint32_t length) { at_ += EncodeLength(length, at_, 5); }
    void Octets(const std::uint8_t *octets, std::uint32_t n) {
        if (n != 0) std::memcpy(at_, octets, n);
        at_ += n;
    }

private:
    std::uint8_t *at_;
};

}  // namespace

bool PrepareMessage(const SnmpReqParam &record, PreparedMessage &prepared, NameForm names) {
    // A GetResponse is never sent by this client, and no other code is a PDU
    // this library knows how to send.
    if (!IsRequestPdu(record.pduType)) return false;
    if (record.varBindCount != 0 && record.varBinds == nullptr) return false;

    prepared.pduTag = static_cast<std::uint8_t>(kPduTagBase + record.pduType);
    prepared.community = reinterpret_cast<const std::uint8_t *>(record.community);
    prepared.communityLength = record.communityLength;
    prepared.communityFailed = (prepared.community == nullptr && record.communityLength != 0) ||
                               record.communityLength > kMaxItemContents;
    std::uint8_t requestIdItem[kItemBlockSize];
    prepared.requestIdItemLength = static_cast<std::uint8_t>(PutSigned(kIntegerTag, record.requestId, requestIdItem));
    std::memcpy(prepared.requestIdItem, requestIdItem, prepared.requestIdItemLength);

    prepared.count = record.varBindCount;
    if (!AttachStorage(prepared)) return false;
    std::uint32_t used = 0;
    for (std::uint32_t i = 0; i < prepared.count; ++i) {
        if (!PrepareVarBind(record.pduType, record.varBinds[i], names, prepared, used, prepared.entries[i])) {
            FreePreparedMessage(prepared);
            return false;
        }
    }
    ComputeLengths(prepared);
    return true;
}

std::uint64_t MessageSize(const PreparedMessage &prepared) {
    return 1 + LengthOfLength(prepared.messageLength) + static_cast<std::uint64_t>(prepared.messageLength);
}

int SerializeMessage(const PreparedMessage &prepared, std::uint8_t *buffer, std::uint16_t *length) {
    if (buffer == nullptr || length == nullptr) return 0;
    // Measure once: a message that cannot fit, or holds an item that could not
    // be rendered, is refused before anything is written.
    const std::uint64_t total = MessageSize(prepared);
    if (total > *length || HoldsFailedItem(prepared)) return 0;

    MessageWriter writer(buffer);
    writer.Octet(kSequenceTag);
    writer.Length(prepared.messageLength);
    writer.Octets(kZeroInteger, kZeroIntegerSize);
    writer.Octet(kOctetStringTag);
    writer.Length(prepared.communityLength);
    writer.Octets(prepared.community, prepared.communityLength);
    writer.Octet(prepared.pduTag);
    writer.Length(prepared.pduLength);
    writer.Octets(prepared.requestIdItem, prepared.requestIdItemLength);
    writer.Octets(kZeroInteger, kZeroIntegerSize);
    writer.Octets(kZeroInteger, kZeroIntegerSize);
    writer.Octet(kSequenceTag);
    writer.Length(prepared.listLength);
    for (std::uint32_t i = 0; i < prepared.count; ++i) {
        const PreparedVarBind &entry = prepared.entries[i];
        writer.Octet(kSequenceTag);
        writer.Length(entry.length);
        writer.Octet(kObjectIdentifierTag);
        writer.Length(entry.nameLength);
        writer.Octets(prepared.items + entry.nameOffset, entry.nameLength);
        writer.Octets(prepared.items + entry.valueOffset, entry.valueItemLength);
    }
    *length = static_cast<std::uint16_t>(total);
    return 1;
}

void FreePreparedMessage(PreparedMessage &prepared) {
    if (prepared.entries != nullptr && prepared.entries != prepared.inlineEntries) {
        platform::HeapFree(prepared.entries);
    }
    prepared.entries = nullptr;
    prepared.items = nullptr;
}

}  // namespace snmphelper

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSnmpEncodePdu(const SnmpReqParam *record,
                                                                      uint8_t *buffer,
                                                                      uint16_t *length) {
    using namespace snmphelper;
    if (record == nullptr || buffer == nullptr || length == nullptr) {
        return SNMP_ENCODE_CANNOT_PREPARE;
    }
    // Only the fields PrepareMessage sets are read; the large arrays stay
    // uninitialised.
    PreparedMessage prepared;
    prepared.entries = nullptr;
    if (!PrepareMessage(*record, prepared)) return SNMP_ENCODE_CANNOT_PREPARE;
    const int serialized = SerializeMessage(prepared, buffer, length);
    FreePreparedMessage(prepared);
    return serialized == 1 ? SNMP_ENCODE_OK : SNMP_ENCODE_NO_ROOM;
}
