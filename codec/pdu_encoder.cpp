#include "codec/pdu_encoder.h"

#include <cstring>
#include <limits>
#include <new>

#include "codec/ber_encode.h"
#include "platform/heap.h"

namespace snmphelper {
namespace {

constexpr std::uint8_t kSequenceTag = 0x30;
constexpr std::uint8_t kPduTagBase = 0xA0;  // context class, constructed, tag = PDU kind
constexpr std::uint32_t kIntegerTag = 2;
constexpr std::uint32_t kOctetStringTag = 4;
constexpr std::uint32_t kNullTag = 5;
constexpr std::uint32_t kObjectIdentifierTag = 6;
constexpr std::uint32_t kIpAddressTag = 0;  // RFC 1155 3.2.3, application class
constexpr std::uint32_t kCounterTag = 1;
constexpr std::uint32_t kGaugeTag = 2;
constexpr std::uint32_t kTimeTicksTag = 3;
constexpr std::uint32_t kOpaqueTag = 4;

// version 0 (SNMPv1), and the error-status and error-index of a request,
// which are always 0 (RFC 1157 4.1.2).
constexpr std::uint8_t kZeroInteger[] = {0x02, 0x01, 0x00};
constexpr std::uint32_t kZeroIntegerSize = sizeof kZeroInteger;
// A request-id item: identifier, length, at most five content octets.
constexpr std::uint32_t kRequestIdBlockSize = 7;

bool IsRequestPdu(std::int32_t pduType) {
    return pduType == SNMP_PDU_GET_REQUEST || pduType == SNMP_PDU_GET_NEXT_REQUEST ||
           pduType == SNMP_PDU_SET_REQUEST;
}

std::uint32_t Clamp32(std::uint64_t value) {
    constexpr std::uint64_t max = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value < max ? value : max);
}

std::uint8_t *NewZeroIntegerBlock() {
    auto *block = static_cast<std::uint8_t *>(platform::HeapAllocZero(kZeroIntegerSize));
    if (block != nullptr) std::memcpy(block, kZeroInteger, kZeroIntegerSize);
    return block;
}

// Renders `element` into a new block of `blockSize` octets and releases the
// element. False only when the block cannot be allocated. An element that is
// missing or does not fit leaves the item marked failed.
bool RenderItem(BerElement *element, std::uint32_t blockSize, std::uint8_t *&block,
                std::uint16_t &itemLength) {
    itemLength = kFailedItemLength;
    if (element == nullptr) return true;
    block = static_cast<std::uint8_t *>(platform::HeapAllocZero(blockSize));
    if (block == nullptr) {
        BerElementRelease(element);
        return false;
    }
    const int rendered = BerElementRender(element, block, blockSize);
    BerElementRelease(element);
    if (rendered >= 0) itemLength = static_cast<std::uint16_t>(rendered);
    return true;
}

// The low 16 bits of an OCTET STRING or Opaque valueLength are its length.
std::uint32_t Low16(std::uint32_t valueLength) { return valueLength & 0xFFFF; }

BerElement *FromUnsignedAt(std::uint32_t tagNumber, const std::uint8_t *value) {
    if (value == nullptr) return nullptr;
    std::uint32_t number;
    std::memcpy(&number, value, sizeof number);
    return BerElementFromUnsigned(BerClass::Application, tagNumber, number);
}

bool PrepareHeader(const SnmpReqParam &record, PreparedMessage &prepared) {
    prepared.messageTag = kSequenceTag;
    prepared.version = NewZeroIntegerBlock();
    if (prepared.version == nullptr) return false;

    const auto *community = reinterpret_cast<const std::uint8_t *>(record.community);
    if (!RenderItem(BerElementFromBytes(BerClass::Universal, kOctetStringTag, community,
                                        record.communityLength),
                    kItemBlockSize, prepared.communityItem, prepared.communityItemLength)) {
        return false;
    }

    prepared.pduTag = static_cast<std::uint8_t>(kPduTagBase + record.pduType);
    std::uint16_t requestIdItemLength = 0;
    if (!RenderItem(BerElementFromSigned(BerClass::Universal, kIntegerTag, record.requestId),
                    kRequestIdBlockSize, prepared.requestIdItem, requestIdItemLength)) {
        return false;
    }
    prepared.requestIdItemLength = requestIdItemLength;

    prepared.errorStatus = NewZeroIntegerBlock();
    prepared.errorIndex = NewZeroIntegerBlock();
    if (prepared.errorStatus == nullptr || prepared.errorIndex == nullptr) return false;
    prepared.listTag = kSequenceTag;
    prepared.count = record.varBindCount;
    return true;
}

// False when a block cannot be allocated or the name cannot be converted.
bool PrepareVarBind(std::int32_t pduType, const SnmpVarBind &binding, std::uint8_t *scratch,
                    PreparedVarBind &entry) {
    entry.tag = kSequenceTag;
    if (binding.oid == nullptr) return false;
    const int octets = OidTextToBer(scratch, kOidScratchSize, binding.oid);
    if (octets <= 0) return false;
    if (!RenderItem(BerElementFromOid(BerClass::Universal, kObjectIdentifierTag, scratch,
                                      static_cast<std::uint32_t>(octets)),
                    kItemBlockSize, entry.nameItem, entry.nameItemLength)) {
        return false;
    }

    // A get or get-next names the variable only; its value is an empty
    // OCTET STRING, whatever the entry holds.
    BerElement *value =
        pduType == SNMP_PDU_SET_REQUEST
            ? BerElementForValue(binding.valueType, binding.value, binding.valueLength, scratch)
            : BerElementFromBytes(BerClass::Universal, kOctetStringTag, nullptr, 0);
    if (!RenderItem(value, kItemBlockSize, entry.valueItem, entry.valueItemLength)) return false;

    const bool failed =
        entry.nameItemLength == kFailedItemLength || entry.valueItemLength == kFailedItemLength;
    entry.length = failed
                       ? kFailedItemLength
                       : static_cast<std::uint16_t>(entry.nameItemLength + entry.valueItemLength);
    return true;
}

bool PrepareVarBinds(const SnmpReqParam &record, PreparedMessage &prepared) {
    if (prepared.count == 0) return true;
    prepared.entries = static_cast<PreparedVarBind *>(
        platform::HeapAllocZero(prepared.count * sizeof(PreparedVarBind)));
    if (prepared.entries == nullptr) return false;
    for (std::uint32_t i = 0; i < prepared.count; ++i) new (&prepared.entries[i]) PreparedVarBind{};
    // One scratch block serves every name and object identifier value in turn:
    // an element keeps its own copy of the contents.
    auto *scratch = static_cast<std::uint8_t *>(platform::HeapAllocZero(kOidScratchSize));
    if (scratch == nullptr) return false;
    bool complete = true;
    for (std::uint32_t i = 0; i < prepared.count && complete; ++i) {
        complete = PrepareVarBind(record.pduType, record.varBinds[i], scratch, prepared.entries[i]);
    }
    platform::HeapFree(scratch);
    return complete;
}

// Every enclosing length from the rendered sizes, inside out. Sums are taken
// in 64 bits and held at the 32-bit maximum, so failed items (65535 each)
// cannot wrap a length into something that looks writable.
void ComputeLengths(PreparedMessage &prepared) {
    std::uint64_t list = 0;
    for (std::uint32_t i = 0; i < prepared.count; ++i) {
        const std::uint32_t entry = prepared.entries[i].length;
        list += 1 + LengthOfLength(entry) + entry;
    }
    prepared.listLength = Clamp32(list);

    const std::uint64_t pdu = static_cast<std::uint64_t>(prepared.requestIdItemLength) +
                              2 * kZeroIntegerSize + 1 + LengthOfLength(prepared.listLength) +
                              prepared.listLength;
    prepared.pduLength = Clamp32(pdu);

    const std::uint64_t message = static_cast<std::uint64_t>(prepared.communityItemLength) +
                                  kZeroIntegerSize + 1 + LengthOfLength(prepared.pduLength) +
                                  prepared.pduLength;
    prepared.messageLength = Clamp32(message);
}

// Front-to-back writer over the caller's buffer. Every write checks the room;
// after the first failure nothing more is written.
class MessageWriter {
public:
    MessageWriter(std::uint8_t *buffer, std::uint32_t room) : buffer_(buffer), room_(room) {}

    void Tag(std::uint8_t tag) {
        if (!ok_ || room_ - position_ < 1) {
            ok_ = false;
            return;
        }
        buffer_[position_++] = tag;
    }

    void Length(std::uint32_t length) {
        if (!ok_) return;
        const std::uint32_t written = EncodeLength(length, buffer_ + position_, room_ - position_);
        if (written == 0) ok_ = false;
        position_ += written;
    }

    // An item whose length exceeds its block is a failed one.
    void Item(const std::uint8_t *block, std::uint32_t itemLength, std::uint32_t blockSize) {
        if (!ok_ || block == nullptr || itemLength > blockSize || room_ - position_ < itemLength) {
            ok_ = false;
            return;
        }
        std::memcpy(buffer_ + position_, block, itemLength);
        position_ += itemLength;
    }

    bool Ok() const { return ok_; }
    std::uint32_t Position() const { return position_; }

private:
    std::uint8_t *buffer_;
    std::uint32_t room_;
    std::uint32_t position_ = 0;
    bool ok_ = true;
};

}  // namespace

BerElement *BerElementForValue(std::int32_t valueType, const std::uint8_t *value,
                               std::uint32_t valueLength, std::uint8_t *oidScratch) {
    switch (valueType) {
    case SNMP_VALUE_INTEGER: {
        if (value == nullptr) return nullptr;
        std::int32_t number;
        std::memcpy(&number, value, sizeof number);
        return BerElementFromSigned(BerClass::Universal, kIntegerTag, number);
    }
    case SNMP_VALUE_OCTET_STRING:
        return BerElementFromBytes(BerClass::Universal, kOctetStringTag, value, Low16(valueLength));
    case SNMP_VALUE_IP_ADDRESS:
        if (value == nullptr) return nullptr;
        return BerElementFromBytes(BerClass::Application, kIpAddressTag, value, 4);
    case SNMP_VALUE_OPAQUE:
        return BerElementFromBytes(BerClass::Application, kOpaqueTag, value, Low16(valueLength));
    case SNMP_VALUE_COUNTER:
        return FromUnsignedAt(kCounterTag, value);
    case SNMP_VALUE_GAUGE:
        return FromUnsignedAt(kGaugeTag, value);
    case SNMP_VALUE_TIME_TICKS:
        return FromUnsignedAt(kTimeTicksTag, value);
    case SNMP_VALUE_OBJECT_IDENTIFIER: {
        if (value == nullptr || oidScratch == nullptr) return nullptr;
        const int octets =
            OidTextToBer(oidScratch, kOidScratchSize, reinterpret_cast<const char *>(value));
        if (octets <= 0) return nullptr;
        return BerElementFromOid(BerClass::Universal, kObjectIdentifierTag, oidScratch,
                                 static_cast<std::uint32_t>(octets));
    }
    case SNMP_VALUE_NULL:
        return BerElementFromBytes(BerClass::Universal, kNullTag, nullptr, 0);
    default:
        return nullptr;
    }
}

PreparedMessage *PrepareMessage(const SnmpReqParam &record) {
    // A GetResponse is never sent by this client, and no other code is a PDU
    // this library knows how to send.
    if (!IsRequestPdu(record.pduType)) return nullptr;
    if (record.varBindCount != 0 && record.varBinds == nullptr) return nullptr;

    void *block = platform::HeapAllocZero(sizeof(PreparedMessage));
    if (block == nullptr) return nullptr;
    auto *prepared = new (block) PreparedMessage{};
    if (!PrepareHeader(record, *prepared) || !PrepareVarBinds(record, *prepared)) {
        FreePreparedMessage(prepared);
        return nullptr;
    }
    ComputeLengths(*prepared);
    return prepared;
}

int SerializeMessage(const PreparedMessage *prepared, std::uint8_t *buffer, std::uint16_t *length) {
    if (prepared == nullptr || buffer == nullptr || length == nullptr) return 0;
    // Measure once: a message that cannot fit (or holds a failed item, whose
    // 65535 octets no 16-bit room takes) is refused before anything is written.
    const std::uint64_t total = 1 + LengthOfLength(prepared->messageLength) +
                                static_cast<std::uint64_t>(prepared->messageLength);
    if (total > *length) return 0;

    MessageWriter writer(buffer, *length);
    writer.Tag(prepared->messageTag);
    writer.Length(prepared->messageLength);
    writer.Item(prepared->version, kZeroIntegerSize, kZeroIntegerSize);
    writer.Item(prepared->communityItem, prepared->communityItemLength, kItemBlockSize);
    writer.Tag(prepared->pduTag);
    writer.Length(prepared->pduLength);
    writer.Item(prepared->requestIdItem, static_cast<std::uint32_t>(prepared->requestIdItemLength),
                kRequestIdBlockSize);
    writer.Item(prepared->errorStatus, kZeroIntegerSize, kZeroIntegerSize);
    writer.Item(prepared->errorIndex, kZeroIntegerSize, kZeroIntegerSize);
    writer.Tag(prepared->listTag);
    writer.Length(prepared->listLength);
    for (std::uint32_t i = 0; i < prepared->count && writer.Ok(); ++i) {
        const PreparedVarBind &entry = prepared->entries[i];
        writer.Tag(entry.tag);
        writer.Length(entry.length);
        writer.Item(entry.nameItem, entry.nameItemLength, kItemBlockSize);
        writer.Item(entry.valueItem, entry.valueItemLength, kItemBlockSize);
    }
    if (!writer.Ok()) return 0;
    *length = static_cast<std::uint16_t>(writer.Position());
    return 1;
}

void FreePreparedMessage(PreparedMessage *prepared) {
    if (prepared == nullptr) return;
    platform::HeapFree(prepared->version);
    platform::HeapFree(prepared->communityItem);
    platform::HeapFree(prepared->requestIdItem);
    platform::HeapFree(prepared->errorStatus);
    platform::HeapFree(prepared->errorIndex);
    if (prepared->entries != nullptr) {
        for (std::uint32_t i = 0; i < prepared->count; ++i) {
            platform::HeapFree(prepared->entries[i].nameItem);
            platform::HeapFree(prepared->entries[i].valueItem);
        }
        platform::HeapFree(prepared->entries);
    }
    platform::HeapFree(prepared);
}

}  // namespace snmphelper

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSnmpEncodePdu(const SnmpReqParam *record,
                                                                      uint8_t *buffer,
                                                                      uint16_t *length) {
    using namespace snmphelper;
    if (record == nullptr || buffer == nullptr || length == nullptr) {
        return SNMP_ENCODE_CANNOT_PREPARE;
    }
    PreparedMessage *prepared = PrepareMessage(*record);
    if (prepared == nullptr) return SNMP_ENCODE_CANNOT_PREPARE;
    const int serialized = SerializeMessage(prepared, buffer, length);
    FreePreparedMessage(prepared);
    return serialized == 1 ? SNMP_ENCODE_OK : SNMP_ENCODE_NO_ROOM;
}
