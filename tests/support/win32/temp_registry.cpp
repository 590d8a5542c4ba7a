// SPDX-License-Identifier: Apache-2.0
// On Windows the store is the system's registry itself: a test's hive
// replaces the key Software\Brelvin (everything the library reads is below
// it) while the object lives, and what was there before comes back after.
// Tests that do this run one at a time.
#include "tests/support/temp_registry.h"

#include "platform/registry.h"

namespace snmphelper::test {
namespace {

constexpr char kProductKey[] = "Software\\Brelvin";

void ReplaceProductKey(const std::string &text) {
    platform::DeleteRegistryKey(kProductKey);
    std::string problem;
    if (!text.empty()) platform::ImportRegistryText(text, problem);
}

}  // namespace

TempRegistry::TempRegistry(const std::string &hive) : path_(std::string("HKEY_LOCAL_MACHINE\\") + kProductKey) {
    hadPrevious_ = platform::ExportRegistryText(kProductKey, previous_) == platform::kRegistrySuccess;
    ReplaceProductKey(hive);
}

TempRegistry::~TempRegistry() { ReplaceProductKey(hadPrevious_ ? previous_ : std::string()); }

void TempRegistry::Write(const std::string &bytes) const { ReplaceProductKey(bytes); }

std::string TempRegistry::Contents() const {
    std::string text;
    return platform::ExportRegistryText(kProductKey, text) == platform::kRegistrySuccess ? text : std::string();
}

}  // namespace snmphelper::test
