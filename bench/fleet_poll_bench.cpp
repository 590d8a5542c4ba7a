// SPDX-License-Identifier: Apache-2.0
#include "bench/fleet_poll_bench.h"

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

extern char **environ;

namespace snmphelper::bench {
namespace {

constexpr int kFleetSize = 200;
constexpr int kSilentEvery = 20;  // 10 silent printers
constexpr char kCommunity[] = "t*o&r^e~l+d";

std::string Address(int index) { return "127.0.3." + std::to_string(index + 1); }

// What snmpget is asked for: what a poll line shows (device and printer
// status, the error bits, the four toner levels and their capacities), the
// indices known beforehand so that one get does it.
std::vector<std::string> SnmpgetArguments(int index, const char *retries) {
    std::vector<std::string> argv = {"snmpget", "-v1", "-c", kCommunity, "-t", "1", "-r", retries, "-On", Address(index),
                                     "1.3.6.1.2.1.25.3.2.1.5.1", "1.3.6.1.2.1.25.3.5.1.1.1", "1.3.6.1.2.1.25.3.5.1.2.1"};
    for (int supply = 1; supply <= 4; ++supply) {
        argv.push_back("1.3.6.1.2.1.43.11.1.1.8.1." + std::to_string(supply));
        argv.push_back("1.3.6.1.2.1.43.11.1.1.9.1." + std::to_string(supply));
    }
    return argv;
}

// Starts one snmpget per printer at once and waits for them all; the
// number that exited 0.
int RunSnmpgets(const char *retries) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0x1, 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kFleetSize; ++i) {
        std::vector<std::string> arguments = SnmpgetArguments(i, retries);
        std::vector<char *> argv;
        for (std::string &argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) children.push_back(pid);
    }
    posix_spawn_file_actions_destroy(&actions);
    int succeeded = 0;
    for (pid_t pid : children) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) ++succeeded;
    }
    return succeeded;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool RunFleetPollComparison() {
    const std::string folder = test::MakeTempFolder("fleet-bench");
    // net-snmp's tools read no MIB files and keep no state of the host's.
    setenv("SNMP_PERSISTENT_DIR", folder.c_str(), 1);
    setenv("MIBS", "", 1);
    setenv("MIBDIRS", folder.c_str(), 1);
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    std::vector<std::string> arguments = {"--addresses", Address(0) + "-" + Address(kFleetSize - 1)};
    for (int i = 0; i < kFleetSize; ++i) {
        hive += test::PrinterKey("fleet" + std::to_string(i + 1),
                                 "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"" +
                                     Address(i) + "\"\n\"MAC Address\"=\"000000000000\"\n");
        if (i % kSilentEvery == 0) arguments.insert(arguments.end(), {"--fault-at", Address(i) + "=silent"});
    }
    hive += "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=dword:00000001\n"
            "\"UdpTotalRetries\"=dword:00000000\n\n";
    test::TempRegistry registry(hive);
    test::PrinterSimulator fleet(arguments);
    if (!fleet.Ready()) {
        std::printf("\nFleet poll: the simulator did not start (not in a network namespace?)\n");
        return false;
    }
    auto start = std::chrono::steady_clock::now();
    const test::ProgramRun poll = test::RunSnmphelper({"poll", "--threads", std::to_string(kFleetSize)});
    const double ours = SecondsSince(start);
    // The poll's own summary, its last line.
    std::string summary = poll.out.substr(0, poll.out.find_last_not_of('\n') + 1);
    summary = summary.substr(summary.find_last_of('\n') + 1);
    start = std::chrono::steady_clock::now();
    const int gotNoRetry = RunSnmpgets("0");
    const double theirsNoRetry = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    const int gotOneRetry = RunSnmpgets("1");
    const double theirsOneRetry = SecondsSince(start);
    const int silent = (kFleetSize + kSilentEvery - 1) / kSilentEvery;
    std::printf("\nFleet poll: %d simulated printers (%d silent), timeout 1 s\n", kFleetSize, silent);
    std::printf("  ours:     snmphelper poll --threads %d (the whole status view)  %6.2f s  %s\n", kFleetSize, ours,
                summary.c_str());
    std::printf("  net-snmp: %d snmpget -r 0 at once (one get of 11 objects each) %6.2f s  %d of %d answered; "
                "ratio %.2fx\n",
                kFleetSize, theirsNoRetry, gotNoRetry, kFleetSize, theirsNoRetry / ours);
    std::printf("  net-snmp: %d snmpget -r 1 at once (waits twice, as the library does) %6.2f s  %d of %d answered; "
                "ratio %.2fx\n",
                kFleetSize, theirsOneRetry, gotOneRetry, kFleetSize, theirsOneRetry / ours);
    return true;
}

}  // namespace snmphelper::bench
