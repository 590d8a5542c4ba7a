#include "tests/support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char **environ;

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

}  // namespace

std::string BuildTreePath(const std::string &relative) {
    if (const char *dir = std::getenv("SNMPHELPER_BINARY_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/" + relative;
    }
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string build = length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "./tests/x";
    build = build.substr(0, build.rfind('/'));
    return build.substr(0, build.rfind('/')) + "/" + relative;
}

std::string MakeTempFolder(const char *prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : "/tmp";
}

ChildProcess::ChildProcess(const std::vector<std::string> &argv) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
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
