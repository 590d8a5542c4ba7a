// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/library_load.h"

#include <mutex>

#include "library/library_entry.h"

namespace snmphelper::cli {
namespace {

// Stands for the library's module: any non-null token will do.
char moduleToken;

}  // namespace

void EnsureLibraryLoaded() {
    static std::once_flag loaded;
    std::call_once(loaded, [] { LibraryEntry(&moduleToken, kProcessAttach); });
}

}  // namespace snmphelper::cli
