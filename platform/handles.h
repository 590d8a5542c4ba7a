/* SPDX-License-Identifier: Apache-2.0 */
// Handle types of the platform seam, defined once. Opaque to the library.
#pragma once

namespace snmphelper::platform {

// The library's own module: on Windows its instance handle, elsewhere any
// non-null token the loader entry stores.
using ModuleHandle = void *;

// A platform library loaded at run time (a WinSock library, a DLC
// interface); null when none is loaded.
using LibraryHandle = void *;

// A manual-reset event (platform/event.h); null when none was created.
using EventHandle = void *;

}  // namespace snmphelper::platform
