/* SPDX-License-Identifier: Apache-2.0 */
// What the administration commands say when the registry refuses something.
#pragma once

#include <cstdint>
#include <string>

namespace snmphelper::cli {

// A sentence for a registry result code, naming the store where it helps.
std::string DescribeRegistryResult(std::int32_t code);

// When the store at `location` belongs to another user (root, as the
// package installs it) than this process: what to do instead, as a clause
// to append to a refusal; empty otherwise (and on Windows, whose registry
// says so itself).
std::string ForeignStoreHint(const std::string &location);

}  // namespace snmphelper::cli
