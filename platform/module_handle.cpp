// SPDX-License-Identifier: Apache-2.0
#include "platform/module_handle.h"

#include <atomic>

namespace snmphelper {
namespace {

// Written only at process attach, read by any thread afterwards.
std::atomic<platform::ModuleHandle> moduleHandle{nullptr};

}  // namespace

platform::ModuleHandle LibraryModuleHandle() { return moduleHandle.load(); }

void StoreLibraryModuleHandle(platform::ModuleHandle module) { moduleHandle.store(module); }

}  // namespace snmphelper
