/* SPDX-License-Identifier: Apache-2.0 */
// The library's string-table resources, read through its module handle.
#pragma once

#include <cstdint>

#include "platform/handles.h"

namespace snmphelper::platform {

// Copies entry `id` into `buffer`: at most room - 1 characters, then a
// terminating zero. Returns the number of characters copied; 0 when the
// entry is missing or unavailable, the module handle is null, or room is 0.
int LoadStringResource(ModuleHandle module, std::uint32_t id, char *buffer, int room);

// Tests: make entry `id` unavailable (as if missing from the resources) or
// available again.
void SetStringResourceAvailable(std::uint32_t id, bool available);

// Each system's resources, beneath the availability switch above
// (platform/string_table.cpp): LoadStringResource's contract, with valid
// arguments.
namespace detail {
int ReadStringResource(ModuleHandle module, std::uint32_t id, char *buffer, int room);
}  // namespace detail

}  // namespace snmphelper::platform
