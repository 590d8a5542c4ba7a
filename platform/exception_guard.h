/* SPDX-License-Identifier: Apache-2.0 */
// A guard for calls into a platform component that may not be fit to run:
// the first commands given to a DLC interface. It catches what such a call
// raises on the calling thread, a C++ exception or a hardware fault (an
// access violation, a bus error, an illegal instruction, an arithmetic
// fault), and reports it instead of letting it end the process. On Windows
// this is a structured-exception handler; elsewhere the fault signals are
// caught for the duration of the call only.
//
// A call that faults is abandoned where it stood: nothing in its frames is
// unwound. Give it only plain data, and keep whatever must be released
// (events, blocks) in the caller, outside the guarded call.
#pragma once

namespace snmphelper::platform {

using GuardedCall = void (*)(void *context);

// Runs `call(context)`: true when it returned, false when it raised. Faults
// on other threads meanwhile go to whatever handled them before.
bool RunGuarded(GuardedCall call, void *context);

// Each system's guard runs the call through this, kept apart so that nothing
// of the guard's own frame is live across its jump back: true when the call
// returned, false when it threw.
namespace detail {
bool CallCatchingExceptions(GuardedCall call, void *context);
}  // namespace detail

}  // namespace snmphelper::platform
