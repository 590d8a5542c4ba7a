// SPDX-License-Identifier: Apache-2.0
// Value lists through the value text reader, item after item as request
// forming takes them, in a buffer exactly as large as its size says: no
// read or write past it, the cursor only moves forward and keeps counting
// what follows it, and every value block is as long as its item says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/heap.h"
#include "snmphelper.h"
#include "transact/value_decoding.h"

using namespace snmphelper;

namespace {

// Octets of the block of an item of `valueType` that carries a fixed-size
// value; 0 for the others.
std::uint32_t FixedLength(std::int32_t valueType) {
    switch (valueType) {
    case SNMP_VALUE_INTEGER:
    case SNMP_VALUE_IP_ADDRESS:
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS:
        return 4;
    default:
        return 0;
    }
}

void CheckValue(const std::uint8_t *value, std::int32_t valueType, std::uint32_t valueLength, std::size_t size) {
    const std::uint32_t fixed = FixedLength(valueType);
    // A fixed-size value has its size; any other is no longer than the list.
    if (fixed != 0 ? valueLength != fixed : valueLength > size) std::abort();
    // Every octet of the block is read, so that a short block is a report.
    volatile std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i < valueLength; ++i) sum = static_cast<std::uint8_t>(sum + value[i]);
    if (valueType == SNMP_VALUE_OBJECT_IDENTIFIER && value[valueLength] != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0 || size > 8192) return 0;
    std::vector<char> list(data, data + size);
    char *const end = list.data() + list.size();
    ValueListCursor cursor{list.data(), list.size()};
    while (cursor.position != nullptr) {
        const ValueListCursor before = cursor;
        std::int32_t valueType = -1;
        std::uint32_t valueLength = 0xFFFFFFFF;
        std::uint8_t *value = DecodeValueItem(cursor, valueType, valueLength);
        if (value != nullptr) {
            CheckValue(value, valueType, valueLength, size);
            platform::HeapFree(value);
        }
        if (cursor.position == nullptr) break;  // a raw item ended the list
        if (cursor.position < before.position || cursor.position > end ||
            cursor.remaining != static_cast<std::size_t>(end - cursor.position)) {
            std::abort();
        }
        // Where forming stops: no item could be read, or one that should
        // carry a value did not.
        if (cursor.position == before.position || (value == nullptr && ItemCarriesValue(valueType))) break;
    }
    return 0;
}
