// Linked into every test executable: tells the tests where the build and source folders are
// (ctest hands over only one environment variable through test discovery), and runs them
// under the C locale.

#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment()
    {
        setenv("ORVA_BUILD_DIR", ORVA_TEST_BUILD_DIR, 0);
        setenv("ORVA_SOURCE_DIR", ORVA_TEST_SOURCE_DIR, 0);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The tests pin today's (Japanese) texts whatever the caller's locale; tests of the
        // English texts choose English themselves.
        setenv("LC_ALL", "C.UTF-8", 1);
    }
} const g_testEnvironment;

}  // namespace
