// SPDX-License-Identifier: Apache-2.0
#include "discover/discovered_printers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "transact/dotted_quad.h"

namespace snmphelper {

const std::array<const char *, kDiscoveryObjectCount> kDiscoveryObjects = {
    "1.3.6.1.2.1.1.1.0",               // sysDescr (RFC 1213)
    "1.3.6.1.2.1.1.2.0",               // sysObjectID
    "1.3.6.1.2.1.1.5.0",               // sysName
    "1.3.6.1.2.1.25.3.2.1.3.1",        // hrDeviceDescr of device 1 (RFC 2790)
    "1.3.6.1.2.1.43.5.1.1.17.1",       // prtGeneralSerialNumber (RFC 3805)
    "1.3.6.1.4.1.236.11.5.1.12.3.3.0"  // the print server's hardware address
};

namespace {

constexpr std::size_t kHardwareObject = 5;
constexpr std::size_t kHardwareAddressLength = 6;
constexpr std::size_t kIpxNetworkLength = 4;

template <std::size_t N>
void CopyText(char (&field)[N], const char *text, std::size_t length) {
    const std::size_t copied = std::min(length, N - 1);
    std::memcpy(field, text, copied);
    field[copied] = '\0';
}

template <std::size_t N>
void CopyText(char (&field)[N], const std::string &text) {
    CopyText(field, text.data(), text.size());
}

std::string HexText(const std::uint8_t *bytes, std::size_t length) {
    std::string text;
    char pair[3];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(bytes[i]));
        text += pair;
    }
    return text;
}

// The field a discovery object's text goes to; null for the hardware address.
char *ObjectField(SnmpDiscoveredPrinter &record, std::size_t object) {
    switch (object) {
        case 0: return record.sysDescr;
        case 1: return record.sysObjectID;
        case 2: return record.sysName;
        case 3: return record.deviceDescr;
        case 4: return record.serialNumber;
        default: return nullptr;
    }
}

// A text value up to its first zero octet (an OBJECT IDENTIFIER is text already).
void StoreObject(SnmpDiscoveredPrinter &record, std::size_t object, const SnmpVarBind &binding, std::string &hardware) {
    if (binding.value == nullptr) return;
    const auto *text = reinterpret_cast<const char *>(binding.value);
    if (object == kHardwareObject) {
        if (binding.valueType == SNMP_VALUE_OCTET_STRING && binding.valueLength == kHardwareAddressLength) {
            hardware = HexText(binding.value, kHardwareAddressLength);
        }
        return;
    }
    if (binding.valueType != SNMP_VALUE_OCTET_STRING && binding.valueType != SNMP_VALUE_OBJECT_IDENTIFIER) return;
    const std::size_t length = strnlen(text, binding.valueLength);
    char *field = ObjectField(record, object);
    if (field == nullptr) return;
    const std::size_t copied = std::min<std::size_t>(length, SNMP_DISCOVERY_TEXT_SIZE - 1);
    std::memcpy(field, text, copied);
    field[copied] = '\0';
}

template <std::size_t N>
void FillEmpty(char (&into)[N], const char (&from)[N]) {
    if (into[0] == '\0') std::memcpy(into, from, N);
}

}  // namespace

std::string SourceAddressText(const ReplySource &source) {
    switch (source.protocol) {
        case SNMP_PROTOCOL_IP:
            return DottedQuadText({source.address[0], source.address[1], source.address[2], source.address[3]});
        case SNMP_PROTOCOL_IPX:
            return HexText(source.address.data(), kIpxNetworkLength + kHardwareAddressLength);
        case SNMP_PROTOCOL_DLC:
            return HexText(source.address.data(), kHardwareAddressLength);
        default:
            return {};
    }
}

void DiscoveredPrinters::Add(const ReplySource &source, std::span<const SnmpVarBind> bindings) {
    Found sighting{};
    sighting.record.cProtocols = source.protocol;
    const std::string address = SourceAddressText(source);
    std::string hardware;
    switch (source.protocol) {
        case SNMP_PROTOCOL_IP:
            CopyText(sighting.record.ipAddress, address);
            sighting.keys.push_back("ip:" + address);
            break;
        case SNMP_PROTOCOL_IPX:
            CopyText(sighting.record.ipxAddress, address);
            sighting.keys.push_back("ipx:" + address);
            hardware = address.substr(2 * kIpxNetworkLength);
            break;
        default:
            CopyText(sighting.record.macAddress, address);
            sighting.keys.push_back("dlc:" + address);
            hardware = address;
            break;
    }
    std::string named;  // the hardware address the printer's MIB names
    for (const SnmpVarBind &binding : bindings) {
        if (binding.oid == nullptr) continue;
        for (std::size_t object = 0; object < kDiscoveryObjects.size(); ++object) {
            if (std::strcmp(binding.oid, kDiscoveryObjects[object]) == 0) {
                StoreObject(sighting.record, object, binding, named);
            }
        }
    }
    if (!named.empty()) sighting.keys.push_back("hw:" + named);
    if (!hardware.empty()) sighting.keys.push_back("hw:" + hardware);
    CopyText(sighting.record.hardwareAddress, hardware.empty() ? named : hardware);
    sighting.linkHardware = !hardware.empty();

    for (Found &existing : found_) {
        for (const std::string &key : sighting.keys) {
            if (std::find(existing.keys.begin(), existing.keys.end(), key) != existing.keys.end()) {
                Merge(existing, sighting);
                return;
            }
        }
    }
    found_.push_back(std::move(sighting));
}

void DiscoveredPrinters::Merge(Found &into, const Found &from) {
    SnmpDiscoveredPrinter &record = into.record;
    record.cProtocols |= from.record.cProtocols;
    FillEmpty(record.ipAddress, from.record.ipAddress);
    FillEmpty(record.ipxAddress, from.record.ipxAddress);
    FillEmpty(record.macAddress, from.record.macAddress);
    if (from.linkHardware && !into.linkHardware) {
        std::memcpy(record.hardwareAddress, from.record.hardwareAddress, sizeof record.hardwareAddress);
        into.linkHardware = true;
    }
    FillEmpty(record.hardwareAddress, from.record.hardwareAddress);
    FillEmpty(record.sysDescr, from.record.sysDescr);
    FillEmpty(record.sysObjectID, from.record.sysObjectID);
    FillEmpty(record.sysName, from.record.sysName);
    FillEmpty(record.deviceDescr, from.record.deviceDescr);
    FillEmpty(record.serialNumber, from.record.serialNumber);
    for (const std::string &key : from.keys) {
        if (std::find(into.keys.begin(), into.keys.end(), key) == into.keys.end()) into.keys.push_back(key);
    }
}

std::vector<SnmpDiscoveredPrinter> DiscoveredPrinters::Records() {
    // A reply can join two records that were apart until then (an IP reply
    // naming the hardware address of a printer first heard over IPX only
    // after another IP reply): join them until no two share a key.
    for (std::size_t i = 0; i < found_.size(); ++i) {
        for (std::size_t j = i + 1; j < found_.size();) {
            const bool shared = std::any_of(found_[j].keys.begin(), found_[j].keys.end(), [&](const std::string &key) {
                return std::find(found_[i].keys.begin(), found_[i].keys.end(), key) != found_[i].keys.end();
            });
            if (shared) {
                Merge(found_[i], found_[j]);
                found_.erase(found_.begin() + static_cast<std::ptrdiff_t>(j));
                j = i + 1;
            } else {
                ++j;
            }
        }
    }
    std::vector<SnmpDiscoveredPrinter> records;
    records.reserve(found_.size());
    for (Found &entry : found_) {
        SnmpDiscoveredPrinter &record = entry.record;
        record.pProtocol = (record.cProtocols & SNMP_PROTOCOL_IP) != 0    ? SNMP_PROTOCOL_IP
                           : (record.cProtocols & SNMP_PROTOCOL_DLC) != 0 ? SNMP_PROTOCOL_DLC
                                                                          : SNMP_PROTOCOL_IPX;
        records.push_back(record);
    }
    return records;
}

}  // namespace snmphelper
