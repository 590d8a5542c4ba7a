/* SPDX-License-Identifier: Apache-2.0 */
// The library's load and unload steps, run through one entry function that
// the platform's loader hook calls (and that tests may call directly).
#pragma once

#include <cstdint>

#include "platform/loader_hook.h"
#include "platform/module_handle.h"

namespace snmphelper {

// LibraryEntry (declared with the loader hook): process attach stores
// `module` (LibraryModuleHandle), sets the request-id counter to 0, builds
// the joined object-group lists and prepares DLC access (whose failure only
// leaves DLC unavailable).
// Process detach releases the joined lists, unless the process is exiting
// (ReleaseJoinedGroupListsUnlessExiting). Thread attach and detach:
// nothing. Always returns 1.

}  // namespace snmphelper
