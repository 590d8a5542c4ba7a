#include "tests/support/platform_folder.h"

#include <cstdlib>
#include <filesystem>

#include "tests/support/child_process.h"

namespace snmphelper::test {

namespace {
constexpr char kPathVariable[] = "SNMPHELPER_PLATFORM_PATH";
}

std::string FixtureLibrary(const std::string &fixture) {
    return BuildTreePath("tests/fixtures/" + fixture + ".so");
}

PlatformFolder::PlatformFolder() : folder_(MakeTempFolder("platform")) {
    if (const char *previous = std::getenv(kPathVariable)) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    setenv(kPathVariable, folder_.c_str(), 1);
}

PlatformFolder::~PlatformFolder() {
    if (hadPrevious_) {
        setenv(kPathVariable, previous_.c_str(), 1);
    } else {
        unsetenv(kPathVariable);
    }
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
