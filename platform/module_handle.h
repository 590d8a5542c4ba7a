/* SPDX-License-Identifier: Apache-2.0 */
// The library's own module handle, through which its string table and
// default settings are read; stored when the loader attaches the library.
#pragma once

#include "platform/handles.h"

namespace snmphelper {

// The handle stored at process attach; null before the library has been
// attached.
platform::ModuleHandle LibraryModuleHandle();

// Process attach (library/library_entry.cpp) stores the loader's handle here.
void StoreLibraryModuleHandle(platform::ModuleHandle module);

}  // namespace snmphelper
