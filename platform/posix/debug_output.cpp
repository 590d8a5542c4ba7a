// On POSIX the debugger channel is standard error, opened only on request.
#include "platform/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace snmphelper::platform {
namespace {

std::mutex sinkMutex;
DebugOutputSink installedSink;

bool DebugRequested() {
    const char *setting = std::getenv("SNMPHELPER_DEBUG");
    return setting != nullptr && std::strcmp(setting, "1") == 0;
}

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
    if (DebugRequested()) std::fprintf(stderr, "%s\n", text);
}

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink) {
    const std::lock_guard lock(sinkMutex);
    return std::exchange(installedSink, std::move(sink));
}

}  // namespace snmphelper::platform
