// SPDX-License-Identifier: Apache-2.0
// The string table's argument checks and test switch, the same on every
// system; the texts come from each system's resources.
#include "platform/string_table.h"

#include <atomic>

namespace snmphelper::platform {
namespace {

// Bit i set: entry i has been made unavailable by a test. Every entry id is
// below 32.
std::atomic<std::uint32_t> unavailableEntries{0};

bool Withheld(std::uint32_t id) { return id < 32 && (unavailableEntries.load() & (1u << id)) != 0; }

}  // namespace

int LoadStringResource(ModuleHandle module, std::uint32_t id, char *buffer, int room) {
    if (module == nullptr || buffer == nullptr || room <= 0) return 0;
    if (Withheld(id)) {
        buffer[0] = '\0';
        return 0;
    }
    return detail::ReadStringResource(module, id, buffer, room);
}

void SetStringResourceAvailable(std::uint32_t id, bool available) {
    if (id >= 32) return;  // no such entry: it is unavailable anyway
    if (available) {
        unavailableEntries.fetch_and(~(1u << id));
    } else {
        unavailableEntries.fetch_or(1u << id);
    }
}

}  // namespace snmphelper::platform
