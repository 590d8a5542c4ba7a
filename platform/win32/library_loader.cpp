// SPDX-License-Identifier: Apache-2.0
// Run-time loading with the Windows loader.
#include <windows.h>

#include "platform/library_loader.h"

namespace snmphelper::platform {

LibraryHandle LoadPlatformLibrary(const char *windowsName) {
    if (windowsName == nullptr || *windowsName == '\0') return nullptr;
    // No error dialog for a missing or broken library: its absence is an answer.
    const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = ::LoadLibraryA(windowsName);
    ::SetErrorMode(previous);
    return library;
}

EntryPoint FindEntryPoint(LibraryHandle library, const char *name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<EntryPoint>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void ReleasePlatformLibrary(LibraryHandle library) {
    if (library != nullptr) ::FreeLibrary(static_cast<HMODULE>(library));
}

void SetPlatformFolder(const char *) {}

}  // namespace snmphelper::platform
