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
