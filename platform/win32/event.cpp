// SPDX-License-Identifier: Apache-2.0
// Manual-reset events as Windows kernel events. Any module may signal one by
// its handle; a module that keeps an event beyond the call that gave it
// (RetainEvent) holds a duplicate of the handle, so the event lives on when
// its creator closes it, and signals and waits through that duplicate.
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/event.h"
#include "platform/fault_countdown.h"

namespace snmphelper::platform {
namespace {

FaultCountdown creationFaults;
std::atomic<std::int64_t> liveEvents{0};

// Duplicates this module holds, by the handle they were taken from.
std::mutex retainedMutex;
std::map<HANDLE, std::vector<HANDLE>> retained;

HANDLE Usable(EventHandle event) {
    if (event == nullptr) return nullptr;
    const std::lock_guard lock(retainedMutex);
    const auto found = retained.find(event);
    return found != retained.end() && !found->second.empty() ? found->second.back() : event;
}

}  // namespace

EventHandle CreateManualResetEvent() {
    if (creationFaults.NextFails()) return nullptr;
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr) liveEvents.fetch_add(1);
    return event;
}

bool SignalEvent(EventHandle event) {
    HANDLE handle = Usable(event);
    return handle != nullptr && ::SetEvent(handle) != 0;
}

bool ClearEvent(EventHandle event) {
    HANDLE handle = Usable(event);
    return handle != nullptr && ::ResetEvent(handle) != 0;
}

EventWait WaitForEvent(EventHandle event, std::uint32_t milliseconds) {
    HANDLE handle = Usable(event);
    if (handle == nullptr) return EventWait::kFailed;
    switch (::WaitForSingleObject(handle, milliseconds == kWaitForever ? INFINITE : milliseconds)) {
    case WAIT_OBJECT_0:
        return EventWait::kSignalled;
    case WAIT_TIMEOUT:
        return EventWait::kTimedOut;
    default:
        return EventWait::kFailed;
    }
}

bool IsEventSignalled(EventHandle event) { return WaitForEvent(event, 0) == EventWait::kSignalled; }

bool RetainEvent(EventHandle event) {
    HANDLE handle = Usable(event);
    if (handle == nullptr) return false;
    HANDLE duplicate = nullptr;
    const HANDLE process = ::GetCurrentProcess();
    if (::DuplicateHandle(process, handle, process, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS) == 0) {
        return false;
    }
    const std::lock_guard lock(retainedMutex);
    retained[event].push_back(duplicate);
    return true;
}

void CloseEvent(EventHandle event) {
    if (event == nullptr) return;
    {
        const std::lock_guard lock(retainedMutex);
        const auto found = retained.find(event);
        if (found != retained.end()) {
            ::CloseHandle(found->second.back());
            found->second.pop_back();
            if (found->second.empty()) retained.erase(found);
            return;
        }
    }
    if (::CloseHandle(event) != 0) liveEvents.fetch_sub(1);
}

void EventFailNthCreation(std::uint64_t n, bool sticky) { creationFaults.Arm(n, sticky); }

std::int64_t LiveEvents() { return liveEvents.load(); }

}  // namespace snmphelper::platform
