/* SPDX-License-Identifier: Apache-2.0 */
// Programs that tests start as child processes: tools run to their end with
// their output collected, and peers (the printer simulator, net-snmp's snmpd)
// serving on a loopback address until the object dies.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace snmphelper::test {

// What a program run to its end left behind.
struct ProgramRun {
    int exitCode = -1;  // -1 unless it exited normally
    std::string out;    // standard output (with standard error when merged)
    std::string err;
};

// Whether a program's standard error goes to ProgramRun::err or, in the
// order it was written, into ProgramRun::out.
enum class ErrorOutput { Separate, Merged };

// Runs argv (argv[0] looked up on PATH) without a shell, collects its output
// and waits for it to end.
ProgramRun RunProgram(const std::vector<std::string> &argv,
                      ErrorOutput errors = ErrorOutput::Separate);

// The built snmphelper tool with `arguments`, standard error merged into
// `out`; a missing tool gives exit code -1 and says so in `out`.
ProgramRun RunSnmphelper(const std::vector<std::string> &arguments);

// One child process, its standard output readable through WaitForOutput,
// stopped with SIGTERM when the object dies.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string> &argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Waits up to 10 seconds for `text` in the standard output.
    bool WaitForOutput(const std::string &text);
    // Sends SIGTERM and reaps the process; the exit status, -1 if killed.
    int Stop();

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string seen_;
};

// The printer simulator on `address` port 161, logging every datagram.
class PrinterSimulator {
public:
    explicit PrinterSimulator(const std::vector<std::string> &extraArguments = {},
                              const std::string &address = "127.0.0.1");
    // True once it serves.
    bool Ready();
    // The log's lines, one per datagram received ("request=N ... id=ID ...").
    std::vector<std::string> LogLines() const;
    // Waits (up to 5 seconds) until the log holds `count` lines; returns the count seen.
    std::size_t WaitForLogLines(std::size_t count) const;
    // The whole log as written so far.
    std::string Log() const;
    // Sends SIGTERM and reaps the simulator; its exit status, -1 if killed.
    int Stop() { return process_.Stop(); }
    // The folder of the log; a test may write an objects file there.
    const std::string &Folder() const { return folder_; }

private:
    std::string folder_;
    std::string logPath_;
    ChildProcess process_;
};

// net-snmp's snmpd on udp:127.0.0.1:161 with one read-write community and a
// minimal configuration of its own (nothing of the host's is read).
class NetSnmpAgent {
public:
    explicit NetSnmpAgent(const std::string &community);
    bool Started() const { return process_ != nullptr && process_->Started(); }
    // True once it has announced itself ("NET-SNMP version ...").
    bool Ready() { return Started() && process_->WaitForOutput("NET-SNMP version"); }

private:
    static std::vector<std::string> Arguments(const std::string &folder);
    std::string folder_;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace snmphelper::test
