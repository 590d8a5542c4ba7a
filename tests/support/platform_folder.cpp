// SPDX-License-Identifier: Apache-2.0
#include "tests/support/platform_folder.h"

#include <cstdlib>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tests/support/test_files.h"

namespace snmphelper::test {
namespace {

#if !defined(_WIN32)
constexpr char kPathVariable[] = "SNMPHELPER_PLATFORM_PATH";
#endif

}  // namespace

std::string PlatformLibraryFile(const std::string &stem) {
#if defined(_WIN32)
    return stem + ".dll";
#else
    return stem + ".so";
#endif
}

std::string FixtureLibrary(const std::string &fixture) {
    return BuildTreePath("tests/fixtures/" + PlatformLibraryFile(fixture));
}

// Windows looks for a library loaded by name in the folder SetDllDirectory
// names (after the program's own); elsewhere the library's loader reads
// SNMPHELPER_PLATFORM_PATH.
PlatformFolder::PlatformFolder() : folder_(MakeTempFolder("platform")) {
#if defined(_WIN32)
    char previous[MAX_PATH] = {};
    const DWORD length = ::GetDllDirectoryA(MAX_PATH, previous);
    if (length > 0 && length < MAX_PATH) {
        previous_.assign(previous, length);
        hadPrevious_ = true;
    }
    ::SetDllDirectoryA(folder_.c_str());
#else
    if (const char *previous = std::getenv(kPathVariable)) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    SetEnvironment(kPathVariable, folder_.c_str());
#endif
}

PlatformFolder::~PlatformFolder() {
#if defined(_WIN32)
    ::SetDllDirectoryA(hadPrevious_ ? previous_.c_str() : nullptr);
#else
    SetEnvironment(kPathVariable, hadPrevious_ ? previous_.c_str() : nullptr);
#endif
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool PlatformFolder::Install(const std::string &fixture, const std::string &fileName) const {
    std::error_code error;
    std::filesystem::copy_file(FixtureLibrary(fixture), folder_ + "/" + fileName,
                               std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

}  // namespace snmphelper::test
