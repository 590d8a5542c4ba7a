// SPDX-License-Identifier: Apache-2.0
// Compiled into every test program: makes the source and build trees known
// through SNMPHELPER_SOURCE_DIR and SNMPHELPER_BINARY_DIR, also when a test is
// run by hand rather than by CTest; and points the library, linked into the
// test program, at the platform libraries of the build tree.
#include <cstdlib>

#include "tests/support/test_files.h"

namespace {

void SetUnlessSet(const char *name, const char *value) {
    if (std::getenv(name) == nullptr) snmphelper::test::SetEnvironment(name, value);
}

struct TestPaths {
    TestPaths() {
        SetUnlessSet("SNMPHELPER_SOURCE_DIR", SNMPHELPER_TEST_SOURCE_DIR);
        SetUnlessSet("SNMPHELPER_BINARY_DIR", SNMPHELPER_TEST_BINARY_DIR);
        SetUnlessSet("SNMPHELPER_PLATFORM_PATH", SNMPHELPER_TEST_BINARY_DIR "/snmphelper");
    }
};

const TestPaths testPaths;

}  // namespace
