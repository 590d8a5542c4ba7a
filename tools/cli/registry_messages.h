// What the administration commands say when the registry refuses something.
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::cli {

// A sentence for a registry result code, naming the store where it helps.
std::string DescribeRegistryResult(std::int32_t code);

}  // namespace snmphelper::cli
