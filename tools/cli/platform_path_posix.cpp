// SPDX-License-Identifier: Apache-2.0
// The tool links the library's code in, so the library's own rule (the
// folder snmphelper/ beside the module holding it) would look beside the
// tool. Point it at the platform libraries where the build tree and an
// installed tree keep them relative to the tool; SNMPHELPER_PLATFORM_PATH
// still comes first, except in a privileged tool (platform/environment.h),
// which then finds its own.
#include "tools/cli/platform_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/library_loader.h"

namespace snmphelper::cli {
namespace {

bool IsFolder(const std::string &path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The folder of this program's file; empty when the system does not say.
std::string ProgramFolder() {
    char program[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) return {};
    std::string folder(program, static_cast<std::size_t>(length));
    folder.resize(folder.rfind('/'));
    return folder;
}

}  // namespace

void SetDefaultPlatformPath() {
    const std::string folder = ProgramFolder();
    if (folder.empty()) return;
    // build/tools/snmphelper -> build/snmphelper; installed, bin/snmphelper ->
    // the library folder's snmphelper/ (lib/snmphelper, lib/<multiarch>/snmphelper).
    for (const char *relative : {"/../snmphelper", "/" SNMPHELPER_INSTALLED_PLATFORM_DIR}) {
        const std::string candidate = folder + relative;
        if (IsFolder(candidate)) {
            platform::SetPlatformFolder(candidate.c_str());
            return;
        }
    }
}

std::string ExporterProgramPath() {
    const std::string folder = ProgramFolder();
    const std::string beside = folder + "/snmphelper-exporter";
    if (::access(beside.c_str(), X_OK) == 0) return beside;
    return folder + "/" SNMPHELPER_INSTALLED_EXPORTER;
}

}  // namespace snmphelper::cli
