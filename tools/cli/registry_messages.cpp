// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/registry_messages.h"

#include "platform/registry.h"

namespace snmphelper::cli {

std::string DescribeRegistryResult(std::int32_t code) {
    using namespace snmphelper::platform;
    const std::string location = RegistryLocation();
    switch (code) {
    case kRegistrySuccess:
        return "no error";
    case kRegistryNotFound:
        return "not found in the registry " + location;
    case kRegistryPathNotFound:
        return "the folder of the registry " + location +
               " does not exist; create it, or point SNMPHELPER_REGISTRY elsewhere";
    case kRegistryAccessDenied:
        return "permission denied: " + location + ForeignStoreHint(location);
    case kRegistryNoMemory:
        return "out of memory";
    case kRegistryInvalidParameter:
        return "invalid key or value name";
    case kRegistryCorrupt:
        return "the registry " + location + " cannot be parsed (" + RegistryProblem() +
               "); fix or remove it, nothing has been changed";
    case kRegistryCannotRead:
        return "the registry " + location + " cannot be read";
    case kRegistryCannotWrite:
        return "the registry " + location + " cannot be written";
    case kRegistryKeyDeleted:
        return "the key was deleted meanwhile";
    default:
        return "registry error " + std::to_string(code);
    }
}

}  // namespace snmphelper::cli
