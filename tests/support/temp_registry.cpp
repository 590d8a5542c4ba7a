// SPDX-License-Identifier: Apache-2.0
#include "tests/support/temp_registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace snmphelper::test {

TempRegistry::TempRegistry(const std::string &hive) {
    std::string pattern = (std::filesystem::temp_directory_path() / "snmphelper-registry-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    path_ = folder_ + "/registry.reg";
    if (const char *previous = std::getenv("SNMPHELPER_REGISTRY")) {
        hadPrevious_ = true;
        previous_ = previous;
    }
    setenv("SNMPHELPER_REGISTRY", path_.c_str(), 1);
    if (!hive.empty()) Write(hive);
}

TempRegistry::~TempRegistry() {
    if (hadPrevious_) {
        setenv("SNMPHELPER_REGISTRY", previous_.c_str(), 1);
    } else {
        unsetenv("SNMPHELPER_REGISTRY");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TempRegistry::Write(const std::string &bytes) const {
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempRegistry::Contents() const {
    std::ifstream file(path_, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

}  // namespace snmphelper::test
