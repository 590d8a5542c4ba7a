// SPDX-License-Identifier: Apache-2.0
// The part of the fault guard both systems share: C++ exceptions.
#include "platform/exception_guard.h"

namespace snmphelper::platform::detail {

__attribute__((noinline)) bool CallCatchingExceptions(GuardedCall call, void *context) {
    try {
        call(context);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace snmphelper::platform::detail
