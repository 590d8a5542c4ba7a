// SPDX-License-Identifier: Apache-2.0
#include "tests/support/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace snmphelper::test {
namespace {

std::string RunningProgram() {
#if defined(_WIN32)
    char self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, length);
    for (char &c : path) {
        if (c == '\\') c = '/';
    }
    return length > 0 ? path : "./tests/x";
#else
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "./tests/x";
#endif
}

}  // namespace

std::string BuildTreePath(const std::string &relative) {
    if (const char *dir = std::getenv("SNMPHELPER_BINARY_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/" + relative;
    }
    std::string build = RunningProgram();
    build = build.substr(0, build.rfind('/'));
    return build.substr(0, build.rfind('/')) + "/" + relative;
}

std::string MakeTempFolder(const char *prefix) {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder = base / (std::string(prefix) + "-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(folder, error)) return folder.generic_string();
    }
    return base.generic_string();
}

void SetEnvironment(const char *name, const char *value) {
#if defined(_WIN32)
    _putenv_s(name, value == nullptr ? "" : value);
#else
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
#endif
}

}  // namespace snmphelper::test
