// SPDX-License-Identifier: Apache-2.0
#include "library/library_entry.h"

#include "dlc/dlc_access.h"
#include "groups/object_groups.h"
#include "transact/request_id.h"

namespace snmphelper {
namespace {

void ProcessAttach(platform::ModuleHandle module) {
    StoreLibraryModuleHandle(module);
    // The counter is 0 at load; a loader only attaches once, but tests attach
    // again to start from a freshly loaded state.
    ResetRequestIds();
    BuildJoinedGroupLists();
    // Without DLC the library still serves UDP/IP and IPX printers.
    static_cast<void>(InitDlcAccess());
}

}  // namespace

int LibraryEntry(platform::ModuleHandle module, std::uint32_t reason) {
    switch (reason) {
    case kProcessAttach:
        ProcessAttach(module);
        break;
    case kProcessDetach:
        // DLC state stays: the adapter opened at load lives as long as the process.
        ReleaseJoinedGroupListsUnlessExiting();
        break;
    default:
        break;
    }
    return 1;
}

}  // namespace snmphelper
