/* SPDX-License-Identifier: Apache-2.0 */
// Collects the library's debug output lines while it is in scope.
#pragma once

#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace snmphelper::test {

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture &) = delete;
    DebugOutputCapture &operator=(const DebugOutputCapture &) = delete;

    const std::vector<std::string> &Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
    platform::DebugOutputSink previous_;
};

}  // namespace snmphelper::test
