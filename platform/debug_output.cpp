// SPDX-License-Identifier: Apache-2.0
// The test sink in front of each system's debugger channel.
#include "platform/debug_output.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/environment.h"

namespace snmphelper::platform {
namespace {

std::mutex sinkMutex;
DebugOutputSink installedSink;

}  // namespace

void OutputDebugText(const char *text) {
    if (text == nullptr) return;
    DebugOutputSink sink;
    {
        const std::lock_guard lock(sinkMutex);
        sink = installedSink;
    }
    if (sink) {
        sink(text);
        return;
    }
    detail::WriteDebugLine(text);
    const char *setting = ReadSetting("SNMPHELPER_DEBUG");
    if (setting != nullptr && std::strcmp(setting, "1") == 0) std::fprintf(stderr, "%s\n", text);
}

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink) {
    const std::lock_guard lock(sinkMutex);
    return std::exchange(installedSink, std::move(sink));
}

}  // namespace snmphelper::platform
