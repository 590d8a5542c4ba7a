// SPDX-License-Identifier: Apache-2.0
#include "transact/value_decoding.h"

#include <array>
#include <cstring>

#include "platform/address_text.h"
#include "platform/heap.h"
#include "snmphelper.h"

namespace snmphelper {
namespace {

// Fixed octet counts of the raw item types 10 to 15.
constexpr std::array<std::uint32_t, 6> kRawItemSizes = {6, 3, 2, 6, 4, 10};
constexpr std::int32_t kFirstRawType = 10;
constexpr std::int32_t kLastRawType = 15;

// Longest address text handed to the platform's conversion; longer text
// names no address.
constexpr std::size_t kAddressTextRoom = 64;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Characters before the first comma or zero byte, or `remaining` when the
// buffer ends first.
std::size_t FieldLength(const char *text, std::size_t remaining) {
    std::size_t length = 0;
    while (length < remaining && text[length] != ',' && text[length] != '\0') ++length;
    return length;
}

bool EndsWithComma(const char *text, std::size_t remaining, std::size_t fieldLength) {
    return fieldLength < remaining && text[fieldLength] == ',';
}

// Ends a value that runs to the next comma or to the end of the list. The
// comma becomes a zero byte and the cursor moves past it; at the end of the
// list the cursor stays on the terminator, so that asking for another item
// reads nothing past the text.
std::size_t TakeTextValue(ValueListCursor &cursor, char *text, std::size_t remaining) {
    const std::size_t length = FieldLength(text, remaining);
    if (EndsWithComma(text, remaining, length)) {
        text[length] = '\0';
        cursor = {text + length + 1, remaining - length - 1};
    } else {
        cursor = {text + length, remaining - length};
    }
    return length;
}

std::uint8_t *CopyToBlock(const void *bytes, std::size_t count, std::size_t blockSize) {
    auto *block = static_cast<std::uint8_t *>(platform::HeapAllocZero(blockSize));
    if (block != nullptr && count > 0) std::memcpy(block, bytes, count);
    return block;
}

std::uint8_t *DecodeNumber(ValueListCursor &cursor, char *text, std::size_t remaining,
                           std::uint32_t &valueLength) {
    const std::size_t length = TakeTextValue(cursor, text, remaining);
    const std::uint32_t number = ParseDecimal(text, length);
    valueLength = sizeof number;
    return CopyToBlock(&number, sizeof number, sizeof number);
}

std::uint8_t *DecodeIpAddress(ValueListCursor &cursor, char *text, std::size_t remaining,
                              std::uint32_t &valueLength) {
    const std::size_t length = TakeTextValue(cursor, text, remaining);
    std::array<std::uint8_t, 4> address = {0xFF, 0xFF, 0xFF, 0xFF};
    if (length < kAddressTextRoom) {
        char addressText[kAddressTextRoom] = {};
        std::memcpy(addressText, text, length);
        address = platform::Ipv4AddressFromText(addressText);
    }
    valueLength = static_cast<std::uint32_t>(address.size());
    return CopyToBlock(address.data(), address.size(), address.size());
}

std::uint8_t *DecodeObjectIdentifier(ValueListCursor &cursor, char *text, std::size_t remaining,
                                     std::uint32_t &valueLength) {
    const std::size_t length = TakeTextValue(cursor, text, remaining);
    valueLength = static_cast<std::uint32_t>(length);
    // One zero byte more: the encoder reads the text up to its terminator.
    return CopyToBlock(text, length, length + 1);
}

std::uint8_t *DecodeOctetString(ValueListCursor &cursor, char *text, std::size_t remaining,
                                std::uint32_t &valueLength) {
    const std::size_t lengthField = FieldLength(text, remaining);
    if (!EndsWithComma(text, remaining, lengthField)) return nullptr;
    const std::uint32_t count = ParseDecimal(text, lengthField);
    char *data = text + lengthField + 1;
    const std::size_t available = remaining - lengthField - 1;
    // The length decides, zero bytes and commas included; it must not take
    // the item past the caller's buffer.
    if (count > available) return nullptr;
    text[lengthField] = '\0';

    char *separator = data + count;
    const std::size_t rest = available - count;
    if (rest == 0 || *separator == '\0') {
        cursor = {separator, rest};
    } else {
        *separator = '\0';
        cursor = {separator + 1, rest - 1};
    }
    valueLength = count;
    return CopyToBlock(data, count, std::size_t{count} + 1);
}

std::uint8_t *DecodeRawBytes(ValueListCursor &cursor, char *text, std::size_t remaining,
                             std::int32_t &valueType, std::uint32_t &valueLength) {
    const std::uint32_t count = kRawItemSizes[static_cast<std::size_t>(valueType - kFirstRawType)];
    if (count > remaining) return nullptr;

    char *separator = text + count;
    const std::size_t rest = remaining - count;
    if (rest == 0 || *separator == '\0') {
        cursor = {nullptr, 0};
    } else {
        *separator = '\0';
        cursor = {separator + 1, rest - 1};
    }
    valueType = SNMP_VALUE_OCTET_STRING;
    valueLength = count;
    return CopyToBlock(text, count, count);
}

}  // namespace

std::uint32_t ParseDecimal(const char *text, std::size_t length) {
    std::size_t i = 0;
    while (i < length && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Unsigned arithmetic: the result is taken modulo 2^32.
    std::uint32_t number = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    return negative ? 0u - number : number;
}

bool ItemCarriesValue(std::int32_t valueType) {
    switch (valueType) {
    case SNMP_VALUE_INTEGER:
    case SNMP_VALUE_OCTET_STRING:
    case SNMP_VALUE_IP_ADDRESS:
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS:
    case SNMP_VALUE_OBJECT_IDENTIFIER:
        return true;
    default:
        return false;
    }
}

std::uint8_t *DecodeValueItem(ValueListCursor &cursor, std::int32_t &valueType,
                              std::uint32_t &valueLength) {
    char *text = cursor.position;
    if (text == nullptr) return nullptr;
    const std::size_t typeField = FieldLength(text, cursor.remaining);
    if (!EndsWithComma(text, cursor.remaining, typeField)) return nullptr;

    text[typeField] = '\0';
    valueType = static_cast<std::int32_t>(ParseDecimal(text, typeField));
    char *value = text + typeField + 1;
    const std::size_t remaining = cursor.remaining - typeField - 1;

    switch (valueType) {
    case SNMP_VALUE_INTEGER:
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS:
        return DecodeNumber(cursor, value, remaining, valueLength);
    case SNMP_VALUE_OCTET_STRING:
        return DecodeOctetString(cursor, value, remaining, valueLength);
    case SNMP_VALUE_IP_ADDRESS:
        return DecodeIpAddress(cursor, value, remaining, valueLength);
    case SNMP_VALUE_OBJECT_IDENTIFIER:
        return DecodeObjectIdentifier(cursor, value, remaining, valueLength);
    default:
        if (valueType >= kFirstRawType && valueType <= kLastRawType) {
            return DecodeRawBytes(cursor, value, remaining, valueType, valueLength);
        }
        // Opaque, NULL and unknown codes carry no value text.
        cursor = {value, remaining};
        return nullptr;
    }
}

}  // namespace snmphelper

extern "C" SNMPHELPER_API uint8_t *SNMPHELPER_CALL HelperDecodeValue(char **cursor,
                                                                     int32_t *valueType,
                                                                     uint32_t *valueLength) {
    if (cursor == nullptr || valueType == nullptr || valueLength == nullptr) return nullptr;
    snmphelper::ValueListCursor position{*cursor, snmphelper::kUnknownTextSize};
    std::uint8_t *value = snmphelper::DecodeValueItem(position, *valueType, *valueLength);
    *cursor = position.position;
    return value;
}
