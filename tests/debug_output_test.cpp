// SPDX-License-Identifier: Apache-2.0
// The debugger output channel: silent unless asked, standard error when
// SNMPHELPER_DEBUG=1, and a sink for tests.
#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/debug_capture.h"
#include "tests/support/test_files.h"

namespace snmphelper::platform {
namespace {

std::string StandardErrorOf(const char *setting, const char *line) {
    test::SetEnvironment("SNMPHELPER_DEBUG", setting);
    testing::internal::CaptureStderr();
    OutputDebugText(line);
    std::string written = testing::internal::GetCapturedStderr();
    test::SetEnvironment("SNMPHELPER_DEBUG", nullptr);
    return written;
}

TEST(DebugOutput, SilentUnlessRequested) {
    EXPECT_EQ(StandardErrorOf(nullptr, "socket error"), "");
    EXPECT_EQ(StandardErrorOf("0", "socket error"), "");
    EXPECT_EQ(StandardErrorOf("yes", "socket error"), "");
    EXPECT_EQ(StandardErrorOf("1", "socket error"), "socket error\n");
    EXPECT_EQ(StandardErrorOf("1", nullptr), "");
}

TEST(DebugOutput, CaptureTakesTheLinesAndRestoresTheChannel) {
    {
        test::DebugOutputCapture capture;
        EXPECT_EQ(StandardErrorOf("1", "ret val = 10040"), "");
        ASSERT_EQ(capture.Lines().size(), 1U);
        EXPECT_EQ(capture.Lines()[0], "ret val = 10040");
    }
    EXPECT_EQ(StandardErrorOf("1", "after"), "after\n");
}

}  // namespace
}  // namespace snmphelper::platform
