// SPDX-License-Identifier: Apache-2.0
// The programs the tests start end with the test: a test that crashes must
// not leave a peer behind holding ctest's output pipe, or the suite hangs.
#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace snmphelper::test {
namespace {

// Whether `pid` is a process that runs (not gone, not a zombie).
bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(ChildProcessTest, AChildEndsWhenTheTestThatStartedItDies) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        // A test that starts a peer and dies without its destructors.
        close(ends[0]);
        ChildProcess peer({"sleep", "60"});
        const pid_t child = peer.Pid();
        if (write(ends[1], &child, sizeof child) != sizeof child) _exit(1);
        _exit(0);
    }
    close(ends[1]);
    pid_t child = -1;
    ASSERT_EQ(read(ends[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
    close(ends[0]);
    int status = 0;
    ASSERT_EQ(waitpid(test, &status, 0), test);
    ASSERT_GT(child, 0);
    // The kill is the kernel's, at once; the wait only covers a loaded machine.
    for (int look = 0; look < 500 && Running(child); ++look) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool survived = Running(child);
    if (survived) kill(child, SIGKILL);
    EXPECT_FALSE(survived);
}

TEST(ChildProcessTest, AProgramRunToItsEndGivesItsOutputAndExitCode) {
    const ProgramRun run = RunProgram({"sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "out\n");
    EXPECT_EQ(run.err, "err\n");
    const ProgramRun merged = RunProgram({"sh", "-c", "echo out; echo err >&2"}, ErrorOutput::Merged);
    EXPECT_EQ(merged.exitCode, 0);
    EXPECT_EQ(merged.out, "out\nerr\n");
    EXPECT_EQ(RunProgram({"/nonexistent/program"}).exitCode, -1);
    EXPECT_FALSE(ChildProcess({"/nonexistent/program"}).Started());
}

}  // namespace
}  // namespace snmphelper::test
