/* SPDX-License-Identifier: Apache-2.0 */
// The module handle a test passes where the library's own would be: the
// one whose string-table resources the library reads. On Windows that is
// the test program itself, into which the Windows lane links the library's
// resources; elsewhere the texts are compiled in and any token serves.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/handles.h"

namespace snmphelper::test {

inline platform::ModuleHandle TestModule() {
#if defined(_WIN32)
    return ::GetModuleHandleA(nullptr);
#else
    static char token;
    return &token;
#endif
}

}  // namespace snmphelper::test
