/* SPDX-License-Identifier: Apache-2.0 */
// The platform loader's notifications to the library: the hook of each
// system (DllMain on Windows, the shared object's constructor and destructor
// elsewhere) passes them to LibraryEntry, which the library's lifecycle
// defines above the platform (library/library_entry.cpp).
#pragma once

#include <cstdint>

#include "platform/handles.h"

namespace snmphelper {

// Reasons for a call of LibraryEntry, with the numbers DllMain receives.
inline constexpr std::uint32_t kProcessDetach = 0;
inline constexpr std::uint32_t kProcessAttach = 1;
inline constexpr std::uint32_t kThreadAttach = 2;
inline constexpr std::uint32_t kThreadDetach = 3;

// The library's entry for each notification; always returns 1.
int LibraryEntry(platform::ModuleHandle module, std::uint32_t reason);

}  // namespace snmphelper
