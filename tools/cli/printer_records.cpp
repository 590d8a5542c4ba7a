// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/printer_records.h"

#include <cstring>

#include "platform/registry.h"
#include "tools/cli/registry_messages.h"
#include "transact/printer_config.h"
#include "transact/printer_store.h"

namespace snmphelper::cli {

std::optional<std::vector<std::string>> RegisteredPrinters(std::string &problem) {
    std::vector<std::string> names;
    std::int32_t code = 0;
    if (ListPrinters(names, code) != 0) {
        problem = DescribeRegistryResult(code);
        return std::nullopt;
    }
    return names;
}

PrinterLookup LookUpPrinter(const std::string &printer) {
    platform::RegistryKey key = nullptr;
    const std::string path = std::string(kAdapterKeyPath) + "\\" + printer;
    const std::int32_t code = platform::OpenRegistryKey(path.c_str(), platform::kKeyRead, &key);
    platform::CloseRegistryKey(key);
    if (code == platform::kRegistryNotFound) {
        return {PrinterState::Unknown, "no printer '" + printer + "' is registered (see 'snmphelper printer list')"};
    }
    if (code != platform::kRegistrySuccess) return {PrinterState::StoreUnreadable, DescribeRegistryResult(code)};
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    if (ReadPrinterAddressRecord(printer.c_str(), &record) != 0) {
        return {PrinterState::Unreadable, "printer '" + printer + "' is registered, but its record cannot be read (see "
                                          "'snmphelper printer show " + printer + "')"};
    }
    return {};
}

std::optional<std::uint32_t> ProtocolInUse(const std::string &printer) {
    platform::RegistryKey key = nullptr;
    const std::string path = std::string(kAdapterKeyPath) + "\\" + printer;
    if (platform::OpenRegistryKey(path.c_str(), platform::kKeyRead, &key) != platform::kRegistrySuccess) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::uint32_t type = 0;
    std::uint32_t size = sizeof value;
    const std::int32_t code = platform::QueryRegistryValue(key, kProtocolInUseValue, &type, &value, &size);
    platform::CloseRegistryKey(key);
    if (code != platform::kRegistrySuccess || type != platform::kRegDword || size != sizeof value) return std::nullopt;
    return value & 0xFF;
}

std::string CommunityShown(platform::RegistryKey key, bool showSecrets) {
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    if (platform::QueryRegistryValue(key, kCommunityValue, &type, nullptr, &size) != platform::kRegistrySuccess) {
        return kNoCommunity;
    }
    if (!showSecrets) return "set (--show-secrets prints it)";
    std::string text(size, '\0');
    if (platform::QueryRegistryValue(key, kCommunityValue, nullptr, text.data(), &size) != platform::kRegistrySuccess) {
        return "(unreadable)";
    }
    text.resize(std::strlen(text.c_str()));
    return text;
}

}  // namespace snmphelper::cli
