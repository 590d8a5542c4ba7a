// SPDX-License-Identifier: Apache-2.0
#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <thread>

namespace snmphelper::test {
namespace {

std::string LogPathIn(const std::string &folder) { return folder + "/requests.log"; }

std::vector<std::string> SimulatorArguments(const std::string &folder, const std::string &address,
                                            const std::vector<std::string> &extra) {
    std::vector<std::string> argv = {BuildTreePath("tools/snmphelper-printer-sim"), "--address", address, "--port",
                                     "161", "--log", LogPathIn(folder)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

// Starts argv (argv[0] looked up on PATH) with its standard output on `out`
// and its standard error on `err` (left as it is for -1); `readEnds` are the
// test's ends of those pipes, closed in the child. The child is killed when
// the thread that started it ends: a test that crashes leaves no simulator
// behind holding ctest's output pipe open, which would hang the suite. The
// child's id, or -1.
pid_t Spawn(const std::vector<std::string> &argv, int out, int err, std::initializer_list<int> readEnds) {
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    const std::vector<int> closed(readEnds);
    // Closed by a successful exec; otherwise the child's errno comes through
    // it, so that a program that cannot be started gives -1 here.
    int execFailure[2];
    if (pipe2(execFailure, O_CLOEXEC) != 0) return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to the exec.
        close(execFailure[0]);
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent && dup2(out, 1) >= 0 &&
            (err < 0 || dup2(err, 2) >= 0)) {
            for (const int end : closed) {
                if (end >= 0) close(end);
            }
            execvp(args[0], args.data());
        }
        const int error = errno;
        if (write(execFailure[1], &error, sizeof error) < 0) _exit(127);
        _exit(127);
    }
    close(execFailure[1]);
    int error = 0;
    ssize_t got = -1;
    if (pid > 0) {
        do {
            got = read(execFailure[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
    }
    close(execFailure[0]);
    if (pid < 0) return -1;
    if (got != 0) {
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

// Reads both pipes until each reaches its end (or nothing comes for 30
// seconds), so a child that fills one of them is never left blocked.
void Drain(int outFd, int errFd, ProgramRun &run) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string *sinks[2] = {&run.out, &run.err};
    int open = errFd < 0 ? 1 : 2;  // poll passes over a negative descriptor
    while (open > 0 && poll(fds, 2, 30000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string> &argv, ErrorOutput errors) {
    ProgramRun run;
    int outPipe[2];
    int errPipe[2] = {-1, -1};
    if (argv.empty() || pipe(outPipe) != 0) return run;
    if (errors == ErrorOutput::Separate && pipe(errPipe) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return run;
    }
    const pid_t pid = Spawn(argv, outPipe[1], errors == ErrorOutput::Merged ? outPipe[1] : errPipe[1],
                            {outPipe[0], errPipe[0]});
    close(outPipe[1]);
    if (errPipe[1] >= 0) close(errPipe[1]);
    if (pid > 0) Drain(outPipe[0], errPipe[0], run);
    close(outPipe[0]);
    if (errPipe[0] >= 0) close(errPipe[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

ProgramRun RunSnmphelper(const std::vector<std::string> &arguments) {
    std::vector<std::string> argv = {BuildTreePath("tools/snmphelper")};
    if (access(argv[0].c_str(), X_OK) != 0) {
        ProgramRun missing;
        missing.out = argv[0] + " is missing: build the snmphelper-cli target first";
        return missing;
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, ErrorOutput::Merged);
}

ChildProcess::ChildProcess(const std::vector<std::string> &argv) {
    int pipeEnds[2];
    if (argv.empty() || pipe(pipeEnds) != 0) return;
    pid_ = Spawn(argv, pipeEnds[1], -1, {pipeEnds[0]});
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
}

ChildProcess::~ChildProcess() {
    Stop();
    if (output_ >= 0) close(output_);
}

bool ChildProcess::WaitForOutput(const std::string &text) {
    pollfd fd{output_, POLLIN, 0};
    while (seen_.find(text) == std::string::npos && output_ >= 0 && poll(&fd, 1, 10000) > 0) {
        char buffer[256];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0) break;
        seen_.append(buffer, static_cast<std::size_t>(n));
    }
    return seen_.find(text) != std::string::npos;
}

int ChildProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PrinterSimulator::PrinterSimulator(const std::vector<std::string> &extraArguments, const std::string &address)
    : folder_(MakeTempFolder("printer-sim")),
      logPath_(LogPathIn(folder_)),
      process_(SimulatorArguments(folder_, address, extraArguments)) {}

bool PrinterSimulator::Ready() { return process_.Started() && process_.WaitForOutput("ready\n"); }

std::vector<std::string> PrinterSimulator::LogLines() const {
    std::ifstream file(logPath_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("request=", 0) == 0) lines.push_back(line);
    }
    return lines;
}

std::size_t PrinterSimulator::WaitForLogLines(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::size_t seen = LogLines().size();
    while (seen < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        seen = LogLines().size();
    }
    return seen;
}

std::string PrinterSimulator::Log() const {
    std::ifstream file(logPath_);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

NetSnmpAgent::NetSnmpAgent(const std::string &community) : folder_(MakeTempFolder("snmpd")) {
    {
        std::ofstream conf(folder_ + "/snmpd.conf");
        conf << "agentAddress udp:127.0.0.1:161\n"
             << "rwcommunity " << community << " 127.0.0.1\n";
    }
    // Persistent state goes to the test's folder, not /var/lib/snmp.
    setenv("SNMP_PERSISTENT_DIR", folder_.c_str(), 1);
    // The agent needs no MIB files; without them it starts quietly.
    setenv("MIBDIRS", folder_.c_str(), 1);
    setenv("MIBS", "", 1);
    process_ = std::make_unique<ChildProcess>(Arguments(folder_));
}

std::vector<std::string> NetSnmpAgent::Arguments(const std::string &folder) {
    const char *program = access("/usr/sbin/snmpd", X_OK) == 0 ? "/usr/sbin/snmpd" : "snmpd";
    return {program, "-f", "-Lo", "-C", "-c", folder + "/snmpd.conf", "-p", folder + "/snmpd.pid"};
}

}  // namespace snmphelper::test
