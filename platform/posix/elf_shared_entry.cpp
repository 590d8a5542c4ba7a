// SPDX-License-Identifier: Apache-2.0
// Ties the library's load and unload steps to the ELF loader: the shared
// library's constructor runs process attach when a process loads it, its
// destructor process detach when the process unloads it.
#include <dlfcn.h>

#include "platform/loader_hook.h"

namespace snmphelper {
namespace {

// Any object of this library: its address identifies the loaded module.
const char moduleAnchor = 0;

platform::ModuleHandle ThisModule() {
    Dl_info info{};
    if (dladdr(&moduleAnchor, &info) != 0 && info.dli_fbase != nullptr) return info.dli_fbase;
    // The loader always knows the module; the anchor is a non-null fallback.
    return const_cast<char *>(&moduleAnchor);
}

__attribute__((constructor)) void OnLibraryLoad() { LibraryEntry(ThisModule(), kProcessAttach); }

__attribute__((destructor)) void OnLibraryUnload() { LibraryEntry(ThisModule(), kProcessDetach); }

}  // namespace
}  // namespace snmphelper
