/* SPDX-License-Identifier: Apache-2.0 */
// Manual-reset events: created non-signalled, signalled until reset, waited
// for with a limit in milliseconds (CreateEvent, SetEvent, ResetEvent,
// WaitForSingleObject, CloseHandle).
//
// Sharing an event with a DLC interface library. The library puts an event
// into a command block and the DLC interface, a separate shared library,
// signals it from its own thread when the command completes. On Windows the
// handle is a system event that any module can signal. Elsewhere an event
// handle points to an object whose layout is private to
// platform/posix/event.cpp, and a DLC interface built for this project
// (dlcapi.so) compiles and links that same file: both modules then hold
// their own copy of the code, share no state but the event objects
// themselves, and agree on their layout because they are built from the
// same source. Every object carries a tag; a handle without it is refused
// (false, or kEventWaitFailed), never followed.
//
// An interface that keeps a block's event beyond the call that submitted
// the block (the command completes later) takes a reference with
// RetainEvent and gives it back with CloseEvent after signalling; the
// event then outlives a caller that closes it while the command is still
// pending.
#pragma once

#include <cstdint>

#include "platform/handles.h"

namespace snmphelper::platform {

// Wait without limit.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFU;

enum class EventWait {
    kSignalled,
    kTimedOut,
    kFailed,  // no usable event
};

// A manual-reset event, not signalled; null when none can be created.
EventHandle CreateManualResetEvent();

// Signals `event`: every waiter wakes, and so does every later wait, until
// ClearEvent. False for no usable event.
bool SignalEvent(EventHandle event);

// Makes `event` non-signalled again. False for no usable event.
bool ClearEvent(EventHandle event);

// Waits until `event` is signalled or `milliseconds` have passed
// (kWaitForever: no limit; 0: a test without waiting).
EventWait WaitForEvent(EventHandle event, std::uint32_t milliseconds);

// Whether `event` is signalled now, without waiting.
bool IsEventSignalled(EventHandle event);

// Another holder of `event` (see above); each reference is given back with
// CloseEvent. False for no usable event.
bool RetainEvent(EventHandle event);

// Gives back one reference; the event goes when the last one does. Null
// does nothing.
void CloseEvent(EventHandle event);

// Fault injection for tests: the `n`-th event creation from now (1 = the
// next one) fails, and so does every later one when `sticky` is set. 0
// disarms. Each module that links the events has its own.
void EventFailNthCreation(std::uint64_t n, bool sticky = false);

// Events created and not yet gone, for leak checks (this module's own).
std::int64_t LiveEvents();

}  // namespace snmphelper::platform
