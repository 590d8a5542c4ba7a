// The debugger output channel: plain text lines for a developer, without
// levels or timestamps. Like a Windows debugger channel with no debugger
// attached it is silent by default; SNMPHELPER_DEBUG=1 in the environment
// writes each line to standard error.
#pragma once

#include <functional>

namespace snmphelper::platform {

// Writes one line. Null does nothing.
void OutputDebugText(const char *text);

// Tests: every line goes to `sink` instead (an empty function restores the
// default). Returns the sink it replaces.
using DebugOutputSink = std::function<void(const char *line)>;
DebugOutputSink SetDebugOutputSink(DebugOutputSink sink);

}  // namespace snmphelper::platform
