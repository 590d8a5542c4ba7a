// SPDX-License-Identifier: Apache-2.0
#include "transact/response_extraction.h"

#include <cstring>

namespace snmphelper {
namespace {

// One value item: a short formatted head ("1,-5", "2,3,", "8,"), then data
// octets copied as they are (OCTET STRING bytes, object identifier text),
// then the separating comma.
struct ValueItem {
    char head[48];
    std::size_t headLength;
    const std::uint8_t *data;
    std::size_t dataLength;

    std::size_t Length() const { return headLength + dataLength + 1; }
};

// Builds an item's head: decimal numbers and separators, at most
// "9,-2147483648" or "9,255.255.255.255", so it always fits the head.
class HeadWriter {
public:
    explicit HeadWriter(ValueItem &item) : item_(item) { item_.headLength = 0; }

    HeadWriter &Unsigned(std::uint32_t number) {
        char digits[10];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number != 0);
        while (count != 0) item_.head[item_.headLength++] = digits[--count];
        return *this;
    }

    HeadWriter &Signed(std::int32_t number) {
        if (number < 0) {
            Char('-');
            // The magnitude of INT32_MIN fits 32 bits unsigned.
            return Unsigned(0u - static_cast<std::uint32_t>(number));
        }
        return Unsigned(static_cast<std::uint32_t>(number));
    }

    HeadWriter &Char(char c) {
        item_.head[item_.headLength++] = c;
        return *this;
    }

private:
    ValueItem &item_;
};

bool HoldsNumber(const SnmpVarBind &binding) {
    return binding.value != nullptr && binding.valueLength >= 4;
}

// Forms the item of one variable; false for a type without an item form.
bool FormItem(const SnmpVarBind &binding, ValueItem &item) {
    item = ValueItem{};
    HeadWriter head(item);
    switch (binding.valueType) {
    case SNMP_VALUE_INTEGER: {
        if (!HoldsNumber(binding)) return false;
        std::int32_t number = 0;
        std::memcpy(&number, binding.value, sizeof number);
        head.Signed(binding.valueType).Char(',').Signed(number);
        return true;
    }
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: {
        if (!HoldsNumber(binding)) return false;
        std::uint32_t number = 0;
        std::memcpy(&number, binding.value, sizeof number);
        head.Signed(binding.valueType).Char(',').Unsigned(number);
        return true;
    }
    case SNMP_VALUE_IP_ADDRESS: {
        if (!HoldsNumber(binding)) return false;
        const std::uint8_t *octets = binding.value;
        head.Signed(binding.valueType).Char(',').Unsigned(octets[0]).Char('.').Unsigned(octets[1]);
        head.Char('.').Unsigned(octets[2]).Char('.').Unsigned(octets[3]);
        return true;
    }
    case SNMP_VALUE_OCTET_STRING:
        if (binding.value == nullptr && binding.valueLength != 0) return false;
        item.data = binding.value;
        item.dataLength = binding.valueLength;
        head.Signed(binding.valueType).Char(',').Unsigned(binding.valueLength).Char(',');
        return true;
    case SNMP_VALUE_OBJECT_IDENTIFIER:
        if (binding.value == nullptr) return false;
        item.data = binding.value;
        item.dataLength =
            strnlen(reinterpret_cast<const char *>(binding.value), binding.valueLength);
        head.Signed(binding.valueType).Char(',');
        return true;
    default:
        return false;  // Opaque, NULL and unknown types have no text form
    }
}

void WriteItem(const ValueItem &item, char *destination) {
    std::memcpy(destination, item.head, item.headLength);
    if (item.dataLength > 0) std::memcpy(destination + item.headLength, item.data, item.dataLength);
    destination[item.headLength + item.dataLength] = ',';
}

std::uint32_t ReportedSize(std::uint64_t size) {
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
}

}  // namespace

bool ExtractReplyValues(const SnmpReqParam &reply, std::uint16_t *varBindCount, char *oidBuffer,
                        std::uint32_t *oidSize, char *valueBuffer, std::uint32_t *valueSize) {
    const std::uint64_t oidRoom = (oidBuffer == nullptr || oidSize == nullptr) ? 0 : *oidSize;
    const std::uint64_t valueRoom =
        (valueBuffer == nullptr || valueSize == nullptr) ? 0 : *valueSize;
    if (varBindCount != nullptr) *varBindCount = reply.varBindCount;
    if (valueRoom > 0) std::memset(valueBuffer, 0, *valueSize);

    std::uint64_t oidNeed = 0;
    std::uint64_t valueLength = 0;
    bool complete = true;
    for (std::uint16_t i = 0; i < reply.varBindCount && reply.varBinds != nullptr; ++i) {
        const SnmpVarBind &binding = reply.varBinds[i];

        const std::size_t oidLength = binding.oid == nullptr ? 0 : std::strlen(binding.oid);
        const std::uint64_t oidStart = oidNeed;
        oidNeed += oidLength + 1;
        if (complete && oidNeed <= oidRoom) {
            if (oidLength > 0) std::memcpy(oidBuffer + oidStart, binding.oid, oidLength);
            oidBuffer[oidStart + oidLength] = ',';
        } else {
            complete = false;
        }

        ValueItem item;
        std::size_t itemLength = 0;
        if (FormItem(binding, item)) {
            itemLength = item.Length();
        } else {
            complete = false;
        }
        if (complete && valueLength + itemLength <= valueRoom) {
            WriteItem(item, valueBuffer + valueLength);
        } else {
            complete = false;
        }
        valueLength += itemLength;
    }

    if (complete && reply.varBindCount > 0 && reply.varBinds != nullptr) {
        // The last separators become the texts' terminators.
        valueBuffer[valueLength - 1] = '\0';
        valueLength -= 1;
        oidBuffer[oidNeed - 1] = '\0';
    }
    if (oidSize != nullptr) *oidSize = ReportedSize(oidNeed + 1);
    if (valueSize != nullptr) *valueSize = ReportedSize(valueLength);
    return complete;
}

}  // namespace snmphelper

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL
HelperSNMPDecodePacket(const uint8_t *message, uint32_t messageLength, char *oidBuffer,
                       uint32_t *oidSize, char *valueBuffer, uint32_t *valueSize) {
    if (message == nullptr) return SNMP_RESULT_DECODE_FAILED;
    SnmpReqParam *reply = HelperSnmpDecodePdu(message, messageLength);
    if (reply == nullptr) return SNMP_RESULT_DECODE_FAILED;
    std::int32_t result = SNMP_RESULT_ERROR_STATUS;
    if (reply->errorStatus == 0) {
        const bool complete = snmphelper::ExtractReplyValues(*reply, nullptr, oidBuffer, oidSize,
                                                             valueBuffer, valueSize);
        result = complete ? SNMP_RESULT_OK : SNMP_RESULT_DOES_NOT_FIT;
    }
    HelperFreeReqParam(reply);
    return result;
}
