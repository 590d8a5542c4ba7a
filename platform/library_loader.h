/* SPDX-License-Identifier: Apache-2.0 */
// Platform libraries loaded at run time by their Windows names, and their
// entry points looked up by name (LoadLibraryA, GetProcAddress, FreeLibrary).
//
// Elsewhere a Windows name stands for a shared object of the same stem in
// lower case ("wsock32.dll" is wsock32.so), looked for in the folders of
// SNMPHELPER_PLATFORM_PATH (colon-separated) when it is set (and not
// ignored, platform/environment.h), otherwise in the folder a program named
// with SetPlatformFolder, otherwise in the folder snmphelper/ beside the
// module that holds the library's code.
#pragma once

#include "platform/handles.h"

namespace snmphelper::platform {

// Any entry point; cast to its real type before calling.
using EntryPoint = void (*)();

// Loads `windowsName` (a plain file name, no folder); null when it is
// missing or cannot be loaded. Every successful load takes one reference.
LibraryHandle LoadPlatformLibrary(const char *windowsName);

// The entry point `name` of `library`; null when it exports none (or either
// argument is null).
EntryPoint FindEntryPoint(LibraryHandle library, const char *name);

// Gives back one reference taken by LoadPlatformLibrary. Null does nothing.
void ReleasePlatformLibrary(LibraryHandle library);

// For a program that links the library's code in, where the folder beside
// the module is the program's own: the folder of its platform libraries.
// Call before the first load. Windows' loader has its own search order, and
// ignores it.
void SetPlatformFolder(const char *folder);

}  // namespace snmphelper::platform
