// The library's load and unload steps, run through one entry function that
// the platform's loader hook calls (and that tests may call directly).
#pragma once

#include <cstdint>

#include "platform/handles.h"

namespace snmphelper {

// Reasons for a call of LibraryEntry.
inline constexpr std::uint32_t kProcessDetach = 0;
inline constexpr std::uint32_t kProcessAttach = 1;
inline constexpr std::uint32_t kThreadAttach = 2;
inline constexpr std::uint32_t kThreadDetach = 3;

// The module handle stored at process attach, for string-table lookups;
// null before the library has been attached.
platform::ModuleHandle LibraryModuleHandle();

// Process attach: stores `module`, sets the request-id counter to 0, builds
// the joined object-group lists and prepares DLC access (whose failure only
// leaves DLC unavailable). Process detach: releases the joined lists. Thread
// attach and detach: nothing. Always returns 1.
int LibraryEntry(platform::ModuleHandle module, std::uint32_t reason);

}  // namespace snmphelper
