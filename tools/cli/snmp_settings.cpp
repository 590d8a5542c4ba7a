// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/snmp_settings.h"

#include "platform/module_handle.h"
#include "platform/string_table.h"
#include "tools/cli/library_load.h"
#include "tools/cli/registry_messages.h"
#include "transact/printer_config.h"
#include "transact/transaction_engine.h"

namespace snmphelper::cli {
namespace {

std::string TypeName(std::uint32_t type) {
    switch (type) {
    case platform::kRegSz:
        return "REG_SZ";
    case platform::kRegExpandSz:
        return "REG_EXPAND_SZ";
    case platform::kRegBinary:
        return "REG_BINARY";
    case platform::kRegDword:
        return "REG_DWORD";
    case platform::kRegMultiSz:
        return "REG_MULTI_SZ";
    default:
        return "type " + std::to_string(type);
    }
}

}  // namespace

std::string StringEntry(std::uint32_t entry) {
    EnsureLibraryLoaded();
    char text[256];
    return platform::LoadStringResource(LibraryModuleHandle(), entry, text, sizeof text) > 0 ? text : "";
}

std::string SnmpKeyPath() { return StringEntry(kBaseKeyEntry) + StringEntry(kSnmpKeyEntry); }

std::string WhyDefault(platform::RegistryKey key, std::int32_t openCode, const std::string &valueName) {
    if (openCode == platform::kRegistryNotFound) return "the key " + SnmpKeyPath() + " does not exist";
    if (openCode != platform::kRegistrySuccess) return DescribeRegistryResult(openCode);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (platform::QueryRegistryValue(key, valueName.c_str(), &type, nullptr, &size) != platform::kRegistrySuccess) {
        return valueName + " is not set";
    }
    if ((type != platform::kRegDword && type != platform::kRegBinary) || size != 4) {
        return valueName + " is a " + std::to_string(size) + "-byte " + TypeName(type) + " value, not a REG_DWORD";
    }
    return "";
}

bool StoreGivesTimeout() {
    platform::RegistryKey key = nullptr;
    const std::int32_t openCode = platform::OpenRegistryKey(SnmpKeyPath().c_str(), platform::kKeyRead, &key);
    const bool given = WhyDefault(key, openCode, StringEntry(kTimeoutValueEntry)).empty();
    platform::CloseRegistryKey(key);
    return given;
}

std::string TimeoutMeaning(std::int32_t timeoutSeconds, bool fromStore) {
    const std::string seconds = std::to_string(timeoutSeconds) + " s";
    return "a reply is awaited " + seconds + " per send (a set: " + std::to_string(kSetRequestTimeoutSeconds) +
           " s); a silent printer is sent the request " + std::to_string(kSilentSendsPerProtocol) +
           " times per protocol, the last send not awaited" +
           (fromStore ? std::string()
                      : "; the snmphelper tool itself awaits " + std::to_string(kToolTimeoutSeconds) +
                            " s per send unless --timeout says otherwise");
}

std::string RetriesMeaning(std::int32_t retries) {
    return "retries counts only replies that cannot be decoded or belong to another request: after each, the "
           "request is sent again, " +
           std::to_string(retries) + " times at most; it does not add sends to a silent printer";
}

}  // namespace snmphelper::cli
