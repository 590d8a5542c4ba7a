// SPDX-License-Identifier: Apache-2.0
// The platform services the DLC code rests on: manual-reset events (also
// signalled from another thread, as a DLC interface does) and the guard
// that turns an exception or a real hardware fault into a result.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <thread>

#include "platform/event.h"
#include "platform/exception_guard.h"
#include "tests/support/fault_handlers.h"

namespace snmphelper::platform {
namespace {

// --- Events ---------------------------------------------------------------------------

TEST(ManualResetEvent, StartsClearStaysSignalledUntilCleared) {
    EventHandle event = CreateManualResetEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(IsEventSignalled(event));
    EXPECT_EQ(WaitForEvent(event, 0), EventWait::kTimedOut);
    EXPECT_EQ(WaitForEvent(event, 5), EventWait::kTimedOut);
    EXPECT_TRUE(SignalEvent(event));
    // Manual reset: every wait sees it until it is cleared.
    EXPECT_EQ(WaitForEvent(event, 0), EventWait::kSignalled);
    EXPECT_EQ(WaitForEvent(event, kWaitForever), EventWait::kSignalled);
    EXPECT_TRUE(IsEventSignalled(event));
    EXPECT_TRUE(ClearEvent(event));
    EXPECT_FALSE(IsEventSignalled(event));
    CloseEvent(event);
}

TEST(ManualResetEvent, ASignalFromAnotherThreadEndsAWaitWithoutLimit) {
    EventHandle event = CreateManualResetEvent();
    ASSERT_NE(event, nullptr);
    std::thread signaller([event] { SignalEvent(event); });
    EXPECT_EQ(WaitForEvent(event, kWaitForever), EventWait::kSignalled);
    signaller.join();
    CloseEvent(event);
}

TEST(ManualResetEvent, NoUsableEventIsRefused) {
    EXPECT_FALSE(SignalEvent(nullptr));
    EXPECT_FALSE(ClearEvent(nullptr));
    EXPECT_FALSE(RetainEvent(nullptr));
    EXPECT_FALSE(IsEventSignalled(nullptr));
    EXPECT_EQ(WaitForEvent(nullptr, 0), EventWait::kFailed);
    CloseEvent(nullptr);
    // Memory that is not an event is not followed as one.
    alignas(16) unsigned char notAnEvent[128] = {};
    EXPECT_FALSE(SignalEvent(notAnEvent));
    EXPECT_EQ(WaitForEvent(notAnEvent, kWaitForever), EventWait::kFailed);
}

TEST(ManualResetEvent, LivesUntilItsLastReferenceGoes) {
    const std::int64_t before = LiveEvents();
    EventHandle event = CreateManualResetEvent();
    ASSERT_TRUE(RetainEvent(event));  // an interface keeps it for a pending command
    CloseEvent(event);                // the library is done with it
    EXPECT_EQ(LiveEvents(), before + 1);
    EXPECT_TRUE(SignalEvent(event));  // the late completion is still safe
    CloseEvent(event);
    EXPECT_EQ(LiveEvents(), before);
}

TEST(ManualResetEvent, CreationFailuresCanBeInjected) {
    EventFailNthCreation(2);
    EventHandle first = CreateManualResetEvent();
    EventHandle second = CreateManualResetEvent();
    EventHandle third = CreateManualResetEvent();
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EventFailNthCreation(1, true);
    EXPECT_EQ(CreateManualResetEvent(), nullptr);
    EXPECT_EQ(CreateManualResetEvent(), nullptr);
    EventFailNthCreation(0);
    EventHandle fourth = CreateManualResetEvent();
    EXPECT_NE(fourth, nullptr);
    CloseEvent(first);
    CloseEvent(third);
    CloseEvent(fourth);
}

// --- The guard ---------------------------------------------------------------------------

// Genuine hardware faults. Not instrumented: the undefined-behaviour
// sanitizer would otherwise stop the process before the fault happens.
__attribute__((no_sanitize("undefined"))) void AccessViolation(void *) {
    volatile int *volatile nowhere = nullptr;
    *nowhere = 1;
}

__attribute__((no_sanitize("undefined"))) void DivideByZero(void *) {
    // Both volatile: 1 / x is otherwise folded into comparisons.
    volatile int dividend = 7;
    volatile int zero = 0;
    volatile int quotient = dividend / zero;
    static_cast<void>(quotient);
    // Where integer division does not trap, the signal it would raise.
    std::raise(SIGFPE);
}

void IllegalInstruction(void *) { __builtin_trap(); }

void Throws(void *) { throw std::runtime_error("not fit to run"); }

void Completes(void *context) { *static_cast<int *>(context) = 42; }

struct GuardCase {
    const char *title;
    GuardedCall call;
};

class GuardedFault : public ::testing::TestWithParam<GuardCase> {};

TEST_P(GuardedFault, IsReportedAndTheHandlersAreRestored) {
    const test::FaultHandlers before;
    EXPECT_FALSE(RunGuarded(GetParam().call, nullptr));
    EXPECT_TRUE(test::FaultHandlers() == before);
    // The guard still works after a fault it caught.
    int value = 0;
    EXPECT_TRUE(RunGuarded(Completes, &value));
    EXPECT_EQ(value, 42);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, GuardedFault,
    ::testing::Values(GuardCase{"AccessViolation", AccessViolation},
                      GuardCase{"DivideByZero", DivideByZero},
                      GuardCase{"IllegalInstruction", IllegalInstruction},
                      GuardCase{"CppException", Throws}),
    [](const auto &testCase) { return std::string(testCase.param.title); });

TEST(Guard, ACallThatReturnsIsTrueAndNoCallIsFalse) {
    int value = 0;
    EXPECT_TRUE(RunGuarded(Completes, &value));
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(RunGuarded(nullptr, nullptr));
}

}  // namespace
}  // namespace snmphelper::platform
