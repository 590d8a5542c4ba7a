#include "tools/cli/printer_records.h"

#include "platform/registry.h"
#include "tools/cli/registry_messages.h"
#include "transact/printer_config.h"

namespace snmphelper::cli {

std::optional<std::vector<std::string>> RegisteredPrinters(std::string &problem) {
    platform::RegistryKey adapters = nullptr;
    std::int32_t code = platform::OpenRegistryKey(kAdapterKeyPath, platform::kKeyRead, &adapters);
    if (code == platform::kRegistryNotFound) return std::vector<std::string>{};
    std::vector<std::string> names;
    if (code == platform::kRegistrySuccess) code = platform::ListRegistrySubkeys(adapters, names);
    platform::CloseRegistryKey(adapters);
    if (code != platform::kRegistrySuccess) {
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

}  // namespace snmphelper::cli
