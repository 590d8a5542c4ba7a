/* SPDX-License-Identifier: Apache-2.0 */
// The 26 fixed object groups: compiled-in tables of object identifiers, and
// the comma-joined list of each group that the library builds at load.
#pragma once

#include <cstdint>

namespace snmphelper {

inline constexpr std::uint32_t kObjectGroupCount = 26;

// One group's identifiers, dotted-decimal text, in request order.
struct ObjectGroup {
    std::uint32_t count;
    const char *const *identifiers;
};

// The group's table entry; an empty group (count 0) for a number past 25.
ObjectGroup GetObjectGroup(std::uint32_t group);

// Builds every group's joined list: its identifiers in order, separated by
// single commas, in a zero-filled global-heap block of (sum of the lengths +
// count) bytes. A group whose block cannot be allocated stays null; the
// others are built all the same. Lists left from an earlier build are
// released first.
void BuildJoinedGroupLists();

// Releases every joined list that exists; each becomes null.
void ReleaseJoinedGroupLists();

// Process detach's release: ReleaseJoinedGroupLists, except in a process
// that is exiting after a list was read. Its other threads may still be
// inside HelperGetSNMPObjects, reading a list, and the process's end frees
// the lists anyway; an unload (dlclose, FreeLibrary) releases them.
void ReleaseJoinedGroupListsUnlessExiting();

// The group's joined list, or null when it could not be allocated, has not
// been built, or the group number is past 25.
const char *JoinedGroupList(std::uint32_t group);

}  // namespace snmphelper
