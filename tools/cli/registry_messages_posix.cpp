// SPDX-License-Identifier: Apache-2.0
#include <sys/stat.h>
#include <unistd.h>

#include "tools/cli/registry_messages.h"

namespace snmphelper::cli {

std::string ForeignStoreHint(const std::string &location) {
    // A store not yet written is its folder's.
    struct stat status {};
    if (stat(location.c_str(), &status) != 0) {
        const std::size_t slash = location.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : location.substr(0, slash == 0 ? 1 : slash);
        if (stat(folder.c_str(), &status) != 0) return "";
    }
    if (status.st_uid == geteuid()) return "";
    const std::string owner = status.st_uid == 0 ? "root's" : "another user's";
    return ": the store is " + owner +
           "; run the command as its owner (with sudo), or keep a store of your own, e.g. "
           "export SNMPHELPER_REGISTRY=$HOME/.snmphelper.reg";
}

}  // namespace snmphelper::cli
