// SPDX-License-Identifier: Apache-2.0
#include "codec/varbind_list_decoder.h"

#include <algorithm>
#include <cstring>

#include "codec/ber_decode.h"
#include "platform/heap.h"

namespace snmphelper {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kObjectIdentifier = 0x06;
constexpr std::uint8_t kConstructedBit = 0x20;

// The size of the block that holds a value: one octet more than the value, and
// for an OBJECT IDENTIFIER a whole text block, so that a reader may treat it
// like any other dotted text.
std::size_t ValueBlockSize(const BerValue &value, std::uint32_t stored, std::optional<std::uint32_t> fixedValueRoom) {
    if (fixedValueRoom) return std::size_t{*fixedValueRoom} + 1;
    const std::size_t fit = std::size_t{stored} + 1;
    if (value.type == SNMP_VALUE_OBJECT_IDENTIFIER) return std::max(fit, kOidTextBlockSize);
    return fit;
}

bool DecodeName(ByteCursor &varBind, SnmpVarBind &entry, NameForm names, BlockSource &blocks) {
    ByteCursor name;
    if (!EnterItem(varBind, kObjectIdentifier, name)) return false;
    if (names == NameForm::Encoded) {
        // The same names refused as in text; the contents kept as they came,
        // with a zero after them.
        if (!OidBerFitsText(name.Position(), name.Remaining(), kOidTextRoom)) return false;
        entry.oid = static_cast<char *>(blocks.Zeroed(name.Remaining() + 1));
        if (entry.oid == nullptr) return false;
        if (name.Remaining() != 0) std::memcpy(entry.oid, name.Position(), name.Remaining());
        entry.oidLength = static_cast<std::uint16_t>(name.Remaining());
        return true;
    }
    char text[kOidTextBlockSize];
    std::size_t oidLength = 0;
    if (!OidBerToText(text, kOidTextRoom, name.Position(), name.Remaining(), oidLength)) return false;
    entry.oid = static_cast<char *>(blocks.Zeroed(blocks.TextBlockSize(oidLength, kOidTextBlockSize)));
    if (entry.oid == nullptr) return false;
    std::memcpy(entry.oid, text, oidLength);
    entry.oidLength = static_cast<std::uint16_t>(oidLength);
    return true;
}

// The value: one primitive item of a supported type that ends exactly where
// the VarBind ends.
bool DecodeValue(ByteCursor &varBind, SnmpVarBind &entry, std::optional<std::uint32_t> fixedValueRoom,
                 BlockSource &blocks) {
    std::uint8_t identifier = 0;
    if (!varBind.ReadOctet(identifier) || (identifier & kConstructedBit) != 0) return false;
    const auto berClass = static_cast<BerClass>(identifier >> 6);
    const std::uint32_t tagNumber = identifier & 0x1Fu;
    BerValue value;
    if (!ReadBerValue(berClass, tagNumber, varBind, value) || !varBind.AtEnd()) return false;
    const std::uint32_t stored = StoredValueLength(value);
    if (fixedValueRoom && stored > *fixedValueRoom) return false;
    entry.valueType = value.type;
    entry.value = static_cast<std::uint8_t *>(blocks.Zeroed(ValueBlockSize(value, stored, fixedValueRoom)));
    if (entry.value == nullptr) return false;
    StoreBerValue(value, entry.value);
    entry.valueLength = stored;
    return true;
}

}  // namespace

BlockSource &HeapBlocks() {
    class Heap final : public BlockSource {
    public:
        void *Zeroed(std::size_t size) override { return platform::HeapAllocZero(size); }
    };
    static Heap heap;
    return heap;
}

SnmpVarBind *AllocateVarBindBlock(BlockSource &blocks) {
    return static_cast<SnmpVarBind *>(blocks.Zeroed(sizeof(SnmpVarBind) * kMaxVarBinds));
}

bool DecodeVarBindList(ByteCursor list, SnmpVarBind *entries, std::uint16_t &count,
                       std::optional<std::uint32_t> fixedValueRoom, BlockSource &blocks, NameForm names) {
    while (!list.AtEnd()) {
        if (count == kMaxVarBinds) return false;
        ByteCursor varBind;
        if (!EnterItem(list, kSequence, varBind)) return false;
        SnmpVarBind &entry = entries[count];
        ++count;
        if (!DecodeName(varBind, entry, names, blocks) || !DecodeValue(varBind, entry, fixedValueRoom, blocks)) {
            return false;
        }
    }
    return true;
}

}  // namespace snmphelper
