// SPDX-License-Identifier: Apache-2.0
// Ties the library's load and unload steps to the Windows loader.
#include <windows.h>

#include "platform/loader_hook.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    return snmphelper::LibraryEntry(instance, reason);
}
