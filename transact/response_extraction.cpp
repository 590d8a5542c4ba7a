#include "transact/response_extraction.h"

#include <cstdio>
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

// Takes snprintf's answer for the head; every head fits, but a cut one is
// never used.
bool SetHeadLength(ValueItem &item, int length) {
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof item.head) return false;
    item.headLength = static_cast<std::size_t>(length);
    return true;
}

bool HoldsNumber(const SnmpVarBind &binding) {
    return binding.value != nullptr && binding.valueLength >= 4;
}

// Forms the item of one variable; false for a type without an item form.
bool FormItem(const SnmpVarBind &binding, ValueItem &item) {
    item = ValueItem{};
    switch (binding.valueType) {
    case SNMP_VALUE_INTEGER: {
        if (!HoldsNumber(binding)) return false;
        std::int32_t number = 0;
        std::memcpy(&number, binding.value, sizeof number);
        return SetHeadLength(
            item, std::snprintf(item.head, sizeof item.head, "%d,%d", binding.valueType, number));
    }
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: {
        if (!HoldsNumber(binding)) return false;
        std::uint32_t number = 0;
        std::memcpy(&number, binding.value, sizeof number);
        return SetHeadLength(
            item, std::snprintf(item.head, sizeof item.head, "%d,%u", binding.valueType, number));
    }
    case SNMP_VALUE_IP_ADDRESS: {
        if (!HoldsNumber(binding)) return false;
        const std::uint8_t *octets = binding.value;
        return SetHeadLength(
            item, std::snprintf(item.head, sizeof item.head, "%d,%u.%u.%u.%u", binding.valueType,
                                unsigned{octets[0]}, unsigned{octets[1]}, unsigned{octets[2]},
                                unsigned{octets[3]}));
    }
    case SNMP_VALUE_OCTET_STRING:
        if (binding.value == nullptr && binding.valueLength != 0) return false;
        item.data = binding.value;
        item.dataLength = binding.valueLength;
        return SetHeadLength(item, std::snprintf(item.head, sizeof item.head, "%d,%u,",
                                                 binding.valueType, binding.valueLength));
    case SNMP_VALUE_OBJECT_IDENTIFIER:
        if (binding.value == nullptr) return false;
        item.data = binding.value;
        item.dataLength =
            strnlen(reinterpret_cast<const char *>(binding.value), binding.valueLength);
        return SetHeadLength(item,
                             std::snprintf(item.head, sizeof item.head, "%d,", binding.valueType));
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
    if (valueRoom > 0) std::memset(valueBuffer, 0, valueRoom);

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
