// SPDX-License-Identifier: Apache-2.0
// The fault guard over a vectored exception handler. GCC for Windows has no
// __try/__except, so the handler, seeing a hardware fault (or a C++
// exception of another module, which reaches us as a structured exception)
// on the guarding thread during the guarded call, resumes that thread in a function that
// jumps back to the guard. The jump is GCC's built-in one: it unwinds no
// structured-exception frames, and none were set up inside the call.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/exception_guard.h"

namespace snmphelper::platform {
namespace {

std::mutex guardMutex;
void *activeGuard[5];  // __builtin_setjmp's buffer
std::atomic<bool> guardActive{false};
std::atomic<DWORD> guardingThread{0};

// Visual C++'s exceptions, as a DLL built with it throws them past its callers.
constexpr DWORD kVisualCppException = 0xE06D7363;

bool IsFault(DWORD code) {
    switch (code) {
    case kVisualCppException:
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void BackToGuard() { __builtin_longjmp(activeGuard, 1); }

LONG CALLBACK OnException(EXCEPTION_POINTERS *exception) {
    if (!guardActive.load() || ::GetCurrentThreadId() != guardingThread.load() ||
        !IsFault(exception->ExceptionRecord->ExceptionCode)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    guardActive.store(false);
#if defined(_M_IX86) || defined(__i386__)
    exception->ContextRecord->Eip = reinterpret_cast<DWORD>(&BackToGuard);
    exception->ContextRecord->Esp &= ~static_cast<DWORD>(15);
#else
    exception->ContextRecord->Rip = reinterpret_cast<DWORD64>(&BackToGuard);
    exception->ContextRecord->Rsp = (exception->ContextRecord->Rsp & ~static_cast<DWORD64>(15)) - 8;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool RunGuarded(GuardedCall call, void *context) {
    if (call == nullptr) return false;
    const std::lock_guard<std::mutex> lock(guardMutex);
    volatile bool returned = false;
    PVOID handler = ::AddVectoredExceptionHandler(1, OnException);
    if (handler == nullptr) return false;
    if (__builtin_setjmp(activeGuard) == 0) {
        guardingThread.store(::GetCurrentThreadId());
        guardActive.store(true);
        returned = detail::CallCatchingExceptions(call, context);
    }
    guardActive.store(false);
    ::RemoveVectoredExceptionHandler(handler);
    return returned;
}

}  // namespace snmphelper::platform
