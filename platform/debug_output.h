/* SPDX-License-Identifier: Apache-2.0 */
// The debugger output channel: plain text lines for a developer, without
// levels or timestamps. On Windows each line goes to OutputDebugString;
// elsewhere, like a debugger channel with no debugger attached, the channel
// is silent by default. On both, SNMPHELPER_DEBUG=1 in the environment also
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

// Each system's channel, beneath the test sink (platform/debug_output.cpp).
namespace detail {
void WriteDebugLine(const char *line);
}  // namespace detail

}  // namespace snmphelper::platform
