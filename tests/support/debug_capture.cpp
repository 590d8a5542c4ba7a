// SPDX-License-Identifier: Apache-2.0
#include "tests/support/debug_capture.h"

#include <utility>

namespace snmphelper::test {

DebugOutputCapture::DebugOutputCapture()
    : previous_(platform::SetDebugOutputSink([this](const char *line) { lines_.emplace_back(line); })) {}

DebugOutputCapture::~DebugOutputCapture() { platform::SetDebugOutputSink(std::move(previous_)); }

}  // namespace snmphelper::test
