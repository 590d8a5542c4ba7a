// SPDX-License-Identifier: Apache-2.0
// The string table from the DLL's resources (snmphelper.rc).
#include <windows.h>

#include "platform/string_table.h"

namespace snmphelper::platform::detail {

int ReadStringResource(ModuleHandle module, std::uint32_t id, char *buffer, int room) {
    return ::LoadStringA(static_cast<HINSTANCE>(module), id, buffer, room);
}

}  // namespace snmphelper::platform::detail
