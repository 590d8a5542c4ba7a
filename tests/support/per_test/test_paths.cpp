// Compiled into every test program: makes the source and build trees known
// through SNMPHELPER_SOURCE_DIR and SNMPHELPER_BINARY_DIR, also when a test is
// run by hand rather than by CTest; and points the library, linked into the
// test program, at the platform libraries of the build tree.
#include <cstdlib>

namespace {

struct TestPaths {
    TestPaths() {
        setenv("SNMPHELPER_SOURCE_DIR", SNMPHELPER_TEST_SOURCE_DIR, 0);
        setenv("SNMPHELPER_BINARY_DIR", SNMPHELPER_TEST_BINARY_DIR, 0);
        setenv("SNMPHELPER_PLATFORM_PATH", SNMPHELPER_TEST_BINARY_DIR "/snmphelper", 0);
    }
};

const TestPaths testPaths;

}  // namespace
