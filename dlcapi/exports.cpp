// SPDX-License-Identifier: Apache-2.0
// dlcapi.so: the DLC interface of this platform, loaded at run time as
// Windows' dlcapi.dll is. Exports AcsLan alone.
#include <new>

#include "dlcapi/dlc_adapter.h"

namespace dlc = snmphelper::dlc;

extern "C" __attribute__((visibility("default"))) dlc::AcsLanStatus AcsLan(dlc::Ccb *block,
                                                                          dlc::Ccb **failingBlock) {
    // Nothing may unwind into the caller, which knows nothing of C++.
    try {
        return snmphelper::dlcapi::Submit(block, failingBlock);
    } catch (...) {
        return dlc::kAcsLanSystemError;
    }
}

// The interface's thread must not outlive the code it runs.
__attribute__((destructor)) static void UnloadDlcApi() { snmphelper::dlcapi::Shutdown(); }
