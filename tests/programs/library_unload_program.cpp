// SPDX-License-Identifier: Apache-2.0
// Run by library_entry_test: loads the shared library (named by the only
// argument) at run time, reads an object group's list, unloads it, and prints
// how many heap bytes the unload gave back. Run it with glibc's per-thread
// cache off (GLIBC_TUNABLES=glibc.malloc.tcache_count=0), which would
// otherwise count what was freed as in use.
#include <dlfcn.h>
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <thread>

#include "snmphelper.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    void *handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], ::dlerror());
        return 1;
    }
    using FetchFunction = std::int32_t(SNMPHELPER_CALL *)(const char *, std::uint32_t, char *, std::uint32_t *);
    auto fetch = reinterpret_cast<FetchFunction>(::dlsym(handle, "HelperGetSNMPObjects"));
    if (fetch == nullptr) return 1;
    // On a thread of its own: a thread that used the library holds it loaded
    // (its thread-local storage) until the thread ends.
    std::thread([fetch] {
        char values[4096];
        std::uint32_t length = sizeof values;
        // No printer: the list is read (which arms the exit watch), and
        // nothing else is touched.
        fetch(nullptr, 0, values, &length);
    }).join();
    const std::size_t before = ::mallinfo2().uordblks;
    if (::dlclose(handle) != 0) return 1;
    std::printf("released %zu\n", before - ::mallinfo2().uordblks);
    return 0;
}
