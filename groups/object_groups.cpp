// SPDX-License-Identifier: Apache-2.0
#include "groups/object_groups.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/heap.h"

namespace snmphelper {
namespace {

// Group 0: MIB-II system group.
constexpr const char *kGroup0[] = {
    "1.3.6.1.2.1.1.1.0",
    "1.3.6.1.2.1.1.2.0",
    "1.3.6.1.2.1.1.3.0",
    "1.3.6.1.2.1.1.4.0",
    "1.3.6.1.2.1.1.5.0",
    "1.3.6.1.2.1.1.6.0",
    "1.3.6.1.2.1.1.7.0",
};

// Group 1: MIB-II interfaces table, columns ifInOctets to ifOutErrors of interface 2.
constexpr const char *kGroup1[] = {
    "1.3.6.1.2.1.2.2.1.10.2",
    "1.3.6.1.2.1.2.2.1.11.2",
    "1.3.6.1.2.1.2.2.1.12.2",
    "1.3.6.1.2.1.2.2.1.13.2",
    "1.3.6.1.2.1.2.2.1.14.2",
    "1.3.6.1.2.1.2.2.1.15.2",
    "1.3.6.1.2.1.2.2.1.16.2",
    "1.3.6.1.2.1.2.2.1.17.2",
    "1.3.6.1.2.1.2.2.1.18.2",
    "1.3.6.1.2.1.2.2.1.19.2",
    "1.3.6.1.2.1.2.2.1.20.2",
};

// Group 2.
constexpr const char *kGroup2[] = {
    "1.3.6.1.2.1.10.7.2.1.2.0",
};

// Group 3: MIB-II ip group counters.
constexpr const char *kGroup3[] = {
    "1.3.6.1.2.1.4.3.0",
    "1.3.6.1.2.1.4.4.0",
    "1.3.6.1.2.1.4.5.0",
    "1.3.6.1.2.1.4.7.0",
    "1.3.6.1.2.1.4.8.0",
    "1.3.6.1.2.1.4.9.0",
    "1.3.6.1.2.1.4.10.0",
    "1.3.6.1.2.1.4.11.0",
    "1.3.6.1.2.1.4.12.0",
};

// Group 4: MIB-II icmp group.
constexpr const char *kGroup4[] = {
    "1.3.6.1.2.1.5.1.0",
    "1.3.6.1.2.1.5.2.0",
    "1.3.6.1.2.1.5.8.0",
    "1.3.6.1.2.1.5.14.0",
    "1.3.6.1.2.1.5.15.0",
    "1.3.6.1.2.1.5.22.0",
};

// Group 5: MIB-II udp group.
constexpr const char *kGroup5[] = {
    "1.3.6.1.2.1.7.1.0",
    "1.3.6.1.2.1.7.2.0",
    "1.3.6.1.2.1.7.3.0",
    "1.3.6.1.2.1.7.4.0",
};

// Group 6: MIB-II tcp group.
constexpr const char *kGroup6[] = {
    "1.3.6.1.2.1.6.10.0",
    "1.3.6.1.2.1.6.11.0",
};

// Group 7.
constexpr const char *kGroup7[] = {
    "1.3.6.1.4.1.23.2.5.1.1.1.6.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.7.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.8.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.9.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.10.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.11.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.12.1",
    "1.3.6.1.4.1.23.2.5.1.1.1.16.1",
};

// Group 8: AppleTalk MIB.
constexpr const char *kGroup8[] = {
    "1.3.6.1.2.1.13.2.2.0",
    "1.3.6.1.2.1.13.2.3.0",
};

// Group 9: AppleTalk MIB.
constexpr const char *kGroup9[] = {
    "1.3.6.1.2.1.13.3.1.1.14.1",
    "1.3.6.1.2.1.13.3.1.1.15.1",
};

// Group 10: AppleTalk MIB.
constexpr const char *kGroup10[] = {
    "1.3.6.1.2.1.13.4.1.0",
    "1.3.6.1.2.1.13.4.4.0",
    "1.3.6.1.2.1.13.4.7.0",
    "1.3.6.1.2.1.13.4.9.0",
    "1.3.6.1.2.1.13.4.10.0",
    "1.3.6.1.2.1.13.4.14.0",
};

// Group 11: AppleTalk MIB.
constexpr const char *kGroup11[] = {
    "1.3.6.1.2.1.13.16.1.0",
    "1.3.6.1.2.1.13.16.2.0",
    "1.3.6.1.2.1.13.16.3.0",
};

// Group 12: AppleTalk MIB.
constexpr const char *kGroup12[] = {
    "1.3.6.1.2.1.13.17.1.1.1.1",
    "1.3.6.1.2.1.13.17.1.1.2.1",
    "1.3.6.1.2.1.13.17.1.1.3.1",
    "1.3.6.1.2.1.13.17.2.0",
};

// Group 13: AppleTalk MIB.
constexpr const char *kGroup13[] = {
    "1.3.6.1.2.1.13.8.2.0",
    "1.3.6.1.2.1.13.8.3.0",
    "1.3.6.1.2.1.13.8.4.0",
    "1.3.6.1.2.1.13.8.5.0",
    "1.3.6.1.2.1.13.8.6.0",
    "1.3.6.1.2.1.13.8.7.0",
    "1.3.6.1.2.1.13.8.8.0",
};

// Group 14: AppleTalk MIB; 3 to 6 come before 1 and 2.
constexpr const char *kGroup14[] = {
    "1.3.6.1.2.1.13.10.3.0",
    "1.3.6.1.2.1.13.10.4.0",
    "1.3.6.1.2.1.13.10.5.0",
    "1.3.6.1.2.1.13.10.6.0",
    "1.3.6.1.2.1.13.10.1.0",
    "1.3.6.1.2.1.13.10.2.0",
};

// Group 15: AppleTalk MIB.
constexpr const char *kGroup15[] = {
    "1.3.6.1.2.1.13.9.1.0",
    "1.3.6.1.2.1.13.9.2.0",
    "1.3.6.1.2.1.13.9.3.0",
    "1.3.6.1.2.1.13.9.4.0",
};

// Group 16: AppleTalk MIB.
constexpr const char *kGroup16[] = {
    "1.3.6.1.2.1.13.11.1.0",
    "1.3.6.1.2.1.13.11.3.0",
    "1.3.6.1.2.1.13.11.5.0",
    "1.3.6.1.2.1.13.11.7.0",
    "1.3.6.1.2.1.13.11.8.1.3.1",
    "1.3.6.1.2.1.13.11.8.1.4.1",
};

// Group 17: MIB-II snmp group.
constexpr const char *kGroup17[] = {
    "1.3.6.1.2.1.11.1.0",
    "1.3.6.1.2.1.11.2.0",
    "1.3.6.1.2.1.11.3.0",
    "1.3.6.1.2.1.11.4.0",
    "1.3.6.1.2.1.11.5.0",
    "1.3.6.1.2.1.11.6.0",
    "1.3.6.1.2.1.11.13.0",
    "1.3.6.1.2.1.11.14.0",
    "1.3.6.1.2.1.11.15.0",
    "1.3.6.1.2.1.11.16.0",
    "1.3.6.1.2.1.11.17.0",
    "1.3.6.1.2.1.11.20.0",
    "1.3.6.1.2.1.11.21.0",
    "1.3.6.1.2.1.11.22.0",
    "1.3.6.1.2.1.11.24.0",
    "1.3.6.1.2.1.11.28.0",
    "1.3.6.1.2.1.11.29.0",
};

// Group 18: printer private objects, first set.
constexpr const char *kGroup18[] = {
    "1.3.6.1.4.1.236.11.5.1.1.2.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.4.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.7.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.9.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.13.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.4.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.6.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.8.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.10.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.12.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.14.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.16.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.4.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.6.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.8.0",
    "1.3.6.1.4.1.236.11.5.1.1.5.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.6.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.6.5.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.5.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.7.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.9.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.11.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.13.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.2.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.5.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.7.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.9.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.11.0",
};

// Group 19: printer private objects, second set.
constexpr const char *kGroup19[] = {
    "1.3.6.1.4.1.236.11.5.1.1.2.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.3.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.6.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.8.0",
    "1.3.6.1.4.1.236.11.5.1.1.2.12.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.3.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.5.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.7.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.9.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.11.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.13.0",
    "1.3.6.1.4.1.236.11.5.1.1.3.15.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.3.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.5.0",
    "1.3.6.1.4.1.236.11.5.1.1.4.7.0",
    "1.3.6.1.4.1.236.11.5.1.1.5.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.6.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.6.4.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.4.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.6.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.8.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.10.0",
    "1.3.6.1.4.1.236.11.5.1.1.7.12.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.1.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.4.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.6.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.8.0",
    "1.3.6.1.4.1.236.11.5.1.1.8.10.0",
};

// Group 20: printer private objects; 12.5.5.0 twice, 12.5.3.0 not at all.
constexpr const char *kGroup20[] = {
    "1.3.6.1.4.1.236.11.5.1.12.5.1.0",
    "1.3.6.1.4.1.236.11.5.1.12.5.5.0",
    "1.3.6.1.4.1.236.11.5.1.12.5.2.0",
    "1.3.6.1.2.1.13.3.1.1.17.1",
    "1.3.6.1.4.1.236.11.5.1.12.5.4.0",
    "1.3.6.1.4.1.236.11.5.1.12.5.5.0",
    "1.3.6.1.4.1.236.11.5.1.12.5.6.0",
};

// Group 21: printer private objects.
constexpr const char *kGroup21[] = {
    "1.3.6.1.4.1.236.11.5.1.12.3.1.0",
    "1.3.6.1.4.1.236.11.5.1.12.3.2.0",
    "1.3.6.1.4.1.236.11.5.1.12.6.1.1.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.1.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.2.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.3.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.7.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.8.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.5.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.6.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.9.0",
};

// Group 22: sysName, sysLocation and printer private objects.
constexpr const char *kGroup22[] = {
    "1.3.6.1.2.1.1.5.0",
    "1.3.6.1.2.1.1.6.0",
    "1.3.6.1.4.1.236.11.5.1.1.9.1.0",
    "1.3.6.1.4.1.236.11.5.1.12.4.2.0",
};

// Group 23: printer private objects.
constexpr const char *kGroup23[] = {
    "1.3.6.1.4.1.236.11.5.1.12.8.1.1.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.2.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.3.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.4.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.5.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.6.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.7.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.8.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.9.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.10.0",
    "1.3.6.1.4.1.236.11.5.1.12.8.1.11.0",
};

// Group 24: printer private objects.
constexpr const char *kGroup24[] = {
    "1.3.6.1.4.1.236.11.5.1.12.7.1.1.2.1",
    "1.3.6.1.4.1.236.11.5.1.12.7.9.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.3.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.10.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.11.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.5.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.6.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.7.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.8.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.2.0",
    "1.3.6.1.4.1.236.11.5.1.12.7.4.0",
};

// Group 25: printer private objects.
constexpr const char *kGroup25[] = {
    "1.3.6.1.4.1.236.11.5.1.12.3.3.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.10.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.11.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.12.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.13.0",
    "1.3.6.1.4.1.236.11.5.1.12.2.14.0",
};

template <std::uint32_t Count>
constexpr ObjectGroup Group(const char *const (&identifiers)[Count]) {
    return ObjectGroup{Count, identifiers};
}

constexpr ObjectGroup kObjectGroups[kObjectGroupCount] = {
    Group(kGroup0),  Group(kGroup1),  Group(kGroup2),  Group(kGroup3),  Group(kGroup4),
    Group(kGroup5),  Group(kGroup6),  Group(kGroup7),  Group(kGroup8),  Group(kGroup9),
    Group(kGroup10), Group(kGroup11), Group(kGroup12), Group(kGroup13), Group(kGroup14),
    Group(kGroup15), Group(kGroup16), Group(kGroup17), Group(kGroup18), Group(kGroup19),
    Group(kGroup20), Group(kGroup21), Group(kGroup22), Group(kGroup23), Group(kGroup24),
    Group(kGroup25),
};

// Written only while the library loads and unloads; read-only in between.
char *joinedLists[kObjectGroupCount] = {};

// Exit and unload both end in process detach. std::exit runs the handlers
// registered once the program is running before the loader's destructors;
// an unload runs a library's own handlers only after its destructors. A
// handler armed by the first read of a list therefore marks an exit, and
// only an exit, before detach.
std::atomic<bool> processExiting{false};
std::once_flag exitWatch;

void NoteProcessExit() { processExiting.store(true); }

char *JoinGroup(const ObjectGroup &group) {
    std::size_t textLength = 0;
    for (std::uint32_t i = 0; i < group.count; ++i) textLength += std::strlen(group.identifiers[i]);
    // Each identifier is followed by a comma, the last one by the terminator.
    char *list = static_cast<char *>(platform::HeapAllocZero(textLength + group.count));
    if (list == nullptr) return nullptr;
    char *position = list;
    for (std::uint32_t i = 0; i < group.count; ++i) {
        const std::size_t length = std::strlen(group.identifiers[i]);
        std::memcpy(position, group.identifiers[i], length);
        position += length;
        *position++ = ',';
    }
    position[-1] = '\0';
    return list;
}

}  // namespace

ObjectGroup GetObjectGroup(std::uint32_t group) {
    if (group >= kObjectGroupCount) return ObjectGroup{0, nullptr};
    return kObjectGroups[group];
}

void BuildJoinedGroupLists() {
    ReleaseJoinedGroupLists();
    for (std::uint32_t group = 0; group < kObjectGroupCount; ++group) {
        joinedLists[group] = JoinGroup(kObjectGroups[group]);
    }
}

void ReleaseJoinedGroupLists() {
    for (char *&list : joinedLists) {
        platform::HeapFree(list);
        list = nullptr;
    }
}

void ReleaseJoinedGroupListsUnlessExiting() {
    if (!processExiting.load()) ReleaseJoinedGroupLists();
}

const char *JoinedGroupList(std::uint32_t group) {
    // Without a handler (atexit refused it) an exit releases as an unload does.
    std::call_once(exitWatch, [] { static_cast<void>(std::atexit(NoteProcessExit)); });
    if (group >= kObjectGroupCount) return nullptr;
    return joinedLists[group];
}

}  // namespace snmphelper
