// SPDX-License-Identifier: Apache-2.0
// Manual-reset events over a mutex and a condition variable. A DLC interface
// library links this same file (see platform/event.h), so the object below
// is the layout both modules share: change it only together with them.
#include "platform/event.h"

#include "platform/fault_countdown.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace snmphelper::platform {
namespace {

// "SHEV" and a layout version: a handle whose object lacks it is not ours.
constexpr std::uint32_t kEventTag = 0x53484501U;

struct EventObject {
    std::uint32_t tag = kEventTag;
    std::atomic<std::int32_t> references{1};
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

FaultCountdown creationFaults;
std::atomic<std::int64_t> liveEvents{0};

EventObject *Usable(EventHandle event) {
    auto *object = static_cast<EventObject *>(event);
    if (object == nullptr || object->tag != kEventTag) return nullptr;
    return object;
}

}  // namespace

EventHandle CreateManualResetEvent() {
    if (creationFaults.NextFails()) return nullptr;
    auto *object = new (std::nothrow) EventObject;
    if (object != nullptr) liveEvents.fetch_add(1);
    return object;
}

bool SignalEvent(EventHandle event) {
    EventObject *object = Usable(event);
    if (object == nullptr) return false;
    {
        const std::lock_guard<std::mutex> lock(object->mutex);
        object->signalled = true;
    }
    object->changed.notify_all();
    return true;
}

bool ClearEvent(EventHandle event) {
    EventObject *object = Usable(event);
    if (object == nullptr) return false;
    const std::lock_guard<std::mutex> lock(object->mutex);
    object->signalled = false;
    return true;
}

EventWait WaitForEvent(EventHandle event, std::uint32_t milliseconds) {
    EventObject *object = Usable(event);
    if (object == nullptr) return EventWait::kFailed;
    std::unique_lock<std::mutex> lock(object->mutex);
    const auto isSignalled = [object] { return object->signalled; };
    if (milliseconds == kWaitForever) {
        object->changed.wait(lock, isSignalled);
        return EventWait::kSignalled;
    }
    // A steady clock: changing the wall clock neither shortens nor stretches a wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    return object->changed.wait_until(lock, deadline, isSignalled) ? EventWait::kSignalled
                                                                    : EventWait::kTimedOut;
}

bool IsEventSignalled(EventHandle event) {
    return WaitForEvent(event, 0) == EventWait::kSignalled;
}

bool RetainEvent(EventHandle event) {
    EventObject *object = Usable(event);
    if (object == nullptr) return false;
    object->references.fetch_add(1);
    return true;
}

void CloseEvent(EventHandle event) {
    EventObject *object = Usable(event);
    if (object == nullptr) return;
    if (object->references.fetch_sub(1) != 1) return;
    object->tag = 0;
    delete object;
    liveEvents.fetch_sub(1);
}

void EventFailNthCreation(std::uint64_t n, bool sticky) { creationFaults.Arm(n, sticky); }

std::int64_t LiveEvents() { return liveEvents.load(); }

}  // namespace snmphelper::platform
